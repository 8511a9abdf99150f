// Which processes hold a serial port open: the /proc scan behind the
// sentence that names the program in the user's way (port_holder_text.h).
#pragma once

#include <string>
#include <vector>

namespace platform {

struct PortHolder {
  int pid = 0;
  std::string name;  // from /proc/<pid>/comm, made fit to show (ProgramNameOfComm)

  bool operator==(const PortHolder&) const = default;
};

// The processes other than this one with a descriptor open on `port_path`
// (a /dev path; a symbolic link such as /dev/serial/by-id/... is followed
// first), in pid order. Processes whose descriptors we may not read (another
// user's, ModemManager's when we are not root) cannot be seen: the caller
// asks ModemManager itself about those (ModemManagerLink::DeviceOfPort).
// `proc_root` is /proc, or a fixture folder of the same shape.
std::vector<PortHolder> FindPortHolders(const std::string& port_path,
                                        const std::string& proc_root = "/proc");

}  // namespace platform

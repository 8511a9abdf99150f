// The pure parts of finding out which program holds a serial port: reading
// the names and files of /proc as the kernel (or a hostile process) left
// them, and the sentence that tells the user about the holder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A process folder's name in /proc ("1234"): digits only, no leading zero,
// above 0 and within pid_t. Anything else (self, sys, "01") is no process.
std::optional<int> PidOfProcEntry(std::string_view name);

// A program's name from its /proc/<pid>/comm text: the first line, without
// its newline, at most 64 bytes, each control character or byte above 0x7E
// made '?' (a process picks its own comm, and the text goes before the user).
std::string ProgramNameOfComm(std::string_view comm);

// True when the target of a /proc/<pid>/fd link is the port itself. A node
// that has been deleted ("/dev/ttyUSB2 (deleted)": the card was pulled while
// the process held it) is not the port that is there now.
bool FdLinkIsPort(std::string_view link_target, std::string_view port_path);

// The one sentence the user reads when the card's port `port` is held by the
// program `holder` (empty when no holder could be seen: another user's
// process): who holds it and what to do.
std::string PortInUseText(std::string_view port, std::string_view holder);

}  // namespace platform

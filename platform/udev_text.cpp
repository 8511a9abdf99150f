#include "platform/udev_text.h"

namespace platform {
namespace {

constexpr std::string_view kDevPrefix = "/dev/";
// Device numbers and interface indexes are 32-bit at most.
constexpr size_t kMaxNumberDigits = 10;

bool IsNumber(std::string_view text) {
  if (text.empty() || text.size() > kMaxNumberDigits) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsFileNamePart(std::string_view text) {
  return !text.empty() && text.find('/') == std::string_view::npos &&
         text.find('\0') == std::string_view::npos;
}

}  // namespace

std::string_view NameBelowDev(std::string_view devname) {
  if (devname.starts_with('/')) {
    if (!devname.starts_with(kDevPrefix)) return {};
    devname.remove_prefix(kDevPrefix.size());
  }
  if (devname.empty() || devname.find('\0') != std::string_view::npos) return {};
  for (std::string_view rest = devname;;) {
    const size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    if (part.empty() || part == "." || part == "..") return {};
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return devname;
}

std::string UdevRecordName(std::string_view subsystem, std::string_view sysname,
                           std::string_view major, std::string_view minor,
                           std::string_view ifindex) {
  if (!IsFileNamePart(subsystem) || !IsFileNamePart(sysname)) return {};
  if (!major.empty() || !minor.empty()) {
    if (!IsNumber(major) || !IsNumber(minor)) return {};
    // Built by appending: GCC 12 at -O3 warns (-Wrestrict) on the chained +.
    std::string name(subsystem == "block" ? "b" : "c");
    name.append(major).append(":").append(minor);
    return name;
  }
  if (!ifindex.empty()) {
    if (!IsNumber(ifindex) || ifindex.find_first_not_of('0') == std::string_view::npos) return {};
    std::string name("n");
    name.append(ifindex);
    return name;
  }
  std::string name("+");
  name.append(subsystem).append(":").append(sysname);
  return name;
}

}  // namespace platform

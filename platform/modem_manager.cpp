#include "platform/modem_manager.h"

namespace platform {

const char* InhibitStatusName(InhibitStatus status) {
  switch (status) {
    case InhibitStatus::kOk:
      return "ok";
    case InhibitStatus::kRefused:
      return "refused";
    case InhibitStatus::kAbsent:
      return "absent";
    case InhibitStatus::kFailed:
      return "failed";
  }
  return "?";
}

InhibitStatus InhibitStatusOfError(std::string_view name, std::string_view message) {
  // Refusals: ModemManager's own after asking PolicyKit, and the bus's
  // (its policy forbids the call, or asks for an interaction we do not offer).
  if (name == "org.freedesktop.ModemManager1.Error.Core.Unauthorized" ||
      name == "org.freedesktop.DBus.Error.AccessDenied" ||
      name == "org.freedesktop.DBus.Error.AuthFailed" ||
      name == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired") {
    return InhibitStatus::kRefused;
  }
  if (name == "org.freedesktop.ModemManager1.Error.Core.Failed" &&
      message.starts_with("PolicyKit authorization")) {
    return InhibitStatus::kRefused;
  }
  // Gone between our look and our call, or while it ran.
  if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
      name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
      name == "org.freedesktop.DBus.Error.Disconnected") {
    return InhibitStatus::kAbsent;
  }
  return InhibitStatus::kFailed;
}

bool ModemHasPort(const std::vector<std::string>& ports, std::string_view port) {
  // ModemManager names a udev port by its kernel name; a port it was handed
  // by path (its test profiles) keeps the whole path.
  std::string_view name = port;
  if (name.starts_with("/dev/")) name.remove_prefix(5);
  for (const std::string& listed : ports) {
    if (!listed.empty() && (listed == port || listed == name)) return true;
  }
  return false;
}

}  // namespace platform

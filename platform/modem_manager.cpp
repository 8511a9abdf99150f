#include "platform/modem_manager.h"

#include <atomic>

namespace platform {

namespace {

std::atomic<ModemManagerLink*> g_installed{nullptr};

// A link onto the installed one; the inhibitions it hands out are the
// installed link's own.
class BorrowedLink final : public ModemManagerLink {
 public:
  explicit BorrowedLink(ModemManagerLink& link) : link_(link) {}
  bool Present() override { return link_.Present(); }
  std::string DeviceOfPort(std::string_view port) override { return link_.DeviceOfPort(port); }
  Inhibited Inhibit(const std::string& uid, LostHandler on_lost) override {
    return link_.Inhibit(uid, std::move(on_lost));
  }

 private:
  ModemManagerLink& link_;
};

}  // namespace

std::unique_ptr<ModemManagerLink> OpenModemManager() {
  ModemManagerLink* installed = g_installed.load(std::memory_order_acquire);
  if (installed != nullptr) return std::make_unique<BorrowedLink>(*installed);
  return ConnectModemManager();
}

ScopedModemManager::ScopedModemManager(ModemManagerLink& link)
    : previous_(g_installed.exchange(&link, std::memory_order_acq_rel)) {}

ScopedModemManager::~ScopedModemManager() { g_installed.store(previous_, std::memory_order_release); }

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

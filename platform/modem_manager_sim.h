// The simulated ModemManager: a link whose service is present and willing,
// present and refusing, or absent, and that a test can make leave the bus
// while it holds inhibitions. Nothing of it touches a bus.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/modem_manager.h"

namespace platform {

class SimModemManager final : public ModemManagerLink {
 public:
  enum class Behaviour { kWilling, kRefusing, kAbsent };

  // The error a refusing service answers with: ModemManager's own after
  // PolicyKit said no.
  static constexpr const char* kRefusalName = "org.freedesktop.ModemManager1.Error.Core.Unauthorized";
  static constexpr const char* kRefusalMessage =
      "PolicyKit authorization failed: not authorized for 'org.freedesktop.ModemManager1.Device.Control'";

  explicit SimModemManager(Behaviour behaviour = Behaviour::kWilling);
  ~SimModemManager() override;

  // A modem the service manages: `uid` with the port `port` (kernel name).
  void AddModem(std::string uid, std::string port);
  // Runs, on the calling thread, each time a willing service grants an
  // inhibition, before Inhibit returns: the real service closes the
  // device's ports before it answers, and a test that plays the service's
  // hold on a port lets go of it here.
  void OnInhibit(std::function<void(const std::string& uid)> handler);
  // The service leaves the bus: every inhibition is lost and its handler
  // runs, on the calling thread. It comes back (knowing nothing of them)
  // with Return.
  void GoAway();
  void Return(Behaviour behaviour = Behaviour::kWilling);
  // The service has `uid` inhibited now.
  bool IsInhibited(std::string_view uid) const;

  bool Present() override;
  std::string DeviceOfPort(std::string_view port) override;
  Inhibited Inhibit(const std::string& uid, LostHandler on_lost) override;

  struct State;

 private:
  Inhibited InhibitLocked(const std::string& uid, LostHandler on_lost);

  std::shared_ptr<State> state_;
};

}  // namespace platform

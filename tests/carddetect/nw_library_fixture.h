// A whole card-detection library for a test: a private runtime folder for the
// named objects, a simulated device tree whose changes are broadcast, a card
// table of the test's own, a listener window on the test's thread that
// records every notification as a client would (reason plus the record it
// reads then), a simulated ModemManager (absent unless the test brings it
// back), and, unless asked otherwise, the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "carddetect/library_globals.h"
#include "carddetect/nw_api.h"
#include "platform/clock.h"
#include "platform/modem_manager_sim.h"
#include "platform/pty.h"
#include "platform/resource_module.h"
#include "platform/sim_device_events.h"
#include "platform/sim_device_tree.h"
#include "platform/window.h"
#include "tests/carddetect/sim_card_tree.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

// What the client saw on one notification.
struct Notification {
  uint32_t reason;
  uint32_t state;  // CardStateStopped when the record could not be read
  uint32_t model;
  friend bool operator==(const Notification&, const Notification&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const Notification& n) {
  return out << "{reason " << n.reason << ", state " << n.state << ", model 0x" << std::hex << n.model
             << std::dec << "}";
}

// Moves the virtual clock to every deadline some thread waits for while the
// object lives, so that a call on the test's thread that sleeps or waits on
// the clock (and the listener thread's sleeps meanwhile) can finish.
// Lets the sleep of `ms` that the constructing thread is about to take pass:
// until the runner ends, a helper thread moves the clock whenever some thread
// waits for exactly now + `ms` (a sleep of that length just begun), and
// touches no other wait (the listener thread's mutex slices stay put). The
// listener's own pause of the same length may be let pass on the way, as it
// would in the time the release takes.
class ClockRunner {
 public:
  ClockRunner(platform::VirtualClock* clock, uint32_t ms) {
    if (clock == nullptr) return;
    thread_ = std::thread([this, clock, ms] {
      while (!stop_) {
        clock->AdvanceIfWaitedFor(clock->NowMs() + ms);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    });
  }
  ~ClockRunner() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  ClockRunner(const ClockRunner&) = delete;
  ClockRunner& operator=(const ClockRunner&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class NwLibraryFixture : public ::testing::Test {
 protected:
  static constexpr uint32_t kCardMessage = platform::WM_APP + 77;
  static constexpr char16_t kListenerClass[] = u"NwTestListenerClass";
  static constexpr char16_t kModemPort[] = u"\\\\.\\ttyCARD0";
  static constexpr uint32_t kReleasePauseMs = 200;  // NwReleaseExclusiveAccess's pause

  explicit NwLibraryFixture(bool virtual_clock = true) {
    if (virtual_clock) scoped_clock_.emplace(clock_);
    EXPECT_TRUE(pty_.Open());
    tree_.AddDeviceName(kModemPort, pty_.SlavePath());
    platform::RegisterClass(kListenerClass, [this](platform::HWND, uint32_t message, platform::WPARAM wparam,
                                                   platform::LPARAM) -> platform::LRESULT {
      if (message != kCardMessage) return 0;
      NwCardInfo info{};
      info.Size = sizeof info;
      const uint32_t rc = NwGetCardInfo(&info);
      notes_.push_back({static_cast<uint32_t>(wparam), rc == 0 ? info.State : CardStateStopped,
                        rc == 0 ? info.Model : 0});
      if (rc == 0 && info.State == CardStateSuspended && on_suspended_) on_suspended_();
      if (rc == 0 && info.State == CardStateSuspended && release_on_suspend_) {
        // The release pauses before the listener looks for the mutex again.
        ClockRunner runner(scoped_clock_ ? &clock_ : nullptr, kReleasePauseMs);
        NwReleaseExclusiveAccess();
      }
      return 0;
    });
    window_ = platform::CreateWindow(kListenerClass);
  }

  ~NwLibraryFixture() override {
    if (HasFailure()) {
      for (const std::string& line : log_.Lines()) std::fprintf(stderr, "  | %s\n", line.c_str());
    }
    // The listener ends on its wake event, whatever the clock says.
    NwShutdown();
    platform::DestroyWindow(window_);
    platform::UnregisterClass(kListenerClass);
  }

  // The usual event-driven card: a modem found on its interface's arrival.
  static CardSection EventCard() {
    return CardSection{}.With("XpModemName=Card Modem").With("XpModemDetect=0x2,0x2");
  }

  void Initialize(const std::string& db) {
    module_.emplace(platform::ResourceModuleBuilder().Add("NW_DATA", 101, db).Build());
    ASSERT_EQ(NwInitialize(module_->handle()), 0u);
    ASSERT_EQ(NwRegisterListener(window_, kCardMessage), 0u);
    Pump();
  }

  platform::DEVINST PlugCard(const std::string& hardware_id = "USB\\VID_1111&PID_0001") {
    platform::SimDeviceTree::Node node = CardNode("USB", hardware_id);
    node.class_guid = std::string(platform::kDeviceClassUsb);
    return tree_.Add(0, std::move(node));
  }
  platform::DEVINST AddModem(platform::DEVINST card) {
    return tree_.Add(card, SerialNode(platform::kDeviceClassModem, "Card Modem", u"ttyCARD0"));
  }
  platform::DEVINST AddNic(platform::DEVINST card) {
    return tree_.Add(card, NetNode("Card NIC", u"{11111111-2222-3333-4444-555555555555}"));
  }

  size_t Pump() { return platform::PumpMessages(); }

  // Pumps until `predicate` holds; for what the listener thread posts. With
  // `clock_waiters` set, the clock moves to the next deadline whenever that
  // many threads wait on it (the listener thread is the one timed waiter of
  // these tests), and never while fewer do.
  template <typename Predicate>
  bool PumpUntil(Predicate predicate, size_t clock_waiters = 0) {
    return Eventually([&] {
      if (clock_waiters > 0 && clock_.TimedWaiters() >= clock_waiters) clock_.AdvanceToNextDeadline();
      Pump();
      return predicate();
    });
  }

  // The states entered since the log was last cleared, as the log names them.
  std::vector<std::string> StateChanges() const {
    const std::string prefix = "Nw: Card state changed to ";
    std::vector<std::string> states;
    for (const std::string& line : log_.LinesStartingWith(prefix)) states.push_back(line.substr(prefix.size()));
    return states;
  }

  bool HasNote(const Notification& note) const {
    for (const Notification& n : notes_) {
      if (n == note) return true;
    }
    return false;
  }

  NwCardInfo Record(uint32_t size = sizeof(NwCardInfo)) {
    NwCardInfo info{};
    info.Size = size;
    last_rc_ = NwGetCardInfo(&info);
    return info;
  }

  uint32_t State() { return Record().State; }
  platform::HWND NotificationWindow() const { return NwGlobals().notification_window.load(); }

  LogCapture log_{kXLogTrace};
  TempDir runtime_{"nw-runtime"};
  ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.Path()};
  platform::VirtualClock clock_;
  std::optional<platform::ScopedClock> scoped_clock_;
  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_tree_{tree_};
  platform::SimDeviceEvents events_{tree_};
  platform::SimModemManager modem_manager_{platform::SimModemManager::Behaviour::kAbsent};
  platform::ScopedModemManager scoped_modem_manager_{modem_manager_};
  platform::PseudoTerminal pty_;
  std::optional<platform::ResourceModule> module_;
  platform::HWND window_ = nullptr;
  std::vector<Notification> notes_;
  bool release_on_suspend_ = true;
  // Runs on a suspension notification, before the release.
  std::function<void()> on_suspended_;
  uint32_t last_rc_ = 0;
};

}  // namespace testing_support

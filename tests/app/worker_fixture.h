// The worker thread over the simulated card: the device tree, the system's
// adapters and dial-up service of the device-access library's own tests, a
// main window on the test thread that records every notification, and the
// virtual clock moved by the test thread only while the worker's loop waits
// with nothing to do (so no command's time budget runs out under it).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/app_messages.h"
#include "app/cached_dravik.h"
#include "app/ussd_session.h"
#include "app/worker_thread.h"
#include "platform/clock.h"
#include "platform/modem_manager_sim.h"
#include "platform/sim_device_events.h"
#include "platform/sim_device_tree.h"
#include "platform/sim_dial_up_service.h"
#include "platform/sim_ip_helper.h"
#include "platform/window.h"
#include "sim/sim_card_builder.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

// A message from the network for the simulated card, with a fixed time
// stamp and service centre.
inline sim::DeliverMessage IncomingSms(std::string originator, std::string text) {
  sim::DeliverMessage message;
  message.service_centre = "+491710760000";
  message.originator = std::move(originator);
  message.text = std::move(text);
  message.time = {2026, 3, 14, 15, 9, 26, 4};
  return message;
}

struct Notification {
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;  // records are freed on arrival; only their presence counts
  CachedDravikValues values;  // the cache as the window reads it on arrival
  std::optional<UssdNews> ussd;  // a copy of WM_APP_USSD_NEWS's record
};

class WorkerFixture : public ::testing::Test {
 protected:
  static constexpr uint32_t kStepMs = 50;
  static constexpr uint64_t kVirtualLimitMs = 600000;

  WorkerFixture() {
    clock_.SetSleepAdvances(true);
    CachedDravik::Instance().Reset();
    platform::RegisterClass(kWindowClass, [this](platform::HWND, uint32_t message, platform::WPARAM w,
                                                 platform::LPARAM l) -> platform::LRESULT {
      if (message >= platform::WM_APP) {
        notifications_.push_back({message, w, l, CachedDravik::Instance().Snapshot(), std::nullopt});
        if (message == app_messages::WM_APP_USSD_NEWS && l != 0) {
          notifications_.back().ussd = *reinterpret_cast<const UssdNews*>(l);
        }
        CWorkerThread::FreeNotificationRecord(message, w, l);
      }
      return 0;
    });
    window_ = platform::CreateWindow(kWindowClass);
  }

  ~WorkerFixture() override {
    if (HasFailure()) {
      for (const std::string& line : log_.Lines()) std::fprintf(stderr, "  | %s\n", line.c_str());
    }
    presence_.reset();
    if (worker_) worker_->Stop();
    platform::PumpMessages();
    platform::DestroyWindow(window_);
    platform::UnregisterClass(kWindowClass);
    CachedDravik::Instance().Reset();
  }

  // Starts the worker, which posts to this test's main window.
  void StartWorker() {
    worker_ = std::make_unique<CWorkerThread>(window_);
    ASSERT_TRUE(worker_->Start());
  }

  // Plugs a card into the tree; the worker takes it from there.
  void Plug(const sim::SimCardBuilder& builder) { presence_ = builder.BuildIn(tree_, &adapters_); }

  // Pumps the main window's queue until `predicate` holds, letting virtual
  // time pass in steps while the worker has nothing to run; false when it
  // did not hold within the virtual limit (or the real-time safety net).
  template <typename Predicate>
  bool RunUntil(Predicate predicate, uint64_t virtual_limit_ms = kVirtualLimitMs) {
    const uint64_t start = clock_.NowMs();
    const auto deadline = std::chrono::steady_clock::now() + kSafetyNet;
    for (;;) {
      const size_t ran = platform::PumpMessages();
      if (predicate()) return true;
      if (clock_.NowMs() - start > virtual_limit_ms) return false;
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (ran == 0 && Idle()) {
        // Let the card and the worker's other threads catch up with what the
        // last step started before the next step.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (Idle()) clock_.Advance(kStepMs);
      } else {
        std::this_thread::yield();
      }
    }
  }

  // As RunUntil, but while the worker waits on a mute card, time moves to
  // the next deadline anyone waits for: the command budgets run out.
  template <typename Predicate>
  bool DriveUntil(Predicate predicate) {
    const auto deadline = std::chrono::steady_clock::now() + kSafetyNet;
    const uint64_t start = clock_.NowMs();
    for (;;) {
      const size_t ran = platform::PumpMessages();
      if (predicate()) return true;
      if (clock_.NowMs() - start > kVirtualLimitMs) return false;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (ran == 0 && !clock_.AdvanceToNextDeadline()) clock_.Advance(kStepMs);
    }
  }

  bool Idle() const { return worker_ == nullptr || worker_->Idle(); }

  bool RunUntilNotified(uint32_t message) {
    const size_t from = notifications_.size();
    return RunUntil([&] { return Received(message, from); });
  }

  bool Received(uint32_t message, size_t from = 0) const {
    for (size_t i = from; i < notifications_.size(); ++i) {
      if (notifications_[i].message == message) return true;
    }
    return false;
  }

  const Notification* Last(uint32_t message) const {
    for (auto it = notifications_.rbegin(); it != notifications_.rend(); ++it) {
      if (it->message == message) return &*it;
    }
    return nullptr;
  }

  CachedDravikValues Cache() const { return CachedDravik::Instance().Snapshot(); }
  sim::SimCard& Card() { return presence_->Card(); }
  sim::SimPresence& Presence() { return *presence_; }

  static constexpr char16_t kWindowClass[] = u"WorkerTestMainWindow";

  LogCapture log_{kXLogTrace};
  TempDir runtime_{"worker-runtime"};
  ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.Path()};
  TempDir home_{"worker-home"};
  ScopedEnv config_env_{"XDG_CONFIG_HOME", home_.Path()};
  ScopedEnv data_env_{"XDG_DATA_HOME", home_.Path()};
  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_tree_{tree_};
  // Card detection asks this one about a held port, never the system's
  // ModemManager; absent unless a test makes it return.
  platform::SimModemManager modem_manager_{platform::SimModemManager::Behaviour::kAbsent};
  platform::ScopedModemManager scoped_modem_manager_{modem_manager_};
  platform::SimDeviceEvents device_events_{tree_};
  platform::SimIpHelper adapters_;
  platform::ScopedIpHelper scoped_adapters_{adapters_};
  platform::SimDialUpService dial_up_{adapters_};
  platform::ScopedDialUpService scoped_dial_up_{dial_up_};
  platform::HWND window_ = nullptr;
  std::vector<Notification> notifications_;
  std::unique_ptr<sim::SimPresence> presence_;
  std::unique_ptr<CWorkerThread> worker_;
};

}  // namespace testing_support

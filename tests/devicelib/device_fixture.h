// The whole device-access library for a test, with the test's thread as the
// library's client thread: a private runtime folder, a simulated device tree
// whose changes are broadcast, the shipped card database, the library
// initialised with handlers that record every event, and a simulated card
// plugged into the tree on demand.
//
// Time is the virtual clock's. The library's work runs on the test thread
// while it pumps; between pumps, once nothing is left to run, the clock
// moves on in small steps (PumpUntil), which fires the library's and card
// detection's timers and lets the simulated card's own delays pass. Sleeps
// pass at once (the settling pause before each command, the initialisation
// wait, retry pauses): the test thread is the only one whose sleeps matter.
// A transaction waiting for the card's answer never sees the clock move,
// since the clock only moves between pumps; a test that wants a budget to
// run out drives the clock itself.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "platform/clock.h"
#include "platform/heap.h"
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

struct DeliveredEvent {
  uint32_t code;
  uintptr_t parameter;
  int device_state;  // at delivery
};

class DeviceFixture : public ::testing::Test {
 protected:
  // The virtual time PumpUntil lets pass per step when nothing is left to run.
  static constexpr uint32_t kIdleStepMs = 50;
  // How much virtual time PumpUntil may let pass before it gives up.
  static constexpr uint64_t kVirtualLimitMs = 400000;

  DeviceFixture() { clock_.SetSleepAdvances(true); }

  ~DeviceFixture() override {
    if (HasFailure()) {
      for (const std::string& line : log_.Lines()) std::fprintf(stderr, "  | %s\n", line.c_str());
    }
    Shutdown();
  }

  // DvInitialize on the test thread; the listener registration is pumped.
  void Initialize() {
    DvClientHandlers handlers;
    handlers.on_event = &DeviceFixture::OnEvent;
    handlers.on_error = &DeviceFixture::OnError;
    handlers.context = this;
    ASSERT_EQ(DvInitialize(nullptr, handlers), DV_S_OK);
    initialized_ = true;
    Settle();
  }

  void Shutdown() {
    presence_.reset();
    if (initialized_) {
      DvShutdown();
      initialized_ = false;
    }
    Settle();
    for (const DeliveredEvent& e : events_) {
      if (DvEventCarriesRecord(e.code)) platform::LocalFree(reinterpret_cast<void*>(e.parameter));
    }
    events_.clear();
  }

  // Plugs a card built by `builder` into the tree (the insertion delays pass
  // on the clock at once) and pumps until the device is Found.
  bool Plug(const sim::SimCardBuilder& builder) {
    presence_ = builder.BuildIn(tree_, &adapters_);
    if (presence_ == nullptr) return false;
    return PumpUntil([] { return GSM::Device::Instance().GetDeviceState() != GSM::DeviceState::NotFound; });
  }

  // Plug, then DvInitializeDevice as a client does on Found.
  bool PlugAndInitialize(const sim::SimCardBuilder& builder) {
    if (!Plug(builder)) return false;
    const DvResult rc = InitializeDevice();
    EXPECT_EQ(rc, DV_S_OK) << std::hex << rc;
    Settle();
    return rc == DV_S_OK;
  }

  DvResult InitializeDevice() { return DvInitializeDevice(); }

  sim::SimCard& Card() { return presence_->Card(); }
  sim::SimPresence& Presence() { return *presence_; }
  GSM::Device& Device() { return GSM::Device::Instance(); }

  // Runs everything that is ready, also what other threads post meanwhile,
  // until a short real-time moment passes with nothing new.
  void Settle() {
    for (int quiet = 0; quiet < 3;) {
      if (platform::PumpMessages() > 0) {
        quiet = 0;
      } else {
        ++quiet;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
  }

  // Pumps until `predicate` holds, letting virtual time pass in steps while
  // nothing is left to run; false when it did not hold within the virtual
  // limit (or the real-time safety net).
  template <typename Predicate>
  bool PumpUntil(Predicate predicate, uint64_t virtual_limit_ms = kVirtualLimitMs) {
    const uint64_t start = clock_.NowMs();
    const auto deadline = std::chrono::steady_clock::now() + kSafetyNet;
    while (!predicate()) {
      if (clock_.NowMs() - start > virtual_limit_ms) return false;
      if (std::chrono::steady_clock::now() > deadline) return false;
      Settle();
      if (predicate()) break;
      clock_.Advance(kIdleStepMs);
    }
    return true;
  }

  // Lets `ms` of virtual time pass, running what falls due.
  void Pass(uint64_t ms) {
    const uint64_t end = clock_.NowMs() + ms;
    while (clock_.NowMs() < end) {
      Settle();
      clock_.Advance(std::min<uint64_t>(kIdleStepMs, end - clock_.NowMs()));
    }
    Settle();
  }

  std::vector<uint32_t> EventCodes() const {
    std::vector<uint32_t> codes;
    for (const DeliveredEvent& e : events_) codes.push_back(e.code);
    return codes;
  }
  size_t CountEvents(uint32_t code) const {
    size_t n = 0;
    for (const DeliveredEvent& e : events_) n += e.code == code ? 1 : 0;
    return n;
  }
  void ClearEvents() {
    for (const DeliveredEvent& e : events_) {
      if (DvEventCarriesRecord(e.code)) platform::LocalFree(reinterpret_cast<void*>(e.parameter));
    }
    events_.clear();
  }

  LogCapture log_{kXLogTrace};
  TempDir runtime_{"dv-runtime"};
  ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.Path()};
  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_tree_{tree_};
  // Card detection asks this one about a held port, never the system's
  // ModemManager; absent unless a test makes it return.
  platform::SimModemManager modem_manager_{platform::SimModemManager::Behaviour::kAbsent};
  platform::ScopedModemManager scoped_modem_manager_{modem_manager_};
  platform::SimDeviceEvents device_events_{tree_};
  // The system's network adapters: the simulated card's adapter among them.
  platform::SimIpHelper adapters_;
  platform::ScopedIpHelper scoped_adapters_{adapters_};
  // The dial-up service, which dials the simulated card's modem port.
  platform::SimDialUpService dial_up_{adapters_};
  platform::ScopedDialUpService scoped_dial_up_{dial_up_};
  std::unique_ptr<sim::SimPresence> presence_;
  std::vector<DeliveredEvent> events_;
  struct Error {
    uint32_t type;
    DvResult primary;
    DvResult secondary;
  };
  std::vector<Error> errors_;
  bool initialized_ = false;

 private:
  static void OnEvent(uint32_t event, uintptr_t parameter, void* context) {
    auto* self = static_cast<DeviceFixture*>(context);
    self->events_.push_back({event, parameter, GSM::Device::Instance().GetDeviceState()});
  }
  static void OnError(uint32_t type, DvResult primary, DvResult secondary, void* context) {
    static_cast<DeviceFixture*>(context)->errors_.push_back({type, primary, secondary});
  }
};

}  // namespace testing_support

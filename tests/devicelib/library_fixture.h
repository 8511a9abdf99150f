// The whole device-access library for an end-to-end test, driven as a client
// drives it: a simulated device tree (the process's tree while the fixture
// lives) whose changes are broadcast, a private runtime folder and registry,
// the shipped card database (the program's own resources, which name the
// simulated card classes), and a client thread with a message loop that
// initialises the library and records every event with the states at that
// moment. A simulated card is plugged in through sim::SimPresence.
//
// Time runs on a virtual clock that never moves by itself: the test moves it
// for each wait it expects (the insertion delays of the simulated tree, the
// polling of a sub-device, the initialisation's 1000 ms wait, SIM polling).
// Only short sleeps (up to 100 ms: the library's settling before each
// command and while the port opens, the insertion's steps after the first)
// pass by themselves, earliest first, through a helper thread that moves the
// clock to the next deadline when it is that close; no timer or time budget
// of the library is that short.
// The simulated card answers over its ptys in real time while the clock
// stands still, so a command's time budget never runs out unless the test
// moves the clock.
//
//   class MyTest : public testing_support::LibraryFixture {};
//   TEST_F(MyTest, ...) {
//     ASSERT_TRUE(PlugCard(sim::NewSimCard(sim::CardKind::kGprs)));
//     ASSERT_TRUE(WaitUntilFound());
//     ASSERT_TRUE(PassInitializationWait());
//     ASSERT_TRUE(WaitForDeviceState(GSM::DeviceState::Initialized));
//     EXPECT_EQ(OnClient([] { int s = 0; DvGetSimState(&s); return s; }), 1);
//   }
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "devicelib/device_states.h"
#include "devicelib/dv_api.h"
#include "devicelib/result_codes.h"
#include "platform/clock.h"
#include "platform/sim_device_events.h"
#include "platform/sim_device_tree.h"
#include "platform/window.h"
#include "sim/sim_card_builder.h"
#include "sim/sim_presence.h"
#include "tests/support/log_capture.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

// The device's states as the client could read them when an event arrived
// (read from GSM::Device's getters on the client thread, so reading them
// sends nothing to the card).
struct DeviceSnapshot {
  int device_state = 0;
  int sim_state = 0;
  int cs_state = 0;
  int ps_state = 0;
  int edge_state = 0;
  int hsdpa_state = 0;
  int connection_state = 0;
  int voice_state = 0;
  int signal = 0;
  int extended_signal = 0;
  int wcdma_signal = 0;
  int access_technology = 0;
  std::u16string idle_text;
  friend bool operator==(const DeviceSnapshot&, const DeviceSnapshot&) = default;
};

// One event as the client's handler received it.
struct LibraryEvent {
  uint32_t code = 0;
  uintptr_t parameter = 0;  // a record parameter is freed by the handler; only its value is kept
  DeviceSnapshot states;
};

struct LibraryError {
  uint32_t type = 0;
  DvResult primary = 0;
  DvResult secondary = 0;
};

class LibraryFixture : public ::testing::Test {
 protected:
  LibraryFixture();
  ~LibraryFixture() override;

  // --- The client thread ----------------------------------------------------

  // What DvInitialize returned on the client thread.
  DvResult InitializeResult() const { return initialize_result_; }
  uint32_t ClientThreadId() const { return client_thread_id_; }

  // Runs `work` on the client thread (between its messages, as a client's
  // own work runs) and returns the future of its result. For work that
  // waits on the clock: the test moves the clock meanwhile.
  template <typename Work>
  auto StartOnClient(Work work) -> std::future<std::invoke_result_t<Work&>> {
    using Result = std::invoke_result_t<Work&>;
    auto task = std::make_shared<std::packaged_task<Result()>>(std::move(work));
    std::future<Result> future = task->get_future();
    Post([task] { (*task)(); });
    return future;
  }
  // Runs `work` on the client thread and waits (in real time) for its
  // result. Only for work that does not wait on the clock (a library call
  // that the card answers, a getter).
  template <typename Work>
  auto OnClient(Work work) -> std::invoke_result_t<Work&> {
    auto future = StartOnClient(std::move(work));
    AwaitOrAbort(future);
    return future.get();
  }

  // Whether the client calls DvInitializeDevice when the device state
  // becomes Found (as the application's worker does). Set before plugging.
  void SetInitializeOnFound(bool on) { initialize_on_found_ = on; }
  // DvInitializeDevice's results, in order, when the client called it.
  std::vector<DvResult> InitializeDeviceResults() const;

  // --- The card --------------------------------------------------------------

  // Plugs the card `builder` makes into the tree, moving the clock past the
  // insertion's enumeration delay (the shorter steps after it pass by
  // themselves). True once its nodes are in.
  bool PlugCard(const sim::SimCardBuilder& builder);
  // Pulls it (its nodes go, its ports hang up).
  void PullCard();
  sim::SimPresence& Presence() { return *presence_; }
  sim::SimCard& Card() { return presence_->Card(); }

  // From the plug to device state Found: moves the clock to each tick of the
  // card-detection polling timer for as long as the card's sub-devices are
  // polled for; for a card found on its arrival events, it only waits. True
  // once EventDeviceStateChanged with Found has been received (the client
  // is then in DvInitializeDevice's first wait when it initialises on Found).
  bool WaitUntilFound();
  // Lets DvInitializeDevice's 1000 ms wait before the first command pass
  // (what is left of it when the insertion's last steps passed meanwhile).
  bool PassInitializationWait();
  // Lets the next tick of SIM polling (every 1500 ms) come, once the client
  // is idle; false when no deadline that near is waited for.
  bool PassSimPolling();

  // --- Events -------------------------------------------------------------------

  std::vector<LibraryEvent> Events() const;
  std::vector<LibraryError> Errors() const;
  size_t EventCount() const;
  // The device states of the EventDeviceStateChanged received, in order.
  std::vector<int> DeviceStatesSeen() const;
  // Waits (in real time, for what the card answers) until an event from
  // index `from` on satisfies `predicate`; false when the safety net ran out.
  bool WaitForEvent(const std::function<bool(const LibraryEvent&)>& predicate, size_t from = 0);
  bool WaitForDeviceState(int state, size_t from = 0);

  LogCapture log_{kXLogTrace};
  platform::VirtualClock clock_;

 private:
  void Post(std::function<void()> job);
  void RunClient(std::promise<void>& started);
  void OnEvent(uint32_t code, uintptr_t parameter);
  void OnError(uint32_t type, DvResult primary, DvResult secondary);
  bool FoundSeen() const;
  bool WaitForFoundEvent();
  template <typename T>
  static void AwaitOrAbort(std::future<T>& future) {
    if (future.wait_for(kClientSafetyNet) != std::future_status::ready) {
      std::fprintf(stderr, "LibraryFixture: the client thread did not finish its work\n");
      std::abort();
    }
  }
  static constexpr std::chrono::seconds kClientSafetyNet{20};

  TempDir runtime_{"dv-runtime"};
  ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.Path()};
  TempRegistry registry_{"dv-registry"};
  platform::ScopedClock scoped_clock_{clock_};
  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_tree_{tree_};
  platform::SimDeviceEvents events_{tree_};
  std::unique_ptr<sim::SimPresence> presence_;

  mutable std::mutex mutex_;  // everything below
  std::condition_variable changed_;
  std::vector<LibraryEvent> library_events_;
  std::vector<LibraryError> library_errors_;
  std::vector<DvResult> initialize_device_results_;
  std::deque<std::function<void()>> jobs_;

  std::atomic<bool> initialize_on_found_{true};
  DvResult initialize_result_ = DV_E_NOT_INITIALIZED;
  uint32_t client_thread_id_ = 0;
  platform::HWND helper_window_ = nullptr;
  std::thread client_;
  size_t initialization_waits_ = 0;  // passed so far
  std::atomic<bool> stop_passing_{false};
  std::thread settle_passer_;
};

}  // namespace testing_support

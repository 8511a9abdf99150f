#include "tests/devicelib/library_fixture.h"

#include "carddetect/notification_window.h"
#include "carddetect/nw_api.h"
#include "carddetect/nw_card_info.h"
#include "devicelib/device.h"
#include "devicelib/modem.h"
#include "devicelib/port.h"
#include "platform/heap.h"
#include "platform/thread.h"
#include "tests/support/eventually.h"

namespace testing_support {
namespace {

constexpr char16_t kHelperClass[] = u"DvTestClientHelperClass";
constexpr uint32_t kRunJobMessage = platform::WM_APP + 90;
constexpr uint32_t kInitializationWaitMs = 1000;
constexpr uint32_t kSimPollingMs = 1500;
// Sleeps up to this long pass by themselves: the port's settling.
constexpr uint32_t kShortWaitMs = GSM::Port::kSettleMs;
static_assert(GSM::Modem::kWriteSettleMs <= kShortWaitMs);
static_assert(sim::SimPresence::kInterfaceStepMs <= kShortWaitMs && sim::SimPresence::kFunctionStepMs <= kShortWaitMs);
// The first insertion step is longer: the test passes it.
static_assert(sim::SimPresence::kEnumerationMs > kShortWaitMs);
// No long wait the tests move the clock for may look short.
static_assert(kPollingPeriodMs > kShortWaitMs && kInitializationWaitMs > kShortWaitMs);
// A card still not found after this many polls never will be.
constexpr int kMaxPollingTicks = 10;

DeviceSnapshot Snapshot() {
  const GSM::Device& d = GSM::Device::Instance();
  DeviceSnapshot s;
  s.device_state = d.GetDeviceState();
  s.sim_state = d.GetSimState();
  s.cs_state = d.GetCsState();
  s.ps_state = d.GetPsState();
  s.edge_state = d.GetEdgeState();
  s.hsdpa_state = d.GetHsdpaState();
  s.connection_state = d.GetConnectionState();
  s.voice_state = d.GetVoiceState();
  s.signal = d.GetSignal();
  s.extended_signal = d.GetExtendedSignal();
  s.wcdma_signal = d.GetWcdmaSignal();
  s.access_technology = d.GetAccessTechnology();
  s.idle_text = d.GetIdleText();
  return s;
}

}  // namespace

LibraryFixture::LibraryFixture() {
  // The short sleeps (the library's settling before each command and
  // around opening the port, the steps of an insertion after the
  // enumeration) pass as they come, earliest first, so that a test moves
  // the clock only for the waits it is about.
  settle_passer_ = std::thread([this] {
    while (!stop_passing_) {
      clock_.AdvanceToNextDeadlineWithin(kShortWaitMs);
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  });
  platform::RegisterClass(kHelperClass, [this](platform::HWND, uint32_t message, platform::WPARAM,
                                               platform::LPARAM) -> platform::LRESULT {
    if (message != kRunJobMessage) return 0;
    std::function<void()> job;
    {
      std::lock_guard lock(mutex_);
      if (jobs_.empty()) return 0;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
    return 0;
  });
  std::promise<void> started;
  std::future<void> ready = started.get_future();
  client_ = std::thread([this, &started] { RunClient(started); });
  AwaitOrAbort(ready);
}

LibraryFixture::~LibraryFixture() {
  if (HasFailure()) {
    for (const std::string& line : log_.Lines()) std::fprintf(stderr, "  | %s\n", line.c_str());
  }
  // Shut-down waits for the library's threads to end; whatever it waits for
  // on the clock is let pass, since no test looks at time any more.
  std::atomic<bool> stop{false};
  std::thread clock_runner([&] {
    while (!stop) {
      if (clock_.TimedWaiters() > 0) clock_.AdvanceToNextDeadline();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  if (client_thread_id_ != 0) platform::PostThreadMessage(client_thread_id_, platform::WM_QUIT, 0, 0);
  if (client_.joinable()) client_.join();
  presence_.reset();
  stop = true;
  clock_runner.join();
  stop_passing_ = true;
  settle_passer_.join();
  platform::UnregisterClass(kHelperClass);
}

void LibraryFixture::RunClient(std::promise<void>& started) {
  client_thread_id_ = platform::GetCurrentThreadId();
  helper_window_ = platform::CreateWindow(kHelperClass);
  DvClientHandlers handlers;
  handlers.on_event = [](uint32_t code, uintptr_t parameter, void* context) {
    static_cast<LibraryFixture*>(context)->OnEvent(code, parameter);
  };
  handlers.on_error = [](uint32_t type, DvResult primary, DvResult secondary, void* context) {
    static_cast<LibraryFixture*>(context)->OnError(type, primary, secondary);
  };
  handlers.context = this;
  // The program's own module: the shipped card database.
  initialize_result_ = DvInitialize(nullptr, handlers);
  if (initialize_result_ == 0) DvSetApplicationName(u"LibraryFixture");
  started.set_value();

  platform::MSG msg;
  while (platform::GetMessage(msg)) platform::DispatchMessage(msg);

  DvShutdown();
  platform::DestroyWindow(helper_window_);
  // Work posted after the loop ended runs nowhere; its futures are dropped
  // with the fixture.
  std::lock_guard lock(mutex_);
  jobs_.clear();
}

void LibraryFixture::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  if (!platform::PostMessage(helper_window_, kRunJobMessage, 0, 0)) {
    ADD_FAILURE() << "the client thread's helper window is gone";
  }
}

void LibraryFixture::OnEvent(uint32_t code, uintptr_t parameter) {
  // The records of events 11, 12 and 15 are the client's to free.
  if (DvEventCarriesRecord(code) && parameter != 0) platform::LocalFree(reinterpret_cast<void*>(parameter));
  LibraryEvent event{code, parameter, Snapshot()};
  {
    std::lock_guard lock(mutex_);
    library_events_.push_back(event);
  }
  changed_.notify_all();
  if (code == EventDeviceStateChanged && event.states.device_state == GSM::DeviceState::Found &&
      initialize_on_found_) {
    const DvResult rc = DvInitializeDevice();
    {
      std::lock_guard lock(mutex_);
      initialize_device_results_.push_back(rc);
    }
    changed_.notify_all();
  }
}

void LibraryFixture::OnError(uint32_t type, DvResult primary, DvResult secondary) {
  {
    std::lock_guard lock(mutex_);
    library_errors_.push_back({type, primary, secondary});
  }
  changed_.notify_all();
}

std::vector<DvResult> LibraryFixture::InitializeDeviceResults() const {
  std::lock_guard lock(mutex_);
  return initialize_device_results_;
}

bool LibraryFixture::PlugCard(const sim::SimCardBuilder& builder) {
  if (presence_ != nullptr && presence_->CardNode() != 0) {
    ADD_FAILURE() << "a card is plugged already";
    return false;
  }
  // The plugging thread sleeps on the clock before it inserts the nodes
  // below the card: the enumeration is let pass once it is in it, the
  // shorter steps after it pass by themselves.
  std::future<bool> plugged = std::async(std::launch::async, [&]() -> bool {
    if (presence_ != nullptr) return presence_->Plug();
    presence_ = builder.BuildIn(tree_);
    return presence_ != nullptr;
  });
  clock_.AdvanceWhenWaiting(sim::SimPresence::kEnumerationMs);
  AwaitOrAbort(plugged);
  return plugged.get();
}

void LibraryFixture::PullCard() {
  if (presence_ != nullptr) presence_->Pull();
}

bool LibraryFixture::FoundSeen() const {
  std::lock_guard lock(mutex_);
  for (const LibraryEvent& e : library_events_) {
    if (e.code == EventDeviceStateChanged && e.states.device_state == GSM::DeviceState::Found) return true;
  }
  return false;
}

bool LibraryFixture::WaitUntilFound() {
  // Behind every broadcast of the insertion (all posted once PlugCard
  // returned): a card detection has started takes the device to Found by
  // itself; one still Starting waits for the polling timer.
  const uint32_t card_state = OnClient([] {
    NwCardInfo info{};
    info.Size = sizeof info;
    return NwGetCardInfo(&info) == 0 ? info.State : uint32_t{CardStateStopped};
  });
  if (card_state == CardStateStarted) return WaitForFoundEvent();
  if (card_state != CardStateStarting) return false;
  // The client is idle now, waiting for the first tick at an instant set
  // during the insertion (the detection time-out lies far behind it). After
  // a tick it either takes the card up (and raises Found) or waits for the
  // next tick, one period on; no other wait of it is that long.
  clock_.WaitForTimedWaiters(1);
  clock_.AdvanceToNextDeadline();
  for (int ticks = 1; ticks < kMaxPollingTicks; ++ticks) {
    if (!Eventually([&] { return FoundSeen() || clock_.HasWaiterAt(kPollingPeriodMs); })) return false;
    if (FoundSeen()) return true;
    clock_.AdvanceWhenWaiting(kPollingPeriodMs);
  }
  return WaitForFoundEvent();
}

bool LibraryFixture::WaitForFoundEvent() {
  return WaitForEvent(
      [](const LibraryEvent& e) { return e.code == EventDeviceStateChanged && e.states.device_state == GSM::DeviceState::Found; });
}

bool LibraryFixture::PassInitializationWait() {
  if (!FoundSeen()) return false;
  // The wait may have begun before the last steps of the insertion passed
  // (a card found before its last node is in), so it is less than 1000 ms
  // away by now; it is the only wait with a deadline then, the plugging
  // thread having finished.
  const std::string waiting = "Dv: Waiting " + std::to_string(kInitializationWaitMs) + " milliseconds";
  if (!log_.WaitFor(waiting, ++initialization_waits_)) return false;
  return Eventually([&] { return clock_.AdvanceToNextDeadlineWithin(kInitializationWaitMs); });
}

bool LibraryFixture::PassSimPolling() {
  // Commands since the timer started have moved the clock by their settling
  // sleeps; once the client is idle, its nearest deadline is the next poll.
  std::future<void> idle = StartOnClient([] {});
  AwaitOrAbort(idle);
  return Eventually([&] { return clock_.AdvanceToNextDeadlineWithin(kSimPollingMs); });
}

std::vector<LibraryEvent> LibraryFixture::Events() const {
  std::lock_guard lock(mutex_);
  return library_events_;
}

std::vector<LibraryError> LibraryFixture::Errors() const {
  std::lock_guard lock(mutex_);
  return library_errors_;
}

size_t LibraryFixture::EventCount() const {
  std::lock_guard lock(mutex_);
  return library_events_.size();
}

std::vector<int> LibraryFixture::DeviceStatesSeen() const {
  std::lock_guard lock(mutex_);
  std::vector<int> states;
  for (const LibraryEvent& e : library_events_) {
    if (e.code == EventDeviceStateChanged) states.push_back(e.states.device_state);
  }
  return states;
}

bool LibraryFixture::WaitForEvent(const std::function<bool(const LibraryEvent&)>& predicate, size_t from) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kSafetyNet, [&] {
    for (size_t i = from; i < library_events_.size(); ++i) {
      if (predicate(library_events_[i])) return true;
    }
    return false;
  });
}

bool LibraryFixture::WaitForDeviceState(int state, size_t from) {
  return WaitForEvent(
      [state](const LibraryEvent& e) { return e.code == EventDeviceStateChanged && e.states.device_state == state; },
      from);
}

}  // namespace testing_support

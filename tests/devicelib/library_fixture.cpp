#include "tests/devicelib/library_fixture.h"

#include <set>

#include "carddetect/notification_window.h"
#include "devicelib/device.h"
#include "platform/heap.h"
#include "platform/thread.h"
#include "sim/card_layout.h"
#include "tests/support/eventually.h"

namespace testing_support {
namespace {

constexpr char16_t kHelperClass[] = u"DvTestClientHelperClass";
constexpr uint32_t kRunJobMessage = platform::WM_APP + 90;
constexpr uint32_t kInitializationWaitMs = 1000;
constexpr uint32_t kSimPollingMs = 1500;
// A card still not found after this many polls never will be.
constexpr int kMaxPollingTicks = 10;

// The sleeps of SimPresence::Insert for a card of this layout, in order:
// the enumeration, a step before each further interface, and a step before
// each function's nodes (an AT port offered by name only has none). Every
// simulated card has a modem path and an AT path (one combined port, or
// two), and its diagnostics pty opens.
std::vector<uint32_t> InsertionDelays(const sim::CardLayout& layout) {
  std::vector<uint32_t> delays = {sim::SimPresence::kEnumerationMs};
  std::set<uint8_t> interfaces;
  for (const sim::CardInterface& i : layout.interfaces) {
    if (!interfaces.insert(i.number).second) continue;
    if (interfaces.size() > 1) delays.push_back(sim::SimPresence::kInterfaceStepMs);
  }
  for (const sim::CardInterface& i : layout.interfaces) {
    switch (i.function) {
      case sim::InterfaceFunction::kAtPort:
        if (!layout.at_port_pattern.empty()) break;
        delays.push_back(sim::SimPresence::kFunctionStepMs);
        break;
      case sim::InterfaceFunction::kModem:
      case sim::InterfaceFunction::kDiagnostics:
      case sim::InterfaceFunction::kNetwork:
        delays.push_back(sim::SimPresence::kFunctionStepMs);
        break;
    }
  }
  return delays;
}

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
  // The plugging thread sleeps on the clock between the nodes it inserts;
  // each sleep is let pass once that thread is in it.
  const std::vector<uint32_t> delays =
      InsertionDelays(presence_ != nullptr ? presence_->Layout() : sim::LayoutOf(builder.Class().kind));
  std::future<bool> plugged = std::async(std::launch::async, [&]() -> bool {
    if (presence_ != nullptr) return presence_->Plug();
    presence_ = builder.BuildIn(tree_);
    return presence_ != nullptr;
  });
  for (const uint32_t ms : delays) {
    if (plugged.wait_for(std::chrono::seconds(0)) == std::future_status::ready) break;  // failed early
    clock_.AdvanceWhenWaiting(ms);
  }
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

bool LibraryFixture::ClientIdleWithoutFound() {
  // A no-op behind everything posted so far: once it ran, the client has
  // handled every broadcast of the insertion and of the last tick. While it
  // waits, the client may receive Found and enter the initialisation, whose
  // first wait only the test ends: then the no-op runs later, harmlessly.
  std::future<void> synced = StartOnClient([] {});
  const bool ran = Eventually([&] {
    return FoundSeen() || synced.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  });
  return ran && !FoundSeen();
}

bool LibraryFixture::WaitUntilFound() {
  // The first tick of the polling timer is at an instant set during the
  // insertion: once the client is idle (waiting for it, and for the
  // detection time-out far behind it), the clock moves to it. Each later
  // tick is one period after the one before.
  bool first = true;
  for (int ticks = 0; ticks < kMaxPollingTicks; ++ticks) {
    if (!ClientIdleWithoutFound()) return FoundSeen();
    if (first) {
      clock_.WaitForTimedWaiters(1);
      clock_.AdvanceToNextDeadline();
      first = false;
    } else {
      clock_.AdvanceWhenWaiting(kPollingPeriodMs);
    }
  }
  return FoundSeen();
}

bool LibraryFixture::PassInitializationWait() {
  if (!FoundSeen()) return false;
  clock_.AdvanceWhenWaiting(kInitializationWaitMs);
  return true;
}

void LibraryFixture::PassSimPolling() { clock_.AdvanceWhenWaiting(kSimPollingMs); }

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

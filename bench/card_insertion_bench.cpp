// What a card insertion costs, end to end, on the real clock: from the
// simulated card's plug to device state Initialized, with its parts (the USB
// insertion delays of the simulated tree, detection until Found, the fixed
// 1000 ms wait of the initialisation, the commands), median over 10 runs;
// and the CPU time an initialised, idle device takes over 10 s while the
// card reports its signal about once a second.
//
// Each run is a client as the application runs one: a thread with a message
// loop that initialises the library and calls DvInitializeDevice when the
// device is Found. Times are in milliseconds.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "devicelib/device.h"
#include "devicelib/device_states.h"
#include "devicelib/dv_api.h"
#include "foundation/xlog.h"
#include "platform/heap.h"
#include "platform/registry.h"
#include "platform/sim_device_events.h"
#include "platform/sim_device_tree.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "sim/sim_card_builder.h"
#include "sim/sim_presence.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kInitializationWaitMs = 1000;
constexpr auto kSafetyNet = std::chrono::seconds(30);
constexpr auto kIdleSpan = std::chrono::seconds(10);
constexpr auto kSignalReportEvery = std::chrono::seconds(1);

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// One client of the library with a simulated tree and card, on the real clock.
class InsertionRun {
 public:
  InsertionRun() {
    client_ = std::thread([this] { RunClient(); });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return client_thread_ != 0; });
  }
  ~InsertionRun() {
    platform::PostThreadMessage(client_thread_, platform::WM_QUIT, 0, 0);
    client_.join();
    presence_.reset();
  }

  // Plugs the card; true once its nodes are in.
  bool Plug(sim::CardKind kind) {
    plug_start_ = Clock::now();
    presence_ = sim::NewSimCard(kind).BuildIn(tree_);
    nodes_in_ = Clock::now();
    return presence_ != nullptr;
  }
  bool WaitForInitialized() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kSafetyNet, [&] { return initialized_.has_value() || failed_; }) && !failed_;
  }

  sim::SimCard& Card() { return presence_->Card(); }
  Clock::time_point plug_start_, nodes_in_;
  std::optional<Clock::time_point> found_, initialized_;

 private:
  void RunClient() {
    DvClientHandlers handlers;
    handlers.on_event = [](uint32_t code, uintptr_t parameter, void* context) {
      static_cast<InsertionRun*>(context)->OnEvent(code, parameter);
    };
    handlers.context = this;
    const DvResult rc = DvInitialize(nullptr, handlers);
    {
      std::lock_guard lock(mutex_);
      client_thread_ = platform::GetCurrentThreadId();
      failed_ = rc != 0;
    }
    changed_.notify_all();
    platform::MSG msg;
    while (platform::GetMessage(msg)) platform::DispatchMessage(msg);
    DvShutdown();
  }

  void OnEvent(uint32_t code, uintptr_t parameter) {
    if (DvEventCarriesRecord(code) && parameter != 0) platform::LocalFree(reinterpret_cast<void*>(parameter));
    if (code != EventDeviceStateChanged) return;
    const int state = GSM::Device::Instance().GetDeviceState();
    const auto now = Clock::now();
    if (state == GSM::DeviceState::Found) {
      {
        std::lock_guard lock(mutex_);
        if (!found_) found_ = now;
      }
      if (DvInitializeDevice() != 0) {
        std::lock_guard lock(mutex_);
        failed_ = true;
      }
    } else if (state == GSM::DeviceState::Initialized) {
      std::lock_guard lock(mutex_);
      if (!initialized_) initialized_ = now;
    }
    changed_.notify_all();
  }

  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_tree_{tree_};
  platform::SimDeviceEvents events_{tree_};
  std::unique_ptr<sim::SimPresence> presence_;

  std::mutex mutex_;
  std::condition_variable changed_;
  uint32_t client_thread_ = 0;
  bool failed_ = false;
  std::thread client_;
};

void BM_CardInsertionToInitialized(benchmark::State& state) {
  bench_support::QuietLog quiet;
  bench_support::PrivateFolders folders;
  const auto kind = static_cast<sim::CardKind>(state.range(0));
  double usb = 0, detection = 0, commands = 0;
  for (auto _ : state) {
    InsertionRun run;
    if (!run.Plug(kind)) {
      state.SkipWithError("the simulated card could not be plugged");
      break;
    }
    if (!run.WaitForInitialized() || !run.found_) {
      state.SkipWithError("the card did not become Initialized");
      break;
    }
    const auto total = *run.initialized_ - run.plug_start_;
    state.SetIterationTime(std::chrono::duration<double>(total).count());
    usb = Ms(run.nodes_in_ - run.plug_start_);
    // Detection can finish before the plugging thread returns from its
    // last step; Found counts from the plug then.
    detection = Ms(*run.found_ - run.plug_start_) - usb;
    commands = Ms(*run.initialized_ - *run.found_) - kInitializationWaitMs;
  }
  state.counters["usb_insertion_ms"] = usb;
  state.counters["detection_to_found_ms"] = detection;
  state.counters["fixed_wait_ms"] = kInitializationWaitMs;
  state.counters["commands_ms"] = commands;
  state.SetLabel(std::string(sim::ClassOf(kind).id) + " card");
}
BENCHMARK(BM_CardInsertionToInitialized)
    ->Arg(static_cast<int>(sim::CardKind::kMultiplexing3g))
    ->Arg(static_cast<int>(sim::CardKind::kGprs))
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true)
    ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

double ProcessCpuMs() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void BM_IdleInitializedDeviceCpu(benchmark::State& state) {
  bench_support::QuietLog quiet;
  bench_support::PrivateFolders folders;
  for (auto _ : state) {
    InsertionRun run;
    if (!run.Plug(sim::CardKind::kMultiplexing3g) || !run.WaitForInitialized()) {
      state.SkipWithError("the card did not become Initialized");
      break;
    }
    // The card reports a new signal value about once a second, as one on
    // the move does.
    std::atomic<bool> stop{false};
    std::thread reporter([&] {
      int rssi = 10;
      while (!stop) {
        run.Card().SetSignal(rssi);
        rssi = rssi == 10 ? 20 : 10;
        std::this_thread::sleep_for(kSignalReportEvery);
      }
    });
    const double before = ProcessCpuMs();
    std::this_thread::sleep_for(kIdleSpan);
    const double used = ProcessCpuMs() - before;
    stop = true;
    reporter.join();
    state.SetIterationTime(std::chrono::duration<double>(kIdleSpan).count());
    state.counters["cpu_ms_per_10s"] = used;
    state.counters["cpu_percent"] = used / Ms(kIdleSpan) * 100.0;
  }
}
BENCHMARK(BM_IdleInitializedDeviceCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

// How fast the main window hears of the network: from a registration change
// on the simulated card to the WM_APP_STATE_CHANGED after which the device
// cache shows it, through the card's report, the receiver thread, the
// library's event on the worker, the worker's query and its post to the main
// window. On the real clock, over a few hundred changes between home and
// roaming; median and worst in milliseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "app/app_messages.h"
#include "app/cached_dravik.h"
#include "app/worker_thread.h"
#include "bench/bench_support.h"
#include "platform/sim_device_events.h"
#include "platform/sim_device_tree.h"
#include "platform/window.h"
#include "sim/sim_card_builder.h"
#include "sim/sim_presence.h"

namespace {

using Clock = std::chrono::steady_clock;
using app_messages::WM_APP_STATE_CHANGED;

constexpr auto kSafetyNet = std::chrono::seconds(30);
constexpr int kChanges = 300;
constexpr uintptr_t kWakeTimer = 1;
constexpr char16_t kWindowClass[] = u"NotificationBenchMainWindow";

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The main window's side: waits in its loop until a state change shows what
// `shown` asks for; a slow timer wakes it to look at the safety net.
template <typename Shown>
bool WaitForStateChange(Shown shown, const Clock::time_point give_up) {
  platform::MSG msg;
  while (Clock::now() < give_up && platform::GetMessage(msg)) {
    platform::DispatchMessage(msg);
    if (msg.message == WM_APP_STATE_CHANGED && shown(CachedDravik::Instance().Snapshot())) return true;
  }
  return false;
}

void BM_RegistrationChangeToStateChanged(benchmark::State& state) {
  bench_support::QuietLog quiet;
  bench_support::PrivateFolders folders;
  platform::RegisterClass(kWindowClass, [](platform::HWND hwnd, uint32_t message, platform::WPARAM w,
                                           platform::LPARAM l) -> platform::LRESULT {
    CWorkerThread::FreeNotificationRecord(message, w, l);
    (void)hwnd;
    return 0;
  });
  const platform::HWND window = platform::CreateWindow(kWindowClass);
  platform::SetTimer(window, kWakeTimer, 500);
  std::vector<double> latencies;
  {
    platform::SimDeviceTree tree;
    platform::ScopedDeviceTree scoped_tree(tree);
    platform::SimDeviceEvents events(tree);
    CWorkerThread worker(window);
    if (!worker.Start()) {
      state.SkipWithError("the worker did not start");
    } else {
      auto presence = sim::NewSimCard(sim::CardKind::kMultiplexing3g).Registered(1).BuildIn(tree);
      const bool registered =
          presence != nullptr &&
          WaitForStateChange([](const CachedDravikValues& v) { return v.CsNetworkState == 1; },
                             Clock::now() + kSafetyNet);
      if (!registered) state.SkipWithError("the card did not register");
      for (auto _ : state) {
        if (!registered) break;
        for (int i = 0; i < kChanges; ++i) {
          const int stat = i % 2 == 0 ? 5 : 1;
          const auto start = Clock::now();
          presence->Card().SetRegistration(stat);
          if (!WaitForStateChange([stat](const CachedDravikValues& v) { return v.CsNetworkState == stat; },
                                  start + kSafetyNet)) {
            state.SkipWithError("a change did not reach the main window");
            break;
          }
          latencies.push_back(Ms(Clock::now() - start));
        }
      }
      presence.reset();
      worker.Stop();
    }
  }
  platform::PumpMessages();
  platform::DestroyWindow(window);
  platform::UnregisterClass(kWindowClass);
  if (latencies.empty()) return;
  std::sort(latencies.begin(), latencies.end());
  state.counters["changes"] = static_cast<double>(latencies.size());
  state.counters["median_ms"] = latencies[latencies.size() / 2];
  state.counters["p99_ms"] = latencies[latencies.size() * 99 / 100];
  state.counters["worst_ms"] = latencies.back();
}
BENCHMARK(BM_RegistrationChangeToStateChanged)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

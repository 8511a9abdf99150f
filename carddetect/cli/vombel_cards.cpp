// vombel-cards: runs card detection and prints one line per notification
// (reason, card state, model, ports, adapter, capability flags) until
// interrupted; with --once it prints the state it finds and exits. With
// --simulate it watches a simulated device tree instead of the system's, and
// plugs and pulls a simulated card in it every few seconds.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "carddetect/notification_line.h"
#include "carddetect/nw_api.h"
#include "foundation/xlog.h"
#include "platform/modem_manager_sim.h"
#include "platform/power_monitor.h"
#include "platform/text.h"
#include "platform/sim_device_events.h"
#include "platform/sim_device_tree.h"
#include "platform/thread.h"
#include "platform/uevent_monitor.h"
#include "platform/window.h"
#include "sim/card_class.h"
#include "sim/sim_card_builder.h"
#include "sim/sim_presence.h"

namespace {

constexpr uint32_t kCardMessage = platform::WM_APP + 10;
constexpr std::u16string_view kWindowClass = u"VombelCardsListener";
// The simulated card stays in (and out) this long.
constexpr uintptr_t kToggleTimer = 1;
constexpr uint32_t kTogglePeriodMs = 8000;

// The trace is for developers; people see it with --verbose.
void DropTraceLine(const char*, void*) {}

// The simulated world of --simulate: a device tree that broadcasts its
// changes, made the program's tree, and one card that goes in and out.
struct Simulation {
  explicit Simulation(const sim::CardClass& card_class) : builder(card_class.kind) {}

  // Plugs a pulled card and pulls a plugged one.
  void Toggle() {
    if (presence == nullptr) {
      std::printf("-- plugging the simulated card\n");
      std::fflush(stdout);
      presence = builder.BuildIn(tree);
      if (presence == nullptr) std::fprintf(stderr, "vombel-cards: the simulated card could not be made\n");
    } else if (presence->CardNode() != 0) {
      std::printf("-- pulling the simulated card\n");
      std::fflush(stdout);
      presence->Pull();
    } else {
      std::printf("-- plugging the simulated card\n");
      std::fflush(stdout);
      if (!presence->Plug()) std::fprintf(stderr, "vombel-cards: the simulated card could not be plugged\n");
    }
  }

  platform::SimDeviceTree tree;
  platform::ScopedDeviceTree scoped_tree{tree};
  platform::SimDeviceEvents events{tree};
  // The simulated card's ports are nobody else's: the system's ModemManager
  // is never asked about them.
  platform::SimModemManager modem_manager{platform::SimModemManager::Behaviour::kAbsent};
  platform::ScopedModemManager scoped_modem_manager{modem_manager};
  sim::SimCardBuilder builder;
  std::unique_ptr<sim::SimPresence> presence;
};

void PrintState(uint32_t reason) {
  NwCardInfo info{};
  info.Size = sizeof info;
  const uint32_t rc = NwGetCardInfo(&info);
  std::printf("%s\n", FormatNotificationLine(reason, rc, info).c_str());
  char16_t held[kNwCardHeldTextSize];
  if (NwGetCardHeldText(held, kNwCardHeldTextSize) == 0) std::printf("   %s\n", platform::Utf16ToUtf8(held).c_str());
  std::fflush(stdout);
  // Another program asked for the card: this one holds nothing on it, so it
  // lets go at once and hears when the card is back.
  if (rc == 0 && info.State == CardStateSuspended) NwReleaseExclusiveAccess();
}

int Usage(FILE* out, int code) {
  std::fprintf(out,
               "usage: vombel-cards [--once] [--simulate[=CARD]] [--verbose]\n"
               "Prints what card detection sees: one line per change of the card state.\n"
               "  --once            print the current state and exit\n"
               "  --simulate[=CARD] watch a simulated card (3g, gprs, techsel, stack3, 0e00,\n"
               "                    composite, standard - a card no database entry names, found\n"
               "                    by asking its ports \"AT\" -, a card name or a model such as\n"
               "                    0x2100; default 3g)\n"
               "                    being plugged and pulled every %u s\n"
               "  --verbose         show the detection trace on standard error\n",
               kTogglePeriodMs / 1000);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  bool once = false;
  bool verbose = false;
  const sim::CardClass* simulated = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--once") {
      once = true;
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg == "--simulate" || arg.rfind("--simulate=", 0) == 0) {
      const std::string name = arg == "--simulate" ? "3g" : arg.substr(std::strlen("--simulate="));
      simulated = sim::FindCardClass(name);
      if (simulated == nullptr) {
        std::fprintf(stderr, "vombel-cards: no simulated card %s\n", name.c_str());
        return Usage(stderr, 2);
      }
    } else if (arg == "--help" || arg == "-h") {
      return Usage(stdout, 0);
    } else {
      std::fprintf(stderr, "vombel-cards: unknown option %s\n", argv[i]);
      return Usage(stderr, 2);
    }
  }

  // SIGINT and SIGTERM are taken by a thread of their own, which ends the
  // message loop; every thread started after this inherits the mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  const uint32_t main_thread = platform::GetCurrentThreadId();
  platform::RegisterClass(kWindowClass, [once](platform::HWND, uint32_t message, platform::WPARAM wparam,
                                            platform::LPARAM) -> platform::LRESULT {
    if (message == kCardMessage) {
      if (!once) PrintState(static_cast<uint32_t>(wparam));
    }
    return 0;
  });
  const platform::HWND window = platform::CreateWindow(kWindowClass);
  if (window == nullptr) {
    std::fprintf(stderr, "vombel-cards: cannot create the listener window\n");
    return 1;
  }

  if (verbose) {
    XLogSetThreshold(kXLogTrace);
  } else {
    XLogSetSink(DropTraceLine, nullptr);
  }

  // Device and power broadcasts, where the system offers them; without them
  // detection relies on its polling. The simulated tree raises its own.
  std::unique_ptr<Simulation> simulation;
  if (simulated != nullptr) simulation = std::make_unique<Simulation>(*simulated);
  std::unique_ptr<platform::UeventMonitor> uevents;
  std::unique_ptr<platform::PowerMonitor> power;
  if (!once && simulation == nullptr) {
    uevents = platform::UeventMonitor::Start();
    if (!uevents) std::fprintf(stderr, "vombel-cards: no device events (netlink unavailable), polling only\n");
    power = platform::PowerMonitor::Start();
  }

  const uint32_t rc = NwInitialize(nullptr);
  if (rc != 0) {
    std::fprintf(stderr, "vombel-cards: card detection failed to start (error %u)\n", rc);
    return 1;
  }
  NwRegisterListener(window, kCardMessage);

  if (simulation != nullptr) {
    simulation->Toggle();
    platform::SetTimer(window, kToggleTimer, kTogglePeriodMs);
  }

  if (once) {
    platform::PumpMessages();
    PrintState(NwEventReasonListenerRegistered);
  } else {
    std::thread signals([&] {
      int signal = 0;
      sigwait(&stop_signals, &signal);
      platform::PostThreadMessage(main_thread, platform::WM_QUIT, 0, 0);
    });
    platform::MSG msg;
    while (platform::GetMessage(msg)) {
      if (msg.hwnd == window && msg.message == platform::WM_TIMER && msg.wParam == kToggleTimer && simulation) {
        simulation->Toggle();
        continue;
      }
      platform::DispatchMessage(msg);
    }
    signals.join();  // the loop ends only through it
  }

  NwUnregisterListener();
  NwShutdown();
  platform::DestroyWindow(window);
  platform::UnregisterClass(kWindowClass);
  simulation.reset();
  return 0;
}

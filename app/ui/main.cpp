// vombel-connect: the connection manager, and with "stop" or "bulldoze" the
// command that stops a running one.
#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QPointer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "app/app_main.h"
#include "app/command_line.h"
#include "app/program_switches.h"
#include "app/stop_report.h"
#include "app/ui/platform_message_pump.h"
#include "app/ui/qt_app_ui.h"
#include "app/ui/qt_message_trace.h"
#include "app/ui/simulated_card_console.h"
#include "app/ui/simulated_system.h"
#include "foundation/xlog.h"
#include "platform/debug_output.h"
#include "platform/power_monitor.h"
#include "platform/uevent_monitor.h"
#include "sim/card_class.h"

int main(int argc, char** argv) {
  // The trace without a log file goes where Linux keeps such output, and to
  // the terminal only when asked for.
  platform::SetDebugOutputDestinations(platform::JournalDestinationsFor(std::getenv("VOMBEL_DEBUG")));
  RouteQtMessagesToTrace();

  // Help and mistakes are answered before anything starts (no display
  // needed). Qt's own options ("-platform …") pass, and afterwards parse as
  // switches nobody asks for.
  const std::span<const char* const> arguments(argv + 1, argc > 0 ? argc - 1 : 0);
  const SwitchCheck check = CheckProgramSwitches(arguments);
  if (check.request == SwitchRequest::kUsage) {
    std::fputs(ProgramUsage().c_str(), stdout);
    return 0;
  }
  if (check.request == SwitchRequest::kUnknown) {
    std::fprintf(stderr, "vombel-connect: unknown switch %s\n%s", check.unknown.c_str(), ProgramUsage().c_str());
    return kUnknownSwitchExitCode;
  }
  CommandLine command_line = CommandLine::FromArguments(arguments);

  // Stopping another instance shows nothing, so it needs no display.
  const bool command_only = command_line.Has(u"stop") || command_line.Has(u"bulldoze");
  std::unique_ptr<QCoreApplication> application;
  if (command_only) {
    application = std::make_unique<QCoreApplication>(argc, argv);
  } else {
    application = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Every window's icon, compiled in; drawing it takes Qt's SVG plugin.
    const QIcon icon(QStringLiteral(":/vombel-connect.svg"));
    if (icon.pixmap(32, 32).isNull()) XLogLevel(kXLogWarning, "main, the program's icon cannot be drawn.");
    QApplication::setWindowIcon(icon);
  }

  // The platform windows of this thread, and what the worker posts to them,
  // run inside Qt's loop.
  std::unique_ptr<PlatformMessagePump> pump;
  if (!command_only) pump = std::make_unique<PlatformMessagePump>();

  // The simulated card's world is up before the main window and its worker,
  // and goes only after them.
  std::unique_ptr<SimulatedSystem> simulation;
  if (!command_only && WantsSimulation(command_line)) {
    const std::string name = SimulatedCardClass(command_line);
    const sim::CardClass* card = name.empty() ? &sim::ClassOf(sim::CardKind::kMultiplexing3g) : sim::FindCardClass(name);
    if (card == nullptr) {
      std::fprintf(stderr, "vombel-connect: no simulated card class %s\n%s", name.c_str(), ProgramUsage().c_str());
      return kUnknownSwitchExitCode;
    }
    simulation = std::make_unique<SimulatedSystem>(*card);
  }

  // On the machine: the kernel's device events and the system's sleeps reach
  // the worker's windows as broadcasts. The simulated tree sends its own.
  std::unique_ptr<platform::UeventMonitor> uevents;
  std::unique_ptr<platform::PowerMonitor> power;
  if (!command_only && simulation == nullptr) {
    uevents = platform::UeventMonitor::Start();
    if (!uevents) XLogLevel(kXLogWarning, "main, no kernel device events (netlink unavailable); polling only.");
    power = platform::PowerMonitor::Start();
    if (!power) XLogLevel(kXLogWarning, "main, no sleep and wake-up events (no logind on the system bus).");
  }

  QtAppUi ui;
  CAppMain app(ui, std::move(command_line));
  int loop_code = 0;
  if (app.InitInstance()) {
    // The simulated card's console, from the window's and the tray's menu.
    QPointer<CSimulatedCardConsole> console;
    if (simulation != nullptr && ui.MainWindow() != nullptr) {
      CDlgMain* window = ui.MainWindow();
      window->AddMenuEntry(QStringLiteral("Simulated card..."), [&console, &simulation, window] {
        if (console == nullptr) {
          console = new CSimulatedCardConsole(
              [system = simulation.get()](const std::string& line) { return system->RunConsoleLine(line); }, window);
        }
        console->show();
        console->raise();
        console->activateWindow();
      });
    }
    loop_code = QCoreApplication::exec();
    delete console.data();
  }
  const uint32_t exit_code = app.ExitInstance(loop_code);
  if (app.TerminateMode()) {
    const StopReport report = MakeStopReport(app.StopResult(), exit_code, app.Bulldozed(), app.Title());
    std::fputs(report.line.c_str(), report.failed ? stderr : stdout);
  }
  return static_cast<int>(exit_code);
}

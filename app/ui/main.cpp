// vombel-connect: the connection manager, and with "stop" or "bulldoze" the
// command that stops a running one.
#include <QApplication>
#include <QCoreApplication>
#include <memory>
#include <span>

#include "app/app_main.h"
#include "app/command_line.h"
#include "app/ui/platform_message_pump.h"
#include "app/ui/qt_app_ui.h"

int main(int argc, char** argv) {
  // Qt's own options ("-platform …") parse as switches nobody asks for.
  CommandLine command_line =
      CommandLine::FromArguments(std::span<const char* const>(argv + 1, argc > 0 ? argc - 1 : 0));

  // Stopping another instance shows nothing, so it needs no display.
  const bool command_only = command_line.Has(u"stop") || command_line.Has(u"bulldoze");
  std::unique_ptr<QCoreApplication> application;
  if (command_only) {
    application = std::make_unique<QCoreApplication>(argc, argv);
  } else {
    application = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
  }

  // The platform windows of this thread, and what the worker posts to them,
  // run inside Qt's loop.
  std::unique_ptr<PlatformMessagePump> pump;
  if (!command_only) pump = std::make_unique<PlatformMessagePump>();

  QtAppUi ui;
  CAppMain app(ui, std::move(command_line));
  int loop_code = 0;
  if (app.InitInstance()) loop_code = QCoreApplication::exec();
  return static_cast<int>(app.ExitInstance(loop_code));
}

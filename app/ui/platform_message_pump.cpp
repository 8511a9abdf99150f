#include "app/ui/platform_message_pump.h"

#include <QCoreApplication>
#include <utility>

#include "foundation/xlog.h"
#include "platform/win32_error.h"
#include "platform/window.h"

PlatformMessagePump::PlatformMessagePump(QuitHandler on_quit, QObject* parent)
    : QObject(parent), on_quit_(std::move(on_quit)) {
  const int fd = platform::QueueDescriptor();
  if (fd < 0) {
    XLogLevel(kXLogError, "PlatformMessagePump, QueueDescriptor: %u.", platform::GetLastError());
    return;
  }
  // The queue owns the descriptor; the notifier goes first.
  notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Pump(); });
}

PlatformMessagePump::~PlatformMessagePump() = default;

void PlatformMessagePump::Pump() {
  for (;;) {
    platform::PumpMessages();
    // What is left is a quit, or what arrived after the pump looked last.
    platform::MSG msg;
    if (!platform::PeekMessage(msg, true)) return;
    if (msg.message == platform::WM_QUIT) {
      const int exit_code = static_cast<int>(msg.wParam);
      if (on_quit_) {
        on_quit_(exit_code);
      } else {
        QCoreApplication::exit(exit_code);
      }
      return;
    }
    platform::DispatchMessage(msg);
  }
}

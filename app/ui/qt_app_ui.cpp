#include "app/ui/qt_app_ui.h"

#include <QApplication>
#include <QMessageBox>
#include <cerrno>
#include <new>

#include <sys/eventfd.h>
#include <unistd.h>

#include "app/ui/qt_text.h"
#include "foundation/xlog.h"
#include "platform/text.h"

namespace {


}  // namespace

QtAppUi::QtAppUi() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!wake_) {
    XLogLevel(kXLogError, "QtAppUi::QtAppUi, eventfd: %d.", errno);
    return;
  }
  wake_notifier_ = std::make_unique<QSocketNotifier>(wake_.get(), QSocketNotifier::Read);
  QObject::connect(wake_notifier_.get(), &QSocketNotifier::activated, [this] { DeliverPosted(); });
}

QtAppUi::~QtAppUi() { delete window_.data(); }

void QtAppUi::Initialize(std::u16string_view title) {
  title_ = ToQString(title);
  // The icon is the program's own, set in main before any window.
  QGuiApplication::setDesktopFileName(QStringLiteral("vombel-connect"));
}

void QtAppUi::ShowMessageBox(std::u16string_view text) {
  // The log keeps what the user was told, also when nobody is there to read
  // the box.
  XLogLevel(kXLogTrace, "MessageBox: %s", platform::Utf16ToUtf8(text).c_str());
  QMessageBox box(QMessageBox::Warning, title_, ToQString(text), QMessageBox::Ok);
  box.exec();
}

CAppUi::WindowResult QtAppUi::CreateMainWindow() {
  try {
    window_ = new CDlgMain(title_);
  } catch (const std::bad_alloc&) {
    return WindowResult::kOutOfMemory;
  }
  // The program lives as long as its main window.
  QObject::connect(window_.data(), &QObject::destroyed, QCoreApplication::instance(),
                   &QCoreApplication::quit, Qt::QueuedConnection);
  return WindowResult::kCreated;
}

void QtAppUi::ShowMainWindow() {
  if (window_) window_->ShowAndActivate();
}

void QtAppUi::PostToMainWindow(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (!wake_) return;
  {
    std::lock_guard lock(posted_mutex_);
    posted_.emplace_back(message, wparam, lparam);
  }
  const uint64_t one = 1;
  while (::write(wake_.get(), &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void QtAppUi::DeliverPosted() {
  uint64_t count = 0;
  while (::read(wake_.get(), &count, sizeof count) < 0 && errno == EINTR) {
  }
  std::vector<Message> messages;
  {
    std::lock_guard lock(posted_mutex_);
    messages.swap(posted_);
  }
  for (const auto& [message, wparam, lparam] : messages) {
    if (window_) window_->HandleMessage(message, wparam, lparam);
  }
}

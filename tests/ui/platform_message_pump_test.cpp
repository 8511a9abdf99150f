// Platform windows of the Qt thread, run from Qt's event loop.
#include "app/ui/platform_message_pump.h"

#include <poll.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QtTest>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "tests/ui/ui_tests.h"

namespace {

bool Readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

}  // namespace

class PlatformMessagePumpTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void PostsFromAnotherThreadRunOnTheQtThread();
  void AMessageSentFromAnotherThreadIsAnsweredThroughQtsLoop();
  void AVirtualClockTimerFiresThroughQtsLoopOnceDue();
  void AQuitPostedToTheThreadReachesTheHandler();

 private:
  // Runs Qt's loop until the window procedure (or the quit handler) ends it;
  // 0 then. The timer is a safety net a passing run never reaches.
  int RunLoop() {
    QEventLoop loop;
    loop_ = &loop;
    QTimer::singleShot(10'000, &loop, [&loop] { loop.exit(1); });
    const int code = loop.exec();
    loop_ = nullptr;
    return code;
  }

  struct Seen {
    uint32_t message;
    uint32_t thread_id;
  };

  std::u16string class_name_;
  platform::HWND hwnd_ = nullptr;
  std::vector<Seen> seen_;
  uint32_t stop_at_ = 0;  // the message that ends RunLoop
  QEventLoop* loop_ = nullptr;
};

void PlatformMessagePumpTest::init() {
  const std::string name = QTest::currentTestFunction();
  class_name_ = u"PlatformMessagePumpTest." + std::u16string(name.begin(), name.end());
  seen_.clear();
  QVERIFY(platform::RegisterClass(
      class_name_, [this](platform::HWND, uint32_t m, platform::WPARAM w, platform::LPARAM l) {
        if (m == platform::WM_CREATE || m == platform::WM_DESTROY) return platform::LRESULT{0};
        seen_.push_back({m, platform::GetCurrentThreadId()});
        if (m == stop_at_ && loop_) loop_->quit();
        return static_cast<platform::LRESULT>(w) + l;
      }));
  hwnd_ = platform::CreateWindow(class_name_);
  QVERIFY(hwnd_ != nullptr);
}

void PlatformMessagePumpTest::cleanup() {
  if (platform::IsWindow(hwnd_)) platform::DestroyWindow(hwnd_);
  platform::UnregisterClass(class_name_);
}

void PlatformMessagePumpTest::PostsFromAnotherThreadRunOnTheQtThread() {
  PlatformMessagePump pump;
  QVERIFY(pump.IsActive());
  stop_at_ = platform::WM_APP + 2;
  std::jthread poster([hwnd = hwnd_] {
    platform::PostMessage(hwnd, platform::WM_APP + 1, 0, 0);
    platform::PostMessage(hwnd, platform::WM_APP + 2, 0, 0);
  });
  QCOMPARE(RunLoop(), 0);
  poster.join();  // a jthread: an early failure joins it too
  QCOMPARE(seen_.size(), size_t{2});
  QCOMPARE(seen_[0].message, platform::WM_APP + 1);
  for (const Seen& seen : seen_) QCOMPARE(seen.thread_id, platform::GetCurrentThreadId());
  QVERIFY(!Readable(platform::QueueDescriptor()));
}

void PlatformMessagePumpTest::AMessageSentFromAnotherThreadIsAnsweredThroughQtsLoop() {
  PlatformMessagePump pump;
  stop_at_ = platform::WM_APP;
  auto sender = std::async(std::launch::async, [hwnd = hwnd_] {
    return platform::SendMessage(hwnd, platform::WM_APP, 40, 2);
  });
  QCOMPARE(RunLoop(), 0);
  QCOMPARE(sender.get(), platform::LRESULT{42});
  QCOMPARE(seen_.size(), size_t{1});
  QCOMPARE(seen_[0].thread_id, platform::GetCurrentThreadId());
}

void PlatformMessagePumpTest::AVirtualClockTimerFiresThroughQtsLoopOnceDue() {
  platform::VirtualClock clock;
  platform::ScopedClock scoped(clock);
  PlatformMessagePump pump;
  stop_at_ = platform::WM_TIMER;
  QCOMPARE(platform::SetTimer(hwnd_, 7, 1000), uintptr_t{7});
  clock.Advance(999);
  QCoreApplication::processEvents();  // a notifier that fired early would run it here
  QVERIFY(seen_.empty());
  clock.Advance(1);
  QCOMPARE(RunLoop(), 0);
  QCOMPARE(seen_.size(), size_t{1});
  QCOMPARE(seen_[0].thread_id, platform::GetCurrentThreadId());
  QVERIFY(!Readable(platform::QueueDescriptor()));  // the next fall is a period away
  platform::KillTimer(hwnd_, 7);
}

void PlatformMessagePumpTest::AQuitPostedToTheThreadReachesTheHandler() {
  int exit_code = -1;
  PlatformMessagePump pump([&](int code) {
    exit_code = code;
    if (loop_) loop_->quit();
  });
  const uint32_t qt_thread = platform::GetCurrentThreadId();
  std::jthread poster([hwnd = hwnd_, qt_thread] {
    platform::PostMessage(hwnd, platform::WM_APP, 0, 0);
    platform::PostThreadMessage(qt_thread, platform::WM_QUIT, 5, 0);
  });
  QCOMPARE(RunLoop(), 0);
  poster.join();  // a jthread: an early failure joins it too
  QCOMPARE(exit_code, 5);
  QCOMPARE(seen_.size(), size_t{1});                // what was posted before it ran first
  QVERIFY(!Readable(platform::QueueDescriptor()));  // taken, not left to spin on
}

int RunPlatformMessagePumpTest(int argc, char** argv) {
  PlatformMessagePumpTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "platform_message_pump_test.moc"

#include "app/connection_watcher_thread.h"

#include <string>
#include <vector>

#include "app/app_messages.h"
#include "foundation/xlog.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace {

// Written by the watcher's thread alone; an aligned 32-bit value that
// others read as it stands.
std::atomic<int> active_connections = 0;

constexpr char16_t kTimerWindowClass[] = u"VombelConnectionWatcher";
constexpr uintptr_t kTimer = 1;

bool IsConnected(uint32_t oper_status) {
  return oper_status == platform::IF_OPER_STATUS_CONNECTED || oper_status == platform::IF_OPER_STATUS_OPERATIONAL;
}

}  // namespace

int CountConnectedAdapters(platform::IpHelper& helper) {
  std::vector<platform::IpAdapterInfo> adapters;
  if (helper.GetAdaptersInfo(adapters) != 0) return 0;
  int count = 0;
  for (const platform::IpAdapterInfo& adapter : adapters) {
    std::vector<platform::IfRow> table;
    if (helper.GetIfTable(table) != 0) {
      XLog("Error in GetIfTable.");
      continue;
    }
    if (table.empty()) continue;
    platform::IfRow row;
    if (helper.GetIfEntry(adapter.Index, row) != 0) {
      XLog("Error in GetIfEntry.");
      continue;
    }
    if (IsConnected(row.OperStatus)) ++count;
  }
  return count;
}

CConnectionWatcherThread::CConnectionWatcherThread(platform::HWND main_window) : main_window_(main_window) {}

CConnectionWatcherThread::~CConnectionWatcherThread() { Stop(); }

bool CConnectionWatcherThread::Start() {
  if (thread_) return running_.load();
  platform::UniqueHandle ready(platform::CreateEvent(true, false));
  if (!ready) return false;
  active_connections = 0;
  const platform::HANDLE ready_event = ready.get();
  thread_.reset(platform::CreateThread(
      [this, ready_event] {
        platform::MSG msg;
        platform::PeekMessage(msg, false);
        thread_id_ = platform::GetCurrentThreadId();
        running_ = true;
        const uint32_t code = Run(ready_event);
        running_ = false;
        return code;
      },
      nullptr));
  if (!thread_) return false;
  platform::WaitForSingleObject(ready.get(), platform::kInfinite);
  return true;
}

void CConnectionWatcherThread::Stop() {
  if (!thread_) return;
  if (running_.load()) platform::PostThreadMessage(thread_id_.load(), platform::WM_QUIT, 0, 0);
  platform::WaitForSingleObject(thread_.get(), platform::kInfinite);
  thread_.reset();
}

int CConnectionWatcherThread::ActiveConnections() const { return ActiveConnectionCount(); }

int CConnectionWatcherThread::ActiveConnectionCount() { return active_connections.load(std::memory_order_relaxed); }

uint32_t CConnectionWatcherThread::Run(platform::HANDLE ready) {
  // The timer's window, of a class of this thread's own.
  const std::u16string timer_class =
      std::u16string(kTimerWindowClass) + platform::Utf8ToUtf16(std::to_string(platform::GetCurrentThreadId()));
  platform::RegisterClass(timer_class, [this](platform::HWND, uint32_t message, platform::WPARAM wparam,
                                              platform::LPARAM) -> platform::LRESULT {
    if (message == platform::WM_TIMER && wparam == kTimer) OnTimer();
    return 0;
  });
  platform::HWND timer_window = platform::CreateWindow(timer_class);
  if (timer_window == nullptr || platform::SetTimer(timer_window, kTimer, kPeriodMs) == 0) {
    XLogLevel(kXLogError, "CConnectionWatcherThread::InitInstance, SetTimer: %u.", platform::GetLastError());
  }
  platform::SetEvent(ready);

  platform::MSG msg;
  while (platform::GetMessage(msg)) platform::DispatchMessage(msg);

  if (timer_window != nullptr) {
    platform::KillTimer(timer_window, kTimer);
    platform::DestroyWindow(timer_window);
  }
  platform::UnregisterClass(timer_class);
  XLog("CConnectionWatcherThread::ExitInstance");
  return static_cast<uint32_t>(msg.wParam);
}

void CConnectionWatcherThread::OnTimer() {
  const int count = CountConnectedAdapters(platform::CurrentIpHelper());
  if (count == active_connections.load(std::memory_order_relaxed)) return;
  active_connections.store(count, std::memory_order_relaxed);
  if (main_window_ != nullptr) {
    platform::PostMessage(main_window_, app_messages::WM_APP_FOREIGN_CONNECTIONS, 0, 0);
  }
}

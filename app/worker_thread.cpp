#include "app/worker_thread.h"

#include <algorithm>
#include <string>

#include "app/app_messages.h"
#include "app/profile.h"
#include "app/sms_draft.h"
#include "app/ussd_session.h"
#include "app/worker_work.h"
#include "devicelib/dv_api.h"
#include "foundation/xmemory.h"
#include "foundation/xlog.h"
#include "foundation/xresource.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/heap.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/wait.h"

using namespace app_messages;

PinText::~PinText() { std::fill(text_.begin(), text_.end(), u'\0'); }

namespace {

void OnLibraryEvent(uint32_t event, uintptr_t parameter, void* context) {
  static_cast<CWorkerThread::Work*>(context)->OnEvent(event, parameter);
}

void OnLibraryError(uint32_t type, DvResult primary, DvResult secondary, void* context) {
  static_cast<CWorkerThread::Work*>(context)->OnError(type, primary, secondary);
}

std::atomic<bool> diagnostics_in_progress = false;

constexpr char16_t kTimerWindowClass[] = u"VombelWorkerTimer";
constexpr uintptr_t kRadioTimer = 1;
constexpr unsigned kApplicationTitleStringId = 57344;

bool IsRequest(uint32_t message) {
  switch (message) {
    case WM_APP_SET_TECHNOLOGY_MODE:
    case WM_APP_SET_PIN_MODE:
    case WM_APP_SAVE_PROFILE:
    case WM_APP_CONNECT:
    case WM_APP_RUN_DIAGNOSTICS:
    case WM_APP_SMS_OPERATION:
    case WM_APP_ENTER_PIN:
    case WM_APP_ENTER_PUK:
    case WM_APP_CHANGE_PIN:
    case WM_APP_USSD:
      return true;
    default:
      return false;
  }
}

}  // namespace

// --- the thread ---------------------------------------------------------------

CWorkerThread::CWorkerThread(platform::HWND main_window, platform::HMODULE module)
    : main_window_(main_window), module_(module) {}

CWorkerThread::~CWorkerThread() { Stop(); }

bool CWorkerThread::Start() {
  if (thread_) return running_.load();
  platform::UniqueHandle ready(platform::CreateEvent(true, false));
  if (!ready) return false;
  const platform::HANDLE ready_event = ready.get();
  uint32_t id = 0;
  thread_.reset(platform::CreateThread(
      [this, ready_event] {
        // The queue exists before Start returns, so no request is refused.
        platform::MSG msg;
        platform::PeekMessage(msg, false);
        thread_id_ = platform::GetCurrentThreadId();
        running_ = true;
        platform::SetEvent(ready_event);
        const uint32_t code = Run();
        running_ = false;
        return code;
      },
      &id));
  if (!thread_) return false;
  platform::WaitForSingleObject(ready.get(), platform::kInfinite);
  return true;
}

void CWorkerThread::Stop() {
  if (!thread_) return;
  // What is still queued is dropped unrun; the command in progress, if any,
  // runs to its end, so a SIM write is never cut in half.
  quitting_ = true;
  if (running_.load()) platform::PostThreadMessage(thread_id_.load(), platform::WM_QUIT, 0, 0);
  if (platform::WaitForSingleObject(thread_.get(), kStopWaitMs) != platform::kWaitObject0) {
    XLogLevel(kXLogWarning, "CWorkerThread::Stop, the worker did not end within %u ms; waiting on.", kStopWaitMs);
    platform::WaitForSingleObject(thread_.get(), platform::kInfinite);
  }
  thread_.reset();
}

bool CWorkerThread::DiagnosticsInProgress() { return diagnostics_in_progress.load(); }

void CWorkerThread::EndDiagnostics() { diagnostics_in_progress = false; }

bool CWorkerThread::Post(uint32_t request, uintptr_t wparam, intptr_t lparam) {
  if (request == WM_APP_RUN_DIAGNOSTICS && diagnostics_in_progress.exchange(true)) {
    XLog("OnDiagnosticsChanged ignored. IsQuering in progress...");
    return false;
  }
  if (!running_.load() || quitting_.load() ||
      !platform::PostThreadMessage(thread_id_.load(), request, wparam, lparam)) {
    if (request == WM_APP_RUN_DIAGNOSTICS) EndDiagnostics();
    FreeRequestRecords(request, wparam, lparam);
    return false;
  }
  return true;
}

uint32_t CWorkerThread::Run() {
  Work work(main_window_, CachedDravik::Instance());
  work.Begin(module_);
  platform::MSG msg;
  uint32_t exit_code = 0;
  for (;;) {
    platform::MSG next;
    idle_ = !platform::PeekMessage(next, false);
    const bool got = platform::GetMessage(msg);
    idle_ = false;
    if (!got) {
      exit_code = static_cast<uint32_t>(msg.wParam);
      break;
    }
    if (msg.hwnd == nullptr && IsRequest(msg.message)) {
      if (quitting_.load()) {
        if (msg.message == WM_APP_RUN_DIAGNOSTICS) EndDiagnostics();
        FreeRequestRecords(msg.message, msg.wParam, msg.lParam);
      } else {
        work.OnRequest(msg.message, msg.wParam, msg.lParam);
      }
      continue;
    }
    platform::DispatchMessage(msg);
  }
  // Requests posted after the quit are dropped too.
  while (platform::PeekMessage(msg, true)) {
    if (msg.hwnd == nullptr && IsRequest(msg.message)) FreeRequestRecords(msg.message, msg.wParam, msg.lParam);
  }
  work.End();
  return exit_code;
}

void CWorkerThread::FreeRequestRecords(uint32_t request, uintptr_t wparam, intptr_t lparam) {
  switch (request) {
    case WM_APP_SET_PIN_MODE:
    case WM_APP_ENTER_PIN:
      delete reinterpret_cast<PinText*>(lparam);
      break;
    case WM_APP_ENTER_PUK:
    case WM_APP_CHANGE_PIN:
      delete reinterpret_cast<PinText*>(wparam);
      delete reinterpret_cast<PinText*>(lparam);
      break;
    case WM_APP_SAVE_PROFILE:
      delete reinterpret_cast<CProfile*>(lparam);
      break;
    case WM_APP_SMS_OPERATION:
      if (wparam == SmsOperationSendText || wparam == SmsOperationSaveText) {
        delete reinterpret_cast<SmsDraft*>(lparam);
      } else {
        delete reinterpret_cast<SmsMessage*>(lparam);
      }
      break;
    case WM_APP_USSD:
      delete reinterpret_cast<std::u16string*>(lparam);
      break;
    default:
      break;
  }
}

void CWorkerThread::FreeNotificationRecord(uint32_t notification, uintptr_t wparam, intptr_t lparam) {
  if (notification == WM_APP_PROFILE) delete reinterpret_cast<CProfile*>(lparam);
  if (notification == WM_APP_SMS && wparam == SmsNewsTemporary) delete reinterpret_cast<SmsMessage*>(lparam);
  if (notification == WM_APP_USSD_NEWS) delete reinterpret_cast<UssdNews*>(lparam);
}

// --- the work's frame ------------------------------------------------------------

CWorkerThread::Work::Work(platform::HWND main_window, CachedDravik& cache)
    : main_window_(main_window), cache_(cache) {}

CWorkerThread::Work::~Work() {
  if (timer_window_ != nullptr) platform::DestroyWindow(timer_window_);
}

void CWorkerThread::Work::Begin(platform::HMODULE module) {
  // The user's stored profile is the one in use until the card says
  // otherwise, so a connection never starts with an empty APN.
  cache_.Reset(StoredProfile());

  DvClientHandlers handlers;
  handlers.on_event = &OnLibraryEvent;
  handlers.on_error = &OnLibraryError;
  handlers.context = this;
  const DvResult rc = DvInitialize(module, handlers);
  XLog("DvInitialize finished with 0x%x", rc);
  library_ready_ = rc == DV_S_OK;
  if (library_ready_) {
    // The application's name is its title (the library names its dial-up
    // entry after it).
    char16_t* title = XLoadString(module, kApplicationTitleStringId);
    const DvResult name_rc = DvSetApplicationName(title != nullptr ? title : u"");
    XFree(title);
    XLog("DvSetApplicationName finished with 0x%x", name_rc);
  }
  XLog("[%u] Library has been initialized", platform::GetCurrentThreadId());

  // The radio timer's window, of a class of this worker's own.
  timer_class_ = std::u16string(kTimerWindowClass) + platform::Utf8ToUtf16(std::to_string(platform::GetCurrentThreadId()));
  platform::RegisterClass(timer_class_, [this](platform::HWND, uint32_t message, platform::WPARAM wparam,
                                               platform::LPARAM) -> platform::LRESULT {
    if (message == platform::WM_TIMER && wparam == kRadioTimer) OnTimer();
    return 0;
  });
  timer_window_ = platform::CreateWindow(timer_class_);
  if (timer_window_ != nullptr) platform::SetTimer(timer_window_, kRadioTimer, kRadioTimerMs);
}

void CWorkerThread::Work::End() {
  if (timer_window_ != nullptr) {
    platform::KillTimer(timer_window_, kRadioTimer);
    platform::DestroyWindow(timer_window_);
    timer_window_ = nullptr;
  }
  if (!timer_class_.empty()) platform::UnregisterClass(timer_class_);
  XLog("CWorkerThread::ExitInstance");
  const DvResult rc = DvShutdown();
  XLog("DvShutdown finished with 0x%x", rc);
  XLog("Library has been shut down");
}

void CWorkerThread::Work::Notify(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (main_window_ == nullptr || !platform::PostMessage(main_window_, message, wparam, lparam)) {
    FreeNotificationRecord(message, wparam, lparam);
  }
}

void CWorkerThread::Work::NotifyError(DvResult code, intptr_t flag) {
  Notify(WM_APP_ERROR, code, flag);
}

void CWorkerThread::Work::NotifyStateChanged() { Notify(WM_APP_STATE_CHANGED); }

void CWorkerThread::Work::OnError(uint32_t type, DvResult primary, DvResult secondary) {
  XLog("Error occured: Type=%u, PrimaryCode=0x%x, SecondaryCode=0x%x", type, primary, secondary);
  Notify(WM_APP_STATE_CHANGED);
  Notify(WM_APP_CONNECTION_STATE);
  Notify(WM_APP_ERROR, primary, static_cast<intptr_t>(primary));
}

void CWorkerThread::Work::OnTimer() {
  RefreshRadioState();
  SampleTraffic();
}

#include "carddetect/nw_api.h"

#include <cstring>

#include "carddetect/card_db.h"
#include "carddetect/card_state.h"
#include "carddetect/detection_state.h"
#include "carddetect/library_globals.h"
#include "carddetect/listener_thread.h"
#include "carddetect/notification_window.h"
#include "carddetect/smart_card_reader.h"
#include "foundation/xlog.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/named_event.h"
#include "platform/named_object.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace {

constexpr uint32_t kListenerStopLimitMs = 1000;
constexpr uint32_t kAfterReleaseSleepMs = 200;
// How often a program waiting to be given the card asks whether to go on.
constexpr uint32_t kRequestSliceMs = 250;
constexpr uint32_t kErrorCancelled = 1223;
constexpr uint32_t kErrorAlreadyInitialized = 1247;

bool Owned(uint32_t wait) { return wait == platform::kWaitObject0 || wait == platform::kWaitAbandoned0; }

// Ends this program's own request after it has let go of the mutex: the
// program it asked sees the mutex free (or the event reset) and comes back.
void GiveBackRequestedAccess() {
  NwLibraryGlobals& globals = NwGlobals();
  if (!globals.own_request) return;
  platform::ResetEvent(globals.own_request.get());
  globals.own_request.reset();
  XLogLevel(kXLogTrace, "Nw: The card has been given back to the program that held it");
}

}  // namespace

uint32_t NwInitialize(platform::HMODULE module) {
  NwLibraryGlobals& globals = NwGlobals();
  if (globals.initialized) return 0;
  XLog("Nw: Nodwarden v%x.%x (%s static library, loglevel=%d)", 1, 0, "Unicode",
       static_cast<int>(XLogGetThreshold()));
  NwLibraryState& library = NwState();
  uint32_t rc = InitializeCardDb(library.card_db, module);
  if (rc != 0) {
    ReleaseCardDb(library.card_db);
    return rc;
  }
  ResetCardInfo(library);
  globals.wake_up_pending = false;
  library.replug_node = 0;

  rc = StartListenerThread();
  if (rc != 0) {
    ReleaseCardDb(library.card_db);
    return rc;
  }
  rc = InitializeNotificationWindow();
  if (rc != 0) {
    StopListenerThread(kListenerStopLimitMs);
    ReleaseCardDb(library.card_db);
    ReleaseNotificationWindow();
    return rc;
  }
  CheckActualState(NwEventReasonInitialization);
  globals.initialized = true;
  return 0;
}

uint32_t NwShutdown() {
  NwLibraryGlobals& globals = NwGlobals();
  if (!globals.initialized) {
    // A card taken or asked for and never used (the start failed) goes
    // back too.
    if (globals.exclusive_mutex) ReleaseExclusiveMutex();
    GiveBackRequestedAccess();
    NwState().held_ports.Reset();
    return 0;
  }
  globals.listener_window = nullptr;
  globals.listener_message = 0;
  ResetCardInfo(NwState());
  ReleaseNotificationWindow();
  // ModemManager may have the card again.
  NwState().held_ports.Reset();
  StopListenerThread(kListenerStopLimitMs);
  ReleaseCardDb(NwState().card_db);
  ReleaseExclusiveMutex();
  GiveBackRequestedAccess();
  globals.initialized = false;
  return 0;
}

uint32_t NwRegisterListener(platform::HWND window, uint32_t message) {
  NwLibraryGlobals& globals = NwGlobals();
  if (!globals.initialized) return platform::kErrorNotReady;
  globals.listener_window = window;
  globals.listener_message = message;
  SendNotification(NwEventReasonListenerRegistered);
  return 0;
}

uint32_t NwUnregisterListener() {
  NwLibraryGlobals& globals = NwGlobals();
  if (!globals.initialized) return platform::kErrorNotReady;
  globals.listener_window = nullptr;
  globals.listener_message = 0;
  return 0;
}

uint32_t NwGetCardInfo(NwCardInfo* info) {
  if (!NwGlobals().initialized) return platform::kErrorNotReady;
  if (info == nullptr) return platform::kErrorInsufficientBuffer;
  const uint32_t size = info->Size;
  if (!IsValidNwCardInfoSize(size)) return platform::kErrorInsufficientBuffer;
  const NwCardInfo& record = NwState().card_info;
  if (record.Model == 0 && record.State != CardStateSuspended) return platform::kErrorDevNotExist;
  std::memcpy(info, &record, size);
  info->Size = size;
  return 0;
}

uint32_t NwGetCardHeldText(char16_t* buffer, uint32_t size) {
  if (!NwGlobals().initialized) return platform::kErrorNotReady;
  if (buffer == nullptr || size == 0) return platform::kErrorInsufficientBuffer;
  const std::u16string& text = NwState().held_ports.Text();
  buffer[0] = u'\0';
  if (text.empty()) return platform::kErrorDevNotExist;
  if (text.size() >= size) return platform::kErrorInsufficientBuffer;
  std::memcpy(buffer, text.data(), text.size() * sizeof(char16_t));
  buffer[text.size()] = u'\0';
  return 0;
}

bool NwIsFirstInsertionsFakeRemoval() {
  if (!NwGlobals().initialized) return false;
  return IsFirstInsertionsFakeRemoval(NwState());
}

uint32_t NwReleaseExclusiveAccess() {
  ReleaseExclusiveMutex();
  platform::Sleep(kAfterReleaseSleepMs);
  SetListenerDuty(ListenerDutyWaitForMutex);
  return 0;
}

uint32_t NwRequestExclusiveAccess(const NwAccessRequest& request) {
  NwLibraryGlobals& globals = NwGlobals();
  if (globals.initialized || globals.exclusive_mutex) return kErrorAlreadyInitialized;
  platform::UniqueHandle mutex(platform::CreateMutex(kExclusiveMutexName, true));
  if (!mutex) return platform::kErrorFileNotFound;
  // A mutex nobody had open is ours already; one that is free is taken and
  // kept, so that no program waiting for it takes it in between.
  const bool created = platform::GetLastError() != platform::kErrorAlreadyExists;
  if (created || Owned(platform::WaitForSingleObject(mutex.get(), 0))) {
    XLogLevel(kXLogTrace, "Nw: Exclusive mutex has been grabbed");
    globals.exclusive_mutex = std::move(mutex);
    return 0;
  }
  platform::UniqueHandle event(platform::CreateNamedEvent(kSuspensionEventName, true, false));
  if (!event || !platform::SetEvent(event.get())) return platform::kErrorFileNotFound;
  XLogLevel(kXLogTrace, "Nw: Another program holds the card, suspension requested");
  if (request.on_waiting != nullptr) request.on_waiting(request.context);
  const uint64_t deadline = platform::DeadlineAfter(request.timeout_ms);
  for (;;) {
    const uint32_t left = platform::RemainingMs(deadline);
    const uint32_t wait = platform::WaitForSingleObject(mutex.get(), left < kRequestSliceMs ? left : kRequestSliceMs);
    if (Owned(wait)) break;
    uint32_t error = 0;
    if (wait != platform::kWaitTimeout) {
      error = platform::GetLastError() != 0 ? platform::GetLastError() : platform::kErrorGenFailure;
    } else if (request.cancelled != nullptr && request.cancelled(request.context)) {
      error = kErrorCancelled;
    } else if (platform::RemainingMs(deadline) == 0) {
      error = platform::kErrorWaitTimeout;
    }
    if (error != 0) {
      XLogLevel(kXLogWarning, "Nw: The card was not given, 0x%x; withdrawing the request", error);
      platform::ResetEvent(event.get());
      return error;
    }
  }
  XLogLevel(kXLogTrace, "Nw: The card has been given, exclusive mutex grabbed");
  globals.exclusive_mutex = std::move(mutex);
  globals.own_request = std::move(event);
  return 0;
}

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
#include "platform/win32_error.h"

namespace {

constexpr uint32_t kListenerStopLimitMs = 1000;
constexpr uint32_t kAfterReleaseSleepMs = 200;

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
  if (!globals.initialized) return 0;
  globals.listener_window = nullptr;
  globals.listener_message = 0;
  ResetCardInfo(NwState());
  ReleaseNotificationWindow();
  StopListenerThread(kListenerStopLimitMs);
  ReleaseCardDb(NwState().card_db);
  ReleaseExclusiveMutex();
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

// The library front: DvInitialize / DvShutdown, the communicator window with
// its messages and timers, and the delivery of events and errors.
#include "devicelib/library.h"

#include <array>
#include <atomic>
#include <mutex>
#include <cstring>
#include <set>
#include <string>

#include "carddetect/nw_api.h"
#include "devicelib/device.h"
#include "devicelib/device_queries.h"
#include "devicelib/dv_api.h"
#include "devicelib/sms_temporary.h"
#include "foundation/xlog.h"
#include "platform/device_broadcast.h"
#include "platform/device_notification.h"
#include "platform/heap.h"
#include "platform/thread.h"
#include "platform/win32_error.h"

namespace GSM {
namespace {

struct TimerInfo {
  uint32_t period_ms;
  const char* started;
  const char* stopped;
};

constexpr std::array<TimerInfo, 6> kTimers{{
    {1500, "Dv: SIM state polling has started", "Dv: SIM state polling has stopped"},
    {5000, "Dv: HSDPA state polling has started", "Dv: HSDPA state polling has stopped"},
    {1000, "Dv: Data call state polling has started", "Dv: Data call state polling has stopped"},
    {10000, "Dv: 3G cell type polling has started", "Dv: 3G cell type polling has stopped"},
    {kDvUssdAnswerTimeoutMs, "Dv: Waiting for the USSD answer", "Dv: USSD answer wait is over"},
    {5000, "Dv: Radio polling has started", "Dv: Radio polling has stopped"},
}};

struct LibraryGlobals {
  std::atomic<bool> initialized{false};
  std::atomic<platform::HWND> window{nullptr};
  std::atomic<uint32_t> thread_id{0};
  platform::HMODULE instance = nullptr;
  bool class_registered = false;
  DvClientHandlers handlers;  // client thread only
  bool card_detection_started = false;
  std::array<std::atomic<bool>, kTimers.size()> timers{};

  std::mutex name_lock;
  std::u16string application_name = u"VLConnect";

  // Records posted to the client and not yet delivered: freed if they never
  // are (a failed post, no handler, shut-down).
  std::mutex pending_lock;
  std::set<void*> pending;

  // The held-card sentence last raised to the client (client thread only):
  // the client hears of each held card once, however card detection's
  // notices and the listener registration come.
  std::u16string card_held_text;
};

LibraryGlobals& Globals() {
  static auto* globals = new LibraryGlobals;  // used until the last thread ends
  return *globals;
}

void TrackRecord(void* record) {
  LibraryGlobals& g = Globals();
  std::lock_guard lock(g.pending_lock);
  g.pending.insert(record);
}

// True when the record was still pending (it now belongs to the caller).
bool UntrackRecord(void* record) {
  LibraryGlobals& g = Globals();
  std::lock_guard lock(g.pending_lock);
  return g.pending.erase(record) != 0;
}

void FreePendingRecords() {
  std::set<void*> records;
  {
    LibraryGlobals& g = Globals();
    std::lock_guard lock(g.pending_lock);
    records.swap(g.pending);
  }
  for (void* record : records) platform::LocalFree(record);
}

const char* ReasonName(uint32_t reason) {
  static constexpr std::array<const char*, 7> kNames{
      "NwEventReasonInitialization", "NwEventReasonListenerRegistered", "NwEventReasonStandby",
      "NwEventReasonWakeUp",         "NwEventReasonCardEvent",          "NwEventReasonSuspension",
      "NwEventReasonCardHeld",
  };
  return reason < kNames.size() ? kNames[reason] : "<unknown NwEventReason>";
}

static_assert(kDvCardHeldTextSize >= kNwCardHeldTextSize);

// Reads card detection's held-card sentence and raises EventCardHeld when it
// differs from the one the client has: a new held card, or (empty) its port
// free again. A failed read changes nothing, so the client is never told
// that a card came free when it was only not asked.
void RelayCardHeldText() {
  LibraryGlobals& g = Globals();
  char16_t buffer[kNwCardHeldTextSize];
  const uint32_t rc = NwGetCardHeldText(buffer, kNwCardHeldTextSize);
  std::u16string text;
  if (rc == 0) {
    text = buffer;
  } else if (rc != platform::kErrorDevNotExist) {
    XLogLevel(kXLogError, "Dv: NwGetCardHeldText failed with 0x%x", rc);
    return;
  }
  if (text == g.card_held_text) return;
  auto* record = static_cast<DvCardHeld*>(platform::LocalAlloc(sizeof(DvCardHeld)));
  if (record == nullptr) {
    XLogLevel(kXLogError, "Dv: No memory for the held card's record");
    return;
  }
  std::memset(record, 0, sizeof(DvCardHeld));
  std::memcpy(record->Text, text.data(), text.size() * sizeof(char16_t));
  XLogLevel(kXLogTrace, "Dv: %s", text.empty() ? "The held card's port is free" : "A card is held by another program");
  if (DvFailed(RaiseEvent(EventCardHeld, reinterpret_cast<uintptr_t>(record)))) return;
  g.card_held_text = std::move(text);
}

bool PortUsableOrIdle(const Device& device) {
  return device.PortUsableDuringDataCall() || device.GetConnectionState() == ConnectionState::Disconnected;
}

void OnTimer(uint32_t id) {
  Device& device = Device::Instance();
  switch (id) {
    case TimerSimPolling:
      device.OnSimPoll();
      break;
    case TimerHsdpaPolling:
      device.OnHsdpaPoll();
      break;
    case TimerDataCallPolling:
      device.OnDataCallPoll();
      break;
    case TimerCellTypePolling:
      device.OnCellTypePoll();
      break;
    case TimerUssdAnswer:
      OnUssdAnswerTimeout();
      break;
    case TimerRadioPolling:
      device.OnRadioPoll();
      break;
    default:
      break;
  }
}

platform::LRESULT OnDeviceChange(platform::WPARAM event, platform::LPARAM lparam) {
  if (event != platform::DBT_DEVICEQUERYREMOVE) return 1;
  const auto broadcast = platform::DeviceBroadcastFromLParam(lparam);
  if (!broadcast || broadcast->device_type != platform::DBT_DEVTYP_HANDLE) return 1;
  if (NwIsFirstInsertionsFakeRemoval()) {
    XLogLevel(kXLogTrace, "Dv: Fake card removal request has arrived, ignoring it...");
    return platform::BROADCAST_QUERY_DENY;
  }
  XLogLevel(kXLogTrace, "Dv: Card removal request has arrived, stopping...");
  Device::Instance().Exit(true);
  return 1;
}

void OnEnableExtendedErrors() {
  Device& device = Device::Instance();
  const int connection = device.GetConnectionState();
  if (device.GetDeviceState() != DeviceState::Initialized) return;
  if (connection != ConnectionState::Disconnected && connection != ConnectionState::Connected) return;
  if (!PortUsableOrIdle(device)) return;
  DvResult rc = DvEnableExtendedErrorReporting();
  if (DvFailed(rc)) {
    XLogLevel(kXLogError, "Dv: DvEnableExtendedErrorReporting() initiated by WM_ENABLE_EX_ERRORS failed with 0x%x",
              rc);
    return;
  }
  rc = DvEnableRegistrationEvents();
  if (DvFailed(rc)) {
    XLogLevel(kXLogError, "Dv: DvEnableRegistrationEvents() initiated by WM_ENABLE_EX_ERRORS failed with 0x%x",
              rc);
  }
}

void DeliverEvent(uint32_t code, uintptr_t parameter) {
  LibraryGlobals& g = Globals();
  void* record = reinterpret_cast<void*>(parameter);
  if (DvEventCarriesRecord(code) && record != nullptr) {
    // Freed meanwhile by shut-down: nothing left to deliver.
    if (!UntrackRecord(record)) return;
    if (g.handlers.on_event == nullptr) {
      platform::LocalFree(record);
      return;
    }
  }
  if (g.handlers.on_event != nullptr) g.handlers.on_event(code, parameter, g.handlers.context);
}

void DeliverError(uint32_t type, platform::LPARAM lparam) {
  auto* block = reinterpret_cast<DvErrorBlock*>(lparam);
  if (block == nullptr || !UntrackRecord(block)) return;
  LibraryGlobals& g = Globals();
  if (g.handlers.on_error != nullptr) {
    g.handlers.on_error(type, block->primary, block->secondary, g.handlers.context);
  }
  platform::LocalFree(block);
}

platform::LRESULT WindowProcedure(platform::HWND hwnd, uint32_t message, platform::WPARAM wparam,
                                  platform::LPARAM lparam) {
  (void)hwnd;
  Device& device = Device::Instance();
  try {
    switch (message) {
      case platform::WM_TIMER:
        OnTimer(static_cast<uint32_t>(wparam));
        break;
      case platform::WM_DEVICECHANGE:
        return OnDeviceChange(wparam, lparam);
      case WM_CARD_DETECTION_EVENT: {
        const auto reason = static_cast<uint32_t>(wparam);
        XLogLevel(kXLogTrace, "Dv: Card detection event arrived, reason is %s", ReasonName(reason));
        // A held card changes nothing of the record: its state comes with a
        // card event of its own.
        if (reason == NwEventReasonCardHeld) {
          RelayCardHeldText();
          break;
        }
        if (reason == NwEventReasonWakeUp) {
          XLogLevel(kXLogTrace, "Dv: Gathering access to COM port after waking up...");
        } else if (reason == NwEventReasonStandby) {
          XLogLevel(kXLogTrace, "Dv: Releasing COM port before going standby...");
        }
        device.UpdateCardState(reason);
        // A card held since before the registration was announced to nobody.
        if (reason == NwEventReasonListenerRegistered) RelayCardHeldText();
        break;
      }
      case WM_DELIVER_EVENT:
        DeliverEvent(static_cast<uint32_t>(wparam), static_cast<uintptr_t>(lparam));
        break;
      case WM_DELIVER_ERROR:
        DeliverError(static_cast<uint32_t>(wparam), lparam);
        break;
      case WM_DEVICE_EXIT:
        device.Exit(true);
        break;
      case WM_ENABLE_EX_ERRORS:
        OnEnableExtendedErrors();
        break;
      case WM_PDP_CONTEXT:
        device.OnPdpContext(static_cast<int>(wparam), lparam != 0);
        break;
      case WM_CS_REGISTRATION:
        device.OnCsRegistration(static_cast<int>(wparam));
        break;
      case WM_PS_REGISTRATION:
        device.OnPsRegistration(static_cast<int>(wparam), lparam != 0);
        break;
      case WM_EDGE_REFRESH:
        if (device.GetDeviceState() != DeviceState::NotFound && PortUsableOrIdle(device)) device.EdgeRefresh();
        break;
      case WM_HSDPA_POLL:
        if (device.GetDeviceState() == DeviceState::Initialized && PortUsableOrIdle(device)) device.OnHsdpaPoll();
        break;
      case WM_DERIVE_PS_STATE:
        device.DerivePsNetworkState();
        break;
      case WM_CONNECTION_STATE:
        device.OnConnectionStateChanged(static_cast<int>(wparam));
        break;
      case WM_CELL_TYPE_POLL:
        device.OnCellTypePoll();
        break;
      case WM_RADIO_POLL:
        device.OnRadioPoll();
        break;
      case WM_CONNECTION_WORK:
        device.OnConnectionWork(static_cast<ConnectionKind>(lparam), static_cast<uint32_t>(wparam));
        break;
      case WM_USSD_ANSWERED:
        StopLibraryTimer(TimerUssdAnswer);
        break;
      default:
        break;
    }
  } catch (...) {
    XLogLevel(kXLogError, "Dv: Communicator window: message 0x%x failed with 0x%x", message,
              DvCodeOfCurrentException());
  }
  return 0;
}

DvResult OsFailure() { return platform::ResultFromError(platform::GetLastError()); }

// Undoes what DvInitialize did, newest first.
void TearDown() {
  LibraryGlobals& g = Globals();
  if (g.card_detection_started) {
    const uint32_t unregistered = NwUnregisterListener();
    if (unregistered != 0) {
      XLogLevel(kXLogError, "Dv: Could not unregister Nodwarden listener (0x%x)", unregistered);
    }
    const uint32_t shut = NwShutdown();
    if (shut != 0) {
      XLogLevel(kXLogInformation, "Dv: Nodwarden shut down but an error occured (0x%x)", shut);
    } else {
      XLogLevel(kXLogInformation, "Dv: Nodwarden shut down");
    }
    g.card_detection_started = false;
  }
  if (platform::HWND window = g.window.exchange(nullptr)) platform::DestroyWindow(window);
  for (auto& timer : g.timers) timer.store(false);
  if (g.class_registered) {
    platform::UnregisterClass(kCommunicatorWindowClass);
    g.class_registered = false;
  }
  g.thread_id.store(0);
  g.instance = nullptr;
  g.handlers = {};
  g.card_held_text.clear();
  FreePendingRecords();
}

}  // namespace

bool LibraryInitialized() { return Globals().initialized.load(); }

platform::HWND CommunicatorWindow() { return Globals().window.load(); }

bool OnCommunicatorThread() {
  const uint32_t id = Globals().thread_id.load();
  return id != 0 && id == platform::GetCurrentThreadId();
}

DvResult PostToCommunicator(uint32_t message, platform::WPARAM wparam, platform::LPARAM lparam) {
  platform::HWND window = CommunicatorWindow();
  if (window == nullptr) return DV_E_NOT_INITIALIZED;
  if (!platform::PostMessage(window, message, wparam, lparam)) return OsFailure();
  return DV_S_OK;
}

DvResult RaiseEvent(uint32_t code, uintptr_t parameter) {
  void* record = DvEventCarriesRecord(code) ? reinterpret_cast<void*>(parameter) : nullptr;
  if (record != nullptr) TrackRecord(record);
  const DvResult rc = PostToCommunicator(WM_DELIVER_EVENT, code, static_cast<platform::LPARAM>(parameter));
  if (DvFailed(rc) && record != nullptr && UntrackRecord(record)) platform::LocalFree(record);
  return rc;
}

DvResult RaiseError(uint32_t type, DvResult primary) {
  if (CommunicatorWindow() == nullptr) return DV_E_NOT_INITIALIZED;
  auto* block = static_cast<DvErrorBlock*>(platform::LocalAlloc(sizeof(DvErrorBlock)));
  if (block == nullptr) return DV_E_EVENT_OUT_OF_MEMORY;
  block->primary = primary;
  block->secondary = 0;
  TrackRecord(block);
  const DvResult rc = PostToCommunicator(WM_DELIVER_ERROR, type, reinterpret_cast<platform::LPARAM>(block));
  if (DvFailed(rc) && UntrackRecord(block)) platform::LocalFree(block);
  return rc;
}

DvResult StartLibraryTimer(uint32_t timer) {
  if (timer < 1 || timer > kTimers.size()) return DV_E_INVALID_ARGUMENT;
  LibraryGlobals& g = Globals();
  platform::HWND window = CommunicatorWindow();
  if (window == nullptr) return DV_E_NOT_INITIALIZED;
  std::atomic<bool>& running = g.timers[timer - 1];
  if (running.load()) return DV_S_OK;
  if (platform::SetTimer(window, timer, kTimers[timer - 1].period_ms) == 0) return OsFailure();
  running.store(true);
  XLogLevel(kXLogTrace, "%s", kTimers[timer - 1].started);
  return DV_S_OK;
}

DvResult StopLibraryTimer(uint32_t timer) {
  if (timer < 1 || timer > kTimers.size()) return DV_E_INVALID_ARGUMENT;
  LibraryGlobals& g = Globals();
  std::atomic<bool>& running = g.timers[timer - 1];
  if (!running.exchange(false)) return DV_S_OK;
  if (platform::HWND window = CommunicatorWindow()) platform::KillTimer(window, timer);
  XLogLevel(kXLogTrace, "%s", kTimers[timer - 1].stopped);
  return DV_S_OK;
}

bool LibraryTimerRunning(uint32_t timer) {
  if (timer < 1 || timer > kTimers.size()) return false;
  return Globals().timers[timer - 1].load();
}

std::u16string ApplicationName() {
  LibraryGlobals& g = Globals();
  std::lock_guard lock(g.name_lock);
  return g.application_name;
}

}  // namespace GSM

using GSM::Device;
using GSM::Globals;

DvResult DvInitialize(platform::HMODULE instance, const DvClientHandlers& handlers) {
  auto& g = Globals();
  if (g.initialized.load()) return DV_S_OK;
  XLog("Dv: Dravik v%d.%d.%d.%d (%s library)", 1, 0, 0, 1, "Unicode");
  g.instance = instance;
  g.handlers = handlers;
  if (!platform::RegisterClass(GSM::kCommunicatorWindowClass, GSM::WindowProcedure)) {
    const DvResult rc = GSM::OsFailure();
    GSM::TearDown();
    return rc;
  }
  g.class_registered = true;
  platform::HWND window = platform::CreateWindow(GSM::kCommunicatorWindowClass);
  if (window == nullptr) {
    const DvResult rc = GSM::OsFailure();
    GSM::TearDown();
    return rc;
  }
  g.window.store(window);
  g.thread_id.store(platform::GetCurrentThreadId());
  // Before card detection: the first card may hand over a message at once.
  GSM::InstallTemporaryMessageHandler();

  uint32_t error = NwInitialize(instance);
  if (error != 0) {
    XLogLevel(kXLogError, "Dv: CommunicatorWindow::InitCardDetection(): Could not initialize Nodwarden (0x%x)", error);
    GSM::TearDown();
    return 0x80070000u | (error & 0xFFFFu);
  }
  error = NwRegisterListener(window, GSM::WM_CARD_DETECTION_EVENT);
  if (error != 0) {
    XLogLevel(kXLogError, "Dv: CommunicatorWindow::InitCardDetection(): Could not register Nodwarden listener (0x%x)",
              error);
    // Card detection is running: it is shut down with the rest.
    g.card_detection_started = true;
    GSM::TearDown();
    return 0x80070000u | (error & 0xFFFFu);
  }
  g.card_detection_started = true;
  g.initialized.store(true);
  XLog("Dv: Library has been initialized");
  return DV_S_OK;
}

DvResult DvSetApplicationName(const char16_t* name) {
  if (!GSM::LibraryInitialized()) return DV_E_NOT_INITIALIZED;
  if (name == nullptr) return DV_E_INVALID_ARGUMENT;
  auto& g = Globals();
  std::lock_guard lock(g.name_lock);
  g.application_name = name;
  return DV_S_OK;
}

DvResult DvShutdown() {
  auto& g = Globals();
  g.handlers = {};
  if (g.initialized.load()) Device::Instance().Exit(true);
  GSM::TearDown();
  g.initialized.store(false);
  XLog("Dv: Library has been shut down");
  return DV_S_OK;
}

DvResult DvGetDeviceState(int* state) {
  if (!GSM::LibraryInitialized()) return DV_E_NOT_INITIALIZED;
  if (state == nullptr) return DV_E_INVALID_ARGUMENT;
  *state = Device::Instance().GetDeviceState();
  return DV_S_OK;
}

DvResult DvGetConnectionState(int* state) {
  if (!GSM::LibraryInitialized()) return DV_E_NOT_INITIALIZED;
  if (state == nullptr) return DV_E_INVALID_ARGUMENT;
  *state = Device::Instance().GetConnectionState();
  return DV_S_OK;
}

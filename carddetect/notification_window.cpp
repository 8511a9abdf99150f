#include "carddetect/notification_window.h"

#include <strings.h>

#include <array>
#include <string>

#include "carddetect/card_state.h"
#include "carddetect/detection_state.h"
#include "carddetect/device_node.h"
#include "carddetect/device_text.h"
#include "carddetect/enumeration.h"
#include "carddetect/library_globals.h"
#include "carddetect/listener_thread.h"
#include "carddetect/standard_card.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"
#include "platform/device_notification.h"
#include "platform/device_tree.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace {

constexpr std::u16string_view kWindowClass = u"NodwardenNotificationWindowClass";

struct NotificationRow {
  std::string_view interface_class;
  const char* failure;
};

constexpr std::array<NotificationRow, kDeviceNotificationCount> kNotificationRows = {{
    {platform::kInterfaceComPort,
     "Nw: InitializeNotificationWindow(): RegisterDeviceNotification for COM ports failed with 0x%x."},
    {platform::kInterfaceModem,
     "Nw: InitializeNotificationWindow(): RegisterDeviceNotification for modems failed with 0x%x."},
    {platform::kInterfaceSerialEnumerator,
     "Nw: InitializeNotificationWindow(): RegisterDeviceNotification for serenum bus enumeration failed with 0x%x."},
    {platform::kInterfaceUsbDevice,
     "Nw: InitializeNotificationWindow(): RegisterDeviceNotification for USB devices failed with 0x%x."},
    {platform::kInterfaceNetwork,
     "Nw: InitializeNotificationWindow(): RegisterDeviceNotification for network devices failed with 0x%x."},
    {platform::kInterfaceSmartCardReader,
     "Nw: InitializeNotificationWindow(): RegisterDeviceNotification for smart card readers failed with 0x%x."},
}};

struct TimerTexts {
  uintptr_t id;
  const char* started;  // takes the period when it has a %d
  const char* stopped;
  const char* start_failed;
  const char* stop_failed;
};

constexpr TimerTexts kDetectionTimeout = {
    kDetectionTimeoutTimer, "Nw: Detection timeout timer started with %d msec timeout",
    "Nw: Detection timeout timer stopped",
    "Nw: StartDetectionTimeoutTimer(): Warning, creating the detection timeout timer failed with 0x%x",
    "Nw: StopDetectionTimeoutTimer(): Warning, could not stop detection timeout timer, err=0x%x"};
constexpr TimerTexts kPolling = {kPollingTimer, "Nw: Polling timer started with 1 sec frequency",
                                 "Nw: Polling timer stopped",
                                 "Nw: StartPollingTimer(): Warning, creating the polling timer failed with 0x%x",
                                 "Nw: StopPollingTimer(): Warning, could not stop the polling timer, err=0x%x"};
constexpr TimerTexts kWakeupPolling = {
    kWakeupPollingTimer, "Nw: Wakeup polling timer started with 1 sec frequency", "Nw: Wakeup polling timer stopped",
    "Nw: StartWakeupPollingTimer(): Warning, creating the wakeup polling timer failed with 0x%x",
    "Nw: StopWakeupPollingTimer(): Warning, could not stop wakeup polling timer, err=0x%x"};
constexpr TimerTexts kWakeupTimeout = {
    kWakeupTimeoutTimer, "Nw: Wakeup timeout timer started with %d msec timeout", "Nw: Wakeup timeout timer stopped",
    "Nw: StartWakeupTimeoutTimer(): Warning, creating the wakeup timeout timer failed with 0x%x",
    "Nw: StopWakeupTimeoutTimer(): Warning, could not stop wakeup timeout timer, err=0x%x"};
constexpr TimerTexts kReplugTimeout = {
    kReplugTimeoutTimer, "Nw: Replug timeout timer started with %d msec timeout", "Nw: Replug timeout timer stopped",
    "Nw: StartReplugTimeoutTimer(): Warning, creating the replug timeout timer failed with 0x%x",
    "Nw: StopReplugTimeoutTimer(): Warning, could not stop replug timeout timer, err=0x%x"};

constexpr TimerTexts kStandardProbe = {
    kStandardProbeTimer, "Nw: Standard card probe timer started with %d msec delay",
    "Nw: Standard card probe timer stopped",
    "Nw: StartStandardProbeTimer(): Warning, creating the standard card probe timer failed with 0x%x",
    "Nw: StopStandardProbeTimer(): Warning, could not stop the standard card probe timer, err=0x%x"};

// A timer failure is only a warning: detection then goes on on events alone.
// 21 stands for the window that does not exist.
uint32_t TimerError(platform::HWND window) {
  return window == nullptr || !platform::IsWindow(window) ? platform::kErrorNotReady : platform::GetLastError();
}

void StartTimer(const TimerTexts& texts, uint32_t period_ms) {
  const platform::HWND window = NwGlobals().notification_window.load();
  if (window == nullptr || platform::SetTimer(window, texts.id, period_ms) == 0) {
    XLogLevel(kXLogWarning, texts.start_failed, TimerError(window));
    return;
  }
  XLogLevel(kXLogTrace, texts.started, static_cast<int>(period_ms));
}

// Stopping a timer that does not run does nothing.
void StopTimer(const TimerTexts& texts) {
  const platform::HWND window = NwGlobals().notification_window.load();
  if (window != nullptr && platform::KillTimer(window, texts.id)) {
    XLogLevel(kXLogTrace, "%s", texts.stopped);
    return;
  }
  const uint32_t error = TimerError(window);
  if (error == platform::kErrorNotReady && window == nullptr) return;  // nothing can run
  if (error != platform::kErrorInvalidTimerId) XLogLevel(kXLogWarning, texts.stop_failed, error);
}

bool HasMaskBit(const DetectionMethod& method, uint32_t event) { return (method.mask & event) != 0; }

bool IsWin9x() { return IsWin9xOs(DetermineOsType()); }

void OnPollingTimer() {
  const DetectionState& detection = NwState().detection;
  const uint32_t app = detection.app_port_method.method;
  DetectionSteps steps;
  steps.modem = detection.modem_method.method == ModemDetMethodDefaultPolling;
  steps.final_port_if_multiplexing = app == AppPortDetMethodDefaultPolling || app == AppPortDetMethodBroadcomPolling;
  steps.final_port_otherwise = detection.modem_method.method == ModemDetMethodDefaultPolling;
  steps.wwan = true;
  steps.smart_card = true;
  steps.secondary_port = detection.app2_port_method.method == AppPortDetMethodDefaultPolling;
  steps.diagnostics_port = detection.dbg_port_method.method == DbgPortDetMethodDefaultPolling;
  TryCompleteDetection(steps, NwEventReasonCardEvent);
}

void OnTimer(uintptr_t id) {
  NwLibraryState& library = NwState();
  switch (id) {
    case kDetectionTimeoutTimer:
      XLogLevel(kXLogTrace, "Nw: Detection timed out, cancelling...");
      SetCardStateIfChanged(CardStateStopped, NwEventReasonCardEvent);
      break;
    case kPollingTimer:
      XLogLevel(kXLogTrace, "Nw: polling timer event");
      OnPollingTimer();
      break;
    case kWakeupPollingTimer:
      XLogLevel(kXLogTrace, "Nw: Wakeup polling timer event");
      TryCompleteDetection(DetectionSteps::All(), NwEventReasonWakeUp);
      break;
    case kWakeupTimeoutTimer:
      XLogLevel(kXLogTrace, "Nw: Wakeup check timed out, cancelling...");
      SetCardStateIfChanged(CardStateStopped, NwEventReasonWakeUp);
      break;
    case kStandardProbeTimer:
      XLogLevel(kXLogTrace, "Nw: Standard card probe timer event");
      StopStandardProbeTimer();
      // The probes run here, on the client's thread: each port is asked once
      // in its life and answers (or not) within half a second.
      if (library.card_info.Model == 0 && library.card_info.State == CardStateStopped) {
        if (DetectAnyCard(library)) {
          SetCardStateIfChanged(CardStateStarting, NwEventReasonCardEvent);
          TryCompleteDetection(DetectionSteps::All(), NwEventReasonCardEvent);
        } else if (!library.held_ports.Text().empty()) {
          RecheckHeldCardLater();
        }
      }
      break;
    case kReplugTimeoutTimer:
      XLogLevel(kXLogTrace, "Nw: Replug timeout timer event");
      StopReplugTimeoutTimer();
      if (library.replug_node != 0) {
        XLog("Nw: Repluggable card was not replugged within a reasonable time after standby, assuming non-powered down USB, checking system...");
        library.replug_node = 0;
        CheckActualState(NwEventReasonCardEvent);
      }
      break;
    default:
      break;
  }
}

void OnDeviceChange(platform::WPARAM wparam, platform::LPARAM lparam) {
  XLogLevel(kXLogTrace, "Nw: WM_DEVICECHANGE: wParam=0x%x", static_cast<uint32_t>(wparam));
  const std::optional<platform::DeviceBroadcast> broadcast = platform::DeviceBroadcastFromLParam(lparam);
  const uint32_t device_type = broadcast ? broadcast->device_type : 0;
  switch (wparam) {
    case platform::DBT_DEVNODES_CHANGED:
      XLogLevel(kXLogTrace, "Nw: DetectionEvent is %s", std::string(DetectionEventName(DetEvDeviceNodeChanged)).c_str());
      CheckRemovals();
      OnDetectionEvent(DetEvDeviceNodeChanged);
      break;
    case platform::DBT_DEVICEARRIVAL: {
      XLogLevel(kXLogTrace, "Nw: DBT_DEVICEARRIVAL with device type %d", static_cast<int>(device_type));
      const DetectionEvent event = broadcast ? ClassifyArrival(*broadcast) : DetEvUnknown;
      XLogLevel(kXLogTrace, "Nw: DetectionEvent is %s", std::string(DetectionEventName(event)).c_str());
      CheckRemovals();
      if (NwGlobals().wake_up_pending) {
        XLogLevel(kXLogTrace, "Nw: ... device arrival event is ignored before complete system wake up");
        break;
      }
      NwLibraryState& library = NwState();
      if (library.card_info.Model == 0) {
        if (DetectAnyCard(library, false)) {
          SetCardStateIfChanged(CardStateStarting, NwEventReasonCardEvent);
        } else if (HasUnprobedStandardPorts(library)) {
          StartStandardProbeTimer();
        }
      }
      OnDetectionEvent(event);
      break;
    }
    case platform::DBT_DEVICEREMOVECOMPLETE: {
      XLogLevel(kXLogTrace, "Nw: DBT_DEVICEREMOVECOMPLETE with device type %d (size=%d)", static_cast<int>(device_type),
                static_cast<int>(broadcast ? broadcast->size : 0));
      const bool win9x = IsWin9x();
      if (device_type == platform::DBT_DEVTYP_PORT || device_type == platform::DBT_DEVTYP_DEVICEINTERFACE ||
          (device_type == platform::DBT_DEVTYP_DEVNODE && win9x) ||
          (device_type == platform::DBT_DEVTYP_HANDLE && !win9x)) {
        CheckRemovals();
      }
      break;
    }
    default:
      break;
  }
}

// Whether the device name `app_port` ("\\.\COM7", or "COM7:") names COM`number`.
bool IsComPort(std::u16string_view app_port, platform::WPARAM number) {
  if (app_port.substr(0, platform::kDeviceNamespacePrefix.size()) == platform::kDeviceNamespacePrefix) {
    app_port.remove_prefix(platform::kDeviceNamespacePrefix.size());
  }
  if (!app_port.empty() && app_port.back() == u':') app_port.remove_suffix(1);
  return EqualsIgnoringCase(app_port, u"COM" + platform::Utf8ToUtf16(std::to_string(number)));
}

void OnPortChange(platform::WPARAM port, platform::LPARAM appeared) {
  XLog("Nw: CeDeviceChanged event: COM%d has %s", static_cast<int>(port), appeared != 0 ? "appeared" : "disappeared");
  NwCardInfo& info = NwState().card_info;
  if ((info.State == CardStateStarting || info.State == CardStateStarted) && appeared == 0) {
    if (IsComPort(CardInfoText(info.AppPortName), port)) {
      XLog("Nw: Application port has been removed");
      SetCardStateIfChanged(CardStateStopped, NwEventReasonCardEvent);
    }
  } else if (info.State == CardStateStopped && appeared != 0) {
    CheckActualState(NwEventReasonCardEvent);
  }
}

void OnMutexFree() {
  const uint32_t rc = GrabExclusiveMutex();
  if (rc == 0) {
    XLogLevel(kXLogTrace, "Nw: Exclusive mutex has been grabbed");
  } else {
    XLogLevel(kXLogWarning, "Nw: Exclusive mutex could not be grabbed, 0x%x", rc);
    SetListenerDuty(ListenerDutyWaitForSuspendAndMutex);
  }
}

}  // namespace

std::string_view DetectionEventName(uint32_t event) {
  switch (event) {
    case DetEvUnknown:
      return "DetEvUnknown";
    case DetEvComPortDevIfArrived:
      return "DetEvComPortDevIfArrived";
    case DetEvModemDevIfArrived:
      return "DetEvModemDevIfArrived";
    case DetEvUsbIfArrived:
      return "DetEvUsbIfArrived";
    case DetEvSerEnumBusEnumIfArrived:
      return "DetEvSerEnumBusEnumIfArrived";
    case DetEvNetworkDevIfArrived:
      return "DetEvNetworkDevIfArrived";
    case DetEvDeviceNodeArrived:
      return "DetEvDeviceNodeArrived";
    case DetEvPortArrived:
      return "DetEvPortArrived";
    case DetEvScReaderIfArrived:
      return "DetEvScReaderIfArrived";
    case DetEvDeviceNodeChanged:
      return "DetEvDeviceNodeChanged";
    default:
      return "Unknown!";
  }
}

DetectionEvent ClassifyArrival(const platform::DeviceBroadcast& broadcast) {
  switch (broadcast.device_type) {
    case platform::DBT_DEVTYP_DEVNODE:
      return DetEvDeviceNodeArrived;
    case platform::DBT_DEVTYP_PORT:
      return DetEvPortArrived;
    case platform::DBT_DEVTYP_DEVICEINTERFACE:
      break;
    default:
      return DetEvUnknown;
  }
  struct Row {
    std::string_view interface_class;
    DetectionEvent event;
  };
  static constexpr Row kRows[] = {
      {platform::kInterfaceComPort, DetEvComPortDevIfArrived},
      {platform::kInterfaceModem, DetEvModemDevIfArrived},
      {platform::kInterfaceUsbDevice, DetEvUsbIfArrived},
      {platform::kInterfaceSerialEnumerator, DetEvSerEnumBusEnumIfArrived},
      {platform::kInterfaceNetwork, DetEvNetworkDevIfArrived},
      {platform::kInterfaceSmartCardReader, DetEvScReaderIfArrived},
  };
  for (const Row& row : kRows) {
    // GUID texts compare without regard to letter case.
    if (row.interface_class.size() == broadcast.interface_class.size() &&
        strncasecmp(row.interface_class.data(), broadcast.interface_class.data(), row.interface_class.size()) == 0) {
      return row.event;
    }
  }
  return DetEvUnknown;
}

uint32_t InitializeNotificationWindow() {
  NwLibraryGlobals& globals = NwGlobals();
  if (!platform::RegisterClass(kWindowClass, NotificationWindowProc)) {
    const uint32_t error = platform::GetLastError();
    XLogLevel(kXLogError, "Nw: InitializeNotificationWindow(): Registering/creating notification window failed with 0x%x.",
              error);
    return error;
  }
  globals.window_class_registered = true;
  const platform::HWND window = platform::CreateWindow(kWindowClass);
  if (window == nullptr) {
    const uint32_t error = platform::GetLastError();
    XLogLevel(kXLogError, "Nw: InitializeNotificationWindow(): Registering/creating notification window failed with 0x%x.",
              error);
    return error;
  }
  globals.notification_window = window;
  for (size_t i = 0; i < kNotificationRows.size(); ++i) {
    globals.notifications[i] = platform::RegisterDeviceNotification(window, kNotificationRows[i].interface_class);
    if (globals.notifications[i] == nullptr) {
      const uint32_t error = platform::GetLastError();
      XLogLevel(kXLogError, kNotificationRows[i].failure, error);
      return error;
    }
  }
  XLogLevel(kXLogInformation, "Nw: Notification window initialized");
  return 0;
}

void ReleaseNotificationWindow() {
  NwLibraryGlobals& globals = NwGlobals();
  StopDetectionTimeoutTimer();
  StopPollingTimer();
  StopStandardProbeTimer();
  for (platform::HDEVNOTIFY& notification : globals.notifications) {
    if (notification != nullptr) platform::UnregisterDeviceNotification(notification);
    notification = nullptr;
  }
  const platform::HWND window = globals.notification_window.exchange(nullptr);
  if (window != nullptr) platform::DestroyWindow(window);
  if (globals.window_class_registered) platform::UnregisterClass(kWindowClass);
  globals.window_class_registered = false;
  XLogLevel(kXLogInformation, "Nw: Notification window released");
}

void StartDetectionTimeoutTimer() { StartTimer(kDetectionTimeout, kDetectionTimeoutMs); }
void StopDetectionTimeoutTimer() { StopTimer(kDetectionTimeout); }
void StartPollingTimer() { StartTimer(kPolling, kPollingPeriodMs); }
void StopPollingTimer() { StopTimer(kPolling); }
void StartWakeupPollingTimer() { StartTimer(kWakeupPolling, kPollingPeriodMs); }
void StopWakeupPollingTimer() { StopTimer(kWakeupPolling); }
void StartWakeupTimeoutTimer() {
  const NwLibraryState& library = NwState();
  const bool slow = library.DetectedCard() != nullptr && library.detection.slow_wake_up;
  StartTimer(kWakeupTimeout, slow ? kSlowWakeupTimeoutMs : kWakeupTimeoutMs);
}
void StopWakeupTimeoutTimer() { StopTimer(kWakeupTimeout); }
void StartReplugTimeoutTimer() { StartTimer(kReplugTimeout, kReplugTimeoutMs); }
void StopReplugTimeoutTimer() { StopTimer(kReplugTimeout); }
void StartStandardProbeTimer() { StartTimer(kStandardProbe, kStandardProbeSettleMs); }
void StopStandardProbeTimer() { StopTimer(kStandardProbe); }
void RecheckHeldCardLater() { StartTimer(kStandardProbe, kHeldCardRecheckMs); }

void StopAllTimers() {
  StopDetectionTimeoutTimer();
  StopPollingTimer();
  StopWakeupTimeoutTimer();
  StopWakeupPollingTimer();
  StopReplugTimeoutTimer();
}

platform::LRESULT NotificationWindowProc(platform::HWND, uint32_t message, platform::WPARAM wparam,
                                         platform::LPARAM lparam) {
  if (message == kMsgSuspensionOver) {
    CheckActualState(NwEventReasonSuspension);
    return 0;
  }
  if (message == kMsgInhibitionLost) {
    NwState().held_ports.CollectLost();
    return 0;
  }
  if (message == kMsgSuspensionRequest) {
    // The listener thread saw the request; the record is written here only.
    StopStandardProbeTimer();
    ResetCardInfo(NwState());
    SetCardStateIfChanged(CardStateSuspended, NwEventReasonCardEvent);
    return 0;
  }
  if (NwState().card_info.State == CardStateSuspended) return 0;
  switch (message) {
    case platform::WM_TIMER:
      OnTimer(wparam);
      break;
    case platform::WM_POWERBROADCAST:
      XLogLevel(kXLogTrace, "Nw: WM_POWERBROADCAST, wParam=0x%x", static_cast<uint32_t>(wparam));
      if (wparam == platform::PBT_APMSUSPEND) OnStandby();
      if (wparam == platform::PBT_APMRESUMESUSPEND) OnResume();
      break;
    case platform::WM_DEVICECHANGE:
      OnDeviceChange(wparam, lparam);
      break;
    case kMsgMutexFree:
      OnMutexFree();
      break;
    case kMsgPortChange:
      OnPortChange(wparam, lparam);
      break;
    default:
      break;
  }
  return 0;
}

void OnDetectionEvent(uint32_t event) {
  const DetectionState& detection = NwState().detection;
  const uint32_t modem = detection.modem_method.method;
  const uint32_t app = detection.app_port_method.method;
  const bool polling = modem == ModemDetMethodDefaultPolling || app == AppPortDetMethodDefaultPolling ||
                       app == AppPortDetMethodBroadcomPolling;
  DetectionSteps steps;
  steps.modem = modem == ModemDetMethodDefaultEventBased && HasMaskBit(detection.modem_method, event);
  steps.final_port_if_multiplexing =
      (app == AppPortDetMethodDefaultEventBased || app == AppPortDetMethodBroadcomEventBased) &&
      HasMaskBit(detection.app_port_method, event);
  steps.final_port_otherwise = modem == ModemDetMethodDefaultEventBased;
  steps.wwan = !polling && event != DetEvDeviceNodeChanged;
  steps.smart_card = steps.wwan;
  steps.secondary_port = detection.app2_port_method.method == AppPortDetMethodDefaultEventBased &&
                         HasMaskBit(detection.app2_port_method, event);
  steps.diagnostics_port = detection.dbg_port_method.method == DbgPortDetMethodDefaultEventBased &&
                           HasMaskBit(detection.dbg_port_method, event);
  TryCompleteDetection(steps, NwEventReasonCardEvent);
}

void CheckRemovals() {
  NwLibraryState& library = NwState();
  ForgetGoneStandardPorts(library);
  NwCardInfo& info = library.card_info;
  DetectionState& detection = library.detection;
  const bool card = library.DetectedCard() != nullptr;
  if (card) {
    if (!detection.subdevices_ready) detection.subdevices_ready = AreSubdevicesReady(library);
    if (info.State >= CardStateStarting && !IsDeviceNodeActive(info.DevNode, true)) {
      ForceStopped(NwEventReasonCardEvent);
      return;
    }
  }
  if (info.State == CardStateStarted && HasCardInfoText(info.WwanNicName) &&
      !IsDeviceNodeActive(detection.wwan_nic_node, true)) {
    ForceStopped(NwEventReasonCardEvent);
    return;
  }
  if (card) {
    // For the log only.
    if (HasCardInfoText(info.ModemName) && detection.modem_node != 0) IsDeviceNodeActive(detection.modem_node, true);
    if ((info.DriverCapabilities & CardDriverCapabilitiesMultiplexing) && HasCardInfoText(info.AppPortName) &&
        detection.app_port_node != 0) {
      IsDeviceNodeActive(detection.app_port_node, true);
    }
    if (HasCardInfoText(info.DbgPortName) && detection.dbg_port_node != 0) {
      IsDeviceNodeActive(detection.dbg_port_node, true);
    }
  }
  if (library.replug_node != 0 && !IsDeviceNodeActive(library.replug_node, true)) {
    library.replug_node = 0;
    XLogLevel(kXLogTrace, "Nw: Current repluggable card has been removed");
    StopReplugTimeoutTimer();
  }
}

void OnStandby() {
  NwLibraryState& library = NwState();
  if (library.card_info.Family == kFamilyReplugged) {
    library.replug_node = library.detection.wwan_nic_node;
    XLogLevel(kXLogTrace, "Nw: Current card will be replugged, storing its WWAN NIC device node 0x%x",
              library.replug_node);
  }
  ForceStopped(NwEventReasonStandby);
  NwGlobals().wake_up_pending = true;
}

void OnResume() {
  NwGlobals().wake_up_pending = false;
  CheckActualState(NwEventReasonWakeUp);
  if (NwState().replug_node != 0 && NwState().card_info.State == CardStateStopped) StartReplugTimeoutTimer();
}

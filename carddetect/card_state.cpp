#include "carddetect/card_state.h"

#include "carddetect/card_driver.h"
#include "carddetect/detection_state.h"
#include "carddetect/device_node.h"
#include "carddetect/enumeration.h"
#include "carddetect/library_globals.h"
#include "carddetect/listener_thread.h"
#include "carddetect/notification_window.h"
#include "carddetect/smart_card_reader.h"
#include "carddetect/subdevice_classification.h"
#include "carddetect/subdevices.h"
#include "carddetect/wwan_device.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"
#include "platform/event.h"
#include "platform/named_event.h"
#include "platform/named_object.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace {

// Timers for a card that has just been found: the wake-up pair after a
// resume, otherwise the detection time-out and, for polled sub-devices, the
// polling timer.
void StartStartingTimers(NwEventReason reason) {
  if (reason == NwEventReasonWakeUp) {
    StartWakeupPollingTimer();
    StartWakeupTimeoutTimer();
    return;
  }
  StartDetectionTimeoutTimer();
  const DetectionState& detection = NwState().detection;
  const uint32_t app_port_method = detection.app_port_method.method;
  // The secondary and diagnostics ports count too: with a polling method
  // they are searched on nothing but this timer, and a card whose other
  // sub-devices come by events would otherwise wait for the time-out.
  if (detection.modem_method.method == ModemDetMethodDefaultPolling ||
      app_port_method == AppPortDetMethodDefaultPolling || app_port_method == AppPortDetMethodBroadcomPolling ||
      detection.app2_port_method.method == AppPortDetMethodDefaultPolling ||
      detection.dbg_port_method.method == DbgPortDetMethodDefaultPolling) {
    StartPollingTimer();
  }
}

const char* CheckReasonText(NwEventReason reason) {
  switch (reason) {
    case NwEventReasonInitialization:
      return "at startup...";
    case NwEventReasonWakeUp:
      return "after wake-up...";
    case NwEventReasonSuspension:
      return "after suspension...";
    default:
      return "";
  }
}

}  // namespace

uint32_t SendNotification(NwEventReason reason) {
  const NwLibraryGlobals& globals = NwGlobals();
  if (globals.listener_window == nullptr || !platform::IsWindow(globals.listener_window)) {
    return platform::kErrorInvalidHandle;
  }
  XLogLevel(kXLogTrace, "Nw: Sending notification, reason=%d", static_cast<int>(reason));
  platform::PostMessage(globals.listener_window, globals.listener_message, reason, 0);
  return 0;
}

void SetCardStateIfChanged(NwCardState state, NwEventReason reason) {
  if (NwState().card_info.State == state) return;
  SetCardState(state, reason);
}

void SetCardState(NwCardState state, NwEventReason reason) {
  NwLibraryState& library = NwState();
  library.card_info.State = state;
  XLogLevel(kXLogTrace, "Nw: Card state changed to %s", std::string(CardStateName(state)).c_str());
  SendNotification(reason);
  switch (state) {
    case CardStateStopped:
      ResetCardInfo(library);
      StopAllTimers();
      break;
    case CardStateStarting:
      StartStartingTimers(reason);
      break;
    case CardStateSuspended:
      // The program that asked for the card asks ModemManager itself.
      library.held_ports.Suspend();
      StopAllTimers();
      break;
    default:
      StopAllTimers();
      break;
  }
}

void ForceStopped(NwEventReason reason) {
  // Emptied before the notification as well as after it (SetCardState).
  ResetCardInfo(NwState());
  SetCardState(CardStateStopped, reason);
}

bool IsSuspensionRequested() {
  platform::UniqueHandle event(platform::OpenNamedEvent(kSuspensionEventName));
  if (!event) return false;
  if (platform::WaitForSingleObject(event.get(), 0) != platform::kWaitObject0) return false;
  platform::HANDLE mutex = platform::CreateMutex(kExclusiveMutexName, true);
  const bool existed = platform::GetLastError() == platform::kErrorAlreadyExists;
  platform::UniqueHandle owned_mutex(mutex);
  if (owned_mutex && !existed) {
    // Nobody holds the card and nobody waits for it: the requester that
    // signalled is gone.
    XLogLevel(kXLogWarning, "Nw: Suspended event is signalled but the exclusive mutex is available");
    XLogLevel(kXLogWarning, "Nw: Possibly the event stayed signalled due to a crash, resetting it...");
    platform::ReleaseMutex(owned_mutex.get());
    owned_mutex.reset();
    platform::ResetEvent(event.get());
  }
  NwGlobals().suspension_request_seen = true;
  return true;
}

uint32_t GrabExclusiveMutex() {
  NwLibraryGlobals& globals = NwGlobals();
  if (globals.exclusive_mutex) {
    XLogLevel(kXLogWarning, "Nw: Exclusive mutex has already been grabbed, ignoring request...");
    return 0;
  }
  platform::UniqueHandle mutex(platform::CreateMutex(kExclusiveMutexName, true));
  if (!mutex) return platform::kErrorFileNotFound;
  if (platform::GetLastError() == platform::kErrorAlreadyExists) {
    const uint32_t wait = platform::WaitForSingleObject(mutex.get(), 0);
    if (wait != platform::kWaitObject0 && wait != platform::kWaitAbandoned0) {
      const uint32_t error = wait == platform::kWaitTimeout ? platform::kErrorWaitTimeout : platform::GetLastError();
      return error != 0 ? error : platform::kErrorWaitTimeout;
    }
  }
  globals.exclusive_mutex = std::move(mutex);
  return 0;
}

bool ReleaseExclusiveMutex() {
  NwLibraryGlobals& globals = NwGlobals();
  if (!globals.exclusive_mutex) {
    XLogLevel(kXLogWarning, "Nw: Exclusive mutex has already been released, ignoring request...");
    return false;
  }
  platform::ReleaseMutex(globals.exclusive_mutex.get());
  globals.exclusive_mutex.reset();
  return true;
}

bool CheckSuspension() {
  if (NwGlobals().own_request) {
    // The signalled event is this program's own request: it holds the
    // mutex it was given and keeps the request up until it lets go, and
    // nobody else can ask meanwhile, so the listener has nothing to watch.
    SetListenerDuty(ListenerDutyIdle);
    return false;
  }
  if (IsSuspensionRequested()) {
    SetListenerDuty(ListenerDutyWaitForMutex);
    return true;
  }
  const uint32_t rc = GrabExclusiveMutex();
  if (rc == 0) {
    XLogLevel(kXLogTrace, "Nw: Exclusive mutex has been grabbed");
    SetListenerDuty(ListenerDutyWaitForSuspend);
  } else {
    XLogLevel(kXLogWarning, "Nw: Exclusive mutex could not be grabbed, 0x%x", rc);
    SetListenerDuty(ListenerDutyWaitForSuspendAndMutex);
  }
  // Holding the mutex is not needed to use the card.
  return false;
}

void CheckActualState(NwEventReason reason) {
  NwLibraryState& library = NwState();
  XLogLevel(kXLogTrace, "Nw: Checking actual state of the system %s", CheckReasonText(reason));
  ResetCardInfo(library);
  XLogLevel(kXLogTrace, "Nw: Card state has been silently set to CardStateStopped");
  if (CheckSuspension()) {
    SetCardState(CardStateSuspended, reason);
    return;
  }
  if (DetectAnyCard(library)) {
    SetCardState(CardStateStarting, reason);
    TryCompleteDetection(DetectionSteps::All(), reason);
    return;
  }
  XLogLevel(kXLogTrace, "Nw: No supported card detected");
  if (!library.held_ports.Text().empty()) RecheckHeldCardLater();
  if (reason != NwEventReasonInitialization) SendNotification(reason);
}

bool TryCompleteDetection(const DetectionSteps& steps, NwEventReason reason) {
  NwLibraryState& library = NwState();
  NwCardInfo& info = library.card_info;
  DetectionState& detection = library.detection;
  if (info.State != CardStateStarting || library.DetectedCard() == nullptr) return false;

  if (IsClassifiedModel(info.Model)) {
    if (!detection.subdevices_ready) return false;
    if (!detection.subdevices_classified) DetectAllSubdevices(library);
  }

  // The flags change as sub-devices are classified and searched, so each
  // question reads them afresh.
  const auto has = [&info](uint32_t flag) { return (info.DriverCapabilities & flag) != 0; };
  const auto modem_missing = [&] { return has(CardDriverCapabilitiesModem) && !HasCardInfoText(info.ModemName); };
  const auto final_port_missing = [&] {
    return has(CardDriverCapabilitiesAppPort) && !detection.final_port_verified;
  };
  const auto reader_missing = [&] {
    return has(CardDriverCapabilitiesSmartCardReader) && !HasCardInfoText(info.SmartCardReaderName);
  };
  const auto dbg_missing = [&] { return detection.dbg_port_method.method != 0 && !HasCardInfoText(info.DbgPortName); };
  const auto app2_missing = [&] { return has(CardDriverCapabilitiesApp2Port) && !HasCardInfoText(info.App2PortName); };
  const auto wwan_missing = [&] { return has(CardDriverCapabilitiesWwanNic) && !HasCardInfoText(info.WwanNicName); };

  // Modem.
  if (steps.modem && modem_missing() && UsesNameSearch(detection.modem_method)) DetectModem(library);

  // Final port: the application port must open.
  const bool multiplexing = has(CardDriverCapabilitiesMultiplexing);
  if ((multiplexing ? steps.final_port_if_multiplexing : steps.final_port_otherwise) &&
      !detection.final_port_verified && !modem_missing()) {
    if (!multiplexing) {
      const bool reenumeration = !IsWin9xOs(DetermineOsType());
      if (IsDeviceNodeActive(detection.modem_node, reenumeration)) TestFinalPort(library);
    } else {
      if (!HasCardInfoText(info.AppPortName)) DetectAppPort(library);
      if (HasCardInfoText(info.AppPortName) && TestFinalPort(library)) DetectSmartCardReaderById(library);
    }
  }

  // Smart card reader: a card that says it has one but shows none is taken
  // to have none.
  if (steps.smart_card && reader_missing() && !modem_missing() && !final_port_missing()) {
    if (!DetectSmartCardReader(library, true)) {
      XLogLevel(kXLogWarning, "Nw: No smart card reader is detected even though it is exposed from the hw - ignoring it...");
      info.DriverCapabilities &= ~CardDriverCapabilitiesSmartCardReader;
    }
  }

  // WWAN network adapter.
  if (steps.wwan && wwan_missing() && !modem_missing() && !reader_missing() && !final_port_missing()) {
    DetectWwanDevice(library);
  }

  // Diagnostics and secondary application ports.
  if (steps.diagnostics_port && dbg_missing() && !modem_missing() && !final_port_missing() &&
      UsesNameSearch(detection.dbg_port_method)) {
    DetectDefaultDbgPort(library);
  }
  if (steps.secondary_port && app2_missing() && !modem_missing() && !final_port_missing() &&
      UsesNameSearch(detection.app2_port_method)) {
    DetectDefaultApp2Port(library);
  }

  if (modem_missing() || final_port_missing() || reader_missing() || dbg_missing() || app2_missing() ||
      wwan_missing()) {
    return false;
  }

  // Nice to know; neither decides anything.
  DetectBusDevice(library);
  DetectDriverVersion(library);

  SetCardStateIfChanged(CardStateStarted, reason);
  return true;
}

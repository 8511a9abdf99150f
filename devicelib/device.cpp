#include "devicelib/device.h"

#include <cstdio>
#include <string>

#include "carddetect/card_info.h"
#include "carddetect/nw_api.h"
#include "devicelib/connection.h"
#include "devicelib/library.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"
#include "platform/device_notification.h"
#include "platform/device_tree.h"
#include "platform/event.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace GSM {
namespace {

constexpr uint32_t kRecordSize = kNwCardInfoSize5248;
constexpr uint32_t kNoCardInformation = 55;

}  // namespace

Device& Device::Instance() {
  static Device device;
  return device;
}

Device::Device() {
  for (ConnectionKind kind : {ConnectionKind::Ras, ConnectionKind::Ndis, ConnectionKind::BroadcomNdis}) {
    const size_t slot = static_cast<size_t>(kind);
    own_connections_[slot] = MakeConnection(kind, *this);
    connections_[slot].store(own_connections_[slot].get());
  }
  SetUnsolicitedHandler(this);
  virtual_home_networks_[0].networks[0] = 302720;
  virtual_home_networks_[0].sim_homes[0] = 302370;
}

Device::~Device() {
  for (auto& connection : own_connections_) connection.reset();
  if (IsOpen()) Close();
}

// --- Card information -------------------------------------------------------

void Device::StoreCardInfo(const NwCardInfo& info) {
  {
    std::lock_guard lock(info_lock_);
    card_info_ = info;
  }
  card_state_.store(info.State);
  model_.store(info.Model);
  family_.store(info.Family);
  stack_.store(info.Stack);
  wwan_capabilities_.store(info.WwanCapabilities);
  driver_capabilities_.store(info.DriverCapabilities);
}

NwCardInfo Device::CardInfo() const {
  std::lock_guard lock(info_lock_);
  return card_info_;
}

uint32_t Device::Model() const { return GetDeviceState() == DeviceState::NotFound ? 0 : model_.load(); }

bool Device::IsStandardCard() const { return IsStandardModel(Model()); }

bool Device::Is3gCard() const { return Is3gModel(Model()); }

bool Device::IsBroadcomCard() const {
  return GetDeviceState() != DeviceState::NotFound && card_state_.load() == CardStateStarted && stack_.load() == 3;
}

bool Device::IsTechnologySelectionCard() const {
  return GetDeviceState() != DeviceState::NotFound && stack_.load() == 2;
}

bool Device::IsGprsOnlyCard() const {
  if (GetDeviceState() == DeviceState::NotFound) return false;
  const uint32_t wwan = wwan_capabilities_.load() & ~0x4u;
  return card_state_.load() < CardStateStarted || wwan == 0x3;
}

bool Device::PortUsableDuringDataCall() const {
  return GetDeviceState() != DeviceState::NotFound &&
         (driver_capabilities_.load() & CardDriverCapabilitiesMultiplexing) != 0;
}

bool Device::IsNdisCard() const {
  return GetDeviceState() != DeviceState::NotFound &&
         (driver_capabilities_.load() & CardDriverCapabilitiesWwanNdisPort) != 0;
}

bool Device::IsDataCallPollingCard() const {
  return GetDeviceState() != DeviceState::NotFound &&
         (driver_capabilities_.load() & CardDriverCapabilitiesComposite) != 0;
}

bool Device::HasAppPort() const {
  if (GetDeviceState() == DeviceState::NotFound) return false;
  // A standard card's AT port beside the modem is what its multiplexing
  // flag says; without one its modem port takes the commands.
  const uint32_t flag = IsStandardCard() ? CardDriverCapabilitiesMultiplexing : CardDriverCapabilitiesAppPort;
  return (driver_capabilities_.load() & flag) != 0;
}

bool Device::IsAntennaReportCard() const {
  const uint32_t model = Model();
  return model != kCardModelNone && !IsStandardModel(model) && !IsGprsOnlyCard() && HasAntennaReports(model);
}

bool Device::IsOneBasedSimIndexCard() const {
  if (IsStandardCard()) return sim_index_base_.load() != 0;
  return !IsBroadcomCard() && !IsTechnologySelectionCard();
}

ConnectionKind Device::ChooseConnectionKind(const NwCardInfo& info) {
  if (info.State == CardStateStarted && info.Stack == 3) return ConnectionKind::BroadcomNdis;
  if ((info.DriverCapabilities & CardDriverCapabilitiesWwanNdisPort) != 0) return ConnectionKind::Ndis;
  return ConnectionKind::Ras;
}

std::string Device::CardDisplayName(uint32_t model) {
  struct Row {
    uint32_t model;
    const char* name;
  };
  static constexpr Row kNames[] = {
      {0x0100, "Vombel GPRS card"},
      {kCardModel0E00, "Vombel 3G card (0E00)"},
      {kCardModel1000, "Vombel 3G multiplexing card"},
      {0x2100, "Vombel 3G technology selection card"},
      {0x2200, "Vombel 3G stack 3 card"},
      {0x2300, "Vombel 3G composite card"},
      {kCardModelStandard, "Standard 3GPP modem"},
  };
  for (const Row& row : kNames) {
    if (row.model == model) return row.name;
  }
  char text[32];
  std::snprintf(text, sizeof text, "<unknown card 0x%04X>", model);
  return text;
}

// --- Guard ------------------------------------------------------------------

bool Device::Available() const { return GetDeviceState() != DeviceState::NotFound && !GoingDown(); }

bool Device::PortBusy() const {
  return !PortUsableDuringDataCall() && GetConnectionState() != ConnectionState::Disconnected;
}

void Device::Guard(unsigned steps) const {
  if (!LibraryInitialized()) DvRaise(DV_E_NOT_INITIALIZED);
  if (!Available()) DvRaise(DV_E_NO_DEVICE);
  if (GetDeviceState() == DeviceState::Found && (steps & GuardAllowFound) == 0) DvRaise(DV_E_NOT_READY);
  if ((steps & GuardSkipPortBusy) == 0 && PortBusy()) DvRaise(DV_E_PORT_BUSY);
}

// --- Card detection -----------------------------------------------------------

void Device::UpdateCardState(uint32_t reason) {
  if (!LibraryInitialized()) return;
  NwCardInfo info{};
  info.Size = kRecordSize;
  const uint32_t rc = NwGetCardInfo(&info);
  bool take_up = false;
  bool hand_over = false;
  if (rc != 0) {
    info = NwCardInfo{};
    info.Size = kRecordSize;
    if (rc != kNoCardInformation) {
      XLogLevel(kXLogError, "Dv: Device::UpdateCardState(): NwGetCardInfo failed with 0x%x", rc);
    }
  } else {
    // A standard card has no application-port flag: the port card detection
    // named (its AT port, or its modem port when it has only that one) is
    // where its commands go.
    const bool app_port = (info.DriverCapabilities & CardDriverCapabilitiesAppPort) != 0 ||
                          (IsStandardModel(info.Model) && !CardInfoText(info.AppPortName).empty());
    if (info.State == CardStateStarted) {
      take_up = app_port;
      if (!app_port) {
        XLogLevel(kXLogWarning,
                  "Dv: There is a device detected but it does not have an application port, ignoring it...");
      }
    } else if (info.State == CardStateSuspended) {
      // Card detection clears the record when another program asks for the
      // card, so a suspended record never shows an application port; the
      // card must be handed over all the same, or the other program waits
      // for it for ever.
      hand_over = true;
    }
  }

  const bool notify_all = reason == NwEventReasonListenerRegistered || reason == NwEventReasonWakeUp;
  if (take_up) {
    if (GetDeviceState() == DeviceState::NotFound && !initialising_) StoreCardInfo(info);
    Init(notify_all);
  } else if (notify_all && GetDeviceState() == DeviceState::NotFound) {
    StoreCardInfo(info);
    ResetAllStates(true, false);
  } else {
    Exit(reason == NwEventReasonStandby);
    StoreCardInfo(info);
  }
  if (hand_over) NwReleaseExclusiveAccess();
}

DvResult Device::Init(bool notify_all) {
  if (GetDeviceState() != DeviceState::NotFound) {
    XLogLevel(kXLogTrace, "Dv: Device::Init(): Card has already been initialized, ignoring init request..");
    return 1;
  }
  if (initialising_) {
    XLogLevel(kXLogTrace, "Dv: Device::Init(): Card is currently initializing, ignoring init request..");
    return 1;
  }
  XLogLevel(kXLogTrace, "Dv: Device::Init request arrived");
  initialising_ = true;

  const NwCardInfo info = CardInfo();
  DvResult failure = DV_S_OK;
  try {
    OpenApplicationPort();
  } catch (...) {
    failure = DvCodeOfCurrentException();
    XLogLevel(kXLogError, "Dv: Device::Init(): Application port could not be opened (0x%x)", failure);
  }

  if (failure == DV_S_OK) {
    const ConnectionKind kind = ChooseConnectionKind(info);
    current_connection_.store(kind);
    if (Connection* connection = CurrentConnection()) {
      const DvResult rc = connection->Open();
      if (DvFailed(rc)) {
        XLogLevel(kXLogError, "Dv: Device::Init(): Could not initialize data device (0x%x)", rc);
        Close();
        failure = rc;
      }
    }
  }

  if (failure != DV_S_OK) {
    initialising_ = false;
    if (notify_all) ResetAllStates(true, false);
    return failure;
  }

  XLog("Dv: ********** CARD DETECTED: %s **********", CardDisplayName(info.Model).c_str());
  ResetAllStates(notify_all, true);
  initialising_ = false;
  return 1;
}

void Device::OpenApplicationPort() {
  const NwCardInfo info = CardInfo();
  const std::string path = platform::CurrentDeviceTree().DevicePath(CardInfoText(info.AppPortName));
  Open(path, info.AppPortType == 0);
}

DvResult Device::Exit(bool release) {
  if (GetDeviceState() == DeviceState::NotFound) {
    XLogLevel(kXLogTrace, "Dv: Device::Exit(): Card is not initialized, ignoring exit request..");
    return 1;
  }
  if (exiting_.load()) {
    XLogLevel(kXLogTrace, "Dv: Device::Exit(): Card is currently uninitializing, ignoring exit request..");
    return 1;
  }
  XLogLevel(kXLogTrace, "Dv: Device::Exit request arrived");
  exiting_.store(true);
  try {
    if (Connection* connection = CurrentConnection()) connection->Close(release);
  } catch (...) {
  }
  try {
    ResetAllStates(false, false);
  } catch (...) {
  }
  Close();
  exiting_.store(false);
  return 1;
}

void Device::OnPortError(uint32_t code) {
  (void)code;
  SetGoingDown(true);
  XLogLevel(kXLogTrace, "Dv: Device is going down...");
  AbortAnswerQueue();
  PostToCommunicator(WM_DEVICE_EXIT);
}

void Device::RegisterRemovalNotification() {
  UnregisterRemovalNotification();
  platform::HWND window = CommunicatorWindow();
  if (window == nullptr) return;
  removal_token_.reset(platform::CreateEvent(true, false));
  if (!removal_token_) {
    XLogLevel(kXLogError, "Dv: Could not register device notification for the port (%u)", platform::GetLastError());
    return;
  }
  platform::HDEVNOTIFY notification = platform::RegisterDeviceNotificationForHandle(window, removal_token_.get());
  if (notification == nullptr) {
    XLogLevel(kXLogError, "Dv: Could not register device notification for the port (%u)", platform::GetLastError());
    removal_token_.reset();
    return;
  }
  removal_notification_ = notification;
}

void Device::UnregisterRemovalNotification() {
  if (removal_notification_ != nullptr) {
    platform::UnregisterDeviceNotification(static_cast<platform::HDEVNOTIFY>(removal_notification_));
    removal_notification_ = nullptr;
  }
  removal_token_.reset();
}

// --- Resetting ---------------------------------------------------------------

void Device::ResetCommandCaches() {
  post_pin_done_.store(false);
  user_disconnect_.store(false);
  pdp_context_active_.store(false);
}

void Device::ResetAllStates(bool notify_all, bool found) {
  SetCallerNumber(u"");
  voice_capable_.store(false);
  technology_selection_.store(false);
  wcdma_suppressed_.store(false);
  removability_.store(0);
  home_network_code_.store(0);
  {
    std::lock_guard lock(text_lock_);
    imsi_.clear();
  }
  ResetCommandCaches();
  radio_technology_.store(0);
  gprs_stat_.store(0);
  eps_stat_.store(0);
  sim_index_base_.store(1);
  standard_retry_counters_.store(false);

  const bool silent = notify_all;
  SetPsAttachState(0);
  SetCsState(0, silent);
  SetPsState(0, silent);
  SetEdgeState(0, silent);
  SetHsdpaState(0, silent);
  SetConnectionState(ConnectionState::Disconnected, silent);
  // The voice-capable flag is already clear, which would make the setter
  // ignore the reset and leave a stale call state behind.
  StoreVoiceState(VoiceState::NotReady, silent);
  SetSimState(0, silent, false);
  SetIdleText(u"", silent);
  SetDeviceState(found ? DeviceState::Found : DeviceState::NotFound, silent);

  if (ps_attach_mode_.exchange(PsAttachModeUnknown) != PsAttachModeUnknown) {
    XLogLevel(kXLogTrace, "Dv: PS attach mode changed to %s", PsAttachModeName(PsAttachModeUnknown));
  }
  SetAccessTechnology(PacketSwitchedTechnologyNone);
  Set2GCellType(0);
  Set3GCellType(0);
  // A USSD request of the card that went has nobody left to answer it.
  if (OnCommunicatorThread() && LibraryTimerRunning(TimerUssdAnswer)) StopLibraryTimer(TimerUssdAnswer);
  if (OnCommunicatorThread() && LibraryTimerRunning(TimerRadioPolling)) StopLibraryTimer(TimerRadioPolling);

  if (notify_all) {
    static constexpr uint32_t kFullPicture[] = {
        EventPsNetworkStateChanged,    EventEdgeNetworkStateChanged, EventHsdpaNetworkStateChanged,
        EventSignalStrengthChanged,    EventWcdmaSignalStrengthChanged, EventConnectionStateChanged,
        EventVoiceStateChanged,        EventSimStateChanged,         EventIdleTextChanged,
        EventDeviceStateChanged,
    };
    for (uint32_t event : kFullPicture) RaiseEvent(event, 0);
  }
}

// --- Data connections ------------------------------------------------------------------

void Device::SetConnection(ConnectionKind kind, Connection* connection) {
  const size_t slot = static_cast<size_t>(kind);
  connections_[slot].store(connection ? connection : own_connections_[slot].get());
}

Connection* Device::ConnectionOf(ConnectionKind kind) const {
  return connections_[static_cast<size_t>(kind)].load();
}

Connection* Device::CurrentConnection() const { return ConnectionOf(current_connection_.load()); }

void Device::OnConnectionWork(ConnectionKind kind, uint32_t work) {
  if (Connection* connection = ConnectionOf(kind)) connection->OnPostedWork(work);
}

void Device::SetTemporaryMessageHandler(TemporaryMessageHandler handler) {
  std::lock_guard lock(temporary_handler_lock_);
  temporary_handler_ = std::move(handler);
}

}  // namespace GSM

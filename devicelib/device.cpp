#include "devicelib/device.h"

#include <cstdio>
#include <string>

#include "carddetect/card_info.h"
#include "carddetect/nw_api.h"
#include "devicelib/device_queries.h"
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


const char* RegisteredWord(int value) { return value != 0 ? "registered" : "not registered"; }

}  // namespace

Device& Device::Instance() {
  static Device device;
  return device;
}

Device::Device() {
  SetUnsolicitedHandler(this);
  virtual_home_networks_[0].networks[0] = 302720;
  virtual_home_networks_[0].sim_homes[0] = 302370;
}

Device::~Device() {
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
  return GetDeviceState() != DeviceState::NotFound &&
         (driver_capabilities_.load() & CardDriverCapabilitiesAppPort) != 0;
}

bool Device::IsAntennaReportCard() const {
  const uint32_t model = Model();
  return model != kCardModelNone && !IsGprsOnlyCard() && HasAntennaReports(model);
}

bool Device::IsOneBasedSimIndexCard() const {
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
    const bool app_port = (info.DriverCapabilities & CardDriverCapabilitiesAppPort) != 0;
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
    const std::string path = platform::CurrentDeviceTree().DevicePath(CardInfoText(info.AppPortName));
    Open(path, info.AppPortType == 0);
  } catch (...) {
    failure = DvCodeOfCurrentException();
    XLogLevel(kXLogError, "Dv: Device::Init(): Application port could not be opened (0x%x)", failure);
  }

  if (failure == DV_S_OK) {
    const ConnectionKind kind = ChooseConnectionKind(info);
    current_connection_.store(kind);
    if (DataConnection* connection = CurrentConnection()) {
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
    if (DataConnection* connection = CurrentConnection()) connection->Close(release);
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

// --- Setters -------------------------------------------------------------------

void Device::RaiseIfNotSilent(bool silent, uint32_t event) {
  if (!silent) RaiseEvent(event, 0);
}

bool Device::OnClientThread() const { return CommunicatorWindow() == nullptr || OnCommunicatorThread(); }

void Device::SetDeviceState(int value, bool silent) {
  if (device_state_.exchange(value) == value) return;
  XLogLevel(kXLogTrace, "Dv: Device state changed to %s", DeviceStateName(value));
  RaiseIfNotSilent(silent, EventDeviceStateChanged);
}

void Device::SetCsState(int value, bool silent) {
  if (cs_state_.exchange(value) == value) return;
  XLogLevel(kXLogTrace, "Dv: Circuit switched network state changed to %s", NetworkStateName(value));
  RaiseIfNotSilent(silent, EventCsNetworkStateChanged);
  AfterRegistrationChange(IsRegistered(value), IsRegistered(GetPsState()), true);
  DerivePsNetworkState();
}

void Device::SetPsState(int value, bool silent) {
  if (ps_state_.exchange(value) == value) return;
  XLogLevel(kXLogTrace, "Dv: Packet switched network state changed to %s", NetworkStateName(value));
  RaiseIfNotSilent(silent, EventPsNetworkStateChanged);
  AfterRegistrationChange(IsRegistered(value), IsRegistered(GetCsState()), false);
}

void Device::AfterRegistrationChange(bool registered, bool other_registered, bool clears_edge) {
  if (registered && !other_registered) {
    // Newly on a network: the cached values are stale; the client asks.
    SetSignal(-1, -1);
    SetWcdmaSignal(-1);
    if (Is3gCard()) PostToCommunicator(WM_EDGE_REFRESH);
  } else if (!registered && !other_registered) {
    SetSignal(0, 0);
    SetWcdmaSignal(0);
    if (clears_edge && Is3gCard()) SetEdgeState(0);
  }
}

void Device::SetPsAttachState(int value) {
  if (ps_attach_state_.load() == value) return;
  value = ApplyVirtualHomeNetworkRule(value);
  if (ps_attach_state_.exchange(value) == value) return;
  XLogLevel(kXLogTrace, "Dv: Packet switched attach state changed to %s", NetworkStateName(value));
  DerivePsNetworkState();
}

void Device::SetEdgeState(int value, bool silent) {
  if (edge_state_.exchange(value) == value) return;
  XLogLevel(kXLogTrace, "Dv: EDGE network state changed to %s", RegisteredWord(value));
  RaiseIfNotSilent(silent, EventEdgeNetworkStateChanged);
}

void Device::SetHsdpaState(int value, bool silent) {
  if (hsdpa_state_.exchange(value) == value) return;
  XLogLevel(kXLogTrace, "Dv: HSDPA network state changed to %s", RegisteredWord(value));
  RaiseIfNotSilent(silent, EventHsdpaNetworkStateChanged);
}

int Device::GetConnectionState() const {
  std::lock_guard lock(connection_lock_);
  return connection_state_;
}

void Device::SetConnectionState(int value, bool silent) {
  {
    std::lock_guard lock(connection_lock_);
    if (connection_state_ == value) return;
    connection_state_ = value;
    XLogLevel(kXLogTrace, "Dv: Connection state changed to %s", ConnectionStateName(value));
    if (value == ConnectionState::Disconnected) user_disconnect_.store(false);
  }
  RaiseIfNotSilent(silent, EventConnectionStateChanged);
  // Timers belong to the window's thread: the dial-up and NDIS threads post
  // the work there.
  if (OnClientThread()) {
    OnConnectionStateChanged(value);
  } else {
    PostToCommunicator(WM_CONNECTION_STATE, static_cast<platform::WPARAM>(value));
  }
}

void Device::OnConnectionStateChanged(int value) {
  if (value == ConnectionState::Disconnected) {
    if (LibraryTimerRunning(TimerHsdpaPolling)) {
      StopLibraryTimer(TimerHsdpaPolling);
      SetHsdpaState(0);
    }
    if (LibraryTimerRunning(TimerDataCallPolling)) StopLibraryTimer(TimerDataCallPolling);
  } else if (value == ConnectionState::Connected && GetConnectionState() == ConnectionState::Connected &&
             Is3gCard() && Model() != kCardModel0E00) {
    PostToCommunicator(WM_HSDPA_POLL);
    const DvResult rc = StartLibraryTimer(TimerHsdpaPolling);
    if (DvFailed(rc)) {
      XLogLevel(kXLogError, "Dv: Device::SetConnectionState(): StartHsdpaPolling() failed with 0x%x", rc);
    }
  }
}

void Device::SetSimState(int value, bool silent, bool keep_polling) {
  if (sim_state_.exchange(value) != value) {
    XLogLevel(kXLogTrace, "Dv: SIM state has been changed to %s", value != 0 ? "initialized" : "uninitialized");
    RaiseIfNotSilent(silent, EventSimStateChanged);
  }
  // Polling starts for every uninitialised SIM, changed or not: after a PIN
  // entry the state is already 0 and the SIM must still be watched.
  if (value == 0 && keep_polling) {
    const DvResult rc = StartLibraryTimer(TimerSimPolling);
    if (DvFailed(rc) && rc != DV_E_NOT_INITIALIZED) {
      XLogLevel(kXLogError, "Dv: Device::SetSimState(): StartSimPolling() failed with 0x%x", rc);
    }
  } else if (LibraryTimerRunning(TimerSimPolling)) {
    StopLibraryTimer(TimerSimPolling);
  }
}

void Device::StoreVoiceState(int value, bool silent) {
  if (voice_state_.exchange(value) == value) return;
  XLogLevel(kXLogTrace, "Dv: Voice state changed to %s", VoiceStateName(value));
  RaiseIfNotSilent(silent, EventVoiceStateChanged);
}

void Device::SetVoiceState(int value, bool silent) {
  if (!voice_capable_.load()) return;
  if (value == VoiceState::Disconnected && !IsRegistered(GetCsState())) value = VoiceState::NotReady;
  StoreVoiceState(value, silent);
}

void Device::SetSignal(int signal, int extended, bool silent) {
  if (!CsOrPsRegistered()) {
    signal = 0;
    extended = 0;
  }
  const bool signal_changed = signal_.exchange(signal) != signal;
  const bool extended_changed = extended_signal_.exchange(extended) != extended;
  if (signal_changed || extended_changed) RaiseIfNotSilent(silent, EventSignalStrengthChanged);
}

void Device::SetWcdmaSignal(int value, bool silent) {
  if (!IsRegistered(GetPsState())) value = 0;
  const bool suppressed = wcdma_suppressed_.exchange(false);
  if (wcdma_signal_.exchange(value) == value) return;
  if (!suppressed) RaiseIfNotSilent(silent, EventWcdmaSignalStrengthChanged);
}

void Device::SetIdleText(std::u16string_view text, bool silent) {
  {
    std::lock_guard lock(text_lock_);
    if (idle_text_ == text) return;
    idle_text_.assign(text);
  }
  RaiseIfNotSilent(silent, EventIdleTextChanged);
}

std::u16string Device::GetIdleText() const {
  std::lock_guard lock(text_lock_);
  return idle_text_;
}

void Device::SetCallerNumber(std::u16string_view number) {
  std::lock_guard lock(text_lock_);
  caller_number_.assign(number);
}

std::u16string Device::GetCallerNumber() const {
  std::lock_guard lock(text_lock_);
  return caller_number_;
}

void Device::SetImsi(std::u16string_view imsi) {
  {
    std::lock_guard lock(text_lock_);
    imsi_.assign(imsi);
  }
  uint32_t code = 0;
  if (imsi.size() > 5) {
    for (size_t i = 0; i < 5; ++i) {
      if (imsi[i] < u'0' || imsi[i] > u'9') {
        code = 0;
        break;
      }
      code = code * 10 + static_cast<uint32_t>(imsi[i] - u'0');
    }
  }
  home_network_code_.store(code);
}

void Device::SetAccessTechnology(int value, bool silent) {
  (void)silent;
  if (access_technology_.exchange(value) == value) return;
  XLogLevel(kXLogTrace, "Dv: Access technology has been set to %s", AccessTechnologyName(value));
  DerivePsNetworkState();
}

void Device::Set2GCellType(int value, bool silent) {
  (void)silent;
  if (cell_type_2g_.exchange(value) == value) return;
  XLogLevel(kXLogTrace, "Dv: 2G cell type has changed to %d", value);
  EdgeRefresh();
  DerivePsNetworkState();
}

void Device::Set3GCellType(int value, bool silent) {
  (void)silent;
  if (cell_type_3g_.exchange(value) == value) return;
  XLogLevel(kXLogTrace, "Dv: 3G cell type has changed to %d", value);
  DerivePsNetworkState();
}

// --- Derived states and rules ----------------------------------------------------

void Device::EdgeRefresh() {
  if (!Is3gCard()) return;
  SetEdgeState(CsOrPsRegistered() && Get2GCellType() == 3 ? 1 : 0);
}

void Device::DerivePsNetworkState() {
  // The derivation starts and stops the cell-type timer, which only the
  // window's thread may do; it runs there alone, so it never races itself.
  if (!OnClientThread()) {
    PostToCommunicator(WM_DERIVE_PS_STATE);
    return;
  }
  DeriveOnClientThread();
}

void Device::DeriveOnClientThread() {
  const int cs_state = GetCsState();
  const bool cs = IsRegistered(cs_state);
  const int attach = GetPsAttachState();
  const bool attached = IsRegistered(attach);
  const int technology = GetAccessTechnology();
  if (!cs || attached || technology != PacketSwitchedTechnologyUmts) {
    if (LibraryTimerRunning(TimerCellTypePolling)) StopLibraryTimer(TimerCellTypePolling);
    if (attached) {
      SetPsState(attach == NetworkState::RegisteredRoaming ? NetworkState::RegisteredRoaming
                                                           : NetworkState::Registered);
      return;
    }
  } else if (!LibraryTimerRunning(TimerCellTypePolling)) {
    PostToCommunicator(WM_CELL_TYPE_POLL);
    StartLibraryTimer(TimerCellTypePolling);
  }
  const bool packet_cell = (technology == PacketSwitchedTechnologyGprs && Get2GCellType() > 1) ||
                           (technology == PacketSwitchedTechnologyUmts && Get3GCellType() > 0);
  if (cs && packet_cell) {
    SetPsState(cs_state == NetworkState::RegisteredRoaming ? NetworkState::RegisteredRoaming
                                                           : NetworkState::Registered);
  } else {
    SetPsState(NetworkState::NotRegistered);
  }
}

bool Device::IsVirtualHomeNetwork(uint32_t network, std::u16string_view imsi) const {
  if (imsi.empty()) return false;
  for (const VirtualHomeNetwork& entry : virtual_home_networks_) {
    bool network_listed = false;
    for (uint32_t code : entry.networks) {
      if (code == 0) break;
      if (code == network) network_listed = true;
    }
    if (!network_listed) continue;
    for (uint32_t code : entry.sim_homes) {
      if (code == 0) break;
      // MCC and MNC together lead the IMSI; the MNC may have two or three
      // digits, so the SIM's home code is matched as a prefix.
      if (imsi.starts_with(platform::Utf8ToUtf16(std::to_string(code)))) return true;
    }
  }
  return false;
}

int Device::ApplyVirtualHomeNetworkRule(int stat) {
  if (stat != NetworkState::RegisteredRoaming) return stat;
  std::u16string imsi;
  {
    std::lock_guard lock(text_lock_);
    imsi = imsi_;
  }
  if (imsi.empty()) return stat;
  uint32_t network = 0;
  if (DvFailed(QueryNumericOperator(network))) return stat;
  if (!IsVirtualHomeNetwork(network, imsi)) return stat;
  XLogLevel(kXLogTrace, "Dv: Network and SIM pair seems to belong to a virtual home network, hiding roaming...");
  return NetworkState::Registered;
}

// The registration and PDP-context messages may still be queued on the
// window when the card has been let go; they belong to that card.
void Device::OnCsRegistration(int stat) {
  if (!Available()) return;
  SetCsState(ApplyVirtualHomeNetworkRule(stat));
  const int voice = GetVoiceState();
  if (voice == VoiceState::NotReady || voice == VoiceState::Disconnected) {
    SetVoiceState(IsRegistered(GetCsState()) ? VoiceState::Disconnected : VoiceState::NotReady);
  }
}

void Device::OnPsRegistration(int stat) {
  if (Available()) SetPsAttachState(stat);
}

void Device::OnPdpContext(int context, bool active) {
  (void)context;
  if (!Available()) return;
  XLogLevel(kXLogTrace, "Dv: PDP context got %s", active ? "activated" : "deactivated");
  pdp_context_active_.store(active);
}

// --- Polling ------------------------------------------------------------------------

void Device::OnSimPoll() {
  int initialised = 0;
  const DvResult rc = QuerySimStatus(initialised);
  if (DvFailed(rc)) {
    if (rc != DV_E_PORT_BUSY) {
      XLogLevel(kXLogError, "Dv: Querying SIM state failed with 0x%x during SIM polling", rc);
    }
    return;
  }
  if (initialised == 0) return;
  SetSimState(1);
  // What could not be done while the SIM was busy: the IMSI for the
  // virtual-home-network rule, and the message set-up after the PIN.
  bool imsi_known;
  {
    std::lock_guard lock(text_lock_);
    imsi_known = !imsi_.empty();
  }
  if (!imsi_known) {
    std::u16string imsi;
    if (!DvFailed(ReadRawImsi(imsi))) SetImsi(imsi);
  }
  if (!PostPinOperationDone()) {
    const DvResult post = RunPostPinOperation();
    if (DvFailed(post)) XLogLevel(kXLogError, "Dv: Post-PIN operation failed with 0x%x", post);
  }
}

void Device::OnHsdpaPoll() {
  if (!Is3gCard() || IsGprsOnlyCard()) return;
  int state = 0;
  const DvResult rc = QueryHsdpaState(state);
  if (DvFailed(rc)) {
    XLogLevel(kXLogError, "Dv: Querying HSDPA network state failed with 0x%x", rc);
    return;
  }
  SetHsdpaState(state);
}

void Device::OnDataCallPoll() {
  if (CurrentConnectionKind() != ConnectionKind::Ndis || !IsDataCallPollingCard()) return;
  if (DataConnection* connection = CurrentConnection()) connection->PollDataCallState();
}

void Device::OnCellTypePoll() {
  if (!Is3gCard() || IsGprsOnlyCard()) return;
  int type = 0;
  const DvResult rc = QueryWcdmaCellType(type);
  if (DvFailed(rc)) {
    XLogLevel(kXLogError, "Dv: Querying WCDMA cell type failed with 0x%x", rc);
    return;
  }
  Set3GCellType(type);
}

// --- Data connections ------------------------------------------------------------------

void Device::SetConnection(ConnectionKind kind, DataConnection* connection) {
  connections_[static_cast<size_t>(kind)] = connection;
}

DataConnection* Device::CurrentConnection() const {
  return connections_[static_cast<size_t>(current_connection_.load())];
}

void Device::SetTemporaryMessageHandler(TemporaryMessageHandler handler) {
  std::lock_guard lock(temporary_handler_lock_);
  temporary_handler_ = std::move(handler);
}

}  // namespace GSM

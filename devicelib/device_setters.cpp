// The device's state setters and the states derived from them: each setter
// compares, stores, logs and raises its one event, then does the follow-ups
// its state calls for.
#include <string>

#include "devicelib/connection.h"
#include "devicelib/device.h"
#include "devicelib/device_queries.h"
#include "devicelib/library.h"
#include "devicelib/standard_answers.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"
#include "platform/text.h"

namespace GSM {
namespace {

const char* RegisteredWord(int value) { return value != 0 ? "registered" : "not registered"; }

// How much a registration stat says the card is on a network: registered
// first, then searching, denied, unknown, not registered.
int RegistrationRank(int stat) {
  switch (stat) {
    case NetworkState::Registered:
    case NetworkState::RegisteredRoaming:
      return 4;
    case NetworkState::Registering:
      return 3;
    case NetworkState::RegistrationDenied:
      return 2;
    case NetworkState::Unknown:
      return 1;
    default:
      return 0;
  }
}


}  // namespace

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
  if (IsStandardCard()) RefreshStandardTechnologyStates();
}

// A standard card's EDGE and HSDPA states are its radio's, while it is on a
// network.
void Device::RefreshStandardTechnologyStates() {
  const auto radio = static_cast<RadioTechnology>(radio_technology_.load());
  const bool registered = CsOrPsRegistered();
  SetHsdpaState(registered && IsHspaTechnology(radio) ? 1 : 0);
  SetEdgeState(registered && radio == RadioTechnologyEdge ? 1 : 0);
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
    // Under the lock, so that what the connection forgets with a state
    // cannot overtake the next connect.
    if (Connection* connection = CurrentConnection()) connection->OnConnectionStateSet(value);
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
             Is3gCard() && Model() != kCardModel0E00 && !IsStandardCard()) {
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

int Device::GetRadioTechnology() const {
  return WithPacketService(static_cast<RadioTechnology>(radio_technology_.load()), IsRegistered(GetPsState()));
}

void Device::SetRadioTechnologyOfAct(int act) {
  if (act < 0 || !IsStandardCard()) return;
  const RadioTechnology technology = RadioTechnologyOfAct(act);
  if (radio_technology_.exchange(technology) == technology) return;
  XLogLevel(kXLogTrace, "Dv: Radio technology changed to %s", RadioTechnologyName(technology));
  SetAccessTechnology(AccessTechnologyOfRadio(technology));
  RefreshStandardTechnologyStates();
  // Clients read the network type together with the network's name, which
  // they ask for again on a registration event.
  if (IsRegistered(GetCsState())) RaiseEvent(EventCsNetworkStateChanged, 0);
  if (IsRegistered(GetPsState())) RaiseEvent(EventPsNetworkStateChanged, 0);
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
  if (IsStandardCard()) {
    RefreshStandardTechnologyStates();
    return;
  }
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
  if (IsStandardCard()) {
    DeriveStandardStates();
    return;
  }
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

// A standard card reports its packet registration itself (+CGREG, +CEREG)
// and has no cell types to poll. It reports neither its signal nor every
// change of radio, so the radio poll runs while it is on a network.
void Device::DeriveStandardStates() {
  if (LibraryTimerRunning(TimerCellTypePolling)) StopLibraryTimer(TimerCellTypePolling);
  const int attach = GetPsAttachState();
  SetPsState(IsRegistered(attach) ? attach : NetworkState::NotRegistered);
  const bool registered = CsOrPsRegistered();
  if (registered && !LibraryTimerRunning(TimerRadioPolling)) {
    PostToCommunicator(WM_RADIO_POLL);
    const DvResult rc = StartLibraryTimer(TimerRadioPolling);
    if (DvFailed(rc) && rc != DV_E_NOT_INITIALIZED) {
      XLogLevel(kXLogError, "Dv: Starting the radio polling failed with 0x%x", rc);
    }
  } else if (!registered && LibraryTimerRunning(TimerRadioPolling)) {
    StopLibraryTimer(TimerRadioPolling);
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

void Device::OnPsRegistration(int stat, bool eps) {
  if (!Available()) return;
  if (IsStandardCard()) {
    (eps ? eps_stat_ : gprs_stat_).store(stat);
    const int gprs = gprs_stat_.load();
    const int lte = eps_stat_.load();
    stat = RegistrationRank(lte) > RegistrationRank(gprs) ? lte : gprs;
  }
  SetPsAttachState(stat);
}

void Device::OnPdpContext(int context, bool active) {
  (void)context;
  if (!Available()) return;
  XLogLevel(kXLogTrace, "Dv: PDP context got %s", active ? "activated" : "deactivated");
  pdp_context_active_.store(active);
}

}  // namespace GSM

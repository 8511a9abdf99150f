// The library's model of the one card it serves: the card information record
// from card detection, the states the client asks for, and the choice of
// data-connection object. The device takes the card up (Init) and releases
// it (Exit) as card detection reports it, and every state change goes
// through one setter that logs it and raises one client event.
//
// Threads. The client thread (the one that initialised the library and runs
// its communicator window) runs every command, every timer and every
// setter that may send a command or touch a timer. The receiver thread
// (unsolicited results) calls only the setters that send nothing: voice,
// signal, WCDMA signal, idle text, access technology, cell types and EDGE.
// The connection threads set the connection state. Work a setter would do
// on another thread that belongs to the window (starting or stopping a
// timer, deriving the PS network state) is posted to the window and done
// there. State fields are atomics, so readers on any thread see whole
// values; each setter compares and stores in one exchange.
#pragma once

#include <array>
#include <memory>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "carddetect/nw_card_info.h"
#include "devicelib/device_states.h"
#include "devicelib/modem.h"
#include "devicelib/result_codes.h"
#include "devicelib/unsolicited.h"
#include "platform/handle.h"

namespace GSM {

class Connection;

// Networks whose SIMs from another code are at home there: roaming on such a
// pair is shown as home. Codes are MCC and MNC written as one decimal number.
struct VirtualHomeNetwork {
  static constexpr size_t kMaxCodes = 10;
  std::array<uint32_t, kMaxCodes> networks{};   // a 0 ends the list early
  std::array<uint32_t, kMaxCodes> sim_homes{};  // likewise
};
inline constexpr size_t kMaxVirtualHomeNetworks = 10;

// Flags of Device::Guard: which steps of the standard guard a call applies.
enum GuardStep : unsigned {
  // Device state Found is accepted (calls made during initialisation).
  GuardAllowFound = 1u << 0,
  // Skip the port-busy step (a data call on a card that cannot multiplex).
  GuardSkipPortBusy = 1u << 1,
};

class Device final : public Modem, public Unsolicited {
 public:
  // The one device of the process.
  static Device& Instance();

  Device();
  ~Device() override;

  // --- Card detection ---------------------------------------------------

  // Reacts to a card-detection event (an NwEventReason, or any number).
  void UpdateCardState(uint32_t reason);
  // Takes up the card card detection reports. 1 when it did nothing or
  // succeeded, else the failure.
  DvResult Init(bool notify_all);
  // Releases the card. Returns 1.
  DvResult Exit(bool release);
  // Another handle of the card (its network driver's control device)
  // found the card gone: the same road as a port error.
  void OnLostDevice(uint32_t code) { OnPortError(code); }
  // Opens the application port of the card card detection reported (also
  // again, after a dial-up call held it). Raises the failure.
  void OpenApplicationPort();
  // The record card detection last reported.
  NwCardInfo CardInfo() const;

  // --- The standard guard -------------------------------------------------

  // Raises 0x84000001 (library not initialised), 0x84000008 (no device or
  // going down), 0x84000009 (not yet initialised, unless GuardAllowFound)
  // and 0x84000014 (a data call holds the port of a card that cannot
  // multiplex, unless GuardSkipPortBusy), in that order.
  void Guard(unsigned steps = 0) const;
  // Device present (not NotFound) and not going down.
  bool Available() const;
  bool GoingDown() const { return exiting_.load() || IsGoingDown(); }
  // A data call occupies the application port of a card that cannot
  // multiplex.
  bool PortBusy() const;

  // --- Card predicates (all false while the device state is NotFound) -----
  //
  // A standard card (IsStandardCard: model kCardModelStandard, family and
  // stack 0, no WWAN capabilities) knows only the 3GPP TS 27.007/27.005
  // commands. For it: Is3gCard true (it reports UMTS and later radios);
  // IsGprsOnlyCard, IsBroadcomCard, IsTechnologySelectionCard, IsNdisCard
  // and IsDataCallPollingCard false (its data call is a dial-up link over
  // pppd, ConnectionKind::Ras); PortUsableDuringDataCall and HasAppPort only
  // with an AT port beside the modem (CardDriverCapabilitiesMultiplexing),
  // else the modem port is its one port; IsAntennaReportCard false;
  // IsOneBasedSimIndexCard as its "+CMGD=?" index list says (from 1 unless
  // the card lists index 0); retry counters only when it knows "+CPINR".

  uint32_t Model() const;
  bool IsStandardCard() const;
  bool Is3gCard() const;
  bool IsBroadcomCard() const;
  bool IsTechnologySelectionCard() const;
  bool IsGprsOnlyCard() const;
  bool PortUsableDuringDataCall() const;
  bool IsNdisCard() const;
  bool IsDataCallPollingCard() const;
  bool HasAppPort() const;
  bool IsAntennaReportCard() const;
  // SMS storage indices count from 1 on this card.
  bool IsOneBasedSimIndexCard() const;
  // What a standard card said of itself during start-up: the lowest index
  // of its message storage, and whether it answers "AT+CPINR".
  void SetSimIndexBase(int base) { sim_index_base_.store(base); }
  void SetStandardRetryCounters(bool known) { standard_retry_counters_.store(known); }
  bool StandardRetryCounters() const { return standard_retry_counters_.load(); }

  // --- States -------------------------------------------------------------

  int GetDeviceState() const { return device_state_.load(); }
  int GetCsState() const { return cs_state_.load(); }
  int GetPsState() const { return ps_state_.load(); }
  int GetPsAttachState() const { return ps_attach_state_.load(); }
  int GetEdgeState() const { return edge_state_.load(); }
  int GetHsdpaState() const { return hsdpa_state_.load(); }
  int GetConnectionState() const;
  int GetSimState() const { return sim_state_.load(); }
  int GetVoiceState() const { return voice_state_.load(); }
  int GetSignal() const { return signal_.load(); }
  int GetExtendedSignal() const { return extended_signal_.load(); }
  int GetWcdmaSignal() const { return wcdma_signal_.load(); }
  std::u16string GetIdleText() const;
  std::u16string GetCallerNumber() const;
  int GetAccessTechnology() const { return access_technology_.load(); }
  // A standard card's radio technology (RadioTechnology of
  // standard_answers.h), GSM shown as GPRS while packet registered;
  // RadioTechnologyUnknown for the database cards.
  int GetRadioTechnology() const;
  int Get2GCellType() const { return cell_type_2g_.load(); }
  int Get3GCellType() const { return cell_type_3g_.load(); }
  int GetPsAttachMode() const { return ps_attach_mode_.load(); }
  bool VoiceCapable() const { return voice_capable_.load(); }
  bool TechnologySelectionSupported() const { return technology_selection_.load(); }
  int RemovabilityType() const { return removability_.load(); }
  uint32_t HomeNetworkCode() const { return home_network_code_.load(); }
  bool PdpContextActive() const { return pdp_context_active_.load(); }
  bool CsOrPsRegistered() const { return IsRegistered(GetCsState()) || IsRegistered(GetPsState()); }

  // Setters: compare, store, log, raise the event unless silent.
  void SetDeviceState(int value, bool silent = false);
  void SetCsState(int value, bool silent = false);
  void SetPsState(int value, bool silent = false);
  void SetPsAttachState(int value);
  void SetEdgeState(int value, bool silent = false);
  void SetHsdpaState(int value, bool silent = false);
  void SetConnectionState(int value, bool silent = false);
  // A SIM that is not initialised starts SIM polling when `keep_polling`
  // (also when the state did not change: the poll must run after every PIN
  // entry); `keep_polling` false stops it.
  void SetSimState(int value, bool silent = false, bool keep_polling = true);
  void SetVoiceState(int value, bool silent = false);
  void SetSignal(int signal, int extended, bool silent = false);
  void SetWcdmaSignal(int value, bool silent = false);
  void SetIdleText(std::u16string_view text, bool silent = false);
  void SetAccessTechnology(int value, bool silent = false);
  void Set2GCellType(int value, bool silent = false);
  void Set3GCellType(int value, bool silent = false);
  void SetCallerNumber(std::u16string_view number);
  // A standard card's serving radio from a 27.007 AcT (or -1: none given,
  // nothing changes). It drives the states the clients read: the access
  // technology, EDGE, HSDPA; sends nothing (the receiver thread calls it).
  void SetRadioTechnologyOfAct(int act);

  void SetVoiceCapable(bool on) { voice_capable_.store(on); }
  void SetTechnologySelectionSupported(bool on) { technology_selection_.store(on); }
  void SetRemovabilityType(int type) { removability_.store(type); }
  // The SIM's IMSI as read; the home network code is its first five digits
  // (0 when it has five or fewer characters).
  void SetImsi(std::u16string_view imsi);
  // The next WCDMA signal change raises no event (the query's own answer).
  void SuppressNextWcdmaEvent(bool on) { wcdma_suppressed_.store(on); }

  // Whether the post-PIN set-up succeeded for this card; reset on take-up.
  bool PostPinOperationDone() const { return post_pin_done_.load(); }
  void SetPostPinOperationDone(bool done) { post_pin_done_.store(done); }

  // --- Rules and work run on the client thread ----------------------------

  // The registration reports of the dispatcher, carried out on the window.
  void OnCsRegistration(int stat);
  // `eps`: a standard card's "+CEREG:"; its packet registration is the
  // better of that and "+CGREG:" (a registration on LTE is one for packet
  // data).
  void OnPsRegistration(int stat, bool eps = false);
  void OnPdpContext(int context, bool active);
  // A stat after the virtual-home-network rule (may send a command).
  int ApplyVirtualHomeNetworkRule(int stat);
  // Whether (network, SIM) is a virtual home network pair.
  bool IsVirtualHomeNetwork(uint32_t network, std::u16string_view imsi) const;
  void EdgeRefresh();
  // Derives the PS network state; posts itself to the window when called on
  // another thread.
  void DerivePsNetworkState();
  // The connection-state work that starts and stops timers.
  void OnConnectionStateChanged(int value);

  // Polling handlers (window timers).
  void OnSimPoll();
  void OnHsdpaPoll();
  void OnDataCallPoll();
  void OnCellTypePoll();
  // A standard card's radio poll while it is registered: "+CSQ" for the
  // signal, "+COPS?" for the technology (it reports neither by itself).
  void OnRadioPoll();

  // --- Unsolicited results (receiver thread) -----------------------------

  void HandleUnsolicited(uint32_t type, Line& line) override;
  // Where a "+CMT:" or "+CDS:" message goes: decoded and raised as its
  // event. Returns the result of the processing.
  using TemporaryMessageHandler =
      std::function<DvResult(bool status_report, std::u16string_view pdu, int length)>;
  void SetTemporaryMessageHandler(TemporaryMessageHandler handler);

  // --- Data connections ---------------------------------------------------

  // The connection object of each kind. The device makes its own; a test
  // may put another in (null puts the device's own back).
  void SetConnection(ConnectionKind kind, Connection* connection);
  ConnectionKind CurrentConnectionKind() const { return current_connection_.load(); }
  Connection* CurrentConnection() const;
  Connection* ConnectionOf(ConnectionKind kind) const;
  // Work a connection posted to the communicator window (WM_CONNECTION_WORK).
  void OnConnectionWork(ConnectionKind kind, uint32_t work);
  // The kind a card of this record gets.
  static ConnectionKind ChooseConnectionKind(const NwCardInfo& info);
  // The connection Parts' mark that the user asked to disconnect.
  bool UserDisconnect() const { return user_disconnect_.load(); }
  void SetUserDisconnect(bool on) { user_disconnect_.store(on); }

  // --- Removal notification -----------------------------------------------

  // The handle the removal notification of the open port is registered for
  // (null while no port is open or the registration failed).
  platform::HANDLE RemovalNotificationHandle() const { return removal_token_.get(); }

  // The display name of a model ("<unknown card 0x%04X>" when none).
  static std::string CardDisplayName(uint32_t model);

 protected:
  void OnPortError(uint32_t code) override;
  void RegisterRemovalNotification() override;
  void UnregisterRemovalNotification() override;

 private:
  // Every state back to its initial value; raises the full picture when
  // `notify_all`.
  void ResetAllStates(bool notify_all, bool found);
  void ResetCommandCaches();
  void RaiseIfNotSilent(bool silent, uint32_t event);
  // The follow-ups of a CS or PS registration change: the signal caches,
  // and EDGE for a 3G card.
  void AfterRegistrationChange(bool registered, bool other_registered, bool clears_edge);
  void StartTimerLogged(uint32_t timer, const char* failure_line);
  bool OnClientThread() const;
  void DeriveOnClientThread();
  void StoreVoiceState(int value, bool silent);
  void RefreshStandardTechnologyStates();
  void DeriveStandardStates();

  // What card detection last reported. The predicates' fields are atomics
  // (the receiver thread reads them); the whole record sits under its lock.
  void StoreCardInfo(const NwCardInfo& info);
  mutable std::mutex info_lock_;
  NwCardInfo card_info_{};  // under info_lock_
  std::atomic<uint32_t> card_state_{0};
  std::atomic<uint32_t> model_{0};
  std::atomic<int32_t> family_{0};
  std::atomic<int32_t> stack_{0};
  std::atomic<uint32_t> wwan_capabilities_{0};
  std::atomic<uint32_t> driver_capabilities_{0};

  std::atomic<int> device_state_{DeviceState::NotFound};
  std::atomic<int> cs_state_{0};
  std::atomic<int> ps_attach_state_{0};
  std::atomic<int> ps_state_{0};
  std::atomic<int> edge_state_{0};
  std::atomic<int> hsdpa_state_{0};
  mutable std::mutex connection_lock_;
  int connection_state_ = ConnectionState::Disconnected;  // under connection_lock_
  std::atomic<int> sim_state_{0};
  std::atomic<bool> voice_capable_{false};
  std::atomic<int> voice_state_{VoiceState::NotReady};
  std::atomic<int> signal_{0};
  std::atomic<int> extended_signal_{0};
  std::atomic<int> wcdma_signal_{0};
  std::atomic<bool> wcdma_suppressed_{false};
  std::atomic<int> access_technology_{PacketSwitchedTechnologyNone};
  std::atomic<int> radio_technology_{0};  // RadioTechnologyUnknown
  std::atomic<int> gprs_stat_{0};         // a standard card's last +CGREG and +CEREG stats
  std::atomic<int> eps_stat_{0};
  std::atomic<int> sim_index_base_{1};
  std::atomic<bool> standard_retry_counters_{false};
  std::atomic<int> cell_type_2g_{0};
  std::atomic<int> cell_type_3g_{0};
  std::atomic<int> ps_attach_mode_{PsAttachModeUnknown};
  std::atomic<bool> technology_selection_{false};
  std::atomic<int> removability_{0};
  std::atomic<uint32_t> home_network_code_{0};
  std::atomic<bool> pdp_context_active_{false};
  std::atomic<bool> post_pin_done_{false};
  std::atomic<bool> user_disconnect_{false};
  std::atomic<bool> exiting_{false};
  bool initialising_ = false;  // client thread only

  mutable std::mutex text_lock_;  // the texts below
  std::u16string idle_text_;
  std::u16string caller_number_;
  std::u16string imsi_;

  std::array<VirtualHomeNetwork, kMaxVirtualHomeNetworks> virtual_home_networks_{};

  std::array<std::unique_ptr<Connection>, 3> own_connections_;
  std::array<std::atomic<Connection*>, 3> connections_{};
  std::atomic<ConnectionKind> current_connection_{ConnectionKind::Ras};

  std::mutex temporary_handler_lock_;
  TemporaryMessageHandler temporary_handler_;

  platform::UniqueHandle removal_token_;
  void* removal_notification_ = nullptr;  // platform::HDEVNOTIFY
};

}  // namespace GSM

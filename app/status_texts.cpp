#include "app/status_texts.h"

#include "app/cached_dravik.h"
#include "app/settings.h"
#include "app/signal_display.h"

namespace {

// String numbers.
constexpr unsigned kConnecting = 112;
constexpr unsigned kConnectedTo = 113;  // %s: the network name
constexpr unsigned kDisconnecting = 114;
constexpr unsigned kNoNetwork = 115;
constexpr unsigned kRegisteredTo = 116;  // %s
constexpr unsigned kSearching = 117;
constexpr unsigned kRegistrationDenied = 118;
constexpr unsigned kRoamingTo = 120;  // %s
constexpr unsigned kDeviceNotFound = 121;
constexpr unsigned kDeviceInitializing = 122;
constexpr unsigned kDeviceLocked = 203;
constexpr unsigned kRadioOff = 215;
constexpr unsigned kFailedToInitialize = 216;
constexpr unsigned kGsm = 217;
constexpr unsigned kGprs = 218;
constexpr unsigned kEdge = 219;
constexpr unsigned kUmts = 220;
constexpr unsigned kHsdpa = 221;
constexpr unsigned kLte = 222;
constexpr unsigned kNr = 223;

// Network types 3 and 4 come only from a standard card (LTE, 5G).
constexpr int kNetworkTypeLte = 3;
constexpr int kNetworkType5g = 4;

// The text of a network type with packet service; empty for none.
std::u16string PacketNetworkText(int network_type, const StringLoader& strings) {
  switch (network_type) {
    case 1: return strings(kGprs);
    case 2: return strings(kUmts);
    case kNetworkTypeLte: return strings(kLte);
    case kNetworkType5g: return strings(kNr);
    default: return {};
  }
}

constexpr int kRegisteredHome = 1;
constexpr int kSearchingState = 2;
constexpr int kDenied = 3;
constexpr int kRoaming = 5;

bool IsRegistered(int state) { return state == kRegisteredHome || state == kRoaming; }
// The registration states the state text reports.
bool IsReported(int state) { return IsRegistered(state) || state == kSearchingState || state == kDenied; }

// A text naming the network: empty as a whole without a name, rather than
// "Connected to ".
std::u16string WithNetworkName(unsigned id, const StatusInputs& in, const StringLoader& strings) {
  if (in.network_name.empty()) return {};
  return ReplaceFirstPlaceholder(strings(id), in.network_name);
}

StateText RegistrationText(int state, const StatusInputs& in, const StringLoader& strings) {
  switch (state) {
    case kRegisteredHome:
      return {WithNetworkName(kRegisteredTo, in, strings), false};
    case kSearchingState:
      return {strings(kSearching), false};
    case kDenied:
      return {strings(kRegistrationDenied), false};
    default:
      return {WithNetworkName(kRoamingTo, in, strings), in.roaming_aware};
  }
}

StateText DeviceText(const StatusInputs& in, const StringLoader& strings) {
  if (CachedDravikValues::IsDeviceLock(in.pin_puk_state)) return {strings(kDeviceLocked), true};
  switch (in.device_state) {
    case CachedDravikValues::kDeviceNotPresent:
      if (!in.card_held_text.empty()) return {in.card_held_text, true};
      return {strings(kDeviceNotFound), true};
    case CachedDravikValues::kDeviceInitializing:
      return {strings(kDeviceInitializing), false};
    case CachedDravikValues::kDeviceReady:
      return {strings(in.radio_state == 1 ? kNoNetwork : kRadioOff), false};
    case CachedDravikValues::kDeviceFailed:
      return {strings(kFailedToInitialize), true};
    default:
      return {};
  }
}

}  // namespace

StatusInputs StatusInputs::From(const CachedDravikValues& cache, const CSettings& settings, SmsIconState sms_icon,
                                int active_connections) {
  StatusInputs in;
  in.connection_state = cache.ConnectionState;
  in.cs_state = cache.CsNetworkState;
  in.ps_state = cache.PsNetworkState;
  in.network_name = cache.NetworkName;
  in.device_state = cache.DeviceState;
  in.radio_state = cache.RadioState;
  in.network_type = cache.NetworkType;
  in.edge = cache.EdgeState != 0;
  in.hsdpa = cache.HsdpaState != 0;
  in.pin_puk_state = cache.PinPukState;
  in.signal_value = cache.SignalValue;
  in.wcdma_signal_supported = cache.WcdmaSignalSupported != 0;
  in.card_held_text = cache.CardHeldText;
  in.sms_icon = sms_icon;
  in.active_connections = active_connections;
  in.roaming_aware = settings.RoamingAware != 0;
  in.foreign_connection_friendly = settings.ForeignConnectionFriendlyMode != 0;
  in.signal_strength_mode = settings.SignalStrengthMode;
  return in;
}

bool StatusInputs::Registered() const { return IsRegistered(cs_state) || IsRegistered(ps_state); }

bool StatusInputs::PsRegistered() const { return IsRegistered(ps_state); }

uint32_t StatusInputs::SignalMode() const { return EffectiveSignalMode(signal_strength_mode, wcdma_signal_supported); }

StateText MakeStateText(const StatusInputs& in, const StringLoader& strings) {
  switch (in.connection_state) {
    case 0:
      break;
    case 1:
      return {strings(kConnecting), false};
    case 2:
      return {WithNetworkName(kConnectedTo, in, strings), false};
    case 3:
      return {strings(kDisconnecting), false};
    default:
      return {};
  }
  if (IsReported(in.ps_state)) return RegistrationText(in.ps_state, in, strings);
  if (IsReported(in.cs_state)) return RegistrationText(in.cs_state, in, strings);
  return DeviceText(in, strings);
}

std::u16string MakePaneTechnologyText(const StatusInputs& in, const StringLoader& strings) {
  if (in.edge) return strings(kEdge);
  if (in.hsdpa) return strings(kHsdpa);
  if (in.PsRegistered()) return PacketNetworkText(in.network_type, strings);
  if (IsRegistered(in.cs_state)) return strings(kGsm);
  return {};
}

std::u16string MakeTooltipTechnologyLine(const StatusInputs& in, const StringLoader& strings) {
  if (in.edge) return strings(kEdge);
  if (in.hsdpa) return strings(kHsdpa);
  std::u16string packet = PacketNetworkText(in.network_type, strings);
  if (!packet.empty()) return packet;
  if (in.PsRegistered()) return {};
  if (IsRegistered(in.cs_state)) return strings(kGsm);
  return {};
}

std::vector<StatusPane> MakeStatusPanes(const StatusInputs& in, const StringLoader& strings) {
  std::vector<StatusPane> panes;
  const StateText state = MakeStateText(in, strings);
  panes.push_back({StatusPaneKind::kState, 0, state.text, {}, 0, state.warning});

  // The count includes the program's own connection, which is down while
  // the connection state is 0: any active connection is someone else's.
  if (!in.foreign_connection_friendly && in.active_connections > 0 && in.connection_state == 0 &&
      in.PsRegistered()) {
    panes.push_back({StatusPaneKind::kForeignConnection, kForeignConnectionPaneId, {},
                     strings(kForeignConnectionPaneId), 0, false});
  }
  if (in.Registered()) {
    const SignalLevel level = ComputeSignalLevel(in.SignalMode(), in.signal_value);
    panes.push_back(
        {StatusPaneKind::kSignal, kSignalPaneId, {}, SignalText(level.text_level, strings), level.icon, false});
  }
  if (in.sms_icon == SmsIconState::kNewMessage || in.sms_icon == SmsIconState::kStorageFull) {
    const unsigned text = in.sms_icon == SmsIconState::kNewMessage ? kSmsPaneId : kSmsFullStringId;
    panes.push_back({StatusPaneKind::kSms, kSmsPaneId, {}, strings(text), static_cast<int>(in.sms_icon), false});
  }
  std::u16string technology = MakePaneTechnologyText(in, strings);
  if (!technology.empty()) panes.push_back({StatusPaneKind::kTechnology, 0, std::move(technology), {}, 0, false});
  return panes;
}

std::u16string MakeTooltipText(const StatusInputs& in, const StringLoader& strings) {
  std::u16string text = MakeStateText(in, strings).text;
  const std::u16string technology = MakeTooltipTechnologyLine(in, strings);
  if (!technology.empty()) text.append(u"\n").append(technology);
  if (in.Registered()) {
    const SignalLevel level = ComputeSignalLevel(in.SignalMode(), in.signal_value);
    text.append(u"\n").append(SignalText(level.text_level, strings));
  }
  return text;
}

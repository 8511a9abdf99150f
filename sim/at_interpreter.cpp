#include "sim/at_interpreter.h"

#include <array>
#include <cctype>

#include "sim/command_context.h"
#include "sim/sim_alphabet.h"

namespace sim {

using namespace commands;

namespace {

using Handler = void (*)(Ctx&, const AtCommand&);

struct Entry {
  std::string_view name;
  uint32_t features;  // all of them needed
  Handler handler;
};

constexpr std::array<Entry, 68> kCommands = {{
    {"E", 0, CmdEcho},
    {"V", 0, CmdVerbose},
    {"Q", 0, CmdAccept},
    {"Z", 0, CmdReset},
    {"&F", 0, CmdReset},
    {"&C", 0, CmdAccept},
    {"&D", 0, CmdAccept},
    {"&K", 0, CmdAccept},
    {"I", 0, CmdInfo},
    {"D", 0, CmdDial},
    {"H", 0, CmdHangUp},
    {"+CMEE", 0, CmdErrorMode},
    {"+CGMI", 0, CmdManufacturer},
    {"+CGMM", 0, CmdModel},
    {"+CGMR", 0, CmdFirmware},
    {"+CGSN", 0, CmdSerialNumber},
    {"_OHWV", kFeatureOwnCommands, CmdHardware},
    {"_OGSN", kFeatureStack3, CmdOwnSerial},
    {"+CSCS", 0, CmdCharset},
    {"+CPIN", 0, CmdPin},
    {"+CLCK", 0, CmdLock},
    {"+CPWD", 0, CmdChangePassword},
    {"_OERCN", kFeatureRetryCounters, CmdRetryCounters},
    {"+CPINR", kFeaturePinRetries, CmdPinRetries},
    {"_OBLS", kFeatureOwnSimStatus, CmdSimStatus},
    {"+CIMI", 0, CmdImsi},
    {"+CNUM", 0, CmdOwnNumbers},
    {"+CRSM", 0, CmdRestrictedSimAccess},
    {"+CFUN", 0, CmdFunctionality},
    {"+CREG", kFeatureCsRegistration, CmdCsRegistration},
    {"+CGREG", 0, CmdPsRegistration},
    {"+CEREG", kFeatureEpsRegistration, CmdEpsRegistration},
    {"+COPS", 0, CmdOperator},
    {"_OPON", kFeatureOwnCommands, CmdOperatorName},
    {"+CSQ", 0, CmdSignal},
    {"_OSQI", kFeatureSignalReports, CmdSignalReports},
    {"*MCSQ", kFeatureStack3, CmdBcmSignal},
    {"*MRINFO", kFeatureStack3, CmdBcmRadioInfo},
    {"_OEANT", kFeatureAntenna, CmdAntenna},
    {"_OCTI", kFeature3g, CmdCellType},
    {"_OWCTI", kFeature3g, CmdWcdmaCellType},
    {"_OHCIP", kFeature3g, CmdHsdpa},
    {"_OSSYS", kFeatureTechnologySelection, CmdSystem},
    {"_OPSYS", kFeatureTechnologySelection, CmdTechnology},
    {"_OIDLETEXT", kFeature3g | kFeatureOwnCommands, CmdIdleText},
    {"_OWIND", kFeature3g | kFeatureOwnCommands, CmdIndications},
    {"_OPCMENABLE", kFeatureVoiceQuery, CmdVoice},
    {"+CLIP", 0, CmdCallerId},
    {"+CUSD", 0, CmdUssd},
    {"+CGDCONT", 0, CmdContext},
    {"+CGATT", 0, CmdAttach},
    {"$QCPDPP", kFeatureWanCall, CmdCredentials},
    {"_OWANCALL", kFeatureWanCall, CmdWanCall},
    {"_OGACT", kFeaturePdpReports, CmdPdpReports},
    {"+CMGF", 0, CmdMessageFormat},
    {"+CNMI", 0, CmdIndicationsSms},
    {"+CPMS", 0, CmdStorage},
    {"+CSCA", 0, CmdServiceCentre},
    {"+CMGL", 0, CmdList},
    {"+CMGR", 0, CmdRead},
    {"+CMGD", 0, CmdDelete},
    {"+CMGW", 0, CmdWrite},
    {"+CMSS", 0, CmdSendStored},
    {"+CMGS", 0, CmdSend},
    {"+CSMS", 0, CmdMessageService},
    {"+GMI", 0, CmdManufacturer},
    {"+GMM", 0, CmdModel},
    {"+GMR", 0, CmdFirmware},
}};

const Entry* Find(const CardClass& card, std::string_view name) {
  for (const auto& e : kCommands) {
    if (e.name == name) return card.Has(e.features) ? &e : nullptr;
  }
  return nullptr;
}

std::string CmeText(int code) {
  switch (code) {
    case kCmeSimNotInserted:
      return "SIM not inserted";
    case kCmeSimPinRequired:
      return "SIM PIN required";
    case kCmeSimPukRequired:
      return "SIM PUK required";
    case kCmeSimFailure:
      return "SIM failure";
    case kCmeSimBusy:
      return "SIM busy";
    case kCmeIncorrectPassword:
      return "incorrect password";
    default:
      return std::to_string(code);
  }
}

}  // namespace

void RunCommands(CommandContext& context, const std::vector<AtCommand>& commands) {
  Ctx ctx(context);
  for (const auto& command : commands) {
    // S-registers are all accepted and read as zero.
    const bool s_register = command.name.size() > 1 && command.name[0] == 'S';
    const Entry* entry = s_register ? nullptr : Find(context.card, command.name);
    if (s_register) {
      CmdRegister(ctx, command);
    } else if (!entry) {
      ctx.Error();
    } else {
      entry->handler(ctx, command);
    }
    if (ctx.Failed()) return;
  }
}

void FinishSmsBody(CommandContext& context, std::string_view body, bool cancelled) {
  Ctx ctx(context);
  PortSession& session = context.session;
  const int length = session.sms_body_length;
  session.mode = PortSession::Mode::kCommand;
  session.sms_body_length = 0;
  if (cancelled) return;
  if (session.body_for == PortSession::Body::kSend) return FinishSend(ctx, body, length);
  FinishWrite(ctx, body, length, session.sms_write_status);
}

std::string FrameFinal(const PortSession& session, const Response& response) {
  switch (response.final) {
    case Response::Final::kOk:
      return "\r\nOK\r\n";
    case Response::Final::kError:
      return "\r\nERROR\r\n";
    case Response::Final::kCmeError:
      if (session.cmee == 0) return "\r\nERROR\r\n";
      return "\r\n+CME ERROR: " + (session.cmee == 2 ? CmeText(response.code) : std::to_string(response.code)) + "\r\n";
    case Response::Final::kCmsError:
      if (session.cmee == 0) return "\r\nERROR\r\n";
      return "\r\n+CMS ERROR: " + std::to_string(response.code) + "\r\n";
    case Response::Final::kConnect:
      return "\r\nCONNECT\r\n";
    case Response::Final::kNoCarrier:
      return "\r\nNO CARRIER\r\n";
    case Response::Final::kPrompt:
      return "\r\n> ";
  }
  return {};
}

std::string FrameResponse(const PortSession& session, const Response& response) {
  std::string out;
  for (const auto& line : response.lines) out += "\r\n" + line + "\r\n";
  return out + FrameFinal(session, response);
}

std::string QuoteText(const CardState& state, std::string_view utf8) {
  std::string text;
  if (state.charset == "GSM") {
    text = Utf8ToGsm(utf8);
  } else {
    // Plain ASCII: one '?' for each character beyond it.
    for (char c : utf8) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte & 0xC0) == 0x80) continue;
      text.push_back(byte < 0x80 ? c : '?');
    }
  }
  return "\"" + text + "\"";
}

void UnlockSim(CardState& state, uint64_t now) {
  state.lock = state.network_pin.empty() ? SimLock::kReady : SimLock::kNetworkPin;
  state.sim_ready_at = now + state.sim_init_ms;
}

void PowerUp(CardState& state, uint64_t now) {
  state.reports = ReportSwitches{};
  state.reported = LastReported{};
  state.charset = "IRA";
  state.cfun = 1;
  state.cops_format = 0;
  state.wan_state = 0;
  state.data_call = false;
  state.cnmi_mt = 0;
  state.cnmi_ds = 0;
  state.pending_reports.clear();  // the network tells a card that was off nothing
  state.ussd_menu_open = false;
  state.sim_busy_until = now + state.sim_busy_ms;
  // A SIM that asks for its PUK, or is dead, stays so across power cycles.
  if (state.lock == SimLock::kPuk || state.lock == SimLock::kBlocked) return;
  if (state.pin_enabled) {
    state.lock = SimLock::kPin;
  } else {
    UnlockSim(state, state.sim_busy_until);
  }
}

void CollectReports(const CardClass& card, CardState& s, std::vector<std::string>& out) {
  LastReported& last = s.reported;
  auto changed = [](int& old_value, int value) {
    const bool differs = old_value != value;
    old_value = value;
    return differs;
  };
  // A card whose n=2 reports carry the access technology also reports a
  // move to another cell or technology while the registration stays.
  const std::array<int, 3> cell = {s.lac, s.cell_id, ServingAct(s)};
  const bool cell_moved = card.Has(kFeatureAccessTechnology) && cell != last.cell;
  last.cell = cell;
  auto registration = [&](int& last_stat, int stat, int n, const char* prefix, bool known) {
    const bool located = n == 2 && (stat == 1 || stat == 5);
    if ((changed(last_stat, stat) || (cell_moved && located)) && n > 0 && known) {
      out.push_back(RegistrationLine(card, prefix, n, stat, s, false));
    }
  };
  registration(last.cs, s.CsStat(), s.reports.creg, "+CREG: ", card.Has(kFeatureCsRegistration));
  registration(last.ps, s.PsStat(), s.reports.cgreg, "+CGREG: ", true);
  registration(last.eps, s.EpsStat(), s.reports.cereg, "+CEREG: ", card.Has(kFeatureEpsRegistration));
  if (changed(last.rat, SystemNumber(s)) && s.reports.system) {
    out.push_back(Format("_OSSYSI: %d", SystemNumber(s)));
  }
  if (changed(last.cell_2g, Reported2gCell(s)) && s.reports.cell_type) {
    out.push_back(Format("_OCTI: %d", Reported2gCell(s)));
  }
  const bool rssi_changed = changed(last.rssi, ReportedRssi(s));
  const bool ber_changed = changed(last.ber, ReportedBer(s));
  if (rssi_changed || ber_changed) {
    if (s.reports.signal) out.push_back(Format("_OSIGQ: %d,%d", ReportedRssi(s), ReportedBer(s)));
    if (s.reports.bcm_signal) out.push_back(Format("*MCSQ: %d,%d", ReportedRssi(s), ReportedBer(s)));
  }
  if (changed(last.antenna, ReportedAntenna(s)) && s.reports.antenna) {
    out.push_back(Format("_OEANT: %d", ReportedAntenna(s)));
  }
  if (changed(last.pdp_active, s.PdpActive() ? 1 : 0) && s.reports.pdp) {
    out.push_back(Format("_OGACT: 1,%d", s.PdpActive() ? 1 : 0));
  }
  const int radio_switch = s.radio_switch_on ? 1 : 0;
  const bool first_switch_report = last.radio_switch < 0;
  if (changed(last.radio_switch, radio_switch) && !first_switch_report && card.Has(kFeatureOwnCommands)) {
    out.push_back(Format("_OWSTAT: %d", radio_switch));
  }
  const std::string idle = s.Registered() ? s.idle_text : "";
  if (idle != last.idle_text) {
    last.idle_text = idle;
    if (s.reports.idle_text) out.push_back("_OIDLETEXT: 1," + QuoteText(s, idle));
  }
  if (changed(last.edge, EdgeBit(s)) && s.reports.radio_info) out.push_back(Format("*MRINFO: %d,0", EdgeBit(s)));
}

}  // namespace sim

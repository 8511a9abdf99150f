// The card's radio and network commands: power, registration, operator,
// signal, cell and system type, and the few call-side commands it answers.
#include "sim/command_context.h"

#include <optional>
#include <string>
#include <string_view>

namespace sim::commands {
namespace {

void Registration(Ctx& ctx, const AtCommand& cmd, const char* prefix, int& n, int stat) {
  if (cmd.form == AtForm::kQuery) return ctx.Line(RegistrationLine(ctx.card(), prefix, n, stat, ctx.s(), true));
  if (cmd.form == AtForm::kTest) return ctx.Line(std::string(prefix) + "(0-2)");
  if (auto value = SwitchArg(ctx, cmd, 2)) n = *value;
}

std::string OperatorField(Ctx& ctx, int format) {
  CardState& s = ctx.s();
  switch (format) {
    case 1:
      return ctx.Quote(s.operator_short);
    case 2:
      // The stack 3 card gives the numeric code as a bare number.
      return ctx.card().Has(kFeatureStack3) ? s.operator_numeric : ctx.Quote(s.operator_numeric);
    default:
      return ctx.Quote(s.operator_long);
  }
}

std::string Hex(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto v = static_cast<unsigned char>(c);
    out.push_back(kHex[v >> 4]);
    out.push_back(kHex[v & 0xF]);
  }
  return out;
}

std::string Latin1(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      out.push_back(static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F)));
    } else {
      out.push_back('?');
      while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) ++i;
    }
  }
  return out;
}

// The line the network answers `code` with (empty: not supported). With
// the menu open, the code is the user's choice.
std::string UssdAnswer(CardState& s, const std::string& code) {
  static constexpr char kMenu[] = "1 Bundles\n2 Top up";
  const auto text = [&](int status, std::string_view utf8) {
    return Format("+CUSD: %d,", status) + QuoteText(s, utf8) + ",15";
  };
  if (s.ussd_menu_open) {
    s.ussd_menu_open = false;
    if (code == "1") return text(0, "Bundles: 1 GB left until 30 June");
    if (code == "2") return text(0, "Top up at any Vombel shop or with *104*voucher#");
    s.ussd_menu_open = true;
    return text(1, std::string("Unknown choice\n") + kMenu);
  }
  if (code == "*100#") return text(0, s.ussd_reply);
  if (code == "*101#") {
    s.ussd_menu_open = true;
    return text(1, std::string("Vombel menu\n") + kMenu);
  }
  // A UCS2 answer reaches a card in any character set as hexadecimal text.
  if (code == "*102#") return "+CUSD: 0,\"04110430043B0430043D0441003A00200035002C0030003020AC\",72";
  return {};
}

}  // namespace

void CmdFunctionality(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line(Format("+CFUN: %d", ctx.s().cfun));
  if (cmd.form == AtForm::kTest) return ctx.Line("+CFUN: (0,1,4),(0-1)");
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto fun = IntArg(*args, 0);
  if (!fun || (*fun != 0 && *fun != 1 && *fun != 4)) return ctx.Cme(kCmeNotSupported);
  ctx.s().cfun = *fun;
}

std::string RegistrationLine(const CardClass& card, const char* prefix, int n, int stat, const CardState& s,
                             bool query) {
  std::string line = prefix;
  line += query ? Format("%d,%d", n, stat) : Format("%d", stat);
  if (n == 2 && (stat == 1 || stat == 5)) {
    line += Format(",\"%04X\",\"%08X\"", s.lac, s.cell_id);
    if (card.Has(kFeatureAccessTechnology)) line += Format(",%d", ServingAct(s));
  }
  return line;
}

int ServingAct(const CardState& s) {
  switch (s.Rat()) {
    case 0:
      return s.cell_2g == 3 ? 3 : 0;
    case 2:
      switch (s.cell_3g) {
        case 2: return 4;
        case 3: return 5;
        case 4: return 6;
        default: return 2;
      }
    case 7:
      return 7;
    default:
      return -1;
  }
}

void CmdCsRegistration(Ctx& ctx, const AtCommand& cmd) {
  Registration(ctx, cmd, "+CREG: ", ctx.s().reports.creg, ctx.s().CsStat());
}
void CmdPsRegistration(Ctx& ctx, const AtCommand& cmd) {
  Registration(ctx, cmd, "+CGREG: ", ctx.s().reports.cgreg, ctx.s().PsStat());
}
void CmdEpsRegistration(Ctx& ctx, const AtCommand& cmd) {
  Registration(ctx, cmd, "+CEREG: ", ctx.s().reports.cereg, ctx.s().EpsStat());
}

void CmdOperator(Ctx& ctx, const AtCommand& cmd) {
  CardState& s = ctx.s();
  if (cmd.form == AtForm::kQuery) {
    if (!s.Registered()) return ctx.Line(Format("+COPS: %d", s.cops_mode));
    std::string line = Format("+COPS: %d,%d,", s.cops_mode, s.cops_format) + OperatorField(ctx, s.cops_format);
    if (ctx.card().Has(kFeatureAccessTechnology)) {
      line += Format(",%d", ServingAct(s));
    } else if (ctx.card().Has(kFeature3g)) {
      line += Format(",%d", s.Rat() == 2 ? 2 : 0);
    }
    return ctx.Line(line);
  }
  if (cmd.form == AtForm::kTest) {
    if (!s.RadioOn() || s.network_stat == 0) return ctx.Line("+COPS: ,,(0-4),(0-2)");
    ctx.Line(Format("+COPS: (%d,", s.Registered() ? 2 : 1) + ctx.Quote(s.operator_long) + "," +
             ctx.Quote(s.operator_short) + "," + ctx.Quote(s.operator_numeric) +
             Format(",%d),,(0-4),(0-2)", s.network_rat));
    return;
  }
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto mode = IntArg(*args, 0);
  auto format = args->size() > 1 ? IntArg(*args, 1) : std::optional<int>(s.cops_format);
  if (!mode || *mode > 4 || !format || *format > 2) return ctx.Error();
  if (*mode == 3) {
    s.cops_format = *format;
    return;
  }
  if (*mode == 1 || *mode == 4) {
    if (args->size() < 3) return ctx.Error();
    const std::string wanted = ctx.Text((*args)[2]);
    if (wanted != s.operator_numeric && wanted != s.operator_long && wanted != s.operator_short) {
      if (*mode == 1) return ctx.Cme(kCmeNoNetworkService);
    }
  }
  s.cops_mode = *mode == 4 ? 0 : *mode;
  s.cops_format = *format;
}

// "AT_OPON?" gives the name byte by byte in Latin-1, as hexadecimal text.
void CmdOperatorName(Ctx& ctx, const AtCommand& cmd) {
  CardState& s = ctx.s();
  if (cmd.form != AtForm::kQuery) return ctx.Error();
  if (!s.Registered()) return ctx.Cme(kCmeNoNetworkService);
  const std::string& name = s.operator_own_name.empty() ? s.operator_long : s.operator_own_name;
  ctx.Line("_OPON: 1," + Hex(Latin1(name)) + ",0");
}

int ReportedRssi(const CardState& s) { return s.RadioOn() && s.network_stat != 0 ? s.rssi : 99; }
int ReportedBer(const CardState& s) { return s.RadioOn() && s.network_stat != 0 ? s.ber : 99; }
int ReportedAntenna(const CardState& s) { return s.RadioOn() && s.network_stat != 0 ? s.antenna : 0; }

void CmdSignal(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return ctx.Line("+CSQ: (0-31,99),(0-7,99)");
  if (cmd.form != AtForm::kExecute) return ctx.Error();
  ctx.Line(Format("+CSQ: %d,%d", ReportedRssi(ctx.s()), ReportedBer(ctx.s())));
}

void CmdSignalReports(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line(Format("_OSQI: %d", ctx.s().reports.signal ? 1 : 0));
  if (auto n = SwitchArg(ctx, cmd, 1)) ctx.s().reports.signal = *n == 1;
}

void CmdBcmSignal(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) {
    return ctx.Line(Format("*MCSQ: %d,%d", ReportedRssi(ctx.s()), ReportedBer(ctx.s())));
  }
  if (auto n = SwitchArg(ctx, cmd, 1)) ctx.s().reports.bcm_signal = *n == 1;
}

// "*MRINFO:" bit 1: the cell offers EDGE.
int EdgeBit(const CardState& s) { return s.Rat() == 0 && s.cell_2g == 3 ? 2 : 0; }

void CmdBcmRadioInfo(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line(Format("*MRINFO: %d,0", EdgeBit(ctx.s())));
  if (auto n = SwitchArg(ctx, cmd, 1)) ctx.s().reports.radio_info = *n == 1;
}

void CmdAntenna(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kSet) {
    if (auto n = SwitchArg(ctx, cmd, 1)) ctx.s().reports.antenna = *n == 1;
    return;
  }
  // The level comes as a report line ahead of the final result.
  ctx.Line(Format("_OEANT: %d", ReportedAntenna(ctx.s())));
}

int Reported2gCell(const CardState& s) { return s.Rat() == 0 ? s.cell_2g : 0; }

void CmdCellType(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) {
    return ctx.Line(Format("_OCTI: %d,%d", ctx.s().reports.cell_type ? 1 : 0, Reported2gCell(ctx.s())));
  }
  if (auto n = SwitchArg(ctx, cmd, 1)) ctx.s().reports.cell_type = *n == 1;
}

void CmdWcdmaCellType(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form != AtForm::kQuery) return ctx.Error();
  ctx.Line(Format("_OWCTI: %d", ctx.s().Rat() == 2 ? ctx.s().cell_3g : 0));
}

void CmdHsdpa(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form != AtForm::kQuery) return ctx.Error();
  ctx.Line(Format("_OHCIP: %d", ctx.s().Rat() == 2 ? ctx.s().hsdpa : 0));
}

// _OSSYS numbers: 0 GSM, 2 UMTS, 3 no service.
int SystemNumber(const CardState& s) { return s.Rat() < 0 ? 3 : s.Rat(); }

void CmdSystem(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) {
    return ctx.Line(Format("_OSSYS: %d,%d", ctx.s().reports.system ? 1 : 0, SystemNumber(ctx.s())));
  }
  if (auto n = SwitchArg(ctx, cmd, 1)) ctx.s().reports.system = *n == 1;
}

void CmdTechnology(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line(Format("_OPSYS: %d,2", ctx.s().technology_mode));
  if (cmd.form == AtForm::kTest) return ctx.Line("_OPSYS: " + std::string(ctx.card().technology_modes));
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto mode = IntArg(*args, 0);
  if (!mode || *mode > 3) return ctx.Cme(kCmeNotSupported);
  ctx.s().technology_mode = *mode;
}

void CmdIdleText(Ctx& ctx, const AtCommand& cmd) {
  CardState& s = ctx.s();
  if (cmd.form == AtForm::kQuery) {
    return ctx.Line(Format("_OIDLETEXT: %d,", s.reports.idle_text ? 1 : 0) +
                    ctx.Quote(s.Registered() ? s.idle_text : ""));
  }
  if (auto n = SwitchArg(ctx, cmd, 1)) s.reports.idle_text = *n == 1;
}

void CmdIndications(Ctx& ctx, const AtCommand& cmd) {
  if (auto n = SwitchArg(ctx, cmd, 1)) ctx.s().reports.indications = *n == 1;
}

void CmdVoice(Ctx& ctx, const AtCommand& cmd) {
  // The simulated cards carry data only.
  if (cmd.form == AtForm::kQuery) return ctx.Line("_OPCMENABLE: 0");
  if (cmd.form != AtForm::kSet) return ctx.Error();
}

void CmdCallerId(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line("+CLIP: 0,2");
  if (cmd.form == AtForm::kSet) SwitchArg(ctx, cmd, 1);
}

void CmdUssd(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line("+CUSD: 1");
  if (cmd.form != AtForm::kSet) return;
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto n = IntArg(*args, 0);
  if (args->empty() || !n || *n > 2) return ctx.Error();
  CardState& s = ctx.s();
  if (*n == 2) {
    s.ussd_menu_open = false;
    return;
  }
  if (args->size() < 2) return;
  if (!s.Registered()) return ctx.Cme(kCmeNoNetworkService);
  if (s.ussd_silent) return;
  const std::string code = ctx.Text((*args)[1]);
  std::string answer = UssdAnswer(s, code);
  if (answer.empty()) answer = "+CUSD: 4";
  ctx.After(std::move(answer));
}

}  // namespace sim::commands

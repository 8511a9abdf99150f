#include "sim/at_interpreter.h"

#include <array>
#include <cstdio>
#include <optional>

#include "sim/sim_alphabet.h"

namespace sim {
namespace {

// 3GPP equipment errors the cards give.
enum CmeError : int {
  kCmeNotAllowed = 3,
  kCmeNotSupported = 4,
  kCmeSimNotInserted = 10,
  kCmeSimPinRequired = 11,
  kCmeSimPukRequired = 12,
  kCmeSimFailure = 13,
  kCmeSimBusy = 14,
  kCmeIncorrectPassword = 16,
  kCmeNoNetworkService = 30,
  kCmeNetworkPinRequired = 40,
  // The stack 1 chip set's own "SIM not ready yet", given to AT+CPIN? for
  // a while after power-up.
  kCmeSimNotReady = 522,
};

enum CmsError : int {
  kCmsNotSupported = 303,
  kCmsInvalidPdu = 304,
  kCmsSimNotInserted = 310,
  kCmsSimPinRequired = 311,
  kCmsSimFailure = 313,
  kCmsSimBusy = 314,
  kCmsSimPukRequired = 316,
  kCmsInvalidIndex = 321,
  kCmsMemoryFull = 322,
  kCmsNoNetworkService = 331,
};

class Ctx {
 public:
  explicit Ctx(CommandContext& c) : c_(c) {}
  CardState& s() { return c_.state; }
  const CardClass& card() { return c_.card; }
  void Line(std::string line) { c_.out.lines.push_back(std::move(line)); }
  void After(std::string line) { c_.after.push_back(std::move(line)); }
  void Error() { Final(Response::Final::kError, 0); }
  void Cme(int code) { Final(Response::Final::kCmeError, code); }
  void Cms(int code) { Final(Response::Final::kCmsError, code); }
  void Final(Response::Final f, int code) {
    c_.out.final = f;
    c_.out.code = code;
  }
  bool Failed() const { return c_.out.final != Response::Final::kOk; }
  PortSession& session() { return c_.session; }
  PortRole role() const { return c_.role; }
  uint64_t now() const { return c_.now; }
  std::string Quote(std::string_view utf8) { return QuoteText(c_.state, utf8); }
  // The text of an argument in UTF-8.
  std::string Text(const AtArgument& arg) {
    return arg.quoted && s().charset == "GSM" ? GsmToUtf8(arg.text) : arg.text;
  }

 private:
  CommandContext& c_;
};

using Args = std::vector<AtArgument>;

std::string Format(const char* format, auto... values) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

// Arguments of a set command, or plain "ERROR" for a malformed list.
std::optional<Args> ArgsOf(Ctx& ctx, const AtCommand& cmd) {
  auto args = SplitArguments(cmd.args);
  if (!args) ctx.Error();
  return args;
}

std::optional<int> IntArg(const Args& args, size_t i) {
  if (i >= args.size() || args[i].quoted) return std::nullopt;
  return ParseNumber(args[i].text);
}

// A numeric switch "AT+X=n" with n in [0, max]; plain "ERROR" otherwise.
std::optional<int> SwitchArg(Ctx& ctx, const AtCommand& cmd, int max) {
  auto args = ArgsOf(ctx, cmd);
  if (!args) return std::nullopt;
  auto n = IntArg(*args, 0);
  if (!n || *n > max) {
    ctx.Error();
    return std::nullopt;
  }
  return n;
}

// ---------------------------------------------------------------------------
// SIM gates.

bool SimBusy(CardState& s, uint64_t now) { return now < s.sim_busy_until; }
bool SimInitialised(CardState& s, uint64_t now) { return s.SimUsable() && now >= s.sim_ready_at; }

// Fails the command the way the card does when the SIM cannot serve it.
bool NeedSim(Ctx& ctx, bool initialised) {
  CardState& s = ctx.s();
  if (!s.sim_present) return ctx.Cme(kCmeSimNotInserted), false;
  if (SimBusy(s, ctx.now())) return ctx.Cme(kCmeSimBusy), false;
  switch (s.lock) {
    case SimLock::kReady:
      break;
    case SimLock::kPin:
      return ctx.Cme(kCmeSimPinRequired), false;
    case SimLock::kPuk:
      return ctx.Cme(kCmeSimPukRequired), false;
    case SimLock::kNetworkPin:
      return ctx.Cme(kCmeNetworkPinRequired), false;
    case SimLock::kBlocked:
      return ctx.Cme(kCmeSimFailure), false;
  }
  if (initialised && ctx.now() < s.sim_ready_at) return ctx.Cme(kCmeSimBusy), false;
  return true;
}

bool NeedSmsStorage(Ctx& ctx) {
  CardState& s = ctx.s();
  if (!s.sim_present) return ctx.Cms(kCmsSimNotInserted), false;
  switch (s.lock) {
    case SimLock::kReady:
      break;
    case SimLock::kPin:
    case SimLock::kNetworkPin:
      return ctx.Cms(kCmsSimPinRequired), false;
    case SimLock::kPuk:
      return ctx.Cms(kCmsSimPukRequired), false;
    case SimLock::kBlocked:
      return ctx.Cms(kCmsSimFailure), false;
  }
  if (!SimInitialised(s, ctx.now())) return ctx.Cms(kCmsSimBusy), false;
  return true;
}

// A wrong PIN costs a try; the last one leaves the SIM asking for the PUK.
void WrongPin(Ctx& ctx) {
  CardState& s = ctx.s();
  if (s.pin_retries > 0) --s.pin_retries;
  if (s.pin_retries == 0) s.lock = SimLock::kPuk;
  ctx.Cme(kCmeIncorrectPassword);
}

bool IsPinText(std::string_view pin) {
  if (pin.size() < 4 || pin.size() > 8) return false;
  for (char c : pin) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Basic commands and identity.

void CmdEcho(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.args.empty() || cmd.args == "0") {
    ctx.session().echo = false;
  } else if (cmd.args == "1") {
    ctx.session().echo = true;
  } else {
    ctx.Error();
  }
}

void CmdAccept(Ctx&, const AtCommand&) {}

void CmdVerbose(Ctx& ctx, const AtCommand& cmd) {
  // The cards answer in words only; numeric results are not offered.
  if (!cmd.args.empty() && cmd.args != "1") ctx.Error();
}

void CmdReset(Ctx& ctx, const AtCommand&) {
  ctx.session().echo = true;
  ctx.session().cmee = 0;
}

void CmdRegister(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) ctx.Line("000");
}

void CmdInfo(Ctx& ctx, const AtCommand&) {
  ctx.Line("Manufacturer: " + std::string(ctx.card().manufacturer));
  ctx.Line("Model: " + std::string(ctx.card().model_name));
  ctx.Line("Revision: " + std::string(ctx.card().firmware));
  ctx.Line("IMEI: " + ctx.s().imei);
  ctx.Line("+GCAP: +CGSM,+DS,+ES");
}

void CmdManufacturer(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kExecute) ctx.Line(std::string(ctx.card().manufacturer));
}
void CmdModel(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kExecute) ctx.Line(std::string(ctx.card().model_name));
}
void CmdFirmware(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kExecute) ctx.Line(std::string(ctx.card().firmware));
}

void CmdHardware(Ctx& ctx, const AtCommand&) {
  // A card without a hardware version of its own does not know the command.
  if (ctx.card().hardware.empty()) return ctx.Error();
  ctx.Line("_OHWV: " + std::string(ctx.card().hardware));
}

void CmdSerialNumber(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form != AtForm::kExecute) return;
  // The stack 1 and 2 cards put the serial number after the IMEI; the stack 3
  // card answers the IMEI alone and has AT_OGSN for the serial number.
  if (ctx.card().Has(kFeatureStack3)) {
    ctx.Line(ctx.s().imei);
  } else {
    ctx.Line(ctx.s().imei + "," + ctx.s().serial);
  }
}

void CmdOwnSerial(Ctx& ctx, const AtCommand&) { ctx.Line("_OGSN: " + ctx.s().serial); }

void CmdErrorMode(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line(Format("+CMEE: %d", ctx.session().cmee));
  if (cmd.form == AtForm::kTest) return ctx.Line("+CMEE: (0-2)");
  if (auto n = SwitchArg(ctx, cmd, 2)) ctx.session().cmee = *n;
}

void CmdCharset(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line("+CSCS: \"" + ctx.s().charset + "\"");
  if (cmd.form == AtForm::kTest) return ctx.Line("+CSCS: (\"IRA\",\"GSM\")");
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  if (args->size() != 1 || !(*args)[0].quoted) return ctx.Error();
  const std::string& name = (*args)[0].text;
  if (name != "IRA" && name != "GSM") return ctx.Cme(kCmeNotSupported);
  ctx.s().charset = name;
}

// ---------------------------------------------------------------------------
// SIM and PIN.

void CmdPin(Ctx& ctx, const AtCommand& cmd) {
  CardState& s = ctx.s();
  if (cmd.form == AtForm::kTest) return;
  if (!s.sim_present) return ctx.Cme(kCmeSimNotInserted);
  if (SimBusy(s, ctx.now())) return ctx.Cme(cmd.form == AtForm::kQuery ? kCmeSimNotReady : kCmeSimBusy);
  if (s.lock == SimLock::kBlocked) return ctx.Cme(kCmeSimFailure);
  if (cmd.form == AtForm::kQuery) {
    switch (s.lock) {
      case SimLock::kReady:
        return ctx.Line("+CPIN: READY");
      case SimLock::kPin:
        return ctx.Line("+CPIN: SIM PIN");
      case SimLock::kPuk:
        return ctx.Line("+CPIN: SIM PUK");
      case SimLock::kNetworkPin:
        return ctx.Line("+CPIN: PH-NET PIN");
      case SimLock::kBlocked:
        return;
    }
    return;
  }
  if (cmd.form != AtForm::kSet) return ctx.Error();
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  if (args->empty() || args->size() > 2) return ctx.Error();
  const std::string code = ctx.Text((*args)[0]);
  switch (s.lock) {
    case SimLock::kReady:
      return ctx.Cme(kCmeNotAllowed);
    case SimLock::kPin:
      if (code != s.pin) return WrongPin(ctx);
      s.pin_retries = 3;
      return UnlockSim(s, ctx.now());
    case SimLock::kPuk: {
      if (args->size() != 2) return ctx.Cme(kCmeSimPukRequired);
      const std::string new_pin = ctx.Text((*args)[1]);
      if (code != s.puk) {
        if (s.puk_retries > 0) --s.puk_retries;
        if (s.puk_retries == 0) s.lock = SimLock::kBlocked;
        return ctx.Cme(kCmeIncorrectPassword);
      }
      if (!IsPinText(new_pin)) return ctx.Cme(kCmeIncorrectPassword);
      s.pin = new_pin;
      s.pin_enabled = true;
      s.pin_retries = 3;
      s.puk_retries = 10;
      return UnlockSim(s, ctx.now());
    }
    case SimLock::kNetworkPin:
      if (code != s.network_pin) return ctx.Cme(kCmeIncorrectPassword);
      s.lock = SimLock::kReady;
      s.sim_ready_at = ctx.now() + s.sim_init_ms;
      return;
    case SimLock::kBlocked:
      return ctx.Cme(kCmeSimFailure);
  }
}

void CmdLock(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return ctx.Line("+CLCK: (\"SC\")");
  if (cmd.form != AtForm::kSet) return ctx.Error();
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto mode = IntArg(*args, 1);
  if (args->size() < 2 || !(*args)[0].quoted || !mode || *mode > 2) return ctx.Error();
  if (ctx.Text((*args)[0]) != "SC") return ctx.Cme(kCmeNotSupported);
  if (!NeedSim(ctx, false)) return;
  CardState& s = ctx.s();
  if (*mode == 2) return ctx.Line(Format("+CLCK: %d", s.pin_enabled ? 1 : 0));
  if (args->size() < 3) return ctx.Cme(kCmeIncorrectPassword);
  if (ctx.Text((*args)[2]) != s.pin) return WrongPin(ctx);
  s.pin_retries = 3;
  s.pin_enabled = *mode == 1;
}

void CmdChangePassword(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return ctx.Line("+CPWD: (\"SC\",8)");
  if (cmd.form != AtForm::kSet) return ctx.Error();
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  if (args->size() != 3) return ctx.Error();
  if (ctx.Text((*args)[0]) != "SC") return ctx.Cme(kCmeNotSupported);
  if (!NeedSim(ctx, false)) return;
  CardState& s = ctx.s();
  // The SIM only changes a PIN it checks.
  if (!s.pin_enabled) return ctx.Cme(kCmeNotAllowed);
  if (ctx.Text((*args)[1]) != s.pin) return WrongPin(ctx);
  const std::string new_pin = ctx.Text((*args)[2]);
  if (!IsPinText(new_pin)) return ctx.Cme(kCmeIncorrectPassword);
  s.pin = new_pin;
  s.pin_retries = 3;
}

void CmdRetryCounters(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form != AtForm::kQuery) return ctx.Error();
  if (!ctx.s().sim_present) return ctx.Cme(kCmeSimNotInserted);
  ctx.Line(Format("_OERCN: %d, %d", ctx.s().pin_retries, ctx.s().puk_retries));
}

void CmdSimStatus(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form != AtForm::kExecute) return ctx.Error();
  CardState& s = ctx.s();
  // The three flags come up one after the other while the SIM reads its files.
  int first = 0, second = 0, third = 0;
  if (s.SimUsable() && !SimBusy(s, ctx.now())) {
    first = 1;
    const uint64_t half = s.sim_ready_at - s.sim_init_ms / 2;
    second = ctx.now() >= half ? 1 : 0;
    third = ctx.now() >= s.sim_ready_at ? 1 : 0;
  }
  ctx.Line(Format("_OBLS: %d,%d,%d", first, second, third));
}

void CmdImsi(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return;
  if (cmd.form != AtForm::kExecute) return ctx.Error();
  if (NeedSim(ctx, true)) ctx.Line(ctx.s().imsi);
}

void CmdOwnNumbers(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return;
  if (cmd.form != AtForm::kExecute) return ctx.Error();
  if (!NeedSim(ctx, true)) return;
  for (const auto& number : ctx.s().own_numbers) {
    ctx.Line("+CNUM: " + ctx.Quote("") + "," + ctx.Quote(number) + Format(",%d", number.starts_with('+') ? 145 : 129));
  }
}

// The ICCID as EF_ICCID holds it: BCD digits, each pair swapped, F-padded.
std::string IccidRecord(const std::string& iccid) {
  std::string out;
  for (size_t i = 0; i < 20; i += 2) {
    const char a = i < iccid.size() ? iccid[i] : 'F';
    const char b = i + 1 < iccid.size() ? iccid[i + 1] : 'F';
    out.push_back(b);
    out.push_back(a);
  }
  return out;
}

void CmdRestrictedSimAccess(Ctx& ctx, const AtCommand& cmd) {
  constexpr int kReadBinary = 176;
  constexpr int kEfIccid = 0x2FE2;
  if (cmd.form == AtForm::kTest) return;
  if (cmd.form != AtForm::kSet) return ctx.Error();
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto command = IntArg(*args, 0);
  auto file = IntArg(*args, 1);
  if (!command) return ctx.Error();
  if (!ctx.s().sim_present) return ctx.Cme(kCmeSimNotInserted);
  if (*command != kReadBinary) return ctx.Line("+CRSM: 109,0");
  if (!file || *file != kEfIccid) return ctx.Line("+CRSM: 106,130");
  ctx.Line("+CRSM: 144,0,\"" + IccidRecord(ctx.s().iccid) + "\"");
}

// ---------------------------------------------------------------------------
// Radio and network.

void CmdFunctionality(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line(Format("+CFUN: %d", ctx.s().cfun));
  if (cmd.form == AtForm::kTest) return ctx.Line("+CFUN: (0,1,4),(0-1)");
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto fun = IntArg(*args, 0);
  if (!fun || (*fun != 0 && *fun != 1 && *fun != 4)) return ctx.Cme(kCmeNotSupported);
  ctx.s().cfun = *fun;
}

std::string RegistrationLine(const char* prefix, int n, int stat, const CardState& s, bool query) {
  std::string line = prefix;
  line += query ? Format("%d,%d", n, stat) : Format("%d", stat);
  if (n == 2 && (stat == 1 || stat == 5)) line += Format(",\"%04X\",\"%08X\"", s.lac, s.cell_id);
  return line;
}

void Registration(Ctx& ctx, const AtCommand& cmd, const char* prefix, int& n, int stat) {
  if (cmd.form == AtForm::kQuery) return ctx.Line(RegistrationLine(prefix, n, stat, ctx.s(), true));
  if (cmd.form == AtForm::kTest) return ctx.Line(std::string(prefix) + "(0-2)");
  if (auto value = SwitchArg(ctx, cmd, 2)) n = *value;
}

void CmdCsRegistration(Ctx& ctx, const AtCommand& cmd) {
  Registration(ctx, cmd, "+CREG: ", ctx.s().reports.creg, ctx.s().CsStat());
}
void CmdPsRegistration(Ctx& ctx, const AtCommand& cmd) {
  Registration(ctx, cmd, "+CGREG: ", ctx.s().reports.cgreg, ctx.s().PsStat());
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

void CmdOperator(Ctx& ctx, const AtCommand& cmd) {
  CardState& s = ctx.s();
  if (cmd.form == AtForm::kQuery) {
    if (!s.Registered()) return ctx.Line(Format("+COPS: %d", s.cops_mode));
    std::string line = Format("+COPS: %d,%d,", s.cops_mode, s.cops_format) + OperatorField(ctx, s.cops_format);
    if (ctx.card().Has(kFeature3g)) line += Format(",%d", s.Rat() == 2 ? 2 : 0);
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
int EdgeBit(const CardState& s) { return s.Rat() == 0 && s.cell_2g == 2 ? 2 : 0; }

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
  if (args->size() < 2) return;
  if (!ctx.s().Registered()) return ctx.Cme(kCmeNoNetworkService);
  ctx.After("+CUSD: 0," + ctx.Quote(ctx.s().ussd_reply) + ",15");
}

// ---------------------------------------------------------------------------
// Packet data.

void CmdContext(Ctx& ctx, const AtCommand& cmd) {
  CardState& s = ctx.s();
  if (cmd.form == AtForm::kQuery) {
    for (const auto& [cid, context] : s.contexts) {
      ctx.Line(Format("+CGDCONT: %d,", cid) + ctx.Quote(context.type) + "," + ctx.Quote(context.apn) +
               ",\"0.0.0.0\",0,0");
    }
    return;
  }
  if (cmd.form == AtForm::kTest) return ctx.Line("+CGDCONT: (1-16),\"IP\",,,(0-2),(0-4)");
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto cid = IntArg(*args, 0);
  if (!cid || *cid < 1 || *cid > 16) return ctx.Cme(kCmeNotSupported);
  if (args->size() == 1) {
    s.contexts.erase(*cid);
    return;
  }
  PdpContext context;
  context.type = ctx.Text((*args)[1]);
  if (context.type != "IP" && context.type != "PPP") return ctx.Cme(kCmeNotSupported);
  if (args->size() > 2) context.apn = ctx.Text((*args)[2]);
  s.contexts[*cid] = context;
}

void CmdAttach(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line(Format("+CGATT: %d", ctx.s().PsStat() == 1 || ctx.s().PsStat() == 5 ? 1 : 0));
  if (cmd.form == AtForm::kTest) return ctx.Line("+CGATT: (0,1)");
  auto n = SwitchArg(ctx, cmd, 1);
  if (!n) return;
  if (*n == 1 && !ctx.s().Registered()) return ctx.Cme(kCmeNoNetworkService);
  ctx.s().attached = *n == 1;
}

void CmdCredentials(Ctx& ctx, const AtCommand& cmd) {
  CardState& s = ctx.s();
  if (cmd.form == AtForm::kQuery) {
    return ctx.Line(Format("$QCPDPP: 1,%d", s.auth_type) + (s.auth_type == 1 ? "," + ctx.Quote(s.auth_user) : ""));
  }
  if (cmd.form != AtForm::kSet) return ctx.Error();
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto cid = IntArg(*args, 0);
  auto type = IntArg(*args, 1);
  if (!cid || *cid < 1 || *cid > 16 || !type || *type > 2) return ctx.Error();
  s.auth_type = *type;
  s.auth_password = args->size() > 2 ? ctx.Text((*args)[2]) : "";
  s.auth_user = args->size() > 3 ? ctx.Text((*args)[3]) : "";
}

void CmdWanCall(Ctx& ctx, const AtCommand& cmd) {
  CardState& s = ctx.s();
  if (cmd.form == AtForm::kQuery) {
    for (const auto& entry : s.contexts) {
      ctx.Line(Format("_OWANCALL: %d, %d", entry.first, entry.first == 1 ? s.wan_state : 0));
    }
    return;
  }
  if (cmd.form == AtForm::kTest) return ctx.Line("_OWANCALL: (1-16),(0-1),(0-1)");
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto cid = IntArg(*args, 0);
  auto action = IntArg(*args, 1);
  if (!cid || !action || *action > 1) return ctx.Error();
  if (*cid != 1 || !s.contexts.contains(*cid)) return ctx.Cme(kCmeNotSupported);
  if (*action == 0) {
    s.wan_state = 0;
  } else {
    s.wan_state = s.PsStat() == 1 || s.PsStat() == 5 ? 1 : 3;
  }
}

void CmdPdpReports(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line(Format("_OGACT: 1,%d", ctx.s().PdpActive() ? 1 : 0));
  if (auto n = SwitchArg(ctx, cmd, 1)) ctx.s().reports.pdp = *n == 1;
}

void CmdDial(Ctx& ctx, const AtCommand& cmd) {
  if (ctx.role() == PortRole::kApplication) return ctx.Error();
  std::string_view number = cmd.args;
  while (!number.empty() && (number[0] == 'T' || number[0] == 't' || number[0] == 'P' || number[0] == 'p')) {
    number.remove_prefix(1);
  }
  CardState& s = ctx.s();
  const bool packet = number.starts_with("*99") && number.ends_with("#");
  if (!packet || !(s.PsStat() == 1 || s.PsStat() == 5) || s.data_call) {
    return ctx.Final(Response::Final::kNoCarrier, 0);
  }
  s.data_call = true;
  ctx.session().mode = PortSession::Mode::kData;
  ctx.Final(Response::Final::kConnect, 0);
}

void CmdHangUp(Ctx& ctx, const AtCommand&) {
  if (ctx.role() != PortRole::kApplication) ctx.s().data_call = false;
}

// ---------------------------------------------------------------------------
// Messages.

int Base(Ctx& ctx) { return ctx.card().SmsIndexBase(); }

// The storage slot of a client index, or nothing (with the error given).
std::optional<size_t> SlotOf(Ctx& ctx, const AtCommand& cmd) {
  auto args = ArgsOf(ctx, cmd);
  if (!args) return std::nullopt;
  auto index = IntArg(*args, 0);
  if (!index) return ctx.Error(), std::nullopt;
  const int slot = *index - Base(ctx);
  if (slot < 0 || static_cast<size_t>(slot) >= ctx.s().sms.size()) return ctx.Cms(kCmsInvalidIndex), std::nullopt;
  return static_cast<size_t>(slot);
}

void CmdMessageFormat(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kQuery) return ctx.Line("+CMGF: 0");
  if (cmd.form == AtForm::kTest) return ctx.Line("+CMGF: (0)");
  // PDU mode only.
  if (auto n = SwitchArg(ctx, cmd, 1); n && *n != 0) ctx.Cms(kCmsNotSupported);
}

void CmdIndicationsSms(Ctx& ctx, const AtCommand& cmd) {
  CardState& s = ctx.s();
  if (cmd.form == AtForm::kQuery) return ctx.Line(Format("+CNMI: 2,%d,0,%d,0", s.cnmi_mt, s.cnmi_ds));
  if (cmd.form == AtForm::kTest) return ctx.Line("+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)");
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto mode = IntArg(*args, 0);
  auto mt = args->size() > 1 ? IntArg(*args, 1) : std::optional<int>(0);
  auto ds = args->size() > 3 ? IntArg(*args, 3) : std::optional<int>(0);
  if (!mode || *mode > 2 || !mt || *mt > 3 || !ds || *ds > 2) return ctx.Cms(kCmsNotSupported);
  s.cnmi_mt = *mt;
  s.cnmi_ds = *ds;
}

int UsedSlots(const CardState& s) {
  int used = 0;
  for (const auto& m : s.sms) used += m ? 1 : 0;
  return used;
}

void CmdStorage(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return ctx.Line("+CPMS: (\"SM\"),(\"SM\"),(\"SM\")");
  if (!NeedSmsStorage(ctx)) return;
  const int used = UsedSlots(ctx.s());
  const int total = static_cast<int>(ctx.s().sms.size());
  if (cmd.form == AtForm::kQuery) {
    return ctx.Line(Format("+CPMS: \"SM\",%d,%d,\"SM\",%d,%d,\"SM\",%d,%d", used, total, used, total, used, total));
  }
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  for (const auto& arg : *args) {
    if (arg.text != "SM") return ctx.Cms(kCmsNotSupported);
  }
  ctx.Line(Format("+CPMS: %d,%d,%d,%d,%d,%d", used, total, used, total, used, total));
}

void CmdServiceCentre(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return;
  if (!NeedSmsStorage(ctx)) return;
  CardState& s = ctx.s();
  if (cmd.form == AtForm::kQuery) {
    return ctx.Line("+CSCA: " + ctx.Quote(s.service_centre) + Format(",%d", s.service_centre.starts_with('+') ? 145 : 129));
  }
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  if (args->empty() || !(*args)[0].quoted) return ctx.Error();
  s.service_centre = ctx.Text((*args)[0]);
}

void ListOne(Ctx& ctx, const char* prefix, size_t slot, bool with_index) {
  StoredSms& m = *ctx.s().sms[slot];
  std::string header = prefix;
  if (with_index) header += Format("%d,", static_cast<int>(slot) + Base(ctx));
  header += Format("%d,,%d", m.status, m.tpdu_length);
  ctx.Line(header);
  ctx.Line(m.pdu_hex);
  if (m.status == 0) m.status = 1;  // reading a new message marks it read
}

void CmdList(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return ctx.Line("+CMGL: (0-4)");
  if (cmd.form != AtForm::kSet && cmd.form != AtForm::kExecute) return ctx.Error();
  int which = 0;
  if (cmd.form == AtForm::kSet) {
    auto args = ArgsOf(ctx, cmd);
    if (!args) return;
    auto stat = IntArg(*args, 0);
    // PDU mode takes the status as a number; "ALL" is text mode's.
    if (!stat || *stat > 4) return ctx.Cms(kCmsInvalidPdu);
    which = *stat;
  }
  if (!NeedSmsStorage(ctx)) return;
  for (size_t slot = 0; slot < ctx.s().sms.size(); ++slot) {
    const auto& m = ctx.s().sms[slot];
    if (m && (which == 4 || m->status == which)) ListOne(ctx, "+CMGL: ", slot, true);
  }
}

void CmdRead(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return;
  if (cmd.form != AtForm::kSet) return ctx.Error();
  if (!NeedSmsStorage(ctx)) return;
  auto slot = SlotOf(ctx, cmd);
  if (!slot) return;
  if (!ctx.s().sms[*slot]) return ctx.Cms(kCmsInvalidIndex);
  ListOne(ctx, "+CMGR: ", *slot, false);
}

void CmdDelete(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return ctx.Line("+CMGD: (0-19),(0-4)");
  if (cmd.form != AtForm::kSet) return ctx.Error();
  if (!NeedSmsStorage(ctx)) return;
  auto slot = SlotOf(ctx, cmd);
  if (slot) ctx.s().sms[*slot].reset();
}

void CmdWrite(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return;
  if (cmd.form != AtForm::kSet) return ctx.Error();
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto length = IntArg(*args, 0);
  if (!length || *length < 1 || *length > 164) return ctx.Cms(kCmsInvalidPdu);
  if (!NeedSmsStorage(ctx)) return;
  ctx.session().mode = PortSession::Mode::kSmsBody;
  ctx.session().sms_body_length = *length;
  ctx.Final(Response::Final::kPrompt, 0);
}

void CmdSendStored(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return;
  if (cmd.form != AtForm::kSet) return ctx.Error();
  if (!NeedSmsStorage(ctx)) return;
  auto slot = SlotOf(ctx, cmd);
  if (!slot) return;
  auto& m = ctx.s().sms[*slot];
  if (!m) return ctx.Cms(kCmsInvalidIndex);
  if (!ctx.s().Registered()) return ctx.Cms(kCmsNoNetworkService);
  ctx.s().message_reference = (ctx.s().message_reference + 1) % 256;
  m->status = 3;
  ctx.Line(Format("+CMSS: %d", ctx.s().message_reference));
}

// ---------------------------------------------------------------------------

using Handler = void (*)(Ctx&, const AtCommand&);

struct Entry {
  std::string_view name;
  uint32_t features;  // all of them needed
  Handler handler;
};

constexpr std::array<Entry, 64> kCommands = {{
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
    {"_OBLS", 0, CmdSimStatus},
    {"+CIMI", 0, CmdImsi},
    {"+CNUM", 0, CmdOwnNumbers},
    {"+CRSM", 0, CmdRestrictedSimAccess},
    {"+CFUN", 0, CmdFunctionality},
    {"+CREG", kFeatureCsRegistration, CmdCsRegistration},
    {"+CGREG", 0, CmdPsRegistration},
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

bool IsHex(std::string_view text) {
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
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
  const int length = context.session.sms_body_length;
  context.session.mode = PortSession::Mode::kCommand;
  context.session.sms_body_length = 0;
  if (cancelled) return;
  std::string pdu(body);
  while (!pdu.empty() && (pdu.back() == '\r' || pdu.back() == '\n' || pdu.back() == ' ')) pdu.pop_back();
  if (pdu.size() < 2 || pdu.size() % 2 != 0 || !IsHex(pdu)) return ctx.Cms(kCmsInvalidPdu);
  const int sca_octets = 1 + std::stoi(pdu.substr(0, 2), nullptr, 16);
  if (static_cast<int>(pdu.size() / 2) - sca_octets != length) return ctx.Cms(kCmsInvalidPdu);
  for (char& c : pdu) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto& store = context.state.sms;
  for (size_t slot = 0; slot < store.size(); ++slot) {
    if (!store[slot]) {
      store[slot] = StoredSms{2, pdu, length};
      ctx.Line(Format("+CMGW: %d", static_cast<int>(slot) + context.card.SmsIndexBase()));
      return;
    }
  }
  ctx.Cms(kCmsMemoryFull);
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
  if (changed(last.cs, s.CsStat()) && s.reports.creg > 0 && card.Has(kFeatureCsRegistration)) {
    out.push_back(RegistrationLine("+CREG: ", s.reports.creg, s.CsStat(), s, false));
  }
  if (changed(last.ps, s.PsStat()) && s.reports.cgreg > 0) {
    out.push_back(RegistrationLine("+CGREG: ", s.reports.cgreg, s.PsStat(), s, false));
  }
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

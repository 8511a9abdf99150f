// What the card does with its SIM: PIN, PUK and network code, the PIN
// check, retry counters, IMSI, own numbers and restricted SIM access.
#include "sim/command_context.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace sim::commands {
namespace {

// ---------------------------------------------------------------------------
// SIM gates.

bool SimBusy(CardState& s, uint64_t now) { return now < s.sim_busy_until; }

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

}  // namespace

void CmdPin(Ctx& ctx, const AtCommand& cmd) {
  CardState& s = ctx.s();
  if (cmd.form == AtForm::kTest) return;
  if (!s.sim_present) return ctx.Cme(kCmeSimNotInserted);
  if (SimBusy(s, ctx.now())) {
    const bool own_not_ready = cmd.form == AtForm::kQuery && ctx.card().Has(kFeatureOwnSimStatus);
    return ctx.Cme(own_not_ready ? kCmeSimNotReady : kCmeSimBusy);
  }
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

// "AT+CPINR" lists the counters of every code, "AT+CPINR=\"SIM PU*\"" those
// whose name matches (a trailing '*' matches any rest), each as
// "+CPINR: code,retries,default retries".
void CmdPinRetries(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return;
  if (cmd.form == AtForm::kQuery) return ctx.Error();
  std::string pattern = "*";
  if (cmd.form == AtForm::kSet) {
    auto args = ArgsOf(ctx, cmd);
    if (!args) return;
    if (args->size() != 1) return ctx.Error();
    pattern = ctx.Text((*args)[0]);
  }
  if (!ctx.s().sim_present) return ctx.Cme(kCmeSimNotInserted);
  const CardState& s = ctx.s();
  struct Counter {
    std::string_view code;
    int retries, initial;
  };
  // The simulated SIM keeps no PIN2: its counters stand at their start.
  const Counter counters[] = {{"SIM PIN", s.pin_retries, 3}, {"SIM PUK", s.puk_retries, 10},
                              {"SIM PIN2", 3, 3}, {"SIM PUK2", 10, 10}};
  const bool wildcard = pattern.ends_with('*');
  if (wildcard) pattern.pop_back();
  for (const Counter& c : counters) {
    if (wildcard ? c.code.starts_with(pattern) : c.code == pattern) {
      ctx.Line("+CPINR: " + std::string(c.code) + Format(",%d,%d", c.retries, c.initial));
    }
  }
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

}  // namespace sim::commands

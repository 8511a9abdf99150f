// The card's message commands: the SIM's message store in PDU mode, its
// service centre, and sending messages, stored or typed after the prompt.
#include "sim/command_context.h"

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ascii.h"
#include "sim/sms_submit_parser.h"

namespace sim::commands {
namespace {

// The SIM gate of the message store: a CMS error when the SIM cannot serve it.
bool SimInitialised(CardState& s, uint64_t now) { return s.SimUsable() && now >= s.sim_ready_at; }

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

int UsedSlots(const CardState& s) {
  int used = 0;
  for (const auto& m : s.sms) used += m ? 1 : 0;
  return used;
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

}  // namespace

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
  if (cmd.form == AtForm::kTest) {
    const int base = Base(ctx);
    return ctx.Line(Format("+CMGD: (%d-%d),(0-4)", base, base + static_cast<int>(ctx.s().sms.size()) - 1));
  }
  if (cmd.form != AtForm::kSet) return ctx.Error();
  if (!NeedSmsStorage(ctx)) return;
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  int flag = 0;
  if (args->size() > 1 && !(*args)[1].text.empty()) {
    auto n = IntArg(*args, 1);
    if (!n || *n > 4) return ctx.Cms(kCmsNotSupported);
    flag = *n;
  }
  if (flag == 0) {
    auto slot = SlotOf(ctx, cmd);
    if (slot) ctx.s().sms[*slot].reset();
    return;
  }
  // With a flag the index is ignored: 1 every read message, 2 and the sent
  // ones, 3 and the unsent ones, 4 all.
  for (auto& m : ctx.s().sms) {
    if (m && (m->status == 1 || flag == 4 || (flag >= 2 && m->status == 3) || (flag >= 3 && m->status == 2))) {
      m.reset();
    }
  }
}

void CmdMessageService(Ctx& ctx, const AtCommand& cmd) {
  // Phase 2 only: no acknowledgement of incoming messages.
  if (cmd.form == AtForm::kQuery) return ctx.Line("+CSMS: 0,1,1,1");
  if (cmd.form == AtForm::kTest) return ctx.Line("+CSMS: (0)");
  if (auto n = SwitchArg(ctx, cmd, 0)) ctx.Line("+CSMS: 1,1,1");
}

namespace {

// The "> " prompt for a PDU of `length` octets after the service-centre
// address.
void Prompt(Ctx& ctx, PortSession::Body body_for, int length, int status) {
  ctx.session().mode = PortSession::Mode::kSmsBody;
  ctx.session().body_for = body_for;
  ctx.session().sms_body_length = length;
  ctx.session().sms_write_status = status;
  ctx.Final(Response::Final::kPrompt, 0);
}

// The length argument of AT+CMGW and AT+CMGS: what fits one message.
std::optional<int> PduLength(Ctx& ctx, const Args& args) {
  auto length = IntArg(args, 0);
  if (!length || *length < 1 || *length > 164) return ctx.Cms(kCmsInvalidPdu), std::nullopt;
  return length;
}

}  // namespace

void CmdWrite(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return;
  if (cmd.form != AtForm::kSet) return ctx.Error();
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto length = PduLength(ctx, *args);
  if (!length) return;
  // PDU mode: 0 received unread, 1 received read, 2 unsent (the default), 3 sent.
  int status = 2;
  if (args->size() > 1 && !(*args)[1].text.empty()) {
    auto stat = IntArg(*args, 1);
    if (!stat || *stat > 3) return ctx.Cms(kCmsInvalidPdu);
    status = *stat;
  }
  if (!NeedSmsStorage(ctx)) return;
  Prompt(ctx, PortSession::Body::kWrite, *length, status);
}

void CmdSend(Ctx& ctx, const AtCommand& cmd) {
  if (cmd.form == AtForm::kTest) return;
  if (cmd.form != AtForm::kSet) return ctx.Error();
  auto args = ArgsOf(ctx, cmd);
  if (!args) return;
  auto length = PduLength(ctx, *args);
  if (!length) return;
  if (!NeedSmsStorage(ctx)) return;
  Prompt(ctx, PortSession::Body::kSend, *length, 0);
}

namespace {

// The PDU typed after the prompt, upper case, or nothing when it is not hex
// or its length differs from the one announced.
std::optional<std::string> TypedPdu(std::string_view body, int length) {
  std::string pdu(body);
  while (!pdu.empty() && (pdu.back() == '\r' || pdu.back() == '\n' || pdu.back() == ' ')) pdu.pop_back();
  if (pdu.size() < 2 || pdu.size() % 2 != 0) return std::nullopt;
  for (char& c : pdu) {
    if (platform::HexDigitValue(c) < 0) return std::nullopt;
    c = platform::AsciiToUpper(c);
  }
  const int sca_octets = 1 + platform::HexDigitValue(pdu[0]) * 16 + platform::HexDigitValue(pdu[1]);
  if (static_cast<int>(pdu.size() / 2) - sca_octets != length) return std::nullopt;
  return pdu;
}

// The message reference the card gives the next message it sends.
int NextReference(CardState& s) {
  s.message_reference = (s.message_reference + 1) % 256;
  return s.message_reference;
}

}  // namespace

void FinishWrite(Ctx& ctx, std::string_view body, int length, int status) {
  auto pdu = TypedPdu(body, length);
  if (!pdu) return ctx.Cms(kCmsInvalidPdu);
  auto& store = ctx.s().sms;
  for (size_t slot = 0; slot < store.size(); ++slot) {
    if (!store[slot]) {
      store[slot] = StoredSms{status, *pdu, length};
      ctx.Line(Format("+CMGW: %d", static_cast<int>(slot) + Base(ctx)));
      return;
    }
  }
  ctx.Cms(kCmsMemoryFull);
}

void FinishSend(Ctx& ctx, std::string_view body, int length) {
  auto pdu = TypedPdu(body, length);
  if (!pdu) return ctx.Cms(kCmsInvalidPdu);
  auto submit = ParseSubmitPdu(*pdu);
  if (!submit) return ctx.Cms(kCmsInvalidPdu);
  CardState& s = ctx.s();
  if (!s.Registered()) return ctx.Cms(kCmsNoNetworkService);
  const int reference = NextReference(s);
  ctx.Line(Format("+CMGS: %d", reference));
  if (submit->status_report) {
    s.pending_reports.push_back({ctx.now() + s.status_report_delay_ms, reference, submit->recipient});
  }
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
  CardState& s = ctx.s();
  const int reference = NextReference(s);
  m->status = 3;
  ctx.Line(Format("+CMSS: %d", reference));
  // A stored message that asks for a report gets one, as a typed one does.
  const auto submit = ParseSubmitPdu(m->pdu_hex);
  if (submit && submit->status_report) {
    s.pending_reports.push_back({ctx.now() + s.status_report_delay_ms, reference, submit->recipient});
  }
}

}  // namespace sim::commands

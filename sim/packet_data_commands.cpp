// The card's packet data commands: contexts, attach, credentials, the
// WAN call, and dialling and hanging up the data call.
#include "sim/command_context.h"
#include "sim/ndis_driver.h"

#include <string>
#include <string_view>

namespace sim::commands {

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
    std::string line = Format("$QCPDPP: 1,%d", s.auth_type);
    if (s.auth_type == 1) line.append(",").append(ctx.Quote(s.auth_user));
    return ctx.Line(line);
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
  // On a composite card the WAN call is the network driver's call: it comes
  // up through the driver's stages, and its state is the driver's.
  NdisDriver* driver = ctx.wan_call_driver();
  if (cmd.form == AtForm::kQuery) {
    if (driver) s.wan_state = driver->WanCallState();
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
  if (driver) {
    s.wan_state = *action == 0 ? driver->StopWanCall() : driver->StartWanCall();
  } else if (*action == 0) {
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

}  // namespace sim::commands

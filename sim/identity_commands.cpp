// The card's basic commands (echo, reset, error mode, character set) and
// what it says about itself: maker, model, firmware, IMEI.
#include "sim/command_context.h"

#include <string>

namespace sim::commands {

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
  // The stack 1 and 2 cards, those with the vendor's own commands, put the
  // serial number after the IMEI; the stack 3 card (which has AT_OGSN for
  // the serial number) and the standard card answer the IMEI alone.
  if (ctx.card().Has(kFeatureOwnCommands)) {
    ctx.Line(ctx.s().imei + "," + ctx.s().serial);
  } else {
    ctx.Line(ctx.s().imei);
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

}  // namespace sim::commands

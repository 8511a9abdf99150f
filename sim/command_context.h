// What the card's command handlers share: the errors they give, the view of
// one command's context they work on, argument helpers, and the handlers
// themselves, which the command table in at_interpreter.cpp refers to.
// Internal to the simulated card; other code includes at_interpreter.h.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/at_command_parser.h"
#include "sim/at_interpreter.h"
#include "sim/card_class.h"
#include "sim/card_state.h"
#include "sim/sim_alphabet.h"

namespace sim::commands {

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
  NdisDriver* wan_call_driver() { return c_.wan_call_driver; }
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
std::optional<Args> ArgsOf(Ctx& ctx, const AtCommand& cmd);
std::optional<int> IntArg(const Args& args, size_t i);
// A numeric switch "AT+X=n" with n in [0, max]; plain "ERROR" otherwise.
std::optional<int> SwitchArg(Ctx& ctx, const AtCommand& cmd, int max);

// Network state as the card shows it, both in answers and in unsolicited
// reports (network_commands.cpp).
std::string RegistrationLine(const CardClass& card, const char* prefix, int n, int stat, const CardState& s,
                             bool query);
// The 27.007 access technology of the serving cell: 0 GSM, 3 EDGE, 2 UMTS,
// 4 HSDPA, 5 HSUPA, 6 HSPA, 7 LTE; -1 when not registered.
int ServingAct(const CardState& s);
int ReportedRssi(const CardState& s);
int ReportedBer(const CardState& s);
int ReportedAntenna(const CardState& s);
int EdgeBit(const CardState& s);
int Reported2gCell(const CardState& s);
int SystemNumber(const CardState& s);

// Basic commands and identity (identity_commands.cpp).
void CmdEcho(Ctx& ctx, const AtCommand& cmd);
void CmdAccept(Ctx& ctx, const AtCommand& cmd);
void CmdVerbose(Ctx& ctx, const AtCommand& cmd);
void CmdReset(Ctx& ctx, const AtCommand& cmd);
void CmdRegister(Ctx& ctx, const AtCommand& cmd);
void CmdInfo(Ctx& ctx, const AtCommand& cmd);
void CmdManufacturer(Ctx& ctx, const AtCommand& cmd);
void CmdModel(Ctx& ctx, const AtCommand& cmd);
void CmdFirmware(Ctx& ctx, const AtCommand& cmd);
void CmdHardware(Ctx& ctx, const AtCommand& cmd);
void CmdSerialNumber(Ctx& ctx, const AtCommand& cmd);
void CmdOwnSerial(Ctx& ctx, const AtCommand& cmd);
void CmdErrorMode(Ctx& ctx, const AtCommand& cmd);
void CmdCharset(Ctx& ctx, const AtCommand& cmd);

// SIM and PIN (sim_commands.cpp).
void CmdPin(Ctx& ctx, const AtCommand& cmd);
void CmdLock(Ctx& ctx, const AtCommand& cmd);
void CmdChangePassword(Ctx& ctx, const AtCommand& cmd);
void CmdRetryCounters(Ctx& ctx, const AtCommand& cmd);
void CmdPinRetries(Ctx& ctx, const AtCommand& cmd);
void CmdSimStatus(Ctx& ctx, const AtCommand& cmd);
void CmdImsi(Ctx& ctx, const AtCommand& cmd);
void CmdOwnNumbers(Ctx& ctx, const AtCommand& cmd);
void CmdRestrictedSimAccess(Ctx& ctx, const AtCommand& cmd);

// Radio and network (network_commands.cpp).
void CmdFunctionality(Ctx& ctx, const AtCommand& cmd);
void CmdCsRegistration(Ctx& ctx, const AtCommand& cmd);
void CmdPsRegistration(Ctx& ctx, const AtCommand& cmd);
void CmdEpsRegistration(Ctx& ctx, const AtCommand& cmd);
void CmdOperator(Ctx& ctx, const AtCommand& cmd);
void CmdOperatorName(Ctx& ctx, const AtCommand& cmd);
void CmdSignal(Ctx& ctx, const AtCommand& cmd);
void CmdSignalReports(Ctx& ctx, const AtCommand& cmd);
void CmdBcmSignal(Ctx& ctx, const AtCommand& cmd);
void CmdBcmRadioInfo(Ctx& ctx, const AtCommand& cmd);
void CmdAntenna(Ctx& ctx, const AtCommand& cmd);
void CmdCellType(Ctx& ctx, const AtCommand& cmd);
void CmdWcdmaCellType(Ctx& ctx, const AtCommand& cmd);
void CmdHsdpa(Ctx& ctx, const AtCommand& cmd);
void CmdSystem(Ctx& ctx, const AtCommand& cmd);
void CmdTechnology(Ctx& ctx, const AtCommand& cmd);
void CmdIdleText(Ctx& ctx, const AtCommand& cmd);
void CmdIndications(Ctx& ctx, const AtCommand& cmd);
void CmdVoice(Ctx& ctx, const AtCommand& cmd);
void CmdCallerId(Ctx& ctx, const AtCommand& cmd);
void CmdUssd(Ctx& ctx, const AtCommand& cmd);

// Packet data (packet_data_commands.cpp).
void CmdContext(Ctx& ctx, const AtCommand& cmd);
void CmdAttach(Ctx& ctx, const AtCommand& cmd);
void CmdCredentials(Ctx& ctx, const AtCommand& cmd);
void CmdWanCall(Ctx& ctx, const AtCommand& cmd);
void CmdPdpReports(Ctx& ctx, const AtCommand& cmd);
void CmdDial(Ctx& ctx, const AtCommand& cmd);
void CmdHangUp(Ctx& ctx, const AtCommand& cmd);

// Messages (sms_commands.cpp).
void CmdMessageFormat(Ctx& ctx, const AtCommand& cmd);
void CmdIndicationsSms(Ctx& ctx, const AtCommand& cmd);
void CmdStorage(Ctx& ctx, const AtCommand& cmd);
void CmdServiceCentre(Ctx& ctx, const AtCommand& cmd);
void CmdList(Ctx& ctx, const AtCommand& cmd);
void CmdRead(Ctx& ctx, const AtCommand& cmd);
void CmdDelete(Ctx& ctx, const AtCommand& cmd);
void CmdWrite(Ctx& ctx, const AtCommand& cmd);
void CmdSendStored(Ctx& ctx, const AtCommand& cmd);
void CmdSend(Ctx& ctx, const AtCommand& cmd);
void CmdMessageService(Ctx& ctx, const AtCommand& cmd);
// The PDU typed after the prompt of AT+CMGW (stored with `status`) and of
// AT+CMGS (sent).
void FinishWrite(Ctx& ctx, std::string_view body, int length, int status);
void FinishSend(Ctx& ctx, std::string_view body, int length);

}  // namespace sim::commands

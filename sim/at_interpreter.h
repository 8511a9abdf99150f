// What the card answers: one handler per AT command, found through a table
// that also says which card classes know the command. Handlers change the
// CardState and fill a Response; the port turns that into bytes. Runs under
// SimCard's lock, never touches a port.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/at_command_parser.h"
#include "sim/card_class.h"
#include "sim/card_state.h"

namespace sim {

class NdisDriver;

// What a port is for. A multiplexing card has an application port for
// commands and a modem for the data call; a card without multiplexing does
// both on one port.
enum class PortRole { kApplication, kModem, kCombined };

// Settings that belong to one port (each channel of a real card has its own).
struct PortSession {
  enum class Mode { kCommand, kSmsBody, kData };
  bool echo = true;
  int cmee = 0;
  Mode mode = Mode::kCommand;
  // What the body after the "> " prompt is for: storing (AT+CMGW, with the
  // status it gets) or sending (AT+CMGS).
  enum class Body { kWrite, kSend };
  Body body_for = Body::kWrite;
  int sms_body_length = 0;
  int sms_write_status = 2;
};

struct Response {
  enum class Final { kOk, kError, kCmeError, kCmsError, kConnect, kNoCarrier, kPrompt };
  std::vector<std::string> lines;
  Final final = Final::kOk;
  int code = 0;
};

struct CommandContext {
  const CardClass& card;
  CardState& state;
  PortSession& session;
  PortRole role;
  uint64_t now;  // platform clock, milliseconds
  Response& out;
  // Unsolicited lines the command causes after its final result ("+CUSD:").
  std::vector<std::string>& after;
  // The WWAN driver whose call is the card's WAN call (composite cards).
  NdisDriver* wan_call_driver = nullptr;
};

// Runs the commands of one line in order; the first failure ends the line.
void RunCommands(CommandContext& ctx, const std::vector<AtCommand>& commands);
// The message body typed after the "> " prompt (Ctrl-Z seen), or its
// cancellation (ESC), which stores or sends nothing and answers "OK". A sent
// message that asks for a status report leaves one pending in the state.
void FinishSmsBody(CommandContext& ctx, std::string_view body, bool cancelled);

// The answer's bytes, framed with CR LF as the card sends them.
std::string FrameResponse(const PortSession& session, const Response& response);
// The final result alone ("\r\nOK\r\n", "\r\n+CME ERROR: 10\r\n", ...).
std::string FrameFinal(const PortSession& session, const Response& response);

// Unsolicited reports for every state that changed since the last call (and
// whose reports the program switched on); remembers what it reported.
void CollectReports(const CardClass& card, CardState& state, std::vector<std::string>& out);

// A text as the card puts it between double quotes in the character set
// the program chose.
std::string QuoteText(const CardState& state, std::string_view utf8);

// The SIM becomes usable: the PIN (or PUK, or network code) was accepted.
void UnlockSim(CardState& state, uint64_t now);
// Fresh power: the SIM locks again when its PIN check is on, reports are off.
void PowerUp(CardState& state, uint64_t now);

}  // namespace sim

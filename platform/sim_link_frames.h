// The line protocol that stands in for PPP between the simulated dial-up
// service and the simulated card, spoken on the card's modem port while it
// is in data mode (after "CONNECT"):
//
//   service → card                 card → service
//   AUTH <user> <password>         AUTH-ACK, or AUTH-NAK when the network
//                                  refuses the pair
//   ADDR-REQ                       ADDR <a.b.c.d>, the address the network
//                                  gives the link (AUTH-NAK before an
//                                  accepted AUTH)
//   ECHO <data>                    ECHO-REPLY <data>, the same data (REJECT
//                                  before an accepted AUTH)
//   anything else                  REJECT
//   +++                            OK; the port is back in command mode
//                                  (no guard time: "+++" is never part of a
//                                  frame, see below)
//   (the network ends the call)    NO CARRIER; back in command mode
//
// A frame is one line: its name and its fields, each after a single blank,
// ended by CR LF. A reader takes CR or LF as a line end and skips empty
// lines; a line longer than kMaxLinkLine is dropped whole. Fields are
// percent-encoded: every byte outside '!'..'~', and '%' and '+' themselves,
// is "%XX", so a field can hold blanks, line ends and any byte, and no frame
// ever contains a '+'. An empty field is nothing between its blanks.
//
// Everything here is text in, values out: the card's side (sim/data_link.h)
// and the service's side (sim_dial_up_service.h) do the port I/O.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr size_t kMaxLinkLine = 1024;

enum class LinkFrameType { kAuth, kAuthAck, kAuthNak, kAddressRequest, kAddress, kEcho, kEchoReply, kReject };

struct LinkFrame {
  LinkFrameType type = LinkFrameType::kReject;
  std::vector<std::string> fields;  // as many as the type has: AUTH 2, ADDR, ECHO, ECHO-REPLY 1, the others 0

  bool operator==(const LinkFrame&) const = default;
};

// The frame's line, CR LF included.
std::string FormatLinkFrame(const LinkFrame& frame);
// A line without its end; nullopt for an unknown name, a wrong number of
// fields or a broken "%XX".
std::optional<LinkFrame> ParseLinkFrame(std::string_view line);

// Splits a byte stream into lines, one byte at a time.
class LinkLineSplitter {
 public:
  enum class Result {
    kNothing,   // the byte belongs to a line still open, or ends an empty one
    kLine,      // the byte ended a line: Line() holds it
    kOverlong,  // the byte ended a line that was too long; it is gone
  };
  Result Take(char byte);
  const std::string& Line() const { return line_; }
  void Reset();

 private:
  std::string line_;
  bool complete_ = false;
  bool overflow_ = false;
};

// What a line from the modem means to the dial-up service: a result code of
// the command mode, or (kOther) anything else, a frame or an echoed command.
enum class ModemLineKind { kOther, kOk, kConnect, kError, kNoCarrier };
// "CONNECT" with or without a rate; "ERROR", "+CME ERROR: <n>", "BUSY",
// "NO ANSWER" and "NO DIALTONE" are the card's refusals of a dial string.
ModemLineKind ClassifyModemLine(std::string_view line);

}  // namespace platform

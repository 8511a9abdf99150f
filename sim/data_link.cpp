#include "sim/data_link.h"

namespace sim {
namespace {

using platform::LinkFrame;
using platform::LinkFrameType;

std::string Frame(LinkFrameType type) { return platform::FormatLinkFrame(LinkFrame{type, {}}); }
std::string Frame(LinkFrameType type, const std::string& field) {
  return platform::FormatLinkFrame(LinkFrame{type, {field}});
}

}  // namespace

DataLink::Step DataLink::Take(char byte, const CardState& state, std::string& reply) {
  if (byte == '+') {
    if (++pluses_ == 3) {
      Reset();
      return Step::kEscape;
    }
  } else {
    pluses_ = 0;
  }
  switch (lines_.Take(byte)) {
    case platform::LinkLineSplitter::Result::kNothing:
      return Step::kNothing;
    case platform::LinkLineSplitter::Result::kOverlong:
      reply = Frame(LinkFrameType::kReject);
      return Step::kReply;
    case platform::LinkLineSplitter::Result::kLine:
      reply = Answer(state, lines_.Line());
      return Step::kReply;
  }
  return Step::kNothing;
}

std::string DataLink::Answer(const CardState& state, std::string_view line) {
  const auto frame = platform::ParseLinkFrame(line);
  if (!frame) return Frame(LinkFrameType::kReject);
  switch (frame->type) {
    case LinkFrameType::kAuth: {
      const std::string& user = frame->fields[0];
      const std::string& password = frame->fields[1];
      authenticated_ =
          state.dial_up_accepts_any || (user == state.dial_up_user && password == state.dial_up_password);
      return Frame(authenticated_ ? LinkFrameType::kAuthAck : LinkFrameType::kAuthNak);
    }
    case LinkFrameType::kAddressRequest:
      if (!authenticated_) return Frame(LinkFrameType::kAuthNak);
      return Frame(LinkFrameType::kAddress, state.dial_up_address);
    case LinkFrameType::kEcho:
      if (!authenticated_) return Frame(LinkFrameType::kReject);
      return Frame(LinkFrameType::kEchoReply, frame->fields[0]);
    case LinkFrameType::kAuthAck:
    case LinkFrameType::kAuthNak:
    case LinkFrameType::kAddress:
    case LinkFrameType::kEchoReply:
    case LinkFrameType::kReject:
      return Frame(LinkFrameType::kReject);  // the network's own frames
  }
  return Frame(LinkFrameType::kReject);
}

void DataLink::Reset() {
  lines_.Reset();
  pluses_ = 0;
  authenticated_ = false;
}

}  // namespace sim

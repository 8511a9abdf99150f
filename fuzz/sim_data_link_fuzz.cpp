// What a program sends on the simulated card's modem port during a data call
// is anything at all: the card's side of the link must take every byte
// without faults and answer only with whole frames; and what the card sends
// back must read cleanly on the dial-up service's side.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sim_link_frames.h"
#include "sim/card_state.h"
#include "sim/data_link.h"

namespace {

void CheckReply(const std::string& reply) {
  if (reply.size() < 2 || !reply.ends_with("\r\n")) __builtin_trap();
  const std::string_view line(reply.data(), reply.size() - 2);
  const auto frame = platform::ParseLinkFrame(line);
  if (!frame || platform::FormatLinkFrame(*frame) != reply) __builtin_trap();
  if (line.find('+') != std::string_view::npos) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  sim::CardState state;
  state.dial_up_accepts_any = size % 2 == 0;
  state.dial_up_user = "user";
  state.dial_up_password = "pass word";
  sim::DataLink link;
  platform::LinkLineSplitter service;
  for (char byte : bytes) {
    std::string reply;
    if (link.Take(byte, state, reply) == sim::DataLink::Step::kReply) {
      CheckReply(reply);
      for (char b : reply) {
        if (service.Take(b) == platform::LinkLineSplitter::Result::kLine) {
          (void)platform::ClassifyModemLine(service.Line());
          if (!platform::ParseLinkFrame(service.Line())) __builtin_trap();
        }
      }
    }
  }
  // The service's reader on the raw bytes, as if the card had sent them.
  platform::LinkLineSplitter lines;
  for (char byte : bytes) {
    if (lines.Take(byte) != platform::LinkLineSplitter::Result::kLine) continue;
    if (lines.Line().empty() || lines.Line().size() > platform::kMaxLinkLine) __builtin_trap();
    (void)platform::ClassifyModemLine(lines.Line());
    if (const auto frame = platform::ParseLinkFrame(lines.Line())) {
      const std::string again = platform::FormatLinkFrame(*frame);
      if (platform::ParseLinkFrame(std::string_view(again).substr(0, again.size() - 2)) != frame) __builtin_trap();
    }
  }
  return 0;
}

#include "devicelib/cli/ussd_exchange.h"

#include <utility>

namespace vombel_device {

UssdExchange::UssdExchange(std::string code, std::vector<std::string> replies) : replies_(std::move(replies)) {
  turns_.push_back(UssdTurn{std::move(code), -1, {}});
}

std::optional<std::string> UssdExchange::OnAnswer(int status, std::string text) {
  if (ending_ != UssdEnding::kOpen) return std::nullopt;
  UssdTurn& turn = turns_.back();
  turn.status = status;
  turn.answer = std::move(text);
  switch (status) {
    case 0: ending_ = UssdEnding::kDone; break;
    case 1:
      if (next_reply_ == replies_.size()) {
        ending_ = UssdEnding::kNoReplyLeft;
        break;
      }
      turns_.push_back(UssdTurn{replies_[next_reply_++], -1, {}});
      return turns_.back().sent;
    case 2: ending_ = UssdEnding::kEndedByNetwork; break;
    case 3: ending_ = UssdEnding::kOtherClient; break;
    case 4: ending_ = UssdEnding::kUnsupported; break;
    default: ending_ = UssdEnding::kTimedOut; break;  // 5, and what no network sends
  }
  return std::nullopt;
}

const char* UssdEndingName(UssdEnding ending) {
  switch (ending) {
    case UssdEnding::kOpen: return "open";
    case UssdEnding::kDone: return "done";
    case UssdEnding::kEndedByNetwork: return "ended-by-network";
    case UssdEnding::kNoReplyLeft: return "no-reply-left";
    case UssdEnding::kOtherClient: return "other-client";
    case UssdEnding::kUnsupported: return "not-supported";
    case UssdEnding::kTimedOut: return "timed-out";
  }
  return "";
}

const char* UssdStatusName(int status) {
  switch (status) {
    case 0: return "done";
    case 1: return "reply-wanted";
    case 2: return "ended-by-network";
    case 3: return "other-client";
    case 4: return "not-supported";
    case 5: return "timed-out";
  }
  return "unknown";
}

std::vector<std::string> FormatUssd(const UssdExchange& exchange) {
  std::vector<std::string> lines;
  for (const UssdTurn& turn : exchange.Turns()) {
    lines.push_back("> " + turn.sent);
    if (turn.status < 0 || turn.answer.empty()) continue;
    // The network's menus break their lines with CR, LF or both.
    std::string line = "< ";
    for (size_t i = 0; i < turn.answer.size(); ++i) {
      const char c = turn.answer[i];
      if (c == '\r' || c == '\n') {
        if (c == '\r' && i + 1 < turn.answer.size() && turn.answer[i + 1] == '\n') ++i;
        lines.push_back(std::move(line));
        line = "  ";
      } else {
        line += c;
      }
    }
    lines.push_back(std::move(line));
  }
  switch (exchange.Ending()) {
    case UssdEnding::kNoReplyLeft:
      lines.push_back("(the network asks for a reply; none was given, so the session was ended)");
      break;
    case UssdEnding::kEndedByNetwork: lines.push_back("(the network ended the session)"); break;
    case UssdEnding::kOtherClient: lines.push_back("(another program on the card answered)"); break;
    default: break;
  }
  if (exchange.UnusedReplies() > 0) {
    std::string line = "(";
    line += std::to_string(exchange.UnusedReplies());
    line += exchange.UnusedReplies() == 1 ? " of the replies given was" : " of the replies given were";
    line += " not asked for)";
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace vombel_device

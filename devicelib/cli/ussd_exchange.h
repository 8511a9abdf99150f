// vombel-device ussd CODE [REPLY...]: the code goes to the network, and each
// time the network asks for a reply the next REPLY answers it. The session
// ends when the network closes it, or when it asks once more than there are
// replies (then vombel-device ends it). Pure: the program sends what this
// says and hands it the network's answers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vombel_device {

// How the session ended; kOpen while it runs.
enum class UssdEnding {
  kOpen,
  kDone,            // the network answered and closed the session (status 0)
  kEndedByNetwork,  // status 2
  kNoReplyLeft,     // the network asked for a reply that was not given
  kOtherClient,     // status 3: another program on the card answered
  kUnsupported,     // status 4: the network does not offer the code
  kTimedOut,        // status 5: no answer in time
};

struct UssdTurn {
  std::string sent;     // the code or the reply
  int status = -1;      // the network's status for it; -1 before an answer
  std::string answer;   // the network's text (UTF-8)
};

class UssdExchange {
 public:
  UssdExchange(std::string code, std::vector<std::string> replies);

  // What to send first: the code.
  const std::string& Code() const { return turns_.front().sent; }
  // The network's answer to the last thing sent; the reply to send next,
  // or nothing when the session is over (Ending() says how; with
  // kNoReplyLeft the program ends it on the card).
  std::optional<std::string> OnAnswer(int status, std::string text);

  UssdEnding Ending() const { return ending_; }
  const std::vector<UssdTurn>& Turns() const { return turns_; }
  // Replies given on the command line that the network never asked for.
  size_t UnusedReplies() const { return replies_.size() - next_reply_; }

 private:
  std::vector<UssdTurn> turns_;
  std::vector<std::string> replies_;
  size_t next_reply_ = 0;
  UssdEnding ending_ = UssdEnding::kOpen;
};

// The ending's word in the JSON document: "done", "ended-by-network", ...
const char* UssdEndingName(UssdEnding ending);
// The network status's word: "done", "reply-wanted", "ended-by-network",
// "other-client", "not-supported", "timed-out"; "unknown" for others.
const char* UssdStatusName(int status);
// The conversation for a person: "> " before what was sent, "< " before
// the network's answer (its further lines indented), then how it ended.
std::vector<std::string> FormatUssd(const UssdExchange& exchange);

}  // namespace vombel_device

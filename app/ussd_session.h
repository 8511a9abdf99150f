// A USSD conversation as the window shows it: what the user sent, what the
// network answered, and what may be done next. The worker sends the
// requests and reports the answers (UssdNews); this class only decides, so
// the rules are tested without a display and the dialog applies them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/string_loader.h"
#include "devicelib/result_codes.h"

struct CachedDravikValues;

// WM_APP_USSD_NEWS's record, the receiver's: an answer of the network, or
// a request the card did not take.
struct UssdNews {
  static constexpr int kRequestFailed = -1;
  // The network's status (0 done, 1 reply wanted, 2 ended by the network,
  // 3 answered elsewhere, 4 not supported, 5 timed out), or kRequestFailed.
  int status = kRequestFailed;
  std::u16string text;       // the network's text
  DvResult error = DV_S_OK;  // with kRequestFailed: the library's result
};

enum class UssdState {
  kIdle,         // no session: a code may be sent
  kWaiting,      // a request is on its way; only Cancel
  kReplyWanted,  // the network waits for the user's reply
  kDone,         // the network answered and closed the session
  kFailed,       // the request failed or the session ended without an answer
};

struct UssdEntry {
  bool from_user = false;
  std::u16string text;
};

class CUssdSession {
 public:
  // What the user may do. A code may be sent with the card ready (device
  // and SIM), registered, and no session open.
  struct Controls {
    bool code = false;   // the code field and its Send button
    bool reply = false;  // the reply field and its button
    bool cancel = false;
    bool busy = false;   // the busy indicator
    bool error = false;  // the status line tells of a failure
  };

  explicit CUssdSession(StringLoader strings = LoadProgramString) : strings_(std::move(strings)) {}

  // The card can carry a request: device ready, SIM open, registered.
  static bool CardReady(const CachedDravikValues& values);
  // A text the library sends: digits, '*' and '#', 1 to 160 of them.
  static bool ValidCode(std::u16string_view text);

  // The card became ready or stopped being so; a session it had ends.
  void SetCardReady(bool ready);
  bool IsCardReady() const { return card_ready_; }

  // The user sends `text`: a new code, or the reply the network asked for.
  // False when nothing is to be sent (not allowed now, or no valid code).
  bool Send(std::u16string_view text);
  // The user ends the session; true when the card is to be told.
  bool Cancel();
  void OnNews(const UssdNews& news);

  UssdState State() const { return state_; }
  Controls Allowed() const;
  // The status line: what the session waits for or how it ended, or that
  // the card is not ready; empty before the first request.
  std::u16string StatusText() const;
  const std::vector<UssdEntry>& Conversation() const { return conversation_; }
  // The conversation as the window prints it, each entry after the
  // speaker's name.
  std::u16string ConversationText() const;

 private:
  void Finish(UssdState state, unsigned status_id);
  std::u16string Text(unsigned id) const { return strings_(id); }

  StringLoader strings_;
  bool card_ready_ = false;
  UssdState state_ = UssdState::kIdle;
  std::u16string status_;
  std::vector<UssdEntry> conversation_;
};

#include "app/ussd_session.h"

#include "app/cached_dravik.h"
#include "app/error_texts.h"
#include "devicelib/dv_api.h"

namespace {

constexpr unsigned kWaitingStringId = 1228;
constexpr unsigned kReplyWantedStringId = 1229;
constexpr unsigned kAnsweredStringId = 1230;
constexpr unsigned kEndedByNetworkStringId = 1231;
constexpr unsigned kAnsweredElsewhereStringId = 1232;
constexpr unsigned kNotSupportedStringId = 1233;
constexpr unsigned kTimedOutStringId = 1234;
constexpr unsigned kCancelledStringId = 1235;
constexpr unsigned kCardNotReadyStringId = 1236;
constexpr unsigned kUserStringId = 1237;
constexpr unsigned kNetworkStringId = 1238;

// The network's statuses (3GPP TS 27.007, +CUSD).
enum UssdStatus : int {
  UssdStatusDone = 0,
  UssdStatusReplyWanted = 1,
  UssdStatusEndedByNetwork = 2,
  UssdStatusAnsweredElsewhere = 3,
  UssdStatusNotSupported = 4,
  UssdStatusTimedOut = 5,
};

bool SessionOpen(UssdState state) { return state == UssdState::kWaiting || state == UssdState::kReplyWanted; }

}  // namespace

bool CUssdSession::CardReady(const CachedDravikValues& values) {
  return values.DeviceState == CachedDravikValues::kDeviceReady &&
         values.PinPukState == CachedDravikValues::kPinPukReady && values.Registered();
}

bool CUssdSession::ValidCode(std::u16string_view text) { return DvIsValidUssdCode(std::u16string(text).c_str()); }

void CUssdSession::SetCardReady(bool ready) {
  card_ready_ = ready;
  if (!ready && SessionOpen(state_)) Finish(UssdState::kFailed, kCardNotReadyStringId);
}

bool CUssdSession::Send(std::u16string_view text) {
  if (!ValidCode(text)) return false;
  if (state_ == UssdState::kReplyWanted) {
    conversation_.push_back({true, std::u16string(text)});
  } else if (!SessionOpen(state_) && card_ready_) {
    // A new code starts a new conversation.
    conversation_.assign(1, {true, std::u16string(text)});
  } else {
    return false;
  }
  state_ = UssdState::kWaiting;
  status_ = Text(kWaitingStringId);
  return true;
}

bool CUssdSession::Cancel() {
  if (!SessionOpen(state_)) return false;
  Finish(UssdState::kIdle, kCancelledStringId);
  return true;
}

void CUssdSession::OnNews(const UssdNews& news) {
  if (news.status == UssdNews::kRequestFailed) {
    // A failure of a request nobody waits for any more (cancelled) is old news.
    if (state_ != UssdState::kWaiting) return;
    ErrorReport report;
    report.code = news.error;
    state_ = UssdState::kFailed;
    status_ = MakeErrorText(report, strings_);
    return;
  }
  // The network may speak first (a message of its own): shown all the same.
  if (!news.text.empty()) conversation_.push_back({false, news.text});
  switch (news.status) {
    case UssdStatusReplyWanted:
      state_ = UssdState::kReplyWanted;
      status_ = Text(kReplyWantedStringId);
      return;
    case UssdStatusEndedByNetwork:
      return Finish(UssdState::kDone, kEndedByNetworkStringId);
    case UssdStatusAnsweredElsewhere:
      return Finish(UssdState::kDone, kAnsweredElsewhereStringId);
    case UssdStatusNotSupported:
      return Finish(UssdState::kFailed, kNotSupportedStringId);
    case UssdStatusTimedOut:
      return Finish(UssdState::kFailed, kTimedOutStringId);
    case UssdStatusDone:
    default:
      return Finish(UssdState::kDone, kAnsweredStringId);
  }
}

CUssdSession::Controls CUssdSession::Allowed() const {
  Controls c;
  c.code = card_ready_ && !SessionOpen(state_);
  c.reply = state_ == UssdState::kReplyWanted;
  c.cancel = SessionOpen(state_);
  c.busy = state_ == UssdState::kWaiting;
  c.error = state_ == UssdState::kFailed || (!card_ready_ && !SessionOpen(state_));
  return c;
}

std::u16string CUssdSession::StatusText() const {
  if (!card_ready_ && !SessionOpen(state_)) return Text(kCardNotReadyStringId);
  return status_;
}

std::u16string CUssdSession::ConversationText() const {
  const std::u16string user = Text(kUserStringId);
  const std::u16string network = Text(kNetworkStringId);
  std::u16string text;
  for (const UssdEntry& entry : conversation_) {
    if (!text.empty()) text += u"\n\n";
    text += entry.from_user ? user : network;
    text += u": ";
    text += entry.text;
  }
  return text;
}

void CUssdSession::Finish(UssdState state, unsigned status_id) {
  state_ = state;
  status_ = Text(status_id);
}

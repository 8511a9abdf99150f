// The rules of the SMS editor and the SMS centre that need no window: what a
// message may hold in either coding and how long it counts, how a text is
// brought within one message, what the recipient field admits, and the
// texts of the tool bar commands. Pure functions; line breaks are line feeds
// (a carriage return and line feed pair counts as one break).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sms_text {

// One message: 160 units in the GSM default alphabet (an extension-table
// character takes two), 70 in UCS-2.
inline constexpr int kGsmLimit = 160;
inline constexpr int kUcs2Limit = 70;
// The recipient: "+" first for an international number, then digits and
// "#"; the PDU encoder carries at most 20 digits and nothing else exactly.
inline constexpr size_t kRecipientMaxDigits = 20;
inline constexpr size_t kRecipientMax = kRecipientMaxDigits + 1;
// Tool bar tips are cut to this many characters.
inline constexpr size_t kToolTipMax = 79;

int Limit(bool unicode);

// What `character` costs in the coding: 0 when the coding cannot carry it,
// 2 for a character of the GSM extension table (GSM only), else 1.
int CharacterCost(char16_t character, bool unicode);

// The length that counts against the limit: one per character, one more for
// each extension-table character (GSM), one less for each CR LF pair. A
// character the coding cannot carry counts one.
int CountedLength(std::u16string_view text, bool unicode);
// The limit less the counted length (negative for a text over the limit).
int Remaining(std::u16string_view text, bool unicode);

// GSM mode: `text` without the characters the default alphabet and its
// extension table cannot carry. UCS-2: `text` as it is.
std::u16string DropUncodable(std::u16string_view text, bool unicode);
// `text` with characters taken from its end until its counted length fits
// the limit; a surrogate pair or a CR LF pair goes as a whole.
std::u16string Shorten(std::u16string_view text, bool unicode);
// DropUncodable, then Shorten: what the message field may hold.
std::u16string Conform(std::u16string_view text, bool unicode);

// Whether `inserted`, checked one character after the other, may go into a
// message whose text is `kept` (the text less what the insertion replaces):
// each character must be carried by the coding and fit in what remains, so
// an extension-table character needs two units left.
bool InsertionAccepted(std::u16string_view kept, std::u16string_view inserted, bool unicode);

// --- long messages ---------------------------------------------------------------
//
// A text longer than one message goes as the parts of a long one, at most
// 255 (cut where SMS::SplitText cuts: 153 GSM units or 67 UCS-2 characters a
// part, an extension-table character never divided). These rules count
// line breaks as line feeds, a CR LF pair as one.

struct Extent {
  int messages = 1;   // 0 for a text that needs more than 255
  int remaining = 0;  // what the last message has left
};
Extent Measure(std::u16string_view text, bool unicode);
// `text` with line feeds, cut from its end until it fits 255 messages.
std::u16string ShortenToLongest(std::u16string_view text, bool unicode);
// DropUncodable, then ShortenToLongest: what the message field may hold.
std::u16string ConformLong(std::u16string_view text, bool unicode);
// Whether `inserted` may go into the field when the text would then be
// `result`: each of its characters carried by the coding, and `result`
// within 255 messages.
bool LongInsertionAccepted(std::u16string_view inserted, std::u16string_view result, bool unicode);
// The editor's counter: "%d remaining character(s)" for one message,
// "%d messages, %d characters left" for more.
std::u16string CounterText(std::u16string_view text, bool unicode);
// What is missing of a long message: "part 2 of 3 missing", "parts 1, 2
// and 4 of 5 missing"; empty when nothing is.
std::u16string MissingPartsText(const std::vector<uint32_t>& missing, uint32_t total);

// Every CR LF pair and every lone CR as one LF.
std::u16string WithLineFeeds(std::u16string_view text);

// A recipient the encoder carries exactly: at most 20 digits ("0"-"9" and
// "#"), with an optional "+" first. The empty text qualifies.
bool IsRecipient(std::u16string_view text);
// Whether an edit of the recipient field from `before` to `after` stands: it
// leaves a recipient, or it only removes one run of characters (so that an
// address the field would not take, such as a sender's name filled in by a
// reply, can still be deleted).
bool RecipientEditAccepted(std::u16string_view before, std::u16string_view after);

// A tool bar command's text is its name, a line break and its tip.
std::u16string CommandName(std::u16string_view text);
std::u16string CommandTip(std::u16string_view text);

// What a status report's TP-ST says of the message it reports on: delivered,
// still on its way (the service centre keeps trying) or failed, and the
// string id of the reason worth telling (0 for none). Reserved values count
// as "service rejected", as the standard asks of a receiver.
enum class DeliveryOutcome : uint8_t { kPending, kDelivered, kFailed };
struct DeliveryStatus {
  DeliveryOutcome outcome = DeliveryOutcome::kPending;
  unsigned reason = 0;
};
DeliveryStatus DeliveryStatusOf(uint8_t tp_st);

// A message's time stamp (100 ns units since 1601, UTC) in seconds since
// 1970; 0 for no time stamp.
int64_t TimeStampToUnixSeconds(uint64_t time_stamp);

}  // namespace sms_text

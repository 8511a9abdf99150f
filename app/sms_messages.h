// The program's copy of the SIM's short messages: the records in the order
// they were added, the service-centre address and the SIM's slot counts.
// The worker thread fills it; windows see it through the device cache's
// snapshots.
#pragma once

#include <algorithm>
#include <cstddef>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devicelib/sms_message.h"

// The SIM index of a message that is not on the SIM yet.
inline constexpr uint32_t kSmsNotOnSim = 0xFFFFFFFF;

// A record's text field up to its terminator, never beyond the field.
template <size_t N>
std::u16string_view SmsField(const char16_t (&field)[N]) {
  size_t length = 0;
  while (length < N && field[length] != u'\0') ++length;
  return {field, length};
}
// Fills a record's text field with `text`, cut to the field and terminated.
template <size_t N>
void SetSmsField(char16_t (&field)[N], std::u16string_view text) {
  const size_t length = text.size() < N ? text.size() : N - 1;
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length), field);
  std::fill(field + length, field + N, u'\0');
}

// What became of a message sent with a status report request, as far as
// its reports told: it is pending until a report says it was delivered or
// failed. Kept for this run of the program only; the SIM stores no such
// thing.
struct SmsDelivery {
  enum State : uint8_t { Pending, Delivered, Failed };
  State state = Pending;
  uint32_t reference = 0;  // TP-MR the card gave the message when sending it
  uint8_t status = 0;      // TP-ST of the last report
  bool reported = false;   // a report came (status and time are its)
  uint64_t time = 0;       // the report's discharge time, file time
};

// One message as the SMS centre lists it: a message in one piece, or the
// parts of a long message joined. Parts belong together when they are in
// the same folder, of the same kind, from or to the same address, and carry
// the same reference and total. Copies, like Rows.
struct SmsEntry {
  std::vector<SmsMessage> parts;  // by sequence number (a part held twice: both)
  uint32_t total = 1;             // the parts the message has
  uint32_t reference = 0;         // of a long message
  std::vector<uint32_t> missing;  // sequence numbers not held, ascending
  std::u16string text;            // the held parts' texts in order
  uint64_t time_stamp = 0;        // the newest part's: when the message came whole

  const SmsMessage& First() const { return parts.front(); }
  bool Long() const { return total > 1; }
  bool Unread() const {
    return std::any_of(parts.begin(), parts.end(),
                       [](const SmsMessage& p) { return p.StorageStatus == kSmsStorageReceivedUnread; });
  }
};

class CSmsMessages {
 public:
  // Folders of the SMS centre; FolderAll lists every record.
  enum Folder : int { FolderAll = 0, FolderInbox = 1, FolderSent = 2, FolderUnsent = 3 };

  CSmsMessages() = default;
  CSmsMessages(const CSmsMessages&) = default;
  CSmsMessages& operator=(const CSmsMessages&) = default;
  virtual ~CSmsMessages() = default;

  // Appends a copy of `message` and returns the stored record.
  SmsMessage& Add(const SmsMessage& message);
  // Removes the record `message` points at (one of this store's); false
  // when it is not one of them.
  bool Remove(const SmsMessage* message);
  // The first record with this SIM index, or null.
  SmsMessage* FindByIndex(uint32_t index);
  const SmsMessage* FindByIndex(uint32_t index) const;
  // Adds the record, or replaces the one already held for its SIM index, so
  // a message read twice (by the listing and by its arrival) is kept once.
  // A plain record is a message in one piece.
  SmsMessage& Put(const SmsMessage& message);
  SmsMessage& Put(const SmsMessageDetails& message);
  // Where the record in slot `index` stands in its long message ({0, 1, 1}
  // for one in one piece), or null when no record has that index.
  const SmsConcatenation* PartOf(uint32_t index) const;

  // The records of a folder, in store order; the store keeps them.
  std::vector<const SmsMessage*> List(Folder folder) const;
  static bool InFolder(const SmsMessage& message, Folder folder);
  // Copies of a folder's records as the SMS centre lists them: the Inbox
  // newest first (equal time stamps in store order), the others in store
  // order. Copies, so a list outlives any change of the store.
  std::vector<SmsMessage> Rows(Folder folder) const;
  // The same message: the same SIM slot, kind, time stamp, address and
  // text (its read mark may differ).
  static bool SameMessage(const SmsMessage& a, const SmsMessage& b);
  // The folder's messages with the parts of each long message joined, in
  // the order of Rows (the Inbox by each message's newest part).
  std::vector<SmsEntry> Entries(Folder folder) const;

  // The message in slot `index` went out with reference `reference` and a
  // report request: pending.
  void SetDeliveryPending(uint32_t index, uint32_t reference);
  // A status report for `reference`: the newest sent message still pending
  // with that reference takes its outcome. False when none does.
  bool ApplyStatusReport(uint32_t reference, uint8_t status, uint64_t discharge_time);
  // The delivery of the message in slot `index`, or null when it asked for
  // no report.
  const SmsDelivery* Delivery(uint32_t index) const;
  // The delivery of a listed message: nothing when none of its parts asked
  // for a report; else failed when a part failed, pending while a part is,
  // and delivered (at the last part's time) when every part was.
  std::optional<SmsDelivery> Delivery(const SmsEntry& entry) const;

  void SetServiceCentre(std::u16string address) { service_centre_ = std::move(address); }
  const std::u16string& ServiceCentre() const { return service_centre_; }

  void SetCapacity(int total, int used) {
    total_ = total;
    used_ = used;
  }
  int Total() const { return total_; }
  int Used() const { return used_; }
  bool Full() const { return total_ > 0 && used_ >= total_; }
  size_t Count() const { return records_.size(); }
  // True while the worker reads every message of the SIM into the store.
  void SetReading(bool reading) { reading_ = reading; }
  bool Reading() const { return reading_; }

  // Every record gone, the address empty, both counts 0, not reading.
  void Clear();

 private:
  struct Held {
    SmsMessage message;
    SmsConcatenation part;
  };
  SmsMessage& Hold(const SmsMessage& message, const SmsConcatenation& part);

  std::list<Held> records_;
  // By SIM index; `order` counts the sends, so the newest wins a reference
  // that the card has given out again.
  struct TrackedDelivery {
    uint64_t order = 0;
    SmsDelivery delivery;
  };
  std::map<uint32_t, TrackedDelivery> deliveries_;
  uint64_t sends_ = 0;
  std::u16string service_centre_;
  int total_ = 0;
  int used_ = 0;
  bool reading_ = false;
};

// The program's copy of the SIM's short messages: the records in the order
// they were added, the service-centre address and the SIM's slot counts.
// The worker thread fills it; windows see it through the device cache's
// snapshots.
#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <vector>

#include "devicelib/sms_message.h"

// The SIM index of a message that is not on the SIM yet.
inline constexpr uint32_t kSmsNotOnSim = 0xFFFFFFFF;

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
  SmsMessage& Put(const SmsMessage& message);

  // The records of a folder, in store order; the store keeps them.
  std::vector<const SmsMessage*> List(Folder folder) const;
  static bool InFolder(const SmsMessage& message, Folder folder);

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

  // Every record gone, the address empty, both counts 0.
  void Clear();

 private:
  std::list<SmsMessage> records_;
  std::u16string service_centre_;
  int total_ = 0;
  int used_ = 0;
};

#include "app/sms_messages.h"

#include <algorithm>

#include "app/sms_text_rules.h"

namespace {

constexpr SmsConcatenation kOnePiece{0, 1, 1};

// The folder a record is listed in, for joining parts across FolderAll.
int HomeFolder(const SmsMessage& message) {
  for (CSmsMessages::Folder folder :
       {CSmsMessages::FolderInbox, CSmsMessages::FolderSent, CSmsMessages::FolderUnsent}) {
    if (CSmsMessages::InFolder(message, folder)) return folder;
  }
  return CSmsMessages::FolderAll;
}

}  // namespace

SmsMessage& CSmsMessages::Add(const SmsMessage& message) {
  records_.push_back({message, kOnePiece});
  return records_.back().message;
}

bool CSmsMessages::Remove(const SmsMessage* message) {
  for (auto it = records_.begin(); it != records_.end(); ++it) {
    if (&it->message == message) {
      deliveries_.erase(it->message.Index);
      records_.erase(it);
      return true;
    }
  }
  return false;
}

SmsMessage* CSmsMessages::FindByIndex(uint32_t index) {
  for (Held& record : records_) {
    if (record.message.Index == index) return &record.message;
  }
  return nullptr;
}

const SmsConcatenation* CSmsMessages::PartOf(uint32_t index) const {
  for (const Held& record : records_) {
    if (record.message.Index == index) return &record.part;
  }
  return nullptr;
}

const SmsMessage* CSmsMessages::FindByIndex(uint32_t index) const {
  return const_cast<CSmsMessages*>(this)->FindByIndex(index);
}

SmsMessage& CSmsMessages::Put(const SmsMessage& message) { return Hold(message, kOnePiece); }

SmsMessage& CSmsMessages::Put(const SmsMessageDetails& message) {
  return Hold(message.Message, message.Concatenation);
}

SmsMessage& CSmsMessages::Hold(const SmsMessage& message, const SmsConcatenation& part) {
  if (message.Index != kSmsNotOnSim) {
    for (Held& held : records_) {
      if (held.message.Index != message.Index) continue;
      // Another message in the slot: what was told of the old one goes.
      if (!SameMessage(held.message, message)) deliveries_.erase(message.Index);
      held = {message, part};
      return held.message;
    }
  }
  records_.push_back({message, part});
  return records_.back().message;
}

bool CSmsMessages::InFolder(const SmsMessage& message, Folder folder) {
  switch (folder) {
    case FolderAll:
      return true;
    case FolderInbox:
      return message.MessageType == kSmsMessageTypeReceived &&
             (message.StorageStatus == kSmsStorageReceivedUnread || message.StorageStatus == kSmsStorageReceivedRead);
    case FolderSent:
      return message.MessageType == kSmsMessageTypeSubmit && message.StorageStatus == kSmsStorageStoredSent;
    case FolderUnsent:
      return message.StorageStatus == kSmsStorageStoredUnsent;
  }
  return false;
}

std::vector<const SmsMessage*> CSmsMessages::List(Folder folder) const {
  std::vector<const SmsMessage*> list;
  for (const Held& record : records_) {
    if (InFolder(record.message, folder)) list.push_back(&record.message);
  }
  return list;
}

std::vector<SmsMessage> CSmsMessages::Rows(Folder folder) const {
  std::vector<SmsMessage> rows;
  for (const Held& record : records_) {
    if (InFolder(record.message, folder)) rows.push_back(record.message);
  }
  if (folder == FolderInbox) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const SmsMessage& a, const SmsMessage& b) { return a.TimeStamp > b.TimeStamp; });
  }
  return rows;
}

std::vector<SmsEntry> CSmsMessages::Entries(Folder folder) const {
  struct Gathered {
    SmsEntry entry;
    std::vector<uint32_t> sequences;  // beside entry.parts
  };
  std::vector<Gathered> gathered;
  std::vector<const Held*> first_parts;  // the record each gathered entry started with
  for (const Held& record : records_) {
    if (!InFolder(record.message, folder)) continue;
    Gathered* into = nullptr;
    if (record.part.Total > 1) {
      for (size_t i = 0; i < gathered.size(); ++i) {
        const Held& other = *first_parts[i];
        if (other.part.Total == record.part.Total && other.part.Reference == record.part.Reference &&
            other.message.MessageType == record.message.MessageType &&
            HomeFolder(other.message) == HomeFolder(record.message) &&
            SmsField(other.message.Address) == SmsField(record.message.Address)) {
          into = &gathered[i];
          break;
        }
      }
    }
    if (into == nullptr) {
      into = &gathered.emplace_back();
      into->entry.total = record.part.Total;
      into->entry.reference = record.part.Reference;
      first_parts.push_back(&record);
    }
    // In sequence order; a part held twice after its twin.
    size_t at = 0;
    while (at < into->sequences.size() && into->sequences[at] <= record.part.Sequence) ++at;
    into->sequences.insert(into->sequences.begin() + static_cast<std::ptrdiff_t>(at), record.part.Sequence);
    into->entry.parts.insert(into->entry.parts.begin() + static_cast<std::ptrdiff_t>(at), record.message);
  }

  std::vector<SmsEntry> entries;
  entries.reserve(gathered.size());
  for (Gathered& g : gathered) {
    SmsEntry& entry = g.entry;
    uint32_t expected = 1;
    for (size_t i = 0; i < entry.parts.size(); ++i) {
      entry.time_stamp = std::max(entry.time_stamp, entry.parts[i].TimeStamp);
      if (g.sequences[i] < expected) continue;  // the twin of a part already in
      while (expected < g.sequences[i]) entry.missing.push_back(expected++);
      entry.text += SmsField(entry.parts[i].Text);
      ++expected;
    }
    while (expected <= entry.total) entry.missing.push_back(expected++);
    entries.push_back(std::move(entry));
  }
  if (folder == FolderInbox) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const SmsEntry& a, const SmsEntry& b) { return a.time_stamp > b.time_stamp; });
  }
  return entries;
}

bool CSmsMessages::SameMessage(const SmsMessage& a, const SmsMessage& b) {
  return a.Index == b.Index && a.MessageType == b.MessageType && a.TimeStamp == b.TimeStamp &&
         SmsField(a.Address) == SmsField(b.Address) && SmsField(a.Text) == SmsField(b.Text);
}

void CSmsMessages::SetDeliveryPending(uint32_t index, uint32_t reference) {
  TrackedDelivery& tracked = deliveries_[index];
  tracked.order = ++sends_;
  tracked.delivery = SmsDelivery{};
  tracked.delivery.reference = reference;
}

bool CSmsMessages::ApplyStatusReport(uint32_t reference, uint8_t status, uint64_t discharge_time) {
  TrackedDelivery* newest = nullptr;
  for (auto& [index, tracked] : deliveries_) {
    if (tracked.delivery.state != SmsDelivery::Pending || tracked.delivery.reference != reference) continue;
    if (newest == nullptr || tracked.order > newest->order) newest = &tracked;
  }
  if (newest == nullptr) return false;
  SmsDelivery& delivery = newest->delivery;
  switch (sms_text::DeliveryStatusOf(status).outcome) {
    case sms_text::DeliveryOutcome::kDelivered:
      delivery.state = SmsDelivery::Delivered;
      break;
    case sms_text::DeliveryOutcome::kFailed:
      delivery.state = SmsDelivery::Failed;
      break;
    case sms_text::DeliveryOutcome::kPending:
      break;
  }
  delivery.status = status;
  delivery.reported = true;
  delivery.time = discharge_time;
  return true;
}

const SmsDelivery* CSmsMessages::Delivery(uint32_t index) const {
  const auto it = deliveries_.find(index);
  return it != deliveries_.end() ? &it->second.delivery : nullptr;
}

std::optional<SmsDelivery> CSmsMessages::Delivery(const SmsEntry& entry) const {
  std::optional<SmsDelivery> combined;
  for (const SmsMessage& part : entry.parts) {
    const SmsDelivery* delivery = Delivery(part.Index);
    if (delivery == nullptr) continue;
    if (!combined || combined->state == SmsDelivery::Delivered) {
      if (!combined || delivery->state != SmsDelivery::Delivered || delivery->time > combined->time) combined = *delivery;
    } else if (combined->state == SmsDelivery::Pending && delivery->state == SmsDelivery::Failed) {
      combined = *delivery;
    }
  }
  return combined;
}

void CSmsMessages::Clear() {
  deliveries_.clear();
  records_.clear();
  service_centre_.clear();
  total_ = 0;
  used_ = 0;
  reading_ = false;
}

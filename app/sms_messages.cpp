#include "app/sms_messages.h"

#include <algorithm>

#include "app/sms_text_rules.h"

SmsMessage& CSmsMessages::Add(const SmsMessage& message) { return records_.emplace_back(message); }

bool CSmsMessages::Remove(const SmsMessage* message) {
  for (auto it = records_.begin(); it != records_.end(); ++it) {
    if (&*it == message) {
      deliveries_.erase(it->Index);
      records_.erase(it);
      return true;
    }
  }
  return false;
}

SmsMessage* CSmsMessages::FindByIndex(uint32_t index) {
  for (SmsMessage& record : records_) {
    if (record.Index == index) return &record;
  }
  return nullptr;
}

const SmsMessage* CSmsMessages::FindByIndex(uint32_t index) const {
  return const_cast<CSmsMessages*>(this)->FindByIndex(index);
}

SmsMessage& CSmsMessages::Put(const SmsMessage& message) {
  if (message.Index != kSmsNotOnSim) {
    if (SmsMessage* held = FindByIndex(message.Index)) {
      // Another message in the slot: what was told of the old one goes.
      if (!SameMessage(*held, message)) deliveries_.erase(message.Index);
      *held = message;
      return *held;
    }
  }
  return Add(message);
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
  for (const SmsMessage& record : records_) {
    if (InFolder(record, folder)) list.push_back(&record);
  }
  return list;
}

std::vector<SmsMessage> CSmsMessages::Rows(Folder folder) const {
  std::vector<SmsMessage> rows;
  for (const SmsMessage& record : records_) {
    if (InFolder(record, folder)) rows.push_back(record);
  }
  if (folder == FolderInbox) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const SmsMessage& a, const SmsMessage& b) { return a.TimeStamp > b.TimeStamp; });
  }
  return rows;
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

void CSmsMessages::Clear() {
  deliveries_.clear();
  records_.clear();
  service_centre_.clear();
  total_ = 0;
  used_ = 0;
  reading_ = false;
}

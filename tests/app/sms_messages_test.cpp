#include "app/sms_messages.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/cached_dravik.h"

namespace {

SmsMessage Record(uint32_t index, uint32_t type, uint32_t status, const char16_t* text = u"") {
  SmsMessage m;
  std::memset(&m, 0, sizeof m);
  m.Index = index;
  m.MessageType = type;
  m.StorageStatus = status;
  std::u16string_view t(text);
  std::copy(t.begin(), t.end(), m.Text);
  return m;
}

TEST(SmsMessagesTest, PutReplacesTheRecordOfTheSameSimIndexAndKeepsMessagesNotOnTheSim) {
  CSmsMessages store;
  store.Put(Record(3, kSmsMessageTypeReceived, kSmsStorageReceivedUnread, u"first"));
  store.Put(Record(3, kSmsMessageTypeReceived, kSmsStorageReceivedRead, u"again"));
  ASSERT_EQ(store.Count(), 1u);
  EXPECT_EQ(std::u16string(store.FindByIndex(3)->Text), u"again");
  store.Put(Record(kSmsNotOnSim, kSmsMessageTypeReceived, 0));
  store.Put(Record(kSmsNotOnSim, kSmsMessageTypeReceived, 0));
  EXPECT_EQ(store.Count(), 3u);
  EXPECT_EQ(store.FindByIndex(7), nullptr);
  EXPECT_TRUE(store.Remove(store.FindByIndex(3)));
  EXPECT_FALSE(store.Remove(nullptr));
  EXPECT_EQ(store.Count(), 2u);
}

TEST(SmsMessagesTest, FoldersSortByTypeAndStorageStatus) {
  CSmsMessages store;
  store.Put(Record(0, kSmsMessageTypeReceived, kSmsStorageReceivedUnread));
  store.Put(Record(1, kSmsMessageTypeReceived, kSmsStorageReceivedRead));
  store.Put(Record(2, kSmsMessageTypeSubmit, kSmsStorageStoredSent));
  store.Put(Record(3, kSmsMessageTypeSubmit, kSmsStorageStoredUnsent));
  store.Put(Record(4, kSmsMessageTypeOther, 0));
  EXPECT_EQ(store.List(CSmsMessages::FolderAll).size(), 5u);
  EXPECT_EQ(store.List(CSmsMessages::FolderInbox).size(), 2u);
  ASSERT_EQ(store.List(CSmsMessages::FolderSent).size(), 1u);
  EXPECT_EQ(store.List(CSmsMessages::FolderSent)[0]->Index, 2u);
  ASSERT_EQ(store.List(CSmsMessages::FolderUnsent).size(), 1u);
  EXPECT_EQ(store.List(CSmsMessages::FolderUnsent)[0]->Index, 3u);
}

TEST(SmsMessagesTest, FullOnlyWithAKnownCapacity) {
  CSmsMessages store;
  EXPECT_FALSE(store.Full());
  store.SetCapacity(2, 1);
  EXPECT_FALSE(store.Full());
  store.SetCapacity(2, 2);
  EXPECT_TRUE(store.Full());
  store.Clear();
  EXPECT_EQ(store.Total(), 0);
  EXPECT_FALSE(store.Full());
}

TEST(CachedDravikTest, WithoutACardRecordTheCardHasNoCapabilitiesAndAResetKeepsTheProfile) {
  CachedDravik cache;
  EXPECT_EQ(cache.Snapshot().DriverCapabilities(), 0u);
  EXPECT_EQ(cache.Snapshot().Family(), -1);
  auto stored = std::make_shared<CProfile>();
  stored->SetApn(u"web.vombel", false);
  cache.Update([](CachedDravikValues& v) {
    v.NetworkName = u"Vombel";
    v.DeviceState = CachedDravikValues::kDeviceReady;
  });
  const CachedDravikValues before = cache.Snapshot();
  cache.Reset(stored);
  const CachedDravikValues after = cache.Snapshot();
  EXPECT_EQ(before.NetworkName, u"Vombel");  // a snapshot is a copy
  EXPECT_TRUE(after.NetworkName.empty());
  EXPECT_EQ(after.DeviceState, CachedDravikValues::kDeviceNotPresent);
  EXPECT_EQ(after.CurrentProfile->GetApn(), u"web.vombel");
  ASSERT_NE(after.SmsStore, nullptr);
  cache.Reset();
  EXPECT_NE(cache.Snapshot().CurrentProfile, nullptr);
}

}  // namespace

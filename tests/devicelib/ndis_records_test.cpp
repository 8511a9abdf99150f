// The WWAN driver's records as the NDIS connections build and read them.
#include "devicelib/ndis_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::kNdisConfigCommandOffset;
using platform::kNdisConfigCommandSize;
using platform::kNdisConfigSize;

std::string Field(const std::vector<uint8_t>& bytes, size_t offset, size_t size) {
  std::string text;
  for (size_t i = offset; i < offset + size && bytes[i] != 0; ++i) text.push_back(static_cast<char>(bytes[i]));
  return text;
}

std::vector<uint8_t> ConfigWithSlots(const std::vector<std::string>& slots) {
  std::vector<uint8_t> record(kNdisConfigSize, 0xEE);  // the driver's own bytes
  for (size_t i = 0; i < 7; ++i) {
    const size_t offset = kNdisConfigCommandOffset + i * kNdisConfigCommandSize;
    std::fill_n(record.begin() + offset, kNdisConfigCommandSize, 0);
    if (i < slots.size()) std::copy(slots[i].begin(), slots[i].end(), record.begin() + offset);
  }
  return record;
}

std::string Slot(const std::vector<uint8_t>& record, size_t i) {
  return Field(record, kNdisConfigCommandOffset + i * kNdisConfigCommandSize, kNdisConfigCommandSize);
}

TEST(NdisRecordsTest, TheConfigurationSlotsAreMendedOnceAndOnlyThose) {
  struct Row {
    const char* slot;
    const char* after;
    bool changed;
  };
  const Row rows[] = {
      {"AT+CREG?", "", true},
      {"AT+CREG?^0,1~0,5~", "", true},
      {"AT+CGREG?^0,1~0,5~", "AT+CGREG?^0,1~0,5~1,1~1,5~", true},
      {"AT+CGREG?^0,1~0,5~1,1~1,5~", "AT+CGREG?^0,1~0,5~1,1~1,5~", false},  // already mended
      {"AT+CGREG?^0,1~", "AT+CGREG?^0,1~", false},
      {"at+creg?", "at+creg?", false},  // the driver's slots are matched as written
      {"AT+CSQ", "AT+CSQ", false},
      {"", "", false},
  };
  for (const Row& row : rows) {
    std::vector<uint8_t> record = ConfigWithSlots({"AT+CSQ", row.slot});
    EXPECT_EQ(GSM::FixNdisConfigCommands(record), row.changed) << row.slot;
    EXPECT_EQ(Slot(record, 1), row.after) << row.slot;
    EXPECT_EQ(Slot(record, 0), "AT+CSQ");
    EXPECT_EQ(record[0], 0xEE) << "the rest of the record is the driver's";
    EXPECT_FALSE(GSM::FixNdisConfigCommands(record)) << "a second pass finds nothing: " << row.slot;
  }
}

TEST(NdisRecordsTest, TheMendedSlotEndsWhereItsTextEndsWhateverFollowedTheOldEnd) {
  std::vector<uint8_t> record = ConfigWithSlots({"AT+CGREG?^0,1~0,5~"});
  std::fill_n(record.begin() + kNdisConfigCommandOffset + 19, kNdisConfigCommandSize - 19, 'X');
  ASSERT_TRUE(GSM::FixNdisConfigCommands(record));
  EXPECT_EQ(Slot(record, 0), "AT+CGREG?^0,1~0,5~1,1~1,5~");
}

TEST(NdisRecordsTest, SlotsWithoutATerminatorOrRecordsOfAnotherSizeAreReadSafely) {
  std::vector<uint8_t> record(kNdisConfigSize, 'A');
  EXPECT_FALSE(GSM::FixNdisConfigCommands(record));
  std::vector<uint8_t> short_record(kNdisConfigCommandOffset + 10, 0);
  EXPECT_FALSE(GSM::FixNdisConfigCommands(short_record));
  EXPECT_EQ(GSM::ConfigUserName(std::vector<uint8_t>(100, 'a')), u"");
}

TEST(NdisRecordsTest, CredentialsTravelInTheOemCodePageCutTo39) {
  struct Row {
    const char16_t* text;
    std::string oem;
  };
  const Row rows[] = {
      {nullptr, ""},
      {u"", ""},
      {u"user", "user"},
      {u"gr\u00fc\u00dfe", "gr\x81\xe1" "e"},         // 437: u-umlaut 0x81, sharp s 0xE1
      {u"\u20ac", "?"},                              // no euro sign in 437
      {u"0123456789012345678901234567890123456789AB", "012345678901234567890123456789012345678"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(GSM::OemCredential(row.text), row.oem);
    if (row.text == nullptr || row.oem == "?") continue;
    std::vector<uint8_t> field(40, 0);
    std::copy(row.oem.begin(), row.oem.end(), field.begin());
    EXPECT_EQ(GSM::CredentialFromOem(field), std::u16string(row.text).substr(0, 39));
  }
  // A field the driver filled to its end gives 39 characters, no more.
  EXPECT_EQ(GSM::CredentialFromOem(std::vector<uint8_t>(40, 'p')), std::u16string(39, u'p'));
}

TEST(NdisRecordsTest, TheConnectRequestCarriesTheDialStringAndTheCredentialsAtTheirPlaces) {
  const std::vector<uint8_t> request =
      GSM::BuildNdisConnectRequest(platform::kNdisConnectRequestSize, GSM::kNdisDialString, u"web", u"secret");
  ASSERT_EQ(request.size(), 225u);
  EXPECT_EQ(Field(request, 0, 129), "ATDT*99***1#");
  EXPECT_EQ(Field(request, 129, 40), "web");
  EXPECT_EQ(Field(request, 169, 40), "secret");
  for (size_t i = 209; i < request.size(); ++i) EXPECT_EQ(request[i], 0) << i;

  const std::vector<uint8_t> broadcom = GSM::BuildNdisConnectRequest(platform::kBroadcomNdisConnectRequestSize,
                                                                     GSM::kBroadcomNdisDialString, nullptr, nullptr);
  ASSERT_EQ(broadcom.size(), 228u);
  EXPECT_EQ(Field(broadcom, 0, 129), "*99***1#");
  EXPECT_EQ(broadcom[129], 0);
  EXPECT_EQ(broadcom[169], 0);
}

TEST(NdisRecordsTest, TheCredentialsOfAConfigurationRecordAreReplacedWhole) {
  std::vector<uint8_t> record(kNdisConfigSize, 0x55);
  GSM::SetConfigCredentials(record, u"ab", nullptr);
  EXPECT_EQ(GSM::ConfigUserName(record), u"ab");
  EXPECT_EQ(GSM::ConfigPassword(record), u"");
  for (size_t i = 131; i < 209; ++i) EXPECT_EQ(record[i], 0) << i;
  EXPECT_EQ(record[128], 0x55);
  EXPECT_EQ(record[209], 0x55);
}

TEST(NdisRecordsTest, ShortStateAndStatisticsRecordsReadAsAbsent) {
  platform::NdisStateRecord state{};
  const uint8_t bytes[24] = {7, 0, 0, 0, 33, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 9, 0, 0, 0};
  EXPECT_FALSE(GSM::ParseNdisStateRecord(std::span(bytes).first(7), state));
  ASSERT_TRUE(GSM::ParseNdisStateRecord(std::span(bytes).first(8), state));
  EXPECT_EQ(state.state, 7u);
  EXPECT_EQ(state.reason, 33u);
  platform::NdisStatisticsRecord statistics{};
  EXPECT_FALSE(GSM::ParseNdisStatisticsRecord(std::span(bytes).first(23), statistics));
  ASSERT_TRUE(GSM::ParseNdisStatisticsRecord(bytes, statistics));
  EXPECT_EQ(statistics.bytes_transmitted, 7u);
  EXPECT_EQ(statistics.bytes_received, 33u);
  EXPECT_EQ(statistics.duration, 9u);
}

}  // namespace

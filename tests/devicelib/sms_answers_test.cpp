// The answers of the SIM message store, as cards write them.
#include <gtest/gtest.h>

#include <string>

#include "devicelib/sms_answers.h"

namespace {

using namespace GSM;

struct HeaderCase {
  const char16_t* fields;
  DvResult result;
  int index, status, length;
};

TEST(SmsAnswersTest, ListingHeaders) {
  const HeaderCase cases[] = {
      {u" 1,0,,24", DV_S_OK, 1, 0, 24},
      {u" 3,1,\"Alice\",140", DV_S_OK, 3, 1, 140},
      {u" 0,2,\"\",17", DV_S_OK, 0, 2, 17},
      {u" 7,3,22", DV_S_OK, 7, 3, 22},  // no alpha field at all
      {u" 7,3", DV_E_UNEXPECTED_ANSWER, 0, 0, 0},
      {u" 7", DV_E_UNEXPECTED_ANSWER, 0, 0, 0},
      {u"", DV_E_UNEXPECTED_ANSWER, 0, 0, 0},
      {u" x,1,,24", DV_E_UNEXPECTED_ANSWER, 0, 0, 0},
      {u" 1,0,,99999999999", DV_E_UNEXPECTED_ANSWER, 0, 0, 0},
  };
  for (const HeaderCase& c : cases) {
    StoredMessageHeader header;
    EXPECT_EQ(ParseCmglHeader(c.fields, header), c.result) << std::u16string(c.fields).size();
    if (c.result != DV_S_OK) continue;
    EXPECT_EQ(header.index, c.index);
    EXPECT_EQ(header.status, c.status);
    EXPECT_EQ(header.length, c.length);
  }
}

TEST(SmsAnswersTest, ReadHeadersHaveNoIndex) {
  StoredMessageHeader header;
  ASSERT_EQ(ParseCmgrHeader(u" 1,,24", header), DV_S_OK);
  EXPECT_EQ(header.status, 1);
  EXPECT_EQ(header.length, 24);
  ASSERT_EQ(ParseCmgrHeader(u" 0,\"Bob, the builder\",31", header), DV_S_OK);
  EXPECT_EQ(header.length, 31);
  EXPECT_EQ(ParseCmgrHeader(u" 1,,", header), DV_E_UNEXPECTED_ANSWER);
}

TEST(SmsAnswersTest, StorageCountsTheThirdMemory) {
  StorageUse use;
  ASSERT_EQ(ParseCpmsAnswer(u" \"SM\",1,10,\"ME\",2,20,\"SM\",3,30", use), DV_S_OK);
  EXPECT_EQ(use.used, 3);
  EXPECT_EQ(use.total, 30);
  use = {5, 6};
  // Two groups only, or a missing number: nothing is taken.
  EXPECT_EQ(ParseCpmsAnswer(u" \"SM\",1,10,\"SM\",2,20", use), DV_E_UNEXPECTED_ANSWER);
  EXPECT_EQ(ParseCpmsAnswer(u" \"SM\",1,10,\"SM\",2,20,\"SM\",3", use), DV_E_UNEXPECTED_ANSWER);
  EXPECT_EQ(use.used, 5);
  EXPECT_EQ(use.total, 6);
}

TEST(SmsAnswersTest, ServiceCentreAndSubmitNumbers) {
  std::u16string number;
  ASSERT_EQ(ParseCscaAnswer(u" \"+491710760000\",145", number), DV_S_OK);
  EXPECT_EQ(number, u"+491710760000");
  EXPECT_EQ(ParseCscaAnswer(u" +491710760000,145", number), DV_E_UNEXPECTED_ANSWER);
  int value = -1;
  ASSERT_EQ(ParseSubmitAnswer(u" 12", value), DV_S_OK);
  EXPECT_EQ(value, 12);
  ASSERT_EQ(ParseSubmitAnswer(u" 4,\"0701\"", value), DV_S_OK);
  EXPECT_EQ(value, 4);
  EXPECT_EQ(ParseSubmitAnswer(u"", value), DV_E_UNEXPECTED_ANSWER);
}

}  // namespace

#include "app/auto_profiles.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/resource_module.h"
#include "platform/text.h"
#include "tests/support/log_capture.h"

namespace {

using platform::Utf16ToUtf8;

struct Expected {
  std::string apn;
  std::string user;
  std::string password;
  std::string caption;
  std::string logo;
};

void ExpectProfile(const CProfile* profile, const Expected& expected, const std::string& what) {
  ASSERT_NE(profile, nullptr) << what;
  EXPECT_EQ(profile->GetUseCredentials(), 1u) << what;
  EXPECT_EQ(Utf16ToUtf8(profile->GetApn()), expected.apn) << what;
  EXPECT_EQ(Utf16ToUtf8(profile->GetUserName()), expected.user) << what;
  EXPECT_EQ(Utf16ToUtf8(profile->GetPassword()), expected.password) << what;
  EXPECT_EQ(Utf16ToUtf8(profile->GetCaption()), expected.caption) << what;
  EXPECT_EQ(Utf16ToUtf8(profile->GetLogoBitmap()), expected.logo) << what;
}

TEST(CAutoProfilesTest, LinesFillProfilesByTheirFieldCount) {
  struct Row {
    std::u16string line;
    Expected expected;
  };
  const Row rows[] = {
      {u"26201,internet.t-mobile,t-mobile,tm", {"internet.t-mobile", "t-mobile", "tm", "", ""}},
      {u"26201, internet , user ,  pass\t", {"internet", "user", "pass", "", ""}},
      {u"26201,web,,", {"web", "", "", "", ""}},
      {u"26201,web", {"web", "", "", "", ""}},
      {u"26201", {"", "", "", "", ""}},
      {u"26201,web,u", {"web", "u", "", "", ""}},
      {u"26201,Caption,LOGO_BMP,apn,user,pass", {"apn", "user", "pass", "Caption", "LOGO_BMP"}},
      {u"26201,apn,user,pass,other-user", {"apn", "other-user", "pass", "", ""}},
      {u"26201,apn,user,pass,u5,p6,x7", {"apn", "u5", "p6", "", ""}},
      {u"26201,apn,user,pass,u5,p6,x7,x8,x9", {"apn", "u5", "p6", "", ""}},
      {u"  26201  ,apn,,", {"apn", "", "", "", ""}},
  };
  for (const Row& row : rows) {
    const CAutoProfiles table(std::u16string_view(row.line));
    ASSERT_EQ(table.Count(), 1u) << Utf16ToUtf8(row.line);
    ExpectProfile(table.Find(u"26201"), row.expected, Utf16ToUtf8(row.line));
  }
}

TEST(CAutoProfilesTest, LinesWithoutACodeAreSkipped) {
  const CAutoProfiles table(u"\r\n,apn,u,p\n   ,x\r\n\n23415,internet,web,web\r\n");
  EXPECT_EQ(table.Count(), 1u);
  EXPECT_TRUE(table.IsValid());
  EXPECT_FALSE(table.Duplicated());
}

TEST(CAutoProfilesTest, FindTriesFiveCharactersBeforeSix) {
  struct Row {
    std::u16string table;
    std::u16string code;
    std::string apn;  // "" when nothing is found
  };
  const Row rows[] = {
      {u"00101,five,,\n001011,six,,", u"001011234567890", "five"},
      {u"001011,six,,", u"001011234567890", "six"},
      {u"001011,six,,", u"001012234567890", ""},
      {u"00101,five,,", u"00101", "five"},
      {u"001011,six,,", u"001011", "six"},
      {u"00101,five,,", u"0010", ""},
      {u"0010,four,,", u"0010", ""},
      {u"00101,five,,", u"", ""},
  };
  for (const Row& row : rows) {
    const CAutoProfiles table(std::u16string_view(row.table));
    const CProfile* found = table.Find(std::u16string_view(row.code));
    const std::string what = Utf16ToUtf8(row.table) + " / " + Utf16ToUtf8(row.code);
    if (row.apn.empty()) {
      EXPECT_EQ(found, nullptr) << what;
    } else {
      ASSERT_NE(found, nullptr) << what;
      EXPECT_EQ(Utf16ToUtf8(found->GetApn()), row.apn) << what;
    }
  }
}

TEST(CAutoProfilesTest, FindWithoutACodeUsesTheLastImsi) {
  const CAutoProfiles table(u"26201,telekom,,\n23415,vodafone,,");
  CAutoProfiles::SetLastImsi(u"234150123456789");
  ASSERT_NE(table.Find(), nullptr);
  EXPECT_EQ(Utf16ToUtf8(table.Find()->GetApn()), "vodafone");
  CAutoProfiles::SetLastImsi(u"");
  EXPECT_EQ(table.Find(), nullptr);
}

TEST(CAutoProfilesTest, ValidityNeedsUniqueCodesOfFiveOrSixCharacters) {
  struct Row {
    std::u16string table;
    bool valid;
    bool duplicated;
  };
  const Row rows[] = {
      {u"26201,a,,\n310410,b,,", true, false},
      {u"26201,a,,\n26201,b,,", false, true},
      {u"26201,a,,\n 26201 ,b,,", false, true},
      {u"2620,a,,", false, false},
      {u"2620111,a,,", false, false},
      {u"ABCDE,a,,", true, false},
      {u"", true, false},
  };
  for (const Row& row : rows) {
    const CAutoProfiles table(std::u16string_view(row.table));
    EXPECT_EQ(table.IsValid(), row.valid) << Utf16ToUtf8(row.table);
    EXPECT_EQ(table.Duplicated(), row.duplicated) << Utf16ToUtf8(row.table);
  }
}

TEST(CAutoProfilesTest, LaterLineWinsOverADuplicate) {
  const CAutoProfiles table(u"26201,first,u1,p1\n26201,second,u2,p2\n");
  EXPECT_EQ(table.Count(), 1u);
  ExpectProfile(table.Find(u"26201"), {"second", "u2", "p2", "", ""}, "later line");
}

TEST(CAutoProfilesTest, HasCredentialsLooksAtEveryProfile) {
  EXPECT_FALSE(CAutoProfiles(u"26201,a,,\n23415,b,,").HasCredentials());
  EXPECT_TRUE(CAutoProfiles(u"26201,a,,\n23415,b,,pw").HasCredentials());
  EXPECT_TRUE(CAutoProfiles(u"26201,a,user,\n23415,b,,").HasCredentials());
  EXPECT_FALSE(CAutoProfiles(u"").HasCredentials());
}

TEST(CAutoProfilesTest, MissingTableResourceGivesAnEmptyTable) {
  platform::ResourceModule module = platform::ResourceModuleBuilder().Add("OTHER", 1, "x").Build();
  testing_support::LogCapture log;
  const CAutoProfiles table(module.handle());
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_TRUE(table.IsValid());
  EXPECT_TRUE(log.Contains("CResourceHelper::GetResource(170, PROFILES_DB): FindResource failed with 0x"));
}

TEST(CAutoProfilesTest, TableResourceIsAnsiText) {
  platform::ResourceModule module =
      platform::ResourceModuleBuilder().Add("PROFILES_DB", 170, "20801,caf\xE9,,\n").Build();
  const CAutoProfiles table(module.handle());
  ASSERT_NE(table.Find(u"20801"), nullptr);
  EXPECT_EQ(table.Find(u"20801")->GetApn(), u"caf\u00E9");
}

// The shipped table is generated from the public operator database; these are
// well-known networks whose entries are stable there.
TEST(CAutoProfilesTest, ShippedTableIsValidAndKnowsMajorOperators) {
  const CAutoProfiles& table = CAutoProfiles::Instance();
  EXPECT_TRUE(table.IsValid());
  EXPECT_FALSE(table.Duplicated());
  EXPECT_GT(table.Count(), 500u);
  struct Row {
    std::u16string imsi;
    std::string apn;
  };
  const Row rows[] = {
      {u"262011234567890", "internet.t-d1.de"},  // Germany, Telekom
      {u"234150000000001", "internet"},          // United Kingdom, Vodafone
      {u"310410123456789", "NXTGENPHONE"},       // United States, 3-digit MNC
      {u"208011234567890", "orange.fr"},         // France, Orange
  };
  for (const Row& row : rows) {
    const CProfile* profile = table.Find(std::u16string_view(row.imsi));
    ASSERT_NE(profile, nullptr) << Utf16ToUtf8(row.imsi);
    EXPECT_EQ(Utf16ToUtf8(profile->GetApn()), row.apn) << Utf16ToUtf8(row.imsi);
    EXPECT_EQ(profile->GetUseCredentials(), 1u);
  }
  ASSERT_NE(table.Find(u"23415"), nullptr);
  EXPECT_EQ(Utf16ToUtf8(table.Find(u"23415")->GetUserName()), "web");
  EXPECT_EQ(Utf16ToUtf8(table.Find(u"23415")->GetPassword()), "web");
}

}  // namespace

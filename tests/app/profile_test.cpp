#include "app/profile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "app/scrambler.h"
#include "app/settings.h"
#include "foundation/xmemory.h"
#include "foundation/xregistry.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::HKEY_LOCAL_MACHINE;
using platform::HKEY_USERS;
using platform::Utf16ToUtf8;

// The program's own product key (string 139): these tests go through the
// process-wide settings, as the application does.
constexpr char16_t kUserProfile[] = u".DEFAULT\\Software\\Velta\\Velta\\Profiles\\Default";
constexpr char16_t kMachineProfile[] =
    u"System\\CurrentControlSet\\Services\\{VL5E3DA4-11ED-4329-B92E-3ADA2FCFCDD0}\\Profiles\\Default";

std::u16string Stored(platform::HKEY root, const char16_t* key, const char16_t* name) {
  char16_t* text = nullptr;
  if (XRegQueryStringKey(root, key, name, &text, false) != 0) return u"<absent>";
  std::u16string result(text);
  XFree(text);
  return result;
}

void Put(platform::HKEY root, const char16_t* key, const char16_t* name, std::u16string_view text) {
  const std::u16string value(text);
  ASSERT_EQ(XRegWriteString(root, key, name, value.c_str(), true), 0u);
}

TEST(CProfileTest, CloneIsAnIndependentCopy) {
  CProfile original(1, u"user", u"pass", u"apn");
  original.SetCaption(u"Caption");
  original.SetLogoBitmap(u"LOGO");
  std::unique_ptr<CProfile> copy = original.Clone();
  original.SetUserName(u"changed", false);
  EXPECT_EQ(copy->GetUseCredentials(), 1u);
  EXPECT_EQ(Utf16ToUtf8(copy->GetUserName()), "user");
  EXPECT_EQ(Utf16ToUtf8(copy->GetPassword()), "pass");
  EXPECT_EQ(Utf16ToUtf8(copy->GetApn()), "apn");
  EXPECT_EQ(Utf16ToUtf8(copy->GetCaption()), "Caption");
  EXPECT_EQ(Utf16ToUtf8(copy->GetLogoBitmap()), "LOGO");
}

TEST(CProfileTest, SavingSettersWriteScrambledTextsAtOnce) {
  testing_support::TempRegistry registry;
  CProfile profile;
  ASSERT_TRUE(profile.SetUserName(u"alice", true));
  ASSERT_TRUE(profile.SetUserPassword(u"s3cret", true));
  ASSERT_TRUE(profile.SetApn(u"internet", true));
  const std::u16string user = Stored(HKEY_USERS, kUserProfile, u"UserName");
  const std::u16string password = Stored(HKEY_USERS, kUserProfile, u"UserPassword");
  EXPECT_EQ(user.size(), 520u);
  EXPECT_EQ(password.find(u"s3cret"), std::u16string::npos);
  EXPECT_EQ(CScrambler::Unscramble(user), u"alice");
  EXPECT_EQ(CScrambler::Unscramble(password), u"s3cret");
  EXPECT_EQ(Utf16ToUtf8(Stored(HKEY_USERS, kUserProfile, u"Apn")), "internet");

  ASSERT_TRUE(profile.SetUserPassword(u"other", false));
  EXPECT_EQ(Stored(HKEY_USERS, kUserProfile, u"UserPassword"), password)
      << "without save nothing is written";
  ASSERT_TRUE(profile.SetUserPassword(nullptr, true));
  EXPECT_TRUE(profile.GetPassword().empty());
  EXPECT_EQ(CScrambler::Unscramble(Stored(HKEY_USERS, kUserProfile, u"UserPassword")), u"");
}

TEST(CProfileTest, TwoSavesOfOnePasswordDifferAndBothReadBack) {
  testing_support::TempRegistry registry;
  CProfile profile;
  ASSERT_TRUE(profile.SetUserPassword(u"1234", true));
  const std::u16string first = Stored(HKEY_USERS, kUserProfile, u"UserPassword");
  ASSERT_TRUE(profile.SetUserPassword(u"1234", true));
  const std::u16string second = Stored(HKEY_USERS, kUserProfile, u"UserPassword");
  EXPECT_NE(first, second);
  CProfile loaded;
  LoadDefaultProfile(loaded);
  EXPECT_EQ(Utf16ToUtf8(loaded.GetPassword()), "1234");
  EXPECT_EQ(CScrambler::Unscramble(first), u"1234");
}

TEST(CProfileTest, MachineOnlyValuesAreRewrittenToTheUsersStore) {
  testing_support::TempRegistry registry;
  const std::u16string machine_user = CScrambler::Scramble(u"installer-user");
  const std::u16string long_name(200, u'n');
  Put(HKEY_LOCAL_MACHINE, kMachineProfile, u"UserName", machine_user);
  Put(HKEY_LOCAL_MACHINE, kMachineProfile, u"UserPassword", CScrambler::Scramble(long_name));
  Put(HKEY_LOCAL_MACHINE, kMachineProfile, u"Apn", u"corporate.apn");

  CProfile profile;
  LoadDefaultProfile(profile);
  EXPECT_EQ(Utf16ToUtf8(profile.GetUserName()), "installer-user");
  EXPECT_EQ(profile.GetPassword(), long_name);
  EXPECT_EQ(Utf16ToUtf8(profile.GetApn()), "corporate.apn");

  const std::u16string rewritten = Stored(HKEY_USERS, kUserProfile, u"UserName");
  EXPECT_NE(rewritten, machine_user) << "rewritten with new padding";
  EXPECT_EQ(CScrambler::Unscramble(rewritten), u"installer-user");
  EXPECT_EQ(Stored(HKEY_USERS, kUserProfile, u"UserPassword").size(), 812u);
  EXPECT_EQ(Utf16ToUtf8(Stored(HKEY_USERS, kUserProfile, u"Apn")), "corporate.apn");
}

TEST(CProfileTest, UndecodableStoredPasswordReadsAsEmpty) {
  testing_support::TempRegistry registry;
  const std::u16string valid = CScrambler::Scramble(u"pw");
  Put(HKEY_USERS, kUserProfile, u"UserPassword", valid.substr(1));
  Put(HKEY_USERS, kUserProfile, u"UserName", CScrambler::Scramble(u"bob"));
  CProfile profile;
  LoadDefaultProfile(profile);
  EXPECT_TRUE(profile.GetPassword().empty());
  EXPECT_EQ(Utf16ToUtf8(profile.GetUserName()), "bob");
}

TEST(CProfileTest, NothingStoredLeavesTheStoreAlone) {
  testing_support::TempRegistry registry;
  CProfile profile(1, u"x", u"y", u"z");
  LoadDefaultProfile(profile);
  EXPECT_TRUE(profile.GetUserName().empty());
  EXPECT_TRUE(profile.GetPassword().empty());
  EXPECT_TRUE(profile.GetApn().empty());
  EXPECT_EQ(Utf16ToUtf8(Stored(HKEY_USERS, kUserProfile, u"UserPassword")), "<absent>");
  EXPECT_EQ(Utf16ToUtf8(Stored(HKEY_USERS, kUserProfile, u"Apn")), "<absent>");
}

TEST(CProfileTest, CredentialsNeverReachTheLog) {
  testing_support::TempRegistry registry;
  testing_support::LogCapture log(1);
  CProfile profile;
  profile.SetUserName(u"LogUserName", true);
  profile.SetUserPassword(u"LogPassword", true);
  LoadDefaultProfile(profile);
  // An unwritable store makes the setters log their failure.
  ASSERT_EQ(chmod(registry.User("/Software/Velta/Velta/Profiles/Default").c_str(), 0500), 0);
  EXPECT_FALSE(profile.SetUserPassword(u"LogPassword", true));
  ASSERT_EQ(chmod(registry.User("/Software/Velta/Velta/Profiles/Default").c_str(), 0700), 0);
  EXPECT_TRUE(log.Contains("CProfile::SetUserPassword: WriteString failed."));
  for (const std::string& line : log.Lines()) {
    EXPECT_EQ(line.find("LogPassword"), std::string::npos) << line;
    EXPECT_EQ(line.find("LogUserName"), std::string::npos) << line;
  }
}

}  // namespace

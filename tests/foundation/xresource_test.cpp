#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/xlog.h"
#include "foundation/xmemory.h"
#include "foundation/xresource.h"
#include "platform/resource_module.h"
#include "platform/resources.h"
#include "platform/win32_error.h"
#include "tests/support/log_capture.h"

namespace {

using platform::GetLastError;
using platform::SetLastError;
using testing_support::LogCapture;

constexpr const char* kInvalid = "GetStringResourceImage: invalid resources.";
constexpr const char* kInvalid2 = "GetStringResourceImage: invalid resources [2].";

std::vector<uint8_t> Le16(std::initializer_list<uint16_t> units) {
  std::vector<uint8_t> out;
  for (uint16_t unit : units) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return out;
}

class StringResourceTest : public ::testing::Test {
 protected:
  platform::ResourceModule module_ = platform::ResourceModuleBuilder()
                                         .AddString(0, u"zero")
                                         .AddString(1, u"one")
                                         .AddString(2, u"\u00E9\U0001F600")
                                         .AddString(4, std::u16string(u"a\0b", 3))
                                         .AddString(15, u"fifteen")
                                         .AddString(16, u"sixteen")
                                         .AddString(31, u"")
                                         .AddString(57344, u"title")
                                         .AddString(65535, u"last")
                                         .Build();

  // The bytes of the string-table block that holds `id`.
  std::pair<const char*, size_t> Block(unsigned id) const {
    platform::HRSRC resource = platform::FindResource(module_.handle(), id / 16 + 1, platform::kRtString);
    const void* data = platform::LockResource(platform::LoadResource(module_.handle(), resource));
    return {static_cast<const char*>(data), platform::SizeofResource(module_.handle(), resource)};
  }
};

TEST_F(StringResourceTest, FindsEachEntryInsideItsBlock) {
  struct Row {
    unsigned id;
    std::u16string text;
  } const rows[] = {
      {0, u"zero"},       {1, u"one"},          {2, u"\u00E9\U0001F600"}, {4, std::u16string(u"a\0b", 3)},
      {15, u"fifteen"},   {16, u"sixteen"},     {57344, u"title"},        {65535, u"last"},
  };
  LogCapture log;
  for (const auto& row : rows) {
    SetLastError(99);
    const char16_t* image = GetStringResourceImage(module_.handle(), row.id);
    ASSERT_NE(image, nullptr) << "id " << row.id << ", error " << GetLastError();
    EXPECT_EQ(GetLastError(), 0u) << "id " << row.id;
    EXPECT_EQ(std::u16string(image + 1, image[0]), row.text) << "id " << row.id;
    // The entry is the resource's own memory, not a copy.
    const auto [data, size] = Block(row.id);
    const auto* at = reinterpret_cast<const char*>(image);
    EXPECT_TRUE(at >= data && at + 2 + 2 * image[0] <= data + size) << "id " << row.id;
  }
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(StringResourceTest, EmptyOrMissingStringsAreNotFound) {
  platform::ResourceModule no_strings = platform::ResourceModuleBuilder().Add("DATA", 1, "x").Build();
  struct Row {
    const char* what;
    platform::HMODULE module;
    unsigned id;
    uint32_t error;
  } const rows[] = {
      {"an empty string", module_.handle(), 31, platform::kErrorResourceNameNotFound},
      {"an id not given, in a block that is there", module_.handle(), 3, platform::kErrorResourceNameNotFound},
      {"an id in a block that is not there", module_.handle(), 100, platform::kErrorResourceNameNotFound},
      {"an id beyond 16 bits", module_.handle(), 70000, platform::kErrorResourceNameNotFound},
      {"the largest id there is", module_.handle(), ~0u, platform::kErrorResourceNameNotFound},
      {"a module without a string table", no_strings.handle(), 0, platform::kErrorResourceTypeNotFound},
  };
  LogCapture log;
  for (const auto& row : rows) {
    SetLastError(0);
    EXPECT_EQ(GetStringResourceImage(row.module, row.id), nullptr) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
    SetLastError(0);
    EXPECT_EQ(XLoadString(row.module, row.id), nullptr) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
  }
  EXPECT_TRUE(log.Lines().empty()) << "a missing string is no damage: " << log.Lines().front();
}

TEST(StringResourceDamageTest, DamagedBlocksAreReportedNeverReadPast) {
  using Bytes = std::vector<uint8_t>;
  auto concat = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  Bytes whole_15 = concat(Bytes(30, 0), Le16({2, u'a', u'b'}));
  Bytes cut_15(whole_15.begin(), whole_15.end() - 1);
  struct Row {
    const char* what;
    Bytes block;
    unsigned id;
    const char* line;
  } const rows[] = {
      {"an empty block", {}, 0, kInvalid},
      {"half a length word", {0x01}, 0, kInvalid},
      {"the entry runs past the end", Le16({5, u'a'}), 0, kInvalid2},
      {"the largest length with no text", Le16({0xFFFF}), 0, kInvalid2},
      {"no length word for the entry", Le16({1, u'a'}), 1, kInvalid},
      {"the entry after a good one runs past the end", Le16({1, u'a', 0xFFFF}), 1, kInvalid2},
      {"a skipped entry runs past the end", Le16({1, u'a', 0xFFFF}), 2, kInvalid},
      {"a skipped entry longer than the block", Le16({16, u'a'}), 1, kInvalid},
      {"one byte where a length word should be", concat(Le16({1, u'a'}), Bytes{0}), 1, kInvalid},
      {"the last entry cut short by one byte", cut_15, 15, kInvalid2},
  };
  for (const auto& row : rows) {
    // The block is copied into a heap block of its exact size, so a read past
    // it is caught by the address sanitizer.
    platform::ResourceModule module =
        platform::ResourceModuleBuilder().Add(platform::kRtString, 1, row.block).Build();
    LogCapture log(kXLogWarning);
    SetLastError(0);
    EXPECT_EQ(GetStringResourceImage(module.handle(), row.id), nullptr) << row.what;
    EXPECT_EQ(GetLastError(), platform::kErrorInvalidData) << row.what;
    EXPECT_EQ(log.Lines(), std::vector<std::string>{row.line}) << row.what;

    SetLastError(0);
    EXPECT_EQ(XLoadString(module.handle(), row.id), nullptr) << row.what;
    EXPECT_EQ(GetLastError(), platform::kErrorInvalidData) << row.what;
  }

  // The same block whole is good.
  platform::ResourceModule whole = platform::ResourceModuleBuilder().Add(platform::kRtString, 1, whole_15).Build();
  const char16_t* image = GetStringResourceImage(whole.handle(), 15);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(std::u16string(image + 1, image[0]), u"ab");
}

TEST(StringResourceDamageTest, DamageIsLoggedAtWarningLevel) {
  platform::ResourceModule module = platform::ResourceModuleBuilder().Add(platform::kRtString, 1, "").Build();
  {
    LogCapture errors_only(kXLogError);
    EXPECT_EQ(GetStringResourceImage(module.handle(), 0), nullptr);
    EXPECT_FALSE(errors_only.Contains(kInvalid));
  }
  LogCapture warnings(kXLogWarning);
  EXPECT_EQ(GetStringResourceImage(module.handle(), 0), nullptr);
  EXPECT_TRUE(warnings.Contains(kInvalid));
}

TEST_F(StringResourceTest, XLoadStringCopiesTheEntryWithATerminator) {
  SetLastError(99);
  char16_t* text = XLoadString(module_.handle(), 2);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(std::u16string(text), u"\u00E9\U0001F600");
  const auto [data, size] = Block(2);
  const auto* at = reinterpret_cast<const char*>(text);
  EXPECT_FALSE(at >= data && at < data + size) << "a copy, not the resource";
  XFree(text);

  // A text with a zero unit inside is copied whole; the terminator follows it.
  text = XLoadString(module_.handle(), 4);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text, 4), std::u16string(u"a\0b\0", 4));
  XFree(text);
}

TEST(ProgramStringsTest, TheProgramsOwnTextsLoad) {
  char16_t* title = XLoadString(nullptr, 57344);
  ASSERT_NE(title, nullptr) << GetLastError();
  EXPECT_EQ(std::u16string(title), u"Vombel Connect");
  XFree(title);

  // Written with the \n escape in strings.txt: the build turns it into a line
  // break.
  char16_t* roaming = XLoadString(nullptr, 191);
  ASSERT_NE(roaming, nullptr) << GetLastError();
  EXPECT_NE(std::u16string(roaming).find(u"home network.\nPlease note"), std::u16string::npos);
  XFree(roaming);

  SetLastError(0);
  EXPECT_EQ(XLoadString(nullptr, 57359), nullptr) << "not in the table";
  EXPECT_EQ(GetLastError(), platform::kErrorResourceNameNotFound);
}

}  // namespace

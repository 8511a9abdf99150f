#include "app/about_texts.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"
#include "resources/project_version.h"

namespace {

using platform::Utf16ToUtf8;

TEST(AboutTextsTest, TitleNameVersionAndCompany) {
  FixedFileInfo info{};
  info.file_version_ms = (2u << 16) | 10u;
  info.file_version_ls = (65535u << 16) | 0u;
  const AboutTexts texts = MakeAboutTexts(u"R&D %s Connect", u"Kalmor %d NV", info);
  EXPECT_EQ(Utf16ToUtf8(texts.title), "About R&D %s Connect");
  EXPECT_EQ(Utf16ToUtf8(texts.name), "R&D %s Connect");
  EXPECT_EQ(Utf16ToUtf8(texts.version), "2.10.65535.0");
  EXPECT_EQ(Utf16ToUtf8(texts.company_line), "Copyright \u00A9 Kalmor %d NV");
  EXPECT_EQ(MakeAboutTexts(u"A", u"", std::nullopt).version, u"-");
}

TEST(AboutTextsTest, TheProgramsVersionIsTheProjectVersion) {
  const std::optional<FixedFileInfo> version = ReadProgramVersion();
  ASSERT_TRUE(version.has_value());
  const std::string expected = std::to_string(resources::kProjectVersionMajor) + "." +
                               std::to_string(resources::kProjectVersionMinor) + "." +
                               std::to_string(resources::kProjectVersionPatch) + "." +
                               std::to_string(resources::kProjectVersionTweak);
  EXPECT_EQ(Utf16ToUtf8(MakeAboutTexts(u"x", u"y", version).version), expected);
}

}  // namespace

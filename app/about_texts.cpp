#include "app/about_texts.h"
#include "app/text_util.h"

#include "app/string_loader.h"
#include "foundation/xlog.h"

namespace {

using app_text::Decimal;

constexpr std::u16string_view kTitleTemplate = u"About %s";
constexpr std::u16string_view kCompanyTemplate = u"Copyright \u00A9 %s";

std::u16string VersionText(const FixedFileInfo& info) {
  return Decimal(info.file_version_ms >> 16) + u"." + Decimal(info.file_version_ms & 0xFFFF) + u"." +
         Decimal(info.file_version_ls >> 16) + u"." + Decimal(info.file_version_ls & 0xFFFF);
}

}  // namespace

AboutTexts MakeAboutTexts(std::u16string_view application_name, std::u16string_view company_name,
                          const std::optional<FixedFileInfo>& version) {
  AboutTexts texts;
  texts.title = ReplaceFirstPlaceholder(std::u16string(kTitleTemplate), application_name);
  texts.name = std::u16string(application_name);
  texts.version = version ? VersionText(*version) : u"-";
  texts.company_line = ReplaceFirstPlaceholder(std::u16string(kCompanyTemplate), company_name);
  return texts;
}

std::optional<FixedFileInfo> ReadProgramVersion() {
  FixedFileInfo info{};
  if (!XGetFixedFileInfo(nullptr, &info)) {
    XLogLevel(kXLogWarning, "Unable to get the version.");
    return std::nullopt;
  }
  return info;
}

#include "app/ini_helper.h"

#include "app/resource_helper.h"
#include "app/text_util.h"

namespace {

constexpr std::u16string_view kApplicationSection = u"Application";

}  // namespace

const CIniHelper& CIniHelper::Instance() {
  static const CIniHelper instance(nullptr);
  return instance;
}

CIniHelper::CIniHelper(platform::HMODULE module)
    : CIniHelper(CResourceHelper::GetResource(kSettingsResourceId, kSettingsResourceType, module)) {}

CIniHelper::CIniHelper(std::u16string_view text) : sections_(Parse(text)) {}

CIniHelper::Sections CIniHelper::Parse(std::u16string_view text) {
  Sections sections;
  Section* current = nullptr;
  for (std::u16string_view raw : app_text::SplitLines(text)) {
    const std::u16string_view line = app_text::Trim(raw);
    if (line.size() > 2 && line.front() == u'[' && line.back() == u']') {
      const std::u16string_view name = app_text::Trim(line.substr(1, line.size() - 2));
      // "[ ]" opens nothing; the keys below it must not fall into the section
      // before it.
      current = nullptr;
      if (!name.empty()) {
        current = &sections[std::u16string(name)];
        current->clear();
      }
      continue;
    }
    const size_t equals = line.find(u'=');
    if (current == nullptr || equals == std::u16string_view::npos) continue;
    const std::u16string_view key = app_text::Trim(line.substr(0, equals));
    if (key.empty()) continue;
    (*current)[std::u16string(key)] = std::u16string(app_text::Trim(line.substr(equals + 1)));
  }
  return sections;
}

std::u16string CIniHelper::GetValue(std::u16string_view default_value,
                                    std::u16string_view key) const {
  const auto section = sections_.find(kApplicationSection);
  if (section == sections_.end()) return std::u16string(default_value);
  const auto value = section->second.find(key);
  if (value == section->second.end()) return std::u16string(default_value);
  return value->second;
}

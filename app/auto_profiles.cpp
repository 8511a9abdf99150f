#include "app/auto_profiles.h"

#include <mutex>
#include <vector>

#include "app/resource_helper.h"
#include "app/text_util.h"
#include "foundation/xlog.h"

namespace {

std::mutex& ImsiMutex() {
  static std::mutex mutex;
  return mutex;
}

std::u16string& ImsiStore() {
  static std::u16string imsi;
  return imsi;
}

std::vector<std::u16string_view> SplitFields(std::u16string_view line) {
  std::vector<std::u16string_view> fields;
  size_t start = 0;
  while (true) {
    const size_t comma = line.find(u',', start);
    fields.push_back(app_text::Trim(line.substr(start, comma == std::u16string_view::npos
                                                          ? std::u16string_view::npos
                                                          : comma - start)));
    if (comma == std::u16string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

std::unique_ptr<CProfile> ProfileFromFields(const std::vector<std::u16string_view>& fields) {
  auto profile = std::make_unique<CProfile>(1, u"", u"", u"");
  const auto field = [&fields](size_t index) {
    return index < fields.size() ? std::u16string(fields[index]) : std::u16string();
  };
  if (fields.size() == 6) {
    profile->SetCaption(field(1));
    profile->SetLogoBitmap(field(2));
    profile->SetApn(field(3).c_str(), false);
    profile->SetUserName(field(4).c_str(), false);
    profile->SetUserPassword(field(5).c_str(), false);
    return profile;
  }
  profile->SetApn(field(1).c_str(), false);
  profile->SetUserName(field(fields.size() >= 5 ? 4 : 2).c_str(), false);
  profile->SetUserPassword(field(fields.size() >= 7 ? 5 : 3).c_str(), false);
  return profile;
}

}  // namespace

const CAutoProfiles& CAutoProfiles::Instance() {
  static const CAutoProfiles instance(nullptr);
  return instance;
}

CAutoProfiles::CAutoProfiles(platform::HMODULE module)
    : CAutoProfiles(
          CResourceHelper::GetResource(kProfilesResourceId, kProfilesResourceType, module)) {}

CAutoProfiles::CAutoProfiles(std::u16string_view text) {
  for (std::u16string_view line : app_text::SplitLines(text)) {
    const std::vector<std::u16string_view> fields = SplitFields(line);
    if (fields.front().empty()) continue;
    std::u16string code(fields.front());
    auto [entry, inserted] = profiles_.try_emplace(code);
    if (!inserted) duplicated_ = true;
    entry->second = ProfileFromFields(fields);
  }
  XLogLevel(kXLogTrace, "CAutoProfiles: %zu profiles%s.", profiles_.size(),
            duplicated_ ? ", duplicated codes" : "");
}

const CProfile* CAutoProfiles::Find(std::optional<std::u16string_view> code) const {
  const std::u16string imsi = code ? std::u16string() : LastImsi();
  const std::u16string_view key = code ? *code : std::u16string_view(imsi);
  for (size_t length : {size_t{5}, size_t{6}}) {
    if (key.size() < length) break;
    const auto found = profiles_.find(key.substr(0, length));
    if (found != profiles_.end()) return found->second.get();
  }
  return nullptr;
}

bool CAutoProfiles::IsValid() const {
  if (duplicated_) return false;
  for (const auto& [code, profile] : profiles_) {
    if (code.size() != 5 && code.size() != 6) return false;
  }
  return true;
}

bool CAutoProfiles::HasCredentials() const {
  for (const auto& [code, profile] : profiles_) {
    if (!profile->GetUserName().empty() || !profile->GetPassword().empty()) return true;
  }
  return false;
}

void CAutoProfiles::SetLastImsi(std::u16string_view imsi) {
  std::lock_guard lock(ImsiMutex());
  ImsiStore() = imsi;
}

std::u16string CAutoProfiles::LastImsi() {
  std::lock_guard lock(ImsiMutex());
  return ImsiStore();
}

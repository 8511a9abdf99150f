#include "app/profile.h"

#include <optional>

#include "app/scrambler.h"
#include "app/settings.h"
#include "foundation/xlog.h"

namespace {

constexpr std::u16string_view kUserNameValue = u"UserName";
constexpr std::u16string_view kPasswordValue = u"UserPassword";
constexpr std::u16string_view kApnValue = u"Apn";

std::u16string FromNullable(const char16_t* text) { return text != nullptr ? text : u""; }

bool Save(const char* method, std::u16string_view name, std::u16string_view stored) {
  if (CSettings::Instance().WriteString(CProfile::kDefaultProfileKey, name, stored)) return true;
  // The value's name only: the text may be a password.
  XLogLevel(kXLogWarning, "CProfile::%s: WriteString failed.", method);
  return false;
}

}  // namespace

CProfile::CProfile(uint32_t use_credentials, std::u16string_view user_name,
                   std::u16string_view password, std::u16string_view apn)
    : use_credentials_(use_credentials), user_name_(user_name), password_(password), apn_(apn) {}

std::unique_ptr<CProfile> CProfile::Clone() const {
  return std::unique_ptr<CProfile>(new CProfile(*this));
}

bool CProfile::SetUserName(const char16_t* text, bool save) {
  user_name_ = FromNullable(text);
  return !save || Save("SetUserName", kUserNameValue, CScrambler::Scramble(user_name_));
}

bool CProfile::SetUserPassword(const char16_t* text, bool save) {
  password_ = FromNullable(text);
  return !save || Save("SetUserPassword", kPasswordValue, CScrambler::Scramble(password_));
}

bool CProfile::SetApn(const char16_t* text, bool save) {
  apn_ = FromNullable(text);
  return !save || Save("SetApn", kApnValue, apn_);
}

void LoadDefaultProfile(CProfile& profile) {
  const CSettings& settings = CSettings::Instance();
  const std::optional<std::u16string> user_name =
      settings.ReadValue(CProfile::kDefaultProfileKey, kUserNameValue, true);
  const std::optional<std::u16string> password =
      settings.ReadValue(CProfile::kDefaultProfileKey, kPasswordValue, true);
  const std::optional<std::u16string> apn =
      settings.ReadValue(CProfile::kDefaultProfileKey, kApnValue, true);

  profile.SetUserName(user_name ? CScrambler::Unscramble(*user_name).c_str() : u"",
                      user_name.has_value());
  profile.SetUserPassword(password ? CScrambler::Unscramble(*password).c_str() : u"",
                          password.has_value());
  profile.SetApn(apn ? apn->c_str() : u"", apn.has_value());
  XLogLevel(kXLogTrace, "LoadDefaultProfile: user name %s, password %s, apn %s.",
            user_name ? "found" : "absent", password ? "found" : "absent", apn ? "found" : "absent");
}

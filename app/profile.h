// A connection profile: what a data connection needs from the user or the
// operator. Automatic profiles come from the built-in table (CAutoProfiles);
// the default profile is the one the user edits, kept in the settings store
// under "Profiles\Default" with the user name and password scrambled.
//
// Profiles travel between threads inside posted messages; the receiver owns
// the copy it gets (Clone).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CProfile {
 public:
  static constexpr std::u16string_view kDefaultProfileKey = u"Profiles\\Default";

  CProfile() = default;
  CProfile(uint32_t use_credentials, std::u16string_view user_name, std::u16string_view password,
           std::u16string_view apn);
  virtual ~CProfile() = default;

  virtual std::unique_ptr<CProfile> Clone() const;

  uint32_t GetUseCredentials() const { return use_credentials_; }
  const std::u16string& GetUserName() const { return user_name_; }
  const std::u16string& GetPassword() const { return password_; }
  const std::u16string& GetApn() const { return apn_; }
  const std::u16string& GetCaption() const { return caption_; }
  const std::u16string& GetLogoBitmap() const { return logo_bitmap_; }

  void SetUseCredentials(uint32_t use_credentials) { use_credentials_ = use_credentials; }
  // Null stores an empty text. With `save`, the scrambled text is written to
  // the default profile at once; a failed write is logged (never the text)
  // and the value stays set in memory. The result tells whether the write
  // happened (true without `save`).
  bool SetUserName(const char16_t* text, bool save);
  bool SetUserPassword(const char16_t* text, bool save);
  // The APN is stored in plain text.
  bool SetApn(const char16_t* text, bool save);
  void SetCaption(std::u16string_view text) { caption_ = text; }
  void SetLogoBitmap(std::u16string_view text) { logo_bitmap_ = text; }

 protected:
  CProfile(const CProfile&) = default;
  CProfile& operator=(const CProfile&) = default;

 private:
  uint32_t use_credentials_ = 0;
  std::u16string user_name_;
  std::u16string password_;
  std::u16string apn_;
  std::u16string caption_;
  std::u16string logo_bitmap_;
};

// Fills `profile` from "Profiles\Default" (each value with the machine-wide
// fallback). Every value found is written back to the user's store in the
// current form, so one that only the installer's machine key holds, or one
// written with an older padding, becomes the user's own. A value found
// nowhere is left empty and not written: a read that failed must not wipe
// what the store holds.
void LoadDefaultProfile(CProfile& profile);

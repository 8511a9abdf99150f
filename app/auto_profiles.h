// The automatic profiles: a table compiled into the program (resource
// "PROFILES_DB" 170) that maps an operator code, the MCC followed by the MNC
// as they start the SIM's IMSI, to the operator's internet APN and
// credentials, so a user with a known operator never types anything.
//
// Table text: one profile a line, fields separated by "," (no quoting) and
// trimmed. Six fields: code, caption, logo bitmap, APN, user name, password.
// Any other count: code, APN, user name, password; a fifth field replaces the
// user name and a sixth (on lines of seven or more) the password. A later line
// with the same code replaces the earlier one and marks the table Duplicated.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/profile.h"
#include "platform/module.h"

class CAutoProfiles {
 public:
  using Map = std::map<std::u16string, std::unique_ptr<CProfile>, std::less<>>;

  static constexpr int kProfilesResourceId = 170;
  static constexpr const char* kProfilesResourceType = "PROFILES_DB";

  // The program's own table, built on first use. A missing resource gives an
  // empty table, which turns the feature off.
  static const CAutoProfiles& Instance();

  // The table of `module` (null: the program).
  explicit CAutoProfiles(platform::HMODULE module);
  // A table from already loaded text. Any text gives a table; lines without a
  // code are skipped.
  explicit CAutoProfiles(std::u16string_view text);

  // The profile for an operator code or IMSI: the key of its first 5
  // characters, else of its first 6 (MNCs have 2 or 3 digits). With no code,
  // the IMSI last read from the SIM (SetLastImsi). Null when none matches.
  const CProfile* Find(std::optional<std::u16string_view> code = std::nullopt) const;

  // No code occurred twice and every code has 5 or 6 characters. The program
  // refuses to start with an invalid table.
  bool IsValid() const;
  // Some profile carries a user name or password.
  bool HasCredentials() const;
  bool Duplicated() const { return duplicated_; }
  size_t Count() const { return profiles_.size(); }
  const Map& Profiles() const { return profiles_; }

  // The IMSI the worker thread last read from the SIM; the worker sets it,
  // any thread may call Find() with it. Empty until a SIM was read.
  static void SetLastImsi(std::u16string_view imsi);
  static std::u16string LastImsi();

 private:
  Map profiles_;
  bool duplicated_ = false;
};

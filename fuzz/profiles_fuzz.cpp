// The automatic-profile table and the stored (scrambled) user name and
// password are outside input: the table is operator data regenerated per
// build, the stored values sit in a file any program of the user can change.
// The first byte picks the reader; both must finish without faults.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/auto_profiles.h"
#include "app/resource_helper.h"
#include "app/scrambler.h"

namespace {

void FuzzTable(std::u16string_view text) {
  const CAutoProfiles table(text);
  (void)table.IsValid();
  (void)table.HasCredentials();
  for (const auto& [code, profile] : table.Profiles()) {
    if (code.empty() || profile == nullptr || profile->GetUseCredentials() != 1) __builtin_trap();
    // A 5-character key is always found by its own code.
    if (code.size() == 5 && table.Find(std::u16string_view(code)) != profile.get()) __builtin_trap();
  }
  (void)table.Find(text);
}

void FuzzStored(std::u16string_view stored) {
  const std::u16string text = CScrambler::Unscramble(stored);
  // What reads back, stored again, reads back the same.
  if (CScrambler::Unscramble(CScrambler::Scramble(text)) != text) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::u16string text = CResourceHelper::AnsiToText(
      std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  if (data[0] & 1) {
    FuzzStored(text);
  } else {
    FuzzTable(text);
  }
  return 0;
}

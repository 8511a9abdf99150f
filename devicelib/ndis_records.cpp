#include "devicelib/ndis_records.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"

namespace GSM {
namespace {

using platform::kNdisConfigCommandOffset;
using platform::kNdisConfigCommandSize;
using platform::kNdisConfigCommandSlots;
using platform::kNdisConfigSize;
using platform::kNdisCredentialSize;
using platform::kNdisPasswordOffset;
using platform::kNdisUserNameOffset;

constexpr std::string_view kCsRegistrationQuery = "AT+CREG?";
constexpr std::string_view kPsRegistrationSlot = "AT+CGREG?^0,1~0,5~";
constexpr std::string_view kPsRegistrationReportAnswers = "1,1~1,5~";

// The text of a zero-terminated field (the whole field when unterminated).
std::string_view FieldText(std::span<const uint8_t> field) {
  const auto end = std::find(field.begin(), field.end(), uint8_t{0});
  return {reinterpret_cast<const char*>(field.data()), static_cast<size_t>(end - field.begin())};
}

void WriteField(std::span<uint8_t> field, std::string_view text) {
  std::fill(field.begin(), field.end(), uint8_t{0});
  const size_t n = std::min(text.size(), field.size() - 1);
  std::memcpy(field.data(), text.data(), n);
}

uint32_t ReadU32(std::span<const uint8_t> bytes, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

}  // namespace

std::string OemCredential(const char16_t* text) {
  if (text == nullptr || *text == u'\0') return {};
  const int needed = platform::WideCharToMultiByte(platform::kCpOemCp, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 1) return {};
  std::string bytes(static_cast<size_t>(needed), '\0');
  const int written = platform::WideCharToMultiByte(platform::kCpOemCp, 0, text, -1, bytes.data(), needed, nullptr,
                                                    nullptr);
  if (written <= 1) return {};
  bytes.resize(static_cast<size_t>(written - 1));  // without the converted terminator
  if (bytes.size() > kNdisCredentialMax) bytes.resize(kNdisCredentialMax);
  return bytes;
}

std::u16string CredentialFromOem(std::span<const uint8_t> field) {
  std::string_view text = FieldText(field);
  if (text.size() > kNdisCredentialMax) text = text.substr(0, kNdisCredentialMax);
  if (text.empty()) return {};
  std::u16string result(text.size(), u'\0');
  const int written = platform::MultiByteToWideChar(platform::kCpOemCp, 0, text.data(), static_cast<int>(text.size()),
                                                    result.data(), static_cast<int>(result.size()));
  result.resize(written > 0 ? static_cast<size_t>(written) : 0);
  if (result.size() > kNdisCredentialMax) result.resize(kNdisCredentialMax);
  return result;
}

std::vector<uint8_t> BuildNdisConnectRequest(size_t size, std::string_view dial_string, const char16_t* user_name,
                                             const char16_t* password) {
  std::vector<uint8_t> request(std::max(size, kNdisPasswordOffset + kNdisCredentialSize), 0);
  const std::span<uint8_t> bytes(request);
  WriteField(bytes.subspan(0, platform::kNdisDialStringSize), dial_string);
  WriteField(bytes.subspan(kNdisUserNameOffset, kNdisCredentialSize), OemCredential(user_name));
  WriteField(bytes.subspan(kNdisPasswordOffset, kNdisCredentialSize), OemCredential(password));
  return request;
}

bool ParseNdisStateRecord(std::span<const uint8_t> bytes, platform::NdisStateRecord& record) {
  if (bytes.size() < sizeof(platform::NdisStateRecord)) return false;
  record.state = ReadU32(bytes, 0);
  record.reason = ReadU32(bytes, 4);
  return true;
}

bool ParseNdisStatisticsRecord(std::span<const uint8_t> bytes, platform::NdisStatisticsRecord& record) {
  if (bytes.size() < sizeof(platform::NdisStatisticsRecord)) return false;
  record.bytes_transmitted = ReadU32(bytes, 0);
  record.bytes_received = ReadU32(bytes, 4);
  for (size_t i = 0; i < 3; ++i) record.unused[i] = ReadU32(bytes, 8 + 4 * i);
  record.duration = ReadU32(bytes, 20);
  return true;
}

bool FixNdisConfigCommands(std::span<uint8_t> record) {
  if (record.size() != kNdisConfigSize) return false;
  bool changed = false;
  for (size_t i = 0; i < kNdisConfigCommandSlots; ++i) {
    const std::span<uint8_t> slot = record.subspan(kNdisConfigCommandOffset + i * kNdisConfigCommandSize,
                                                   kNdisConfigCommandSize);
    const std::string_view text = FieldText(slot);
    if (text.starts_with(kCsRegistrationQuery)) {
      std::fill(slot.begin(), slot.end(), uint8_t{0});
      changed = true;
    } else if (text == kPsRegistrationSlot) {
      // What followed the old terminator is the driver's leftover, not ours
      // to keep as text.
      std::memcpy(slot.data() + text.size(), kPsRegistrationReportAnswers.data(), kPsRegistrationReportAnswers.size());
      slot[text.size() + kPsRegistrationReportAnswers.size()] = 0;
      changed = true;
    }
  }
  return changed;
}

std::u16string ConfigUserName(std::span<const uint8_t> record) {
  if (record.size() < kNdisUserNameOffset + kNdisCredentialSize) return {};
  return CredentialFromOem(record.subspan(kNdisUserNameOffset, kNdisCredentialSize));
}

std::u16string ConfigPassword(std::span<const uint8_t> record) {
  if (record.size() < kNdisPasswordOffset + kNdisCredentialSize) return {};
  return CredentialFromOem(record.subspan(kNdisPasswordOffset, kNdisCredentialSize));
}

void SetConfigCredentials(std::span<uint8_t> record, const char16_t* user_name, const char16_t* password) {
  if (record.size() < kNdisPasswordOffset + kNdisCredentialSize) return;
  WriteField(record.subspan(kNdisUserNameOffset, kNdisCredentialSize), OemCredential(user_name));
  WriteField(record.subspan(kNdisPasswordOffset, kNdisCredentialSize), OemCredential(password));
}

}  // namespace GSM

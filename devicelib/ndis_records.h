// The records the NDIS connections exchange with the card's WWAN driver,
// built and read without touching the driver: the connect request, the
// state and statistics records, and the configuration record with its
// credentials and command slots (layouts in platform/wwan_ndis.h). What the
// driver hands back may be of any content and length; nothing here reads
// beyond the bytes it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wwan_ndis.h"

namespace GSM {

inline constexpr std::string_view kNdisDialString = "ATDT*99***1#";
inline constexpr std::string_view kBroadcomNdisDialString = "*99***1#";

// At most this many bytes of a credential go into a 40-byte field, and at
// most this many characters come out of one.
inline constexpr size_t kNdisCredentialMax = platform::kNdisCredentialSize - 1;

// `text` (null: empty) in the OEM code page, cut to kNdisCredentialMax
// bytes. A character the code page lacks becomes "?".
std::string OemCredential(const char16_t* text);
// The zero-terminated OEM text of a credential field (the whole field when
// no zero ends it), at most kNdisCredentialMax characters.
std::u16string CredentialFromOem(std::span<const uint8_t> field);

// A connect request of `size` bytes (kNdisConnectRequestSize or
// kBroadcomNdisConnectRequestSize): the dial string and the two credentials,
// every other byte zero.
std::vector<uint8_t> BuildNdisConnectRequest(size_t size, std::string_view dial_string, const char16_t* user_name,
                                             const char16_t* password);

// The records as read; a record shorter than its layout reads as absent.
bool ParseNdisStateRecord(std::span<const uint8_t> bytes, platform::NdisStateRecord& record);
bool ParseNdisStatisticsRecord(std::span<const uint8_t> bytes, platform::NdisStatisticsRecord& record);

inline bool operator==(const platform::NdisStateRecord& a, const platform::NdisStateRecord& b) {
  return a.state == b.state && a.reason == b.reason;
}

// The driver's command slots as the library wants them: a slot that starts
// with "AT+CREG?" is emptied, so that the driver does not poll the CS
// registration beside the library, and the PS registration slot
// "AT+CGREG?^0,1~0,5~", which lists the answers the driver accepts as
// registered, also accepts them in the form they take once the library has
// switched registration reports on ("1,1~1,5~"). True when a slot changed.
// A record of another size is left alone.
bool FixNdisConfigCommands(std::span<uint8_t> record);
// The two credentials of a configuration record.
std::u16string ConfigUserName(std::span<const uint8_t> record);
std::u16string ConfigPassword(std::span<const uint8_t> record);
// Empties both credential fields and writes the two texts (null: empty).
void SetConfigCredentials(std::span<uint8_t> record, const char16_t* user_name, const char16_t* password);

}  // namespace GSM

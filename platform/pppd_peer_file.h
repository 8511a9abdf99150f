// The per-user peer file of a dial-up entry: the connection's own pppd
// options (pppd reads the file with "file <path>"), and on comment lines that
// start with "#@" the entry's fields pppd has no option for, which pppd skips
// and the program reads back. Text in, values out and back; the phonebook
// does the file I/O.
//
// What maps to pppd options:
//   the phone number        set "VOMBEL_DIAL_NUMBER=<number>"  (the installed
//                           connect script hands it to chat)
//   RASEO_IpHeaderCompression  off: novj
//   RASEO_RemoteDefaultGateway on: defaultroute
//   RASEO_SwCompression        off: noccp
//   dwIdleDisconnectSeconds 1 … 2^31-1: idle <n>
// Everything else is a "#@ <key> <value>" line (numbers in decimal or 0x hex,
// texts as they are to the end of the line).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The RASEO_ bit of software compression (CCP), which pppd negotiates unless
// told "noccp".
inline constexpr uint32_t kRaseoSwCompression = 0x00000200;

// The variable the installed connect script dials (chat -T "$VOMBEL_DIAL_NUMBER").
inline constexpr std::string_view kDialNumberVariable = "VOMBEL_DIAL_NUMBER";

// An entry's fields as the file keeps them; texts in UTF-8.
struct PeerFileEntry {
  uint32_t options = 0;  // RASEO_ bits
  uint32_t country_id = 0;
  uint32_t country_code = 0;
  std::string phone_number;
  uint32_t net_protocols = 0;
  uint32_t framing_protocol = 0;
  std::string device_type;
  std::string device_name;
  uint32_t sub_entries = 0;
  uint32_t dial_mode = 0;
  uint32_t idle_disconnect_seconds = 0;

  bool operator==(const PeerFileEntry&) const = default;
};

// What a dial string may hold: digits, "*#+,", the tone digits A to D and the
// dial modifiers P T W ! @ (either case), at most 128 of them. Nothing that
// chat, the shell or the card could take for more than a number.
bool IsDialString(std::string_view number);

// A text that can stand on a "#@" line: no control characters (a line end
// would end the line).
bool IsCommentText(std::string_view text);

// The file for `entry`, named `entry_name` in its heading. The number must be
// a dial string and the texts comment texts (the caller checks).
std::string FormatPeerFile(std::string_view entry_name, const PeerFileEntry& entry);

// Reads a peer file written by FormatPeerFile, or edited by hand: pppd's word
// rules (whitespace, "#" comments, double or single quotes, backslash
// escapes), options it does not know skipped, "#@" lines with unknown keys
// or malformed numbers ignored. Never fails; absent fields stay zero, except
// that header compression and software compression count as on unless the
// file turns them off, as they are for pppd.
PeerFileEntry ParsePeerFile(std::string_view text);

}  // namespace platform

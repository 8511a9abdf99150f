// The systemd journal as the debug output's destination: one entry per text,
// at debug priority, under the program's name (`journalctl -t vombel-connect`).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The syslog priority of every entry: debug.
inline constexpr int kJournalPriority = 7;

// The fields of the entry for `text`: MESSAGE (the text without its final
// line break), PRIORITY and SYSLOG_IDENTIFIER (`identifier`).
std::vector<std::string> JournalFields(std::string_view text, std::string_view identifier);

// Sends `text` as one entry under the program's short name. Without a
// journal (no journald socket) the text is dropped; nothing is reported, as
// the report would go the same way.
void WriteToJournal(std::string_view text);

}  // namespace platform

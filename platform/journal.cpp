#include "platform/journal.h"

#include <errno.h>
#include <sys/uio.h>

// The entry's code location would always be this file: left out.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>

namespace platform {

std::vector<std::string> JournalFields(std::string_view text, std::string_view identifier) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  std::vector<std::string> fields;
  fields.reserve(3);
  fields.push_back("MESSAGE=" + std::string(text));
  fields.push_back("PRIORITY=" + std::to_string(kJournalPriority));
  fields.push_back("SYSLOG_IDENTIFIER=" + std::string(identifier));
  return fields;
}

void WriteToJournal(std::string_view text) {
  // sd_journal_sendv encodes a field that holds line breaks in the binary
  // form itself, so a multi-line text stays one entry.
  const std::vector<std::string> fields = JournalFields(text, program_invocation_short_name);
  iovec vectors[3];
  for (size_t i = 0; i < fields.size() && i < 3; ++i) {
    vectors[i].iov_base = const_cast<char*>(fields[i].data());
    vectors[i].iov_len = fields[i].size();
  }
  static_cast<void>(sd_journal_sendv(vectors, static_cast<int>(fields.size())));
}

}  // namespace platform

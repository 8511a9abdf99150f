// Where the debug output goes: the choice a program makes from VOMBEL_DEBUG,
// the journal entry's fields, and standard error only when chosen.
#include "platform/debug_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/journal.h"

namespace {

using platform::kDebugToJournal;
using platform::kDebugToStandardError;

TEST(DebugOutputTest, VombelDebugAddsStandardErrorToTheJournal) {
  struct Case {
    const char* value;
    unsigned destinations;
  };
  const Case cases[] = {
      {nullptr, kDebugToJournal},
      {"", kDebugToJournal},
      {"0", kDebugToJournal},
      {"1", kDebugToJournal | kDebugToStandardError},
      {"yes", kDebugToJournal | kDebugToStandardError},
      {"00", kDebugToJournal | kDebugToStandardError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
    EXPECT_EQ(platform::JournalDestinationsFor(c.value), c.destinations);
  }
}

TEST(DebugOutputTest, JournalEntryCarriesTheTextAtDebugPriorityUnderTheProgramsName) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"Log started     : 2026-12-08, 9:05:01\n", "MESSAGE=Log started     : 2026-12-08, 9:05:01"},
      {"no line break", "MESSAGE=no line break"},
      {"two\nlines\n", "MESSAGE=two\nlines"},  // one entry; only the last break goes
      {"\n", "MESSAGE="},
      {"", "MESSAGE="},
      {"kept\n\n", "MESSAGE=kept\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::vector<std::string> fields = platform::JournalFields(c.text, "vombel-connect");
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0], c.message);
    EXPECT_EQ(fields[1], "PRIORITY=7");
    EXPECT_EQ(fields[2], "SYSLOG_IDENTIFIER=vombel-connect");
  }
}

TEST(DebugOutputTest, StandardErrorGetsTheTextOnlyWhenChosen) {
  const unsigned previous = platform::DebugOutputDestinations();
  EXPECT_EQ(previous, kDebugToStandardError) << "the default before any program chooses";
  struct Case {
    unsigned destinations;
    const char* on_stderr;
  };
  const Case cases[] = {
      {kDebugToStandardError, "line\n"},
      {kDebugToJournal, ""},  // sent to the journal (dropped when there is none)
      {kDebugToJournal | kDebugToStandardError, "line\n"},
      {0, ""},
      {0x80 | kDebugToJournal, ""},  // unknown bits are dropped
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destinations);
    platform::SetDebugOutputDestinations(c.destinations);
    testing::internal::CaptureStderr();
    platform::OutputDebugString("line\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.on_stderr);
    EXPECT_EQ(platform::DebugOutputDestinations() & ~(kDebugToJournal | kDebugToStandardError), 0u);
  }
  platform::SetDebugOutputDestinations(previous);
}

}  // namespace

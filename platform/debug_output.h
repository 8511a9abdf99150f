// Where log lines go when no sink is installed: standard error, the systemd
// journal, or both, as the program chose at start.
#pragma once

namespace platform {

// The destinations of the debug output, as bits.
inline constexpr unsigned kDebugToStandardError = 1;
inline constexpr unsigned kDebugToJournal = 2;

// The destinations of a program that keeps its debug output in the journal:
// the journal, and standard error as well when `vombel_debug` (the value of
// VOMBEL_DEBUG, null when it is not set) asks for it: set, and neither empty
// nor "0".
unsigned JournalDestinationsFor(const char* vombel_debug);

// Chooses the destinations for the whole process (the output is the
// process's, as its standard error is). Until a program chooses, standard
// error alone: the tests and the command-line tools read it there.
void SetDebugOutputDestinations(unsigned destinations);
unsigned DebugOutputDestinations();

// Writes `text` to the chosen destinations: to standard error in one write,
// so lines of concurrent threads do not interleave; to the journal as one
// entry at debug priority under the program's name (journal.h).
void OutputDebugString(const char* text);

// True when `text` points to readable memory up to and including its
// terminating zero; never faults.
bool IsReadableString(const char* text);

}  // namespace platform

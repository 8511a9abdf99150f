// The other program of the card-sharing tests: it asks for the card the way a
// program that wants it does (signal the suspension event, wait for the
// exclusive mutex), or misbehaves on purpose. It says what it did on
// standard output, one word a line, and waits for a line on standard input
// where the test has to let it go on.
//
//   request            signal, wait for the mutex, "owned"; on a line:
//                      release it, reset the event, "released"
//   signal-and-die     signal, "signalled", then die by SIGKILL
//   signal-then-reset  signal, "signalled"; on a line: reset, "reset"
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "carddetect/library_globals.h"
#include "platform/event.h"
#include "platform/named_event.h"
#include "platform/named_object.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace {

void Say(const char* word) {
  std::printf("%s\n", word);
  std::fflush(stdout);
}

void WaitForLine() {
  std::string line;
  std::getline(std::cin, line);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: carddetect_helper request|signal-and-die|signal-then-reset\n");
    return 2;
  }
  const std::string mode = argv[1];
  platform::UniqueHandle event(platform::CreateNamedEvent(kSuspensionEventName, true, false));
  if (!event || !platform::SetEvent(event.get())) {
    std::fprintf(stderr, "carddetect_helper: no suspension event (%u)\n", platform::GetLastError());
    return 1;
  }
  if (mode == "signal-and-die") {
    Say("signalled");
    raise(SIGKILL);
    return 1;
  }
  if (mode == "signal-then-reset") {
    Say("signalled");
    WaitForLine();
    platform::ResetEvent(event.get());
    Say("reset");
    return 0;
  }
  if (mode != "request") return 2;
  platform::UniqueHandle mutex(platform::CreateMutex(kExclusiveMutexName, false));
  if (!mutex) return 1;
  // In slices, so that a holder in another process is seen letting go even
  // where nothing wakes the wait when it does.
  for (;;) {
    const uint32_t result = platform::WaitForSingleObject(mutex.get(), 100);
    if (result == platform::kWaitObject0 || result == platform::kWaitAbandoned0) break;
    if (result != platform::kWaitTimeout) return 1;
  }
  Say("owned");
  WaitForLine();
  platform::ReleaseMutex(mutex.get());
  mutex.reset();
  platform::ResetEvent(event.get());
  Say("released");
  return 0;
}

// The listener thread: it watches the two named objects through which
// programs share the card, as its duty says, and reports to the client's
// thread by posting to the notification window (it never touches the card
// record itself):
//
//   Idle                    waits for a new duty
//   WaitForSuspend          this program holds the card: waits for a
//                           suspension request
//   WaitForSuspendAndMutex  another program holds the card: waits for a
//                           request, or for the mutex to come free
//   WaitForMutex            suspended: waits for the mutex to come free, or
//                           for the requester to withdraw (event reset)
//   Stop                    ends the thread
#pragma once

#include <cstdint>

#include "carddetect/library_globals.h"

// Starts the thread and waits up to 10 s for it to report in. 0, or the
// creation error (258 when it did not report in time); nothing is left open
// on failure.
uint32_t StartListenerThread();
// Asks the thread to stop and waits up to `limit_ms` for it, then closes its
// handles.
void StopListenerThread(uint32_t limit_ms);
// Stores a new duty and wakes the thread (only while it runs and when the
// duty changes).
void SetListenerDuty(ListenerDuty duty);
// The log name of a duty ("'Idle'" ...).
const char* ListenerDutyName(uint32_t duty);

// The card state machine: the state changes and the notification that
// announces each one, the full re-examination of the system, the step-by-step
// completion of a detected card's sub-devices, and the check that decides
// whether this program may use the card at all (another program asking for it
// through the suspension event) together with the grab of the exclusive
// mutex.
//
// Everything here runs on the client's thread, except IsSuspensionRequested,
// which the listener thread uses too (it touches only the named objects).
#pragma once

#include <cstdint>

#include "carddetect/nw_card_info.h"

// Posts the registered message with `reason` to the listener window. 6 when
// no listener is registered or its window is gone; 0 when posted.
uint32_t SendNotification(NwEventReason reason);

// SetCardState unless the state is `state` already.
void SetCardStateIfChanged(NwCardState state, NwEventReason reason);
// Enters `state`, notifies the listener, and resets the record (stopped) or
// starts (starting) or stops (anything else) the timers that go with it.
void SetCardState(NwCardState state, NwEventReason reason);
// Stops the card whatever its state: reset, CardStateStopped, notification,
// reset again, all timers stopped. For standby and removal.
void ForceStopped(NwEventReason reason);

// Whether another program asks for the card: the suspension event exists and
// is signalled. A signalled event whose mutex nobody holds was left behind by
// a requester that died; it is reset, and the answer is still yes.
bool IsSuspensionRequested();
// Takes the exclusive mutex without waiting (a mutex already held is kept).
// 0, or the error that kept it from being taken (2 when it could not be
// created or opened).
uint32_t GrabExclusiveMutex();
// Releases and closes the exclusive mutex; false (with a warning) when this
// program does not hold it.
bool ReleaseExclusiveMutex();
// The suspension check and the grab together, setting the listener's duty to
// match: true when the card must be left alone (suspended).
bool CheckSuspension();

// Starts over from CardStateStopped (silently) and finds out what the system
// holds now: a suspension request, a supported card, or nothing.
void CheckActualState(NwEventReason reason);

// Which searches one TryCompleteDetection pass may run.
struct DetectionSteps {
  bool modem = false;
  bool final_port_if_multiplexing = false;
  bool final_port_otherwise = false;
  bool wwan = false;
  bool smart_card = false;
  bool secondary_port = false;
  bool diagnostics_port = false;

  static constexpr DetectionSteps All() { return {true, true, true, true, true, true, true}; }
};

// Searches the sub-devices still missing in the enabled steps, in their
// fixed order and with their waiting rules, and moves a card in
// CardStateStarting to CardStateStarted once nothing is missing. True when
// the card is complete.
bool TryCompleteDetection(const DetectionSteps& steps, NwEventReason reason);

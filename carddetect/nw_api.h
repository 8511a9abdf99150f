// The card-detection library's interface. A client initialises the library
// on a thread that runs a message loop, registers one window and message
// number, and receives that message (wParam: an NwEventReason) whenever the
// card state changes; it then copies the record with NwGetCardInfo.
//
// Every function is called on the client's thread, the one that called
// NwInitialize, and returns a system error number (0 success; 21 not
// initialised; 122 bad record size; 55 no card) unless said otherwise.
#pragma once

#include <cstdint>

#include "carddetect/nw_card_info.h"
#include "platform/module.h"
#include "platform/window.h"

// Loads the card table from `module` (null: the program), starts the
// listener thread and the notification window, and examines the system.
// 0 when already initialised.
uint32_t NwInitialize(platform::HMODULE module);
// Undoes NwInitialize; 0 (also when not initialised).
uint32_t NwShutdown();

// Notifications go to `window` as `message`; the registration itself is
// announced with NwEventReasonListenerRegistered.
uint32_t NwRegisterListener(platform::HWND window, uint32_t message);
uint32_t NwUnregisterListener();

// Copies info->Size bytes of the record (one of the sizes nw_card_info.h
// lists).
uint32_t NwGetCardInfo(NwCardInfo* info);

// Whether the removal about to be reported is the first insertion's quirk of
// a card with a smart card reader (checked once per card).
bool NwIsFirstInsertionsFakeRemoval();

// Lets go of the card for a program that asked for it (in
// CardStateSuspended, after closing everything on the card); the library
// comes back once that program is done with it.
uint32_t NwReleaseExclusiveAccess();

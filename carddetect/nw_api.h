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

// The sentence for the user while a card is there but another program holds
// its port and would not let go (ModemManager not allowed to hand it over,
// or another program that has it open): which program holds it and what to
// do. Announced with NwEventReasonCardHeld, once per held card, and again
// when its port is free (the sentence is then gone); a client that
// registers late reads it on NwEventReasonListenerRegistered. Copies it,
// zero-terminated, into `buffer` of `size` characters (kNwCardHeldTextSize
// always suffices). 0; 55 (an empty buffer) when no card is held; 122 when
// `buffer` is null or too small (an empty buffer when `size` is not 0).
uint32_t NwGetCardHeldText(char16_t* buffer, uint32_t size);

// Whether the removal about to be reported is the first insertion's quirk of
// a card with a smart card reader (checked once per card).
bool NwIsFirstInsertionsFakeRemoval();

// For a program that needs the card for a while although another program
// may be using it. Called on the client's thread before NwInitialize. When
// the exclusive mutex is free it is taken at once; when another program
// holds it, the suspension event is signalled, `on_waiting` is called once,
// and the mutex is waited for in slices, `cancelled` being asked between
// them. 0 once the mutex is this thread's: it stays held, and the request
// stays up (so the other program stays suspended), until NwShutdown gives
// the card back. 258 when it was not given within `timeout_ms`, 1223 when
// cancelled (the request is withdrawn either way), 1247 after NwInitialize,
// 2 when the named objects could not be made.
struct NwAccessRequest {
  uint32_t timeout_ms = 0;  // platform::kInfinite: until given or cancelled
  void (*on_waiting)(void* context) = nullptr;
  bool (*cancelled)(void* context) = nullptr;
  void* context = nullptr;
};
uint32_t NwRequestExclusiveAccess(const NwAccessRequest& request);

// Lets go of the card for a program that asked for it (in
// CardStateSuspended, after closing everything on the card); the library
// comes back once that program is done with it.
uint32_t NwReleaseExclusiveAccess();

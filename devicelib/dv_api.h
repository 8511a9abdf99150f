// The device-access library's interface: what a client calls. Every call
// returns a result code (result_codes.h) and raises nothing. Calls that talk
// to the card begin with the standard guard (GSM::Device::Guard).
//
// A client initialises the library on a thread that runs a message loop;
// from then on it calls the library on that thread only, and its two
// handlers are called there, between its own messages.
//
// Output text buffers are caller-owned arrays of UTF-16 characters of the
// size each call names; every call clears the buffer first and copies at
// most size - 1 characters and a terminating zero.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devicelib/device_states.h"
#include "devicelib/result_codes.h"
#include "devicelib/sms_message.h"
#include "platform/module.h"

// Called on the library's thread for every event (DvEvent) with its
// parameter; the records of events 11, 12, 15 and 16 belong to the handler,
// which frees them with platform::LocalFree.
using DvEventHandler = void (*)(uint32_t event, uintptr_t parameter, void* context);
// Called on the library's thread for failures the connection threads detect.
using DvErrorHandler = void (*)(uint32_t type, DvResult primary, DvResult secondary, void* context);

struct DvClientHandlers {
  DvEventHandler on_event = nullptr;
  DvErrorHandler on_error = nullptr;
  void* context = nullptr;
};

// --- Library front ----------------------------------------------------------

// Creates the communicator window on the calling thread, starts card
// detection and registers the window as its listener. 0 when already
// initialised.
//
// A card that is there but whose port another program holds and would not
// give up (ModemManager not allowed to hand it over, or a terminal program
// that has it open) is never taken up: the library raises EventCardHeld
// with a DvCardHeld record whose Text is the one sentence for the user,
// naming the program and what to do. It comes once per held card (a card
// already held at DvInitialize included), and once more with an empty Text
// when the port is free again; the card is then found as usual.
DvResult DvInitialize(platform::HMODULE instance, const DvClientHandlers& handlers);
DvResult DvSetApplicationName(const char16_t* name);
DvResult DvShutdown();

// --- Initialisation sequence --------------------------------------------------

DvResult DvInitializeDevice();
DvResult DvEnableExtendedErrorReporting();
DvResult DvEnableRegistrationEvents();

// --- Device state -------------------------------------------------------------

DvResult DvGetDeviceState(int* state);
DvResult DvGetConnectionState(int* state);

// --- Device information, SIM and PIN --------------------------------------------

inline constexpr size_t kDvNameSize = 260;       // device name, firmware, hardware, serial number
inline constexpr size_t kDvNumberSize = 256;     // IMEI, ICCID, IMSI, APN
inline constexpr size_t kDvOwnNumbersSize = 4096;

DvResult DvGetDeviceName(char16_t* text);         // kDvNameSize
DvResult DvGetFirmwareInfo(char16_t* text);       // kDvNameSize
DvResult DvGetHardwareInfo(char16_t* text);       // kDvNameSize
DvResult DvGetImeiNumber(char16_t* text);         // kDvNumberSize
DvResult DvGetDeviceSerialNumber(char16_t* text); // kDvNameSize
DvResult DvGetSimSerialNumber(char16_t* text);    // kDvNumberSize
DvResult DvGetOwnPhoneNumbers(char16_t* text);    // kDvOwnNumbersSize
DvResult DvGetImsiNumber(char16_t* text);         // kDvNumberSize
DvResult DvGetSimState(int* state);
DvResult DvIsRemovable(int* type);
DvResult DvGetPinPukRetryCounters(int* pin_retries, int* puk_retries);
DvResult DvIsPinPukRetryCounterSupported(int* supported);
DvResult DvGetCurrentRadioState(int* state);
DvResult DvGetPinPukState(uint32_t* state);
DvResult DvEnterPinCode(const char16_t* pin);
DvResult DvEnterPukCode(const char16_t* puk, const char16_t* new_pin);
DvResult DvChangePinCode(const char16_t* old_pin, const char16_t* new_pin);
DvResult DvGetPinMode(int* enabled);
DvResult DvSetPinMode(const char16_t* pin, int enable);

// --- Network, registration, signal and technology ---------------------------------

DvResult DvGetTechnologySelectionMode(int* mode);
DvResult DvSetTechnologySelectionMode(int mode);
DvResult DvIsTechnologySelectionSupported(int* supported);
DvResult DvGetNetworkSelectionMode(int* mode);
// `name` (may be null) holds `capacity` characters; `type` may be null.
DvResult DvGetNetworkInfo(char16_t* name, size_t capacity, int* type);
DvResult DvGetCsNetworkState(int* state);
DvResult DvGetPsNetworkState(int* state);
DvResult DvGetPsAttachedState(int* attached);
DvResult DvGetEdgeNetworkState(int* state);
DvResult DvGetHsdpaNetworkState(int* state);
DvResult DvGetSignalStrength(int* value, int* extended);  // `extended` may be null
DvResult DvGetWcdmaSignalStrength(int* value);
DvResult DvIsWcdmaSignalSupported(int* supported);
DvResult DvGetApn(char16_t* apn);  // kDvNumberSize
DvResult DvSetApn(const char16_t* apn);

// --- SMS --------------------------------------------------------------------
//
// The client counts SIM storage indices from 0 on every card; the library
// turns them into the card's own numbering. Records (sms_message.h) that the
// library returns are allocated from the local heap: the array of
// DvReadAllSmsMessages is freed with DvFreeSmsMessages, and the records of
// events 11 and 12 with platform::LocalFree.

inline constexpr size_t kDvScaSize = 22;  // service-centre address

DvResult DvGetSimSca(char16_t* text);  // kDvScaSize
// The SIM storage for new messages: how many slots it has, how many are used.
DvResult DvGetSimSmsMessageStorageSize(int* total, int* used);
DvResult DvReadSmsMessage(uint32_t index, SmsMessage* message);
// Every message on the SIM, in the card's order: a local-heap array of
// `count` records, or null and 0 for an empty SIM and on any failure.
DvResult DvReadAllSmsMessages(SmsMessage** messages, uint32_t* count);
// Frees what DvReadAllSmsMessages returned (null does nothing).
DvResult DvFreeSmsMessages(SmsMessage* messages);
// The same two reads, each record followed by its concatenation header
// (sms_message.h), so that the parts of a long message can be joined; the
// array is freed with DvFreeSmsMessageDetails.
DvResult DvReadSmsMessageDetails(uint32_t index, SmsMessageDetails* message);
DvResult DvReadAllSmsMessageDetails(SmsMessageDetails** messages, uint32_t* count);
DvResult DvFreeSmsMessageDetails(SmsMessageDetails* messages);
DvResult DvDeleteSmsMessage(uint32_t index);
// Stores `message` (an SMS-SUBMIT to Address) on the SIM as "stored
// unsent" and sets its Index to the slot the card chose.
DvResult DvWriteSmsMessage(SmsMessage* message);
// `send` 0: DvWriteSmsMessage. Otherwise the message goes to the network
// at once (AT+CMGS) without being stored, and its record is left as it is.
DvResult DvWriteOrSendSmsMessage(SmsMessage* message, int send);
// One part of a long message, written or sent as the two calls above do:
// the record's Text is the part's text (SMS::SplitText, sms_text_split.h,
// cuts a long text into them) and goes after the concatenation header with
// `part` (8-bit Reference 0..255, Total 2..255, Sequence 1..Total; any other
// numbers give 0x84000005 before anything is sent). The client writes every
// part with the same reference and total, and gives each long message a
// reference of its own.
DvResult DvWriteOrSendSmsMessagePart(SmsMessage* message, int send, SmsConcatenation part);
DvResult DvWriteSmsMessagePart(SmsMessage* message, SmsConcatenation part);
// Sends the message stored at `index` (AT+CMSS).
DvResult DvSendSmsMessageFromSim(uint32_t index);
// The same, and the message reference the card gave it ("+CMSS:"), which
// its status report names (SmsStatusReportDetails::MessageReference).
DvResult DvSendSmsMessageFromSim(uint32_t index, uint32_t* reference);

// --- USSD -------------------------------------------------------------------
//
// A code ("*100#") or the reply to a network that asked for one goes to the
// network with DvSendUssd; the result says only whether the card took the
// request. The network's answers arrive as EventUssdMessageArrived (status
// 0 done, 1 a reply is wanted, 2 ended by the network, 3 answered by another
// client, 4 not supported, 5 timed out). A request the network leaves
// unanswered for kDvUssdAnswerTimeoutMs ends the session on the card and
// raises the event with status 5 and no text.

inline constexpr size_t kDvUssdCodeMax = 160;
inline constexpr uint32_t kDvUssdAnswerTimeoutMs = 30000;

// Digits, '*' and '#', one to kDvUssdCodeMax characters.
bool DvIsValidUssdCode(const char16_t* code);
// "AT+CUSD=1,"<code>",15"; a code DvIsValidUssdCode refuses is 0x84000005.
DvResult DvSendUssd(const char16_t* code);
// "AT+CUSD=2": ends the session the network holds open.
DvResult DvCancelUssd();

// --- NDIS connections -----------------------------------------------------------
//
// The user name and password the card's WWAN driver keeps for its
// connections; only while the card's connection is the NDIS one (otherwise
// 0x84000007). Texts go to the driver in the OEM code page, at most 39
// characters each.

inline constexpr size_t kDvNdisCredentialSize = 40;

DvResult DvGetNdisCredentials(char16_t* user, char16_t* password);  // kDvNdisCredentialSize each
// A null text leaves its field empty.
DvResult DvSetNdisCredentials(const char16_t* user, const char16_t* password);

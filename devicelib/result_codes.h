// The result codes of the device-access library: 0 is success, a set top bit
// is failure. The library's own codes are 0x84GGNNNN (group GG, number NNNN);
// operating-system errors travel as 0x8007xxxx.
#pragma once

#include <cstdint>

using DvResult = uint32_t;

inline constexpr DvResult DV_S_OK = 0x00000000;
inline constexpr DvResult DV_E_NOT_INITIALIZED = 0x84000001;     // library not initialised
inline constexpr DvResult DV_E_NO_ANSWER = 0x84000002;           // no answer within the budget, or the wait failed
inline constexpr DvResult DV_E_ERROR = 0x84000003;               // the card answered "ERROR"
inline constexpr DvResult DV_E_UNEXPECTED_ANSWER = 0x84000004;   // wrong prefix, missing field, early final result
inline constexpr DvResult DV_E_INVALID_ARGUMENT = 0x84000005;    // null output pointer, empty buffer
inline constexpr DvResult DV_E_NO_DEVICE = 0x84000008;           // no card, going down, or an aborted wait
inline constexpr DvResult DV_E_NOT_READY = 0x84000009;           // the device has not finished initialising
inline constexpr DvResult DV_E_QUEUE_INCONSISTENT = 0x8400000A;  // internal inconsistency of the answer queue
inline constexpr DvResult DV_E_EVENT_OUT_OF_MEMORY = 0x8400000E; // no memory for an event parameter block
inline constexpr DvResult DV_E_INVALID_HEX_DIGIT = 0x84000010;   // invalid hexadecimal digit
inline constexpr DvResult DV_E_PORT_BUSY = 0x84000014;           // data call up and no separate application port

// Codes of the command, SMS and connection layers, named here so that every
// layer spells them the same way.
inline constexpr DvResult DV_E_NOT_SUPPORTED = 0x84000006;       // operation not supported by this card
inline constexpr DvResult DV_E_NOT_AVAILABLE = 0x84000007;       // value not available (PIN not entered, none held)
inline constexpr DvResult DV_E_NO_CONNECTION = 0x8400000B;       // no data connection to disconnect or measure
inline constexpr DvResult DV_E_CONNECTION_BUSY = 0x8400000C;     // a data connection is being made or is up
inline constexpr DvResult DV_E_CONNECTION_DROPPED = 0x84000011;  // the connection dropped while connecting
inline constexpr DvResult DV_E_SIM_NOT_INITIALIZED = 0x84000013; // the SIM is not initialised
inline constexpr DvResult DV_E_NO_NDIS_PORT = 0x84000016;        // the card names no NDIS control device
inline constexpr DvResult DV_E_NO_WWAN_ADAPTER = 0x84000019;     // the WWAN adapter is not among the system's
inline constexpr DvResult DV_E_UNUSABLE_MESSAGE = 0x8400001A;    // the message or PDU cannot be used

// "+CME ERROR: " N and "+CMS ERROR: " N, and the connection failures.
inline constexpr DvResult DV_E_CME_BASE = 0x84010000;
inline constexpr DvResult DV_E_CMS_BASE = 0x84020000;
inline constexpr DvResult DV_E_CONNECTION_BASE = 0x84040000;

inline constexpr DvResult DvCmeError(uint32_t n) { return DV_E_CME_BASE | (n & 0xFFFF); }
inline constexpr DvResult DvCmsError(uint32_t n) { return DV_E_CMS_BASE | (n & 0xFFFF); }
// An operating-system error number as a result code (0x8007xxxx; 0 stays 0).
inline constexpr DvResult DvFromSystemError(uint32_t error) {
  return error == 0 ? DV_S_OK : (0x80070000u | (error & 0xFFFFu));
}
inline constexpr bool DvFailed(DvResult code) { return (code & 0x80000000u) != 0; }

// Failures inside the library travel as exceptions carrying a result code and
// are caught at each Dv boundary.
struct DvException {
  DvResult code;
};

[[noreturn]] inline void DvRaise(DvResult code) { throw DvException{code}; }

// Inside a catch block: the code of the exception being handled (its own
// for a DvException, 0x8007000E for an allocation failure, 0x80004005 for
// anything else).
DvResult DvCodeOfCurrentException() noexcept;

// The shape every command call of the library shares: the call's body runs
// in one place that turns what it raised into the call's result code, and
// a few steps of the AT transactions that recur in every command file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "devicelib/device.h"
#include "devicelib/result_codes.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace GSM {

inline constexpr uint32_t kEngineDefaultTimeout = 0;  // no SetTimeout: the engine's 10 s
inline constexpr DvResult kUnspecifiedFailure = 0x80004005;

// Runs `body`; 0, or the code of what it raised.
template <typename Body>
DvResult RunCommandCall(Body&& body) noexcept {
  try {
    body();
    return DV_S_OK;
  } catch (...) {
    return DvCodeOfCurrentException();
  }
}

inline void RaiseIfFailed(DvResult code) {
  if (DvFailed(code)) DvRaise(code);
}

// Zeroes a caller's buffer of `capacity` characters (nothing when null or 0).
void ClearText(char16_t* buffer, size_t capacity);
// Copies at most capacity - 1 characters of `text` and a terminating zero.
void CopyText(char16_t* buffer, size_t capacity, std::u16string_view text);

// Sends `command` (budget `timeout_ms` unless kEngineDefaultTimeout) and
// waits for the final result.
void SendPlainCommand(Device& device, std::u16string_view command, uint32_t timeout_ms = kEngineDefaultTimeout);
// Sends `command` (budget as above) and waits for its first line, which
// must start with `prefix` (an empty prefix takes any line); the rest of
// that line after the prefix is returned, the line stays queued.
std::u16string SendAndExpect(Device& device, std::u16string_view command, std::u16string_view prefix,
                             uint32_t timeout_ms = kEngineDefaultTimeout);
// Where a field reader would have failed inside the transaction: a parse
// failure flushes the queue to the final result, as the engine's readers
// do, and is raised.
void RaiseParseFailure(Device& device, DvResult parse_result);

// The query shape: SendAndExpect, `parse(rest)` (a DvResult; a failure is
// raised as RaiseParseFailure says), DropLine, WaitFinal.
template <typename Parse>
void SendQuery(Device& device, std::u16string_view command, std::u16string_view prefix, uint32_t timeout_ms,
               Parse&& parse) {
  const std::u16string rest = SendAndExpect(device, command, prefix, timeout_ms);
  RaiseParseFailure(device, parse(std::u16string_view(rest)));
  device.DropLine();
  device.WaitFinal();
}

// For log lines.
inline std::string LogText(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

}  // namespace GSM

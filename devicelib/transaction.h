// Small building blocks of the library's AT transactions on the one device:
// every Dv call catches the DvException its transaction raises at its
// boundary and returns the code.
#pragma once

#include <cstdint>
#include <string_view>

#include "devicelib/device.h"
#include "devicelib/result_codes.h"

namespace GSM {

inline constexpr uint32_t kDefaultBudget = 0;  // the engine's 10 s

// Sends a plain command with its own budget (kDefaultBudget: the engine's)
// and waits for the final result; raises its failure.
void RunPlainCommand(Device& device, std::u16string_view command, uint32_t budget_ms = kDefaultBudget);

// Sends a plain command and returns the rest of the line that starts with
// `prefix` (the first line whole for an empty prefix), then waits for the
// final result; raises a failure.
std::u16string RunQuery(Device& device, std::u16string_view command, std::u16string_view prefix,
                        uint32_t budget_ms = kDefaultBudget);

// Runs `body`, returning 0 or the code it raised (an allocation failure is
// 0x8007000E, anything else 0x80004005).
template <typename Body>
DvResult Catching(Body&& body) noexcept;

DvResult CodeOfCurrentException() noexcept;

template <typename Body>
DvResult Catching(Body&& body) noexcept {
  try {
    body();
    return DV_S_OK;
  } catch (...) {
    return CodeOfCurrentException();
  }
}

}  // namespace GSM

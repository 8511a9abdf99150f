// How each sub-device of the detected card is looked for: the card database's
// detection strings ("0x<method>" or "0x<method>,0x<event mask>") decoded into
// a method and an event mask, and the trace lines that report the outcome.
// A broken or unknown string never disables detection: it falls back to
// polling, with a warning that names the card.
#pragma once

#include <cstdint>

#include "carddetect/card_info.h"

// Method 0: no card, or the sub-device's detection key is absent.
inline constexpr uint32_t kDetectionDisabled = 0;

inline constexpr uint32_t ModemDetMethodDefaultPolling = 1;
inline constexpr uint32_t ModemDetMethodDefaultEventBased = 2;

inline constexpr uint32_t AppPortDetMethodDefaultPolling = 1;
inline constexpr uint32_t AppPortDetMethodDefaultEventBased = 2;
inline constexpr uint32_t AppPortDetMethodBroadcomPolling = 3;
inline constexpr uint32_t AppPortDetMethodBroadcomEventBased = 4;

inline constexpr uint32_t DbgPortDetMethodDefaultPolling = 1;
inline constexpr uint32_t DbgPortDetMethodDefaultEventBased = 2;

// The mask holds DetectionEvent bits and only means something for the
// event-based methods; it is 0 otherwise.
struct DetectionMethod {
  uint32_t method = kDetectionDisabled;
  uint32_t mask = 0;

  friend bool operator==(const DetectionMethod&, const DetectionMethod&) = default;
};

// The default methods of every sub-device (1 polling, 2 event-based) find it
// by name; the others probe device names or do not search at all.
constexpr bool UsesNameSearch(const DetectionMethod& method) {
  return method.method == ModemDetMethodDefaultPolling || method.method == ModemDetMethodDefaultEventBased;
}

// `card` is the detected card's table entry, null when none is detected.
DetectionMethod DetermineModemDetectionMethod(const CardDbEntry* card);
DetectionMethod DetermineAppPortDetectionMethod(const CardDbEntry* card);
DetectionMethod DetermineApp2PortDetectionMethod(const CardDbEntry* card);
DetectionMethod DetermineDbgPortDetectionMethod(const CardDbEntry* card);

void LogModemDetectionMethod(const DetectionMethod& method);
void LogAppPortDetectionMethod(const DetectionMethod& method);
void LogApp2PortDetectionMethod(const DetectionMethod& method);
void LogDbgPortDetectionMethod(const DetectionMethod& method);

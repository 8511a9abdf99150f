// Where the AT engine delivers the results the card reports on its own.
//
// The engine classifies each such line by its prefix and calls
// HandleUnsolicited on the receiver thread with the line's type (its index in
// kUnsolicitedPrefixes, line_classifier.h) and the line, its read cursor at
// the start. A handler parses the line with the field readers of GSM::Line;
// it must not send commands (the receiver thread is the one that delivers
// their answers). A handler that raises a DvException (a field missing) is
// logged by the engine, and reception goes on.
#pragma once

#include <cstdint>

#include "devicelib/line.h"

namespace GSM {

class Unsolicited {
 public:
  virtual ~Unsolicited() = default;
  virtual void HandleUnsolicited(uint32_t type, Line& line) = 0;
};

}  // namespace GSM

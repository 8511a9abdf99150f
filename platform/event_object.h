// What SetEvent and ResetEvent work on: a local event or a named one.
#pragma once

#include "platform/wait.h"

namespace platform {

class EventObject : public Waitable {
 public:
  // False with the last error set when the new state could not be stored.
  virtual bool SetState(bool on) = 0;
};

}  // namespace platform

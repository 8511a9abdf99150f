// What the device asks of a data-connection object (dial-up, NDIS, Broadcom
// NDIS): to be opened when the card is taken up and closed when it is
// released. Connecting and disconnecting are the client's calls on the
// object itself.
#pragma once

#include "devicelib/result_codes.h"

namespace GSM {

class DataConnection {
 public:
  virtual ~DataConnection() = default;
  // The card was taken up; a failure makes the device give the card up.
  virtual DvResult Open() = 0;
  // The card is being released; `release` is set for standby, a port error,
  // a removal query and shut-down, when the connection must go down at once.
  virtual void Close(bool release) = 0;
  // The data-call polling timer fell due (cards whose data call is polled).
  // A connection without a data call of its own has nothing to poll.
  virtual void PollDataCallState() {}
};

}  // namespace GSM

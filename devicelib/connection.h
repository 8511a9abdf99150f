// A card's packet-data connection: a dial-up link over the card's modem
// (RasConnection), or the card's network adapter driven through its WWAN
// driver (NdisConnection, BroadcomNdisConnection). The device keeps one of
// each kind and chooses the card's one when it takes the card up; it opens
// that one then and closes it when the card is released. The client calls
// connect and disconnect on the current one.
//
// Threads. Connect, disconnect, statistics and the interface index run on
// the client thread. Each connection watches its link with a monitor
// thread (the Thread body, Run), and the dial-up service calls the dial-up
// connection back on a thread of its own. They all change the connection
// state only through Device::SetConnectionState, which holds the device's
// connection-state lock and then tells the current connection
// (OnConnectionStateSet) on the thread that set it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "devicelib/device_states.h"
#include "devicelib/result_codes.h"
#include "devicelib/thread.h"

namespace GSM {

class Device;

class Connection : public Thread {
 public:
  explicit Connection(Device& device) : device_(device) {}
  ~Connection() override = default;

  // The card was taken up: start watching. A failure makes the device give
  // the card up.
  virtual DvResult Open() = 0;
  // The card is being released: stop watching; with `end_call` also end a
  // call that is up, at once (standby, a port error, a removal query,
  // shut-down) and leave the state Disconnected.
  virtual void Close(bool end_call) = 0;

  // Dials the named phonebook entry (empty phonebook: the default one).
  // Null texts are empty.
  virtual DvResult ConnectToEntry(std::u16string_view phonebook, std::u16string_view entry,
                                  const char16_t* apn, const char16_t* user_name, const char16_t* password) = 0;
  // Connects with the library's own settings. `authentication` is the
  // card's authentication type (0 none, 1 PAP, 2 CHAP) where it has one.
  virtual DvResult Connect(const char16_t* apn, const char16_t* user_name, const char16_t* password,
                           int authentication) = 0;
  virtual DvResult Disconnect() = 0;
  // Bytes sent and received and the time the connection has been up.
  virtual DvResult GetStatistics(uint32_t* bytes_sent, uint32_t* bytes_received, uint32_t* duration) = 0;
  // The system's interface index of the link.
  virtual DvResult GetIpInterfaceIndex(uint32_t* index) = 0;

  // Called by the device when the connection state changed to `state`, on
  // the thread that changed it, under the connection-state lock: quick
  // bookkeeping only, no command, no wait, no reading of the state (work
  // that needs more is posted to the client thread).
  virtual void OnConnectionStateSet(int state) { (void)state; }
  // Called on the client thread when a connection posted work to the
  // communicator window (WM_CONNECTION_WORK with `work`).
  virtual void OnPostedWork(uint32_t work) { (void)work; }
  // The data-call polling timer fell due (cards whose data call is polled).
  virtual void PollDataCallState() {}

 protected:
  Device& device() const { return device_; }

 private:
  Device& device_;
};

// The device's own connection object of `kind` (connection_kinds.cpp).
std::unique_ptr<Connection> MakeConnection(ConnectionKind kind, Device& device);

}  // namespace GSM

// The modem port of one simulated dial-up call: the serial port opened for
// this process alone as a raw line, a receiver thread that splits what the
// card sends into lines, and waits for the next line on the platform clock
// (so tests move time instead of waiting for it).
//
// Threads: the call's own thread reads lines, pauses and writes; any thread
// may Interrupt (a hang-up), which ends the waits that allow it at once.
// Close stops the receiver by cancelling its comm wait, so it never blocks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/handle.h"
#include "platform/serial_port.h"

namespace platform {

class SimModemChannel {
 public:
  enum class Event {
    kLine,         // a line from the card
    kTimeout,      // the deadline passed
    kInterrupted,  // Interrupt() was called
    kPortGone,     // the port hung up (card pulled) and every line before it was read
  };

  SimModemChannel();
  ~SimModemChannel();
  SimModemChannel(const SimModemChannel&) = delete;
  SimModemChannel& operator=(const SimModemChannel&) = delete;

  // Opens `path` and starts reading it: 0, or the Win32 error of the open
  // (kErrorAccessDenied while another opener holds the port). What the card
  // left in the line before is discarded.
  uint32_t Open(const std::string& path);
  // All of `bytes`; false when the port failed (it is gone).
  bool Write(std::string_view bytes);

  // The next line (without its end; empty lines are skipped), waiting until
  // `deadline` on the platform clock. Lines that came before are handed out
  // first, also after the port went. An interruptible wait ends with
  // kInterrupted once Interrupt() was called.
  Event NextLine(uint64_t deadline, bool interruptible, std::string& line);
  // The next line within `bound` of real time, interruptions aside; false
  // when none came (or the port went). Only for the card's confirmation
  // while a call is taken down: a hang-up must end even when the card has
  // stopped answering and nobody moves the platform clock.
  bool ConfirmationLine(std::chrono::milliseconds bound, std::string& line);
  // Waits until `deadline`, leaving the lines for later: kTimeout when it
  // passed, kInterrupted, or kPortGone.
  Event Pause(uint64_t deadline);

  void Interrupt();
  bool Interrupted() const;

  // Bytes received since the last call.
  uint64_t TakeReceivedBytes();

  // Stops the receiver and closes the port; safe to call twice.
  void Close();

 private:
  void Receive();
  void Changed();  // under mutex_

  SerialPort port_;
  std::thread receiver_;

  // Auto-reset, set on every change below: the call's thread waits for it
  // with its deadline on the platform clock.
  UniqueHandle changed_;
  mutable std::mutex mutex_;  // the fields below
  std::condition_variable arrived_;  // likewise, for ConfirmationLine
  std::deque<std::string> lines_;
  bool gone_ = false;
  bool interrupted_ = false;
  bool stopping_ = false;
  uint64_t received_ = 0;
};

}  // namespace platform

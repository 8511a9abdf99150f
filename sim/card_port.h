// One serial port of a simulated card: a pseudo-terminal whose slave side the
// program opens as the card's port, and a reader thread on the master side
// that hands every byte that arrives to the card. The thread blocks in poll()
// on the master and on an eventfd that wakes it for closing; it owns the
// pseudo-terminal's closing, so no descriptor is closed under a poll.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/pty.h"
#include "platform/unique_fd.h"

namespace sim {

class CardPort {
 public:
  // Called on the reader thread with what arrived; false closes the port at
  // once (the card was pulled in the middle of a command).
  using InputHandler = std::function<bool(std::string_view bytes)>;

  explicit CardPort(InputHandler on_input);
  ~CardPort();
  CardPort(const CardPort&) = delete;
  CardPort& operator=(const CardPort&) = delete;

  // A fresh pseudo-terminal and a reader on it; false with the last error set.
  bool Open();
  // Any thread: the reader closes the pseudo-terminal and ends. The slave side
  // then hangs up, as a port does when its card is unplugged.
  void RequestClose();
  // Waits for the reader to end; never on the reader thread itself.
  void Join();

  bool IsOpen() const;
  // The slave's path for the program to open; empty while closed.
  std::string Path() const;

  // Sends `bytes` whole, or nothing once the port is closed; false when
  // closed or when the line did not take them within `timeout_ms` (real time:
  // nobody reads the port).
  bool Write(std::string_view bytes, uint32_t timeout_ms = platform::PseudoTerminal::kDefaultTimeoutMs);

 private:
  void Run();
  void Close();

  InputHandler on_input_;
  mutable std::mutex mutex_;  // guards pty_, slave_ and path_ against Write and Close
  platform::PseudoTerminal pty_;
  // The card holds the slave side open itself, so that the master does not
  // see a hang-up (and poll() does not spin) while no program has the port.
  platform::UniqueFd slave_;
  std::string path_;
  platform::UniqueFd wake_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace sim

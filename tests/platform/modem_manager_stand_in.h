// A small stand-in for ModemManager on a private bus: it owns ModemManager's
// name and answers InhibitDevice as the real one does, willing or refusing,
// and ends an inhibition whose caller leaves the bus. Everything it was asked
// and did goes into a journal that the test reads.
#pragma once

#include <systemd/sd-bus.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sd_bus_handles.h"
#include "platform/unique_fd.h"

namespace testing_support {

class ModemManagerStandIn {
 public:
  enum class Answer { kWilling, kRefusing };
  static constexpr const char* kRefusalName = "org.freedesktop.ModemManager1.Error.Core.Unauthorized";

  ModemManagerStandIn(const std::string& address, Answer answer);
  ~ModemManagerStandIn();

  // Connected and owning the name.
  bool Started() const { return started_; }
  // Leaves the bus (closes its connection), as a ModemManager that ends.
  void Leave();

  // Journal entries: "inhibit <uid>", "release <uid>", "caller left <uid>".
  std::vector<std::string> Journal();
  // Waits (at most 5 s) until `entry` is in the journal.
  bool WaitFor(const std::string& entry);

 private:
  static int OnInhibitDevice(sd_bus_message* message, void* self, sd_bus_error* error);
  static int OnOwnerChanged(sd_bus_message* message, void* self, sd_bus_error* error);
  void Run();
  void Write(std::string entry);

  Answer answer_;
  bool started_ = false;
  std::mutex bus_mutex_;
  platform::SdBus bus_;
  platform::SdBusSlot object_;
  platform::SdBusSlot watch_;
  platform::UniqueFd stop_;
  std::thread thread_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> journal_;
  std::map<std::string, std::string> inhibited_;  // uid -> the caller's unique name
};

}  // namespace testing_support

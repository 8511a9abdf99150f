#include "carddetect/port_probe.h"

#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/handle.h"
#include "platform/serial_port.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace {

constexpr std::string_view kProbeCommand = "AT\r";
// A GPS receiver or a chatty diagnostics port may pour out data meanwhile;
// the answer is at the end, so only the tail is kept.
constexpr size_t kKeptBytes = 1024;

std::string_view Trim(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  return line;
}

bool IsFailure(std::string_view line) {
  return line == "ERROR" || line.starts_with("+CME ERROR") || line == "NO CARRIER" || line == "COMMAND NOT SUPPORT";
}

// The receiving half of a probe: a thread that waits for comm events and
// collects what arrives, signalling `arrived` each time (and once more when
// the port fails). Stopped and joined by the destructor through the comm
// mask, which ends a pending wait at once.
class ProbeReceiver {
 public:
  explicit ProbeReceiver(platform::SerialPort& port)
      : port_(port), arrived_(platform::CreateEvent(false, false)) {
    if (!arrived_) return;
    thread_ = std::thread([this] { Run(); });
  }
  ~ProbeReceiver() {
    port_.SetCommMask(0);
    if (thread_.joinable()) thread_.join();
  }
  ProbeReceiver(const ProbeReceiver&) = delete;
  ProbeReceiver& operator=(const ProbeReceiver&) = delete;

  bool Running() const { return thread_.joinable(); }
  platform::HANDLE Arrived() const { return arrived_.get(); }

  // The answer so far, and whether the port has failed meanwhile.
  ProbeAnswer Answer(bool* failed) {
    std::lock_guard lock(mutex_);
    *failed = failed_;
    return ReadProbeAnswer(received_);
  }

 private:
  void Run() {
    for (;;) {
      uint32_t events = 0;
      if (!port_.WaitCommEvent(&events)) {
        Fail();
        return;
      }
      if (events == 0) return;  // the mask was cleared: the probe is over
      char buffer[256];
      size_t read = 0;
      while (port_.ReadFile(buffer, sizeof buffer, &read) && read > 0) {
        std::lock_guard lock(mutex_);
        received_.append(buffer, read);
        if (received_.size() > kKeptBytes) received_.erase(0, received_.size() - kKeptBytes);
      }
      platform::SetEvent(arrived_.get());
    }
  }

  // The port has gone (unplugged meanwhile): the probe need not wait.
  void Fail() {
    {
      std::lock_guard lock(mutex_);
      failed_ = true;
    }
    platform::SetEvent(arrived_.get());
  }

  platform::SerialPort& port_;
  platform::UniqueHandle arrived_;
  std::mutex mutex_;
  std::string received_;
  bool failed_ = false;
  std::thread thread_;
};

}  // namespace

ProbeAnswer ReadProbeAnswer(std::string_view received) {
  ProbeAnswer answer = ProbeAnswer::kPending;
  size_t start = 0;
  while (start < received.size()) {
    size_t end = received.find_first_of("\r\n", start);
    // A line counts once it has ended: "O" now and "K\r\n" later is not
    // "O" and "K".
    if (end == std::string_view::npos) break;
    const std::string_view line = Trim(received.substr(start, end - start));
    if (line == "OK") return ProbeAnswer::kOk;
    if (IsFailure(line)) answer = ProbeAnswer::kFailed;
    start = end + 1;
  }
  return answer;
}

PortProbeResult ProbePort(const std::string& path, uint32_t wait_ms) {
  platform::SerialPort port;
  if (!port.Open(path)) {
    return platform::GetLastError() == platform::kErrorAccessDenied ? PortProbeResult::kBusy
                                                                    : PortProbeResult::kUnavailable;
  }
  // Raw 8-bit line at the usual speed; a file that takes no line settings
  // is no port to write to.
  if (!port.SetCommState(platform::Dcb{})) return PortProbeResult::kNotSerial;
  port.PurgeComm(platform::kPurgeRxClear | platform::kPurgeTxClear);
  if (!port.SetCommMask(platform::kEvRxChar)) return PortProbeResult::kUnavailable;

  ProbeReceiver receiver(port);
  if (!receiver.Running()) return PortProbeResult::kUnavailable;
  size_t written = 0;
  if (!port.WriteFile(kProbeCommand.data(), kProbeCommand.size(), &written)) return PortProbeResult::kSilent;

  const uint64_t deadline = platform::DeadlineAfter(wait_ms);
  for (;;) {
    bool failed = false;
    const ProbeAnswer answer = receiver.Answer(&failed);
    if (answer == ProbeAnswer::kOk) return PortProbeResult::kAnswered;
    if (answer == ProbeAnswer::kFailed || failed) return PortProbeResult::kSilent;
    const uint32_t left = platform::RemainingMs(deadline);
    if (left == 0) return PortProbeResult::kSilent;
    platform::WaitForSingleObject(receiver.Arrived(), left);
  }
}

const char* PortProbeResultName(PortProbeResult result) {
  switch (result) {
    case PortProbeResult::kAnswered:
      return "answered";
    case PortProbeResult::kSilent:
      return "did not answer";
    case PortProbeResult::kBusy:
      return "is held by another program";
    case PortProbeResult::kNotSerial:
      return "is no serial line";
    case PortProbeResult::kUnavailable:
      return "could not be opened";
  }
  return "";
}

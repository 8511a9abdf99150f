#include "platform/sim_modem_channel.h"

#include <utility>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/wait.h"
#include "platform/sim_link_frames.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// Lines nobody has read yet: a card that floods the port loses its oldest.
constexpr size_t kMaxQueuedLines = 256;

}  // namespace

SimModemChannel::SimModemChannel() : changed_(CreateEvent(false, false)) {}

SimModemChannel::~SimModemChannel() { Close(); }

void SimModemChannel::Changed() {
  arrived_.notify_all();
  SetEvent(changed_.get());
}

uint32_t SimModemChannel::Open(const std::string& path) {
  Close();
  if (!port_.Open(path)) return GetLastError();
  CommTimeouts timeouts;
  timeouts.read_interval_timeout = kMaxDword;
  if (!port_.SetCommState(Dcb{}) || !port_.SetCommTimeouts(timeouts) || !port_.PurgeComm(kPurgeRxClear | kPurgeTxClear) ||
      !port_.SetCommMask(kEvRxChar)) {
    const uint32_t error = GetLastError();
    port_.Close();
    return error;
  }
  {
    std::lock_guard lock(mutex_);
    lines_.clear();
    gone_ = false;
    stopping_ = false;
    received_ = 0;
  }
  receiver_ = std::thread([this] { Receive(); });
  return kErrorSuccess;
}

bool SimModemChannel::Write(std::string_view bytes) {
  size_t written = 0;
  return port_.IsOpen() && port_.WriteFile(bytes.data(), bytes.size(), &written) && written == bytes.size();
}

SimModemChannel::Event SimModemChannel::NextLine(uint64_t deadline, bool interruptible, std::string& line) {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (interruptible && interrupted_) return Event::kInterrupted;
      if (!lines_.empty()) {
        line = std::move(lines_.front());
        lines_.pop_front();
        return Event::kLine;
      }
      if (gone_) return Event::kPortGone;
    }
    if (CurrentClock().NowMs() >= deadline) return Event::kTimeout;
    WaitForSingleObject(changed_.get(), RemainingMs(deadline));
  }
}

bool SimModemChannel::ConfirmationLine(std::chrono::milliseconds bound, std::string& line) {
  std::unique_lock lock(mutex_);
  if (!arrived_.wait_for(lock, bound, [this] { return !lines_.empty() || gone_; }) || lines_.empty()) return false;
  line = std::move(lines_.front());
  lines_.pop_front();
  return true;
}

SimModemChannel::Event SimModemChannel::Pause(uint64_t deadline) {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (interrupted_) return Event::kInterrupted;
      if (gone_) return Event::kPortGone;
    }
    if (CurrentClock().NowMs() >= deadline) return Event::kTimeout;
    WaitForSingleObject(changed_.get(), RemainingMs(deadline));
  }
}

void SimModemChannel::Interrupt() {
  std::lock_guard lock(mutex_);
  interrupted_ = true;
  Changed();
}

bool SimModemChannel::Interrupted() const {
  std::lock_guard lock(mutex_);
  return interrupted_;
}

uint64_t SimModemChannel::TakeReceivedBytes() {
  std::lock_guard lock(mutex_);
  return std::exchange(received_, 0);
}

void SimModemChannel::Close() {
  if (receiver_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    port_.SetCommMask(0);  // completes the receiver's wait at once
    receiver_.join();
  }
  port_.Close();
}

void SimModemChannel::Receive() {
  LinkLineSplitter splitter;
  char buffer[512];
  for (;;) {
    uint32_t events = 0;
    bool failed = !port_.WaitCommEvent(&events);
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
    size_t got = 0;
    while (!failed && events != 0) {
      if (!port_.ReadFile(buffer, sizeof buffer, &got)) {
        failed = true;
        break;
      }
      if (got == 0) break;
      std::lock_guard lock(mutex_);
      received_ += got;
      for (size_t i = 0; i < got; ++i) {
        // An overlong line is nothing the service waits for: dropped.
        if (splitter.Take(buffer[i]) != LinkLineSplitter::Result::kLine) continue;
        if (lines_.size() == kMaxQueuedLines) lines_.pop_front();
        lines_.push_back(splitter.Line());
      }
      Changed();
    }
    if (failed) {
      std::lock_guard lock(mutex_);
      gone_ = true;
      Changed();
      return;
    }
  }
}

}  // namespace platform

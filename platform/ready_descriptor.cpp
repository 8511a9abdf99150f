#include "platform/ready_descriptor.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/diagnostics.h"
#include "platform/win32_error.h"

namespace platform {

std::unique_ptr<ReadyDescriptor> ReadyDescriptor::Create() {
  UniqueFd epoll(::epoll_create1(EPOLL_CLOEXEC));
  UniqueFd event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  UniqueFd timer(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
  if (!epoll || !event || !timer) {
    SetLastErrorFromErrno();
    return nullptr;
  }
  for (const int fd : {event.get(), timer.get()}) {
    epoll_event entry{};
    entry.events = EPOLLIN;
    entry.data.fd = fd;
    if (::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, fd, &entry) != 0) {
      SetLastErrorFromErrno();
      return nullptr;
    }
  }
  std::unique_ptr<ReadyDescriptor> made(
      new (std::nothrow) ReadyDescriptor(std::move(epoll), std::move(event), std::move(timer)));
  if (!made) SetLastError(kErrorNotEnoughMemory);
  return made;
}

ReadyDescriptor::ReadyDescriptor(UniqueFd epoll, UniqueFd event, UniqueFd timer)
    : epoll_(std::move(epoll)), event_(std::move(event)), timer_(std::move(timer)) {}

void ReadyDescriptor::SetReady(bool ready) {
  if (ready == ready_) return;
  if (ready) {
    // The counter goes from 0 to 1 only, so the write cannot overflow it.
    const uint64_t one = 1;
    while (::write(event_.get(), &one, sizeof one) < 0) {
      if (errno != EINTR) {
        ReportDiagnostic(kDiagnosticError, "Message queue: eventfd write failed (%d).", errno);
        return;
      }
    }
  } else {
    uint64_t count = 0;
    while (::read(event_.get(), &count, sizeof count) < 0) {
      if (errno == EAGAIN) break;  // already clear
      if (errno != EINTR) {
        ReportDiagnostic(kDiagnosticError, "Message queue: eventfd read failed (%d).", errno);
        return;
      }
    }
  }
  ready_ = ready;
}

void ReadyDescriptor::ArmTimer(uint64_t deadline_ms) {
  if (deadline_ms == timer_deadline_) return;
  itimerspec when{};  // all zero: disarmed
  if (deadline_ms != kNoDeadline) {
    when.it_value.tv_sec = static_cast<time_t>(deadline_ms / 1000);
    when.it_value.tv_nsec = static_cast<long>(deadline_ms % 1000) * 1'000'000;
    if (deadline_ms == 0) when.it_value.tv_nsec = 1;  // zero would disarm; it is long past anyway
  }
  if (::timerfd_settime(timer_.get(), TFD_TIMER_ABSTIME, &when, nullptr) != 0) {
    ReportDiagnostic(kDiagnosticError, "Message queue: timerfd_settime failed (%d).", errno);
    return;
  }
  timer_deadline_ = deadline_ms;
}

}  // namespace platform

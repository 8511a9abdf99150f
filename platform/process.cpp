#include "platform/process.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "platform/dispatcher.h"
#include "platform/unique_fd.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

int PidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

int PidfdSendSignal(int pidfd, int signal) {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

// A pidfd turns readable when its process has ended (a zombie counts as
// ended), and stays so.
bool HasEnded(int pidfd) {
  pollfd fd{pidfd, POLLIN, 0};
  return ::poll(&fd, 1, 0) > 0;
}

// Another process, signalled once it has ended. A watcher thread blocks on
// the pidfd and signals the object under the dispatcher lock, so waiters
// wake when the process ends and not at some polling interval. The watcher
// holds no reference to the object: the object stops and joins it when the
// handle goes.
class ProcessObject final : public Waitable {
 public:
  ProcessObject(UniqueFd pidfd, UniqueFd stop, uint32_t access)
      : pidfd_(std::move(pidfd)), stop_(std::move(stop)), access_(access) {}

  ~ProcessObject() override {
    if (!watcher_.joinable()) return;
    const uint64_t one = 1;
    if (::write(stop_.get(), &one, sizeof one) != sizeof one) {
      // Fails only when the counter would overflow, which wakes it as well.
    }
    watcher_.join();
  }

  void StartWatcher() {
    watcher_ = std::thread([this] { Watch(); });
  }

  // Also asks the pidfd itself, so a wait that starts right after the
  // process ended sees it, whether or not the watcher has run yet.
  bool IsSignaled() const override {
    if (!ended_ && HasEnded(pidfd_.get())) ended_ = true;
    return ended_;
  }

  bool Terminate() {
    if ((access_ & kProcessTerminate) == 0) {
      SetLastError(kErrorAccessDenied);
      return false;
    }
    // A process that has ended already is where termination would bring it.
    if (PidfdSendSignal(pidfd_.get(), SIGKILL) != 0 && errno != ESRCH) {
      SetLastErrorFromErrno();
      return false;
    }
    return true;
  }

 private:
  void Watch() {
    pollfd fds[2] = {{pidfd_.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
    for (;;) {
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        // Without the watcher a wait still sees the end at its checks and
        // its deadline, only not at once.
        return;
      }
      if (fds[1].revents != 0) return;
      if (fds[0].revents != 0) break;
    }
    Dispatcher& d = GetDispatcher();
    std::lock_guard lock(d.mutex);
    ended_ = true;
    d.cv.notify_all();
  }

  UniqueFd pidfd_;
  UniqueFd stop_;
  const uint32_t access_;
  mutable bool ended_ = false;  // guarded by the dispatcher lock
  std::thread watcher_;         // declared last: gone before the descriptors
};

}  // namespace

HANDLE OpenProcess(uint32_t access, pid_t pid) {
  if (pid <= 0) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  UniqueFd pidfd(PidfdOpen(pid));
  if (!pidfd) {
    SetLastError(errno == ESRCH ? kErrorInvalidParameter : ErrorFromErrno(errno));
    return nullptr;
  }
  // pidfd_open asks for no permission; signalling does (signal 0 only
  // checks, and through the pidfd it asks about this very process even if
  // the number has been reused since). A process of another user is not
  // ours to wait for or to stop.
  if (PidfdSendSignal(pidfd.get(), 0) != 0) {
    SetLastError(errno == ESRCH ? kErrorInvalidParameter : ErrorFromErrno(errno));
    return nullptr;
  }
  UniqueFd stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!stop) {
    SetLastErrorFromErrno();
    return nullptr;
  }
  try {
    auto object = std::make_shared<ProcessObject>(std::move(pidfd), std::move(stop), access);
    try {
      object->StartWatcher();
    } catch (const std::system_error& e) {
      SetLastError(e.code().value() == EAGAIN ? kErrorNoSystemResources : kErrorNotEnoughMemory);
      return nullptr;
    }
    return InsertHandle(std::move(object));
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
}

bool TerminateProcess(HANDLE process, uint32_t /*exit_code*/) {
  auto object = ReferenceHandleAs<ProcessObject>(process);
  if (!object) return false;
  return object->Terminate();
}

}  // namespace platform

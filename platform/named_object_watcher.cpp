#include "platform/named_object_watcher.h"

#include <poll.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/dispatcher.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

// A state file replaced (rename onto it), an owner file written, emptied,
// touched after an unlock, or closed.
constexpr uint32_t kWatchMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MODIFY | IN_ATTRIB;

class Watcher {
 public:
  static Watcher& Get() {
    // Never destroyed: the thread may still run while the process exits.
    static Watcher* const watcher = [] {
      auto* created = new Watcher;
      // A fork while the watcher thread holds the dispatcher lock would leave
      // the child's copy locked for good; holding it across the fork keeps
      // the copy consistent. Registered before the thread can exist.
      ::pthread_atfork([] { GetDispatcher().mutex.lock(); }, [] { GetDispatcher().mutex.unlock(); },
                       [] {
                         Get().forked_ = true;
                         GetDispatcher().mutex.unlock();
                       });
      return created;
    }();
    return *watcher;
  }

  void AddDirectory(const std::string& path) {
    Prepare();
    Directory& directory = directories_[path];
    if (directory.users++ == 0 || directory.wd < 0) Watch(path, directory);
  }

  void RemoveDirectory(const std::string& path) {
    // In a forked child the descriptor is still the parent's: removing a
    // watch from it would stop the parent's following of the directory.
    Prepare();
    auto it = directories_.find(path);
    if (it == directories_.end() || --it->second.users > 0) return;
    if (it->second.wd >= 0 && inotify_) {
      ::inotify_rm_watch(inotify_.get(), it->second.wd);
      by_wd_.erase(it->second.wd);
    }
    directories_.erase(it);
  }

  void EnsureRunning() {
    Prepare();
    if (running_) return;
    if (!wake_) wake_ = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_) return;  // waits then wake at their deadlines only
    try {
      std::thread([this] { Run(); }).detach();
      running_ = true;
    } catch (const std::system_error&) {
      // As above: no cross-process wake-ups, the waits still end.
    }
  }

  bool StateMayHaveChanged(uint64_t* seen) {
    Prepare();
    if (!FollowsEverything()) return true;
    Drain();
    if (*seen == generation_) return false;
    *seen = generation_;
    return true;
  }

  void Await(const void* waiter, pid_t holder) {
    Prepare();
    if (holder == ::getpid()) holder = 0;  // this process notifies by itself
    Awaited& awaited = awaited_[waiter];
    ++awaited.count;
    awaited.holder = holder;
    if (holder > 0 && holders_.count(holder) == 0) Poke();
    EnsureRunning();
  }

  void StopAwaiting(const void* waiter) {
    Prepare();
    auto it = awaited_.find(waiter);
    if (it == awaited_.end() || --it->second.count > 0) return;
    const bool had_holder = it->second.holder > 0;
    awaited_.erase(it);
    if (had_holder) Poke();  // the thread closes pidfds nobody waits for
  }

 private:
  struct Directory {
    int wd = -1;
    size_t users = 0;
  };
  struct Awaited {
    size_t count = 0;
    pid_t holder = 0;
  };
  struct Holder {
    UniqueFd pidfd;
    bool ended = false;  // reported once; a pidfd stays readable
  };

  // A forked child has copies of the parent's descriptors, whose queue is
  // the parent's, and no thread: it starts over with its own.
  void Prepare() {
    if (!forked_) return;
    forked_ = false;
    running_ = false;
    inotify_.reset();
    inotify_failed_ = false;
    wake_.reset();
    holders_.clear();
    awaited_.clear();
    by_wd_.clear();
    for (auto& [path, directory] : directories_) Watch(path, directory);
  }

  void Watch(const std::string& path, Directory& directory) {
    if (!inotify_ && !inotify_failed_) {
      inotify_ = UniqueFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
      inotify_failed_ = !inotify_;
    }
    directory.wd = inotify_ ? ::inotify_add_watch(inotify_.get(), path.c_str(), kWatchMask) : -1;
    if (directory.wd >= 0) by_wd_[directory.wd] = path;
  }

  // Whether every directory with open objects is followed; if not, event
  // states are read from their files on every check.
  bool FollowsEverything() const {
    if (!inotify_) return false;
    for (const auto& entry : directories_) {
      if (entry.second.wd < 0) return false;
    }
    return true;
  }

  void Poke() {
    const uint64_t one = 1;
    if (wake_ && ::write(wake_.get(), &one, sizeof one) != sizeof one) {
      // Fails only when the counter is full, which wakes the thread as well.
    }
  }

  // Reads what the kernel has queued and wakes the waiters when something
  // they may be waiting for changed. Whoever drains the queue notifies, so
  // a change read by one waiting thread still wakes the others.
  void Drain() {
    if (!inotify_) return;
    alignas(inotify_event) char buffer[4096];
    bool changed = false;
    for (;;) {
      const ssize_t length = ::read(inotify_.get(), buffer, sizeof buffer);
      if (length < 0 && errno == EINTR) continue;
      if (length <= 0) break;
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
        inotify_event header;
        std::memcpy(&header, buffer + at, sizeof header);
        const char* name = buffer + at + sizeof header;
        // The kernel reads out whole events only; never look past this read.
        if (header.len > static_cast<size_t>(length - at) - sizeof header) break;
        at += static_cast<ssize_t>(sizeof header + header.len);
        if ((header.mask & IN_Q_OVERFLOW) != 0) {
          ++generation_;
          changed = true;
        } else if ((header.mask & IN_IGNORED) != 0) {
          // The folder went away (or the watch was removed).
          auto it = by_wd_.find(header.wd);
          if (it != by_wd_.end()) {
            auto directory = directories_.find(it->second);
            if (directory != directories_.end()) directory->second.wd = -1;
            by_wd_.erase(it);
          }
        } else {
          const std::string_view file(name, ::strnlen(name, header.len));
          if (file.ends_with(".event")) {
            ++generation_;
            changed = true;
          } else if (file.ends_with(".owner")) {
            changed = true;
          }
        }
      }
    }
    if (changed) GetDispatcher().cv.notify_all();
  }

  // Opens pidfds for the holders now awaited and closes the others; true
  // when one of the new holders has already gone.
  bool SyncHolders() {
    std::set<pid_t> wanted;
    for (const auto& entry : awaited_) {
      if (entry.second.holder > 0) wanted.insert(entry.second.holder);
    }
    for (auto it = holders_.begin(); it != holders_.end();) {
      it = wanted.count(it->first) != 0 ? std::next(it) : holders_.erase(it);
    }
    bool gone = false;
    for (const pid_t pid : wanted) {
      if (holders_.count(pid) != 0) continue;
      Holder holder;
      holder.pidfd = UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
      // Not there any more (or no descriptor to follow it with): the waiters
      // look again once, which also covers a holder that died before its
      // pidfd could be opened.
      holder.ended = !holder.pidfd;
      gone = gone || holder.ended;
      holders_.emplace(pid, std::move(holder));
    }
    return gone;
  }

  void Run() {
    Dispatcher& d = GetDispatcher();
    std::vector<pollfd> fds;
    std::vector<pid_t> pids;
    for (;;) {
      {
        std::lock_guard lock(d.mutex);
        if (SyncHolders()) d.cv.notify_all();
        fds.assign({{wake_.get(), POLLIN, 0}, {inotify_.get(), POLLIN, 0}});
        pids.clear();
        for (const auto& [pid, holder] : holders_) {
          if (holder.ended) continue;
          fds.push_back({holder.pidfd.get(), POLLIN, 0});
          pids.push_back(pid);
        }
      }
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        std::lock_guard lock(d.mutex);
        running_ = false;  // the next blocking wait tries again
        return;
      }
      std::lock_guard lock(d.mutex);
      if (fds[0].revents != 0) {
        uint64_t count;
        if (::read(wake_.get(), &count, sizeof count) < 0) {
          // Nothing to do: only the wake-up mattered.
        }
      }
      if (fds[1].revents != 0) Drain();
      bool ended = false;
      for (size_t i = 0; i < pids.size(); ++i) {
        if (fds[i + 2].revents == 0) continue;
        auto it = holders_.find(pids[i]);
        if (it != holders_.end()) it->second.ended = true;
        ended = true;
      }
      if (ended) d.cv.notify_all();
    }
  }

  UniqueFd inotify_;
  bool inotify_failed_ = false;
  UniqueFd wake_;
  bool running_ = false;
  bool forked_ = false;
  uint64_t generation_ = 0;
  std::map<std::string, Directory> directories_;
  std::map<int, std::string> by_wd_;
  std::map<const void*, Awaited> awaited_;
  std::map<pid_t, Holder> holders_;  // opened and closed by the watcher thread only
};

}  // namespace

DirectoryWatch::DirectoryWatch(std::string directory) : directory_(std::move(directory)) {
  std::lock_guard lock(GetDispatcher().mutex);
  Watcher::Get().AddDirectory(directory_);
}

DirectoryWatch::~DirectoryWatch() { Reset(); }

DirectoryWatch::DirectoryWatch(DirectoryWatch&& other) noexcept
    : directory_(std::exchange(other.directory_, std::string())) {}

DirectoryWatch& DirectoryWatch::operator=(DirectoryWatch&& other) noexcept {
  if (this != &other) {
    Reset();
    directory_ = std::exchange(other.directory_, std::string());
  }
  return *this;
}

void DirectoryWatch::Reset() {
  if (directory_.empty()) return;
  std::lock_guard lock(GetDispatcher().mutex);
  Watcher::Get().RemoveDirectory(directory_);
  directory_.clear();
}

void EnsureNamedObjectWatcher() { Watcher::Get().EnsureRunning(); }

bool NamedEventStateMayHaveChanged(uint64_t* seen) { return Watcher::Get().StateMayHaveChanged(seen); }

void AwaitHolder(const void* waiter, pid_t holder) { Watcher::Get().Await(waiter, holder); }

void StopAwaitingHolder(const void* waiter) { Watcher::Get().StopAwaiting(waiter); }

pid_t ParseOwnerPid(const char* text, size_t length) {
  const std::string_view view(text, length);
  const size_t end = view.find('\n');
  const std::string_view digits = view.substr(0, end);
  pid_t pid = 0;
  const auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (error != std::errc() || last != digits.data() + digits.size() || pid <= 0) return 0;
  return pid;
}

}  // namespace platform

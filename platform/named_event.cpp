#include "platform/named_event.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "platform/dispatcher.h"
#include "platform/event.h"
#include "platform/event_object.h"
#include "platform/named_object.h"
#include "platform/named_object_files.h"
#include "platform/named_object_watcher.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// The kind of event, kept in the first byte of its .lock file by the creator
// so that an opener learns it: 'M' manual reset, 'A' auto reset. A .lock
// without either belongs to a mutex.
constexpr char kManualReset = 'M';
constexpr char kAutoReset = 'A';

constexpr uint64_t kNotSeen = UINT64_MAX;

// '1' signalled; anything else, or no file, not.
bool ReadStateFile(const std::string& path) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  char state = '0';
  if (file && ::read(file.get(), &state, 1) != 1) state = '0';
  return state == '1';
}

// Writes the new state beside the old one and renames it over, so a reader
// sees the old state or the new one and never a half-written file, and
// every change reaches other processes' watchers as one rename.
bool WriteStateFile(const std::string& path, bool on) {
  std::string temp = path + ".XXXXXX";
  UniqueFd file(::mkostemp(temp.data(), O_CLOEXEC));
  if (!file) {
    SetLastErrorFromErrno();
    return false;
  }
  const char state = on ? '1' : '0';
  const bool written = ::write(file.get(), &state, 1) == 1;
  file.reset();
  if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
    SetLastErrorFromErrno();
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

class NamedEvent final : public EventObject {
 public:
  NamedEvent(std::string path, ObjectShare share, DirectoryWatch watch, bool manual_reset,
             bool signalled, uint64_t seen)
      : watch_(std::move(watch)),
        path_(std::move(path)),
        guard_(std::move(share.guard)),
        lock_(std::move(share.lock)),
        manual_reset_(manual_reset),
        signalled_(signalled),
        seen_(seen) {}

  ~NamedEvent() override {
    // A wait for all of several objects that took this event's signal and
    // did not complete gives it back.
    if (reserved_) WriteGuarded(true);
  }

  // The state is cached and read again only when the watcher has seen a
  // state file change since the last read (including changes that another
  // process finished just before this check).
  bool IsSignaled() const override {
    if (reserved_) return true;
    if (NamedEventStateMayHaveChanged(&seen_)) signalled_ = ReadStateFile(path_);
    if (!signalled_ || manual_reset_) return signalled_;
    return Reserve();
  }

  void Acquire() override { reserved_ = false; }

  void StartBlocking() override { EnsureNamedObjectWatcher(); }

  bool SetState(bool on) override {
    if (!WriteGuarded(on)) return false;
    // The rename is queued for the watcher before it returns, so the next
    // check here reads the new state; the waiters of this process (other
    // handles too) look again now.
    Dispatcher& d = GetDispatcher();
    std::lock_guard lock(d.mutex);
    d.cv.notify_all();
    return true;
  }

 private:
  // Every change of the state file happens under the guard, so taking an
  // auto-reset event's signal (read '1', write '0') is one step to other
  // processes.
  bool WriteGuarded(bool on) const {
    if (FlockRetrying(guard_.get(), LOCK_EX) != 0) {
      SetLastErrorFromErrno();
      return false;
    }
    const bool written = WriteStateFile(path_, on);
    FlockRetrying(guard_.get(), LOCK_UN);
    return written;
  }

  // An auto-reset event's signal, taken from the file for the wait that
  // asked (as a named mutex's lock is, see named_object.cpp).
  bool Reserve() const {
    if (FlockRetrying(guard_.get(), LOCK_EX) != 0) return false;
    if (ReadStateFile(path_) && WriteStateFile(path_, false)) reserved_ = true;
    FlockRetrying(guard_.get(), LOCK_UN);
    signalled_ = false;
    return reserved_;
  }

  DirectoryWatch watch_;  // declared first: followed until the files are closed
  const std::string path_;
  UniqueFd guard_;
  UniqueFd lock_;  // shared flock: this handle's share of the object
  const bool manual_reset_;

  // Guarded by the dispatcher lock.
  mutable bool signalled_;
  mutable uint64_t seen_;
  mutable bool reserved_ = false;
};

HANDLE OpenEventObject(std::u16string_view name, bool create, bool manual_reset,
                       bool initially_signalled) {
  const std::string directory = RuntimeDirectory();
  if (directory.empty()) return nullptr;
  const std::string base = directory + "/" + NamedObjectFileStem(name);
  const std::string path = base + ".event";

  // Followed, and the watcher's generation noted, before the state is read:
  // a change after that read is never missed. Not under the guard, which a
  // wait takes under the dispatcher lock.
  DirectoryWatch watch(directory);
  uint64_t seen = kNotSeen;
  {
    std::lock_guard lock(GetDispatcher().mutex);
    NamedEventStateMayHaveChanged(&seen);
  }

  ObjectShare share;
  if (!TakeObjectShare(base, create, &share)) return nullptr;
  if (share.existed) {
    char kind = 0;
    if (::pread(share.lock.get(), &kind, 1, 0) != 1 || (kind != kManualReset && kind != kAutoReset)) {
      SetLastError(kErrorInvalidHandle);  // the name is a mutex's
      return nullptr;
    }
    manual_reset = kind == kManualReset;
  } else {
    // A new object: whatever an earlier one of this name left is not its
    // state.
    const char kind = manual_reset ? kManualReset : kAutoReset;
    if (::ftruncate(share.lock.get(), 0) != 0 || ::pwrite(share.lock.get(), &kind, 1, 0) != 1) {
      SetLastErrorFromErrno();
      return nullptr;
    }
    if (!WriteStateFile(path, initially_signalled)) return nullptr;
  }
  const bool signalled = ReadStateFile(path);
  FlockRetrying(share.guard.get(), LOCK_UN);
  const bool existed = share.existed;
  HANDLE handle = InsertHandle(std::make_shared<NamedEvent>(path, std::move(share), std::move(watch),
                                                            manual_reset, signalled, seen));
  if (handle != nullptr && create) SetLastError(existed ? kErrorAlreadyExists : kErrorSuccess);
  return handle;
}

}  // namespace

HANDLE CreateNamedEvent(std::u16string_view name, bool manual_reset, bool initially_signalled) {
  if (name.empty()) {
    HANDLE handle = CreateEvent(manual_reset, initially_signalled);
    if (handle != nullptr) SetLastError(kErrorSuccess);
    return handle;
  }
  try {
    return OpenEventObject(name, true, manual_reset, initially_signalled);
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
}

HANDLE OpenNamedEvent(std::u16string_view name) {
  if (name.empty()) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  try {
    return OpenEventObject(name, false, false, false);
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
}

}  // namespace platform

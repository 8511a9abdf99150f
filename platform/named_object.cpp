#include "platform/named_object.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "platform/dispatcher.h"
#include "platform/named_object_files.h"
#include "platform/named_object_watcher.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/unique_fd.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsPlainNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '{' || c == '}' || c == '-';
}

// A mutex as the program's threads see it: owned by one thread at a time,
// recursively. A named mutex adds the owner file, whose exclusive flock is
// held while some thread of this handle owns the mutex (or a wait has just
// reserved it, see IsSignaled).
//
// Between processes the state is the kernel's flock, which nobody notifies
// this process about. A releaser therefore leaves a mark the watcher
// (named_object_watcher.h) sees after its unlock: ReleaseMutex touches the
// owner file, closing the handle closes it. A holder that dies leaves no
// mark; a blocked wait hands the holder's pid to the watcher, whose pidfd
// turns readable once the kernel has released the dead holder's locks.
//
// Each handle has its own open file descriptions, so two handles of one
// process to the same name exclude each other like handles of two processes.
class Mutex final : public Waitable {
 public:
  Mutex() = default;
  Mutex(UniqueFd lock, UniqueFd owner, DirectoryWatch watch)
      : watch_(std::move(watch)), lock_(std::move(lock)), owner_file_(std::move(owner)) {}

  ~Mutex() override {
    // A forked child's copy shares the parent's open files, so the lock on
    // them is the parent's to give back, not the copy's.
    if (!kernel_lock_held_ || ::getpid() != opener_) return;
    // Closing the handle is a clean release: the owner file is emptied so
    // the next taker does not see an abandoned mutex. The descriptors close
    // after this (owner file first, then the share of the object). The
    // unlock comes before the close, whose notice tells waiters elsewhere
    // (the kernel reports a close before it drops the closed file's locks).
    if (::ftruncate(owner_file_.get(), 0) != 0) {
      // Nothing to do: the lock goes with the descriptor either way, and a
      // pid left behind only makes the next taker see it as abandoned.
    }
    FlockRetrying(owner_file_.get(), LOCK_UN);
    owner_file_.reset();
    // Another handle of this process may be waiting for the mutex.
    Dispatcher& d = GetDispatcher();
    std::lock_guard lock(d.mutex);
    d.cv.notify_all();
  }

  bool Named() const { return static_cast<bool>(owner_file_); }

  // Ownership taken at creation, before the object is shared.
  void TakeInitialOwnership(bool kernel_lock_held) {
    owner_thread_ = GetCurrentThreadId();
    recursion_ = 1;
    kernel_lock_held_ = kernel_lock_held;
  }

  bool IsSignaled() const override {
    if (owner_thread_ != 0) return owner_thread_ == GetCurrentThreadId();
    if (!Named() || kernel_lock_held_) return true;
    return ReserveKernelLock();
  }

  void Acquire() override {
    owner_thread_ = GetCurrentThreadId();
    ++recursion_;
  }

  bool TakeAbandoned() override { return std::exchange(abandoned_, false); }

  // A named mutex taken elsewhere: the watcher follows its holder. Whatever
  // the owner file says now, a new holder writing its pid wakes the wait
  // again, so a stale or missing pid is corrected at the next round.
  void StartBlocking() override {
    if (!Named()) return;
    AwaitHolder(this, owner_thread_ != 0 || kernel_lock_held_ ? 0 : ReadOwnerPid());
  }
  void StopBlocking() override {
    if (Named()) StopAwaitingHolder(this);
  }

  // The handle that created the object, before it is shared (the creation
  // guard is held). The owner file may still hold the pid of an owner whose
  // process died with the previous object of this name; that is not this
  // object's history. Its lock may still be held for a moment by a process
  // that is just exiting (it has closed its share but not yet its owner
  // file), so taking it blocks at most until that exit ends.
  bool StartNewObject(bool initial_owner) {
    if (initial_owner) {
      if (FlockRetrying(owner_file_.get(), LOCK_EX) != 0) {
        SetLastErrorFromErrno();
        return false;
      }
      RecordOwner(false);
      TakeInitialOwnership(true);
    } else if (::ftruncate(owner_file_.get(), 0) != 0) {
      SetLastErrorFromErrno();
      return false;
    }
    return true;
  }

  // Runs under the dispatcher lock.
  bool Release() {
    if (owner_thread_ != GetCurrentThreadId()) {
      SetLastError(kErrorNotOwner);
      return false;
    }
    if (--recursion_ == 0) {
      owner_thread_ = 0;
      if (kernel_lock_held_) {
        if (::ftruncate(owner_file_.get(), 0) != 0) {
          // See the destructor: at worst the next taker reports abandonment.
        }
        FlockRetrying(owner_file_.get(), LOCK_UN);
        kernel_lock_held_ = false;
        // The touch after the unlock is what waiters in other processes
        // wake on; the emptying above came while the lock was still held.
        ::futimens(owner_file_.get(), nullptr);
      }
      GetDispatcher().cv.notify_all();
    }
    return true;
  }

  // Marks this handle's process as the owner in the owner file, whose lock
  // the caller holds. Whatever was in it belonged to an owner that died.
  void RecordOwner(bool report_abandoned) const {
    char previous[1];
    if (report_abandoned && ::pread(owner_file_.get(), previous, sizeof previous, 0) > 0) {
      abandoned_ = true;
    }
    char text[24];
    const int length = std::snprintf(text, sizeof text, "%d\n", static_cast<int>(::getpid()));
    if (::ftruncate(owner_file_.get(), 0) != 0 || ::pwrite(owner_file_.get(), text, length, 0) < 0) {
      // Without the pid a death of this owner goes unreported as abandonment;
      // the mutex itself works.
    }
  }

 private:
  // Tries the owner file's lock without blocking. A success is kept as a
  // reservation: the wait that asked takes the mutex next (Acquire). A
  // wait-all whose other objects are not ready keeps the reservation while
  // it goes on waiting, so another process sees the mutex taken meanwhile;
  // the reservation passes to the first wait of this handle that completes,
  // or is given back when the handle closes.
  bool ReserveKernelLock() const {
    if (FlockRetrying(owner_file_.get(), LOCK_EX | LOCK_NB) != 0) return false;
    kernel_lock_held_ = true;
    RecordOwner(true);
    return true;
  }

  pid_t ReadOwnerPid() const {
    char text[24];
    const ssize_t length = ::pread(owner_file_.get(), text, sizeof text, 0);
    return length > 0 ? ParseOwnerPid(text, static_cast<size_t>(length)) : 0;
  }

  const pid_t opener_ = ::getpid();
  DirectoryWatch watch_;  // while the handle is open
  UniqueFd lock_;        // shared flock: this handle's share of the object
  UniqueFd owner_file_;  // declared after lock_, so it closes first

  // Guarded by the dispatcher lock (or unshared, before the handle exists).
  uint32_t owner_thread_ = 0;
  uint32_t recursion_ = 0;
  mutable bool kernel_lock_held_ = false;
  mutable bool abandoned_ = false;
};

// Opens (creating when no process has it open) the named mutex at `base`;
// `existed` tells which.
std::shared_ptr<Mutex> OpenNamedMutex(const std::string& directory, const std::string& base,
                                      bool initial_owner, bool* existed) {
  DirectoryWatch watch(directory);
  ObjectShare share;
  if (!TakeObjectShare(base, true, &share)) return nullptr;
  UniqueFd owner = OpenObjectFile(base + ".owner");
  if (!owner) {
    SetLastErrorFromErrno();
    return nullptr;
  }
  *existed = share.existed;
  // A new object: the .lock of an event that had this name said its kind.
  if (!*existed && ::ftruncate(share.lock.get(), 0) != 0) {
    SetLastErrorFromErrno();
    return nullptr;
  }
  auto mutex = std::make_shared<Mutex>(std::move(share.lock), std::move(owner), std::move(watch));
  if (!*existed && !mutex->StartNewObject(initial_owner)) {
    share.guard.reset();  // before the handle goes, which takes the dispatcher lock
    return nullptr;
  }
  return mutex;
}

}  // namespace

std::string RuntimeDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string path = runtime != nullptr && *runtime != '\0'
                               ? std::string(runtime) + "/vombel-connect"
                               : "/tmp/vombel-connect-" + std::to_string(::geteuid());
  if (::mkdir(path.c_str(), 0700) == 0) {
    // The umask may have taken the owner's own bits away.
    ::chmod(path.c_str(), 0700);
  } else if (errno != EEXIST) {
    SetLastErrorFromErrno();
    return {};
  }
  // lstat, so that a symbolic link to a folder someone else controls is
  // refused like any other folder that is not exactly ours.
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    SetLastErrorFromErrno();
    return {};
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 07777) != 0700) {
    SetLastError(kErrorAccessDenied);
    return {};
  }
  return path;
}

std::string NamedObjectFileStem(std::u16string_view name) {
  for (std::u16string_view prefix : {std::u16string_view(u"Global\\"), std::u16string_view(u"Local\\")}) {
    if (name.substr(0, prefix.size()) == prefix) {
      name.remove_prefix(prefix.size());
      break;
    }
  }
  const std::string utf8 = Utf16ToUtf8(name);
  std::string stem;
  stem.reserve(utf8.size());
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsPlainNameByte(byte)) {
      stem.push_back(c);
    } else {
      stem.push_back('%');
      stem.push_back(kHexDigits[byte >> 4]);
      stem.push_back(kHexDigits[byte & 0xF]);
    }
  }
  return stem;
}

HANDLE CreateMutex(std::u16string_view name, bool initial_owner) {
  try {
    if (name.empty()) {
      auto mutex = std::make_shared<Mutex>();
      if (initial_owner) mutex->TakeInitialOwnership(false);
      HANDLE handle = InsertHandle(std::move(mutex));
      if (handle != nullptr) SetLastError(kErrorSuccess);
      return handle;
    }
    const std::string directory = RuntimeDirectory();
    if (directory.empty()) return nullptr;
    bool existed = false;
    auto mutex =
        OpenNamedMutex(directory, directory + "/" + NamedObjectFileStem(name), initial_owner, &existed);
    if (!mutex) return nullptr;
    HANDLE handle = InsertHandle(std::move(mutex));
    if (handle != nullptr) SetLastError(existed ? kErrorAlreadyExists : kErrorSuccess);
    return handle;
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
}

bool ReleaseMutex(HANDLE mutex) {
  auto object = ReferenceHandleAs<Mutex>(mutex);
  if (!object) return false;
  std::lock_guard lock(GetDispatcher().mutex);
  return object->Release();
}

}  // namespace platform

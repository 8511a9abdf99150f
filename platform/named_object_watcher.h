// The per-process watcher that turns changes made by other processes to
// named objects into wake-ups of this process's waits.
//
// One thread blocks in poll() on an inotify descriptor following the runtime
// directories that hold open named objects (an event's state file replaced,
// a mutex's owner file emptied, touched or closed by its releaser), on the
// pidfds of the processes holding the named mutexes that a thread of this
// process is blocked on (the holder's pid is in the owner file; a pidfd turns
// readable once the holder has died and the kernel has released its locks),
// and on an eventfd that asks it to re-read that set. On any change it
// notifies the dispatcher's condition, so every wait re-checks its objects.
//
// The thread starts when a wait first blocks on a named object and runs until
// the process exits; a process that only tests objects without waiting (as
// the start-up checks do) starts none. A forked child leaves the parent's
// watcher alone and sets up its own on first use.
//
// Every function runs with the dispatcher lock held, except DirectoryWatch's
// constructor and destructor, which take it themselves.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace platform {

// Keeps `directory` followed while a named object in it is open. Taken
// before the object's files are read, so no change after that is missed.
class DirectoryWatch {
 public:
  DirectoryWatch() = default;
  explicit DirectoryWatch(std::string directory);
  ~DirectoryWatch();
  DirectoryWatch(DirectoryWatch&& other) noexcept;
  DirectoryWatch& operator=(DirectoryWatch&& other) noexcept;
  DirectoryWatch(const DirectoryWatch&) = delete;
  DirectoryWatch& operator=(const DirectoryWatch&) = delete;

 private:
  void Reset();
  std::string directory_;
};

// Starts the watcher thread unless it runs already (a wait is about to
// block on a named object).
void EnsureNamedObjectWatcher();

// Whether any event state file may have changed since the generation in
// `*seen`, which it updates. Reads what the kernel has queued first, so a
// change another process finished before this call is always seen. Without
// a working watcher every call answers true (the caller reads the file).
bool NamedEventStateMayHaveChanged(uint64_t* seen);

// A thread waiting (through `waiter`, a named mutex) for the mutex held by
// process `holder` (0 when unknown): counted, each call matched by one
// StopAwaitingHolder.
void AwaitHolder(const void* waiter, pid_t holder);
void StopAwaitingHolder(const void* waiter);

// The pid in a mutex's owner file ("<pid>\n"); 0 for anything else.
pid_t ParseOwnerPid(const char* text, size_t length);

}  // namespace platform

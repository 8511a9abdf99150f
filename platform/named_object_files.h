// The files behind a named kernel object, shared by the named mutexes and the
// named events (named_object.h, named_event.h): opening them, the creation
// guard and the shared lock that makes the object exist.
#pragma once

#include <string>

#include "platform/unique_fd.h"

namespace platform {

// flock, retried when a signal interrupts it.
int FlockRetrying(int fd, int operation);

// Opens (creating when missing) one of the object's files, owner-only.
UniqueFd OpenObjectFile(const std::string& path);

// A handle's share of the object at `base` (<base>.lock held shared), taken
// under the creation guard (<base>.guard held exclusively), which stays held
// until the caller unlocks or closes `guard`: the creator sets up the new
// object's state under it.
struct ObjectShare {
  UniqueFd guard;
  UniqueFd lock;
  bool existed = false;
};

// With `create` false an object that no process has open is not created:
// false with last error 2. Otherwise false with the last error set on
// failure.
bool TakeObjectShare(const std::string& base, bool create, ObjectShare* share);

}  // namespace platform

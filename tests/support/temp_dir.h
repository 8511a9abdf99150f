// Private folders for tests that need real files, and a registry whose two
// stores live in one of them.
#pragma once

#include <string>

#include "platform/registry.h"

namespace testing_support {

// A fresh folder under $TMPDIR (or /tmp when that is unset or empty), named
// `prefix` plus a unique suffix, removed with all it holds when the object
// goes. Folders a test made read-only get their write bits back first, or
// the removal would stop at them and leave the rest behind.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "vombel-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  bool created_ = false;
};

// A temporary folder with the per-user store in user/ and the machine-wide
// one in machine/; the process's registry roots point there while the object
// lives. Neither store exists on disk until something writes to it.
class TempRegistry {
 public:
  explicit TempRegistry(const std::string& prefix = "vombel-reg");

  const std::string& Root() const { return dir_.Path(); }
  // A path inside the user's (machine's) store; `path` starts with '/'.
  std::string User(const std::string& path = "") const { return Root() + "/user" + path; }
  std::string Machine(const std::string& path = "") const { return Root() + "/machine" + path; }

 private:
  TempDir dir_;  // declared first: outlives the roots that point into it
  platform::ScopedRegistryRoots roots_;
};

}  // namespace testing_support

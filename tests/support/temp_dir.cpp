#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace testing_support {

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& prefix) {
  const char* tmp = std::getenv("TMPDIR");
  path_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
  created_ = ::mkdtemp(path_.data()) != nullptr;
  if (!created_) ADD_FAILURE() << "mkdtemp(" << path_ << ") failed: " << std::strerror(errno);
}

TempDir::~TempDir() {
  // Never remove what someone else made: a failed mkdtemp leaves a name
  // that is not ours.
  if (!created_) return;
  std::error_code ignored;
  for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    if (entry.is_directory()) ::chmod(entry.path().c_str(), 0700);
  }
  fs::remove_all(path_, ignored);
}

TempRegistry::TempRegistry(const std::string& prefix)
    : dir_(prefix), roots_(dir_.Path() + "/user", dir_.Path() + "/machine") {}

}  // namespace testing_support

#include "tests/support/scoped_env.h"

#include <cstdlib>

namespace testing_support {

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
  if (const char* old = std::getenv(name)) previous_ = old;
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (previous_) {
    setenv(name_, previous_->c_str(), 1);
  } else {
    unsetenv(name_);
  }
}

}  // namespace testing_support

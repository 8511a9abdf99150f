// A D-Bus daemon of a test's own (dbus-daemon --session on a fresh socket),
// so that services and clients meet without the machine's buses.
#pragma once

#include <memory>
#include <string>

#include "tests/platform/spawned_program.h"

namespace testing_support {

class PrivateBus {
 public:
  // Null, with `why_not` saying why (dbus-daemon not installed, did not
  // start), when there is no bus to be had.
  static std::unique_ptr<PrivateBus> Start(std::string& why_not);

  const std::string& Address() const { return address_; }

  PrivateBus(std::unique_ptr<SpawnedProgram> daemon, std::string address)
      : daemon_(std::move(daemon)), address_(std::move(address)) {}

 private:
  std::unique_ptr<SpawnedProgram> daemon_;
  std::string address_;
};

}  // namespace testing_support

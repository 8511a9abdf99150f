#include "platform/udev_properties.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/sysfs_file.h"
#include "platform/sysfs_text.h"
#include "platform/udev_database_properties.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

// What the kernel's uevent file of a device says for `key`.
std::optional<std::string> FromUeventFile(const std::string& syspath, std::string_view key) {
  const auto text = ReadSysfsFile(syspath + "/uevent");
  if (!text) return std::nullopt;
  const auto values = ParseUevent(*text);
  const auto it = values.find(key);
  if (it == values.end()) return std::nullopt;
  return it->second;
}

// Both backends against this machine's own /sys, on devices every Linux
// kernel has: sd-device and the files read directly agree with the kernel's
// uevent file, DEVNAME in udev's form.
TEST(UdevPropertiesTest, BothBackendsReadTheMachinesDevicesAlike) {
  const auto system = MakeUdevProperties("/sys", "/run/udev/data");
  testing_support::TempDir no_database("vombel-udev");
  const UdevDatabaseProperties files(no_database.Path());

  struct Row {
    std::string syspath;
    std::string key;
    std::string prefix;  // what udev puts before the uevent file's value
  } rows[] = {
      {"/sys/devices/virtual/tty/tty0", "DEVNAME", "/dev/"},
      {"/sys/devices/virtual/tty/tty0", "MAJOR", ""},
      {"/sys/devices/virtual/net/lo", "INTERFACE", ""},
      {"/sys/devices/virtual/net/lo", "IFINDEX", ""},
      {"/sys/devices/virtual/net/lo", "NO_SUCH_PROPERTY", ""},
      {"/sys/devices/virtual/net/no-such-device", "INTERFACE", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.syspath + " " + row.key);
    auto expected = FromUeventFile(row.syspath, row.key);
    if (expected) expected->insert(0, row.prefix);
    EXPECT_EQ(system->Get(row.syspath, row.key), expected);
    EXPECT_EQ(files.Get(row.syspath, row.key), expected);
  }
  // The rows above would pass on a machine without these devices too.
  EXPECT_EQ(system->Get("/sys/devices/virtual/net/lo", "INTERFACE"), "lo");
}

}  // namespace
}  // namespace platform

#include "platform/udev_database_properties.h"

#include <unistd.h>

#include "platform/sysfs_file.h"
#include "platform/sysfs_text.h"
#include "platform/udev_text.h"

namespace platform {
namespace {

// Attribute files are at most a page; udev records are larger but bounded.
constexpr size_t kUdevRecordLimit = 64 * 1024;

std::string BaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string LinkBaseName(const std::string& link) {
  char target[4096];
  const ssize_t size = ::readlink(link.c_str(), target, sizeof target - 1);
  if (size <= 0) return {};
  return BaseName(std::string_view(target, static_cast<size_t>(size)));
}

std::string_view ValueOf(const std::map<std::string, std::string, std::less<>>& values,
                         std::string_view key) {
  const auto it = values.find(key);
  return it == values.end() ? std::string_view() : std::string_view(it->second);
}

}  // namespace

UdevDatabaseProperties::UdevDatabaseProperties(std::string udev_data_root)
    : udev_data_(std::move(udev_data_root)) {}

std::optional<std::string> UdevDatabaseProperties::Get(const std::string& syspath,
                                                       std::string_view key) const {
  const auto uevent_text = ReadSysfsFile(syspath + "/uevent");
  if (!uevent_text) return std::nullopt;  // no such device (any more)
  const auto uevent = ParseUevent(*uevent_text);

  const std::string record = UdevRecordName(
      LinkBaseName(syspath + "/subsystem"), BaseName(syspath), ValueOf(uevent, "MAJOR"),
      ValueOf(uevent, "MINOR"), ValueOf(uevent, "IFINDEX"));
  if (!record.empty()) {
    if (auto text = ReadSysfsFile(udev_data_ + "/" + record, kUdevRecordLimit)) {
      const auto properties = ParseUdevData(*text);
      const std::string_view value = ValueOf(properties, key);
      if (!value.empty()) return std::string(value);
      if (properties.count(key) != 0) return std::nullopt;
    }
  }

  std::string value(ValueOf(uevent, key));
  if (value.empty()) return std::nullopt;
  // udev gives device node names as paths; the kernel as names below /dev.
  if (key == "DEVNAME" && !value.starts_with('/')) value.insert(0, "/dev/");
  return value;
}

}  // namespace platform

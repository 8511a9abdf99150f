#include "platform/device_tree.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>

#include "platform/serial_port.h"
#include "platform/sysfs_device_tree.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

std::atomic<DeviceTree*> g_current{nullptr};

// A device opened by path: the open file itself is what holds it (a serial
// port is held exclusively while this lives). No driver behind it answers
// control requests.
class PathDeviceFile final : public DeviceFile {
 public:
  explicit PathDeviceFile(std::unique_ptr<SerialPort> port) : port_(std::move(port)) {}
  uint32_t IoControl(uint32_t, std::span<const uint8_t>, std::span<uint8_t>,
                     uint32_t& returned) override {
    returned = 0;
    return kErrorInvalidFunction;
  }

 private:
  std::unique_ptr<SerialPort> port_;  // null when only presence was asked for
};

}  // namespace

uint32_t DeviceTree::PortIoControl(const std::string&, uint32_t, std::span<const uint8_t>, std::span<uint8_t>,
                                   uint32_t& returned) {
  returned = 0;
  return kErrorInvalidFunction;
}

DeviceTree& CurrentDeviceTree() {
  DeviceTree* tree = g_current.load(std::memory_order_acquire);
  return tree ? *tree : SystemDeviceTree();
}

ScopedDeviceTree::ScopedDeviceTree(DeviceTree& tree)
    : previous_(g_current.exchange(&tree, std::memory_order_acq_rel)) {}

ScopedDeviceTree::~ScopedDeviceTree() { g_current.store(previous_, std::memory_order_release); }

std::string DefaultDevicePath(std::u16string_view name) {
  if (!name.starts_with(kDeviceNamespacePrefix)) return Utf16ToUtf8(name);
  std::string rest = Utf16ToUtf8(name.substr(kDeviceNamespacePrefix.size()));
  if (rest.starts_with('/')) return rest;
  return "/dev/" + rest;
}

uint32_t OpenDevicePath(const std::string& path, uint32_t access,
                        std::unique_ptr<DeviceFile>& file) {
  file.reset();
  if (access == kDeviceAccessNone) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return ErrorFromErrno(errno);
    file = std::make_unique<PathDeviceFile>(nullptr);
    return kErrorSuccess;
  }
  auto port = std::make_unique<SerialPort>();
  if (!port->Open(path)) return GetLastError();
  file = std::make_unique<PathDeviceFile>(std::move(port));
  return kErrorSuccess;
}

}  // namespace platform

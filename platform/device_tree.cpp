#include "platform/device_tree.h"

#include <atomic>

#include "platform/sysfs_device_tree.h"
#include "platform/text.h"

namespace platform {
namespace {

std::atomic<DeviceTree*> g_current{nullptr};

}  // namespace

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

}  // namespace platform

#include "platform/uevent_monitor.h"

#include <linux/netlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <thread>

#include "platform/device_notification.h"
#include "platform/device_tree.h"
#include "platform/text.h"
#include "platform/udev_monitor.h"
#include "platform/uevent.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

constexpr unsigned kKernelEventGroup = 1;
// The udev daemon's control socket: there while udev runs.
constexpr const char* kUdevControl = "/run/udev/control";

// True when the device tree offers a modem whose port is /dev/<devname>.
bool IsModem(std::string_view devname) {
  DeviceTree& tree = CurrentDeviceTree();
  std::vector<DEVINST> modems;
  if (tree.PresentDevicesOfClass(kDeviceClassModem, modems) != 0) return false;
  for (DEVINST node : modems) {
    std::u16string port;
    if (tree.ReadDeviceKeyString(node, DeviceKeyKind::Device, u"PortName", port) == 0 &&
        Utf16ToUtf8(port) == devname) {
      return true;
    }
  }
  return false;
}

void Broadcast(const Uevent& event) {
  for (const DeviceBroadcast& broadcast : BroadcastsForUevent(event, IsModem)) {
    BroadcastDeviceChange(broadcast);
  }
}

class NetlinkUeventMonitor final : public UeventMonitor {
 public:
  NetlinkUeventMonitor(UniqueFd socket, UniqueFd stop)
      : socket_(std::move(socket)), stop_(std::move(stop)), thread_([this] { Run(); }) {}

  ~NetlinkUeventMonitor() override {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stop_.get(), &one, sizeof one);
    thread_.join();
  }

 private:
  void Run() {
    std::array<char, 8192> buffer;
    for (;;) {
      pollfd fds[2] = {{socket_.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      sockaddr_nl sender{};
      iovec iov{buffer.data(), buffer.size()};
      msghdr header{};
      header.msg_name = &sender;
      header.msg_namelen = sizeof sender;
      header.msg_iov = &iov;
      header.msg_iovlen = 1;
      const ssize_t n = ::recvmsg(socket_.get(), &header, MSG_DONTWAIT);
      if (n <= 0) continue;  // ENOBUFS after a burst: later events still come
      // Only the kernel speaks on this group; anything else is ignored.
      if (sender.nl_pid != 0 || (header.msg_flags & MSG_TRUNC)) continue;
      auto event = ParseUevent(std::string_view(buffer.data(), static_cast<size_t>(n)));
      if (event) Broadcast(*event);
    }
  }

  UniqueFd socket_;
  UniqueFd stop_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<UeventMonitor> UeventMonitor::Start() {
  // udev's events come once its rules have run, so the device's node has its
  // permissions and links and the tree reads its properties complete. The
  // kernel's come before that; they are listened to only where no udev daemon
  // runs (a container, an initramfs), where sd-device's monitor would hear
  // nothing at all and the kernel's events are all there is.
  if (::access(kUdevControl, F_OK) == 0) return StartUdevMonitor(Broadcast);
  UniqueFd socket(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT));
  if (!socket) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = kKernelEventGroup;
  if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  UniqueFd stop(::eventfd(0, EFD_CLOEXEC));
  if (!stop) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  return std::make_unique<NetlinkUeventMonitor>(std::move(socket), std::move(stop));
}

}  // namespace platform

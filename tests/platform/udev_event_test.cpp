#include "platform/udev_event.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

constexpr std::string_view kPortPath =
    "/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.2/ttyUSB2/tty/ttyUSB2";

TEST(UdevEventTest, UdevFieldsBecomeTheKernelsEvent) {
  struct Row {
    UdevEventFields fields;
    std::optional<Uevent> event;
  } rows[] = {
      {{SD_DEVICE_ADD, kPortPath, "tty", "", "/dev/ttyUSB2", ""},
       Uevent{"add", std::string(kPortPath), "tty", "", "ttyUSB2", ""}},
      {{SD_DEVICE_REMOVE, "/devices/usb1/1-1", "usb", "usb_device", "/dev/bus/usb/001/002", ""},
       Uevent{"remove", "/devices/usb1/1-1", "usb", "usb_device", "bus/usb/001/002", ""}},
      {{SD_DEVICE_BIND, "/devices/usb1/1-1/1-1:1.0", "usb", "usb_interface", "", "11/0/0"},
       Uevent{"bind", "/devices/usb1/1-1/1-1:1.0", "usb", "usb_interface", "", "11/0/0"}},
      {{SD_DEVICE_UNBIND, "/devices/usb1/1-1", "usb", "", "", ""},
       Uevent{"unbind", "/devices/usb1/1-1", "usb", "", "", ""}},
      {{SD_DEVICE_CHANGE, "/devices/virtual/net/wwan0", "net", "wwan", "", "wwan0"},
       Uevent{"change", "/devices/virtual/net/wwan0", "net", "wwan", "", "wwan0"}},
      {{SD_DEVICE_MOVE, "/devices/x", "net", "", "", ""},
       Uevent{"move", "/devices/x", "net", "", "", ""}},
      {{SD_DEVICE_ONLINE, "/devices/x", "cpu", "", "", ""},
       Uevent{"online", "/devices/x", "cpu", "", "", ""}},
      {{SD_DEVICE_OFFLINE, "/devices/x", "cpu", "", "", ""},
       Uevent{"offline", "/devices/x", "cpu", "", "", ""}},
          // A node name outside /dev is dropped; the mapping names the port
      // after its devpath then.
      {{SD_DEVICE_ADD, kPortPath, "tty", "", "/tmp/../ttyUSB2", ""},
       Uevent{"add", std::string(kPortPath), "tty", "", "", ""}},
      {{_SD_DEVICE_ACTION_INVALID, kPortPath, "tty", "", "/dev/ttyUSB2", ""}, std::nullopt},
      {{_SD_DEVICE_ACTION_MAX, kPortPath, "tty", "", "/dev/ttyUSB2", ""}, std::nullopt},
      {{SD_DEVICE_ADD, "", "tty", "", "/dev/ttyUSB2", ""}, std::nullopt},
      {{SD_DEVICE_ADD, kPortPath, "", "", "/dev/ttyUSB2", ""}, std::nullopt},
  };
  auto text = [](const std::optional<Uevent>& e) {
    if (!e) return std::string("<none>");
    return e->action + " " + e->devpath + " " + e->subsystem + " [" + e->devtype + "] [" +
           e->devname + "] [" + e->interface + "]";
  };
  for (const Row& row : rows) {
    EXPECT_EQ(text(UeventFromUdev(row.fields)), text(row.event));
  }
}

}  // namespace
}  // namespace platform

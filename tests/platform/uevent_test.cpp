#include "platform/uevent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

using namespace std::string_literals;

// Kernel messages as the netlink socket delivers them (recorded from a USB
// modem with three serial interfaces and a network interface).
const std::string kTtyAdd =
    "add@/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.2/ttyUSB2/tty/ttyUSB2\0"
    "ACTION=add\0DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.2/ttyUSB2/tty/ttyUSB2\0"
    "SUBSYSTEM=tty\0MAJOR=188\0MINOR=2\0DEVNAME=ttyUSB2\0SEQNUM=4321\0"s;
const std::string kUsbDeviceRemove =
    "remove@/devices/pci0000:00/0000:00:14.0/usb1/1-2\0"
    "ACTION=remove\0DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2\0SUBSYSTEM=usb\0"
    "MAJOR=189\0MINOR=5\0DEVNAME=bus/usb/001/006\0DEVTYPE=usb_device\0PRODUCT=f1a1/101/0\0"
    "TYPE=0/0/0\0BUSNUM=001\0DEVNUM=006\0SEQNUM=4400\0"s;
const std::string kNetAdd =
    "add@/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.4/net/wwan0\0"
    "ACTION=add\0DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.4/net/wwan0\0"
    "SUBSYSTEM=net\0INTERFACE=wwan0\0IFINDEX=7\0SEQNUM=4330\0"s;
const std::string kReaderAdd =
    "add@/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0\0"
    "ACTION=add\0DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0\0SUBSYSTEM=usb\0"
    "DEVTYPE=usb_interface\0PRODUCT=76b/3021/301\0INTERFACE=11/0/0\0SEQNUM=4500\0"s;
const std::string kVirtualTty =
    "add@/devices/virtual/tty/tty7\0ACTION=add\0DEVPATH=/devices/virtual/tty/tty7\0"
    "SUBSYSTEM=tty\0DEVNAME=tty7\0"s;
const std::string kBind =
    "bind@/devices/pci0000:00/0000:00:14.0/usb1/1-2\0ACTION=bind\0"
    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2\0SUBSYSTEM=usb\0DEVTYPE=usb_device\0"
    "DRIVER=usb\0"s;

struct Expected {
  Expected(uint32_t e, uint32_t t, std::string_view c, std::string_view n)
      : event(e), device_type(t), interface_class(c), name(n) {}
  uint32_t event;
  uint32_t device_type;
  std::string interface_class;
  std::string name;
};

std::vector<Expected> Summary(const std::vector<DeviceBroadcast>& broadcasts) {
  std::vector<Expected> out;
  for (const auto& b : broadcasts) {
    out.push_back({b.event, b.device_type, b.interface_class, b.name});
  }
  return out;
}

bool operator==(const Expected& a, const Expected& b) {
  return a.event == b.event && a.device_type == b.device_type &&
         a.interface_class == b.interface_class && a.name == b.name;
}

void PrintTo(const Expected& e, std::ostream* os) {
  *os << "{0x" << std::hex << e.event << ", " << std::dec << e.device_type << ", "
      << e.interface_class << ", " << e.name << "}";
}

std::vector<Expected> Map(const std::string& message, bool modem = false) {
  auto event = ParseUevent(message);
  EXPECT_TRUE(event.has_value());
  if (!event) return {};
  return Summary(BroadcastsForUevent(*event, [modem](std::string_view) { return modem; }));
}

TEST(UeventTest, ParsesTheKernelForm) {
  auto event = ParseUevent(kTtyAdd);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->action, "add");
  EXPECT_EQ(event->subsystem, "tty");
  EXPECT_EQ(event->devname, "ttyUSB2");
  EXPECT_TRUE(event->devpath.ends_with("/tty/ttyUSB2"));
}

TEST(UeventTest, RejectsWhatIsNotAKernelEvent) {
  const std::vector<std::string> bad = {
      ""s,
      "libudev\0\xfe\xed\xca\xfe"s,                                 // the udev daemon's form
      "add@/devices/x\0ACTION=add\0SUBSYSTEM=tty\0"s,               // no DEVPATH
      "add@/devices/x\0ACTION=remove\0DEVPATH=/devices/x\0SUBSYSTEM=tty\0"s,  // header disagrees
      "add@/devices/x\0ACTION=add\0DEVPATH=/devices/y\0SUBSYSTEM=tty\0"s,
      "@/devices/x\0ACTION=\0DEVPATH=/devices/x\0SUBSYSTEM=tty\0"s,
      "add@\0ACTION=add\0DEVPATH=\0SUBSYSTEM=tty\0"s,                  // empty DEVPATH
      "add/devices/x\0ACTION=add\0DEVPATH=/devices/x\0SUBSYSTEM=tty"s,  // no '@'
  };
  for (const auto& message : bad) EXPECT_FALSE(ParseUevent(message)) << message;
  // A last field without its NUL still counts.
  EXPECT_TRUE(ParseUevent("add@/devices/x\0ACTION=add\0DEVPATH=/devices/x\0SUBSYSTEM=tty"s));
}

TEST(UeventTest, MapsEachKindOfDevice) {
  const uint32_t kArrival = DBT_DEVICEARRIVAL, kRemoval = DBT_DEVICEREMOVECOMPLETE;
  EXPECT_EQ(Map(kTtyAdd), (std::vector<Expected>{
                              {kArrival, DBT_DEVTYP_DEVICEINTERFACE, kInterfaceComPort, "/dev/ttyUSB2"},
                              {kArrival, DBT_DEVTYP_PORT, "", "ttyUSB2"},
                          }));
  EXPECT_EQ(Map(kTtyAdd, /*modem=*/true).back(),
            (Expected{kArrival, DBT_DEVTYP_DEVICEINTERFACE, kInterfaceModem, "/dev/ttyUSB2"}));
  EXPECT_EQ(Map(kNetAdd), (std::vector<Expected>{
                              {kArrival, DBT_DEVTYP_DEVICEINTERFACE, kInterfaceNetwork, "wwan0"}}));
  EXPECT_EQ(Map(kUsbDeviceRemove),
            (std::vector<Expected>{
                {kRemoval, DBT_DEVTYP_DEVICEINTERFACE, kInterfaceUsbDevice,
                 "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2"},
                {DBT_DEVNODES_CHANGED, 0, "", ""},
            }));
  EXPECT_EQ(Map(kReaderAdd).front().interface_class, kInterfaceSmartCardReader);
  EXPECT_EQ(Map(kBind), (std::vector<Expected>{{DBT_DEVNODES_CHANGED, 0, "", ""}}));
  EXPECT_TRUE(Map(kVirtualTty).empty());
}

TEST(UeventTest, SizesAreThoseOfTheSystemRecords) {
  auto event = ParseUevent(kTtyAdd);
  ASSERT_TRUE(event);
  auto broadcasts = BroadcastsForUevent(*event, nullptr);
  ASSERT_EQ(broadcasts.size(), 2u);
  EXPECT_EQ(broadcasts[0].size, 28u + 2 * (std::string("/dev/ttyUSB2").size() + 1));
  EXPECT_EQ(broadcasts[1].size, 12u + 2 * (std::string("ttyUSB2").size() + 1));
}

}  // namespace
}  // namespace platform

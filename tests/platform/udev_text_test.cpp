#include "platform/udev_text.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(UdevTextTest, NameBelowDevTakesUdevsAndTheKernelsForms) {
  struct Row {
    std::string_view devname;
    std::string_view name;
  } rows[] = {
      {"/dev/ttyUSB2", "ttyUSB2"},                // udev's DEVNAME
      {"ttyUSB2", "ttyUSB2"},                     // the kernel's uevent DEVNAME
      {"/dev/bus/usb/001/002", "bus/usb/001/002"},
      {"bus/usb/001/002", "bus/usb/001/002"},
      {"/devices/ttyUSB2", ""},                   // not below /dev
      {"/tmp/ttyUSB2", ""},
      {"/dev/", ""},
      {"/dev", ""},
      {"", ""},
      {"/dev/../etc/shadow", ""},
      {"../etc/shadow", ""},
      {"/dev/tty/./x", ""},
      {"/dev//ttyUSB2", ""},
      {"/dev/ttyUSB2/", ""},
      {std::string_view("tty\0x", 5), ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(NameBelowDev(row.devname), row.name) << '"' << row.devname << '"';
  }
}

TEST(UdevTextTest, RecordNamesAsUdevNamesThem) {
  struct Row {
    std::string_view subsystem, sysname, major, minor, ifindex;
    std::string_view record;
  } rows[] = {
      {"usb", "1-1.2", "189", "2", "", "c189:2"},
      {"tty", "ttyUSB2", "188", "2", "", "c188:2"},
      {"block", "sda", "8", "0", "", "b8:0"},
      {"net", "wwan0", "", "", "3", "n3"},
      {"pci", "0000:00:1c.0", "", "", "", "+pci:0000:00:1c.0"},
      {"usb", "1-1.2:1.0", "", "", "", "+usb:1-1.2:1.0"},
      {"usb", "1-1.2", "189", "", "", ""},  // half a device number
      {"usb", "1-1.2", "18x", "2", "", ""},
      {"usb", "1-1.2", "189", "-2", "", ""},
      {"usb", "1-1.2", "99999999999", "2", "", ""},
      {"net", "wwan0", "", "", "0", ""},
      {"net", "wwan0", "", "", "3a", ""},
      {"", "1-1.2", "", "", "", ""},
      {"usb", "", "", "", "", ""},
      {"usb", "../../etc", "", "", "", ""},
      {"../x", "1-1", "", "", "", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(UdevRecordName(row.subsystem, row.sysname, row.major, row.minor, row.ifindex),
              row.record)
        << row.subsystem << " " << row.sysname << " " << row.major << ":" << row.minor << " "
        << row.ifindex;
  }
}

}  // namespace
}  // namespace platform

#include "platform/sysfs_device_tree.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/sysfs_text.h"
#include "platform/text.h"
#include "platform/win32_error.h"
#include "tests/support/sysfs_fixture.h"

namespace platform {
namespace {

using testing_support::SysfsFixture;

SysfsFixture::UsbInterface Interface(uint8_t number, std::string driver) {
  SysfsFixture::UsbInterface interface;
  interface.number = number;
  interface.driver = std::move(driver);
  return interface;
}

// A data card: modem, diagnostics and AT ports on USB serial interfaces 0 to
// 2, its network adapter on interface 4.
SysfsFixture::UsbDevice DataCard() {
  SysfsFixture::UsbDevice card;
  card.name = "1-1.2";
  card.vendor = 0xF1A1;
  card.product = 0x0101;
  card.revision = 0x0102;
  card.serial = "SN 7\\1";
  card.product_text = "Vombel Sim 3G";
  for (uint8_t number : {0, 1, 2}) {
    card.interfaces.push_back(Interface(number, "option"));
    card.interfaces.back().serial_ttys = {"ttyUSB" + std::to_string(number)};
  }
  card.interfaces.push_back(Interface(4, "qmi_wwan"));
  card.interfaces.back().nets = {"wwan0"};
  return card;
}

class SysfsDeviceTreeTest : public ::testing::Test {
 protected:
  std::vector<DEVINST> OfEnumerator(std::string_view enumerator) {
    std::vector<DEVINST> nodes;
    EXPECT_EQ(tree_.PresentDevicesOfEnumerator(enumerator, nodes), kErrorSuccess);
    return nodes;
  }
  std::vector<DEVINST> OfClass(std::string_view guid) {
    std::vector<DEVINST> nodes;
    EXPECT_EQ(tree_.PresentDevicesOfClass(guid, nodes), kErrorSuccess);
    return nodes;
  }
  std::string Id(DEVINST node) {
    std::u16string id;
    EXPECT_EQ(tree_.GetDeviceId(node, id), kErrorSuccess);
    return Utf16ToUtf8(id);
  }
  std::vector<std::string> Property(DEVINST node, DeviceProperty property) {
    DevicePropertyValue value;
    if (tree_.GetProperty(node, property, value) != kErrorSuccess) return {"<none>"};
    return value.texts;
  }
  std::string Key(DEVINST node, DeviceKeyKind kind, std::u16string_view name) {
    std::u16string value;
    if (tree_.ReadDeviceKeyString(node, kind, name, value) != kErrorSuccess) return "<none>";
    return Utf16ToUtf8(value);
  }
  std::string ClassGuid(std::string_view instance_id) {
    std::u16string value;
    if (tree_.ReadEnumKeyString(Utf8ToUtf16(instance_id), u"ClassGUID", value) != kErrorSuccess) {
      return "<none>";
    }
    return Utf16ToUtf8(value);
  }
  DEVINST Relative(uint32_t (DeviceTree::*call)(DEVINST, DEVINST&), DEVINST node) {
    DEVINST other = 0;
    const uint32_t error = (tree_.*call)(node, other);
    EXPECT_TRUE(error == kErrorSuccess || error == kErrorFileNotFound) << error;
    return error == kErrorSuccess ? other : 0;
  }

  SysfsFixture fixture_;
  SysfsDeviceTree tree_{fixture_.Roots()};
};

TEST_F(SysfsDeviceTreeTest, UsbCardAndInterfaces) {
  fixture_.AddUsbDevice(DataCard());
  const std::vector<DEVINST> usb = OfEnumerator("usb");
  ASSERT_EQ(usb.size(), 5u);
  struct Row {
    const char* id;
    std::vector<std::string> hardware_ids;
    const char* class_guid;
  } rows[] = {
      {"USB\\VID_F1A1&PID_0101\\SN_7_1",
       {"USB\\VID_F1A1&PID_0101&REV_0102", "USB\\VID_F1A1&PID_0101"},
       "{36FC9E60-C465-11CF-8056-444553540000}"},
      {"USB\\VID_F1A1&PID_0101&MI_00\\1-1.2:1.0",
       {"USB\\VID_F1A1&PID_0101&REV_0102&MI_00", "USB\\VID_F1A1&PID_0101&MI_00"},
       "{4D36E96D-E325-11CE-BFC1-08002BE10318}"},
      {"USB\\VID_F1A1&PID_0101&MI_01\\1-1.2:1.1",
       {"USB\\VID_F1A1&PID_0101&REV_0102&MI_01", "USB\\VID_F1A1&PID_0101&MI_01"},
       "{4D36E96D-E325-11CE-BFC1-08002BE10318}"},
      {"USB\\VID_F1A1&PID_0101&MI_02\\1-1.2:1.2",
       {"USB\\VID_F1A1&PID_0101&REV_0102&MI_02", "USB\\VID_F1A1&PID_0101&MI_02"},
       "{4D36E96D-E325-11CE-BFC1-08002BE10318}"},
      {"USB\\VID_F1A1&PID_0101&MI_04\\1-1.2:1.4",
       {"USB\\VID_F1A1&PID_0101&REV_0102&MI_04", "USB\\VID_F1A1&PID_0101&MI_04"},
       "{4D36E972-E325-11CE-BFC1-08002BE10318}"},
  };
  for (size_t i = 0; i < usb.size(); ++i) {
    EXPECT_EQ(Id(usb[i]), rows[i].id);
    EXPECT_EQ(Property(usb[i], DeviceProperty::HardwareId), rows[i].hardware_ids) << rows[i].id;
    EXPECT_EQ(ClassGuid(rows[i].id), rows[i].class_guid) << rows[i].id;
  }
  EXPECT_EQ(Property(usb[0], DeviceProperty::DeviceDesc),
            std::vector<std::string>{"Vombel Sim 3G"});
  EXPECT_EQ(ClassGuid("usb\\vid_f1a1&pid_0101&mi_04\\1-1.2:1.4"), rows[4].class_guid);
  EXPECT_EQ(ClassGuid("USB\\VID_F1A1&PID_0101&MI_03\\1-1.2:1.3"), "<none>");
  EXPECT_EQ(OfEnumerator("USB"), usb) << "numbers change between enumerations";
}

TEST_F(SysfsDeviceTreeTest, SubDevicesAreNamedAfterTheirInterface) {
  fixture_.AddUsbDevice(DataCard());
  const std::vector<DEVINST> ports = OfClass(kDeviceClassPorts);
  const std::vector<DEVINST> modems = OfClass("{4d36e96d-e325-11ce-bfc1-08002be10318}");
  const std::vector<DEVINST> nets = OfClass(kDeviceClassNet);
  ASSERT_EQ(ports.size(), 3u);
  ASSERT_EQ(modems.size(), 3u);
  ASSERT_EQ(nets.size(), 1u);
  for (int i = 0; i < 3; ++i) {
    const std::string tty = "ttyUSB" + std::to_string(i);
    const std::string name = "USB\\VID_F1A1&PID_0101&MI_0" + std::to_string(i) + " (" + tty + ")";
    for (DEVINST node : {ports[i], modems[i]}) {
      EXPECT_EQ(Property(node, DeviceProperty::FriendlyName), std::vector<std::string>{name});
      EXPECT_EQ(Key(node, DeviceKeyKind::Device, u"PortName"), tty);
    }
    EXPECT_EQ(Id(ports[i]), "TTY\\VID_F1A1&PID_0101&MI_0" + std::to_string(i) + "\\" + tty);
    EXPECT_EQ(Id(modems[i]), "MODEM\\VID_F1A1&PID_0101&MI_0" + std::to_string(i) + "\\" + tty);
  }
  EXPECT_EQ(Property(nets[0], DeviceProperty::DeviceDesc),
            std::vector<std::string>{"USB\\VID_F1A1&PID_0101&MI_04 (wwan0)"});
  EXPECT_EQ(Key(nets[0], DeviceKeyKind::Driver, u"NetCfgInstanceId"), "wwan0");
  EXPECT_EQ(Key(nets[0], DeviceKeyKind::Device, u"PortName"), "<none>");
  EXPECT_EQ(Key(ports[0], DeviceKeyKind::Driver, u"NetCfgInstanceId"), "<none>");
  EXPECT_EQ(Id(nets[0]), "NET\\VID_F1A1&PID_0101&MI_04\\wwan0");
}

TEST_F(SysfsDeviceTreeTest, ParentChildAndSiblingWalk) {
  fixture_.AddUsbDevice(DataCard());
  const DEVINST card = OfEnumerator("USB").at(0);
  std::vector<std::string> walked;
  for (DEVINST interface = Relative(&DeviceTree::GetChild, card); interface != 0;
       interface = Relative(&DeviceTree::GetSibling, interface)) {
    walked.push_back(Id(interface));
    EXPECT_EQ(Relative(&DeviceTree::GetParent, interface), card);
    for (DEVINST sub = Relative(&DeviceTree::GetChild, interface); sub != 0;
         sub = Relative(&DeviceTree::GetSibling, sub)) {
      walked.push_back(Id(sub));
      EXPECT_EQ(Relative(&DeviceTree::GetParent, sub), interface);
      EXPECT_EQ(Relative(&DeviceTree::GetChild, sub), 0u);
    }
  }
  const std::vector<std::string> expected{
      "USB\\VID_F1A1&PID_0101&MI_00\\1-1.2:1.0", "TTY\\VID_F1A1&PID_0101&MI_00\\ttyUSB0",
      "MODEM\\VID_F1A1&PID_0101&MI_00\\ttyUSB0", "USB\\VID_F1A1&PID_0101&MI_01\\1-1.2:1.1",
      "TTY\\VID_F1A1&PID_0101&MI_01\\ttyUSB1",   "MODEM\\VID_F1A1&PID_0101&MI_01\\ttyUSB1",
      "USB\\VID_F1A1&PID_0101&MI_02\\1-1.2:1.2", "TTY\\VID_F1A1&PID_0101&MI_02\\ttyUSB2",
      "MODEM\\VID_F1A1&PID_0101&MI_02\\ttyUSB2", "USB\\VID_F1A1&PID_0101&MI_04\\1-1.2:1.4",
      "NET\\VID_F1A1&PID_0101&MI_04\\wwan0"};
  EXPECT_EQ(walked, expected);
  EXPECT_EQ(Relative(&DeviceTree::GetParent, card), 0u);
  EXPECT_EQ(Relative(&DeviceTree::GetSibling, card), 0u);
}

TEST_F(SysfsDeviceTreeTest, StartedOnlyWithABoundDriver) {
  const std::string card = fixture_.AddUsbDevice(DataCard());
  const std::vector<DEVINST> usb = OfEnumerator("USB");
  const DEVINST net_interface = usb.at(4);
  const DEVINST net = OfClass(kDeviceClassNet).at(0);
  struct Row {
    const char* driver;
    uint32_t status;
    uint32_t problem;
    uint32_t driver_key;
  } rows[] = {
      {"qmi_wwan", DN_DRIVER_LOADED | DN_STARTED, 0, kErrorSuccess},
      {"", DN_HAS_PROBLEM, CM_PROB_NOT_CONFIGURED, kErrorFileNotFound},
      {"qmi_wwan", DN_DRIVER_LOADED | DN_STARTED, 0, kErrorSuccess},
  };
  for (const Row& row : rows) {
    fixture_.SetDriver(card + "/1-1.2:1.4", row.driver);
    for (DEVINST node : {net_interface, net}) {
      uint32_t status = 0;
      uint32_t problem = 0;
      ASSERT_EQ(tree_.GetStatus(node, status, problem), kErrorSuccess);
      EXPECT_EQ(status, row.status) << "driver '" << row.driver << "'";
      EXPECT_EQ(problem, row.problem);
      EXPECT_EQ(tree_.OpenDeviceKey(node, DeviceKeyKind::Driver), row.driver_key);
      EXPECT_EQ(tree_.OpenDeviceKey(node, DeviceKeyKind::Device), kErrorSuccess);
    }
  }
}

TEST_F(SysfsDeviceTreeTest, RemovedCardsNodesAreGoneForGood) {
  fixture_.AddUsbDevice(DataCard());
  std::vector<DEVINST> before = OfEnumerator("USB");
  for (DEVINST node : OfClass(kDeviceClassModem)) before.push_back(node);
  fixture_.RemoveUsbDevice("1-1.2");

  for (DEVINST node : before) {
    uint32_t status = 0;
    uint32_t problem = 0;
    DEVINST other = 0;
    DevicePropertyValue value;
    std::u16string id;
    EXPECT_EQ(tree_.GetStatus(node, status, problem), kErrorDevNotExist);
    EXPECT_EQ(tree_.GetProperty(node, DeviceProperty::HardwareId, value), kErrorDevNotExist);
    EXPECT_EQ(tree_.GetParent(node, other), kErrorDevNotExist);
    EXPECT_EQ(tree_.GetDeviceId(node, id), kErrorDevNotExist);
  }
  EXPECT_TRUE(OfEnumerator("USB").empty());
  EXPECT_TRUE(OfClass(kDeviceClassModem).empty());

  // Plugged back: the same device, new numbers.
  fixture_.AddUsbDevice(DataCard());
  const std::vector<DEVINST> after = OfEnumerator("USB");
  ASSERT_EQ(after.size(), 5u);
  for (DEVINST node : after) {
    EXPECT_EQ(std::count(before.begin(), before.end(), node), 0) << "number " << node << " reused";
  }
}

TEST_F(SysfsDeviceTreeTest, InterfaceClassFollowsItsFunctions) {
  SysfsFixture::UsbDevice device;
  device.vendor = 0x1234;
  device.product = 0x5678;
  // CDC-ACM with AT commands: a modem.
  device.interfaces.push_back(Interface(0, "cdc_acm"));
  device.interfaces.back().ttys = {"ttyACM0"};
  // CDC-ACM without a protocol: a port only.
  device.interfaces.push_back(Interface(1, "cdc_acm"));
  device.interfaces.back().ttys = {"ttyACM1"};
  for (size_t i : {0, 1}) {
    device.interfaces[i].interface_class = 2;
    device.interfaces[i].interface_subclass = 2;
    device.interfaces[i].interface_protocol = i == 0 ? 1 : 0;
  }
  // One vendor interface with a serial port and a network interface.
  device.interfaces.push_back(Interface(2, "option"));
  device.interfaces.back().serial_ttys = {"ttyUSB5"};
  device.interfaces.back().nets = {"wwan1"};
  // Nothing bound: no class at all.
  device.interfaces.push_back(Interface(3, ""));
  fixture_.AddUsbDevice(device);
  struct Row {
    const char* interface;
    const char* class_guid;
    size_t modems;
  } rows[] = {
      {"USB\\VID_1234&PID_5678&MI_00\\1-1:1.0", "{4D36E96D-E325-11CE-BFC1-08002BE10318}", 1},
      {"USB\\VID_1234&PID_5678&MI_01\\1-1:1.1", "{4D36E978-E325-11CE-BFC1-08002BE10318}", 0},
      {"USB\\VID_1234&PID_5678&MI_02\\1-1:1.2", "{4D36E971-E325-11CE-BFC1-08002BE10318}", 1},
      {"USB\\VID_1234&PID_5678&MI_03\\1-1:1.3", "<none>", 0},
  };
  for (const Row& row : rows) EXPECT_EQ(ClassGuid(row.interface), row.class_guid) << row.interface;
  const std::vector<DEVINST> modems = OfClass(kDeviceClassModem);
  ASSERT_EQ(modems.size(), 2u);
  EXPECT_EQ(Key(modems[0], DeviceKeyKind::Device, u"PortName"), "ttyACM0");
  EXPECT_EQ(Key(modems[1], DeviceKeyKind::Device, u"PortName"), "ttyUSB5");
  // No serial number: the instance ID ends in the bus-port name.
  EXPECT_EQ(Id(OfEnumerator("USB").at(0)), "USB\\VID_1234&PID_5678\\1-1");
}

TEST_F(SysfsDeviceTreeTest, DescriptionFromUdevWhenTheDeviceHasNone) {
  SysfsFixture::UsbDevice device;
  device.vendor = 0x1234;
  device.product = 0x5678;
  device.udev_model = "Example Modem";
  fixture_.AddUsbDevice(device);
  device.name = "2-1";
  device.udev_model.clear();
  fixture_.AddUsbDevice(device);
  const std::vector<DEVINST> usb = OfEnumerator("USB");
  ASSERT_EQ(usb.size(), 2u);
  EXPECT_EQ(Property(usb[0], DeviceProperty::DeviceDesc),
            std::vector<std::string>{"Example Modem"});
  EXPECT_EQ(Property(usb[1], DeviceProperty::DeviceDesc), std::vector<std::string>{"<none>"});
  EXPECT_EQ(Property(usb[1], DeviceProperty::FriendlyName), std::vector<std::string>{"<none>"});
}

TEST_F(SysfsDeviceTreeTest, PciModemMatchedByClass) {
  SysfsFixture::PciDevice modem;
  modem.name = "0000:03:00.0";
  modem.vendor = 0x8086;
  modem.device = 0x1c3d;
  modem.subsystem_vendor = 0x17aa;
  modem.subsystem_device = 0x21cf;
  modem.class_code = 0x070300;
  modem.revision = 0x04;
  modem.driver = "serial";
  modem.ttys = {"ttyS4"};
  fixture_.AddPciDevice(modem);
  const std::vector<DEVINST> pci = OfEnumerator("PCI");
  ASSERT_EQ(pci.size(), 1u);
  const std::vector<std::string> expected{
      "PCI\\VEN_8086&DEV_1C3D&SUBSYS_21CF17AA&REV_04", "PCI\\VEN_8086&DEV_1C3D&SUBSYS_21CF17AA",
      "PCI\\VEN_8086&DEV_1C3D&CC_070300", "PCI\\VEN_8086&DEV_1C3D"};
  EXPECT_EQ(Property(pci[0], DeviceProperty::HardwareId), expected);
  EXPECT_EQ(Id(pci[0]), "PCI\\VEN_8086&DEV_1C3D&SUBSYS_21CF17AA&REV_04\\0000:03:00.0");
  const std::vector<DEVINST> modems = OfClass(kDeviceClassModem);
  ASSERT_EQ(modems.size(), 1u);
  EXPECT_EQ(Property(modems[0], DeviceProperty::FriendlyName),
            std::vector<std::string>{"PCI\\VEN_8086&DEV_1C3D&SUBSYS_21CF17AA (ttyS4)"});
  EXPECT_EQ(Relative(&DeviceTree::GetParent, modems[0]), pci[0]);
  EXPECT_TRUE(OfEnumerator("USB").empty());
}

TEST_F(SysfsDeviceTreeTest, PcCardIdsAndItsModem) {
  SysfsFixture::PcmciaDevice card;
  card.manufacturer = 0x0192;
  card.card = 0x0710;
  card.vendor_text = "Vombel Wireless";
  card.product_text = "PC Card 3G";
  card.driver = "serial_cs";
  card.ttys = {"ttyS1"};
  fixture_.AddPcmciaDevice(card);
  card.name = "1.0";
  card.vendor_text.clear();
  card.ttys.clear();
  fixture_.AddPcmciaDevice(card);

  const std::vector<DEVINST> cards = OfEnumerator("PCMCIA");
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(Property(cards[0], DeviceProperty::HardwareId),
            (std::vector<std::string>{"PCMCIA\\Vombel_Wireless-PC_Card_3G",
                                      "PCMCIA\\MANF_0192&CARD_0710"}));
  EXPECT_EQ(Property(cards[1], DeviceProperty::HardwareId),
            std::vector<std::string>{"PCMCIA\\MANF_0192&CARD_0710"});
  EXPECT_EQ(Id(cards[0]), "PCMCIA\\MANF_0192&CARD_0710\\0.0");
  EXPECT_EQ(Id(cards[1]), "PCMCIA\\MANF_0192&CARD_0710\\1.0");
  // A PC card's tty is its modem.
  const std::vector<DEVINST> modems = OfClass(kDeviceClassModem);
  ASSERT_EQ(modems.size(), 1u);
  EXPECT_EQ(Property(modems[0], DeviceProperty::FriendlyName),
            std::vector<std::string>{"PCMCIA\\MANF_0192&CARD_0710 (ttyS1)"});
  EXPECT_EQ(Relative(&DeviceTree::GetParent, modems[0]), cards[0]);
}

TEST_F(SysfsDeviceTreeTest, DriverVersionFromTheModuleElseTheKernel) {
  const std::string card = fixture_.AddUsbDevice(DataCard());
  utsname names{};
  ASSERT_EQ(::uname(&names), 0);
  const std::optional<uint64_t> kernel = ParseVersionNumbers(names.release);
  ASSERT_TRUE(kernel.has_value()) << names.release;
  const DEVINST net = OfClass(kDeviceClassNet).at(0);
  const DEVINST port = OfClass(kDeviceClassPorts).at(0);
  struct Row {
    const char* module_version;  // of qmi_wwan; nullptr: none
    uint64_t expected;
  } rows[] = {
      {nullptr, *kernel},
      {"1.5", 0x0001000500000000},
      {"2.2.1.7", 0x0002000200010007},
      {"garbage", *kernel},
  };
  for (const Row& row : rows) {
    if (row.module_version) fixture_.SetModuleVersion("qmi_wwan", row.module_version);
    uint64_t version = 0;
    ASSERT_EQ(tree_.GetCompatibleDriverVersion(net, version), kErrorSuccess);
    EXPECT_EQ(version, row.expected) << (row.module_version ? row.module_version : "none");
  }
  // A USB serial port's version is its serial driver's module's.
  fixture_.SetModuleVersion("option1", "3.4");
  uint64_t version = 0;
  ASSERT_EQ(tree_.GetCompatibleDriverVersion(port, version), kErrorSuccess);
  EXPECT_EQ(version, 0x0003000400000000u);

  fixture_.SetDriver(card + "/1-1.2:1.4", "");
  EXPECT_EQ(tree_.GetCompatibleDriverVersion(OfEnumerator("USB").at(4), version),
            kErrorFileNotFound);
}

TEST_F(SysfsDeviceTreeTest, DeviceNamesLiveUnderTheDevRoot) {
  fixture_.AddUsbDevice(DataCard());
  const std::string dev = fixture_.Roots().dev;
  EXPECT_EQ(tree_.DevicePath(u"\\\\.\\ttyUSB2"), dev + "/ttyUSB2");
  EXPECT_EQ(tree_.DevicePath(u"\\\\.\\/dev/ttyS0"), "/dev/ttyS0");
  EXPECT_EQ(tree_.DevicePath(u"COM3"), "COM3");

  std::unique_ptr<DeviceFile> file;
  EXPECT_EQ(tree_.OpenDevice(u"\\\\.\\ttyUSB2", kDeviceAccessNone, file), kErrorSuccess);
  ASSERT_NE(file, nullptr);
  uint8_t out[96];
  uint32_t returned = 7;
  EXPECT_EQ(file->IoControl(0x1B2840, {}, out, returned), kErrorInvalidFunction);
  EXPECT_EQ(returned, 0u);

  std::unique_ptr<DeviceFile> held;
  EXPECT_EQ(tree_.OpenDevice(u"\\\\.\\ttyUSB2", kGenericRead | kGenericWrite, held), kErrorSuccess);
  std::unique_ptr<DeviceFile> second;
  EXPECT_EQ(tree_.OpenDevice(u"\\\\.\\ttyUSB2", kGenericRead | kGenericWrite, second),
            kErrorAccessDenied);
  EXPECT_EQ(second, nullptr);
  held.reset();
  EXPECT_EQ(tree_.OpenDevice(u"\\\\.\\ttyUSB2", kGenericRead | kGenericWrite, second),
            kErrorSuccess);

  for (uint32_t access : {kDeviceAccessNone, kGenericRead | kGenericWrite}) {
    EXPECT_EQ(tree_.OpenDevice(u"\\\\.\\VLNDIS0", access, file), kErrorFileNotFound);
    EXPECT_EQ(file, nullptr);
  }
}

// The machine's own sysfs, whatever it holds (containers may have no USB bus
// at all): nothing fails, nothing crashes, and every node listed reads.
TEST(SysfsDeviceTreeSystemTest, MachineTreeReads) {
  DeviceTree& tree = SystemDeviceTree();
  for (std::string_view enumerator : {kEnumeratorUsb, kEnumeratorPci, kEnumeratorPcmcia}) {
    std::vector<DEVINST> nodes;
    EXPECT_EQ(tree.PresentDevicesOfEnumerator(enumerator, nodes), kErrorSuccess) << enumerator;
    for (DEVINST node : nodes) {
      std::u16string id;
      const uint32_t error = tree.GetDeviceId(node, id);
      EXPECT_TRUE(error == kErrorSuccess || error == kErrorDevNotExist) << error;
      if (error == kErrorSuccess) {
        EXPECT_TRUE(id.starts_with(Utf8ToUtf16(enumerator))) << Utf16ToUtf8(id);
      }
    }
  }
  for (std::string_view guid :
       {kDeviceClassModem, kDeviceClassPorts, kDeviceClassNet, kDeviceClassSmartCardReader}) {
    std::vector<DEVINST> nodes;
    EXPECT_EQ(tree.PresentDevicesOfClass(guid, nodes), kErrorSuccess) << guid;
  }
}

}  // namespace
}  // namespace platform

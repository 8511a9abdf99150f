#include "tests/support/sysfs_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace testing_support {
namespace {

namespace fs = std::filesystem;

void MakeDirs(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  if (error) ADD_FAILURE() << "cannot make " << path << ": " << error.message();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

void Link(const std::string& target, const std::string& link) {
  std::error_code error;
  fs::remove(link, error);
  fs::create_directory_symlink(target, link, error);
  if (error) ADD_FAILURE() << "cannot link " << link << ": " << error.message();
}

std::string Hex(uint32_t value, int digits, bool prefix = false) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, prefix ? "0x%0*x\n" : "%0*x\n", digits, value);
  return buffer;
}

}  // namespace

SysfsFixture::SysfsFixture() : dir_("vombel-sysfs") {
  for (const char* bus : {"usb", "pci", "pcmcia", "usb-serial"}) {
    MakeDirs(Sys(std::string("/bus/") + bus + "/devices"));
    MakeDirs(Sys(std::string("/bus/") + bus + "/drivers"));
  }
  MakeDirs(Sys("/devices/usb"));
  MakeDirs(Sys("/devices/pci0000:00"));
  MakeDirs(Root() + "/dev");
  MakeDirs(Root() + "/udev");
}

platform::SysfsDeviceTree::Roots SysfsFixture::Roots() const {
  return {Sys(), Root() + "/dev", Root() + "/udev"};
}

void SysfsFixture::SetDriver(const std::string& folder, const std::string& driver) {
  std::error_code error;
  fs::remove(folder + "/driver", error);
  if (driver.empty()) return;
  const std::string bus = fs::read_symlink(folder + "/subsystem", error).filename();
  const std::string driver_dir = Sys("/bus/" + bus + "/drivers/" + driver);
  MakeDirs(driver_dir);
  MakeDirs(Sys("/module/" + driver));
  if (!fs::is_symlink(driver_dir + "/module"))
    Link(Sys("/module/" + driver), driver_dir + "/module");
  Link(driver_dir, folder + "/driver");
}

void SysfsFixture::SetModuleVersion(const std::string& module, const std::string& version) {
  MakeDirs(Sys("/module/" + module));
  WriteText(Sys("/module/" + module + "/version"), version + "\n");
}

void SysfsFixture::AddTty(const std::string& holder, const std::string& name) {
  const std::string dir = holder + "/tty/" + name;
  MakeDirs(dir);
  const int minor = next_minor_++;
  WriteText(dir + "/dev", "188:" + std::to_string(minor) + "\n");
  WriteText(dir + "/uevent",
            "MAJOR=188\nMINOR=" + std::to_string(minor) + "\nDEVNAME=" + name + "\n");
  WriteText(Root() + "/dev/" + name, "");
}

void SysfsFixture::LinkDevNode(const std::string& name, const std::string& target) {
  const std::string link = Root() + "/dev/" + name;
  std::error_code error;
  fs::remove(link, error);
  fs::create_symlink(target, link, error);
  if (error) ADD_FAILURE() << "cannot link " << link << ": " << error.message();
}

void SysfsFixture::AddNet(const std::string& holder, const std::string& name) {
  const std::string dir = holder + "/net/" + name;
  MakeDirs(dir);
  WriteText(dir + "/uevent", "INTERFACE=" + name + "\nIFINDEX=3\n");
}

std::string SysfsFixture::AddUsbDevice(const UsbDevice& device) {
  const std::string dir = Sys("/devices/usb/" + device.name);
  MakeDirs(dir);
  Link(Sys("/bus/usb"), dir + "/subsystem");
  Link(dir, Sys("/bus/usb/devices/" + device.name));
  WriteText(dir + "/idVendor", Hex(device.vendor, 4));
  WriteText(dir + "/idProduct", Hex(device.product, 4));
  WriteText(dir + "/bcdDevice", Hex(device.revision, 4));
  if (!device.serial.empty()) WriteText(dir + "/serial", device.serial + "\n");
  if (!device.product_text.empty()) WriteText(dir + "/product", device.product_text + "\n");
  const int minor = next_minor_++;
  const std::string dev_number = "189:" + std::to_string(minor);
  WriteText(dir + "/dev", dev_number + "\n");
  WriteText(dir + "/uevent", "MAJOR=189\nMINOR=" + std::to_string(minor) +
                                 "\nDEVNAME=bus/usb/001/" + std::to_string(minor + 1) +
                                 "\nDEVTYPE=usb_device\n");
  if (!device.udev_model.empty()) {
    WriteText(Root() + "/udev/c" + dev_number,
              "I:1234\nE:ID_VENDOR_FROM_DATABASE=Nobody\nE:ID_MODEL_FROM_DATABASE=" +
                  device.udev_model + "\nG:seat\n");
  }
  SetDriver(dir, device.driver);
  for (const UsbInterface& interface : device.interfaces) {
    const std::string name = device.name + ":1." + std::to_string(interface.number);
    const std::string iface = dir + "/" + name;
    MakeDirs(iface);
    Link(Sys("/bus/usb"), iface + "/subsystem");
    Link(iface, Sys("/bus/usb/devices/" + name));
    WriteText(iface + "/bInterfaceNumber", Hex(interface.number, 2));
    WriteText(iface + "/bInterfaceClass", Hex(interface.interface_class, 2));
    WriteText(iface + "/bInterfaceSubClass", Hex(interface.interface_subclass, 2));
    WriteText(iface + "/bInterfaceProtocol", Hex(interface.interface_protocol, 2));
    MakeDirs(iface + "/power");
    SetDriver(iface, interface.driver);
    for (const std::string& tty : interface.serial_ttys) {
      const std::string port = iface + "/" + tty;
      MakeDirs(port);
      Link(Sys("/bus/usb-serial"), port + "/subsystem");
      SetDriver(port, interface.serial_driver);
      AddTty(port, tty);
    }
    for (const std::string& tty : interface.ttys) AddTty(iface, tty);
    for (const std::string& net : interface.nets) AddNet(iface, net);
  }
  return dir;
}

std::string SysfsFixture::AddPciDevice(const PciDevice& device) {
  const std::string dir = Sys("/devices/pci0000:00/" + device.name);
  MakeDirs(dir);
  Link(Sys("/bus/pci"), dir + "/subsystem");
  Link(dir, Sys("/bus/pci/devices/" + device.name));
  WriteText(dir + "/vendor", Hex(device.vendor, 4, true));
  WriteText(dir + "/device", Hex(device.device, 4, true));
  WriteText(dir + "/subsystem_vendor", Hex(device.subsystem_vendor, 4, true));
  WriteText(dir + "/subsystem_device", Hex(device.subsystem_device, 4, true));
  WriteText(dir + "/class", Hex(device.class_code, 6, true));
  WriteText(dir + "/revision", Hex(device.revision, 2, true));
  WriteText(dir + "/uevent", "PCI_SLOT_NAME=" + device.name + "\n");
  SetDriver(dir, device.driver);
  for (const std::string& tty : device.ttys) AddTty(dir, tty);
  for (const std::string& net : device.nets) AddNet(dir, net);
  return dir;
}

std::string SysfsFixture::AddPcmciaDevice(const PcmciaDevice& device) {
  const std::string dir = Sys("/devices/pcmcia_socket0/" + device.name);
  MakeDirs(dir);
  Link(Sys("/bus/pcmcia"), dir + "/subsystem");
  Link(dir, Sys("/bus/pcmcia/devices/" + device.name));
  WriteText(dir + "/manf_id", Hex(device.manufacturer, 4, true));
  WriteText(dir + "/card_id", Hex(device.card, 4, true));
  if (!device.vendor_text.empty()) WriteText(dir + "/prod_id1", device.vendor_text + "\n");
  if (!device.product_text.empty()) WriteText(dir + "/prod_id2", device.product_text + "\n");
  SetDriver(dir, device.driver);
  for (const std::string& tty : device.ttys) AddTty(dir, tty);
  return dir;
}

void SysfsFixture::RemoveUsbDevice(const std::string& name) {
  const std::string dir = Sys("/devices/usb/" + name);
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(Sys("/bus/usb/devices"), error)) {
    const std::string link = entry.path().filename();
    if (link == name || link.starts_with(name + ":")) fs::remove(entry.path(), error);
  }
  for (const auto& entry : fs::recursive_directory_iterator(dir, error)) {
    if (entry.path().parent_path().filename() == "tty") {
      fs::remove(Root() + "/dev/" + entry.path().filename().string(), error);
    }
  }
  fs::remove_all(dir, error);
  if (error) ADD_FAILURE() << "cannot remove " << dir << ": " << error.message();
}

}  // namespace testing_support

// A fake /sys, /dev and udev database in a temporary folder, laid out as the
// kernel lays out the parts the sysfs device tree reads: bus device lists of
// links, device folders with their attribute files, "subsystem" and "driver"
// links, USB interfaces with their tty and network class devices, and kernel
// modules with versions. Devices can be added, bound, unbound and removed
// while a tree reads the fixture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sysfs_device_tree.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

class SysfsFixture {
 public:
  struct UsbInterface {
    uint8_t number = 0;
    uint8_t interface_class = 0xFF;  // vendor-specific
    uint8_t interface_subclass = 0xFF;
    uint8_t interface_protocol = 0xFF;
    std::string driver;                     // empty: no driver bound
    std::vector<std::string> serial_ttys;   // USB serial ports: ".../ttyUSB2/tty/ttyUSB2"
    std::string serial_driver = "option1";  // the USB serial driver of those ports
    std::vector<std::string> ttys;          // ttys of the interface itself (CDC-ACM)
    std::vector<std::string> nets;          // network interfaces
  };
  struct UsbDevice {
    std::string name = "1-1";  // the bus-port name
    uint16_t vendor = 0;
    uint16_t product = 0;
    uint16_t revision = 0;
    std::string serial;        // empty: no serial attribute
    std::string product_text;  // empty: no product attribute
    std::string udev_model;    // ID_MODEL_FROM_DATABASE; empty: no udev record
    std::string driver = "usb";
    std::vector<UsbInterface> interfaces;
  };
  struct PciDevice {
    std::string name = "0000:00:1c.0";
    uint16_t vendor = 0;
    uint16_t device = 0;
    uint16_t subsystem_vendor = 0;
    uint16_t subsystem_device = 0;
    uint32_t class_code = 0;
    uint8_t revision = 0;
    std::string driver;
    std::vector<std::string> ttys;
    std::vector<std::string> nets;
  };

  struct PcmciaDevice {
    std::string name = "0.0";  // socket.function
    uint16_t manufacturer = 0;
    uint16_t card = 0;
    std::string vendor_text;   // prod_id1; empty: none
    std::string product_text;  // prod_id2; empty: none
    std::string driver;
    std::vector<std::string> ttys;
  };

  SysfsFixture();

  // The roots a SysfsDeviceTree reads this fixture through.
  platform::SysfsDeviceTree::Roots Roots() const;
  const std::string& Root() const { return dir_.Path(); }

  // Each returns the device's folder. The device's ttys get a /dev entry.
  std::string AddUsbDevice(const UsbDevice& device);
  std::string AddPciDevice(const PciDevice& device);
  std::string AddPcmciaDevice(const PcmciaDevice& device);
  // Removes the device's folder, its bus links and its /dev entries.
  void RemoveUsbDevice(const std::string& name);

  // Makes the /dev entry of tty `name` a link to `target` (a pseudo-terminal's
  // slave side, which a test then plays the device on).
  void LinkDevNode(const std::string& name, const std::string& target);

  // Binds `driver` (module of the same name) to the device or interface in
  // `folder`; an empty name unbinds.
  void SetDriver(const std::string& folder, const std::string& driver);
  void SetModuleVersion(const std::string& module, const std::string& version);

 private:
  std::string Sys(const std::string& path = "") const { return Root() + "/sys" + path; }
  void AddTty(const std::string& holder, const std::string& name);
  void AddNet(const std::string& holder, const std::string& name);

  TempDir dir_;
  int next_minor_ = 0;
};

}  // namespace testing_support

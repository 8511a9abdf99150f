// The USB layouts of three common modems that no database entry names, as
// their `lsusb -v` and sysfs trees show them (tests/data/standard_cards/
// README.md says where each comes from), for SysfsFixture. Each row of
// `ports` says whether the real modem answers "AT" on that tty.
#pragma once

#include <string>
#include <vector>

#include "tests/support/sysfs_fixture.h"

namespace testing_support {

struct ModemPort {
  std::string tty;
  bool answers_at;
};

struct RealModemLayout {
  std::string name;
  SysfsFixture::UsbDevice device;
  std::vector<ModemPort> ports;  // in interface order
};

inline SysfsFixture::UsbInterface SerialInterface(uint8_t number, uint8_t subclass, uint8_t protocol,
                                                  std::string tty) {
  SysfsFixture::UsbInterface interface;
  interface.number = number;
  interface.interface_subclass = subclass;
  interface.interface_protocol = protocol;
  interface.driver = "option";
  interface.serial_driver = "option1";
  interface.serial_ttys = {std::move(tty)};
  return interface;
}

inline SysfsFixture::UsbInterface PlainInterface(uint8_t number, uint8_t cls, uint8_t subclass, uint8_t protocol,
                                                 std::string driver) {
  SysfsFixture::UsbInterface interface;
  interface.number = number;
  interface.interface_class = cls;
  interface.interface_subclass = subclass;
  interface.interface_protocol = protocol;
  interface.driver = std::move(driver);
  return interface;
}

// A Huawei stick in its modem configuration (12d1:1506): PCUI (AT), modem
// and diagnostics ports on the option driver, a CDC Ethernet function.
inline RealModemLayout HuaweiStick() {
  RealModemLayout layout{"huawei_1506", {}, {{"ttyUSB0", true}, {"ttyUSB1", true}, {"ttyUSB2", false}}};
  SysfsFixture::UsbDevice& d = layout.device;
  d.name = "1-1";
  d.vendor = 0x12D1;
  d.product = 0x1506;
  d.revision = 0x0102;
  d.product_text = "HUAWEI_MOBILE";
  d.interfaces = {SerialInterface(0, 0x02, 0x12, "ttyUSB0"), SerialInterface(1, 0x02, 0x10, "ttyUSB1"),
                  SerialInterface(2, 0x02, 0x13, "ttyUSB2"), PlainInterface(3, 0x02, 0x06, 0x00, "cdc_ether"),
                  PlainInterface(4, 0x0A, 0x00, 0x00, "cdc_ether")};
  d.interfaces[3].nets = {"eth1"};
  return layout;
}

// A Quectel LTE module (2c7c:0125): diagnostics, NMEA, AT and modem ports on
// interfaces 0 to 3, the QMI network function on interface 4.
inline RealModemLayout QuectelModule() {
  RealModemLayout layout{
      "quectel_0125", {}, {{"ttyUSB0", false}, {"ttyUSB1", false}, {"ttyUSB2", true}, {"ttyUSB3", true}}};
  SysfsFixture::UsbDevice& d = layout.device;
  d.name = "1-1.3";
  d.vendor = 0x2C7C;
  d.product = 0x0125;
  d.revision = 0x0318;
  d.product_text = "Android";
  d.interfaces = {SerialInterface(0, 0xFF, 0xFF, "ttyUSB0"), SerialInterface(1, 0x00, 0x00, "ttyUSB1"),
                  SerialInterface(2, 0x00, 0x00, "ttyUSB2"), SerialInterface(3, 0x00, 0x00, "ttyUSB3"),
                  PlainInterface(4, 0xFF, 0xFF, 0xFF, "qmi_wwan")};
  d.interfaces[4].nets = {"wwan0"};
  return layout;
}

// A CDC-ACM modem (04cc:2259-like): mass storage, then three ACM functions,
// the first two with the AT command protocol; only the first answers until
// it is dialled on.
inline RealModemLayout AcmModem() {
  RealModemLayout layout{"acm_modem", {}, {{"ttyACM0", true}, {"ttyACM1", false}, {"ttyACM2", false}}};
  SysfsFixture::UsbDevice& d = layout.device;
  d.name = "2-1";
  d.vendor = 0x04CC;
  d.product = 0x2259;
  d.revision = 0x0100;
  d.product_text = "NexperiaTM System Solution";
  auto acm = [](uint8_t number, uint8_t protocol, std::string tty) {
    SysfsFixture::UsbInterface interface = PlainInterface(number, 0x02, 0x02, protocol, "cdc_acm");
    interface.ttys = {std::move(tty)};
    return interface;
  };
  d.interfaces = {PlainInterface(0, 0x08, 0x06, 0x50, "usb-storage"),
                  acm(1, 0x01, "ttyACM0"),
                  PlainInterface(2, 0x0A, 0x00, 0x00, "cdc_acm"),
                  acm(3, 0x01, "ttyACM1"),
                  PlainInterface(4, 0x0A, 0x00, 0x00, "cdc_acm"),
                  acm(5, 0x00, "ttyACM2"),
                  PlainInterface(6, 0x0A, 0x00, 0x00, "cdc_acm")};
  return layout;
}

}  // namespace testing_support

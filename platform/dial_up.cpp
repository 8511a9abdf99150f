#include "platform/dial_up.h"

#include <atomic>
#include <vector>

#include "platform/codepage.h"
#include "platform/device_tree.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

std::atomic<DialUpService*> g_current{nullptr};

std::u16string FromOem(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(kCpOemCp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::u16string wide(static_cast<size_t>(length), u'\0');
  MultiByteToWideChar(kCpOemCp, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

}  // namespace

const char* DialUpErrorText(uint32_t error) {
  switch (error) {
    case kRasErrorPortDisconnected:
      return "The connection was closed: the card or the network ended the call.";
    case kRasErrorCannotFindPhonebookEntry:
      return "The connection entry does not exist.";
    case kRasErrorCannotLoadPhonebook:
      return "The folder of the connection entries cannot be read or written.";
    case kRasErrorPortNotAvailable:
      return "The card's modem port is in use by another program.";
    case kRasErrorDeviceNotFound:
      return "The card's modem was not found. Is the card plugged in?";
    case kRasErrorFromDevice:
      return "The card refused to dial. Check that the card is registered for data.";
    case kRasErrorNoAnswer:
      return "The card did not answer the dial command.";
    case kRasErrorAuthenticationFailure:
      return "The network refused the user name or password.";
    case kRasErrorPppTimeout:
      return "The data connection did not come up in time.";
    case kRasErrorProtocolNotConfigured:
      return "The data connection has no IP address yet.";
    case kRasErrorInvalidSize:
      return "A record passed to the dial-up service has the wrong size.";
    case kDialUpErrorPppdMissing:
      return "pppd is not installed. Install the \"ppp\" package.";
    case kDialUpErrorPppdNotPermitted:
      return "You may not start pppd. Add your user to the \"dip\" group and log in again.";
    case kDialUpErrorNoKernelPpp:
      return "This system's kernel has no PPP support (/dev/ppp is missing).";
    case kDialUpErrorPppdFailed:
      return "pppd could not make the connection; the log says why.";
    case kDialUpErrorNotInstalled:
      return "The program's pppd options under /etc/ppp are missing. Reinstall the program.";
    case kDialUpErrorPortNotPermitted:
      return "You may not use the card's modem port. Add your user to the \"dialout\" group and log in again.";
    case kErrorInvalidHandle:
      return "There is no such connection.";
    default:
      return nullptr;
  }
}

DialUpService& CurrentDialUpService() {
  DialUpService* service = g_current.load(std::memory_order_acquire);
  return service ? *service : SystemDialUpService();
}

ScopedDialUpService::ScopedDialUpService(DialUpService& service)
    : previous_(g_current.exchange(&service, std::memory_order_acq_rel)) {}

ScopedDialUpService::~ScopedDialUpService() { g_current.store(previous_, std::memory_order_release); }

std::string FindModemPort(std::u16string_view modem_name) {
  if (modem_name.empty()) return {};
  DeviceTree& tree = CurrentDeviceTree();
  std::vector<DEVINST> nodes;
  if (tree.PresentDevicesOfClass(kDeviceClassModem, nodes) != kErrorSuccess) return {};
  for (DEVINST node : nodes) {
    DevicePropertyValue name;
    if (tree.GetProperty(node, DeviceProperty::FriendlyName, name) != kErrorSuccess || name.texts.empty()) continue;
    if (FromOem(name.texts.front()) != modem_name) continue;
    std::u16string port;
    if (tree.ReadDeviceKeyString(node, DeviceKeyKind::Device, u"PortName", port) != kErrorSuccess || port.empty()) {
      continue;
    }
    // A port name is a device name ("ttyUSB0" or "\\.\ttyUSB0") or a path.
    if (!port.starts_with(u'/') && !port.starts_with(kDeviceNamespacePrefix)) {
      port = std::u16string(kDeviceNamespacePrefix) + port;
    }
    return tree.DevicePath(port);
  }
  return {};
}

}  // namespace platform

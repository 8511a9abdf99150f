#include "platform/linux_ip_helper.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>

#include "platform/net_interface_text.h"
#include "platform/sysfs_file.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

struct IfAddrsDeleter {
  void operator()(ifaddrs* list) const { ::freeifaddrs(list); }
};

// An attribute file's whole text; empty when it cannot be read (the
// interface went away meanwhile, or the attribute does not exist).
std::string ReadAttribute(const std::string& path) { return ReadSysfsFile(path).value_or(std::string()); }

std::string Dotted(uint32_t network_order) {
  char text[INET_ADDRSTRLEN] = "0.0.0.0";
  in_addr address{};
  address.s_addr = network_order;
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

uint32_t Ipv4Of(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return 0;
  return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
}

}  // namespace

struct LinuxIpHelper::Interface {
  std::string name;
  uint32_t index = 0;
  unsigned flags = 0;
  struct Address {
    uint32_t address;
    uint32_t mask;
  };
  std::vector<Address> ipv4;  // in the order getifaddrs lists them
};

LinuxIpHelper::LinuxIpHelper(std::string sys_class_net) : sys_class_net_(std::move(sys_class_net)) {}

bool LinuxIpHelper::Interfaces(std::vector<Interface>& interfaces) const {
  interfaces.clear();
  ifaddrs* raw = nullptr;
  if (::getifaddrs(&raw) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  const std::unique_ptr<ifaddrs, IfAddrsDeleter> list(raw);
  for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    auto it = std::find_if(interfaces.begin(), interfaces.end(),
                           [&](const Interface& i) { return i.name == entry->ifa_name; });
    if (it == interfaces.end()) {
      const uint32_t index = ::if_nametoindex(entry->ifa_name);
      if (index == 0) continue;  // gone between the two calls
      it = interfaces.insert(interfaces.end(), Interface{entry->ifa_name, index, entry->ifa_flags, {}});
    }
    if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
      it->ipv4.push_back({Ipv4Of(entry->ifa_addr), Ipv4Of(entry->ifa_netmask)});
    }
  }
  std::sort(interfaces.begin(), interfaces.end(),
            [](const Interface& a, const Interface& b) { return a.index < b.index; });
  return true;
}

IfRow LinuxIpHelper::RowOf(const Interface& interface) const {
  const std::string folder = sys_class_net_ + "/" + interface.name;
  IfRow row;
  row.Name = interface.name;
  row.Index = interface.index;
  row.Type = InterfaceTypeFromText(ReadAttribute(folder + "/type"));
  const bool running = (interface.flags & IFF_UP) != 0 && (interface.flags & IFF_RUNNING) != 0;
  row.OperStatus = OperStatusFromText(ReadAttribute(folder + "/operstate"), running);
  row.InOctets = ParseCounterText(ReadAttribute(folder + "/statistics/rx_bytes")).value_or(0);
  row.OutOctets = ParseCounterText(ReadAttribute(folder + "/statistics/tx_bytes")).value_or(0);
  return row;
}

uint32_t LinuxIpHelper::GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters) {
  adapters.clear();
  std::vector<Interface> interfaces;
  if (!Interfaces(interfaces)) return GetLastError();
  for (const Interface& interface : interfaces) {
    if ((interface.flags & IFF_LOOPBACK) != 0) continue;
    IpAdapterInfo info;
    info.AdapterName = interface.name;
    info.Description = interface.name;
    info.Index = interface.index;
    info.Type = RowOf(interface).Type;
    // See the header: point-to-point links negotiate their address.
    info.DhcpEnabled = (interface.flags & IFF_POINTOPOINT) == 0;
    const bool has_address = !interface.ipv4.empty();
    info.IpAddress = has_address ? Dotted(interface.ipv4.front().address) : "0.0.0.0";
    info.IpMask = has_address ? Dotted(interface.ipv4.front().mask) : "0.0.0.0";
    adapters.push_back(std::move(info));
  }
  return adapters.empty() ? kErrorNoData : kErrorSuccess;
}

uint32_t LinuxIpHelper::GetIpAddrTable(std::vector<IpAddrRow>& rows) {
  rows.clear();
  std::vector<Interface> interfaces;
  if (!Interfaces(interfaces)) return GetLastError();
  for (const Interface& interface : interfaces) {
    for (const auto& a : interface.ipv4) rows.push_back({a.address, interface.index, a.mask});
  }
  return kErrorSuccess;
}

uint32_t LinuxIpHelper::GetIfTable(std::vector<IfRow>& rows) {
  rows.clear();
  std::vector<Interface> interfaces;
  if (!Interfaces(interfaces)) return GetLastError();
  for (const Interface& interface : interfaces) rows.push_back(RowOf(interface));
  return kErrorSuccess;
}

uint32_t LinuxIpHelper::GetIfEntry(uint32_t index, IfRow& row) {
  std::vector<Interface> interfaces;
  if (!Interfaces(interfaces)) return GetLastError();
  for (const Interface& interface : interfaces) {
    if (interface.index == index) {
      row = RowOf(interface);
      return kErrorSuccess;
    }
  }
  return kErrorInvalidParameter;
}

IpHelper& SystemIpHelper() {
  static LinuxIpHelper helper;
  return helper;
}

}  // namespace platform

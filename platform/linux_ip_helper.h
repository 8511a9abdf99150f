// The IP helper of the running system: the interfaces and their IPv4
// addresses from getifaddrs, their indices from if_nametoindex, their type,
// operational state and byte counters from /sys/class/net/<interface>/.
//
// Linux keeps no per-adapter DHCP flag (the address may come from
// NetworkManager, systemd-networkd, dhclient, ModemManager or a script), so
// DhcpEnabled follows how an adapter gets its address: an adapter with a
// broadcast link (wired, wireless, and the cards' WWAN adapters) counts as
// DHCP-configured, one with a point-to-point link (ppp, where the link
// itself negotiates the address) does not. That is what the callers need:
// a DHCP adapter is only usable once it has an address, and a statically
// configured broadcast adapter has its address from the start, so taking it
// for DHCP never makes it look unusable.
#pragma once

#include <string>

#include "platform/ip_helper.h"

namespace platform {

class LinuxIpHelper final : public IpHelper {
 public:
  // `sys_class_net` is the folder holding one folder per interface.
  explicit LinuxIpHelper(std::string sys_class_net = "/sys/class/net");

  uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters) override;
  uint32_t GetIpAddrTable(std::vector<IpAddrRow>& rows) override;
  uint32_t GetIfTable(std::vector<IfRow>& rows) override;
  uint32_t GetIfEntry(uint32_t index, IfRow& row) override;

 private:
  struct Interface;
  // Every interface getifaddrs knows, in index order; false with the last
  // error set when it fails.
  bool Interfaces(std::vector<Interface>& interfaces) const;
  IfRow RowOf(const Interface& interface) const;

  std::string sys_class_net_;
};

}  // namespace platform

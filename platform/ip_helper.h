// The IP helper: the system's network adapters with their DHCP flag and
// first IPv4 address, the IPv4 address table and the interface entries
// (type, operational state, byte counters).
//
// Backends: the Linux one reads getifaddrs, if_nametoindex and
// /sys/class/net; `SimIpHelper` holds the simulated adapters, whose
// addresses the simulated drivers and dial-up service set and clear.
// CurrentIpHelper() is the one the program uses. Every call may be made
// from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One adapter (IP_ADAPTER_INFO, reduced to what callers read). The name is
// the adapter's identifier: on this system the interface name ("wwan0"),
// which is also what the card's network node gives as NetCfgInstanceId.
struct IpAdapterInfo {
  std::string AdapterName;
  std::string Description;
  uint32_t Index = 0;
  uint32_t Type = 0;         // MIB_IF_TYPE_*
  bool DhcpEnabled = false;
  std::string IpAddress;     // the first IPv4 address, "0.0.0.0" when none
  std::string IpMask;        // likewise
};

// One row of the IPv4 address table (MIB_IPADDRROW). Addresses are in
// network byte order, as inet_addr gives them.
struct IpAddrRow {
  uint32_t dwAddr = 0;
  uint32_t dwIndex = 0;
  uint32_t dwMask = 0;
};

inline constexpr uint32_t MIB_IF_TYPE_OTHER = 1;
inline constexpr uint32_t MIB_IF_TYPE_ETHERNET = 6;
inline constexpr uint32_t MIB_IF_TYPE_PPP = 23;
inline constexpr uint32_t MIB_IF_TYPE_LOOPBACK = 24;

inline constexpr uint32_t IF_OPER_STATUS_NON_OPERATIONAL = 0;
inline constexpr uint32_t IF_OPER_STATUS_UNREACHABLE = 1;
inline constexpr uint32_t IF_OPER_STATUS_DISCONNECTED = 2;
inline constexpr uint32_t IF_OPER_STATUS_CONNECTING = 3;
inline constexpr uint32_t IF_OPER_STATUS_CONNECTED = 4;
inline constexpr uint32_t IF_OPER_STATUS_OPERATIONAL = 5;

// One interface entry (MIB_IFROW, reduced).
struct IfRow {
  std::string Name;
  uint32_t Index = 0;
  uint32_t Type = 0;
  uint32_t OperStatus = IF_OPER_STATUS_NON_OPERATIONAL;
  uint64_t InOctets = 0;
  uint64_t OutOctets = 0;
};

class IpHelper {
 public:
  virtual ~IpHelper() = default;
  // Every adapter that has a link layer (not the loopback); 232
  // (ERROR_NO_DATA) when there is none.
  virtual uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters) = 0;
  virtual uint32_t GetIpAddrTable(std::vector<IpAddrRow>& rows) = 0;
  virtual uint32_t GetIfTable(std::vector<IfRow>& rows) = 0;
  // kErrorInvalidParameter for an index no interface has.
  virtual uint32_t GetIfEntry(uint32_t index, IfRow& row) = 0;
};

inline constexpr uint32_t kErrorNoData = 232;

// The system's own helper (getifaddrs, /sys/class/net).
IpHelper& SystemIpHelper();

// The helper of the running program (the Linux one unless a test or the
// simulation mode installed another).
IpHelper& CurrentIpHelper();

class ScopedIpHelper {
 public:
  explicit ScopedIpHelper(IpHelper& helper);
  ~ScopedIpHelper();
  ScopedIpHelper(const ScopedIpHelper&) = delete;
  ScopedIpHelper& operator=(const ScopedIpHelper&) = delete;

 private:
  IpHelper* previous_;
};

// "10.1.2.3" → network byte order; nullopt-like 0xFFFFFFFF (INADDR_NONE)
// for anything that is not a dotted IPv4 address.
uint32_t ParseIpv4Address(std::string_view text);

}  // namespace platform

// The simulated adapters: what the IP helper reports while the simulated
// card and its surroundings run. The simulated drivers and the simulated
// dial-up service add their adapters, set and clear addresses and count
// traffic; tests make single calls fail.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ip_helper.h"

namespace platform {

class SimIpHelper final : public IpHelper {
 public:
  SimIpHelper();
  ~SimIpHelper() override;

  // Adds the adapter (or finds it) and returns its interface index; indices
  // are never reused within one helper. A new adapter has no address and is
  // not operational.
  uint32_t AddAdapter(const std::string& name, uint32_t type, bool dhcp_enabled);
  void RemoveAdapter(const std::string& name);
  // "" clears the address (the adapter then reports "0.0.0.0"). An address
  // makes the adapter operational, clearing it makes it disconnected.
  void SetAddress(const std::string& name, const std::string& address, const std::string& mask = "255.255.255.255");
  void AddTraffic(const std::string& name, uint64_t sent, uint64_t received);
  void ResetTraffic(const std::string& name);
  bool HasAdapter(const std::string& name) const;
  // The adapter's address ("" when none or no such adapter).
  std::string Address(const std::string& name) const;

  enum class Call { GetAdaptersInfo, GetIpAddrTable, GetIfTable, GetIfEntry };
  // From now on `call` fails with `error`; 0 clears the fault.
  void FailCall(Call call, uint32_t error);

  uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters) override;
  uint32_t GetIpAddrTable(std::vector<IpAddrRow>& rows) override;
  uint32_t GetIfTable(std::vector<IfRow>& rows) override;
  uint32_t GetIfEntry(uint32_t index, IfRow& row) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform

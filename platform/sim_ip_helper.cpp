#include "platform/sim_ip_helper.h"

#include <map>
#include <mutex>

#include "platform/win32_error.h"

namespace platform {

struct SimIpHelper::State {
  struct Adapter {
    uint32_t index = 0;
    uint32_t type = MIB_IF_TYPE_OTHER;
    bool dhcp = false;
    std::string address;
    std::string mask;
    uint64_t sent = 0;
    uint64_t received = 0;
  };
  mutable std::mutex mutex;
  std::map<std::string, Adapter> adapters;  // by name, in name order
  uint32_t next_index = 2;                  // 1 is the loopback's on this system
  std::map<Call, uint32_t> faults;

  uint32_t Fault(Call call) const {
    auto it = faults.find(call);
    return it == faults.end() ? kErrorSuccess : it->second;
  }
  static IfRow RowOf(const std::string& name, const Adapter& a) {
    IfRow row;
    row.Name = name;
    row.Index = a.index;
    row.Type = a.type;
    row.OperStatus = a.address.empty() ? IF_OPER_STATUS_DISCONNECTED : IF_OPER_STATUS_OPERATIONAL;
    row.InOctets = a.received;
    row.OutOctets = a.sent;
    return row;
  }
};

SimIpHelper::SimIpHelper() : state_(std::make_unique<State>()) {}
SimIpHelper::~SimIpHelper() = default;

uint32_t SimIpHelper::AddAdapter(const std::string& name, uint32_t type, bool dhcp_enabled) {
  std::lock_guard lock(state_->mutex);
  auto [it, added] = state_->adapters.try_emplace(name);
  if (added) {
    it->second.index = state_->next_index++;
    it->second.type = type;
    it->second.dhcp = dhcp_enabled;
  }
  return it->second.index;
}

void SimIpHelper::RemoveAdapter(const std::string& name) {
  std::lock_guard lock(state_->mutex);
  state_->adapters.erase(name);
}

void SimIpHelper::SetAddress(const std::string& name, const std::string& address, const std::string& mask) {
  std::lock_guard lock(state_->mutex);
  auto it = state_->adapters.find(name);
  if (it == state_->adapters.end()) return;
  it->second.address = address;
  it->second.mask = address.empty() ? std::string() : mask;
}

void SimIpHelper::AddTraffic(const std::string& name, uint64_t sent, uint64_t received) {
  std::lock_guard lock(state_->mutex);
  auto it = state_->adapters.find(name);
  if (it == state_->adapters.end()) return;
  it->second.sent += sent;
  it->second.received += received;
}

void SimIpHelper::ResetTraffic(const std::string& name) {
  std::lock_guard lock(state_->mutex);
  auto it = state_->adapters.find(name);
  if (it == state_->adapters.end()) return;
  it->second.sent = 0;
  it->second.received = 0;
}

bool SimIpHelper::HasAdapter(const std::string& name) const {
  std::lock_guard lock(state_->mutex);
  return state_->adapters.contains(name);
}

std::string SimIpHelper::Address(const std::string& name) const {
  std::lock_guard lock(state_->mutex);
  auto it = state_->adapters.find(name);
  return it == state_->adapters.end() ? std::string() : it->second.address;
}

void SimIpHelper::FailCall(Call call, uint32_t error) {
  std::lock_guard lock(state_->mutex);
  if (error == kErrorSuccess) {
    state_->faults.erase(call);
  } else {
    state_->faults[call] = error;
  }
}

uint32_t SimIpHelper::GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters) {
  adapters.clear();
  std::lock_guard lock(state_->mutex);
  if (const uint32_t fault = state_->Fault(Call::GetAdaptersInfo)) return fault;
  for (const auto& [name, a] : state_->adapters) {
    IpAdapterInfo info;
    info.AdapterName = name;
    info.Description = name;
    info.Index = a.index;
    info.Type = a.type;
    info.DhcpEnabled = a.dhcp;
    info.IpAddress = a.address.empty() ? "0.0.0.0" : a.address;
    info.IpMask = a.mask.empty() ? "0.0.0.0" : a.mask;
    adapters.push_back(std::move(info));
  }
  return adapters.empty() ? kErrorNoData : kErrorSuccess;
}

uint32_t SimIpHelper::GetIpAddrTable(std::vector<IpAddrRow>& rows) {
  rows.clear();
  std::lock_guard lock(state_->mutex);
  if (const uint32_t fault = state_->Fault(Call::GetIpAddrTable)) return fault;
  for (const auto& [name, a] : state_->adapters) {
    if (a.address.empty()) continue;
    rows.push_back({ParseIpv4Address(a.address), a.index, ParseIpv4Address(a.mask)});
  }
  return kErrorSuccess;
}

uint32_t SimIpHelper::GetIfTable(std::vector<IfRow>& rows) {
  rows.clear();
  std::lock_guard lock(state_->mutex);
  if (const uint32_t fault = state_->Fault(Call::GetIfTable)) return fault;
  for (const auto& [name, a] : state_->adapters) rows.push_back(State::RowOf(name, a));
  return kErrorSuccess;
}

uint32_t SimIpHelper::GetIfEntry(uint32_t index, IfRow& row) {
  std::lock_guard lock(state_->mutex);
  if (const uint32_t fault = state_->Fault(Call::GetIfEntry)) return fault;
  for (const auto& [name, a] : state_->adapters) {
    if (a.index == index) {
      row = State::RowOf(name, a);
      return kErrorSuccess;
    }
  }
  return kErrorInvalidParameter;
}

}  // namespace platform

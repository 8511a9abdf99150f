// Placeholder until the Linux backend lands: no adapters.
#include "platform/ip_helper.h"

namespace platform {
namespace {

class EmptyIpHelper final : public IpHelper {
 public:
  uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters) override {
    adapters.clear();
    return kErrorNoData;
  }
  uint32_t GetIpAddrTable(std::vector<IpAddrRow>& rows) override {
    rows.clear();
    return 0;
  }
  uint32_t GetIfTable(std::vector<IfRow>& rows) override {
    rows.clear();
    return 0;
  }
  uint32_t GetIfEntry(uint32_t, IfRow&) override { return 87; }
};

}  // namespace

IpHelper& SystemIpHelper() {
  static EmptyIpHelper helper;
  return helper;
}

}  // namespace platform

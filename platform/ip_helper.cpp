#include "platform/ip_helper.h"

#include <arpa/inet.h>

#include <atomic>
#include <string>

namespace platform {
namespace {

std::atomic<IpHelper*> g_current{nullptr};

}  // namespace

IpHelper& CurrentIpHelper() {
  IpHelper* helper = g_current.load(std::memory_order_acquire);
  return helper ? *helper : SystemIpHelper();
}

ScopedIpHelper::ScopedIpHelper(IpHelper& helper)
    : previous_(g_current.exchange(&helper, std::memory_order_acq_rel)) {}

ScopedIpHelper::~ScopedIpHelper() { g_current.store(previous_, std::memory_order_release); }

uint32_t ParseIpv4Address(std::string_view text) {
  const std::string copy(text);
  in_addr address{};
  if (copy.empty() || ::inet_pton(AF_INET, copy.c_str(), &address) != 1) return 0xFFFFFFFFu;
  return address.s_addr;
}

}  // namespace platform

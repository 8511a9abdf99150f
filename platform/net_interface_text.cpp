#include "platform/net_interface_text.h"

#include <charconv>

#include "platform/ip_helper.h"
#include "platform/sysfs_text.h"

namespace platform {
namespace {

constexpr uint32_t kArphrdEther = 1;
constexpr uint32_t kArphrdPpp = 512;
constexpr uint32_t kArphrdLoopback = 772;

std::optional<uint64_t> Decimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

}  // namespace

uint32_t InterfaceTypeFromText(std::string_view type_text) {
  const auto type = Decimal(TrimAttribute(type_text));
  if (!type) return MIB_IF_TYPE_OTHER;
  switch (*type) {
    case kArphrdEther:
      return MIB_IF_TYPE_ETHERNET;
    case kArphrdPpp:
      return MIB_IF_TYPE_PPP;
    case kArphrdLoopback:
      return MIB_IF_TYPE_LOOPBACK;
    default:
      return MIB_IF_TYPE_OTHER;
  }
}

uint32_t OperStatusFromText(std::string_view operstate_text, bool up_and_running) {
  const std::string_view state = TrimAttribute(operstate_text);
  if (state == "up") return IF_OPER_STATUS_OPERATIONAL;
  if (state == "dormant" || state == "testing") return IF_OPER_STATUS_CONNECTING;
  if (state == "down" || state == "lowerlayerdown") return IF_OPER_STATUS_DISCONNECTED;
  if (state == "unknown") return up_and_running ? IF_OPER_STATUS_OPERATIONAL : IF_OPER_STATUS_DISCONNECTED;
  return IF_OPER_STATUS_NON_OPERATIONAL;
}

std::optional<uint64_t> ParseCounterText(std::string_view text) { return Decimal(TrimAttribute(text)); }

}  // namespace platform

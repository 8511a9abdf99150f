#include "platform/net_interface_text.h"

#include <gtest/gtest.h>

#include <optional>

#include "platform/ip_helper.h"

namespace platform {
namespace {

TEST(NetInterfaceTextTest, TypesOperStatesAndCounters) {
  struct TypeRow {
    const char* text;
    uint32_t type;
  } types[] = {
      {"1\n", MIB_IF_TYPE_ETHERNET},    // eth0, wlan0, a cdc_ether wwan0
      {"512\n", MIB_IF_TYPE_PPP},       // ppp0
      {"772\n", MIB_IF_TYPE_LOOPBACK},  // lo
      {"65534\n", MIB_IF_TYPE_OTHER},   // ARPHRD_NONE: a raw-IP wwan0, tun0
      {"", MIB_IF_TYPE_OTHER},
      {"1x\n", MIB_IF_TYPE_OTHER},
      {"-1\n", MIB_IF_TYPE_OTHER},
  };
  for (const TypeRow& row : types) EXPECT_EQ(InterfaceTypeFromText(row.text), row.type) << '"' << row.text << '"';

  struct StateRow {
    const char* text;
    bool running;
    uint32_t status;
  } states[] = {
      {"up\n", false, IF_OPER_STATUS_OPERATIONAL},
      {"dormant\n", true, IF_OPER_STATUS_CONNECTING},
      {"testing\n", true, IF_OPER_STATUS_CONNECTING},
      {"down\n", true, IF_OPER_STATUS_DISCONNECTED},
      {"lowerlayerdown\n", true, IF_OPER_STATUS_DISCONNECTED},
      {"unknown\n", true, IF_OPER_STATUS_OPERATIONAL},  // lo, ppp0
      {"unknown\n", false, IF_OPER_STATUS_DISCONNECTED},
      {"notpresent\n", true, IF_OPER_STATUS_NON_OPERATIONAL},
      {"", true, IF_OPER_STATUS_NON_OPERATIONAL},  // the interface went away
      {"UP\n", true, IF_OPER_STATUS_NON_OPERATIONAL},
  };
  for (const StateRow& row : states) {
    EXPECT_EQ(OperStatusFromText(row.text, row.running), row.status) << '"' << row.text << "\" " << row.running;
  }

  struct CounterRow {
    const char* text;
    std::optional<uint64_t> value;
  } counters[] = {
      {"0\n", 0},
      {"123456789\n", 123456789},
      {"18446744073709551615\n", UINT64_MAX},
      {"18446744073709551616\n", std::nullopt},
      {"", std::nullopt},
      {"\n", std::nullopt},
      {"-5\n", std::nullopt},
      {"+5\n", std::nullopt},
      {"12 34\n", std::nullopt},
  };
  for (const CounterRow& row : counters) EXPECT_EQ(ParseCounterText(row.text), row.value) << '"' << row.text << '"';
}

}  // namespace
}  // namespace platform

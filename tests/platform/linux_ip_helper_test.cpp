// The Linux IP helper against the machine the tests run on, and against a
// folder of interface attributes standing in for /sys/class/net.
#include "platform/linux_ip_helper.h"

#include <gtest/gtest.h>
#include <net/if.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32_error.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

const IfRow* RowNamed(const std::vector<IfRow>& rows, const std::string& name) {
  for (const IfRow& row : rows) {
    if (row.Name == name) return &row;
  }
  return nullptr;
}

TEST(LinuxIpHelperTest, TheMachinesInterfacesWithoutTheLoopbackAsAdapters) {
  IpHelper& helper = SystemIpHelper();
  std::vector<IfRow> rows;
  ASSERT_EQ(helper.GetIfTable(rows), kErrorSuccess);
  for (const IfRow& row : rows) EXPECT_EQ(row.Index, ::if_nametoindex(row.Name.c_str())) << row.Name;
  const IfRow* lo = RowNamed(rows, "lo");
  ASSERT_NE(lo, nullptr);
  EXPECT_EQ(lo->Type, MIB_IF_TYPE_LOOPBACK);
  EXPECT_EQ(lo->OperStatus, IF_OPER_STATUS_OPERATIONAL);

  IfRow entry;
  ASSERT_EQ(helper.GetIfEntry(lo->Index, entry), kErrorSuccess);
  EXPECT_EQ(entry.Name, "lo");
  EXPECT_EQ(helper.GetIfEntry(0, entry), kErrorInvalidParameter);

  std::vector<IpAdapterInfo> adapters;
  const uint32_t rc = helper.GetAdaptersInfo(adapters);
  ASSERT_TRUE(rc == kErrorSuccess || rc == kErrorNoData) << rc;
  EXPECT_EQ(rc == kErrorNoData, adapters.empty());
  for (const IpAdapterInfo& adapter : adapters) {
    EXPECT_NE(adapter.AdapterName, "lo");
    EXPECT_EQ(adapter.Index, ::if_nametoindex(adapter.AdapterName.c_str())) << adapter.AdapterName;
    EXPECT_NE(ParseIpv4Address(adapter.IpAddress), 0xFFFFFFFFu) << adapter.IpAddress;
  }
  EXPECT_EQ(adapters.size() + 1, rows.size());

  std::vector<IpAddrRow> addresses;
  ASSERT_EQ(helper.GetIpAddrTable(addresses), kErrorSuccess);
  bool loopback_address = false;
  for (const IpAddrRow& row : addresses) {
    loopback_address = loopback_address || (row.dwAddr == ParseIpv4Address("127.0.0.1") && row.dwIndex == lo->Index &&
                                            row.dwMask == ParseIpv4Address("255.0.0.0"));
  }
  EXPECT_TRUE(loopback_address);
}

TEST(LinuxIpHelperTest, RowsReadTheInterfaceAttributes) {
  testing_support::TempDir net("sys-class-net");
  auto write = [&](const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(net.Path() + path).parent_path());
    std::ofstream(net.Path() + path) << text;
  };
  write("/lo/type", "772\n");
  write("/lo/operstate", "unknown\n");
  write("/lo/statistics/rx_bytes", "123456789012\n");
  write("/lo/statistics/tx_bytes", "42\n");

  LinuxIpHelper helper(net.Path());
  std::vector<IfRow> rows;
  ASSERT_EQ(helper.GetIfTable(rows), kErrorSuccess);
  const IfRow* lo = RowNamed(rows, "lo");
  ASSERT_NE(lo, nullptr);
  EXPECT_EQ(lo->Type, MIB_IF_TYPE_LOOPBACK);
  EXPECT_EQ(lo->OperStatus, IF_OPER_STATUS_OPERATIONAL) << "lo is up and running";
  EXPECT_EQ(lo->InOctets, 123456789012u);
  EXPECT_EQ(lo->OutOctets, 42u);
  // Interfaces without attribute files here: nothing to read is no error.
  for (const IfRow& row : rows) {
    if (row.Name == "lo") continue;
    EXPECT_EQ(row.Type, MIB_IF_TYPE_OTHER) << row.Name;
    EXPECT_EQ(row.OperStatus, IF_OPER_STATUS_NON_OPERATIONAL) << row.Name;
    EXPECT_EQ(row.InOctets + row.OutOctets, 0u) << row.Name;
  }
}

}  // namespace
}  // namespace platform

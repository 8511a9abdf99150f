#include "platform/sysfs_text.h"

#include <gtest/gtest.h>

#include <optional>

namespace platform {
namespace {

constexpr uint64_t Version(uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
  return a << 48 | b << 32 | c << 16 | d;
}

TEST(SysfsTextTest, HexAttributesReadAsTheKernelWritesThem) {
  struct Row {
    const char* text;
    size_t digits;
    std::optional<uint32_t> value;
  } rows[] = {
      {"12d1\n", 4, 0x12D1},        // idVendor
      {"0x8086\n", 4, 0x8086},      // PCI vendor
      {"0x060000\n", 6, 0x060000},  // PCI class
      {"03\n", 2, 3},               // bInterfaceNumber
      {"0x\n", 4, std::nullopt},
      {"", 4, std::nullopt},
      {"12d1x\n", 4, std::nullopt},
      {"12345\n", 4, std::nullopt},       // wider than the attribute
      {"123456789\n", 12, std::nullopt},  // wider than 32 bits
      {" 12d1", 4, std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ParseHexAttribute(row.text, row.digits), row.value) << '"' << row.text << '"';
  }
}

TEST(SysfsTextTest, VersionNumbers) {
  struct Row {
    const char* text;
    std::optional<uint64_t> value;
  } rows[] = {
      {"2.2\n", Version(2, 2, 0, 0)},
      {"1.2.3.4", Version(1, 2, 3, 4)},
      {"1.2.3.4.5", Version(1, 2, 3, 4)},
      {"1.2.3-k", Version(1, 2, 3, 0)},          // a module's own suffix
      {"6.1.0-18-amd64", Version(6, 1, 0, 18)},  // a kernel release
      {"5.15.0-91-generic", Version(5, 15, 0, 91)},
      {"6.8.0+rc1", Version(6, 8, 0, 0)},
      {"7", std::nullopt},
      {"v1.2", std::nullopt},
      {"1.65536", std::nullopt},
      {"1.99999999999999999999", std::nullopt},
      {"", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ParseVersionNumbers(row.text), row.value) << '"' << row.text << '"';
  }
}

TEST(SysfsTextTest, UdevDataKeepsPropertiesOnly) {
  const auto properties = ParseUdevData(
      "S:serial/by-id/usb-x\nI:12345\nE:ID_MODEL_FROM_DATABASE=Card = Modem\n"
      "E:=nokey\nE:NOVALUE\nE:ID_BUS=usb\nE:ID_BUS=twice\nG:seat\nE:LAST=1");
  const std::map<std::string, std::string, std::less<>> expected{
      {"ID_MODEL_FROM_DATABASE", "Card = Modem"}, {"ID_BUS", "usb"}, {"LAST", "1"}};
  EXPECT_EQ(properties, expected);
}

TEST(SysfsTextTest, UeventLines) {
  const auto values = ParseUevent("MAJOR=188\nMINOR=2\nDEVNAME=ttyUSB2\n\n=x\nODD\n");
  const std::map<std::string, std::string, std::less<>> expected{
      {"MAJOR", "188"}, {"MINOR", "2"}, {"DEVNAME", "ttyUSB2"}};
  EXPECT_EQ(values, expected);
}

}  // namespace
}  // namespace platform

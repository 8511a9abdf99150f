#include "carddetect/device_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(DeviceTextTest, PropertyTextsAreOemCodePage) {
  EXPECT_EQ(OemToUtf16("USB\\VID_1111&PID_0001"), u"USB\\VID_1111&PID_0001");
  EXPECT_EQ(OemToUtf16("Modem f\x81r Vombel"), u"Modem f\u00fcr Vombel");  // 0x81 is u-umlaut in 437
  EXPECT_EQ(OemToUtf16(""), u"");
}

TEST(DeviceTextTest, ListsSplitAtEveryCommaAndKeepBlanks) {
  using Items = std::vector<std::u16string_view>;
  EXPECT_EQ(SplitList(u"A, B"), (Items{u"A", u" B"}));
  EXPECT_EQ(SplitList(u"A,"), (Items{u"A", u""}));
  EXPECT_EQ(SplitList(u""), (Items{u""}));
}

TEST(DeviceTextTest, PatternsTakeTheNumberAtTheirFirstPercentD) {
  struct Row {
    std::u16string pattern;
    int number;
    std::u16string name;
  };
  const std::vector<Row> rows = {
      {u"\\\\.\\VLNDIS%d", 0, u"\\\\.\\VLNDIS0"},
      {u"\\\\.\\VLATP%d", 20, u"\\\\.\\VLATP20"},
      {u"COM%d-%d", 3, u"COM3-%d"},
      {u"100%%_%d", 1, u"100%_1"},
      {u"%s%n%x%", 5, u"%s%n%x%"},  // never a printf format
      {u"NoNumber", 7, u"NoNumber"},
  };
  for (const Row& row : rows) EXPECT_EQ(FormatDevicePattern(row.pattern, row.number), row.name);
}

TEST(DeviceTextTest, HardwareIdsCompareWithoutCase) {
  EXPECT_TRUE(EqualsIgnoringCase(u"usb\\vid_1a1f", u"USB\\VID_1A1F"));
  EXPECT_FALSE(EqualsIgnoringCase(u"USB\\VID_1A1F&REV", u"USB\\VID_1A1F"));
  EXPECT_TRUE(StartsWithIgnoringCase(u"PCI\\VEN_1&DEV_2&REV_01", u"pci\\ven_1"));
  EXPECT_FALSE(StartsWithIgnoringCase(u"PCI", u"PCI\\VEN"));
}

}  // namespace

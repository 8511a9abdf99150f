#include "app/diagnostics.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DiagnosticsTest, ClearEmptiesEveryField) {
  CDiagnostics d;
  d.DeviceName = u"card";
  d.Iccid = u"8949";
  d.PhoneNumbers = u"+49";
  d.NetworkSelectionMode = 1;
  d.PsAttached = 1;
  d.Clear();
  EXPECT_TRUE(d.DeviceName.empty());
  EXPECT_TRUE(d.Iccid.empty());
  EXPECT_TRUE(d.PhoneNumbers.empty());
  EXPECT_EQ(d.NetworkSelectionMode, 0);
  EXPECT_EQ(d.PsAttached, 0);
}

}  // namespace

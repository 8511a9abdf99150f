#include "foundation/card_models.h"

#include <gtest/gtest.h>

namespace {

TEST(CardModelsTest, RulesAtTheirBoundaries) {
  struct Row {
    uint32_t model;
    bool classified, is_3g, retry_counters, composite, tagged_app_ports, slow_wake_up;
  } const rows[] = {
      {0x0000, false, false, false, false, false, false},
      {0x0300, false, false, false, false, false, true},
      {0x0400, false, false, false, false, false, true},
      {0x07FF, false, false, false, false, false, false},
      {0x0800, true, true, false, false, false, false},
      {0x0900, true, true, false, true, false, false},
      {0x0901, true, true, false, false, true, false},
      {0x0A00, true, true, false, true, false, false},
      {0x0AFF, true, true, false, false, false, false},
      {0x0B00, true, true, true, false, true, false},
      {0x0D00, true, true, false, false, true, false},
      {0x0D01, true, true, true, false, true, false},
      {0x0E00, true, true, true, false, true, false},
      {0x7FFF, true, true, true, false, true, false},
      {0x8000, false, true, true, false, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.model);
    EXPECT_EQ(IsClassifiedModel(row.model), row.classified);
    EXPECT_EQ(Is3gModel(row.model), row.is_3g);
    EXPECT_EQ(HasRetryCounters(row.model), row.retry_counters);
    EXPECT_EQ(IsCompositeInterfaceModel(row.model), row.composite);
    EXPECT_EQ(HasTaggedApplicationPorts(row.model), row.tagged_app_ports);
    EXPECT_EQ(IsSlowWakeUpModel(row.model), row.slow_wake_up);
  }
}

}  // namespace

#include "app/traffic.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/text.h"

namespace {

using platform::Utf16ToUtf8;

TEST(TrafficTest, Texts) {
  struct Case {
    uint64_t value;
    const char* bytes;
    const char* duration;
  };
  const Case cases[] = {
      {0, "0 B", "0:00:00"},
      {999, "999 B", "0:00:00"},
      {1000, "1.0 kB", "0:00:01"},
      {34567, "34.6 kB", "0:00:34"},
      {999949, "999.9 kB", "0:16:39"},
      {999950, "1.0 MB", "0:16:39"},  // not "1000.0 kB"
      {3723999, "3.7 MB", "1:02:03"},
      {4294967296ull, "4.3 GB", "1193:02:47"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(TrafficBytesText(c.value)), c.bytes) << c.value;
    EXPECT_EQ(Utf16ToUtf8(TrafficRateText(c.value)), std::string(c.bytes) + "/s") << c.value;
    EXPECT_EQ(Utf16ToUtf8(TrafficDurationText(c.value)), c.duration) << c.value;
  }
}

TEST(TrafficTest, MeterTotalsRatesAndStart) {
  struct Step {
    uint32_t sent, received, duration_ms;
    uint64_t now_ms;
    // Expected.
    uint64_t total_sent, total_received, send_rate, receive_rate, since_ms;
  };
  struct Case {
    const char* what;
    uint64_t start_ms;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"first sample: no rate yet; then rates over the samples so far",
       10000,
       {{100, 1000, 0, 10000, 100, 1000, 0, 0, 10000},
        {1100, 11000, 1000, 11000, 1100, 11000, 1000, 10000, 10000},
        {1100, 31000, 2000, 12000, 1100, 31000, 500, 15000, 10000}}},
      {"the rates cover the last three samples only",
       0,
       {{0, 0, 0, 1000, 0, 0, 0, 0, 0},
        {9000, 0, 0, 2000, 9000, 0, 9000, 0, 0},
        {9000, 0, 0, 3000, 9000, 0, 4500, 0, 0},
        {9000, 0, 0, 4000, 9000, 0, 3000, 0, 0},
        {9000, 0, 0, 5000, 9000, 0, 0, 0, 0}}},
      {"32-bit counters wrap; the totals go on",
       0,
       {{0xFFFFF000u, 0xFFFFFF00u, 0, 1000, 0xFFFFF000u, 0xFFFFFF00u, 0, 0, 0},
        {0x1000u, 0x100u, 0, 2000, 0x100001000ull, 0x100000100ull, 0x2000, 0x200, 0}}},
      {"a connection up before the worker saw it starts at its own time",
       50000,
       {{0, 0, 20000, 51000, 0, 0, 0, 0, 31000}, {0, 0, 99999, 52000, 0, 0, 0, 0, 31000}}},
      {"a duration longer than the clock moves nothing", 5000, {{0, 0, 999999, 6000, 0, 0, 0, 0, 5000}}},
  };
  for (const Case& c : cases) {
    TrafficMeter meter;
    meter.Start(c.start_ms);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const Step& s = c.steps[i];
      const TrafficFigures f = meter.Sample(s.sent, s.received, s.duration_ms, s.now_ms);
      EXPECT_EQ(f.BytesSent, s.total_sent) << c.what << ", sample " << i;
      EXPECT_EQ(f.BytesReceived, s.total_received) << c.what << ", sample " << i;
      EXPECT_EQ(f.SendRate, s.send_rate) << c.what << ", sample " << i;
      EXPECT_EQ(f.ReceiveRate, s.receive_rate) << c.what << ", sample " << i;
      EXPECT_EQ(f.ConnectedSinceMs, s.since_ms) << c.what << ", sample " << i;
    }
  }

}

}  // namespace

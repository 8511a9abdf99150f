// A data connection's traffic: the figures the main window and the
// diagnostics show (bytes sent and received, the current rates, since when
// the connection is up), the meter that makes them from the connection's
// statistics sampled once a second, and their texts. Pure: the worker gives
// the samples and the platform clock's time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

struct TrafficFigures {
  bool Valid = false;             // a sample of the connection that is up now was taken
  uint64_t BytesSent = 0;
  uint64_t BytesReceived = 0;
  uint64_t SendRate = 0;          // bytes a second over the last few samples
  uint64_t ReceiveRate = 0;
  uint64_t ConnectedSinceMs = 0;  // platform clock
  uint64_t SampledAtMs = 0;       // platform clock

  // How long the connection had been up at the last sample.
  uint64_t DurationMs() const { return SampledAtMs > ConnectedSinceMs ? SampledAtMs - ConnectedSinceMs : 0; }
};

// One connection's figures from its statistics: 32-bit counters that start
// at 0 with the connection and wrap, and the time the connection has been
// up. Totals are 64 bits wide, so they go on counting past a wrap.
class TrafficMeter {
 public:
  // A connection came up (the worker saw it connected) at `now_ms`.
  void Start(uint64_t now_ms);
  // The connection went down: the figures are gone.
  void Stop();
  bool Running() const { return running_; }

  // The counters as the connection gives them at `now_ms`; `duration_ms` is
  // its own time up, which places the start when the connection came up
  // before the worker saw it. The rates are those since the oldest of the
  // last kRateSamples samples, so a counter that moves in bursts does not
  // make them jump between nothing and twice the flow; the first sample's
  // are 0.
  const TrafficFigures& Sample(uint32_t sent, uint32_t received, uint32_t duration_ms, uint64_t now_ms);
  const TrafficFigures& Figures() const { return figures_; }

  static constexpr size_t kRateSamples = 3;

 private:
  struct Point {
    uint64_t at_ms;
    uint64_t sent;
    uint64_t received;
  };

  bool running_ = false;
  uint32_t last_sent_ = 0;
  uint32_t last_received_ = 0;
  TrafficFigures figures_;
  std::array<Point, kRateSamples> history_{};  // the oldest at history_[next_] once full
  size_t history_size_ = 0;
  size_t next_ = 0;
};

// "999 B", "1.2 kB", "34.6 MB": decimal units, one decimal from a kilobyte.
std::u16string TrafficBytesText(uint64_t bytes);
// "0 B/s", "12.3 kB/s".
std::u16string TrafficRateText(uint64_t bytes_per_second);
// "0:00:00", "1:02:03", "100:00:00": hours, minutes and seconds.
std::u16string TrafficDurationText(uint64_t duration_ms);

#include "app/traffic.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "foundation/traffic_text.h"
#include "platform/text.h"

void TrafficMeter::Start(uint64_t now_ms) {
  running_ = true;
  last_sent_ = 0;
  last_received_ = 0;
  figures_ = TrafficFigures{};
  figures_.ConnectedSinceMs = now_ms;
  figures_.SampledAtMs = now_ms;
  history_size_ = 0;
  next_ = 0;
}

void TrafficMeter::Stop() {
  running_ = false;
  figures_ = TrafficFigures{};
}

const TrafficFigures& TrafficMeter::Sample(uint32_t sent, uint32_t received, uint32_t duration_ms, uint64_t now_ms) {
  if (!running_) return figures_;
  // Differences of the 32-bit counters are right across a wrap.
  const uint32_t sent_delta = sent - last_sent_;
  const uint32_t received_delta = received - last_received_;
  last_sent_ = sent;
  last_received_ = received;
  figures_.BytesSent += sent_delta;
  figures_.BytesReceived += received_delta;
  // Up longer than the worker knows of it: it came up before it was seen.
  if (!figures_.Valid && duration_ms <= now_ms && now_ms - duration_ms < figures_.ConnectedSinceMs) {
    figures_.ConnectedSinceMs = now_ms - duration_ms;
  }
  figures_.Valid = true;
  now_ms = std::max(now_ms, figures_.SampledAtMs);
  figures_.SampledAtMs = now_ms;

  if (history_size_ > 0) {
    const Point& oldest = history_[history_size_ < kRateSamples ? 0 : next_];
    if (now_ms > oldest.at_ms) {
      const uint64_t elapsed = now_ms - oldest.at_ms;
      figures_.SendRate = (figures_.BytesSent - oldest.sent) * 1000 / elapsed;
      figures_.ReceiveRate = (figures_.BytesReceived - oldest.received) * 1000 / elapsed;
    }
  }
  history_[next_] = {now_ms, figures_.BytesSent, figures_.BytesReceived};
  next_ = (next_ + 1) % kRateSamples;
  history_size_ = std::min(history_size_ + 1, kRateSamples);
  return figures_;
}

std::u16string TrafficBytesText(uint64_t bytes) { return platform::Utf8ToUtf16(ByteCountText(bytes)); }

std::u16string TrafficRateText(uint64_t bytes_per_second) { return TrafficBytesText(bytes_per_second) + u"/s"; }

std::u16string TrafficDurationText(uint64_t duration_ms) { return platform::Utf8ToUtf16(DurationText(duration_ms)); }

// What a trace line costs: one the threshold drops (the common case, since
// callers never test the level first) next to one that is formatted and
// delivered to a sink that does nothing.
#include <benchmark/benchmark.h>

#include "foundation/xlog.h"

namespace {

void NoOpSink(const char* line, void*) { benchmark::DoNotOptimize(line); }

void BM_XLogLevelDropped(benchmark::State& state) {
  XLogSetSink(&NoOpSink, nullptr);
  XLogSetThreshold(0);
  int n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(XLogLevel(kXLogTrace, "Dv: Command %d sent to port %s", ++n, "ttyUSB2"));
  }
  XLogSetSink(nullptr, nullptr);
}
BENCHMARK(BM_XLogLevelDropped);

void BM_XLogLevelDelivered(benchmark::State& state) {
  XLogSetSink(&NoOpSink, nullptr);
  XLogSetThreshold(1);
  int n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(XLogLevel(kXLogTrace, "Dv: Command %d sent to port %s", ++n, "ttyUSB2"));
  }
  XLogSetSink(nullptr, nullptr);
  XLogSetThreshold(0);
}
BENCHMARK(BM_XLogLevelDelivered);

void BM_XLogHexDumpDropped(benchmark::State& state) {
  XLogSetSink(&NoOpSink, nullptr);
  XLogSetThreshold(0);
  unsigned char bytes[130] = {};
  for (auto _ : state) XLogHexDump(bytes, sizeof bytes, "Port read: ");
  XLogSetSink(nullptr, nullptr);
}
BENCHMARK(BM_XLogHexDumpDropped);

void BM_XLogHexDumpDelivered(benchmark::State& state) {
  XLogSetSink(&NoOpSink, nullptr);
  XLogSetThreshold(1);
  unsigned char bytes[130] = {};
  for (auto _ : state) XLogHexDump(bytes, sizeof bytes, "Port read: ");
  XLogSetSink(nullptr, nullptr);
  XLogSetThreshold(0);
}
BENCHMARK(BM_XLogHexDumpDelivered);

}  // namespace

// What loading the card database costs: the shipped table through the whole
// resource path (InitializeCardDb on the program's own module) and through
// the parser alone (ReadCardDb on the resource's text), and a made-up table of
// a full 128 cards with every optional key given.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "carddetect/card_db.h"
#include "foundation/xlog.h"
#include "platform/resources.h"

namespace {

void Discard(const char* line, void*) { benchmark::DoNotOptimize(line); }

// Parsing logs a line per card and per table; the sink drops them so that
// the figures are the parser's own.
struct QuietLog {
  QuietLog() {
    XLogSetSink(&Discard, nullptr);
    XLogSetThreshold(0);
  }
  ~QuietLog() { XLogSetSink(nullptr, nullptr); }
};

std::string_view ShippedText() {
  platform::HRSRC resource = platform::FindResource(nullptr, kCardDbResourceId, kCardDbResourceType);
  if (resource == nullptr) return {};
  platform::HGLOBAL data = platform::LoadResource(nullptr, resource);
  const void* bytes = data == nullptr ? nullptr : platform::LockResource(data);
  if (bytes == nullptr) return {};
  return {static_cast<const char*>(bytes), platform::SizeofResource(nullptr, resource)};
}

std::string SyntheticText(size_t cards) {
  std::string text = "# synthetic card database\r\n\r\n";
  char buffer[64];
  for (size_t i = 0; i < cards; ++i) {
    std::snprintf(buffer, sizeof buffer, "%04zX", i);
    const std::string id = buffer;
    text += "[Synthetic Card " + id + "]\r\nSupported=1\r\nModel=0x" + id +
            "\r\nFamily=5\r\nStackType=1\r\nBusType=USB\r\n"
            "HardwareId=USB\\VID_F1A1&PID_" + id + "\r\nAtiKey=SYN" + id +
            "\r\nWwanNicName=VID_F1A1&PID_" + id + "&MI_04\r\n"
            "# per-OS keys\r\n"
            "XpPortType=0\r\nXpDriverCap=0x487\r\nXpWwanCap=0xF\r\nXpWlanCap=0x0\r\n"
            "XpModemName=VID_F1A1&PID_" + id + "&MI_00\r\nXpModemDetect=0x2,0x2\r\n"
            "XpAppPortName=VID_F1A1&PID_" + id + "&MI_02\r\nXpAppPortDetect=0x2,0x41\r\n"
            "XpApp2PortName=VID_F1A1&PID_" + id + "&MI_03\r\nXpApp2PortDetect=0x1\r\n"
            "XpDbgPortName=VID_F1A1&PID_" + id + "&MI_01\r\nXpDbgPortDetect=0x1\r\n"
            "XpWwanNdisPortName=\\\\.\\VLNDIS%d\r\nXpWwanNdisPortDetect=0x1\r\n\r\n";
  }
  return text;
}

void ReportText(benchmark::State& state, std::string_view text, size_t cards) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
  state.counters["cards"] = static_cast<double>(cards);
}

void BM_InitializeCardDbShipped(benchmark::State& state) {
  QuietLog quiet;
  CardDb db;
  for (auto _ : state) {
    if (InitializeCardDb(db, nullptr) != 0) {
      state.SkipWithError("InitializeCardDb failed");
      break;
    }
    benchmark::DoNotOptimize(db.entries.data());
  }
  ReportText(state, ShippedText(), db.entries.size());
  ReleaseCardDb(db);
}
BENCHMARK(BM_InitializeCardDbShipped);

void BM_ReadCardDbShipped(benchmark::State& state) {
  QuietLog quiet;
  const std::string_view text = ShippedText();
  if (text.empty()) {
    state.SkipWithError("no NW_DATA 101 resource");
    return;
  }
  size_t cards = 0;
  for (auto _ : state) {
    std::vector<CardDbEntry> entries;
    benchmark::DoNotOptimize(ReadCardDb(text, kNwOsXp, entries));
    cards = entries.size();
  }
  ReportText(state, text, cards);
}
BENCHMARK(BM_ReadCardDbShipped);

void BM_ReadCardDbSynthetic128(benchmark::State& state) {
  QuietLog quiet;
  const std::string text = SyntheticText(kMaxCardDbEntries);
  size_t cards = 0;
  for (auto _ : state) {
    std::vector<CardDbEntry> entries;
    benchmark::DoNotOptimize(ReadCardDb(text, kNwOsXp, entries));
    cards = entries.size();
  }
  if (cards != kMaxCardDbEntries) state.SkipWithError("synthetic table did not parse in full");
  ReportText(state, text, cards);
}
BENCHMARK(BM_ReadCardDbSynthetic128);

}  // namespace

// How fast the receive side turns the card's byte stream into classified
// answer lines: line assembly, the decoding of the bytes (GSM alphabet inside
// quotes) and the sorting into final, unsolicited and intermediate lines, on a
// stream of what a card really sends. Reported as bytes per second and as a
// multiple of the line rate of the card's port (115200 baud, 8N1: 11520 bytes
// a second).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "devicelib/line.h"
#include "devicelib/line_assembler.h"
#include "devicelib/line_classifier.h"

namespace {

constexpr double kLineRateBytesPerSecond = 115200.0 / 10.0;

std::string RealisticStream() {
  std::string stream;
  for (int i = 0; i < 20; ++i) {
    stream += "\r\n+CREG: 1,\"00C3\",\"0000B2A5\",2\r\n";
    stream += "\r\n_OSIGQ: 17,99\r\n";
    stream += "AT+CSQ\r\r\n+CSQ: 17,99\r\n\r\nOK\r\n";
    stream += "AT+COPS?\r\r\n+COPS: 0,0,\"Vombel Net\",2\r\n\r\nOK\r\n";
    stream +=
        "AT+CMGL=4\r\r\n"
        "+CMGL: 1,1,,24\r\n"
        "07919471060040340404D0E474D81C0EBB010000111011315214000BE474D81C0EBB5DE3771B\r\n"
        "+CMGL: 2,1,,29\r\n"
        "07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07\r\n"
        "\r\nOK\r\n";
    stream += "\r\n+CMTI: \"SM\",3\r\n";
  }
  return stream;
}

void BM_AssembleAndClassify(benchmark::State& state) {
  const std::string stream = RealisticStream();
  size_t lines = 0;
  GSM::LineAssembler assembler([&](std::span<const uint8_t> bytes, bool) {
    const std::u16string text = GSM::DecodeAnswerBytes(bytes);
    benchmark::DoNotOptimize(GSM::ClassifyLine(text));
    ++lines;
    return false;
  });
  for (auto _ : state) {
    assembler.Feed(std::span(reinterpret_cast<const uint8_t*>(stream.data()), stream.size()));
  }
  benchmark::DoNotOptimize(lines);
  const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(stream.size());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["x_line_rate"] =
      benchmark::Counter(bytes / kLineRateBytesPerSecond, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AssembleAndClassify);

}  // namespace

// The engine's whole receive path (line assembly, GSM decoding, echo
// detection, classification, queueing, dispatch) on any byte stream, with a
// dispatcher that reads fields from the lines it gets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "devicelib/modem.h"
#include "foundation/xlog.h"

namespace {

void Discard(const char*, void*) {}

class Reader final : public GSM::Unsolicited {
 public:
  void HandleUnsolicited(uint32_t type, GSM::Line& line) override {
    if (type >= 41 || line.Cursor() != 0 || line.Length() == 0) std::abort();
    line.SetCursor(line.Text().find(u':') + 1);
    line.ReadInt(true, 0);
    if (line.ExpectChar(u',', true)) line.ReadQuoted(true);
    if (line.ExpectChar(u',', true)) line.ReadInt();  // may raise: the engine logs it
    line.ReadRest();
  }
};

class FuzzModem final : public GSM::Modem {
 public:
  using Modem::Modem;
  using Modem::OnRxChar;

 protected:
  void OnPortError(uint32_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  XLogSetSink(&Discard, nullptr);
  static Reader reader;
  static FuzzModem modem(&reader);
  modem.ResetState();
  if (size == 0) return 0;
  modem.SetQuoteTracking(data[0] & 1);
  for (size_t i = 1; i < size; ++i) modem.OnRxChar(data[i]);
  return 0;
}

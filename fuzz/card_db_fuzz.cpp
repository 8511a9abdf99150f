// Arbitrary bytes as the card database. The parse must neither crash nor read
// past the text, must hold at most 128 cards, and every card it keeps must be
// one the format allows: the derived and repaired flags agree with the
// entry's texts. The detection-string decoders run on every kept card.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "carddetect/card_db.h"
#include "carddetect/detection_method.h"
#include "foundation/xlog.h"

namespace {

void Discard(const char*, void*) {}

bool Given(const std::optional<std::u16string>& value) { return value && !value->empty(); }

void CheckEntry(const CardDbEntry& e) {
  const bool selection = e.WwanCapabilities >= 0x8 && (e.WwanCapabilities & 0x6) != 0;
  if (((e.DriverCapabilities & CardDriverCapabilitiesTechnologySelection) != 0) != selection) std::abort();
  if ((e.DriverCapabilities & CardDriverCapabilitiesMultiplexing) && !(Given(e.AppPortNames) && Given(e.AppPortDetect)))
    std::abort();
  if ((e.DriverCapabilities & CardDriverCapabilitiesWwanNic) && !Given(e.WwanNicNames)) std::abort();
  if ((e.DriverCapabilities & CardDriverCapabilitiesWwanNdisPort) &&
      !(Given(e.WwanNdisPortPattern) && Given(e.WwanNdisPortDetect)))
    std::abort();
  if ((e.DriverCapabilities & CardDriverCapabilitiesSmartCardReader) && !Given(e.SmartCardReaderNames)) std::abort();
  if (e.Bus > kCardBusPci) std::abort();

  const DetectionMethod modem = DetermineModemDetectionMethod(&e);
  if (modem.method != 1 && modem.method != 2) std::abort();
  const DetectionMethod app = DetermineAppPortDetectionMethod(&e);
  if (app.method > 4 || (app.method == 0 && e.AppPortDetect)) std::abort();
  const DetectionMethod dbg = DetermineDbgPortDetectionMethod(&e);
  if (dbg.method > 2 || (dbg.method == 0 && e.DbgPortDetect)) std::abort();
  LogModemDetectionMethod(modem);
  LogAppPortDetectionMethod(app);
  LogApp2PortDetectionMethod(DetermineApp2PortDetectionMethod(&e));
  LogDbgPortDetectionMethod(dbg);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (XLogSetSink(&Discard, nullptr), XLogSetThreshold(kXLogTrace), true);
  (void)quiet;
  // A copy of exactly the input's size, so a read past the text is caught.
  const std::vector<char> text(data, data + size);
  std::vector<CardDbEntry> entries;
  if (ReadCardDb(std::string_view(text.data(), text.size()), kNwOsXp, entries) != 0) std::abort();
  if (entries.size() > kMaxCardDbEntries) std::abort();
  for (const CardDbEntry& entry : entries) CheckEntry(entry);
  return 0;
}

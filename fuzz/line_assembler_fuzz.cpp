// The byte stream of a card, cut into lines and classified: any input must
// give lines of at most 1024 bytes and never read or write outside them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "devicelib/line.h"
#include "devicelib/line_assembler.h"
#include "devicelib/line_classifier.h"
#include "foundation/xlog.h"

namespace {

void Discard(const char*, void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  XLogSetSink(&Discard, nullptr);
  if (size == 0) return 0;
  // The first byte switches quote tracking on or off, and when to flip it.
  const bool tracking = data[0] & 1;
  const size_t flip_at = data[0] >> 1;
  GSM::LineAssembler assembler([](std::span<const uint8_t> line, bool header_pending) {
    if (line.empty() || line.size() > GSM::LineAssembler::kMaxLineLength) std::abort();
    const std::u16string text = GSM::DecodeAnswerBytes(line);
    if (text.size() > line.size()) std::abort();
    const GSM::LineClass c = GSM::ClassifyLine(text);
    if (c.kind == GSM::AnswerKindUnsolicited && c.unsolicited_type >= GSM::kUnsolicitedTypeCount) std::abort();
    if (c.kind == GSM::AnswerKindFinal && c.result_code != DV_S_OK && !DvFailed(c.result_code)) std::abort();
    return !header_pending && c.kind == GSM::AnswerKindUnsolicited &&
           (c.unsolicited_type == GSM::UnsolicitedTypeCmt || c.unsolicited_type == GSM::UnsolicitedTypeCds);
  }, [](std::span<const uint8_t> line) {
    if (line.size() > GSM::LineAssembler::kMaxLineLength) std::abort();
    return GSM::ClassifyLine(GSM::DecodeAnswerBytes(line)).kind == GSM::AnswerKindFinal;
  });
  assembler.SetQuoteTracking(tracking);
  for (size_t i = 1; i < size; ++i) {
    if (i == flip_at) assembler.SetQuoteTracking(!tracking);
    if (data[i] == 0x00 && i + 1 < size && data[i + 1] == 0x00) assembler.ClearInsideQuotes();  // a new command
    assembler.Feed(data[i]);
    if (assembler.PendingLength() > GSM::LineAssembler::kMaxLineLength) std::abort();
  }
  return 0;
}

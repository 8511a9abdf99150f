// The field readers on any line: a program of reader calls (one byte each,
// up to the first 0xFF byte) run on the text that follows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "devicelib/line.h"
#include "foundation/xlog.h"

namespace {

void Discard(const char*, void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  XLogSetSink(&Discard, nullptr);
  size_t program_end = 0;
  while (program_end < size && program_end < 64 && data[program_end] != 0xFF) ++program_end;
  const size_t text_start = program_end < size ? program_end + 1 : size;
  GSM::Line line(GSM::DecodeAnswerBytes(std::span(data + text_start, size - text_start)));

  for (size_t i = 0; i < program_end; ++i) {
    const uint8_t op = data[i];
    try {
      switch (op % 10) {
        case 0: line.SkipSpaces(); break;
        case 1: line.ReadInt(op & 0x10, -1); break;
        case 2: line.ReadQuoted(op & 0x10); break;
        case 3: line.ReadRest(); break;
        case 4: line.ExpectChar(static_cast<char16_t>(u' ' + (op >> 4)), op & 0x08); break;
        case 5: line.QuotedString(static_cast<GSM::QuotedStringMode>((op >> 4) % 3), op & 0x08); break;
        case 6: line.SetCursor(op >> 4); break;
        case 7: line.StartsWith(u"+CREG:"); break;
        case 8: line.ExpectChar(u',', true); break;
        case 9: line.ReadInt(); break;
      }
    } catch (const DvException& e) {
      if (e.code != DV_E_UNEXPECTED_ANSWER) std::abort();
    }
    if (line.Cursor() > line.Length()) std::abort();
  }
  return 0;
}

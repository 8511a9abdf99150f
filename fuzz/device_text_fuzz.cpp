// Arbitrary bytes as the card database's device-name patterns and name lists
// and as a device's property text. Pattern formatting must never treat the
// text as a printf format: the output is the input with at most the first
// "%d" replaced and "%%" folded, so it can never grow by more than the
// number's digits. The list split must give back the text with its commas.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "carddetect/device_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<char> bytes(data, data + size);
  const std::string_view text(bytes.data(), bytes.size());
  const std::u16string wide = OemToUtf16(text);
  if (wide.size() != text.size()) std::abort();  // 437 is a single-byte code page

  const std::u16string name = FormatDevicePattern(wide, 20);
  if (name.size() > wide.size() + 2) std::abort();

  const std::vector<std::u16string_view> items = SplitList(wide);
  std::u16string joined;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i != 0) joined += u',';
    joined += items[i];
  }
  if (joined != wide) std::abort();
  for (std::u16string_view item : items) {
    if (EqualsIgnoringCase(item, wide) && item.size() != wide.size()) std::abort();
    (void)StartsWithIgnoringCase(wide, item);
  }
  return 0;
}

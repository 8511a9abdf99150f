// The program's own string table (resources/strings.txt) as the application
// reads it.
#include <gtest/gtest.h>

#include <string>

#include "foundation/xmemory.h"
#include "foundation/xresource.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace {

using platform::GetLastError;
using platform::Utf16ToUtf8;

// The text of string `id` in UTF-8, or "<missing: error>" so that a failed
// comparison says why.
std::string Load(unsigned id) {
  char16_t* text = XLoadString(nullptr, id);
  if (text == nullptr) return "<missing: " + std::to_string(GetLastError()) + ">";
  std::string result = Utf16ToUtf8(text);
  XFree(text);
  return result;
}

TEST(StringTableTest, TextsTheProgramDependsOnLoadAsWritten) {
  struct Row {
    unsigned id;
    const char* text;
  };
  const Row rows[] = {
      {57344, "Vombel Connect"},
      {150, "Unable to continue.\nPlease ensure that there are no other applications using the device."},
      {57345,
       "Another application that uses the device was detected.\nIn order to run %s please terminate that "
       "application first."},
      {139, "Software\\Velta\\Velta"},
      {32779, "New\nCreate a new SMS message"},
      {61716, "Please enter no more than %1 characters."},
      {40016, "Incorrect password"},           // "+CME ERROR: 16"
      {40099, "Unknown firmware error (%d)."},  // no CME text of its own
      {42340, "No +CNMA acknowledgement expected"},
      {42999, "Unknown SMS error (%d)."},
  };
  for (const Row& row : rows) EXPECT_EQ(Load(row.id), row.text) << "string " << row.id;
}

// Every error text the table holds loads whole and reads as a sentence; an id
// without a text must be plainly missing, never a broken block.
TEST(StringTableTest, EveryCardErrorTextIsNonEmpty) {
  struct Range {
    const char* what;
    unsigned first;
    unsigned last;
    int at_least;  // the list's numbers plus the fall-back
  };
  const Range ranges[] = {{"+CME ERROR", 40000, 40999, 20}, {"+CMS ERROR", 42000, 42999, 24}};
  for (const Range& range : ranges) {
    int found = 0;
    for (unsigned id = range.first; id <= range.last; ++id) {
      if (GetStringResourceImage(nullptr, id) == nullptr) {
        EXPECT_EQ(GetLastError(), platform::kErrorResourceNameNotFound) << "string " << id;
        continue;
      }
      ++found;
      const std::string text = Load(id);
      ASSERT_FALSE(text.empty()) << "string " << id;
      EXPECT_TRUE(text[0] >= 'A' && text[0] <= 'Z') << "string " << id << " \"" << text << "\"";
    }
    EXPECT_GE(found, range.at_least) << range.what;
  }
}

}  // namespace

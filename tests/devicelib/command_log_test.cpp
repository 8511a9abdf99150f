#include <gtest/gtest.h>

#include <string>

#include "devicelib/command_log.h"
#include "devicelib/result_codes.h"
#include "platform/text.h"
#include "tests/support/code_of.h"
#include "tests/support/log_capture.h"

namespace {

using GSM::LogMaskedCommand;
using GSM::MaskQuotedText;

struct Row {
  std::u16string command;
  size_t from;
  std::u16string masked;
};

TEST(CommandLogTest, EveryQuotedCharacterBecomesX) {
  const Row rows[] = {
      {u"AT+CPIN=\"1234\"", 0, u"AT+CPIN=\"XXXX\""},
      // The facility name is quoted too, so it is masked as well.
      {u"AT+CLCK=\"SC\",1,\"1234\"", 0, u"AT+CLCK=\"XX\",1,\"XXXX\""},
      {u"AT+CPIN=\"12", 0, u"AT+CPIN=\"XX"},
      {u"ATZ", 0, u"ATZ"},
      // From a position on: a pair that starts before it is masked from there.
      {u"AT$QCPDPP=1,1,\"secret\",\"user\"", 24, u"AT$QCPDPP=1,1,\"secret\",\"XXXX\""},
      {u"AT$QCPDPP=1,1,\"secret\",\"user\"", 18, u"AT$QCPDPP=1,1,\"secXXX\",\"XXXX\""},
      {u"AT+CPIN=\"1234\"", 14, u"AT+CPIN=\"1234\""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(MaskQuotedText(row.command, row.from), row.masked)
        << platform::Utf16ToUtf8(row.command) << " from " << row.from;
  }
}

TEST(CommandLogTest, APositionOutsideTheTextIsRejected) {
  EXPECT_EQ(testing_support::CodeOf([] { MaskQuotedText(u"AT+CPIN=\"1234\"", 15); }),
            DV_E_INVALID_ARGUMENT);
  EXPECT_THROW(LogMaskedCommand(u"", 1), DvException);
}

TEST(CommandLogTest, TheMaskedLineIsLoggedWhateverTheThreshold) {
  testing_support::LogCapture log(3);
  LogMaskedCommand(u"AT+CPIN=\"1234\"");
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"Dv: Modem write: [AT+CPIN=\"XXXX\"]"});
}

}  // namespace

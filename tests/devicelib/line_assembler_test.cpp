#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "devicelib/line_assembler.h"
#include "tests/support/log_capture.h"

namespace {

using GSM::LineAssembler;

// Collects completed lines. Like the engine, it holds an unsolicited message
// header (+CMT: / +CDS:) that is not already joined, so its PDU line follows.
class Collector {
 public:
  explicit Collector(bool quote_tracking = false)
      : assembler_([this](std::span<const uint8_t> line, bool header_pending) {
          std::string text(line.begin(), line.end());
          const bool header = text.starts_with("+CMT:") || text.starts_with("+CDS:");
          if (header && !header_pending) return true;
          lines_.push_back(std::move(text));
          return false;
        },
                   [](std::span<const uint8_t> line) {
                     const std::string text(line.begin(), line.end());
                     return text == "OK" || text == "ERROR" || text.starts_with("+CME ERROR: ");
                   }) {
    assembler_.SetQuoteTracking(quote_tracking);
  }

  void Feed(std::string_view bytes) {
    assembler_.Feed(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  }

  LineAssembler& assembler() { return assembler_; }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  LineAssembler assembler_;
  std::vector<std::string> lines_;
};

std::string Show(const std::vector<std::string>& lines) {
  std::string out = "[";
  for (const auto& line : lines) {
    out += " '";
    for (char c : line) {
      if (c == '\r') out += "<CR>";
      else if (c == '\n') out += "<LF>";
      else out += c;
    }
    out += "'";
  }
  return out + " ]";
}

struct Row {
  const char* what;
  bool quote_tracking;
  std::string bytes;
  std::vector<std::string> lines;
  size_t pending = 0;  // bytes of an unfinished line left in the assembler
};

// Every row is fed whole and cut in two at every position: the state between
// two reads of the port must carry everything over.
void CheckEverySplit(const Row& row) {
  for (size_t cut = 0; cut <= row.bytes.size(); ++cut) {
    Collector collector(row.quote_tracking);
    collector.Feed(std::string_view(row.bytes).substr(0, cut));
    collector.Feed(std::string_view(row.bytes).substr(cut));
    EXPECT_EQ(collector.lines(), row.lines)
        << row.what << " (cut at " << cut << "): got " << Show(collector.lines()) << ", expected "
        << Show(row.lines);
    EXPECT_EQ(collector.assembler().PendingLength(), row.pending) << row.what << " (cut at " << cut << ")";
  }
}

TEST(LineAssemblerTest, FramesLinesAsTheCardSendsThem) {
  const Row rows[] = {
      {"echo with its own CR, then OK", false, "AT\r\r\nOK\r\n", {"AT\r", "OK"}},
      {"blank lines complete nothing", false, "\r\n\r\n\r\nOK\r\n", {"OK"}},
      {"CME error", false, "\r\n+CME ERROR: 10\r\n", {"+CME ERROR: 10"}},
      {"a CR not followed by LF stays in the line", false, "A\rB\r\n", {"A\rB"}},
      {"repeated CRs before the end stay", false, "A\r\r\r\n", {"A\r\r"}},
      {"a lone LF is text", false, "A\nB\r\n", {"A\nB"}},
      {"a line without its end waits", false, "OK\r\n+CSQ: 1", {"OK"}, 7},
      // from testdata/at_answers.json (AT+CMGL=4, Pantech)
      {"listing with PDUs",
       false,
       "+CMGL: 17,3,35\r\n079100F40D1101000F001000B917118336058F300001954747A0E4ACF41F27298CDCE83C6EF371B0402814020\r\n"
       "OK\r\n",
       {"+CMGL: 17,3,35",
        "079100F40D1101000F001000B917118336058F300001954747A0E4ACF41F27298CDCE83C6EF371B0402814020", "OK"}},
      // from testdata/at_answers.json (a URC right after the final result)
      {"unsolicited after final", false, "\r\nOK\r\n\r\n+CMTI: \"ME\",1\r\n", {"OK", "+CMTI: \"ME\",1"}},
  };
  for (const auto& row : rows) CheckEverySplit(row);
}

TEST(LineAssemblerTest, PromptCompletesWithoutLineEndOnlyAfterAnEmptyLine) {
  const Row rows[] = {
      {"prompt after an empty line", false, "\r\n> ", {"> "}},
      {"prompt then the card's own line end", false, "\r\n> \r\n", {"> "}},
      {"no prompt after a non-empty line", false, "OK\r\n> ", {"OK"}, 2},
      {"no prompt at the very start", false, "> ", {}, 2},
      {"'>' then CR is an ordinary line", false, "\r\n>\r\n", {">"}},
      {"CR between '>' and the blank keeps it text", false, "\r\n>\r ", {}, 3},
      {"prompt, then the answer of the message", false, "\r\n> \r\n+CMGW: 3\r\n\r\nOK\r\n",
       {"> ", "+CMGW: 3", "OK"}},
  };
  for (const auto& row : rows) CheckEverySplit(row);
}

TEST(LineAssemblerTest, JoinsAMessageHeaderWithItsPduLine) {
  const Row rows[] = {
      {"+CMT: header and PDU", false, "\r\n+CMT: ,24\r\n0791\r\n", {"+CMT: ,24;0791"}},
      {"+CDS: header and PDU", false, "\r\n+CDS: 6\r\n0006\r\n", {"+CDS: 6;0006"}},
      {"an empty line between header and PDU", false, "+CMT: ,24\r\n\r\n0791\r\n", {"+CMT: ,24;0791"}},
      {"two messages in a row", false, "+CMT: ,1\r\nAA\r\n+CMT: ,2\r\nBB\r\n", {"+CMT: ,1;AA", "+CMT: ,2;BB"}},
      {"the PDU line is not yet complete", false, "+CMT: ,24\r\n07", {}, 12},
      // from testdata/at_answers.json: a card that ends the PDU with CR alone
      {"PDU ended by CR only, then CR LF",
       false,
       "+CMT: ,23\r\n07918497483252F0040B918496445078F700007121320144744004D4F29C0E\r\r\n",
       {"+CMT: ,23;07918497483252F0040B918496445078F700007121320144744004D4F29C0E\r"}},
      {"a line after the joined one is its own", false, "+CMT: ,1\r\nAA\r\nOK\r\n", {"+CMT: ,1;AA", "OK"}},
  };
  for (const auto& row : rows) CheckEverySplit(row);
}

TEST(LineAssemblerTest, QuoteTrackingKeepsLineEndsInsideQuotes) {
  const Row rows[] = {
      {"operator name with CR LF", true, "+COPS: 0,0,\"A\r\nB\",2\r\nOK\r\n", {"+COPS: 0,0,\"A\r\nB\",2", "OK"}},
      {"the same without tracking", false, "+COPS: 0,0,\"A\r\nB\",2\r\nOK\r\n",
       {"+COPS: 0,0,\"A", "B\",2", "OK"}},
      {"a CR before the opening quote stays in front of it", true, "A\r\"x\"\r\n", {"A\r\"x\""}},
      // A card that cuts the operator name short: the quote ends where the
      // final result begins.
      {"an unclosed quote ends at the final result", true, "\"A\r\nOK\r\n", {"\"A", "OK"}},
      {"an unclosed quote ends at a final error", true, "+COPS: 0,0,\"Vomb\r\n\r\n+CME ERROR: 30\r\n",
       {"+COPS: 0,0,\"Vomb", "+CME ERROR: 30"}},
      {"a field cut right after its quote", true, "+COPS: 0,0,\"\r\n\r\nOK\r\n", {"+COPS: 0,0,\"", "OK"}},
      {"line ends inside the quote before the final result stay", true, "+COPS: 0,0,\"A\r\nB\r\nOK\r\n",
       {"+COPS: 0,0,\"A\r\nB", "OK"}},
      {"a line that is no final result stays inside the quote", true, "\"A\r\nOK then\r\n", {}, 13},
      {"empty quotes", true, "+COPS: 0,0,\"\"\r\n", {"+COPS: 0,0,\"\""}},
  };
  for (const auto& row : rows) CheckEverySplit(row);
}

TEST(LineAssemblerTest, ClearingInsideQuotesEndsAQuoteTheLastAnswerLeftOpen) {
  Collector collector(true);
  collector.Feed("+COPS: 0,0,\"broken\r\n");
  EXPECT_TRUE(collector.lines().empty());
  collector.assembler().Reset();
  collector.assembler().ClearInsideQuotes();
  collector.Feed("OK\r\n");
  EXPECT_EQ(collector.lines(), std::vector<std::string>{"OK"});
}

TEST(LineAssemblerTest, ANewCommandDropsWhatAnOpenQuoteLeftBehind) {
  Collector collector(true);
  collector.Feed("+COPS: 0,0,\"broken\r\n");
  collector.assembler().ClearInsideQuotes();
  EXPECT_EQ(collector.assembler().PendingLength(), 0u);
  collector.Feed("+CSQ: 20,99\r\nOK\r\n");
  EXPECT_EQ(collector.lines(), (std::vector<std::string>{"+CSQ: 20,99", "OK"}));

  // Outside quotes a half line is kept: it may be the start of the answer.
  Collector plain(true);
  plain.Feed("+CS");
  plain.assembler().ClearInsideQuotes();
  plain.Feed("Q: 1\r\n");
  EXPECT_EQ(plain.lines(), std::vector<std::string>{"+CSQ: 1"});
}

TEST(LineAssemblerTest, DropsALineThatReaches1024BytesAndStartsANewOne) {
  testing_support::LogCapture log(2);
  Collector collector;
  collector.Feed(std::string(1030, 'x') + "\r\n");
  EXPECT_EQ(collector.lines(), std::vector<std::string>{"xxxxxx"});
  EXPECT_EQ(log.Count("Dv: Modem::OnRxChar(): too long line (>=1024) received, skipping it"), 1u);

  // 1023 bytes are a line; with 1024 the CR that follows finds the buffer full.
  Collector longest;
  longest.Feed(std::string(1023, 'y') + "\r\n" + std::string(1024, 'z') + "\r\nOK\r\n");
  EXPECT_EQ(longest.lines(), (std::vector<std::string>{std::string(1023, 'y'), "OK"}));
}

TEST(LineAssemblerTest, AHeldHeaderIsForgottenWhenItsJoinedLineOverflows) {
  testing_support::LogCapture log(2);
  Collector collector;
  collector.Feed("+CMT: ,24\r\n" + std::string(1100, 'A') + "\r\n+CMT: ,1\r\nBB\r\n");
  // The overflowing PDU is lost, the header with it; the rest of the flood
  // is a line of its own and the next message is whole.
  EXPECT_EQ(collector.lines(), (std::vector<std::string>{std::string(1100 - (1024 - 10), 'A'), "+CMT: ,1;BB"}));
}

TEST(LineAssemblerTest, AFailingOwnerLosesOnlyThatLine) {
  int calls = 0;
  std::vector<std::string> lines;
  LineAssembler assembler([&](std::span<const uint8_t> line, bool) {
    if (++calls == 1) throw std::runtime_error("no memory");
    lines.emplace_back(line.begin(), line.end());
    return false;
  });
  const std::string bytes = "first\r\nsecond\r\n";
  EXPECT_THROW(assembler.Feed(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), 7)),
               std::runtime_error);
  assembler.Feed(std::span(reinterpret_cast<const uint8_t*>(bytes.data()) + 7, bytes.size() - 7));
  EXPECT_EQ(lines, std::vector<std::string>{"second"});
}

}  // namespace

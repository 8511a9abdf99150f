#include "platform/sim_link_frames.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace platform {
namespace {

using Type = LinkFrameType;

TEST(SimLinkFramesTest, FramesReadAndWrite) {
  struct Row {
    std::string line;
    std::optional<LinkFrame> frame;
  } rows[] = {
      {"AUTH user secret", LinkFrame{Type::kAuth, {"user", "secret"}}},
      {"AUTH a%20b p%25%2B%0D%0A", LinkFrame{Type::kAuth, {"a b", "p%+\r\n"}}},
      {"AUTH  ", LinkFrame{Type::kAuth, {"", ""}}},  // no user name, no password
      {"AUTH-ACK", LinkFrame{Type::kAuthAck, {}}},
      {"AUTH-NAK", LinkFrame{Type::kAuthNak, {}}},
      {"ADDR-REQ", LinkFrame{Type::kAddressRequest, {}}},
      {"ADDR 10.64.12.34", LinkFrame{Type::kAddress, {"10.64.12.34"}}},
      {"ECHO 7-%00%FF", LinkFrame{Type::kEcho, {std::string("7-\0\xFF", 4)}}},
      {"ECHO-REPLY x", LinkFrame{Type::kEchoReply, {"x"}}},
      {"REJECT", LinkFrame{Type::kReject, {}}},
      // Malformed.
      {"AUTH user", std::nullopt},
      {"AUTH a b c", std::nullopt},
      {"AUTH-ACK now", std::nullopt},
      {"ADDR", std::nullopt},
      {"ECHO 1+1", std::nullopt},  // a bare '+' is never part of a frame
      {"ECHO %4", std::nullopt},
      {"ECHO %", std::nullopt},
      {"ECHO %GG", std::nullopt},
      {"auth user secret", std::nullopt},
      {"", std::nullopt},
      {"ATD*99***1#", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(ParseLinkFrame(row.line), row.frame);
    if (row.frame) {
      const std::string written = FormatLinkFrame(*row.frame);
      EXPECT_TRUE(written.ends_with("\r\n"));
      EXPECT_EQ(written.find('+'), std::string::npos);
      EXPECT_EQ(ParseLinkFrame(written.substr(0, written.size() - 2)), row.frame);
    }
  }
}

TEST(SimLinkFramesTest, SplitterGivesTheSameLinesWhereverTheStreamIsCut) {
  const std::string overlong(kMaxLinkLine + 1, 'x');
  const std::string stream = "\r\nCONNECT\r\nAUTH-ACK\r\n\n" + overlong + "\r\nADDR 10.1.2.3\rNO CARRIER\n";
  const std::vector<std::string> expected = {"CONNECT", "AUTH-ACK", "<overlong>", "ADDR 10.1.2.3", "NO CARRIER"};
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    LinkLineSplitter splitter;
    std::vector<std::string> lines;
    // Two chunks, cut at `cut`: the splitter keeps no chunk boundaries.
    for (const std::string& chunk : {stream.substr(0, cut), stream.substr(cut)}) {
      for (char b : chunk) {
        switch (splitter.Take(b)) {
          case LinkLineSplitter::Result::kNothing:
            break;
          case LinkLineSplitter::Result::kLine:
            lines.push_back(splitter.Line());
            break;
          case LinkLineSplitter::Result::kOverlong:
            lines.push_back("<overlong>");
            break;
        }
      }
    }
    EXPECT_EQ(lines, expected) << "cut at " << cut;
  }
  LinkLineSplitter exact;
  for (char b : std::string(kMaxLinkLine, 'y')) exact.Take(b);
  EXPECT_EQ(exact.Take('\n'), LinkLineSplitter::Result::kLine) << "a line of the greatest length is kept";
}

TEST(SimLinkFramesTest, ModemLines) {
  struct Row {
    const char* line;
    ModemLineKind kind;
  } rows[] = {
      {"OK", ModemLineKind::kOk},
      {"CONNECT", ModemLineKind::kConnect},
      {"CONNECT 7200000", ModemLineKind::kConnect},
      {"NO CARRIER", ModemLineKind::kNoCarrier},
      {"ERROR", ModemLineKind::kError},
      {"+CME ERROR: 30", ModemLineKind::kError},
      {"BUSY", ModemLineKind::kError},
      {"NO ANSWER", ModemLineKind::kError},
      {"NO DIALTONE", ModemLineKind::kError},
      {"ATD*99***1#", ModemLineKind::kOther},  // the card's echo
      {"CONNECTED", ModemLineKind::kOther},
      {"AUTH-ACK", ModemLineKind::kOther},
      {"OK ", ModemLineKind::kOther},
  };
  for (const Row& row : rows) EXPECT_EQ(ClassifyModemLine(row.line), row.kind) << row.line;
}

}  // namespace
}  // namespace platform

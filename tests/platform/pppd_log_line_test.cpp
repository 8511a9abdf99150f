#include "platform/pppd_log_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

using K = PppdLogKind;

TEST(PppdLogLineTest, LinesOfPppdAndChat) {
  struct Row {
    const char* line;
    PppdLogLine expected;
  } rows[] = {
      // pppd 2.4.9 (Debian 12) run here, as the tests run it, without /dev/ppp.
      {"Plugin passwordfd.so loaded.", {K::kOther, "", ""}},
      {"Couldn't open the /dev/ppp device: No such file or directory", {K::kNoKernelSupport, "", ""}},
      {"/usr/sbin/pppd: You need to create the /dev/ppp device node by", {K::kNoKernelSupport, "", ""}},
      {"\tmknod /dev/ppp c 108 0", {K::kOther, "", ""}},
      {"/usr/sbin/pppd: Can't open options file /etc/ppp/peers/vombel-connect: No such file or directory",
       {K::kOptionsFileMissing, "/etc/ppp/peers/vombel-connect", "No such file or directory"}},
      {"/usr/sbin/pppd: unrecognized option '/dev/nonexist'", {K::kOther, "", ""}},
      // chat 2.4.9 (-s -S) on a pseudo-terminal playing the card: its SAY
      // line, then "\r" and its verdict.
      {"vombel-connect: dialling", {K::kDialling, "", ""}},
      {"\rFailed (ERROR)", {K::kChatFailed, "ERROR", ""}},
      {"\rFailed (NO CARRIER)", {K::kChatFailed, "NO CARRIER", ""}},
      {"\rFailed", {K::kChatFailed, "", ""}},
      // pppd's messages as its sources write them.
      {"Connect script failed", {K::kConnectScriptFailed, "", ""}},
      {"Serial connection established.", {K::kSerialConnected, "", ""}},
      {"Using interface ppp0", {K::kInterface, "ppp0", ""}},
      {"Connect: ppp0 <--> /dev/ttyUSB2", {K::kConnect, "ppp0", "/dev/ttyUSB2"}},
      {"PAP authentication succeeded", {K::kAuthSucceeded, "", ""}},
      {"CHAP authentication succeeded", {K::kAuthSucceeded, "", ""}},
      {"PAP authentication failed", {K::kAuthFailed, "", ""}},
      {"CHAP authentication failed", {K::kAuthFailed, "", ""}},
      {"PAP authentication failed due to protocol-reject", {K::kAuthFailed, "", ""}},
      {"PAP peer authentication failed for \"x\"", {K::kOther, "", ""}},
      {"local  IP address 10.64.109.3", {K::kLocalIp, "10.64.109.3", ""}},
      {"remote IP address 10.64.64.64", {K::kRemoteIp, "10.64.64.64", ""}},
      {"primary   DNS address 10.11.12.13", {K::kOther, "", ""}},
      {"Modem hangup", {K::kModemHangup, "", ""}},
      {"Connection terminated.", {K::kTerminated, "", ""}},
      {"Device /dev/ttyUSB2 is locked by pid 4242", {K::kDeviceLocked, "/dev/ttyUSB2", ""}},
      {"Failed to open /dev/ttyUSB2: Device or resource busy",
       {K::kOpenFailed, "/dev/ttyUSB2", "Device or resource busy"}},
      {"Failed to open /dev/ttyUSB2: Permission denied", {K::kOpenFailed, "/dev/ttyUSB2", "Permission denied"}},
      {"Sorry - this system lacks PPP kernel support", {K::kNoKernelSupport, "", ""}},
      {"Please load the ppp_generic kernel module.", {K::kNoKernelSupport, "", ""}},
      {"pppd: must be root to run pppd, since it is not setuid-root", {K::kNotRoot, "", ""}},
      {"LCP: timeout sending Config-Requests", {K::kNegotiationTimeout, "", ""}},
      {"IPCP: timeout sending Config-Requests", {K::kNegotiationTimeout, "", ""}},
      {"  Serial connection established.  \r\n", {K::kSerialConnected, "", ""}},
      // Look-alikes and damage.
      {"", {K::kOther, "", ""}},
      {"Using interface ", {K::kOther, "", ""}},
      {"Using interface ../../etc", {K::kOther, "", ""}},
      {"Using interface ppp0 extra", {K::kOther, "", ""}},
      {"Using interface averyveryverylongname", {K::kOther, "", ""}},
      {"Connect: <--> /dev/x", {K::kOther, "", ""}},
      {"Connect: ppp0", {K::kOther, "", ""}},
      {"local  IP address 10.1.2", {K::kOther, "", ""}},
      {"local  IP address 1000.1.2.3", {K::kOther, "", ""}},
      {"local  IP address 10.1.2.3 ; rm", {K::kOther, "", ""}},
      {"localIP address 10.1.2.3", {K::kOther, "", ""}},
      {"Failed (unclosed", {K::kOther, "", ""}},
      {"some pppd: Modem hangup", {K::kOther, "", ""}},
      {"vombel-connect: dialling again", {K::kOther, "", ""}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ParsePppdLogLine(row.line), row.expected) << '"' << row.line << '"';
  }
}

TEST(PppdLogLineTest, AssemblerGivesTheSameLinesHoweverTheBytesArrive) {
  const std::string stream =
      "Plugin passwordfd.so loaded.\nvombel-connect: dialling\n\rFailed (ERROR)\n\nConnect script failed";
  const std::vector<std::string> expected = {"Plugin passwordfd.so loaded.", "vombel-connect: dialling",
                                             "\rFailed (ERROR)", ""};
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    PppdLogAssembler assembler;
    std::vector<std::string> lines;
    assembler.Feed(std::string_view(stream).substr(0, cut), lines);
    assembler.Feed(std::string_view(stream).substr(cut), lines);
    EXPECT_EQ(lines, expected) << "cut at " << cut;
    EXPECT_EQ(assembler.Finish(), std::optional<std::string>("Connect script failed")) << "cut at " << cut;
    EXPECT_EQ(assembler.Finish(), std::nullopt);
  }
}

TEST(PppdLogLineTest, AssemblerCutsOverlongLines) {
  PppdLogAssembler assembler;
  std::vector<std::string> lines;
  const std::string longer(PppdLogAssembler::kMaxLine + 10, 'x');
  assembler.Feed(longer.substr(0, 700), lines);
  assembler.Feed(longer.substr(700) + "\nModem hangup\n", lines);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(PppdLogAssembler::kMaxLine, 'x'));
  EXPECT_EQ(lines[1], "Modem hangup");
}

}  // namespace
}  // namespace platform

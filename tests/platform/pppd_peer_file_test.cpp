#include "platform/pppd_peer_file.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/dial_up.h"

namespace platform {
namespace {

// The entry the device library creates for its temporary connection.
PeerFileEntry LibraryEntry() {
  PeerFileEntry entry;
  entry.options = 0x10118;
  entry.country_id = 1;
  entry.country_code = 1;
  entry.phone_number = "*99***1#";
  entry.net_protocols = RASNP_Ip;
  entry.framing_protocol = RASFP_Ppp;
  entry.device_type = "modem";
  entry.device_name = "Vombel Mobile Connect - 3G Modem";
  entry.sub_entries = 1;
  entry.dial_mode = 2;
  entry.idle_disconnect_seconds = 0xFFFFFFFF;
  return entry;
}

TEST(PppdPeerFileTest, WrittenEntriesReadBackFieldForField) {
  PeerFileEntry spaced = LibraryEntry();
  spaced.device_name = "  Modem # with a hash ";  // kept as it is, blanks included
  spaced.options = 0;                              // every pppd-mapped bit off
  spaced.idle_disconnect_seconds = 600;            // as pppd's idle option
  PeerFileEntry huge_idle = LibraryEntry();
  huge_idle.idle_disconnect_seconds = 0x80000000;  // beyond pppd's int: a "#@" line
  PeerFileEntry empty;
  empty.options = RASEO_IpHeaderCompression | kRaseoSwCompression;  // what an empty file reads as

  for (const PeerFileEntry& entry : {LibraryEntry(), spaced, huge_idle, empty}) {
    const std::string text = FormatPeerFile("VLConnect", entry);
    EXPECT_EQ(ParsePeerFile(text), entry) << text;
  }
}

TEST(PppdPeerFileTest, LibraryEntryBecomesThesePppdOptions) {
  const std::string text = FormatPeerFile("VLConnect", LibraryEntry());
  EXPECT_NE(text.find("\nset \"VOMBEL_DIAL_NUMBER=*99***1#\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\ndefaultroute\n"), std::string::npos);  // RASEO_RemoteDefaultGateway
  EXPECT_NE(text.find("\nnoccp\n"), std::string::npos);         // no RASEO_SwCompression
  EXPECT_EQ(text.find("novj"), std::string::npos);              // RASEO_IpHeaderCompression
  EXPECT_EQ(text.find("\nidle "), std::string::npos);           // idle disconnect off
  EXPECT_NE(text.find("\n#@ idle-disconnect 4294967295\n"), std::string::npos);
  EXPECT_NE(text.find("\n#@ options 0x00010100\n"), std::string::npos);
}

TEST(PppdPeerFileTest, HandWrittenAndDamagedFiles) {
  struct Row {
    const char* what;
    std::string text;
    std::string number;
    uint32_t options;
    uint32_t idle;
    std::string device_name;
  } rows[] = {
      {"empty", "", "", 0x208, 0, ""},
      {"pppd quoting", "set 'VOMBEL_DIAL_NUMBER=*99#'\nnovj noccp\n", "*99#", 0, 0, ""},
      {"escapes", "set VOMBEL_DIAL_NUMBER=\\*99\\#\\x31\\061", "*99#11", 0x208, 0, ""},
      {"unquoted hash starts a comment", "set VOMBEL_DIAL_NUMBER=*99#1\n", "*99", 0x208, 0, ""},
      {"other variables", "set OTHER=1 set VOMBEL_DIAL_NUMBERX=2", "", 0x208, 0, ""},
      {"later option wins", "defaultroute nodefaultroute vj novj vj", "", 0x208, 0, ""},
      {"idle option over the comment", "#@ idle-disconnect 7\nidle 30", "", 0x208, 30, ""},
      {"idle 0 leaves the comment", "#@ idle-disconnect 7\nidle 0", "", 0x208, 7, ""},
      {"malformed numbers ignored", "#@ options 12x\n#@ idle-disconnect -1\nidle x", "", 0x208, 0, ""},
      {"number beyond 32 bits", "#@ options 0x100000000", "", 0x208, 0, ""},
      {"option bits on the comment line don't count", "#@ options 0x10", "", 0x208, 0, ""},
      {"CRLF and a missing value", "#@ device-name Modem\r\n#@ device-type\r\n#@\n", "", 0x208, 0, "Modem"},
      {"set without its argument", "set", "", 0x208, 0, ""},
      {"unterminated quote", "set \"VOMBEL_DIAL_NUMBER=1", "1", 0x208, 0, ""},
      {"backslash at the end", "novj \\", "", 0x200, 0, ""},
      {"continued line", "no\\\nvj", "", 0x200, 0, ""},
      {"binary", std::string("\0\xff#@ x\n\"\\", 9), "", 0x208, 0, ""},
  };
  for (const Row& row : rows) {
    const PeerFileEntry entry = ParsePeerFile(row.text);
    EXPECT_EQ(entry.phone_number, row.number) << row.what;
    EXPECT_EQ(entry.options, row.options) << row.what;
    EXPECT_EQ(entry.idle_disconnect_seconds, row.idle) << row.what;
    EXPECT_EQ(entry.device_name, row.device_name) << row.what;
  }
}

TEST(PppdPeerFileTest, DialStringsAndCommentTexts) {
  EXPECT_TRUE(IsDialString("*99***1#"));
  EXPECT_TRUE(IsDialString("+49,,123pPtTwW!@ABCDabcd"));
  EXPECT_TRUE(IsDialString(""));
  EXPECT_TRUE(IsDialString(std::string(128, '1')));
  EXPECT_FALSE(IsDialString(std::string(129, '1')));
  for (const char* bad : {"*99#;", "1 2", "\"1", "1\\T", "$X", "1\r", "`id`", "12E"}) {
    EXPECT_FALSE(IsDialString(bad)) << bad;
  }
  EXPECT_TRUE(IsCommentText("Modem \xc3\xa4 #x"));
  EXPECT_FALSE(IsCommentText("two\nlines"));
  EXPECT_FALSE(IsCommentText("del\x7f"));
}

}  // namespace
}  // namespace platform

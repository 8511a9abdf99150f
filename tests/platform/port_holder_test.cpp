#include "platform/port_holder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/port_holder_text.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

TEST(PortHolderTextTest, ProcEntriesAndCommTexts) {
  struct PidRow {
    const char* entry;
    std::optional<int> pid;
  } const pids[] = {
      {"1", 1}, {"4242", 4242}, {"2147483647", 2147483647},
      {"2147483648", std::nullopt}, {"99999999999", std::nullopt}, {"0", std::nullopt},
      {"01", std::nullopt}, {"self", std::nullopt}, {"12a", std::nullopt}, {"", std::nullopt},
      {"-5", std::nullopt},
  };
  for (const auto& row : pids) EXPECT_EQ(PidOfProcEntry(row.entry), row.pid) << row.entry;

  struct CommRow {
    std::string comm;
    std::string name;
  } const comms[] = {
      {"ModemManager\n", "ModemManager"},
      {"minicom", "minicom"},
      {"", ""},
      {"two\nlines\n", "two"},
      {"esc\x1b[2Jape\n", "esc?[2Jape"},
      {std::string("nul\0byte", 8), "nul?byte"},
      {"caf\xc3\xa9", "caf??"},
      {std::string(100, 'x'), std::string(64, 'x')},
  };
  for (const auto& row : comms) EXPECT_EQ(ProgramNameOfComm(row.comm), row.name) << row.comm;

  EXPECT_TRUE(FdLinkIsPort("/dev/ttyUSB2", "/dev/ttyUSB2"));
  EXPECT_FALSE(FdLinkIsPort("/dev/ttyUSB20", "/dev/ttyUSB2"));
  EXPECT_FALSE(FdLinkIsPort("/dev/ttyUSB2 (deleted)", "/dev/ttyUSB2"));
  EXPECT_FALSE(FdLinkIsPort("", ""));
}

TEST(PortHolderTextTest, SentenceNamesTheHolderAndTheRemedy) {
  EXPECT_EQ(PortInUseText("/dev/ttyUSB2", "ModemManager"),
            "ModemManager is using the card's port /dev/ttyUSB2 and would not hand it over: stop "
            "ModemManager (\"sudo systemctl stop ModemManager\") and try again.");
  EXPECT_EQ(PortInUseText("/dev/ttyUSB2", "minicom"),
            "The program \"minicom\" is using the card's port /dev/ttyUSB2: close it and try again.");
  EXPECT_EQ(PortInUseText("/dev/ttyUSB2", ""),
            "Another program is using the card's port /dev/ttyUSB2: close it and try again.");
}

// A /proc of a few processes: two hold the port, one holds a port whose
// name starts alike, one held a node since deleted, and entries that are no
// process at all.
TEST(PortHolderTest, FindsTheProcessesThatHoldThePortInAFixtureProc) {
  testing_support::TempDir dir("vombel-proc");
  const std::string proc = dir.Path() + "/proc";
  auto process = [&proc](const std::string& pid, const std::string& comm,
                         const std::vector<std::pair<std::string, std::string>>& fds) {
    const std::string base = proc + "/" + pid;
    ASSERT_EQ(::mkdir(base.c_str(), 0755), 0) << base;
    ASSERT_EQ(::mkdir((base + "/fd").c_str(), 0755), 0);
    std::ofstream(base + "/comm") << comm;
    for (const auto& [fd, target] : fds) ASSERT_EQ(::symlink(target.c_str(), (base + "/fd/" + fd).c_str()), 0);
  };
  ASSERT_EQ(::mkdir(proc.c_str(), 0755), 0);
  process("100", "minicom\n", {{"0", "/dev/pts/3"}, {"3", "/dev/ttyUSB2"}});
  process("50", "ModemManager\n", {{"9", "socket:[1234]"}, {"12", "/dev/ttyUSB2"}});
  process("200", "gone\n", {{"4", "/dev/ttyUSB2 (deleted)"}});
  process("300", "other\n", {{"4", "/dev/ttyUSB20"}});
  process("0400", "nopid\n", {{"1", "/dev/ttyUSB2"}});
  ASSERT_EQ(::mkdir((proc + "/400").c_str(), 0755), 0);  // a process that ended while we looked
  ASSERT_EQ(::symlink("100", (proc + "/self").c_str()), 0);

  EXPECT_EQ(FindPortHolders("/dev/ttyUSB2", proc),
            (std::vector<PortHolder>{{50, "ModemManager"}, {100, "minicom"}}));
  EXPECT_TRUE(FindPortHolders("/dev/ttyUSB7", proc).empty());
  EXPECT_TRUE(FindPortHolders("/dev/ttyUSB2", dir.Path() + "/none").empty());
}

}  // namespace
}  // namespace platform

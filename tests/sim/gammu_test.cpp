// The simulated card as a common SMS client sees it: gammu sends, lists and
// deletes messages over the card's AT port as it would on a real card. Runs
// where gammu is installed (scripts/setup installs it) and skips elsewhere.
// gammu runs on real time; the card answers at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/sim_card_builder.h"
#include "tests/support/temp_dir.h"

namespace {

std::string FindGammu() {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/gammu";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

struct ShellRun {
  int status = -1;
  std::string output;
};

// `command` through the shell, standard error folded into the output.
ShellRun RunShell(const std::string& command) {
  ShellRun run;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer;
  for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) run.output.append(buffer.data(), n);
  run.status = ::pclose(pipe);
  return run;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(GammuTest, SendsListsAndDeletesMessages) {
  const std::string gammu = FindGammu();
  if (gammu.empty()) GTEST_SKIP() << "gammu is not installed (scripts/setup installs it); skipped";

  auto card = sim::NewSimCard()
                  .SmsStorage(5)
                  .WithStoredSms({"+491710760000", "+4912345", "First from the network", {2026, 3, 4, 5, 6, 7, 4}, false}, 0)
                  .WithStoredSms({"+491710760000", "+4967890", "Second one", {2026, 3, 4, 5, 7, 0, 4}, false}, 1)
                  .Build();
  ASSERT_TRUE(card);
  testing_support::TempDir dir("vombel-gammu");
  const std::string config = dir.Path() + "/gammurc";
  const std::string batch = dir.Path() + "/commands";
  std::ofstream(config) << "[gammu]\ndevice = " << card->AtPortPath() << "\nconnection = at\n";
  // One session for everything: gammu's start-up takes seconds of its own.
  std::ofstream(batch) << "sendsms TEXT +491701112233 -text \"Hello from gammu\" -report\n"
                          "getallsms\n"
                          "deletesms 1 1\n"
                          "getallsms\n";

  const ShellRun run = RunShell("timeout 60 " + gammu + " -c " + config + " batch " + batch);
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string& out = run.output;
  EXPECT_NE(out.find("OK, message reference=1"), std::string::npos) << out;
  // Before the deletion both stored messages, after it the second alone.
  const size_t deleted_at = out.find("deletesms 1 1");
  ASSERT_NE(deleted_at, std::string::npos) << out;
  const std::string before = out.substr(0, deleted_at);
  const std::string after = out.substr(deleted_at);
  EXPECT_NE(before.find("2 SMS parts in 2 SMS sequences"), std::string::npos) << out;
  EXPECT_NE(before.find("First from the network"), std::string::npos) << out;
  EXPECT_NE(before.find("Remote number        : \"+4912345\""), std::string::npos) << out;
  EXPECT_NE(after.find("1 SMS parts in 1 SMS sequences"), std::string::npos) << out;
  EXPECT_EQ(Count(after, "First from the network"), 0u) << out;
  EXPECT_EQ(Count(after, "Second one"), 1u) << out;
  EXPECT_EQ(Count(out, "rror"), 0u) << out;

  const sim::CardState s = card->Snapshot();
  EXPECT_FALSE(s.sms[0]);
  ASSERT_TRUE(s.sms[1]);
  EXPECT_EQ(s.message_reference, 1);
  ASSERT_EQ(s.pending_reports.size(), 1u) << "gammu asked for a status report";
  EXPECT_EQ(s.pending_reports[0].recipient, "+491701112233");
}

}  // namespace

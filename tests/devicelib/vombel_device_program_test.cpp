// vombel-device as a person runs it: a PIN typed on standard input, right
// or wrong, never reaches its log file; beside another program that holds
// the card, which gives it up for the run and gets it back; and on the
// simulated card it prints the reports recorded from the 64-bit build,
// whichever build runs it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "carddetect/library_globals.h"
#include "platform/named_event.h"
#include "platform/named_object.h"
#include "platform/wait.h"
#include "tests/support/eventually.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The text of each line after its "<tick>: [0x<thread>] " prefix.
std::string MessagesOf(const std::string& log) {
  std::string messages;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const size_t text = line.find("] ");
    messages += (text == std::string::npos ? line : line.substr(text + 2)) + "\n";
  }
  return messages;
}

class VombelDeviceProgramTest : public ::testing::Test {
 protected:
  // Runs the program on a simulated card with `pin` on standard input; its
  // exit code.
  int RunWithPin(const std::string& pin) {
    const std::string command = "printf '" + pin + "\\n' | TMPDIR='" + tmp_.Path() + "' XDG_RUNTIME_DIR='" +
                                runtime_.Path() + "' " VOMBEL_DEVICE_BINARY +
                                " --simulate=gprs --pin --log --once --timeout 30 > '" + tmp_.Path() +
                                "/output.txt' 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Log() const { return ReadAll(tmp_.Path() + "/vombel-device.txt"); }
  // Runs the program with `arguments`; what it printed on standard output.
  std::string Output(const std::string& arguments) {
    const std::string command = "TMPDIR='" + tmp_.Path() + "' XDG_RUNTIME_DIR='" + runtime_.Path() + "' " +
                                VOMBEL_DEVICE_BINARY + " " + arguments + " < /dev/null > '" + tmp_.Path() +
                                "/output.txt'";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << arguments;
    return ReadAll(tmp_.Path() + "/output.txt");
  }

  testing_support::TempDir tmp_{"vombel-device-tmp"};
  testing_support::TempDir runtime_{"vombel-device-run"};
};

TEST_F(VombelDeviceProgramTest, APinRightOrWrongNeverReachesTheLog) {
  // The simulated SIM asks for 1234; 8642 is refused (exit status 3: a
  // SIM or PIN problem).
  EXPECT_EQ(RunWithPin("8642"), 3) << ReadAll(tmp_.Path() + "/output.txt");
  const std::string refused = MessagesOf(Log());
  ASSERT_NE(refused.find("AT+CPIN=\"XXXX\""), std::string::npos) << refused;
  EXPECT_EQ(refused.find("8642"), std::string::npos);
  EXPECT_EQ(refused.find("38 36 34 32"), std::string::npos);

  EXPECT_EQ(RunWithPin("1234"), 0) << ReadAll(tmp_.Path() + "/output.txt");
  const std::string accepted = MessagesOf(Log());
  ASSERT_NE(accepted.find("AT+CPIN=\"XXXX\""), std::string::npos) << accepted;
  // The card's identity holds those digits; the PIN itself, quoted as it is
  // sent or in the byte dumps, must not show.
  EXPECT_EQ(accepted.find("\"1234\""), std::string::npos);
  EXPECT_EQ(accepted.find("22 31 32 33 34 22"), std::string::npos);
  EXPECT_NE(accepted.find("Dv: Device state changed to Initialized"), std::string::npos);
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Whether `wanted` lines come in `lines` in this order (others between them).
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted) {
  size_t next = 0;
  for (size_t i = 0; i < lines.size() && next < wanted.size(); ++i) {
    if (lines[i] == wanted[next]) ++next;
  }
  return next == wanted.size();
}

// vombel-device watch on its own simulated card, writing what it shows to
// `output`. It shares the runtime folder of this process (whose environment
// names it), which holds the card-sharing objects.
class Watcher {
 public:
  explicit Watcher(const std::string& output) : output_(output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (output + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    char* argv[] = {const_cast<char*>(VOMBEL_DEVICE_BINARY), const_cast<char*>("--simulate"),
                    const_cast<char*>("watch"), nullptr};
    if (posix_spawn(&pid_, VOMBEL_DEVICE_BINARY, &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Watcher() { Stop(); }

  std::vector<std::string> Lines() const { return LinesOf(ReadAll(output_)); }
  std::string Errors() const { return ReadAll(output_ + ".err"); }
  // Ends it as Ctrl-C would; its exit code.
  int Stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  std::string output_;
  pid_t pid_ = -1;
};

// The card-sharing objects as a third program sees them.
bool MutexHeldByAnother() {
  platform::UniqueHandle mutex(platform::CreateMutex(kExclusiveMutexName, false));
  return mutex && platform::WaitForSingleObject(mutex.get(), 0) == platform::kWaitTimeout;
}
bool CardRequested() {
  platform::UniqueHandle event(platform::OpenNamedEvent(kSuspensionEventName));
  return event && platform::WaitForSingleObject(event.get(), 0) == platform::kWaitObject0;
}

TEST_F(VombelDeviceProgramTest, TakesTheCardFromTheProgramHoldingItAndGivesItBack) {
  testing_support::ScopedEnv runtime_env("XDG_RUNTIME_DIR", runtime_.Path());
  const std::string up = "  state: initialized";
  const std::string gone = "  state: not found";
  Watcher holder(tmp_.Path() + "/holder.txt");
  ASSERT_TRUE(testing_support::Eventually([&] { return InOrder(holder.Lines(), {up}); }))
      << ReadAll(tmp_.Path() + "/holder.txt");
  ASSERT_TRUE(MutexHeldByAnother());

  {
    // A second program asks for the card and uses it: the holder has let
    // go, and the request stays up while the card is in use, so the holder
    // stays away until the other program ends.
    Watcher taker(tmp_.Path() + "/taker.txt");
    ASSERT_TRUE(testing_support::Eventually([&] { return InOrder(taker.Lines(), {up}); }))
        << ReadAll(tmp_.Path() + "/taker.txt") << taker.Errors();
    EXPECT_NE(taker.Errors().find("Another program is using the data card"), std::string::npos) << taker.Errors();
    EXPECT_TRUE(MutexHeldByAnother());
    EXPECT_TRUE(CardRequested());
    const std::vector<std::string> meanwhile = holder.Lines();
    EXPECT_TRUE(InOrder(meanwhile, {up, gone}));
    EXPECT_FALSE(InOrder(meanwhile, {up, gone, up})) << ReadAll(tmp_.Path() + "/holder.txt");
    EXPECT_EQ(taker.Stop(), 0);
  }
  EXPECT_TRUE(testing_support::Eventually([&] { return InOrder(holder.Lines(), {up, gone, up}); }))
      << ReadAll(tmp_.Path() + "/holder.txt");

  // A one-shot command answers from the card it was given, then gives it back.
  const std::string command = "TMPDIR='" + tmp_.Path() + "' " VOMBEL_DEVICE_BINARY +
                              " --simulate --json --timeout 30 status > '" + tmp_.Path() + "/status.json' 2> '" +
                              tmp_.Path() + "/status.err' < /dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << ReadAll(tmp_.Path() + "/status.err");
  EXPECT_NE(ReadAll(tmp_.Path() + "/status.err").find("Another program is using the data card"), std::string::npos);
  const std::string report = ReadAll(tmp_.Path() + "/status.json");
  EXPECT_NE(report.find(R"("device":{"state":"initialized","model":"VSIM 3G")"), std::string::npos) << report;
  EXPECT_TRUE(testing_support::Eventually([&] { return InOrder(holder.Lines(), {up, gone, up, gone, up}); }))
      << ReadAll(tmp_.Path() + "/holder.txt");
  EXPECT_TRUE(testing_support::Eventually([] { return MutexHeldByAnother() && !CardRequested(); }));
  EXPECT_EQ(holder.Stop(), 0);
}

TEST_F(VombelDeviceProgramTest, PrintsTheRecordedReportsOnTheSimulatedCard) {
  // The time stamps of the message list go through the calendar, which a
  // 32-bit time value would get wrong after 2038.
  struct Row {
    const char* arguments;
    const char* recorded;  // under tests/data/vombel_device
  } const rows[] = {
      {"--simulate --once", "simulate_once.txt"},
      {"--simulate sms list", "simulate_sms_list.txt"},
  };
  for (const Row& row : rows) {
    const std::string recorded = ReadAll(std::string(VOMBEL_DEVICE_OUTPUTS) + "/" + row.recorded);
    ASSERT_FALSE(recorded.empty()) << row.recorded;
    EXPECT_EQ(Output(row.arguments), recorded) << row.arguments;
  }
}

}  // namespace

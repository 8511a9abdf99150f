// vombel-device as a person runs it: a PIN typed on standard input, right
// or wrong, never reaches its log file.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/temp_dir.h"

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

  testing_support::TempDir tmp_{"vombel-device-tmp"};
  testing_support::TempDir runtime_{"vombel-device-run"};
};

TEST_F(VombelDeviceProgramTest, APinRightOrWrongNeverReachesTheLog) {
  // The simulated SIM asks for 1234; 8642 is refused.
  EXPECT_EQ(RunWithPin("8642"), 1) << ReadAll(tmp_.Path() + "/output.txt");
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

}  // namespace

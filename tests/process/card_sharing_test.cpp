// The running program and vombel-device on one machine: vombel-device asks
// for the card, the program gives it up for the run and takes it back.
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "carddetect/library_globals.h"
#include "platform/named_event.h"
#include "platform/named_object.h"
#include "platform/wait.h"
#include "tests/process/process_fixture.h"
#include "tests/support/eventually.h"
#include "tests/support/scoped_env.h"

namespace process_testing {
namespace {

// The card-sharing objects as a third program sees them.
bool CardHeldByAnother() {
  platform::UniqueHandle mutex(platform::CreateMutex(kExclusiveMutexName, false));
  return mutex && platform::WaitForSingleObject(mutex.get(), 0) == platform::kWaitTimeout;
}
bool CardRequested() {
  platform::UniqueHandle event(platform::OpenNamedEvent(kSuspensionEventName));
  return event && platform::WaitForSingleObject(event.get(), 0) == platform::kWaitObject0;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
  return count;
}

TEST_F(ProcessTest, VombelDeviceTakesTheCardFromTheRunningProgramWhichGetsItBack) {
  testing_support::ScopedEnv runtime("XDG_RUNTIME_DIR", runtime_.Path());
  const std::string initialised = "Dv: Device state changed to Initialized";
  ProgramRunner program(Machine(), {"--simulate", "-log", "-noshow"});
  ASSERT_TRUE(program.WaitForLog(initialised)) << program.Output();
  ASSERT_TRUE(testing_support::Eventually(CardHeldByAnother));

  const std::string out = other_tmp_.Path() + "/status.json";
  const std::string err = other_tmp_.Path() + "/status.err";
  const std::string command = "TMPDIR='" + other_tmp_.Path() + "' " VOMBEL_DEVICE_BINARY +
                              " --simulate --json --timeout 60 status > '" + out + "' 2> '" + err + "' < /dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(err);
  EXPECT_NE(ReadFile(err).find("Another program is using the data card"), std::string::npos) << ReadFile(err);
  EXPECT_NE(ReadFile(out).find(R"("device":{"state":"initialized")"), std::string::npos) << ReadFile(out);

  // The program has the card again: it holds the mutex, nobody asks for the
  // card, and its library brought the card up a second time.
  EXPECT_TRUE(testing_support::Eventually([] { return CardHeldByAnother() && !CardRequested(); }));
  EXPECT_TRUE(testing_support::Eventually([&] { return Count(program.Log(), initialised) >= 2; })) << program.Log();
  EXPECT_TRUE(program.Running());
}

}  // namespace
}  // namespace process_testing

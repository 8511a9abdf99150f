// A started program against other programs: a second instance, a program
// that uses the card, another user.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/app_main.h"
#include "platform/instance_channel.h"
#include "platform/named_object.h"
#include "platform/win32_error.h"
#include "tests/process/process_fixture.h"
#include "tests/support/scoped_env.h"

namespace process_testing {
namespace {

TEST_F(ProcessTest, NoShowStartsHiddenAndASecondInstanceShowsItAndExitsSilently) {
  ProgramRunner first(Machine(), {"-log", "-noshow"});
  ASSERT_TRUE(first.WaitForLog(kWindowCreated)) << first.Output();
  EXPECT_EQ(first.Log().find(kWindowActivated), std::string::npos);

  ProgramRunner second(Elsewhere(), {});
  EXPECT_EQ(second.Wait(), 0);
  EXPECT_NE(second.Output().find("An instance of this application already exists."), std::string::npos)
      << second.Output();
  EXPECT_EQ(second.Output().find("MessageBox"), std::string::npos) << second.Output();

  EXPECT_TRUE(first.WaitForLog(kWindowActivated)) << first.Log();
  EXPECT_TRUE(first.Running());
}

TEST_F(ProcessTest, AProgramThatUsesTheCardMakesItRefuse) {
  testing_support::ScopedEnv runtime("XDG_RUNTIME_DIR", runtime_.Path());
  platform::UniqueHandle foreign(platform::CreateMutex(CAppMain::kForeignMutexNames[1], false));
  ASSERT_TRUE(foreign);

  ProgramRunner program(Machine(), {"-log"});
  // The box waits for a user who is not there; its text is in the log.
  EXPECT_TRUE(program.WaitForLog(
      "MessageBox: Another application that uses the device was detected.\nIn order to run Vombel "
      "Connect please terminate that application first."))
      << program.Log();
  EXPECT_EQ(program.Log().find(kWindowCreated), std::string::npos);
  platform::UniqueHandle own(platform::CreateMutex(CAppMain::kOwnMutexName, false));
  ASSERT_TRUE(own);
  EXPECT_EQ(platform::GetLastError(), 0u) << "the refusing program took the instance mutex";
  program.Terminate();
}

TEST_F(ProcessTest, AnotherUserCanNeitherStopNorActivateTheInstance) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to another user";
  constexpr uid_t kNobody = 65534;
  ProgramRunner instance(Machine(), {"-log", "-noshow"});
  ASSERT_TRUE(instance.WaitForLog(kWindowCreated)) << instance.Output();

  // The other user points at the same runtime folder: the folder is ours
  // alone, so the class is not found there.
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
    ::setenv("XDG_RUNTIME_DIR", runtime_.Path().c_str(), 1);
    ::_exit(platform::FindWindow(CAppMain::kMainWindowClass) == nullptr ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

  // Nor does the program started by that user stop it. Its output goes
  // where it may write.
  ASSERT_EQ(::chmod(other_tmp_.Path().c_str(), 0777), 0);
  ProgramRunner stop(Elsewhere(), {"-stop", "-log"}, kNobody);
  EXPECT_EQ(stop.Wait(), 0) << stop.Output();
  EXPECT_NE(stop.Log().find("CAppMain::TerminateExistingInstance: not found."), std::string::npos)
      << stop.Log();
  EXPECT_TRUE(instance.Running());
  EXPECT_EQ(instance.Log().find(kWindowActivated), std::string::npos);
  EXPECT_EQ(instance.Log().find("CDlgMain::OnExit"), std::string::npos);
}

}  // namespace
}  // namespace process_testing

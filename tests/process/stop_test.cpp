// "stop" and "bulldoze" against a running program, and the bad input a start
// must survive.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/process/process_fixture.h"
#include "tests/support/eventually.h"

namespace process_testing {
namespace {

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

void WriteStoredSettings(const std::string& product_key_folder, const std::string& values) {
  std::filesystem::create_directories(product_key_folder + "/ApplicationSettings");
  std::ofstream(product_key_folder + "/ApplicationSettings/.values", std::ios::binary) << values;
}

TEST_F(ProcessTest, StopWithoutInstanceExitsWithZero) {
  ProgramRunner stop(Machine(), {"/stop", "-log"});
  EXPECT_EQ(stop.Wait(), 0) << stop.Output();
  EXPECT_NE(stop.Log().find("CAppMain::TerminateExistingInstance: not found."), std::string::npos)
      << stop.Log();
}

// An instance that ignores the exit command is killed after 8192 ms; that
// path is the same code as here and runs on the virtual clock in the unit
// tests, so this suite does not pay the real wait.
TEST_F(ProcessTest, StopEndsARunningInstance) {
  ProgramRunner instance(Machine(), {"-log", "-noshow"});
  ASSERT_TRUE(instance.WaitForLog(kWindowCreated)) << instance.Output();

  ProgramRunner stop(Elsewhere(), {"-stop", "-log"});
  EXPECT_EQ(stop.Wait(), 0) << stop.Output();
  EXPECT_NE(stop.Log().find("CAppMain::TerminateExistingInstance: stopped."), std::string::npos)
      << stop.Log();
  EXPECT_EQ(instance.Wait(), 0) << instance.Output();
  EXPECT_NE(instance.Log().find("CDlgMain::OnExit"), std::string::npos);
}

TEST_F(ProcessTest, BulldozeRemovesTheSettingsWithOrWithoutInstance) {
  for (const bool with_instance : {false, true}) {
    SCOPED_TRACE(with_instance ? "with instance" : "without instance");
    WriteStoredSettings(ProductKeyFolder(), "LastMccMnc=sz:20404\n");
    std::optional<ProgramRunner> instance;
    if (with_instance) {
      instance.emplace(Machine(), std::vector<std::string>{"-log", "-noshow"});
      ASSERT_TRUE(instance->WaitForLog(kWindowCreated)) << instance->Output();
    }
    ProgramRunner bulldoze(Elsewhere(), {"-bulldoze", "-log"});
    EXPECT_EQ(bulldoze.Wait(), 0) << bulldoze.Output();
    EXPECT_NE(bulldoze.Log().find("CAppMain::Bulldoze suceeded."), std::string::npos) << bulldoze.Log();
    EXPECT_FALSE(Exists(ProductKeyFolder()));
    if (instance) {
      EXPECT_EQ(instance->Wait(), 0);
    }
  }
}

TEST_F(ProcessTest, ADamagedSettingsStoreStartsOnDefaultsAndIsKept) {
  const std::string damage = "\xff\xfe\x01 not a value line\nLastMccMnc=nokind\n";
  WriteStoredSettings(ProductKeyFolder(), damage);
  ProgramRunner instance(Machine(), {"-log", "-noshow"});
  ASSERT_TRUE(instance.WaitForLog(kWindowCreated)) << instance.Output();
  ProgramRunner stop(Elsewhere(), {"-stop"});
  EXPECT_EQ(stop.Wait(), 0);
  EXPECT_EQ(instance.Wait(), 0) << instance.Output();
  EXPECT_EQ(ReadFile(ProductKeyFolder() + "/ApplicationSettings/.values"), damage);
}

TEST_F(ProcessTest, AnUnusableLogFileOnlyLosesTheLog) {
  // A folder where the log file should be: it cannot be created.
  ASSERT_EQ(::mkdir((tmp_.Path() + "/Vombel Connect.txt").c_str(), 0700), 0);
  ProgramRunner instance(Machine(), {"-log", "-noshow"});
  EXPECT_TRUE(instance.WaitForOutput("CAppMain::InitInstance, CreateFile: 0x")) << instance.Output();
  const std::string socket =
      runtime_.Path() + "/vombel-connect/CLASS_NAME_A2064FAF-DC1F-47b9-B9A5-7CE73A6B13E0.sock";
  ASSERT_TRUE(testing_support::Eventually([&] { return Exists(socket); }));
  ProgramRunner stop(Elsewhere(), {"-stop"});
  EXPECT_EQ(stop.Wait(), 0);
  EXPECT_EQ(instance.Wait(), 0) << instance.Output();
}

}  // namespace
}  // namespace process_testing

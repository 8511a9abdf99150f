#include "app/app_main.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "app/auto_profiles.h"
#include "app/settings.h"
#include "foundation/xmemory.h"
#include "foundation/xregistry.h"
#include "platform/clock.h"
#include "platform/named_object.h"
#include "platform/registry.h"
#include "platform/resource_module.h"
#include "platform/text.h"
#include "platform/win32_error.h"
#include "resources/project_version.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::HKEY_USERS;
using testing_support::LogCapture;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::TempRegistry;

constexpr char16_t kTitle[] = u"Test Connect";
constexpr char16_t kSettingsKey[] = u".DEFAULT\\Software\\Test\\Vombel\\ApplicationSettings";
constexpr char16_t kSiblingKey[] = u".DEFAULT\\Software\\Test\\Other";
constexpr char kProfiles[] = "20404,live.vodafone.com,vodafone,vodafone\r\n26201,internet.t-d1.de,,\r\n";

platform::ResourceModule Module(const char* profiles = kProfiles, const char* ini = "",
                                bool with_strings = true) {
  platform::ResourceModuleBuilder builder;
  if (with_strings) {
    builder.AddString(57344, kTitle)
        .AddString(139, u"Software\\Test\\Vombel")
        .AddString(149, u"Other users")
        .AddString(150, u"Other applications")
        .AddString(57345, u"Another application. Run %s after it.")
        .AddString(57348, u"Unable to activate %s.");
  }
  builder.Add("SETTINGS_DB", 172, std::string("[Application]\r\n") + ini);
  if (profiles != nullptr) builder.Add("PROFILES_DB", 170, profiles);
  return builder.Build();
}

class FakeUi final : public CAppUi {
 public:
  using Posted = std::tuple<uint32_t, uintptr_t, intptr_t>;

  void Initialize(std::u16string_view title) override { title_ = title; }
  void ShowMessageBox(std::u16string_view text) override { boxes.emplace_back(text); }
  WindowResult CreateMainWindow() override {
    created = create_result == WindowResult::kCreated;
    return create_result;
  }
  void ShowMainWindow() override { shown = true; }
  void PostToMainWindow(uint32_t message, uintptr_t wparam, intptr_t lparam) override {
    std::lock_guard lock(mutex_);
    posted_.emplace_back(message, wparam, lparam);
    arrived_.notify_all();
  }

  std::vector<Posted> WaitForPosted(size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, testing_support::kSafetyNet, [&] { return posted_.size() >= count; });
    return posted_;
  }

  std::u16string title_;
  std::vector<std::u16string> boxes;
  bool created = false;
  bool shown = false;
  WindowResult create_result = WindowResult::kCreated;

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Posted> posted_;
};

// Another process that owns the main window's class, as a running instance
// does: it exits on the exit command, or (not reacting) ignores it.
class FakeInstance {
 public:
  explicit FakeInstance(bool reacts) {
    int ready[2];
    EXPECT_EQ(::pipe(ready), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      auto listener = platform::WindowClassListener::Start(
          CAppMain::kMainWindowClass, [reacts](uint32_t message, uintptr_t wparam, intptr_t) {
            if (reacts && message == platform::WM_COMMAND && wparam == CAppMain::kExitCommand) {
              ::_exit(0);
            }
          });
      const char ok = listener ? 1 : 0;
      (void)!::write(ready[1], &ok, 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char ok = 0;
    EXPECT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(ok, 1) << "the fake instance could not listen";
  }
  ~FakeInstance() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // The wait status once the process ended.
  int Reap() {
    int status = 0;
    EXPECT_EQ(::waitpid(pid_, &status, 0), pid_);
    reaped_ = true;
    return status;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

bool SettingsStored() {
  char16_t* text = nullptr;
  const bool stored = XRegQueryStringKey(HKEY_USERS, kSettingsKey, u"LastMccMnc", &text, false) == 0;
  XFree(text);
  return stored;
}

class AppMainTest : public ::testing::Test {
 protected:
  std::unique_ptr<CAppMain> App(FakeUi& ui, const char16_t* arguments) {
    return std::make_unique<CAppMain>(ui, CommandLine::FromString(arguments), module_.handle());
  }

  TempDir runtime_{"vombel-run"};
  TempDir tmp_{"vombel-tmp"};
  ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.Path()};
  ScopedEnv tmp_env_{"TMPDIR", tmp_.Path()};
  TempRegistry registry_;
  platform::ResourceModule module_ = Module();
};

TEST_F(AppMainTest, StartsWritesTheLogHeaderAndShowsTheMainWindow) {
  LogCapture log;
  FakeUi ui;
  auto app = App(ui, u"");
  ASSERT_TRUE(app->InitInstance());
  EXPECT_EQ(ui.title_, kTitle);
  EXPECT_TRUE(ui.created);
  EXPECT_TRUE(ui.shown);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(app->TerminateMode());

  const auto started = log.LinesStartingWith("Log started     : ");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_TRUE(std::regex_match(started[0], std::regex("Log started     : \\d{4}-\\d\\d-\\d\\d, \\d{1,2}:\\d\\d:\\d\\d")))
      << started[0];
  const auto system = log.LinesStartingWith("Operating system: ");
  ASSERT_EQ(system.size(), 1u);
  EXPECT_TRUE(std::regex_match(system[0], std::regex("Operating system: 10\\.0 NT \\(build#=19045 \"Linux .*\"\\)")))
      << system[0];
  EXPECT_TRUE(log.Contains("Product name    : Test Connect"));
  const std::string version = "Product version : " + std::to_string(resources::kProjectVersionMajor) + "." +
                              std::to_string(resources::kProjectVersionMinor) + "." +
                              std::to_string(resources::kProjectVersionPatch) + "." +
                              std::to_string(resources::kProjectVersionTweak);
  EXPECT_EQ(log.Count(version), 1u);
  EXPECT_EQ(app->ExitInstance(7), 7u);
}

TEST_F(AppMainTest, NoShowCreatesTheWindowHidden) {
  FakeUi ui;
  auto app = App(ui, u"/noshow");
  ASSERT_TRUE(app->InitInstance());
  EXPECT_TRUE(ui.created);
  EXPECT_FALSE(ui.shown);
}

TEST_F(AppMainTest, LogSwitchWritesTheLogFileUntilExitInstance) {
  FakeUi ui;
  const std::string path = tmp_.Path() + "/Test Connect.txt";
  {
    auto app = App(ui, u"-log:yes");
    ASSERT_TRUE(app->InitInstance());
    EXPECT_EQ(app->LogFile().Path(), path);
    EXPECT_EQ(XLogGetThreshold(), kXLogTrace);
    EXPECT_EQ(app->ExitInstance(0), 0u);
    XLogSetThreshold(kXLogInformation);
    XLog("after ExitInstance: not in the file");
  }
  const std::string text = Contents(path);
  EXPECT_NE(text.find("] Log started     : "), std::string::npos) << text;
  EXPECT_NE(text.find("] Product name    : Test Connect\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("after ExitInstance"), std::string::npos);

  FakeUi capitals_ui;
  auto capitals = App(capitals_ui, u"/LOG");
  ::unlink(path.c_str());
  ASSERT_TRUE(capitals->InitInstance());
  EXPECT_FALSE(capitals->LogFile().IsOpen());
  EXPECT_EQ(::access(path.c_str(), F_OK), -1);
}

TEST_F(AppMainTest, AnUnusableLogFolderOnlyLosesTheLog) {
  ScopedEnv missing("TMPDIR", tmp_.Path() + "/missing");
  LogCapture capture;  // the file is never installed; lines keep coming here
  FakeUi ui;
  auto app = App(ui, u"-log");
  ASSERT_TRUE(app->InitInstance());
  EXPECT_TRUE(capture.Contains("CAppMain::InitInstance, CreateFile: 0x2.")) << ::testing::PrintToString(capture.Lines());
  EXPECT_TRUE(ui.created);
}

TEST_F(AppMainTest, AForeignApplicationRefusesTheStartWithoutTakingTheInstance) {
  for (std::u16string_view name : CAppMain::kForeignMutexNames) {
    SCOPED_TRACE(platform::Utf16ToUtf8(name));
    platform::UniqueHandle foreign(platform::CreateMutex(name, false));
    ASSERT_TRUE(foreign);
    LogCapture log;
    FakeUi ui;
    auto app = App(ui, u"");
    EXPECT_FALSE(app->InitInstance());
    EXPECT_EQ(ui.boxes, std::vector<std::u16string>{u"Another application. Run Test Connect after it."});
    EXPECT_TRUE(log.Contains("Another application that uses the device was detected."));
    EXPECT_FALSE(ui.created);
    EXPECT_EQ(app->ExitInstance(0), CAppMain::kRefusedExitCode);

    // The own mutex was never made: whoever creates it now is the first.
    platform::UniqueHandle own(platform::CreateMutex(CAppMain::kOwnMutexName, false));
    ASSERT_TRUE(own);
    EXPECT_EQ(platform::GetLastError(), 0u);
  }
}

TEST_F(AppMainTest, AnUnusableRuntimeFolderRefusesWithTheOtherApplicationsText) {
  ScopedEnv broken("XDG_RUNTIME_DIR", tmp_.Path() + "/not-a-folder");
  std::ofstream(tmp_.Path() + "/not-a-folder") << "x";
  FakeUi ui;
  auto app = App(ui, u"");
  EXPECT_FALSE(app->InitInstance());
  EXPECT_EQ(ui.boxes, std::vector<std::u16string>{u"Other applications"});
}

TEST_F(AppMainTest, ASecondInstanceActivatesTheFirstSilently) {
  FakeUi first_ui;
  auto first = App(first_ui, u"-noshow");
  ASSERT_TRUE(first->InitInstance());

  LogCapture log;
  FakeUi second_ui;
  auto second = App(second_ui, u"");
  EXPECT_FALSE(second->InitInstance());
  EXPECT_TRUE(second_ui.boxes.empty());
  EXPECT_FALSE(second_ui.created);
  EXPECT_TRUE(log.Contains("An instance of this application already exists."));
  EXPECT_EQ(second->ExitInstance(0), 0u);

  const auto posted = first_ui.WaitForPosted(1);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0], FakeUi::Posted(0x8003, 0, 0));
}

TEST_F(AppMainTest, AnInstanceWithoutWindowCannotBeActivated) {
  platform::UniqueHandle own(platform::CreateMutex(CAppMain::kOwnMutexName, false));
  LogCapture log;
  FakeUi ui;
  auto app = App(ui, u"");
  EXPECT_FALSE(app->InitInstance());
  EXPECT_EQ(ui.boxes, std::vector<std::u16string>{u"Unable to activate Test Connect."});
  EXPECT_TRUE(log.Contains("Unable to activate the previous instance."));
  EXPECT_EQ(app->ExitInstance(0), CAppMain::kRefusedExitCode);
}

TEST_F(AppMainTest, AClassSomebodyElseListensOnRefusesTheStart) {
  auto other = platform::WindowClassListener::Start(CAppMain::kMainWindowClass,
                                                    [](uint32_t, uintptr_t, intptr_t) {});
  ASSERT_TRUE(other);
  LogCapture log;
  FakeUi ui;
  auto app = App(ui, u"");
  EXPECT_FALSE(app->InitInstance());
  EXPECT_TRUE(log.Contains("FAILED to RegisterClass"));
  EXPECT_FALSE(ui.created);
}

TEST_F(AppMainTest, MainWindowFailuresRefuseTheStart) {
  const std::pair<CAppUi::WindowResult, const char*> rows[] = {
      {CAppUi::WindowResult::kOutOfMemory, "Invalid pointer."},
      {CAppUi::WindowResult::kFailed, "Failed to create the main window."},
  };
  for (const auto& [result, line] : rows) {
    LogCapture log;
    FakeUi ui;
    ui.create_result = result;
    auto app = App(ui, u"");
    EXPECT_FALSE(app->InitInstance()) << line;
    EXPECT_TRUE(log.Contains(line)) << line;
    EXPECT_FALSE(ui.shown);
    EXPECT_EQ(app->ExitInstance(0), CAppMain::kRefusedExitCode);
  }
}

TEST(AppMainBuildCheckTest, RefusesInconsistentBuilds) {
  struct Row {
    uint32_t user_name_password_supported;
    const char16_t* profiles;
    const char* message;  // null: consistent
  };
  const Row rows[] = {
      {1, u"20404,apn,user,password", nullptr},
      {0, u"20404,apn,,", nullptr},
      {0, u"", nullptr},
      {0, u"20404,apn,user,", "Wrong build. Invalid settings."},
      {0, u"20404,apn,,secret", "Wrong build. Invalid settings."},
      {1, u"20404,a,,\r\n20404,b,,", "Wrong build. Duplicated auto profiles."},
      {1, u"2040,apn,,", "Wrong build. Invalid auto profiles."},
  };
  for (const Row& row : rows) {
    CSettings settings;
    settings.Loaded = 1;
    settings.UserNamePasswordSupported = row.user_name_password_supported;
    const CAutoProfiles profiles{std::u16string_view(row.profiles)};
    const char* message = CAppMain::CheckBuild(settings, profiles);
    EXPECT_STREQ(message, row.message) << platform::Utf16ToUtf8(row.profiles);
  }
}

TEST_F(AppMainTest, AnInconsistentBuildShowsItsMessage) {
  module_ = Module("20404,a,,\r\n20404,b,,\r\n");
  FakeUi ui;
  auto app = App(ui, u"");
  EXPECT_FALSE(app->InitInstance());
  EXPECT_EQ(ui.boxes, std::vector<std::u16string>{u"Wrong build. Duplicated auto profiles."});
  EXPECT_FALSE(ui.created);
}

TEST_F(AppMainTest, StopWithoutInstanceExitsWithZero) {
  LogCapture log;
  FakeUi ui;
  auto app = App(ui, u"\"/stop\"");
  EXPECT_FALSE(app->InitInstance());
  EXPECT_TRUE(app->TerminateMode());
  EXPECT_TRUE(log.Contains("CAppMain::TerminateExistingInstance: not found."));
  EXPECT_TRUE(log.Contains("CAppMain::InitInstance, TerminateExistingInstance: 0x0."));
  EXPECT_FALSE(log.Contains("CAppMain::Bulldoze"));
  EXPECT_TRUE(ui.title_.empty()) << "stopping needs no user interface";
  EXPECT_EQ(app->StopResult(), StopOutcome::kNotRunning);
  EXPECT_EQ(app->Bulldozed(), std::nullopt);
  EXPECT_EQ(app->Title(), kTitle) << "the stop's line names the program";
  EXPECT_EQ(app->ExitInstance(3), 0u);
}

TEST_F(AppMainTest, StopEndsAnInstanceThatReacts) {
  FakeInstance instance(/*reacts=*/true);
  LogCapture log;
  FakeUi ui;
  auto app = App(ui, u"-stop");
  EXPECT_FALSE(app->InitInstance());
  EXPECT_TRUE(log.Contains("CAppMain::TerminateExistingInstance: stopped."));
  EXPECT_EQ(app->StopResult(), StopOutcome::kStopped);
  const int status = instance.Reap();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(app->ExitInstance(0), 0u);
}

TEST_F(AppMainTest, StopKillsAnInstanceThatDoesNotReactWithin8192Ms) {
  FakeInstance instance(/*reacts=*/false);
  LogCapture log;
  platform::VirtualClock clock;
  platform::ScopedClock scoped(clock);
  FakeUi ui;
  auto app = App(ui, u"-stop");
  auto started = std::async(std::launch::async, [&] { return app->InitInstance(); });
  clock.WaitForWaiterAt(CAppMain::kStopTimeoutMs);
  clock.Advance(8191);
  EXPECT_FALSE(log.Contains("TerminateExistingInstance: terminated.")) << "killed before its time";
  clock.Advance(1);
  EXPECT_FALSE(started.get());
  EXPECT_TRUE(log.Contains("CAppMain::TerminateExistingInstance: terminated."));
  EXPECT_EQ(app->StopResult(), StopOutcome::kKilled);
  const int status = instance.Reap();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_EQ(app->ExitInstance(0), 0u);
}

TEST_F(AppMainTest, BulldozeRemovesTheSettingsTreeWithOrWithoutInstance) {
  for (const bool with_instance : {false, true}) {
    SCOPED_TRACE(with_instance ? "with instance" : "without instance");
    ASSERT_EQ(XRegWriteString(HKEY_USERS, kSettingsKey, u"LastMccMnc", u"20404", true), 0u);
    ASSERT_EQ(XRegWriteString(HKEY_USERS, kSiblingKey, u"Keep", u"me", true), 0u);
    std::optional<FakeInstance> instance;
    if (with_instance) instance.emplace(true);
    LogCapture log;
    FakeUi ui;
    auto app = App(ui, u"/bulldoze");
    EXPECT_FALSE(app->InitInstance());
    EXPECT_TRUE(log.Contains(with_instance ? "TerminateExistingInstance: stopped."
                                           : "TerminateExistingInstance: not found."));
    EXPECT_TRUE(log.Contains("CAppMain::Bulldoze suceeded."));
    EXPECT_EQ(app->StopResult(), with_instance ? StopOutcome::kStopped : StopOutcome::kNotRunning);
    EXPECT_EQ(app->Bulldozed(), BulldozeOutcome::kDeleted);
    EXPECT_FALSE(SettingsStored());
    char16_t* kept = nullptr;
    EXPECT_EQ(XRegQueryStringKey(HKEY_USERS, kSiblingKey, u"Keep", &kept, false), 0u);
    XFree(kept);
    EXPECT_EQ(app->ExitInstance(0), 0u);
  }
}

TEST_F(AppMainTest, BulldozeWithoutTheProductKeyNameDeletesNothing) {
  ASSERT_EQ(XRegWriteString(HKEY_USERS, kSettingsKey, u"LastMccMnc", u"20404", true), 0u);
  module_ = Module(kProfiles, "", /*with_strings=*/false);
  LogCapture log;
  FakeUi ui;
  auto app = App(ui, u"-bulldoze");
  EXPECT_FALSE(app->InitInstance());
  EXPECT_TRUE(log.Contains("CAppMain::Bulldoze failed."));
  EXPECT_EQ(app->Bulldozed(), BulldozeOutcome::kFailed);
  EXPECT_TRUE(SettingsStored());
}

TEST_F(AppMainTest, BulldozeWithNothingStoredSaysSo) {
  ASSERT_FALSE(SettingsStored());
  LogCapture log;
  FakeUi ui;
  auto app = App(ui, u"-bulldoze");
  EXPECT_FALSE(app->InitInstance());
  EXPECT_EQ(app->StopResult(), StopOutcome::kNotRunning);
  EXPECT_EQ(app->Bulldozed(), BulldozeOutcome::kNothingStored);
  EXPECT_TRUE(log.Contains("CAppMain::Bulldoze failed.")) << "the log says what it always said";
  EXPECT_EQ(app->ExitInstance(0), 0u);
}

TEST_F(AppMainTest, MissingResourcesStartOnDefaults) {
  module_ = Module(nullptr, "", /*with_strings=*/false);
  LogCapture log;
  FakeUi ui;
  auto app = App(ui, u"");
  ASSERT_TRUE(app->InitInstance());
  EXPECT_TRUE(log.Contains("CDvHelper::LoadSafeString, LoadString, 57344: NOK."));
  EXPECT_EQ(ui.title_, u"app_tests") << "the program's name stands in for the title";
  EXPECT_TRUE(ui.shown);
}

TEST_F(AppMainTest, ADamagedSettingsStoreStartsOnDefaultsAndIsKept) {
  ASSERT_EQ(XRegWriteString(HKEY_USERS, kSettingsKey, u"LastMccMnc", u"20404", true), 0u);
  const std::string values = registry_.User("/Software/Test/Vombel/ApplicationSettings/.values");
  ASSERT_EQ(::access(values.c_str(), F_OK), 0) << values;
  const std::string damage = "LastMccMnc=sz:20404\n\xff\xfe garbage without kind\n";
  std::ofstream(values, std::ios::binary | std::ios::trunc) << damage;

  FakeUi ui;
  auto app = App(ui, u"-noshow");
  ASSERT_TRUE(app->InitInstance());
  EXPECT_TRUE(ui.created);
  EXPECT_EQ(app->ExitInstance(0), 0u);
  EXPECT_EQ(Contents(values), damage) << "start-up writes nothing to the store";
}

}  // namespace

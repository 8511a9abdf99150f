// The application object: decides at start-up whether the program may run
// (another program driving the card, another instance of itself, an
// inconsistent build), opens the log file when asked to, and creates the main
// window. The same program stops a running instance ("stop") and also wipes
// the stored settings ("bulldoze") when started with those switches.
//
// Single instance: a named mutex held for the life of the process; the
// running instance is reached through its main window's class (a socket the
// instance listens on), which takes the activation message and the exit
// command.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_ui.h"
#include "app/command_line.h"
#include "app/log_file.h"
#include "app/stop_report.h"
#include "platform/handle.h"
#include "platform/instance_channel.h"
#include "platform/module.h"

class CAutoProfiles;
class CSettings;

class CAppMain {
 public:
  static constexpr std::u16string_view kForeignMutexNames[] = {
      u"Global\\ICON_CONFIGURATOR_E5FBD808-205E-4252-90EE-B28E781004F0",
      u"Global\\Fx.02B641B8-5023-4486-A532-6A355BCEAA2E",
      u"Global\\MM.C10901CC-FAA6-4437-98D3-F263B976B8B7",
  };
  static constexpr std::u16string_view kOwnMutexName =
      u"Global\\Vombel_Connect_0F2557C1-C462-4719-99BA-3EAA8912FD57";
  static constexpr std::u16string_view kMainWindowClass =
      u"CLASS_NAME_A2064FAF-DC1F-47b9-B9A5-7CE73A6B13E0";

  // Messages between instances.
  static constexpr uint32_t WM_APP_SHOW_MAIN = platform::WM_APP + 3;
  static constexpr uintptr_t kExitCommand = 1299;

  // String resources.
  static constexpr unsigned kTitleStringId = 57344;
  static constexpr unsigned kOtherUsersStringId = 149;
  static constexpr unsigned kOtherApplicationsStringId = 150;
  static constexpr unsigned kAnotherApplicationStringId = 57345;
  static constexpr unsigned kUnableToActivateStringId = 57348;

  static constexpr uint32_t kStopTimeoutMs = 8192;
  static constexpr uint32_t kTerminateExitCode = 0x80004005;
  // Exit code of a start that was refused (a message box told why).
  static constexpr uint32_t kRefusedExitCode = 1;

  // `resources` null: the program's own resources, settings and automatic
  // profiles (the process-wide instances). Otherwise the settings and the
  // profile table are loaded from that module for this object alone.
  CAppMain(CAppUi& ui, CommandLine command_line, platform::HMODULE resources = nullptr);
  ~CAppMain();
  CAppMain(const CAppMain&) = delete;
  CAppMain& operator=(const CAppMain&) = delete;

  // True: run the user interface's message loop. False: exit at once (then
  // ExitInstance gives the code).
  bool InitInstance();
  // Stops listening for other instances, closes the log file and returns the
  // process exit code: the stop result in terminate mode, kRefusedExitCode
  // after a refused start, otherwise `framework_exit_code` (what the message
  // loop returned, 0 when it never ran).
  uint32_t ExitInstance(int framework_exit_code);

  // Asks a running instance to exit and makes sure it does: 0 when none runs
  // or it ended (by itself or killed), else the system error. What it found
  // is StopResult() afterwards.
  uint32_t TerminateExistingInstance();
  // Deletes the settings tree; true when it is gone. What it found is
  // Bulldozed() afterwards.
  bool Bulldoze();

  // The message a build with these settings and this profile table must not
  // start with, or null when it is consistent.
  static const char* CheckBuild(const CSettings& settings, const CAutoProfiles& profiles);

  const std::u16string& Title() const { return title_; }
  bool TerminateMode() const { return terminate_mode_; }
  // In terminate mode: what the stop found and did, and (with "bulldoze")
  // what became of the settings; the error of a failed stop is the exit
  // code.
  StopOutcome StopResult() const { return stop_outcome_; }
  std::optional<BulldozeOutcome> Bulldozed() const { return bulldozed_; }
  const CLogFile& LogFile() const { return log_file_; }

 private:
  bool StopPath();
  bool CheckForeignApplications();
  bool AcquireInstance();
  void WriteLogHeader();
  void Refuse(std::u16string_view text);
  std::u16string LoadText(unsigned id) const;
  void LoadTitle();

  CAppUi& ui_;
  const CommandLine command_line_;
  const platform::HMODULE resources_;
  std::unique_ptr<CSettings> own_settings_;
  std::unique_ptr<CAutoProfiles> own_profiles_;
  CSettings* settings_ = nullptr;
  const CAutoProfiles* profiles_ = nullptr;
  std::u16string title_;
  bool title_loaded_ = false;
  bool terminate_mode_ = false;
  uint32_t terminate_result_ = 0;
  StopOutcome stop_outcome_ = StopOutcome::kNotRunning;
  std::optional<BulldozeOutcome> bulldozed_;
  bool refused_ = false;
  CLogFile log_file_;
  platform::UniqueHandle instance_mutex_;  // held until the process (or this object) ends
  std::unique_ptr<platform::WindowClassListener> listener_;
};

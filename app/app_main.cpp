#include "app/app_main.h"

#include <ctime>
#include <new>

#include "app/auto_profiles.h"
#include "app/settings.h"
#include "app/string_loader.h"
#include "foundation/xfile_version.h"
#include "foundation/xlog.h"
#include "foundation/xmemory.h"
#include "foundation/xregistry.h"
#include "foundation/xresource.h"
#include "foundation/xsystem.h"
#include "platform/named_object.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "platform/text.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace {

using platform::Utf16ToUtf8;

// The system error of the call that just failed, as a result when there is
// none.
uint32_t LastErrorOrFail() {
  const uint32_t error = platform::GetLastError();
  return error != 0 ? error : platform::kResultFail;
}

// The program's file name without its folder: the title when the string
// table has none.
std::u16string ProgramName() {
  char* path = XGetModuleFileName(nullptr);
  if (path == nullptr) return u"vombel-connect";
  std::string name = path;
  XFree(path);
  const size_t slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return platform::Utf8ToUtf16(name);
}

}  // namespace

CAppMain::CAppMain(CAppUi& ui, CommandLine command_line, platform::HMODULE resources)
    : ui_(ui), command_line_(std::move(command_line)), resources_(resources) {}

CAppMain::~CAppMain() {
  listener_.reset();
  log_file_.Uninstall();
}

std::u16string CAppMain::LoadText(unsigned id) const {
  char16_t* text = XLoadString(resources_, id);
  if (text == nullptr) {
    XLogLevel(kXLogWarning, "CDvHelper::LoadSafeString, LoadString, %d: NOK.", static_cast<int>(id));
    return {};
  }
  std::u16string result(text);
  XFree(text);
  return result;
}

void CAppMain::LoadTitle() {
  if (title_loaded_) return;
  title_ = LoadText(kTitleStringId);
  if (title_.empty()) title_ = ProgramName();
  title_loaded_ = true;
}

bool CAppMain::InitInstance() {
  // 1. Settings, with the command line's switches.
  const CommandLine& command_line = command_line_;
  CSettings::SwitchTest switches = [command_line](std::u16string_view name) {
    return command_line.Has(name);
  };
  if (resources_ == nullptr) {
    CSettings::SetSwitchTest(switches);
    settings_ = &CSettings::Instance();
    profiles_ = &CAutoProfiles::Instance();
  } else {
    own_settings_ = std::make_unique<CSettings>();
    own_settings_->Load(resources_, switches);
    own_profiles_ = std::make_unique<CAutoProfiles>(resources_);
    settings_ = own_settings_.get();
    profiles_ = own_profiles_.get();
  }

  // 2. The log file. Without it the program runs on; the trace then goes to
  // standard error.
  if (settings_->Log != 0) {
    XLogSetThreshold(kXLogTrace);
    LoadTitle();
    const uint32_t error = log_file_.Open(CLogFile::PathFor(title_));
    if (error == 0) {
      log_file_.Install();
    } else {
      XLogLevel(kXLogError, "CAppMain::InitInstance, CreateFile: 0x%x.", error);
    }
  }

  // 3. Stopping another instance is all this run does.
  if (settings_->Bulldoze != 0 || settings_->Stop != 0) return StopPath();

  // 4. The framework's initialisation.
  LoadTitle();
  ui_.Initialize(title_);

  // 5., 6. Nobody else may drive the card, and we run once.
  if (!CheckForeignApplications()) return false;
  if (!AcquireInstance()) return false;

  // 7. Build consistency.
  if (const char* message = CheckBuild(*settings_, *profiles_)) {
    Refuse(platform::Utf8ToUtf16(message));
    return false;
  }

  // 8. The main window's class: from now on other instances find us. (The
  // class information of a system dialog class has no counterpart here, so
  // there is no "FAILED to GetClassInfo" case.)
  CAppUi& ui = ui_;
  listener_ = platform::WindowClassListener::Start(
      kMainWindowClass, [&ui](uint32_t message, uintptr_t wparam, intptr_t lparam) {
        ui.PostToMainWindow(message, wparam, lparam);
      });
  if (!listener_) {
    XLogLevel(kXLogError, "FAILED to RegisterClass");
    refused_ = true;
    return false;
  }

  // 9. Every log starts the same way.
  WriteLogHeader();

  // 10. The main window.
  switch (ui_.CreateMainWindow()) {
    case CAppUi::WindowResult::kCreated:
      break;
    case CAppUi::WindowResult::kOutOfMemory:
      XLogLevel(kXLogError, "Invalid pointer.");
      refused_ = true;
      return false;
    case CAppUi::WindowResult::kFailed:
      XLogLevel(kXLogError, "Failed to create the main window.");
      refused_ = true;
      return false;
  }

  // 11.
  if (settings_->NoShow == 0) ui_.ShowMainWindow();
  return true;
}

bool CAppMain::StopPath() {
  terminate_mode_ = true;
  // The title names the program in the line the stop prints.
  LoadTitle();
  terminate_result_ = TerminateExistingInstance();
  XLogLevel(kXLogTrace, "CAppMain::InitInstance, TerminateExistingInstance: 0x%x.",
            terminate_result_);
  if (settings_->Bulldoze != 0) {
    XLogLevel(kXLogTrace, "CAppMain::Bulldoze %s.", Bulldoze() ? "suceeded" : "failed");
  }
  return false;
}

bool CAppMain::CheckForeignApplications() {
  for (std::u16string_view name : kForeignMutexNames) {
    platform::UniqueHandle mutex(platform::CreateMutex(name, false));
    if (!mutex) {
      Refuse(LoadText(kOtherApplicationsStringId));
      return false;
    }
    if (platform::GetLastError() == platform::kErrorAlreadyExists) {
      Refuse(ReplaceFirstPlaceholder(LoadText(kAnotherApplicationStringId), title_));
      XLogLevel(kXLogError, "Another application that uses the device was detected.");
      return false;
    }
  }
  return true;
}

bool CAppMain::AcquireInstance() {
  platform::UniqueHandle mutex(platform::CreateMutex(kOwnMutexName, false));
  if (!mutex) {
    Refuse(LoadText(kOtherUsersStringId));
    return false;
  }
  if (platform::GetLastError() != platform::kErrorAlreadyExists) {
    instance_mutex_ = std::move(mutex);
    return true;
  }
  XLogLevel(kXLogError, "An instance of this application already exists.");
  mutex.reset();
  // Activating the instance that runs is this start's whole job: no box.
  std::unique_ptr<platform::RemoteWindow> window = platform::FindWindow(kMainWindowClass);
  if (window && window->Post(WM_APP_SHOW_MAIN, 0, 0)) return false;
  Refuse(ReplaceFirstPlaceholder(LoadText(kUnableToActivateStringId), title_));
  XLogLevel(kXLogError, "Unable to activate the previous instance.");
  return false;
}

void CAppMain::Refuse(std::u16string_view text) {
  refused_ = true;
  ui_.ShowMessageBox(text);
}

const char* CAppMain::CheckBuild(const CSettings& settings, const CAutoProfiles& profiles) {
  if (settings.Loaded != 0 && settings.UserNamePasswordSupported == 0 && profiles.Count() > 0 &&
      profiles.HasCredentials()) {
    return "Wrong build. Invalid settings.";
  }
  if (!profiles.IsValid()) {
    return profiles.Duplicated() ? "Wrong build. Duplicated auto profiles."
                                 : "Wrong build. Invalid auto profiles.";
  }
  return nullptr;
}

void CAppMain::WriteLogHeader() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  XLogLevel(kXLogError, "Log started     : %d-%02d-%02d, %d:%02d:%02d", local.tm_year + 1900,
            local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);

  platform::OSVERSIONINFO version{};
  if (GetVersionInfo(&version)) {
    const bool nt = IsNtPlatform(version);
    const uint32_t build = nt ? version.dwBuildNumber : (version.dwBuildNumber & 0xFFFF);
    XLog("Operating system: %d.%d %s (build#=%d \"%s\")", static_cast<int>(version.dwMajorVersion),
         static_cast<int>(version.dwMinorVersion), nt ? "NT" : "Gamer", static_cast<int>(build),
         Utf16ToUtf8(version.szCSDVersion).c_str());
  } else {
    XLogLevel(kXLogError, "Operating system: Unable to get the version.");
  }

  XLogLevel(kXLogError, "Product name    : %s", Utf16ToUtf8(title_).c_str());

  FixedFileInfo info{};
  if (XGetFixedFileInfo(nullptr, &info)) {
    XLogLevel(kXLogError, "Product version : %d.%d.%d.%d",
              static_cast<int>(info.file_version_ms >> 16),
              static_cast<int>(info.file_version_ms & 0xFFFF),
              static_cast<int>(info.file_version_ls >> 16),
              static_cast<int>(info.file_version_ls & 0xFFFF));
  } else {
    XLogLevel(kXLogError, "Product version : Unable to get the version.");
  }
}

uint32_t CAppMain::TerminateExistingInstance() {
  XLogLevel(kXLogTrace, "CAppMain::TerminateExistingInstance");
  stop_outcome_ = StopOutcome::kFailed;
  std::unique_ptr<platform::RemoteWindow> window = platform::FindWindow(kMainWindowClass);
  if (!window) {
    XLogLevel(kXLogTrace, "CAppMain::TerminateExistingInstance: not found.");
    stop_outcome_ = StopOutcome::kNotRunning;
    return 0;
  }
  // The process is opened before it is asked to exit: one that exits at
  // once must be seen ending, not missing.
  const pid_t pid = window->ProcessId();
  if (pid <= 0) return LastErrorOrFail();
  platform::UniqueHandle process(
      platform::OpenProcess(platform::kSynchronize | platform::kProcessTerminate, pid));
  if (!process) return LastErrorOrFail();

  window->Post(platform::WM_COMMAND, kExitCommand, 0);

  switch (platform::WaitForSingleObject(process.get(), kStopTimeoutMs)) {
    case platform::kWaitObject0:
      XLogLevel(kXLogTrace, "CAppMain::TerminateExistingInstance: stopped.");
      stop_outcome_ = StopOutcome::kStopped;
      return 0;
    case platform::kWaitTimeout:
      if (!platform::TerminateProcess(process.get(), kTerminateExitCode)) return LastErrorOrFail();
      XLogLevel(kXLogTrace, "CAppMain::TerminateExistingInstance: terminated.");
      stop_outcome_ = StopOutcome::kKilled;
      return 0;
    default:
      return LastErrorOrFail();
  }
}

bool CAppMain::Bulldoze() {
  // Without the product key's name the path would be the whole hive.
  const std::u16string product_key = LoadText(CSettings::kBaseKeyStringId);
  bulldozed_ = BulldozeOutcome::kFailed;
  if (product_key.empty()) return false;
  const std::u16string tree = u".DEFAULT\\" + product_key;
  const uint32_t error = XRegDeleteKeyTree(platform::HKEY_USERS, tree.c_str(), true);
  if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) bulldozed_ = BulldozeOutcome::kNothingStored;
  if (error == 0) bulldozed_ = BulldozeOutcome::kDeleted;
  return error == 0;
}

uint32_t CAppMain::ExitInstance(int framework_exit_code) {
  listener_.reset();
  uint32_t code = static_cast<uint32_t>(framework_exit_code);
  if (terminate_mode_) {
    code = terminate_result_;
  } else if (refused_) {
    code = kRefusedExitCode;
  }
  log_file_.Close();
  return code;
}

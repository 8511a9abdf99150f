// Drives the real main window over the worker thread and the simulated card:
// the device tree, adapters and dial-up service of the worker's tests, the
// virtual clock moved only while the worker waits with nothing to run, a
// stand-in for the PIN, PUK and error dialogs that plays the user, and a
// recorder for the window's questions. Used by the window's tests and by
// the screenshot program.
#pragma once

// Before any Qt header: the simulator names a parameter "slots", which Qt
// defines away.
#include "sim/sim_card_builder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QtTest>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/auto_profiles.h"
#include "app/cached_dravik.h"
#include "app/settings.h"
#include "app/ui/code_dialogs.h"
#include "app/ui/dlg_main.h"
#include "app/worker_thread.h"
#include "platform/clock.h"
#include "platform/sim_device_events.h"
#include "platform/sim_device_tree.h"
#include "platform/sim_dial_up_service.h"
#include "platform/sim_ip_helper.h"
#include "platform/window.h"
#include "tests/support/log_capture.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/fake_tray_area.h"

namespace ui_testing {

// The user at the PIN, PUK and error dialogs: records what the window opens
// and answers as a test tells it to, through the same result messages the
// real dialogs post.
class FakeCodeDialogs final : public CCodeDialogs {
 public:
  struct PinOpen {
    int mode;
    int trials_left;
    bool supported;
  };

  void OpenPin(int mode, int trials_left, bool supported) override {
    pin_opens.push_back({mode, trials_left, supported});
    mode_ = mode;
    has_pin_ = true;
  }
  int PinMode() const override { return mode_; }
  bool HasPinDialog() const override { return has_pin_; }
  QString TakePin() override { return std::exchange(pin, QString()); }
  void OpenPuk(int trials_left, bool, bool quiet) override { puk_opens.push_back({quiet ? 1 : 0, trials_left, true}); }
  QString TakePuk() override { return std::exchange(puk, QString()); }
  QString TakeNewPin() override { return std::exchange(new_pin, QString()); }
  QString TakeChangeOldPin() override { return {}; }
  QString TakeChangeNewPin() override { return {}; }
  void HideCodeDialogs() override { ++hidden; }
  void ShowError(const QString& text) override { errors.push_back(text); }
  bool ErrorShown() const override { return !errors.empty(); }
  QWidget* ForemostVisible() const override { return nullptr; }

  std::vector<PinOpen> pin_opens;
  std::vector<PinOpen> puk_opens;
  std::vector<QString> errors;
  int hidden = 0;
  QString pin;
  QString puk;
  QString new_pin;

 private:
  int mode_ = kPinEnter;
  bool has_pin_ = false;
};

class MainWindowDriver {
 public:
  static constexpr uint32_t kStepMs = 50;
  static constexpr uint64_t kVirtualLimitMs = 600000;
  static constexpr std::chrono::seconds kSafetyNet{60};

  MainWindowDriver() {
    clock_.SetSleepAdvances(true);
    CachedDravik::Instance().Reset();
    CAutoProfiles::SetLastImsi(u"");
    CSettings& s = settings();
    saved_ = {s.RoamingAware, s.AutoProfilesAvailable, s.AutoProfiles, s.SmsSupported,
              s.ForeignConnectionFriendlyMode, s.TechnologyPreferencesMode,
              s.LastTechnologySelectionModeSupported, s.UserNamePasswordSupported, s.BasicViewOnly};
  }

  ~MainWindowDriver() {
    presence_.reset();
    delete window_.data();
    platform::PumpMessages();
    CachedDravik::Instance().Reset();
    CAutoProfiles::SetLastImsi(u"");
    CSettings& s = settings();
    s.RoamingAware = saved_[0];
    s.AutoProfilesAvailable = saved_[1];
    s.AutoProfiles = saved_[2];
    s.SmsSupported = saved_[3];
    s.ForeignConnectionFriendlyMode = saved_[4];
    s.TechnologyPreferencesMode = saved_[5];
    s.LastTechnologySelectionModeSupported = saved_[6];
    s.UserNamePasswordSupported = saved_[7];
    s.BasicViewOnly = saved_[8];
  }

  static CSettings& settings() { return CSettings::Instance(); }

  // The window, with its worker started.
  // `start_worker` false: the test plays the worker, writing the cache and
  // posting notifications itself.
  // `show` false: made and left as -noshow leaves it.
  void OpenWindow(bool start_worker = true, bool show = true) {
    auto fake = std::make_unique<FakeCodeDialogs>();
    dialogs = fake.get();
    CDlgMain::Dependencies deps;
    deps.dialogs = std::move(fake);
    deps.start_worker = start_worker;
    auto tray = std::make_unique<FakeTrayArea>(tray_available);
    tray_ = tray.get();
    deps.tray_area = std::move(tray);
    deps.ask = [this](const QString& text, bool) {
      asked.push_back(text);
      return answer;
    };
    window_ = new CDlgMain(QStringLiteral("Vombel Connect"), std::move(deps));
    // Shown, as the program shows it: Enter reaches the default button only
    // in a visible window.
    if (show) window_->ShowAndActivate();
  }
  CDlgMain* Window() const { return window_.data(); }
  // The window ended itself.
  void ForgetWindow() { window_.clear(); }

  sim::SimCardBuilder OpenCard() const {
    return sim::NewSimCard(sim::CardKind::kMultiplexing3g)
        .Registered(1)
        .Operator("Vombel Netz", "Vombel", "26203")
        .Imsi("262031234567890")
        .Signal(14, 0);
  }
  sim::SimCardBuilder LockedCard() const { return OpenCard().WithPin("4711"); }

  void Plug(const sim::SimCardBuilder& builder) { presence_ = builder.BuildIn(tree_, &adapters_); }
  sim::SimCard& Card() { return presence_->Card(); }
  sim::SimPresence& Presence() { return *presence_; }
  CachedDravikValues Cache() const { return CachedDravik::Instance().Snapshot(); }
  platform::SimIpHelper& Adapters() { return adapters_; }

  // The user confirms the PIN dialog with `code`, or cancels it.
  void EnterPin(const QString& code) {
    dialogs->pin = code;
    platform::PostMessage(window_->Hwnd(), CDlgMain::kPinDialogResult, 1, 0);
  }
  // The user confirms the PUK dialog with the PUK and a new PIN.
  void EnterPuk(const QString& puk, const QString& new_pin) {
    dialogs->puk = puk;
    dialogs->new_pin = new_pin;
    platform::PostMessage(window_->Hwnd(), CDlgMain::kPukDialogResult, 1, 0);
  }
  void CancelPin() { platform::PostMessage(window_->Hwnd(), CDlgMain::kPinDialogResult, 0, 0); }

  // As the worker does: change the cache, then tell the window.
  void Notify(const std::function<void(CachedDravikValues&)>& change, uint32_t message, uintptr_t wparam = 0,
              intptr_t lparam = 0) {
    CachedDravik::Instance().Update(change);
    platform::PostMessage(window_->Hwnd(), message, wparam, lparam);
    platform::PumpMessages();
  }

  bool Idle() const { return window_ == nullptr || window_->Worker() == nullptr || window_->Worker()->Idle(); }

  // Runs the window's messages and Qt's events until `predicate` holds,
  // letting virtual time pass in steps while the worker has nothing to run.
  template <typename Predicate>
  bool RunUntil(Predicate predicate, uint64_t virtual_limit_ms = kVirtualLimitMs) {
    const uint64_t start = clock_.NowMs();
    const auto deadline = std::chrono::steady_clock::now() + kSafetyNet;
    for (;;) {
      const size_t ran = platform::PumpMessages();
      QCoreApplication::processEvents();
      NoteState();
      if (window_ == nullptr || predicate()) return true;
      if (clock_.NowMs() - start > virtual_limit_ms) return false;
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (ran == 0 && Idle()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (Idle()) clock_.Advance(kStepMs);
      } else {
        std::this_thread::yield();
      }
    }
  }
  // Lets `virtual_ms` pass with everything run; false on the safety net.
  bool RunFor(uint64_t virtual_ms) {
    const uint64_t until = clock_.NowMs() + virtual_ms;
    return RunUntil([&] { return clock_.NowMs() >= until; }, virtual_ms + kStepMs);
  }

  // As RunUntil, but virtual time passes while the worker waits too: a mute
  // card's commands run into their time-outs.
  template <typename Predicate>
  bool DriveUntil(Predicate predicate) {
    const uint64_t start = clock_.NowMs();
    const auto deadline = std::chrono::steady_clock::now() + kSafetyNet;
    for (;;) {
      const size_t ran = platform::PumpMessages();
      QCoreApplication::processEvents();
      if (window_ == nullptr || predicate()) return true;
      if (clock_.NowMs() - start > kVirtualLimitMs) return false;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (ran == 0 && !clock_.AdvanceToNextDeadline()) clock_.Advance(kStepMs);
    }
  }

  QString StateText() const { return Label("state")->text(); }
  QString SeenStates() const {
    QStringList all(seen_states_.begin(), seen_states_.end());
    return all.join(QStringLiteral(" | "));
  }
  bool SeenState(const QString& text) const {
    for (const QString& seen : seen_states_) {
      if (seen == text) return true;
    }
    return false;
  }

  QLabel* Label(const char* name) const { return Find<QLabel>(name); }
  QAbstractButton* Button(const char* name) const { return Find<QAbstractButton>(name); }
  QLineEdit* Line(const char* name) const { return Find<QLineEdit>(name); }

  bool ProfileFieldsEnabledAre(bool enabled) const {
    for (const char* name : {"user_name", "password", "apn"}) {
      if (Line(name)->isEnabled() != enabled) return false;
    }
    return true;
  }

  void DumpLog() const {
    for (const std::string& line : log.Lines()) std::fprintf(stderr, "  | %s\n", line.c_str());
  }

  testing_support::LogCapture log{kXLogTrace};
  FakeCodeDialogs* dialogs = nullptr;
  // The notification area the window finds (set before OpenWindow).
  bool tray_available = true;
  FakeTrayArea& Tray() const { return *tray_; }
  std::vector<QString> asked;
  bool answer = true;

 private:
  template <typename T>
  T* Find(const char* name) const {
    T* widget = window_->findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr) qFatal("no control %s", name);
    return widget;
  }

  void NoteState() {
    if (window_ == nullptr) return;
    const QString now = StateText();
    if (seen_states_.empty() || seen_states_.back() != now) seen_states_.push_back(now);
  }

  testing_support::TempDir runtime_{"ui-runtime"};
  testing_support::ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.Path()};
  testing_support::TempDir home_{"ui-home"};
  testing_support::ScopedEnv config_env_{"XDG_CONFIG_HOME", home_.Path()};
  testing_support::ScopedEnv data_env_{"XDG_DATA_HOME", home_.Path()};
  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_tree_{tree_};
  platform::SimDeviceEvents device_events_{tree_};
  platform::SimIpHelper adapters_;
  platform::ScopedIpHelper scoped_adapters_{adapters_};
  platform::SimDialUpService dial_up_{adapters_};
  platform::ScopedDialUpService scoped_dial_up_{dial_up_};
  std::unique_ptr<sim::SimPresence> presence_;
  QPointer<CDlgMain> window_;
  FakeTrayArea* tray_ = nullptr;  // the window's
  std::vector<QString> seen_states_;
  std::array<uint32_t, 9> saved_{};
};

}  // namespace ui_testing

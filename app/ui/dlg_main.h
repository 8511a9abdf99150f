// The program's main window: the device, network and connection state the
// worker thread caches, Connect/Disconnect, the technology preference, the
// PIN check switch and the connection profile. It owns a platform window on
// the user-interface thread, which is where the worker posts its
// notifications, and it starts the worker when it is made and stops it when
// it goes. Cancel (Close, Escape, the window's close box) only hides it; the
// exit command ends the program, once a connection that is up has come down.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/cached_dravik.h"
#include "app/active_connections.h"
#include "app/status_texts.h"
#include "app/ui/tray_area.h"
#include "app/ui/code_dialogs.h"
#include "platform/window.h"

class CAutoProfiles;
class CProfile;
class CSettings;
class CWorkerThread;
class ApnLineEdit;
class CAboutBox;
class CDlgDiagnostics;
class CDlgSmsCentre;
class CDlgUssd;
class QAction;
class SignalBarsWidget;
class QAbstractButton;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QToolButton;
struct StatusInputs;
class CNotifyIconHk;
class CNotifyIconSms;

class CDlgMain : public QDialog {
 public:
  // Menu commands (system and tray menu).
  static constexpr uintptr_t kAboutCommand = 16;
  static constexpr uintptr_t kExitSysCommand = 32;
  static constexpr uintptr_t kDiagnosticsCommand = 48;
  static constexpr uintptr_t kSmsCentreCommand = 64;
  static constexpr uintptr_t kUssdCommand = 80;
  static constexpr uintptr_t kConnectCommand = 1297;
  static constexpr uintptr_t kShowMainCommand = 1298;
  // Dialog results posted to the platform window.
  static constexpr uint32_t kPinDialogResult = 32776;
  static constexpr uint32_t kPukDialogResult = 32777;
  static constexpr intptr_t kFromChangePin = 2;
  // The tray icons' identifiers, the timer that tells a click from a double
  // click, and the menu request it posts when the double-click time passed.
  static constexpr uint32_t kMainTrayIconId = 1;
  static constexpr uint32_t kSmsTrayIconId = 2;
  static constexpr uintptr_t kTrayClickTimer = 123;
  static constexpr intptr_t kTrayMenuRequest = 32772;
  // Profile field limits.
  static constexpr int kUserNameMax = 40;
  static constexpr int kPasswordMax = 40;
  static constexpr int kApnMax = 100;

  // A question or a note to the user: true when the user chose OK.
  using AskFunction = std::function<bool(const QString& text, bool ok_cancel)>;
  // The error dialog's text for a result code and its flag.
  using ErrorTextFunction =
      std::function<std::u16string(uint32_t code, bool flag, const CachedDravikValues& values)>;

  struct Dependencies {
    CSettings* settings = nullptr;             // null: CSettings::Instance()
    const CAutoProfiles* profiles = nullptr;   // null: CAutoProfiles::Instance()
    std::unique_ptr<CActiveConnectionCount> connections;  // null: the watcher thread, when the mode asks for it
    std::unique_ptr<CCodeDialogs> dialogs;     // null: the program's dialogs
    AskFunction ask;                           // null: a message box
    ErrorTextFunction error_text;              // null: the program's texts
    std::unique_ptr<CTrayArea> tray_area;      // null: the desktop's notification area
    bool start_worker = true;
  };

  explicit CDlgMain(const QString& title);
  CDlgMain(const QString& title, Dependencies dependencies);
  ~CDlgMain() override;

  // A message another instance posted to the window's class: the activation
  // message and the exit command; anything else is ignored.
  void HandleMessage(uint32_t message, uintptr_t wparam, intptr_t lparam);

  // WM_APP_SHOW_MAIN: show the window and bring it to the foreground.
  void ShowAndActivate();

  // The platform window the worker posts to.
  platform::HWND Hwnd() const { return hwnd_; }
  CWorkerThread* Worker() const { return worker_.get(); }

  // Menu commands and buttons, also for the tray icon to come.
  void OnSysCommand(uintptr_t command);
  void ConnectDisconnect(bool ask_roaming = true);
  void OnExit();
  void OpenSmsCentre();
  void OpenDiagnostics();
  void OpenAbout();
  void OpenUssd();

  // One more entry at the end of the window's menu and of the tray menu,
  // behind a separator (the simulated card's console uses it).
  void AddMenuEntry(const QString& text, std::function<void()> action);

  bool ExitPending() const { return exit_pending_; }
  bool ProfileShown() const { return profile_shown_; }
  // The tray tooltip of the last refresh.
  const std::u16string& TooltipText() const { return tooltip_text_; }
  // The connection state the window shows: the cached one, or the one a
  // Connect click moved to until the worker reports back.
  int ShownConnectionState() const;
  // The SMS centre, null until first opened; the state of the SMS tray
  // icon, which the status shows.
  CDlgSmsCentre* SmsCentre() const;
  // The USSD window, null until first opened (or until the network spoke).
  CDlgUssd* Ussd() const;
  SmsIconState SmsIcon() const { return sms_icon_; }

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;

 private:
  platform::LRESULT WindowProcedure(uint32_t message, platform::WPARAM wparam, platform::LPARAM lparam);
  void OnNotification(uint32_t message, uintptr_t wparam, intptr_t lparam);

  void BuildLayout();
  void BuildTrayIcons(std::unique_ptr<CTrayArea> area);
  void BuildMenus();
  void OnTrayNotify(intptr_t mouse_message);
  void OpenTrayMenu();
  bool ConnectAllowed() const;
  void KeepReachable();
  // Hides the window, or on a desktop without a notification area
  // minimises it; true when hidden.
  bool HideToTray();
  void LayoutTechnologyGroup();
  void RetranslateTechnologyLabels();

  // Notifications.
  void FullRefresh();
  void OnPinRequired();
  void OnPukRequired();
  void OnPinDialogResult(uintptr_t result, intptr_t source);
  void OnPukDialogResult(uintptr_t result);
  void OnPinReady();
  void OnError(uint32_t code, bool flag);
  void OnTechnologyMode(int mode);
  void OnPinMode(bool only_enabling);
  void ShowProfile(std::unique_ptr<CProfile> profile);
  void OnConnectionState();
  void OnForeignConnections();
  void OnUpdateLogo();
  void OnSms(uintptr_t code, intptr_t lparam);
  void OnUssdNews(intptr_t lparam);
  // The USSD menu entries and window follow the card's readiness.
  void RefreshUssd();

  // Commands.
  void OnTechnologyClicked(int control_id);
  void OnPinButtonClicked(bool enable);
  void OnSave();
  void OnAutomatic();
  void ToggleSettings();
  void OnProfileEdited();

  // Shared rules.
  StatusInputs Inputs() const;
  void RefreshConnectButton();
  void RefreshStatus();
  // The traffic lines: the cache's figures while the window shows the
  // connection up, hidden otherwise.
  void RefreshTraffic();
  bool TechnologyButtonsAllowed() const;
  bool ProfileFieldsAllowed() const;
  void EnableTechnologyButtons(bool enable);
  void EnablePinButtons(bool enable);
  void EnableProfileFields(bool enable);
  void ReenableControls();
  void RememberFocus();
  void RestoreFocus();
  void DisableForRequest();
  void MarkTechnology(int mode);
  void MarkPin(std::optional<bool> enabled);
  void UpdateAutomaticButton();
  void SetSaveEnabled(bool enabled);
  bool Ask(const QString& text, bool ok_cancel);
  bool Post(uint32_t request, uintptr_t wparam, intptr_t lparam);
  void BringForward(QWidget* window);
  const CProfile* AutomaticProfile() const;

  CSettings& settings_;
  const CAutoProfiles& profiles_;
  // The count the foreign-connection rule reads: null while foreign
  // connections are tolerated (nobody counts them).
  std::unique_ptr<CActiveConnectionCount> connections_;
  std::unique_ptr<CTrayArea> tray_area_;
  std::unique_ptr<CNotifyIconHk> tray_main_;
  std::unique_ptr<CNotifyIconSms> tray_sms_;  // null unless SMS is supported
  bool tray_double_click_ = false;
  bool reachable_ = false;  // set once built: a hidden window keeps a way back
  int ActiveConnections() const { return connections_ ? connections_->ActiveConnections() : 0; }
  std::unique_ptr<CCodeDialogs> dialogs_;
  AskFunction ask_;
  ErrorTextFunction error_text_;

  std::u16string class_name_;
  platform::HWND hwnd_ = nullptr;
  std::unique_ptr<CWorkerThread> worker_;
  bool closing_ = false;

  CachedDravikValues values_;
  std::optional<int> requested_connection_state_;
  bool exit_pending_ = false;
  bool profile_shown_ = false;
  bool unsaved_edits_ = false;  // what "Save" would store differs from the shown profile
  std::u16string tooltip_text_;
  int marked_technology_ = -1;
  std::optional<bool> marked_pin_;
  QPointer<QWidget> remembered_focus_;
  QPointer<CAboutBox> about_;
  QPointer<CDlgDiagnostics> diagnostics_;
  QPointer<CDlgSmsCentre> sms_centre_window_;
  QPointer<CDlgUssd> ussd_;
  QAction* ussd_actions_[2] = {};  // the window's menu, the tray menu
  SmsIconState sms_icon_ = SmsIconState::kHidden;
  bool settings_shown_ = true;

  // Controls.
  QLabel* logo_ = nullptr;
  QLabel* state_icon_ = nullptr;
  QLabel* state_text_ = nullptr;
  QLabel* operator_ = nullptr;
  QLabel* technology_ = nullptr;
  SignalBarsWidget* bars_ = nullptr;
  QLabel* signal_text_ = nullptr;
  QWidget* traffic_ = nullptr;
  QLabel* traffic_sent_ = nullptr;
  QLabel* traffic_sending_rate_ = nullptr;
  QLabel* traffic_received_ = nullptr;
  QLabel* traffic_receiving_rate_ = nullptr;
  QLabel* traffic_duration_ = nullptr;
  QPushButton* connect_ = nullptr;
  QPushButton* sms_centre_ = nullptr;
  QPushButton* close_ = nullptr;
  QPushButton* toggle_settings_ = nullptr;
  QToolButton* menu_button_ = nullptr;
  QMenu* menu_ = nullptr;
  QWidget* settings_area_ = nullptr;
  QGroupBox* technology_group_ = nullptr;
  QRadioButton* technology_buttons_[4] = {};  // 1005..1008
  QGroupBox* pin_group_ = nullptr;
  QRadioButton* pin_enabled_ = nullptr;
  QRadioButton* pin_disabled_ = nullptr;
  QGroupBox* profile_group_ = nullptr;
  QLabel* user_name_label_ = nullptr;
  QLineEdit* user_name_ = nullptr;
  QLabel* password_label_ = nullptr;
  QLineEdit* password_ = nullptr;
  ApnLineEdit* apn_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* automatic_ = nullptr;
  QStatusBar* status_bar_ = nullptr;
  QLabel* pane_foreign_ = nullptr;
  SignalBarsWidget* pane_signal_ = nullptr;
  QLabel* pane_sms_ = nullptr;
  QLabel* pane_technology_ = nullptr;
};

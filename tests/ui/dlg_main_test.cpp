// The main window over the worker thread and the simulated card: what it
// shows and offers in each state of a card's life, the questions it asks,
// and how it saves, chooses and keeps connection profiles.
// The driver first: it brings the simulator in before Qt's keywords.
#include "tests/ui/main_window_driver.h"

#include "app/ui/dlg_main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "tests/ui/ui_test_registry.h"
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/app_messages.h"
#include "app/cached_dravik.h"
#include "app/profile.h"
#include "app/settings.h"
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

using namespace app_messages;
using namespace ui_testing;

class DlgMainTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void ACardsLifeShowsEachStatesTextsAndControls();
  void EachCachedStateShowsItsTextAndConnectButton_data();
  void EachCachedStateShowsItsTextAndConnectButton();
  void RoamingAsksBeforeConnectingAndCancelLeavesItDisconnected();
  void AWrongPinIsReportedAndTheControlsComeBack();
  void ThreeWrongPinsLeadToThePukDialogAndThePukUnblocks();
  void TheLastWrongPukBlocksTheSimForGood();
  void AnotherConnectionKeepsConnectDisabledAndDropsOurs();
  void SaveStoresTheFieldsAndTurnsAutomaticProfilesOff();
  void AProfileArrivingWhileTheUserEditsIsDiscarded();
  void AutomaticPutsTheOperatorsProfileBack();
  void AnUnknownSimKeepsTheStoredProfileAndTheCardsApn();
  void AKnownSimGetsTheOperatorsProfileAfterThePin();
  void ExitWhileConnectingWaitsForTheDisconnection();
  void ExitWhileConnectedAsksFirst();
  void CloseAndEscapeOnlyHide();
  void WithoutANotificationAreaTheWindowOnlyGoesDown();
  void PinCheckSwitchAsksForThePinAndCancelPutsTheMarkBack();

 private:
  std::unique_ptr<MainWindowDriver> driver_;
};

void DlgMainTest::init() { driver_ = std::make_unique<MainWindowDriver>(); }

void DlgMainTest::cleanup() {
  if (QTest::currentTestFailed()) driver_->DumpLog();
  driver_.reset();
}

void DlgMainTest::ACardsLifeShowsEachStatesTextsAndControls() {
  MainWindowDriver& d = *driver_;
  d.OpenWindow();

  // No card.
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Device not found"; }));
  QVERIFY(d.Label("state_warning")->isVisibleTo(d.Window()));
  QCOMPARE(d.Button("connect")->text(), QString("Connect"));
  QVERIFY(!d.Button("connect")->isEnabled());
  QVERIFY(d.ProfileFieldsEnabledAre(false));
  QVERIFY(!d.Button("pin_enabled")->isEnabled());
  QVERIFY(!d.Button("pin_enabled")->isChecked() && !d.Button("pin_disabled")->isChecked());
  // The SMS centre opens without a card too; its commands wait for a SIM.
  QVERIFY(d.Button("sms_centre")->isEnabled());

  // Found, initialising, then the SIM asks for its PIN.
  d.Plug(d.LockedCard().AnswerDelay(20));
  QVERIFY(d.RunUntil([&] { return d.dialogs->pin_opens.size() == 1; }));
  QCOMPARE(d.dialogs->pin_opens[0].mode, 0);
  QCOMPARE(d.dialogs->pin_opens[0].trials_left, 3);
  QVERIFY(!d.Button("connect")->isEnabled());
  QVERIFY(d.ProfileFieldsEnabledAre(false));
  QVERIFY(!d.Button("pin_enabled")->isEnabled());

  // The PIN: registered at home.
  d.EnterPin("4711");
  d.Card().SetSignal(14, 0);
  QVERIFY(d.RunUntil([&] {
    return d.StateText() == "Registered to Vombel Netz" && d.Button("connect")->isEnabled() &&
           d.Line("apn")->isEnabled() && d.Window()->findChild<QLabel*>("signal_text")->text() == "Very good signal";
  }));
  QVERIFY(!d.Label("state_warning")->isVisibleTo(d.Window()));
  QCOMPARE(d.Label("operator")->text(), QString("Vombel Netz"));
  QVERIFY(!d.Label("technology")->text().isEmpty());
  QCOMPARE(d.Button("connect")->text(), QString("Connect"));
  QVERIFY(d.Button("pin_enabled")->isEnabled());
  QVERIFY(d.RunUntil([&] { return d.Button("pin_enabled")->isChecked(); }));
  QVERIFY(d.ProfileFieldsEnabledAre(true));
  QCOMPARE(d.Window()->TooltipText(), d.Window()->findChild<QLabel*>("state")->text().toStdU16String() + u"\n" +
                                         d.Label("technology")->text().toStdU16String() + u"\nVery good signal");

  // Roaming, with the warning mark.
  d.Card().SetRegistration(5);
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Roaming to Vombel Netz"; }));
  QVERIFY(d.Label("state_warning")->isVisibleTo(d.Window()));

  // Connecting: the window says so at once and offers Disconnect.
  d.answer = true;
  d.Button("connect")->click();
  QCOMPARE(d.asked.size(), size_t{1});  // the roaming question
  QCOMPARE(d.StateText(), QString("Connecting..."));
  QCOMPARE(d.Button("connect")->text(), QString("Disconnect"));
  QVERIFY(d.Button("connect")->isEnabled());
  QVERIFY(d.ProfileFieldsEnabledAre(false));

  // Connected.
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Connected to Vombel Netz"; }));
  QCOMPARE(d.Button("connect")->text(), QString("Disconnect"));
  QVERIFY(d.Button("connect")->isEnabled());
  QVERIFY(d.ProfileFieldsEnabledAre(false));
  QVERIFY(!d.Label("state_warning")->isVisibleTo(d.Window()));

  // Disconnecting: no second click while it comes down.
  d.Button("connect")->click();
  QCOMPARE(d.StateText(), QString("Disconnecting..."));
  QCOMPARE(d.Button("connect")->text(), QString("Disconnect"));
  QVERIFY(!d.Button("connect")->isEnabled());

  // Back to disconnected, roaming.
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Roaming to Vombel Netz" && d.Button("connect")->isEnabled(); }));
  QCOMPARE(d.Button("connect")->text(), QString("Connect"));
  QVERIFY(d.RunUntil([&] { return d.Line("apn")->isEnabled(); }));

  // Pulled: nothing of the card stays, the PIN marks go.
  d.Presence().Pull();
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Device not found"; }));
  QVERIFY(!d.Button("connect")->isEnabled());
  QVERIFY(!d.Button("pin_enabled")->isChecked() && !d.Button("pin_disabled")->isChecked());
  QVERIFY(d.Line("apn")->text().isEmpty());
  QVERIFY(d.ProfileFieldsEnabledAre(false));
  QVERIFY(d.Label("operator")->text().isEmpty());
}

void DlgMainTest::EachCachedStateShowsItsTextAndConnectButton_data() {
  QTest::addColumn<int>("device");
  QTest::addColumn<int>("radio");
  QTest::addColumn<int>("pin_puk");
  QTest::addColumn<int>("ps");
  QTest::addColumn<int>("connection");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("warning");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<bool>("connect_enabled");
  QTest::addColumn<bool>("pin_buttons");
  QTest::newRow("no card") << 0 << 0 << 0 << 0 << 0 << "Device not found" << true << "Connect" << false << false;
  QTest::newRow("found, initialising")
      << 1 << 0 << 0 << 0 << 0 << "Device found, wait while initializing..." << false << "Connect" << false << false;
  QTest::newRow("failed") << 3 << 0 << 0 << 0 << 0 << "Failed to initialize" << true << "Connect" << false << false;
  QTest::newRow("PIN required, radio on") << 2 << 1 << 2 << 0 << 0 << "No network" << false << "Connect" << false << false;
  QTest::newRow("PUK required") << 2 << 1 << 3 << 0 << 0 << "No network" << false << "Connect" << false << false;
  QTest::newRow("ready, radio off") << 2 << 0 << 1 << 0 << 0 << "Radio is OFF" << false << "Connect" << false << true;
  QTest::newRow("locked") << 2 << 1 << 7 << 0 << 0 << "Device locked" << true << "Connect" << false << false;
  QTest::newRow("searching") << 2 << 1 << 1 << 2 << 0 << "Searching for network..." << false << "Connect" << false << true;
  QTest::newRow("registered home") << 2 << 1 << 1 << 1 << 0 << "Registered to Vombel Netz" << false << "Connect" << true << true;
  QTest::newRow("roaming") << 2 << 1 << 1 << 5 << 0 << "Roaming to Vombel Netz" << true << "Connect" << true << true;
  QTest::newRow("connecting") << 2 << 1 << 1 << 1 << 1 << "Connecting..." << false << "Disconnect" << true << true;
  QTest::newRow("connected") << 2 << 1 << 1 << 1 << 2 << "Connected to Vombel Netz" << false << "Disconnect" << true << true;
  QTest::newRow("disconnecting") << 2 << 1 << 1 << 1 << 3 << "Disconnecting..." << false << "Disconnect" << false << true;
}

void DlgMainTest::EachCachedStateShowsItsTextAndConnectButton() {
  QFETCH(int, device);
  QFETCH(int, radio);
  QFETCH(int, pin_puk);
  QFETCH(int, ps);
  QFETCH(int, connection);
  QFETCH(QString, text);
  QFETCH(bool, warning);
  QFETCH(QString, caption);
  QFETCH(bool, connect_enabled);
  QFETCH(bool, pin_buttons);
  MainWindowDriver& d = *driver_;
  d.OpenWindow(false);
  d.Notify(
      [&](CachedDravikValues& v) {
        v.DeviceState = device;
        v.RadioState = radio;
        v.PinPukState = pin_puk;
        v.PsNetworkState = ps;
        v.CsNetworkState = ps;
        v.NetworkName = ps != 0 ? u"Vombel Netz" : u"";
        v.ConnectionState = connection;
        v.PinEnabled = 1;
      },
      WM_APP_STATE_CHANGED);
  d.Notify([](CachedDravikValues&) {}, WM_APP_PIN_MODE);
  d.Notify([](CachedDravikValues&) {}, WM_APP_CONNECTION_STATE);
  QCOMPARE(d.StateText(), text);
  QCOMPARE(d.Label("state_warning")->isVisibleTo(d.Window()), warning);
  QCOMPARE(d.Button("connect")->text(), caption);
  QCOMPARE(d.Button("connect")->isEnabled(), connect_enabled);
  QCOMPARE(d.Button("pin_enabled")->isEnabled(), pin_buttons);
  QCOMPARE(d.Button("pin_enabled")->isChecked(), device != 0);
  // The profile can change only while disconnected with the SIM ready.
  QVERIFY(d.ProfileFieldsEnabledAre(pin_puk == 1 && connection == 0 && device != 0));
}

void DlgMainTest::RoamingAsksBeforeConnectingAndCancelLeavesItDisconnected() {
  MainWindowDriver& d = *driver_;
  d.OpenWindow();
  d.Plug(d.OpenCard().Registered(5));
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Roaming to Vombel Netz" && d.Button("connect")->isEnabled(); }));

  d.answer = false;
  d.Button("connect")->click();
  QCOMPARE(d.asked.size(), size_t{1});
  QVERIFY(d.asked[0].startsWith("You are going to use a different network"));
  QCOMPARE(d.Button("connect")->text(), QString("Connect"));
  QVERIFY(d.log.Contains("CDlgMain::ConnectDisconnect, RoamingAware. Connection cancelled."));
  // Nothing was asked of the worker: the state stays disconnected.
  QVERIFY(d.RunFor(2000));
  QCOMPARE(d.Cache().ConnectionState, 0);
  QCOMPARE(d.StateText(), QString("Roaming to Vombel Netz"));

  // Without the roaming rule nothing is asked.
  d.settings().RoamingAware = 0;
  d.Button("connect")->click();
  QCOMPARE(d.asked.size(), size_t{1});
  QVERIFY(d.RunUntil([&] { return d.Cache().ConnectionState == 2; }));
}

void DlgMainTest::AWrongPinIsReportedAndTheControlsComeBack() {
  MainWindowDriver& d = *driver_;
  d.OpenWindow();
  d.Plug(d.LockedCard());
  QVERIFY(d.RunUntil([&] { return d.dialogs->pin_opens.size() == 1; }));
  d.EnterPin("1111");
  QVERIFY(d.RunUntil([&] { return !d.dialogs->errors.empty() && d.dialogs->pin_opens.size() == 2; }));
  QCOMPARE(d.dialogs->pin_opens[1].trials_left, 2);
  QCOMPARE(d.dialogs->errors.front(), QStringLiteral("Incorrect PIN code."));
  QVERIFY(!d.log.Contains("1111"));
  // The PIN is still wanted: no profile fields yet.
  QVERIFY(d.ProfileFieldsEnabledAre(false));
  d.EnterPin("4711");
  QVERIFY(d.RunUntil([&] { return d.Line("apn")->isEnabled() && d.Button("pin_enabled")->isEnabled(); }));
  QVERIFY(!d.log.Contains("4711"));
  QVERIFY(d.log.Contains("OnWmAppPinDialogMessage::PIN_ENTERED: XXXX"));
}

void DlgMainTest::ThreeWrongPinsLeadToThePukDialogAndThePukUnblocks() {
  MainWindowDriver& d = *driver_;
  d.OpenWindow();
  d.Plug(d.LockedCard().WithPuk("87654321"));
  for (int trials = 3; trials > 0; --trials) {
    const size_t opens = d.dialogs->pin_opens.size();
    QVERIFY(d.RunUntil([&] { return d.dialogs->pin_opens.size() == opens + 1 || !d.dialogs->puk_opens.empty(); }));
    QVERIFY2(d.dialogs->puk_opens.empty(), "the PUK was asked for before the third wrong PIN");
    QCOMPARE(d.dialogs->pin_opens.back().trials_left, trials);
    d.EnterPin("1111");
  }
  QVERIFY(d.RunUntil([&] { return !d.dialogs->puk_opens.empty(); }));
  QCOMPARE(d.dialogs->puk_opens.front().trials_left, 10);
  QCOMPARE(d.Cache().PinPukState, 3);
  d.EnterPuk(QStringLiteral("87654321"), QStringLiteral("2468"));
  QVERIFY(d.RunUntil([&] { return d.Line("apn")->isEnabled(); }));
  QCOMPARE(QString::fromStdString(d.Card().Snapshot().pin), QStringLiteral("2468"));
  QVERIFY(!d.log.Contains("87654321") && !d.log.Contains("2468"));
}

void DlgMainTest::TheLastWrongPukBlocksTheSimForGood() {
  MainWindowDriver& d = *driver_;
  d.OpenWindow();
  d.Plug(d.LockedCard().WithPuk("87654321").PukLocked().Change([](sim::CardState& s) { s.puk_retries = 1; }));
  QVERIFY(d.RunUntil([&] { return d.dialogs->puk_opens.size() == 1; }));
  QCOMPARE(d.dialogs->puk_opens.front().trials_left, 1);
  d.EnterPuk(QStringLiteral("11111111"), QStringLiteral("2468"));
  QVERIFY(d.RunUntil([&] { return !d.dialogs->errors.empty(); }));
  QCOMPARE(d.dialogs->errors.front(), QStringLiteral("Incorrect PUK code."));
  // The SIM then fails every question: the user hears so, nothing more is
  // asked of it, and nothing of the profile can change.
  QVERIFY(d.RunFor(5000));
  QCOMPARE(d.dialogs->puk_opens.size(), size_t{1});
  QCOMPARE(d.dialogs->errors.back(),
           QStringLiteral("SIM card failure.\nPlease make sure that the SIM card is inserted correctly."));
  QCOMPARE(d.Button("connect")->isEnabled(), false);
  QVERIFY(d.ProfileFieldsEnabledAre(false));
}

void DlgMainTest::AnotherConnectionKeepsConnectDisabledAndDropsOurs() {
  MainWindowDriver& d = *driver_;
  d.settings().ForeignConnectionFriendlyMode = 0;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.Button("connect")->isEnabled(); }));
  QVERIFY(!d.Label("pane_foreign")->isVisibleTo(d.Window()));

  // A wired network comes up: no connecting beside it, and the pane says why.
  d.Adapters().AddAdapter("eth0", platform::MIB_IF_TYPE_ETHERNET, true);
  d.Adapters().SetAddress("eth0", "192.168.1.20", "255.255.255.0");
  QVERIFY(d.RunUntil([&] { return !d.Button("connect")->isEnabled(); }));
  QVERIFY(d.Label("pane_foreign")->isVisibleTo(d.Window()));
  d.Adapters().RemoveAdapter("eth0");
  QVERIFY(d.RunUntil([&] { return d.Button("connect")->isEnabled(); }));
  QVERIFY(!d.Label("pane_foreign")->isVisibleTo(d.Window()));

  // Connected, our own link is one connection; a second one drops ours.
  d.Button("connect")->click();
  QVERIFY(d.RunUntil([&] { return d.Cache().ConnectionState == 2; }));
  QVERIFY(d.RunFor(3000));
  QCOMPARE(d.Cache().ConnectionState, 2);
  d.Adapters().AddAdapter("eth0", platform::MIB_IF_TYPE_ETHERNET, true);
  d.Adapters().SetAddress("eth0", "192.168.1.20", "255.255.255.0");
  QVERIFY(d.RunUntil([&] { return d.Cache().ConnectionState == 0; }));
  QVERIFY(!d.Button("connect")->isEnabled());
}

void DlgMainTest::SaveStoresTheFieldsAndTurnsAutomaticProfilesOff() {
  MainWindowDriver& d = *driver_;
  d.settings().AutoProfilesAvailable = 1;
  d.settings().AutoProfiles = 1;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.Line("apn")->isEnabled(); }));
  QVERIFY(!d.Button("save")->isEnabled());

  // Typing enables Save; Enter saves.
  d.Line("apn")->selectAll();
  QTest::keyClicks(d.Line("apn"), "my.apn-2");
  d.Line("user_name")->clear();
  QTest::keyClicks(d.Line("user_name"), "anna");
  QVERIFY(d.Button("save")->isEnabled());
  QTest::keyClick(d.Line("user_name"), Qt::Key_Return);
  QVERIFY(!d.Button("save")->isEnabled());
  QCOMPARE(d.settings().AutoProfiles, 0u);
  QVERIFY(d.RunUntil([&] { return d.Cache().CurrentProfile->GetApn() == u"my.apn-2"; }));
  QVERIFY(d.RunUntil([&] { return d.Card().Snapshot().contexts.at(1).apn == "my.apn-2"; }));
  QCOMPARE(d.Cache().CurrentProfile->GetUserName(), std::u16string(u"anna"));
  QCOMPARE(d.settings().ReadString(CSettings::kApplicationSettingsKey, u"AutoProfiles", u"", false),
           std::u16string(u"False"));
  // The operator is known: Automatic offers its profile back.
  QVERIFY(d.Button("automatic")->isVisibleTo(d.Window()));
}

void DlgMainTest::AProfileArrivingWhileTheUserEditsIsDiscarded() {
  MainWindowDriver& d = *driver_;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.Line("apn")->isEnabled() && d.Window()->ProfileShown(); }));
  d.Line("apn")->clear();
  QTest::keyClicks(d.Line("apn"), "typed.here");
  QVERIFY(d.Button("save")->isEnabled());

  auto* arriving = new CProfile(1, u"other", u"secret", u"other.apn");
  QVERIFY(platform::PostMessage(d.Window()->Hwnd(), WM_APP_PROFILE, 0, reinterpret_cast<intptr_t>(arriving)));
  QVERIFY(d.RunFor(500));
  QCOMPARE(d.Line("apn")->text(), QString("typed.here"));
  QVERIFY(d.Line("user_name")->text() != "other");
  QVERIFY(d.Button("save")->isEnabled());
}

void DlgMainTest::AutomaticPutsTheOperatorsProfileBack() {
  MainWindowDriver& d = *driver_;
  d.settings().AutoProfilesAvailable = 1;
  d.settings().AutoProfiles = 0;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.Button("automatic")->isVisibleTo(d.Window()) && d.Button("automatic")->isEnabled(); }));
  d.Button("automatic")->click();
  QCOMPARE(d.settings().AutoProfiles, 1u);
  QVERIFY(!d.Button("automatic")->isVisibleTo(d.Window()));
  // The table's profile for 26203.
  QVERIFY(d.RunUntil([&] { return d.Line("apn")->text() == "internet.eplus.de"; }));
  QCOMPARE(d.Line("user_name")->text(), QString("eplus"));
  QCOMPARE(d.settings().ReadString(CSettings::kApplicationSettingsKey, u"AutoProfiles", u"", false),
           std::u16string(u"True"));
}

void DlgMainTest::AnUnknownSimKeepsTheStoredProfileAndTheCardsApn() {
  MainWindowDriver& d = *driver_;
  d.settings().AutoProfilesAvailable = 1;
  d.settings().AutoProfiles = 1;
  CProfile stored;
  QVERIFY(stored.SetApn(u"stored.apn", true));
  QVERIFY(stored.SetUserName(u"kept", true));
  d.OpenWindow();
  d.Plug(d.LockedCard().Imsi("001019999999999").Apn("card.apn"));
  QVERIFY(d.RunUntil([&] { return d.dialogs->pin_opens.size() == 1; }));
  d.EnterPin("4711");
  QVERIFY(d.RunUntil([&] { return !d.asked.empty(); }));
  QVERIFY(d.asked[0].startsWith("The application is unable to recognize the SIM card"));
  QCOMPARE(d.settings().AutoProfiles, 0u);
  QVERIFY(d.RunUntil([&] { return d.Line("apn")->isEnabled() && d.Line("apn")->text() == "stored.apn"; }));
  QVERIFY(d.RunFor(2000));
  QCOMPARE(d.Line("apn")->text(), QString("stored.apn"));
  QCOMPARE(d.Line("user_name")->text(), QString("kept"));
  QCOMPARE(d.Cache().CurrentProfile->GetApn(), std::u16string(u"stored.apn"));
  CProfile reloaded;
  LoadDefaultProfile(reloaded);
  QCOMPARE(reloaded.GetApn(), std::u16string(u"stored.apn"));
  QCOMPARE(reloaded.GetUserName(), std::u16string(u"kept"));
  QVERIFY(d.Card().Snapshot().contexts.at(1).apn != "");
}

void DlgMainTest::AKnownSimGetsTheOperatorsProfileAfterThePin() {
  MainWindowDriver& d = *driver_;
  d.settings().AutoProfilesAvailable = 1;
  d.settings().AutoProfiles = 1;
  d.OpenWindow();
  d.Plug(d.LockedCard());
  QVERIFY(d.RunUntil([&] { return d.dialogs->pin_opens.size() == 1; }));
  d.EnterPin("4711");
  QVERIFY(d.RunUntil([&] { return d.Line("apn")->text() == "internet.eplus.de" && d.Line("apn")->isEnabled(); }));
  QVERIFY(d.asked.empty());
  QVERIFY(!d.Button("automatic")->isVisibleTo(d.Window()));
}

void DlgMainTest::ExitWhileConnectingWaitsForTheDisconnection() {
  MainWindowDriver& d = *driver_;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.Button("connect")->isEnabled(); }));
  d.Button("connect")->click();
  QCOMPARE(d.Window()->ShownConnectionState(), 1);
  QPointer<CDlgMain> window = d.Window();
  window->OnSysCommand(CDlgMain::kExitSysCommand);
  QVERIFY(d.asked.empty());
  QVERIFY(window->ExitPending());
  QVERIFY(d.RunUntil([&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return window.isNull();
  }));
  d.ForgetWindow();
  QCOMPARE(d.Cache().ConnectionState, 0);
}

void DlgMainTest::ExitWhileConnectedAsksFirst() {
  MainWindowDriver& d = *driver_;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.Button("connect")->isEnabled(); }));
  d.Button("connect")->click();
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Connected to Vombel Netz"; }));
  QPointer<CDlgMain> window = d.Window();

  d.answer = false;
  window->OnSysCommand(CDlgMain::kExitSysCommand);
  QCOMPARE(d.asked.size(), size_t{1});
  QVERIFY(d.asked[0].endsWith("will be closed. The active connection will be terminated."));
  QVERIFY(!d.asked[0].contains("%s"));
  QVERIFY(!window->ExitPending());
  QVERIFY(d.RunFor(1000));
  QCOMPARE(d.Cache().ConnectionState, 2);

  d.answer = true;
  window->OnSysCommand(CDlgMain::kExitSysCommand);
  QVERIFY(window->ExitPending());
  QVERIFY(d.RunUntil([&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return window.isNull();
  }));
  d.ForgetWindow();
}

void DlgMainTest::CloseAndEscapeOnlyHide() {
  MainWindowDriver& d = *driver_;
  d.settings().SmsSupported = 0;
  d.OpenWindow();
  QPointer<CDlgMain> window = d.Window();
  window->ShowAndActivate();
  QVERIFY(window->isVisible());
  QVERIFY(d.Button("close")->isVisibleTo(window));
  QVERIFY(!d.Button("sms_centre")->isVisibleTo(window));
  d.Button("close")->click();
  QVERIFY(!window->isVisible());
  window->ShowAndActivate();
  QTest::keyClick(window, Qt::Key_Escape);
  QVERIFY(!window->isVisible());
  window->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QVERIFY(!window.isNull());
}

void DlgMainTest::WithoutANotificationAreaTheWindowOnlyGoesDown() {
  MainWindowDriver& d = *driver_;
  d.tray_available = false;
  // Made and never shown, as -noshow leaves it: nothing could bring a
  // hidden window back, so it waits minimised.
  d.OpenWindow(true, false);
  QPointer<CDlgMain> window = d.Window();
  QVERIFY(window->isVisible() && window->isMinimized());
  window->ShowAndActivate();
  QVERIFY(!window->isMinimized());
  QTest::keyClick(window, Qt::Key_Escape);
  QVERIFY(window->isVisible() && window->isMinimized());
  window->ShowAndActivate();
  window->close();
  QVERIFY(window->isVisible() && window->isMinimized());
}

void DlgMainTest::PinCheckSwitchAsksForThePinAndCancelPutsTheMarkBack() {
  MainWindowDriver& d = *driver_;
  d.OpenWindow();
  d.Plug(d.LockedCard());
  QVERIFY(d.RunUntil([&] { return d.dialogs->pin_opens.size() == 1; }));
  d.EnterPin("4711");
  QVERIFY(d.RunUntil([&] { return d.Button("pin_enabled")->isChecked() && d.Button("pin_disabled")->isEnabled(); }));

  // Disabling the check asks for the PIN; cancelling puts the mark back.
  d.Button("pin_disabled")->click();
  QCOMPARE(d.dialogs->pin_opens.size(), size_t{2});
  QCOMPARE(d.dialogs->pin_opens[1].mode, 2);
  QVERIFY(d.Button("pin_disabled")->isChecked());
  d.CancelPin();
  QVERIFY(d.RunUntil([&] { return d.Button("pin_enabled")->isChecked(); }));
  QVERIFY(d.log.Contains("OnWmAppPinDialogMessage::PIN_CANCELLED"));

  // Confirmed: the card's check goes off.
  d.Button("pin_disabled")->click();
  QCOMPARE(d.dialogs->pin_opens.size(), size_t{3});
  d.EnterPin("4711");
  QVERIFY(d.RunUntil([&] { return d.Cache().PinEnabled == 0 && d.Button("pin_disabled")->isChecked(); }));
  QVERIFY(d.log.Contains("OnWmAppPinDialogMessage::WM_APP_SET_PIN_MODE: [2]"));
}

VOMBEL_UI_TEST(DlgMainTest)

#include "dlg_main_test.moc"

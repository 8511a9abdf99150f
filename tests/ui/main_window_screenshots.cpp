// Pictures of the main window in each state of a card's life and with the
// traffic of a connection, of the PIN, PUK, change-PIN and error dialogs, of
// the diagnostics window and of the USSD window, for the
// documentation (docs/screenshots). Runs only when VOMBEL_SCREENSHOT_DIR
// names the folder to write to, best on a real X server:
//   Xvfb :99 &
//   DISPLAY=:99 QT_QPA_PLATFORM=xcb VOMBEL_SCREENSHOT_DIR=docs/screenshots
//     build/debug/tests/ui_tests RendersEachState
#include "tests/ui/main_window_driver.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "app/app_messages.h"
#include "app/error_texts.h"
#include "app/ui/dlg_change_pin.h"
#include "app/ui/dlg_diagnostics.h"
#include "app/ui/dlg_error.h"
#include "app/ui/dlg_pin.h"
#include "app/ui/dlg_ussd.h"
#include "app/ui/dlg_puk.h"
#include "carddetect/card_info.h"
#include "tests/ui/screenshot_palette.h"
#include "tests/ui/ui_test_registry.h"

using namespace app_messages;
using ui_testing::DarkPalette;

class MainWindowScreenshots : public QObject {
  Q_OBJECT

 private slots:
  void RendersEachState();
  void RendersTheCodeAndErrorDialogs();
  void RendersTheDiagnosticsWindow();
  void RendersTheTrafficDisplay();
  void RendersTheUssdWindow();

 private:
  static QString Folder();
  static bool Save(QWidget& window, const char* file);
};

QString MainWindowScreenshots::Folder() { return qEnvironmentVariable("VOMBEL_SCREENSHOT_DIR"); }

bool MainWindowScreenshots::Save(QWidget& window, const char* file) {
  window.show();
  window.raise();
  window.activateWindow();
  if (!QTest::qWaitForWindowExposed(&window)) return false;
  QCoreApplication::processEvents();
  return window.grab().save(QDir(Folder()).filePath(QString::fromLatin1(file)));
}

void MainWindowScreenshots::RendersEachState() {
  const QString folder = Folder();
  if (folder.isEmpty()) QSKIP("VOMBEL_SCREENSHOT_DIR is not set");
  QVERIFY(QDir().mkpath(folder));

  struct Shot {
    const char* file;
    int device, radio, pin_puk, ps, connection, signal;
    bool settings_shown;
    bool dark = false;
  };
  const Shot shots[] = {
      {"01-no-card.png", 0, 0, 0, 0, 0, 0, true},
      {"02-initialising.png", 1, 0, 0, 0, 0, 0, true},
      {"03-pin-required.png", 2, 1, 2, 0, 0, 0, true},
      {"04-registered-home.png", 2, 1, 1, 1, 0, 20, true},
      {"05-roaming.png", 2, 1, 1, 5, 0, 9, true},
      {"06-connecting.png", 2, 1, 1, 1, 1, 20, true},
      {"07-connected.png", 2, 1, 1, 1, 2, 25, true},
      {"08-disconnecting.png", 2, 1, 1, 1, 3, 25, true},
      {"09-settings-hidden.png", 2, 1, 1, 1, 2, 25, false},
      {"10-puk-required.png", 2, 1, 3, 0, 0, 0, true},
      {"11-device-locked.png", 2, 1, 6, 0, 0, 0, true},
      {"12-card-error.png", 3, 0, 0, 0, 0, 0, true},
      {"17-dark-palette.png", 2, 1, 1, 5, 0, 14, true, true},
  };
  const QPalette light = QApplication::palette();
  for (const Shot& shot : shots) {
    QApplication::setPalette(shot.dark ? DarkPalette() : light);
    ui_testing::MainWindowDriver d;
    d.settings().TechnologyPreferencesMode = CSettings::kTechnologyPreferencesAlwaysShow;
    d.OpenWindow(false);
    auto card = std::make_shared<NwCardInfo>();
    card->DriverCapabilities = CardDriverCapabilitiesTechnologySelection;
    d.Notify(
        [&](CachedDravikValues& v) {
          v.DeviceState = shot.device;
          v.RadioState = shot.radio;
          v.PinPukState = shot.pin_puk;
          v.PsNetworkState = shot.ps;
          v.CsNetworkState = shot.ps;
          v.NetworkType = 2;
          v.NetworkName = shot.ps != 0 ? u"Vombel Netz" : u"";
          v.ConnectionState = shot.connection;
          v.SignalValue = shot.signal;
          v.PinEnabled = 1;
          v.TechnologySelectionSupported = 1;
          if (shot.device != 0) v.CardRecord = card;
          v.CurrentProfile = std::make_shared<CProfile>(1, u"vombel", u"secret", u"internet.vombel.de");
        },
        WM_APP_STATE_CHANGED);
    if (shot.device == 2) {
      d.Notify([](CachedDravikValues&) {}, WM_APP_TECHNOLOGY_MODE, 0, 3);
      d.Notify([](CachedDravikValues&) {}, WM_APP_PIN_MODE);
      d.Notify([](CachedDravikValues&) {}, WM_APP_CONNECTION_STATE);
    }
    if (!shot.settings_shown) d.Button("toggle_settings")->click();
    d.Window()->ShowAndActivate();
    QVERIFY(Save(*d.Window(), shot.file));
  }
  QApplication::setPalette(light);
}

void MainWindowScreenshots::RendersTheCodeAndErrorDialogs() {
  if (Folder().isEmpty()) QSKIP("VOMBEL_SCREENSHOT_DIR is not set");
  QVERIFY(QDir().mkpath(Folder()));
  // Nobody answers the dialogs here: they have no window to post to.
  const platform::HWND nobody = nullptr;
  const auto type = [](QWidget& dialog, const char* field, const char* code) {
    dialog.findChild<QLineEdit*>(QString::fromLatin1(field))->setText(QString::fromLatin1(code));
  };

  CDlgPin pin(nobody);
  pin.Open(CCodeDialogs::kPinEnter, 2, true);
  type(pin, "pin", "12");
  QVERIFY(Save(pin, "13-pin-dialog.png"));

  CDlgPuk puk(nobody);
  puk.Open(10, true, false);
  type(puk, "puk", "87654321");
  type(puk, "new_pin", "2468");
  QVERIFY(Save(puk, "14-puk-dialog.png"));

  CDlgChangePin change(nobody);
  change.Open(3, true);
  type(change, "current_pin", "4711");
  QVERIFY(Save(change, "15-change-pin-dialog.png"));

  CDlgError error;
  ErrorReport wrong_pin;
  wrong_pin.code = 0x84010010;
  error.ShowError(QString::fromStdU16String(MakeErrorText(wrong_pin)));
  QVERIFY(Save(error, "16-error-dialog.png"));
}

// The diagnostics window after a run over the simulated card, on the
// desktop's palette and on a dark one, and during a run.
void MainWindowScreenshots::RendersTheDiagnosticsWindow() {
  if (Folder().isEmpty()) QSKIP("VOMBEL_SCREENSHOT_DIR is not set");
  QVERIFY(QDir().mkpath(Folder()));

  ui_testing::MainWindowDriver d;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] {
    return d.StateText() == "Registered to Vombel Netz" && d.Cache().CsNetworkState == 1 && d.Idle() &&
           platform::PumpMessages() == 0;
  }));
  d.Window()->OpenDiagnostics();
  auto* dialog = d.Window()->findChild<CDlgDiagnostics*>();
  QVERIFY(dialog != nullptr);
  auto* run = dialog->findChild<QPushButton*>("run");
  auto* list = dialog->findChild<QTreeWidget*>("diagnostics_list");
  auto* busy = dialog->findChild<QWidget*>("busy");
  run->click();
  QVERIFY(d.RunUntil([&] { return run->isEnabled() && list->topLevelItemCount() == 19; }));
  QVERIFY(Save(*dialog, "diagnostics-after-run.png"));

  const QPalette light = QApplication::palette();
  QApplication::setPalette(DarkPalette());
  QVERIFY(Save(*dialog, "diagnostics-dark.png"));
  QApplication::setPalette(light);

  // A run that lasts: the card keeps its answers until the picture is taken.
  d.Card().SetMute(true);
  run->click();
  QVERIFY(d.RunUntil([&] { return busy->isVisible(); }));
  QVERIFY(Save(*dialog, "diagnostics-running.png"));
  d.Card().SetMute(false);
  QVERIFY(d.DriveUntil([&] { return run->isEnabled(); }));
}

// The connected window over the simulated card after a minute and a half of
// its link's flow, on the desktop's palette and on a dark one.
void MainWindowScreenshots::RendersTheTrafficDisplay() {
  if (Folder().isEmpty()) QSKIP("VOMBEL_SCREENSHOT_DIR is not set");
  QVERIFY(QDir().mkpath(Folder()));

  ui_testing::MainWindowDriver d;
  d.settings().TechnologyPreferencesMode = CSettings::kTechnologyPreferencesAlwaysShow;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Registered to Vombel Netz" && d.Button("connect")->isEnabled(); }));
  d.Button("connect")->click();
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Connected to Vombel Netz"; }));
  QVERIFY(d.RunFor(83000));
  QVERIFY(d.RunUntil([&] { return d.Idle() && platform::PumpMessages() == 0; }));
  QVERIFY(d.Window()->findChild<QWidget*>("traffic")->isVisible());
  QVERIFY(Save(*d.Window(), "18-traffic.png"));

  const QPalette light = QApplication::palette();
  QApplication::setPalette(DarkPalette());
  QVERIFY(Save(*d.Window(), "19-traffic-dark.png"));
  QApplication::setPalette(light);
}

// The USSD window over the worker and the simulated card: the network's
// menu asks for a reply, the user's choice typed and not yet sent.
void MainWindowScreenshots::RendersTheUssdWindow() {
  if (Folder().isEmpty()) QSKIP("VOMBEL_SCREENSHOT_DIR is not set");
  QVERIFY(QDir().mkpath(Folder()));

  ui_testing::MainWindowDriver d;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Registered to Vombel Netz" && d.Idle(); }));
  d.Window()->OnSysCommand(CDlgMain::kUssdCommand);
  CDlgUssd* dialog = d.Window()->Ussd();
  QVERIFY(dialog != nullptr);
  // Typed into, as a user does: in the window that has the focus.
  QVERIFY(QTest::qWaitForWindowActive(dialog));
  QTRY_VERIFY(dialog->isActiveWindow());
  auto* code = dialog->findChild<QLineEdit*>("code");
  auto* reply = dialog->findChild<QLineEdit*>("reply");
  code->setText(QStringLiteral("*101#"));
  dialog->findChild<QPushButton*>("send")->click();
  QVERIFY(d.RunUntil([&] { return reply->isEnabled(); }));
  reply->setText(QStringLiteral("1"));
  QVERIFY(Save(*dialog, "31-ussd-reply.png"));
}

VOMBEL_UI_TEST(MainWindowScreenshots)

#include "main_window_screenshots.moc"

// Pictures of the main window in each state of a card's life, for the
// documentation (docs/screenshots). Runs only when VOMBEL_SCREENSHOT_DIR
// names the folder to write to, best on a real X server:
//   Xvfb :99 &
//   DISPLAY=:99 QT_QPA_PLATFORM=xcb VOMBEL_SCREENSHOT_DIR=docs/screenshots
//     build/debug/tests/ui_tests RendersEachState
#include "tests/ui/main_window_driver.h"

#include <QDir>
#include <QPixmap>
#include <QtTest>

#include "app/app_messages.h"
#include "carddetect/card_info.h"
#include "tests/ui/ui_test_registry.h"

using namespace app_messages;

class MainWindowScreenshots : public QObject {
  Q_OBJECT

 private slots:
  void RendersEachState();
};

void MainWindowScreenshots::RendersEachState() {
  const QString folder = qEnvironmentVariable("VOMBEL_SCREENSHOT_DIR");
  if (folder.isEmpty()) QSKIP("VOMBEL_SCREENSHOT_DIR is not set");
  QVERIFY(QDir().mkpath(folder));

  struct Shot {
    const char* file;
    int device, radio, pin_puk, ps, connection, signal;
    bool settings_shown;
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
  };
  for (const Shot& shot : shots) {
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
    QVERIFY(QTest::qWaitForWindowExposed(d.Window()));
    QCoreApplication::processEvents();
    const QPixmap picture = d.Window()->grab();
    QVERIFY(picture.save(QDir(folder).filePath(QString::fromLatin1(shot.file))));
  }
}

VOMBEL_UI_TEST(MainWindowScreenshots)

#include "main_window_screenshots.moc"

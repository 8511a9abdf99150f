// The tray icons: the entry rules of one icon, and the main icon's life,
// tooltip, clicks and menu over the real window, worker and simulated card.
#include "tests/ui/main_window_driver.h"

#include <QMenu>
#include <QtTest>

#include "app/app_messages.h"
#include "app/ui/notify_icon.h"
#include "tests/ui/ui_test_registry.h"

using namespace app_messages;
using ui_testing::FakeTrayArea;
using ui_testing::MainWindowDriver;

class TrayIconsTest : public QObject {
  Q_OBJECT

 private slots:
  void AnIconKeepsItsEntryRulesAndReportsAFailureOnce();
  void TheSmsIconShowsItsStateAndHidesWhenDestroyed();
  void TheMainIconLivesWhileACardIsPresentWithTheStateTooltip();
  void ASingleClickOpensTheMenuLaterADoubleClickTheWindow();
  void TheMenuHasTheWindowsEntriesAndExitOnlyWhenExtended();

 private:
  static QStringList Texts(const QMenu& menu);
};

QStringList TrayIconsTest::Texts(const QMenu& menu) {
  QStringList texts;
  for (const QAction* action : menu.actions()) texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
  return texts;
}

void TrayIconsTest::AnIconKeepsItsEntryRulesAndReportsAFailureOnce() {
  testing_support::LogCapture log{kXLogTrace};
  FakeTrayArea area;
  QStringList reports;
  CNotifyIcon icon(area, [&](const QString& text) { reports << text; });
  icon.SetIdentity(nullptr, 1, WM_APP_TRAY_NOTIFY, QIcon());

  const QString early = QStringLiteral("too early");
  icon.SetText(&early);
  QVERIFY(log.Contains("CNotifyIcon::SetText: improper call, ignored."));
  QVERIFY(area.At(0)->tooltip.isEmpty());

  area.refuse_add = true;
  QVERIFY(!icon.Create());
  QVERIFY(!icon.Create());
  QCOMPARE(reports, QStringList{QStringLiteral("Application error.")});
  area.refuse_add = false;
  QVERIFY(icon.Create());
  QCOMPARE(area.At(0)->adds, 1);
  QVERIFY(icon.Create());
  QCOMPARE(area.At(0)->adds, 1);

  const QString long_text(200, QLatin1Char('x'));
  icon.SetText(&long_text);
  QCOMPARE(area.At(0)->tooltip.size(), CNotifyIcon::kTooltipMax);
  icon.SetText(nullptr);
  QVERIFY(area.At(0)->tooltip.isEmpty());
  icon.Destroy();
  QVERIFY(!area.At(0)->shown);

  // A desktop without a notification area is noted, not reported.
  FakeTrayArea none(false);
  CNotifyIcon lone(none, [&](const QString& text) { reports << text; });
  lone.SetIdentity(nullptr, 1, WM_APP_TRAY_NOTIFY, QIcon());
  QVERIFY(!lone.Create());
  QVERIFY(!lone.Create());
  QCOMPARE(reports.size(), 1);
  QCOMPARE(log.Count("the desktop has no notification area"), size_t{1});
}

void TrayIconsTest::TheSmsIconShowsItsStateAndHidesWhenDestroyed() {
  FakeTrayArea area;
  CNotifyIconSms icon(area, nullptr);
  icon.SetIdentity(nullptr, 2, WM_APP_SMS_TRAY_NOTIFY, QIcon());
  QCOMPARE(icon.GetState(), CNotifyIconSms::kHidden);
  icon.SetState(CNotifyIconSms::kNewMessage);
  QVERIFY(area.At(0)->shown);
  QCOMPARE(area.At(0)->tooltip, QStringLiteral("You have new SMS message(s)"));
  const qint64 new_icon = area.At(0)->icon.cacheKey();
  icon.SetState(CNotifyIconSms::kStorageFull);
  QCOMPARE(area.At(0)->tooltip, QStringLiteral("SIM SMS storage is full"));
  QVERIFY(area.At(0)->icon.cacheKey() != new_icon);
  icon.SetState(CNotifyIconSms::kHidden);
  QVERIFY(!area.At(0)->shown);
  icon.SetState(CNotifyIconSms::kNewMessage);
  icon.Destroy();
  QVERIFY(!area.At(0)->shown);
  QCOMPARE(icon.GetState(), CNotifyIconSms::kHidden);
}

void TrayIconsTest::TheMainIconLivesWhileACardIsPresentWithTheStateTooltip() {
  MainWindowDriver d;
  d.OpenWindow();
  QVERIFY(d.RunFor(1000));
  QVERIFY(!d.Tray().At(0)->shown);
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.StateText().startsWith(QStringLiteral("Registered")); }));
  QVERIFY(d.Tray().At(0)->shown);
  QCOMPARE(d.Tray().At(0)->tooltip, QString::fromStdU16String(d.Window()->TooltipText()));
  QVERIFY(d.Tray().At(0)->tooltip.contains(QStringLiteral("Vombel Netz")));
  d.Presence().Pull();
  QVERIFY(d.RunUntil([&] { return !d.Tray().At(0)->shown; }));
}

void TrayIconsTest::ASingleClickOpensTheMenuLaterADoubleClickTheWindow() {
  MainWindowDriver d;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.Tray().At(0)->shown; }));
  d.Window()->hide();
  QMenu* menu = d.Window()->findChild<QMenu*>(QStringLiteral("tray_menu"));
  QVERIFY(menu != nullptr);

  d.Tray().Click(0, kTrayLeftButtonUp);
  QVERIFY(d.RunFor(50));
  QVERIFY2(!menu->isVisible(), "the menu waits for the double-click time");
  QVERIFY(d.RunUntil([&] { return menu->isVisible(); }, 2000));
  menu->hide();

  // A double click: the first release starts the wait, the double click
  // ends it and shows the window, and its own release does nothing.
  d.Tray().Click(0, kTrayLeftButtonUp);
  d.Tray().Click(0, kTrayLeftDoubleClick);
  d.Tray().Click(0, kTrayLeftButtonUp);
  QVERIFY(d.RunUntil([&] { return d.Window()->isVisible(); }, 100));
  QVERIFY(d.RunFor(2000));
  QVERIFY(!menu->isVisible());

  d.Tray().Click(0, kTrayRightButtonUp);
  QVERIFY(d.RunUntil([&] { return menu->isVisible(); }, 100));
  menu->hide();
}

void TrayIconsTest::TheMenuHasTheWindowsEntriesAndExitOnlyWhenExtended() {
  for (const bool extended : {false, true}) {
    MainWindowDriver d;
    const uint32_t saved = d.settings().ExtendedSystrayMenu;
    d.settings().ExtendedSystrayMenu = extended ? 1 : 0;
    d.settings().SmsSupported = 1;
    d.OpenWindow();
    d.settings().ExtendedSystrayMenu = saved;
    QMenu* menu = d.Window()->findChild<QMenu*>(QStringLiteral("tray_menu"));
    QVERIFY(menu != nullptr);
    QStringList expected{QStringLiteral("Open Vombel Connect"), QStringLiteral("Connect"), QStringLiteral("-"),
                         QStringLiteral("Diagnostics..."),      QStringLiteral("SMS Centre..."),
                         QStringLiteral("&USSD..."),            QStringLiteral("-"),
                         QStringLiteral("&About Vombel Connect...")};
    if (extended) expected << QStringLiteral("&Exit");
    QCOMPARE(Texts(*menu), expected);
    QVERIFY(menu->defaultAction() == menu->actions().front());
    QVERIFY(menu->defaultAction()->font().bold());

    // The Connect item follows the Connect button's rule.
    d.Plug(d.OpenCard());
    QVERIFY(d.RunUntil([&] { return d.Button("connect")->isEnabled(); }));
    d.Tray().Click(0, kTrayContextMenu);
    QVERIFY(d.RunUntil([&] { return menu->isVisible(); }, 100));
    QVERIFY(menu->actions().at(1)->isEnabled());
    menu->actions().at(1)->trigger();
    menu->hide();
    QVERIFY(d.RunUntil([&] { return d.Cache().ConnectionState == 2; }));
    d.Tray().Click(0, kTrayContextMenu);
    QVERIFY(d.RunUntil([&] { return menu->isVisible(); }, 100));
    QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("Disconnect"));
    menu->hide();
  }
}

VOMBEL_UI_TEST(TrayIconsTest)

#include "tray_icons_test.moc"

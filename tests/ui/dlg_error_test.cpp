// The error window and the about box on the offscreen platform.
#include "app/ui/dlg_error.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include "app/ui/about_box.h"
#include "tests/ui/ui_test_registry.h"

namespace {

QPoint ScreenCentre(const QWidget& window) { return window.screen()->availableGeometry().center(); }

// Centres within a few pixels: the title bar's size is unknown until the
// window is first shown, and odd sizes round one way or the other.
bool NearlyEqual(QPoint a, QPoint b) { return (a - b).manhattanLength() <= 8; }

AboutTexts Texts(const QString& title) {
  AboutTexts texts = MakeAboutTexts(u"Vombel Connect", u"Kalmor NV", std::nullopt);
  texts.title = title.toStdU16String();
  return texts;
}

}  // namespace

class DlgErrorTest : public QObject {
  Q_OBJECT

 private slots:
  void EachReportReplacesTheTextOfTheOneWindow();
  void ItIsCentredWhenItOpensOnly();
  void CloseEscapeEnterAndTheTitleBarOnlyHideIt();
  void ItIsATopmostWarningWithAccessibleParts();
  void TheAboutBoxShowsItsTexts();
  void ALongTitleWidensTheAboutBoxByTheExcess();
  void TheAboutBoxIsCentredOnEveryOpeningAndClosesByKeyboard();
};

void DlgErrorTest::EachReportReplacesTheTextOfTheOneWindow() {
  CDlgError dialog;
  QVERIFY(!dialog.IsShown());
  dialog.ShowError(QStringLiteral("Incorrect PIN code."));
  QVERIFY(dialog.IsShown());
  QCOMPARE(dialog.Text(), QStringLiteral("Incorrect PIN code."));
  // Texts are plain: markup and line breaks reach the user as written.
  const QString second = QStringLiteral("<b>SIM busy</b> [0x8401000e]\nsecond line");
  dialog.ShowError(second);
  QVERIFY(dialog.IsShown());
  QCOMPARE(dialog.Text(), second);
  auto* text = dialog.findChild<QLabel*>(QStringLiteral("errorText"));
  QVERIFY(text != nullptr);
  QCOMPARE(text->textFormat(), Qt::PlainText);
  QCOMPARE(dialog.accessibleDescription(), second);
  // The Close button has the focus, so Enter or Space closes at once.
  QCOMPARE(dialog.focusWidget(), dialog.findChild<QPushButton*>(QStringLiteral("closeButton")));
}

void DlgErrorTest::ItIsCentredWhenItOpensOnly() {
  QWidget parent;
  parent.setGeometry(40, 60, 800, 500);
  CDlgError dialog(&parent);
  // The main window usually lives hidden in the tray: the screen's centre.
  dialog.ShowError(QStringLiteral("first"));
  QVERIFY(NearlyEqual(dialog.frameGeometry().center(), ScreenCentre(dialog)));
  // Moved by the user, it stays where it is for the next report.
  dialog.move(5, 7);
  dialog.ShowError(QStringLiteral("second"));
  QCOMPARE(dialog.pos(), QPoint(5, 7));
  // Opening again over a visible main window centres it on that window.
  dialog.hide();
  parent.show();
  QVERIFY(QTest::qWaitForWindowExposed(&parent));
  dialog.ShowError(QStringLiteral("third"));
  QVERIFY(NearlyEqual(dialog.frameGeometry().center(), parent.frameGeometry().center()));
}

void DlgErrorTest::CloseEscapeEnterAndTheTitleBarOnlyHideIt() {
  CDlgError dialog;
  QSignalSpy finished(&dialog, &QDialog::finished);
  auto* close = dialog.findChild<QPushButton*>(QStringLiteral("closeButton"));
  QVERIFY(close != nullptr);
  struct Way {
    const char* what;
    std::function<void()> act;
  };
  const Way ways[] = {
      {"Close button", [&] { QTest::mouseClick(close, Qt::LeftButton); }},
      {"Escape", [&] { QTest::keyClick(&dialog, Qt::Key_Escape); }},
      {"Enter", [&] { QTest::keyClick(&dialog, Qt::Key_Return); }},
      {"Space on Close", [&] { QTest::keyClick(close, Qt::Key_Space); }},
      {"title bar", [&] { dialog.close(); }},
  };
  int count = 0;
  for (const Way& way : ways) {
    dialog.ShowError(QString::fromLatin1(way.what));
    QVERIFY2(dialog.IsShown(), way.what);
    way.act();
    QVERIFY2(!dialog.IsShown(), way.what);
    QCOMPARE(finished.count(), ++count);
  }
  // Hidden, not gone: the next report uses the same window.
  dialog.ShowError(QStringLiteral("again"));
  QVERIFY(dialog.IsShown());
}

void DlgErrorTest::ItIsATopmostWarningWithAccessibleParts() {
  CDlgError dialog;
  QCOMPARE(dialog.windowTitle(), QStringLiteral("Error"));
  QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  auto* icon = dialog.findChild<QLabel*>(QStringLiteral("errorIcon"));
  QVERIFY(icon != nullptr);
  QVERIFY(!icon->pixmap().isNull());
  for (const char* name : {"errorIcon", "errorText", "closeButton"}) {
    auto* widget = dialog.findChild<QWidget*>(QString::fromLatin1(name));
    QVERIFY2(widget != nullptr, name);
    QVERIFY2(!widget->accessibleName().isEmpty(), name);
  }
  // The desktop's font and colours: nothing of the window's own.
  QVERIFY(!dialog.testAttribute(Qt::WA_SetFont));
  QVERIFY(!dialog.testAttribute(Qt::WA_SetPalette));
}

void DlgErrorTest::TheAboutBoxShowsItsTexts() {
  FixedFileInfo info{};
  info.file_version_ms = (1u << 16) | 2u;
  info.file_version_ls = (3u << 16) | 4u;
  CAboutBox box(MakeAboutTexts(u"Vombel Connect", u"Kalmor NV", info));
  QCOMPARE(box.windowTitle(), QStringLiteral("About Vombel Connect"));
  struct Line {
    const char* name;
    const char* text;
  };
  for (const Line& line : {Line{"applicationName", "Vombel Connect"}, Line{"version", "1.2.3.4"},
                           Line{"company", "Copyright \u00A9 Kalmor NV"}}) {
    auto* label = box.findChild<QLabel*>(QString::fromLatin1(line.name));
    QVERIFY2(label != nullptr, line.name);
    QCOMPARE(label->text(), QString::fromUtf8(line.text));
    QVERIFY2(!label->accessibleName().isEmpty(), line.name);
  }
  CAboutBox unknown(MakeAboutTexts(u"Vombel Connect", u"Kalmor NV", std::nullopt));
  QCOMPARE(unknown.findChild<QLabel*>(QStringLiteral("version"))->text(), QStringLiteral("-"));
}

void DlgErrorTest::ALongTitleWidensTheAboutBoxByTheExcess() {
  const QString short_title = QStringLiteral("About Vombel Connect");
  const QString long_title = short_title + QString(120, QLatin1Char('W'));
  QCOMPARE(CAboutBox::TitleExcess(short_title), 0);
  const int excess = CAboutBox::TitleExcess(long_title);
  QVERIFY(excess > 0);
  const CAboutBox narrow(Texts(short_title));
  const CAboutBox wide(Texts(long_title));
  QCOMPARE(wide.minimumWidth() - narrow.minimumWidth(), excess);
  auto* ok = wide.findChild<QPushButton*>(QStringLiteral("okButton"));
  QVERIFY(ok != nullptr && ok->isDefault());
}

void DlgErrorTest::TheAboutBoxIsCentredOnEveryOpeningAndClosesByKeyboard() {
  CAboutBox box(Texts(QStringLiteral("About Vombel Connect")));
  QSignalSpy finished(&box, &QDialog::finished);
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
    box.ShowAndActivate();
    QVERIFY(box.isVisible());
    QVERIFY(NearlyEqual(box.frameGeometry().center(), ScreenCentre(box)));
    QCOMPARE(box.focusWidget(), box.findChild<QPushButton*>(QStringLiteral("okButton")));
    box.move(3, 3);
    QTest::keyClick(&box, key);
    QVERIFY(!box.isVisible());
  }
  QCOMPARE(finished.count(), 2);
}

VOMBEL_UI_TEST(DlgErrorTest)
#include "dlg_error_test.moc"

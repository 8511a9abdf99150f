// The main window's parts on their own: the APN field's filter, typed and
// pasted, and the signal bars drawn for each mode.
#include <QApplication>
#include <QClipboard>
#include <QtTest>

#include "tests/ui/ui_test_registry.h"

#include "app/settings.h"
#include "app/ui/apn_line_edit.h"
#include "app/ui/main_window_texts.h"
#include "app/ui/signal_bars_widget.h"

class MainWindowPartsTest : public QObject {
  Q_OBJECT

 private slots:
  void ApnFieldKeepsOnlyTheApnCharacters_data();
  void ApnFieldKeepsOnlyTheApnCharacters();
  void ApnFieldTakesOrRefusesAPasteWhole_data();
  void ApnFieldTakesOrRefusesAPasteWhole();
  void ApnFieldHoldsAtMostAHundredCharacters();
  void SignalBarsFillByTheDisplayMode_data();
  void SignalBarsFillByTheDisplayMode();
  void TechnologyControlsMapToTheirModes();
};

void MainWindowPartsTest::ApnFieldKeepsOnlyTheApnCharacters_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("kept");
  QTest::newRow("plain") << "internet.vombel-1.de" << "internet.vombel-1.de";
  QTest::newRow("capitals and digits") << "WEB2GO.Net" << "WEB2GO.Net";
  QTest::newRow("space, underscore, bang") << "a b_c!" << "abc";
  QTest::newRow("slash, colon, at, comma") << "/x:y@z," << "xyz";
  QTest::newRow("nothing allowed") << " _,;" << "";
}

void MainWindowPartsTest::ApnFieldKeepsOnlyTheApnCharacters() {
  QFETCH(QString, typed);
  QFETCH(QString, kept);
  ApnLineEdit field;
  QTest::keyClicks(&field, typed);
  QCOMPARE(field.text(), kept);
}

void MainWindowPartsTest::ApnFieldTakesOrRefusesAPasteWhole_data() {
  QTest::addColumn<QString>("before");
  QTest::addColumn<QString>("pasted");
  QTest::addColumn<QString>("after");
  QTest::newRow("clean paste") << "web." << "vombel-net.de" << "web.vombel-net.de";
  QTest::newRow("space inside") << "web." << "vombel net" << "web.";
  QTest::newRow("trailing newline") << "" << "internet\n" << "";
  QTest::newRow("one bad character at the end") << "x" << "abc.def_" << "x";
  QTest::newRow("non-ASCII letter") << "" << "vömbel" << "";
}

void MainWindowPartsTest::ApnFieldTakesOrRefusesAPasteWhole() {
  QFETCH(QString, before);
  QFETCH(QString, pasted);
  QFETCH(QString, after);
  ApnLineEdit field;
  field.setText(before);
  field.end(false);
  QApplication::clipboard()->setText(pasted);
  field.paste();
  QCOMPARE(field.text(), after);
}

void MainWindowPartsTest::ApnFieldHoldsAtMostAHundredCharacters() {
  ApnLineEdit field;
  QTest::keyClicks(&field, QString(120, QLatin1Char('a')));
  QCOMPARE(field.text().size(), 100);
}

void MainWindowPartsTest::SignalBarsFillByTheDisplayMode_data() {
  QTest::addColumn<uint>("mode");
  QTest::addColumn<int>("value");
  QTest::addColumn<bool>("registered");
  QTest::addColumn<QList<int>>("filled");  // filled width of each bar, 32 full
  const uint standard = CSettings::kSignalStandard5Bars;
  const uint extended = CSettings::kSignalExtended5Bars;
  const uint wcdma4 = CSettings::kSignalWcdma4Bars;
  QTest::newRow("standard 11: three whole bars") << standard << 11 << true << QList<int>{32, 32, 32, 0, 0};
  QTest::newRow("standard 12: four") << standard << 12 << true << QList<int>{32, 32, 32, 32, 0};
  QTest::newRow("standard 2: none") << standard << 2 << true << QList<int>{0, 0, 0, 0, 0};
  QTest::newRow("extended 6: exactly two") << extended << 6 << true << QList<int>{32, 32, 0, 0, 0};
  QTest::newRow("extended 31: all") << extended << 31 << true << QList<int>{32, 32, 32, 32, 32};
  QTest::newRow("wcdma 4 bars, 3: three") << wcdma4 << 3 << true << QList<int>{32, 32, 32, 0, 0};
  QTest::newRow("not registered: none") << standard << 25 << false << QList<int>{0, 0, 0, 0, 0};
  QTest::newRow("unknown 99: none") << standard << 99 << true << QList<int>{0, 0, 0, 0, 0};
}

void MainWindowPartsTest::SignalBarsFillByTheDisplayMode() {
  QFETCH(uint, mode);
  QFETCH(int, value);
  QFETCH(bool, registered);
  QFETCH(QList<int>, filled);
  SignalBarsWidget bars;
  bars.SetSignal(mode, value, registered);
  const SignalPicture& picture = bars.Picture();
  for (int i = 0; i < 5; ++i) QCOMPARE(picture.bars[i].filled_width, filled[i]);
}

void MainWindowPartsTest::TechnologyControlsMapToTheirModes() {
  QCOMPARE(TechnologyModeOfControl(1005), 3);
  QCOMPARE(TechnologyModeOfControl(1006), 1);
  QCOMPARE(TechnologyModeOfControl(1007), 2);
  QCOMPARE(TechnologyModeOfControl(1008), 0);
  QCOMPARE(TechnologyModeOfControl(1004), -1);
  QCOMPARE(TechnologyModeOfControl(1009), -1);
}

VOMBEL_UI_TEST(MainWindowPartsTest)

#include "main_window_parts_test.moc"

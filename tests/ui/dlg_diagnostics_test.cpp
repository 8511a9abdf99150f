// The diagnostics window over the main window, the worker thread and the
// simulated card: a run lists the card's identity, the SIM and the network;
// Copy and Save give the list's text; a device event empties the list.
// The driver first: it brings the simulator in before Qt's keywords.
#include "tests/ui/main_window_driver.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "app/ui/dlg_diagnostics.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/ui_test_registry.h"

using namespace ui_testing;

class DlgDiagnosticsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void ARunListsTheCardAndCopyAndSaveGiveItsText();
  void AFailedSaveIsLoggedAndTold();
  void GroupRowsStayReadableOnADarkPalette();

 private:
  // The window opened over a registered card, after one run.
  void OpenAfterRun();
  QString Value(int row) const { return list_->topLevelItem(row)->text(1); }
  QPushButton* Button(const char* name) const { return dialog_->findChild<QPushButton*>(name); }

  std::unique_ptr<MainWindowDriver> driver_;
  CDlgDiagnostics* dialog_ = nullptr;
  QTreeWidget* list_ = nullptr;
};

void DlgDiagnosticsTest::init() { driver_ = std::make_unique<MainWindowDriver>(); }

void DlgDiagnosticsTest::cleanup() {
  if (QTest::currentTestFailed()) driver_->DumpLog();
  driver_.reset();
}

void DlgDiagnosticsTest::OpenAfterRun() {
  MainWindowDriver& d = *driver_;
  d.OpenWindow();
  d.Plug(d.OpenCard().OwnNumbers({"+491707654321"}));
  // Registered, and every report of the card's start handled.
  QVERIFY(d.RunUntil([&] {
    return d.StateText() == "Registered to Vombel Netz" && d.Cache().CsNetworkState == 1 &&
           d.Cache().PsNetworkState == 1 && d.Idle() && platform::PumpMessages() == 0;
  }));
  d.Window()->OnSysCommand(CDlgMain::kDiagnosticsCommand);
  dialog_ = d.Window()->findChild<CDlgDiagnostics*>();
  QVERIFY(dialog_ != nullptr && dialog_->isVisible());
  list_ = dialog_->findChild<QTreeWidget*>("diagnostics_list");
  QCOMPARE(list_->topLevelItemCount(), 0);
  QVERIFY(!Button("copy")->isEnabled() && !Button("save")->isEnabled() && Button("run")->isEnabled());

  // While the worker collects (from a card that does not answer, so the
  // run stays in progress) the window shows it and "Run" waits.
  d.Card().SetMute(true);
  Button("run")->click();
  QVERIFY(d.RunUntil([&] { return dialog_->findChild<QWidget*>("busy")->isVisible(); }));
  QVERIFY(!Button("run")->isEnabled());
  QVERIFY(dialog_->isVisible() && dialog_->isEnabled());
  d.Card().SetMute(false);
  QVERIFY(d.DriveUntil([&] { return !CWorkerThread::DiagnosticsInProgress() && Button("run")->isEnabled(); }));
  // Answering, the next run fills the list.
  Button("run")->click();
  QVERIFY(!Button("run")->isEnabled());
  QVERIFY(d.RunUntil([&] { return Button("run")->isEnabled(); }));
  QCOMPARE(list_->topLevelItemCount(), 19);
  QVERIFY(!dialog_->findChild<QWidget*>("busy")->isVisible());
  QVERIFY(Button("run")->isEnabled() && Button("copy")->isEnabled() && Button("save")->isEnabled());
}

void DlgDiagnosticsTest::ARunListsTheCardAndCopyAndSaveGiveItsText() {
  MainWindowDriver& d = *driver_;
  OpenAfterRun();
  if (QTest::currentTestFailed()) return;

  const sim::CardState card = d.Card().Snapshot();
  const sim::CardClass& kind = d.Card().Class();
  QCOMPARE(list_->topLevelItem(0)->text(0), QString("Hardware Test"));
  QCOMPARE(Value(1), QString::fromUtf8(kind.model_name));
  QVERIFY(!Value(2).isEmpty() && !Value(2).startsWith('\\') && !Value(2).startsWith('.'));
  QCOMPARE(Value(3), QString::fromStdString(card.serial));
  QCOMPARE(Value(4), QString::fromUtf8(kind.firmware));
  QCOMPARE(Value(5), QString::fromUtf8(kind.hardware));
  QCOMPARE(Value(6), QString::fromStdString(card.imei));
  // The SIM's record as it comes, two digits a byte with their nibbles
  // swapped, as the card reports it.
  QString iccid = QString::fromStdString(card.iccid);
  for (int i = 0; i + 1 < iccid.size(); i += 2) std::swap(iccid[i], iccid[i + 1]);
  QCOMPARE(Value(7), iccid);
  QCOMPARE(Value(8), QString("+491707654321"));
  QCOMPARE(Value(10), QString("Ready"));
  QCOMPARE(Value(11), QString("Vombel Netz"));
  QCOMPARE(Value(12), QString("Automatic"));
  QCOMPARE(Value(13), QString("%1,%2").arg(d.Cache().SignalValue).arg(d.Cache().ExtendedSignalValue));
  QCOMPARE(Value(15), QString("Registered"));
  QCOMPARE(Value(16), QString("Registered"));
  QCOMPARE(Value(17), QString("Attached"));
  QCOMPARE(Value(18), QString::fromStdU16String(d.Cache().CurrentProfile->GetApn()));

  // Copy and Save give the same text, line by line as the list shows it.
  const QString text = dialog_->Text();
  QVERIFY(text.startsWith("Hardware Test\r\nCard name: " + Value(1) + "\r\n"));
  QVERIFY(text.contains("\r\nOperational Test\r\nPIN code status: Ready\r\n"));
  QVERIFY(text.endsWith("\r\n"));
  QCOMPARE(text.count("\r\n"), 19);
  Button("copy")->click();
  QCOMPARE(QApplication::clipboard()->text(), text);

  testing_support::TempDir folder("diagnostics-save");
  const QString path = QString::fromStdString(folder.Path()) + "/report.txt";
  QFile old(path);
  QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(4096, 'x')) == 4096);
  old.close();
  dialog_->SetChooseFile([&] { return path; });
  Button("save")->click();
  QFile saved(path);
  QVERIFY(saved.open(QIODevice::ReadOnly));
  const QByteArray bytes = saved.readAll();
  // UTF-16 little-endian without a byte-order mark, replacing the old file.
  QCOMPARE(bytes.size(), text.size() * 2);
  QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2), text);
  QCOMPARE(bytes.left(4), QByteArray("H\0a\0", 4));

  // A device event empties the list; the user runs again once it is back.
  d.Presence().Pull();
  QVERIFY(d.RunUntil([&] { return list_->topLevelItemCount() == 0; }));
  QVERIFY(!Button("copy")->isEnabled() && !Button("save")->isEnabled() && !Button("run")->isEnabled());
}

void DlgDiagnosticsTest::AFailedSaveIsLoggedAndTold() {
  OpenAfterRun();
  if (QTest::currentTestFailed()) return;
  QStringList told;
  dialog_->SetTell([&](const QString& text) { told.push_back(text); });
  testing_support::TempDir folder("diagnostics-save");
  const QString path = QString::fromStdString(folder.Path()) + "/missing/report.txt";
  dialog_->SetChooseFile([&] { return path; });
  Button("save")->click();
  QCOMPARE(told.size(), 1);
  QVERIFY(told[0].startsWith("Unable to save the diagnostics to " + path + "."));
  QVERIFY(driver_->log.Contains("CDlgDiagnostics::OnBnClickedSave unable to open file [" + path.toStdString() + "]"));
  QVERIFY(!QFile::exists(path));

  // Cancelling the file dialog saves nothing and says nothing.
  dialog_->SetChooseFile([] { return QString(); });
  Button("save")->click();
  QCOMPARE(told.size(), 1);
}

void DlgDiagnosticsTest::GroupRowsStayReadableOnADarkPalette() {
  OpenAfterRun();
  if (QTest::currentTestFailed()) return;
  const QColor light = list_->topLevelItem(0)->foreground(0).color();
  QCOMPARE(light, QColor(0, 0, 160));
  QCOMPARE(list_->topLevelItem(0)->font(0).weight(), 600);
  QPalette dark = dialog_->palette();
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dialog_->setPalette(dark);
  const QColor shown = list_->topLevelItem(9)->foreground(0).color();
  QVERIFY2(shown.lightnessF() > 0.6, qPrintable(shown.name()));
  QVERIFY(shown.blue() > shown.red() && shown.blue() > shown.green());
}

VOMBEL_UI_TEST(DlgDiagnosticsTest)

#include "dlg_diagnostics_test.moc"

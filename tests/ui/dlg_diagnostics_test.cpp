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
#include "carddetect/nw_card_info.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/ui_test_registry.h"

using namespace ui_testing;

class DlgDiagnosticsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { driver_ = std::make_unique<MainWindowDriver>(); }
  void cleanup();
  void ARunListsTheCardAndCopyAndSaveGiveItsText();

 private:
  QPushButton* Button(const char* name) const { return dialog_->findChild<QPushButton*>(name); }
  bool Busy() const { return dialog_->findChild<QWidget*>("busy")->isVisible(); }

  std::unique_ptr<MainWindowDriver> driver_;
  CDlgDiagnostics* dialog_ = nullptr;
};

void DlgDiagnosticsTest::cleanup() {
  if (QTest::currentTestFailed()) driver_->DumpLog();
  driver_.reset();
}

void DlgDiagnosticsTest::ARunListsTheCardAndCopyAndSaveGiveItsText() {
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
  auto* list = dialog_->findChild<QTreeWidget*>("diagnostics_list");
  QCOMPARE(list->topLevelItemCount(), 0);
  QVERIFY(!Button("copy")->isEnabled() && !Button("save")->isEnabled() && Button("run")->isEnabled());

  // While the worker collects (from a card that does not answer, so the
  // run stays in progress) the window shows it and "Run" waits.
  d.Card().SetMute(true);
  Button("run")->click();
  QVERIFY(d.RunUntil([&] { return Busy(); }));
  QVERIFY(!Button("run")->isEnabled() && dialog_->isEnabled());
  d.Card().SetMute(false);
  QVERIFY(d.DriveUntil([&] { return !CWorkerThread::DiagnosticsInProgress() && Button("run")->isEnabled(); }));
  // Answering, the next run fills the list.
  Button("run")->click();
  QVERIFY(!Button("run")->isEnabled());
  QVERIFY(d.RunUntil([&] { return Button("run")->isEnabled(); }));
  QVERIFY(!Busy() && Button("copy")->isEnabled() && Button("save")->isEnabled());

  const sim::CardState card = d.Card().Snapshot();
  const sim::CardClass& kind = d.Card().Class();
  const CachedDravikValues cache = d.Cache();
  // The ICCID is the SIM's record as the card gives it: two digits a byte,
  // their nibbles swapped.
  QString iccid = QString::fromStdString(card.iccid);
  for (int i = 0; i + 1 < iccid.size(); i += 2) std::swap(iccid[i], iccid[i + 1]);
  const QString port = QString::fromStdU16String(std::u16string(CardInfoText(cache.CardRecord->AppPortName)));
  const QString values[] = {
      "", QString::fromUtf8(kind.model_name), port.mid(port.lastIndexOf('\\') + 1),
      QString::fromStdString(card.serial), QString::fromUtf8(kind.firmware), QString::fromUtf8(kind.hardware),
      QString::fromStdString(card.imei), iccid, "+491707654321",
      "", "Ready", "Vombel Netz", "Automatic", QString("%1,%2").arg(cache.SignalValue).arg(cache.ExtendedSignalValue),
      "", "Registered", "Registered", "Attached", QString::fromStdU16String(cache.CurrentProfile->GetApn())};
  QCOMPARE(list->topLevelItemCount(), 19);
  for (int row = 0; row < 19; ++row) QCOMPARE(list->topLevelItem(row)->text(1), values[row]);
  QVERIFY(!values[2].isEmpty() && !values[18].isEmpty());

  // Group rows: dark blue and semi-bold, a lighter blue on a dark palette.
  QCOMPARE(list->topLevelItem(0)->foreground(0).color(), QColor(0, 0, 160));
  QCOMPARE(list->topLevelItem(9)->font(0).weight(), 600);
  QPalette dark = dialog_->palette();
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dialog_->setPalette(dark);
  const QColor shown = list->topLevelItem(14)->foreground(0).color();
  QVERIFY2(shown.lightnessF() > 0.6 && shown.blue() > shown.red(), qPrintable(shown.name()));

  // Copy and Save give the same text, one CR LF line a row.
  const QString text = dialog_->Text();
  QVERIFY(text.startsWith("Hardware Test\r\nCard name: " + values[1] + "\r\n"));
  QVERIFY(text.contains("\r\nOperational Test\r\nPIN code status: Ready\r\n"));
  QVERIFY(text.endsWith("\r\n") && text.count("\r\n") == 19);
  Button("copy")->click();
  QCOMPARE(QApplication::clipboard()->text(), text);

  // Saved over an older, longer file: UTF-16 little-endian, no byte-order mark.
  testing_support::TempDir folder("diagnostics-save");
  const QString path = QString::fromStdString(folder.Path()) + "/report.txt";
  QFile old(path);
  QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(4096, 'x')) == 4096);
  old.close();
  QStringList told;
  dialog_->SetTell([&](const QString& note) { told.push_back(note); });
  dialog_->SetChooseFile([&] { return path; });
  Button("save")->click();
  QFile saved(path);
  QVERIFY(saved.open(QIODevice::ReadOnly));
  const QByteArray bytes = saved.readAll();
  QCOMPARE(bytes.left(4), QByteArray("H\0a\0", 4));
  QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2), text);
  QVERIFY(told.isEmpty());

  // A file that cannot be made is logged and told; a cancelled dialog does
  // nothing.
  const QString missing = QString::fromStdString(folder.Path()) + "/missing/report.txt";
  dialog_->SetChooseFile([&] { return missing; });
  Button("save")->click();
  QCOMPARE(told.size(), 1);
  QVERIFY(told[0].startsWith("Unable to save the diagnostics to " + missing + "."));
  QVERIFY(d.log.Contains("CDlgDiagnostics::OnBnClickedSave unable to open file [" + missing.toStdString() + "]"));
  dialog_->SetChooseFile([] { return QString(); });
  Button("save")->click();
  QCOMPARE(told.size(), 1);

  // A device event empties the list; the user runs again once it is back.
  d.Presence().Pull();
  QVERIFY(d.RunUntil([&] { return list->topLevelItemCount() == 0; }));
  QVERIFY(!Button("copy")->isEnabled() && !Button("save")->isEnabled() && !Button("run")->isEnabled());
}

VOMBEL_UI_TEST(DlgDiagnosticsTest)

#include "dlg_diagnostics_test.moc"

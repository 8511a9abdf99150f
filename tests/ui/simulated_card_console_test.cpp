// The simulated card's console window over the real main window, worker and
// simulated card: its buttons change the card, and the window follows.
#include "tests/ui/main_window_driver.h"

#include <QPushButton>
#include <QtTest>
#include <sstream>

#include "app/ui/simulated_card_console.h"
#include "sim/cli/console.h"
#include "tests/ui/ui_test_registry.h"

using ui_testing::MainWindowDriver;

class SimulatedCardConsoleTest : public QObject {
  Q_OBJECT

 private slots:
  void ItsButtonsAndLineChangeTheCardAndTheWindowFollows();

 private:
  static QPushButton* ButtonOf(const CSimulatedCardConsole& console, const QString& line);
};

QPushButton* SimulatedCardConsoleTest::ButtonOf(const CSimulatedCardConsole& console, const QString& line) {
  for (QPushButton* button : console.findChildren<QPushButton*>()) {
    if (button->toolTip() == line) return button;
  }
  qFatal("no button for %s", qPrintable(line));
}

void SimulatedCardConsoleTest::ItsButtonsAndLineChangeTheCardAndTheWindowFollows() {
  MainWindowDriver d;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.StateText() == QStringLiteral("Registered to Vombel Netz"); }));

  CSimulatedCardConsole console([&](const std::string& line) {
    std::ostringstream out;
    sim::cli::RunConsoleLine(d.Presence(), line, out);
    return out.str();
  });
  const auto ran = [&] { return !console.Busy(); };

  ButtonOf(console, QStringLiteral("roam on"))->click();
  QVERIFY(d.RunUntil([&] { return d.StateText() == QStringLiteral("Roaming to Vombel Netz"); }));
  QVERIFY(d.RunUntil(ran));
  QCoreApplication::processEvents();
  QVERIFY(console.Output().contains(QStringLiteral("> roam on\nroaming")));

  console.findChild<QLineEdit*>(QStringLiteral("console_input"))->setText(QStringLiteral("roam off"));
  QTest::keyClick(console.findChild<QLineEdit*>(QStringLiteral("console_input")), Qt::Key_Return);
  QVERIFY(d.RunUntil([&] { return d.StateText() == QStringLiteral("Registered to Vombel Netz"); }));

  ButtonOf(console, QStringLiteral("pull"))->click();
  QVERIFY(d.RunUntil([&] { return d.StateText() == QStringLiteral("Device not found"); }));
  ButtonOf(console, QStringLiteral("plug"))->click();
  QVERIFY(d.RunUntil([&] { return d.StateText() == QStringLiteral("Registered to Vombel Netz"); }));
  QVERIFY(d.RunUntil(ran));
}

VOMBEL_UI_TEST(SimulatedCardConsoleTest)

#include "simulated_card_console_test.moc"

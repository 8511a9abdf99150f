// The main window's traffic lines over the worker and the simulated card:
// they come with the connection, grow as data flows and time passes, go
// with the disconnection, and start again from nothing with the next
// connection.
// The driver first: it brings the simulator in before Qt's keywords.
#include "tests/ui/main_window_driver.h"

#include <QtTest>

#include "app/traffic.h"
#include "tests/ui/ui_test_registry.h"

using ui_testing::MainWindowDriver;

class MainWindowTrafficTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup();
  void TrafficGrowsWhileConnectedAndGoesWithTheConnection();

 private:
  std::unique_ptr<MainWindowDriver> driver_;
};

void MainWindowTrafficTest::cleanup() {
  if (QTest::currentTestFailed() && driver_) driver_->DumpLog();
  driver_.reset();
}

void MainWindowTrafficTest::TrafficGrowsWhileConnectedAndGoesWithTheConnection() {
  driver_ = std::make_unique<MainWindowDriver>();
  MainWindowDriver& d = *driver_;
  d.OpenWindow();
  d.Plug(d.OpenCard());
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Registered to Vombel Netz" && d.Button("connect")->isEnabled(); }));
  QWidget* traffic = d.Window()->findChild<QWidget*>("traffic");
  QVERIFY(traffic != nullptr);
  QVERIFY(!traffic->isVisibleTo(d.Window()));
  // Everything the worker has to say said: what the window shows is what
  // the cache holds.
  const auto settled = [&] { return d.Idle() && platform::PumpMessages() == 0; };

  d.Button("connect")->click();
  QVERIFY(d.RunUntil([&] { return d.StateText() == "Connected to Vombel Netz" && traffic->isVisibleTo(d.Window()); }));
  const TrafficFigures first = d.Cache().Traffic;
  QVERIFY(first.Valid);

  // Three seconds of the simulated link's flow: 2 kB a second up, 16 kB down.
  QVERIFY(d.RunFor(3000));
  QVERIFY(d.RunUntil(settled));
  const TrafficFigures later = d.Cache().Traffic;
  QVERIFY2(later.BytesSent >= first.BytesSent + 2 * 2048, qPrintable(QString::number(later.BytesSent)));
  QVERIFY2(later.BytesReceived >= first.BytesReceived + 2 * 16384, qPrintable(QString::number(later.BytesReceived)));
  QVERIFY2(later.SendRate >= 1000 && later.ReceiveRate >= 10000,
           qPrintable(QString("%1 %2").arg(later.SendRate).arg(later.ReceiveRate)));
  QVERIFY(later.DurationMs() >= 3000 && later.DurationMs() < 5000);
  QCOMPARE(d.Label("traffic_sent")->text(), QString::fromStdU16String(TrafficBytesText(later.BytesSent)));
  QCOMPARE(d.Label("traffic_received")->text(), QString::fromStdU16String(TrafficBytesText(later.BytesReceived)));
  QCOMPARE(d.Label("traffic_duration")->text(), QString::fromStdU16String(TrafficDurationText(later.DurationMs())));
  QCOMPARE(d.Label("traffic_duration")->accessibleName(), QString("Connection time"));

  // Disconnecting hides the figures at once; disconnected, they are gone.
  d.Button("connect")->click();
  QVERIFY(!traffic->isVisibleTo(d.Window()));
  QVERIFY(d.RunUntil([&] { return d.Button("connect")->text() == "Connect" && d.Button("connect")->isEnabled(); }));
  QVERIFY(d.RunFor(3000));
  QVERIFY(!traffic->isVisibleTo(d.Window()) && !d.Cache().Traffic.Valid);

  // The next connection counts from nothing.
  d.Button("connect")->click();
  QVERIFY(d.RunUntil([&] { return traffic->isVisibleTo(d.Window()); }));
  QVERIFY(d.RunUntil(settled));
  const TrafficFigures again = d.Cache().Traffic;
  QVERIFY2(again.BytesReceived < 2 * 16384, qPrintable(QString::number(again.BytesReceived)));
  QVERIFY(again.DurationMs() < 2000);
}

VOMBEL_UI_TEST(MainWindowTrafficTest)

#include "main_window_traffic_test.moc"

// Pictures of the SMS centre in each folder (Sent with its delivery reports),
// of the SMS editor in both codings, and of a long message in parts, for the
// documentation (docs/screenshots). Runs only when
// VOMBEL_SCREENSHOT_DIR names the folder to write to, best on a real X
// server:
//   Xvfb :99 &
//   DISPLAY=:99 QT_QPA_PLATFORM=xcb VOMBEL_SCREENSHOT_DIR=docs/screenshots
//     build/debug/tests/ui_tests SmsScreenshots
#include "tests/ui/main_window_driver.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLocale>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <QtTest>
#include <cstring>
#include <ctime>

#include "app/app_messages.h"
#include "app/sms_messages.h"
#include "app/ui/dlg_new_sms_message.h"
#include "app/ui/dlg_sms_centre.h"
#include "devicelib/sms_text_split.h"
#include "tests/ui/screenshot_palette.h"
#include "tests/ui/ui_test_registry.h"

using namespace app_messages;

namespace {

// 2026-03-14 and the time of day (UTC) as a record's time stamp.
uint64_t Stamp(int day, int hour, int minute) {
  const int64_t unix_seconds = 1773446400 + (day - 14) * 86400 + hour * 3600 + minute * 60;
  return static_cast<uint64_t>(unix_seconds + 11644473600) * 10000000;
}

SmsMessage Record(uint32_t index, uint32_t type, uint32_t status, const char16_t* address, const char16_t* text,
                  uint64_t stamp = 0, uint32_t alphabet = 0) {
  SmsMessage m;
  std::memset(&m, 0, sizeof m);
  m.Stored = 1;
  m.Index = index;
  m.MessageType = type;
  m.StorageStatus = status;
  m.Alphabet = alphabet;
  m.TimeStamp = stamp;
  SetSmsField(m.Address, address);
  SetSmsField(m.Text, text);
  return m;
}

SmsMessageDetails Part(uint32_t index, uint32_t status, const char16_t* address, const char16_t* text, uint64_t stamp,
                       uint32_t reference, uint32_t total, uint32_t sequence) {
  SmsMessageDetails part;
  part.Message = Record(index, kSmsMessageTypeReceived, status, address, text, stamp);
  part.Concatenation = SmsConcatenation{reference, total, sequence};
  return part;
}

bool Save(QWidget* window, const QString& folder, const char* file) {
  QCoreApplication::processEvents();
  return window->grab().save(QDir(folder).filePath(QString::fromLatin1(file)));
}

void Type(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
  }
}

}  // namespace

class SmsScreenshots : public QObject {
  Q_OBJECT

 private slots:
  void RendersTheSmsWindows();
};

void SmsScreenshots::RendersTheSmsWindows() {
  const QString folder = qEnvironmentVariable("VOMBEL_SCREENSHOT_DIR");
  if (folder.isEmpty()) QSKIP("VOMBEL_SCREENSHOT_DIR is not set");
  QVERIFY(QDir().mkpath(folder));
  testing_support::ScopedEnv time_zone("TZ", "UTC");
  tzset();
  const QLocale locale;
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
  CSettings& s = ui_testing::MainWindowDriver::settings();
  const uint32_t allow = s.AllowSmsCharSetChange;
  const uint32_t unicode = s.SmsUnicode;
  const uint32_t delivery_report = s.SmsDeliveryReport;
  s.AllowSmsCharSetChange = 1;
  s.SmsUnicode = 0;
  s.SmsDeliveryReport = 1;

  {
    ui_testing::MainWindowDriver d;
    d.OpenWindow(false);
    auto store = std::make_shared<CSmsMessages>();
    store->SetServiceCentre(u"+491710760000");
    store->SetCapacity(20, 7);
    store->Put(Record(0, kSmsMessageTypeReceived, kSmsStorageReceivedRead, u"+491701234567",
                      u"Hallo! Kommst du heute Abend auch?\nWir treffen uns um acht.", Stamp(12, 17, 5)));
    store->Put(Record(1, kSmsMessageTypeReceived, kSmsStorageReceivedRead, u"Vombel",
                      u"Ihr Guthaben: 12,50 \u20AC [Stand 13.03.]", Stamp(13, 8, 30)));
    store->Put(Record(2, kSmsMessageTypeReceived, kSmsStorageReceivedUnread, u"+79161234567",
                      u"\u041F\u0440\u0438\u0432\u0435\u0442! \u041A\u0430\u043A \u0434\u0435\u043B\u0430?",
                      Stamp(14, 9, 41), 2));
    store->Put(Record(3, kSmsMessageTypeReceived, kSmsStorageReceivedUnread, u"+491709876543",
                      u"Paket ist angekommen.", Stamp(14, 11, 2)));
    store->Put(Record(4, kSmsMessageTypeSubmit, kSmsStorageStoredSent, u"+491701234567", u"Ja, bis gleich!"));
    store->Put(Record(5, kSmsMessageTypeSubmit, kSmsStorageStoredSent, u"+441632960123", u"Thanks, got it."));
    store->Put(Record(6, kSmsMessageTypeSubmit, kSmsStorageStoredUnsent, u"+491705550100",
                      u"Erinnerung: Termin am Montag um 10 Uhr"));
    store->Put(Record(7, kSmsMessageTypeSubmit, kSmsStorageStoredSent, u"+33612345678", u"On arrive demain."));
    // Sent with report requests: delivered, failed, still pending.
    store->SetDeliveryPending(4, 11);
    store->SetDeliveryPending(5, 12);
    store->SetDeliveryPending(7, 13);
    store->ApplyStatusReport(11, 0x00, Stamp(14, 11, 6));
    store->ApplyStatusReport(12, 0x46, Stamp(14, 12, 0));
    d.Notify(
        [&](CachedDravikValues& v) {
          v.DeviceState = CachedDravikValues::kDeviceReady;
          v.PinPukState = CachedDravikValues::kPinPukReady;
          v.SimInserted = 1;
          v.SmsStore = store;
        },
        WM_APP_SMS, SmsNewsStoreFilled);
    d.Window()->OpenSmsCentre();
    CDlgSmsCentre* centre = d.Window()->SmsCentre();
    QVERIFY(QTest::qWaitForWindowExposed(centre));
    auto* list = centre->findChild<QTreeWidget*>("sms_list");
    // The second message selected; the unread ones stay red.
    list->setCurrentItem(list->topLevelItem(2));
    QVERIFY(Save(centre, folder, "sms-01-inbox.png"));
    centre->findChild<QAction*>("sms_sent")->trigger();
    QVERIFY(Save(centre, folder, "sms-02-sent.png"));
    centre->findChild<QAction*>("sms_unsent")->trigger();
    QVERIFY(Save(centre, folder, "sms-03-unsent.png"));

    // The editor, GSM: a reply with an extension-table character.
    centre->findChild<QAction*>("sms_inbox")->trigger();
    list->setCurrentItem(list->topLevelItem(3));
    centre->Reply();
    CDlgNewSmsMessage* editor = centre->Editor();
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    Type(editor->findChild<QPlainTextEdit*>("sms_text"), QString::fromUtf16(u"Super, danke! Das Porto war 4,95 \u20AC."));
    QVERIFY(Save(editor, folder, "sms-04-editor-gsm.png"));
    // UCS-2: a forward of the Cyrillic message.
    list->setCurrentItem(list->topLevelItem(1));
    s.SmsUnicode = 1;
    centre->Forward();
    Type(editor->findChild<QLineEdit*>("sms_recipient"), QStringLiteral("+491701234567"));
    QVERIFY(Save(editor, folder, "sms-05-editor-ucs2.png"));
    editor->hide();

    // While the SIM's messages are read.
    auto reading = std::make_shared<CSmsMessages>();
    reading->SetReading(true);
    d.Notify([&](CachedDravikValues& v) { v.SmsStore = reading; }, WM_APP_SMS, SmsNewsStoreFilled);
    QVERIFY(Save(centre, folder, "sms-06-reading.png"));

    // The Inbox on a dark desktop: the unread rows in a lighter red.
    d.Notify([&](CachedDravikValues& v) { v.SmsStore = store; }, WM_APP_SMS, SmsNewsStoreFilled);
    const QPalette light = QApplication::palette();
    QApplication::setPalette(ui_testing::DarkPalette());
    list->setCurrentItem(list->topLevelItem(2));
    QVERIFY(Save(centre, folder, "sms-07-inbox-dark.png"));
    centre->findChild<QAction*>("sms_sent")->trigger();
    QVERIFY(Save(centre, folder, "sms-08-sent-dark.png"));
    QApplication::setPalette(light);

    // A long message in three parts, whole (its parts stored out of
    // order), and an older one, unread, still waiting for its second part.
    auto with_long = std::make_shared<CSmsMessages>(*store);
    const SMS::TextParts trip = SMS::SplitText(
        u"Hi! Quick update on Saturday: we meet at the station at half past nine, not at ten as planned, because the "
        u"first train to the coast leaves at 9:52 and the next one only an hour later. Please bring your bike lights "
        u"and something warm, it can get windy on the cliffs in the evening. Lunch is at the harbour cafe, the one "
        u"with the blue door, and Tom has booked a table for eight. If you can't make it, just send me a text!",
        0);
    QCOMPARE(trip.parts.size(), size_t{3});
    for (uint32_t slot : {10u, 12u, 11u}) {
      const uint32_t sequence = slot == 10 ? 1 : slot == 12 ? 2 : 3;
      with_long->Put(Part(slot, kSmsStorageReceivedRead, u"+447700900123", trip.parts[sequence - 1].c_str(),
                          Stamp(14, 17, 40 + sequence / 3), 41, 3, sequence));
    }
    const SMS::TextParts order = SMS::SplitText(
        u"Guten Tag! Ihre Bestellung 4711 ist unterwegs und kommt voraussichtlich morgen zwischen 10 und 14 Uhr. "
        u"Bitte halten Sie Ihren Ausweis bereit, denn das Paket wird nur gegen Unterschrift an Sie selbst "
        u"ausgehaendigt. Ist niemand da, liegt es ab Mittwoch in der Filiale am Markt. Vielen Dank fuer Ihren "
        u"Einkauf!",
        0);
    QCOMPARE(order.parts.size(), size_t{3});
    for (uint32_t sequence : {1u, 3u}) {
      with_long->Put(Part(12 + sequence, kSmsStorageReceivedUnread, u"+491761234567",
                          order.parts[sequence - 1].c_str(), Stamp(14, 16, 2), 7, 3, sequence));
    }
    d.Notify([&](CachedDravikValues& v) { v.SmsStore = with_long; }, WM_APP_SMS, SmsNewsStoreFilled);
    centre->findChild<QAction*>("sms_inbox")->trigger();
    QVERIFY(Save(centre, folder, "sms-09-inbox-long.png"));
    // Forwarded, the editor counts its three messages.
    s.SmsUnicode = 0;
    centre->Forward();
    Type(editor->findChild<QLineEdit*>("sms_recipient"), QStringLiteral("+491701234567"));
    QVERIFY(Save(editor, folder, "sms-10-editor-long.png"));
    editor->hide();
  }
  s.AllowSmsCharSetChange = allow;
  s.SmsUnicode = unicode;
  s.SmsDeliveryReport = delivery_report;
  QLocale::setDefault(locale);
}

VOMBEL_UI_TEST(SmsScreenshots)

#include "sms_screenshots.moc"

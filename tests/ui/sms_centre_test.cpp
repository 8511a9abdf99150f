// The SMS centre and the SMS editor over the worker thread and the simulated
// card: what the folders list and show, what New, Reply, Forward, Delete,
// Send and Save leave on the card, the editor's input rules, a class 0
// message, a full SIM, a card pulled while the windows are open, the
// delivery of sent messages as their status reports tell it, and long
// messages in parts.
// The driver first: it brings the simulator in before Qt's keywords.
#include "tests/ui/main_window_driver.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLocale>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QtTest>
#include <ctime>
#include <string>
#include <vector>

#include "app/sms_messages.h"
#include "app/ui/dlg_new_sms_message.h"
#include "app/ui/dlg_sms_centre.h"
#include "devicelib/sms_pdu_decoder.h"
#include "platform/text.h"
#include "sim/sms_submit_parser.h"
#include "tests/ui/screenshot_palette.h"
#include "tests/ui/ui_test_registry.h"

using namespace ui_testing;

namespace {

sim::DeliverMessage Incoming(std::string originator, std::string text, int day) {
  sim::DeliverMessage message;
  message.service_centre = "+491710760000";
  message.originator = std::move(originator);
  message.text = std::move(text);
  message.time = {2026, 3, day, 15, 9, 26, 4};  // 14:09:26 UTC
  message.extension_table = true;
  return message;
}

// Typed one key after the other, as a keyboard sends them (any character,
// not only Latin-1); "\n" is the Return key.
void Type(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    const bool enter = c == QLatin1Char('\n');
    QKeyEvent press(QEvent::KeyPress, enter ? Qt::Key_Return : Qt::Key_unknown, Qt::NoModifier,
                    enter ? QStringLiteral("\r") : QString(c));
    QApplication::sendEvent(widget, &press);
  }
}

void Paste(QWidget* widget, const QString& text) {
  QApplication::clipboard()->setText(text);
  QTest::keyClick(widget, Qt::Key_V, Qt::ControlModifier);
}

QString Repeat(const char* what, int n) { return QString::fromUtf8(what).repeated(n); }

struct Slot {
  int status = -1;  // -1: empty
  std::string recipient;
  QString text;
};

}  // namespace

class SmsCentreTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void MessagesOnTheCardAppearInTheInboxNewestFirst();
  void NewReplyForwardSendSaveAndDeleteReachTheCard();
  void TheEditorTakesOnlyWhatTheMessageCanCarry();
  void AClassZeroMessageAFullSimAndAPulledCard();
  void SentMessagesShowWhatTheirStatusReportsSay();
  void ALongMessageIsOneMessageAndWaitsForItsMissingParts();

 private:
  MainWindowDriver& D() { return *driver_; }
  CDlgSmsCentre* Centre() const { return driver_->Window()->SmsCentre(); }
  QAction* Action(const char* name) const {
    auto* action = driver_->Window()->findChild<QAction*>(QString::fromLatin1(name));
    if (action == nullptr) qFatal("no action %s", name);
    return action;
  }
  QTreeWidget* List() const { return Centre()->findChild<QTreeWidget*>("sms_list"); }
  QString Preview() const { return Centre()->findChild<QPlainTextEdit*>("sms_preview")->toPlainText(); }
  CDlgNewSmsMessage* Editor() const { return Centre()->Editor(); }
  QLineEdit* Recipient() const { return Editor()->findChild<QLineEdit*>("sms_recipient"); }
  QPlainTextEdit* Message() const { return Editor()->findChild<QPlainTextEdit*>("sms_text"); }
  QString Counter() const { return Editor()->findChild<QLabel*>("sms_counter")->text(); }
  QCheckBox* UnicodeBox() const { return Editor()->findChild<QCheckBox*>("sms_unicode"); }
  QCheckBox* ReportBox() const { return Editor()->findChild<QCheckBox*>("sms_delivery_report"); }
  QString Cell(int row, int column) const { return List()->topLevelItem(row)->text(column); }

  // The card's own slot, decoded.
  Slot CardSlot(size_t index) {
    const auto stored = D().Card().Snapshot().sms.at(index);
    if (!stored) return {};
    SmsMessage m;
    SMS::DecodeSmsMessage(platform::Utf8ToUtf16(stored->pdu_hex), static_cast<uint32_t>(stored->tpdu_length), false,
                          1, static_cast<uint32_t>(index), static_cast<uint32_t>(stored->status), m);
    const auto submit = sim::ParseSubmitPdu(stored->pdu_hex);
    return {stored->status, submit ? submit->recipient : std::string(),
            QString::fromStdU16String(std::u16string(SmsField(m.Text)))};
  }

  // Plugged, the SIM read, the centre open on its Inbox.
  void OpenWith(const sim::SimCardBuilder& card, size_t messages) {
    D().OpenWindow();
    D().Plug(card);
    QVERIFY(D().RunUntil([&] {
      const CachedDravikValues c = D().Cache();
      return c.SimInserted != 0 && !c.SmsStore->Reading() && c.SmsStore->Count() == messages && D().Idle();
    }));
    D().Window()->OpenSmsCentre();
    QVERIFY(Centre() != nullptr && Centre()->isVisible());
  }
  bool WaitForRows(int rows) {
    return D().RunUntil([&] { return List()->topLevelItemCount() == rows && D().Idle(); });
  }

  std::unique_ptr<MainWindowDriver> driver_;
  testing_support::ScopedEnv time_zone_{"TZ", "UTC"};
  QLocale locale_;
  uint32_t allow_change_ = 0;
  uint32_t unicode_ = 0;
  uint32_t delivery_report_ = 0;
};

void SmsCentreTest::init() {
  tzset();
  locale_ = QLocale();
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  driver_ = std::make_unique<MainWindowDriver>();
  CSettings& s = MainWindowDriver::settings();
  allow_change_ = s.AllowSmsCharSetChange;
  unicode_ = s.SmsUnicode;
  delivery_report_ = s.SmsDeliveryReport;
  s.SmsDeliveryReport = 0;
  s.SmsSupported = 1;
  s.AllowSmsCharSetChange = 1;
  s.SmsUnicode = 0;
}

void SmsCentreTest::cleanup() {
  if (QTest::currentTestFailed()) driver_->DumpLog();
  driver_.reset();
  CSettings& s = MainWindowDriver::settings();
  s.AllowSmsCharSetChange = allow_change_;
  s.SmsUnicode = unicode_;
  s.SmsDeliveryReport = delivery_report_;
  QLocale::setDefault(locale_);
}

void SmsCentreTest::MessagesOnTheCardAppearInTheInboxNewestFirst() {
  OpenWith(D().OpenCard()
               .ServiceCentre("+491710760000")
               .SmsStorage(10)
               .WithStoredSms(Incoming("+491701111111", "Hallo Welt\nbis bald", 10))
               .WithStoredSms(Incoming("+491702222222", "Preis: 5\xE2\x82\xAC [inkl. {alles}]", 11))
               .WithStoredSms(Incoming("+491703333333", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", 12))
               .WithStoredSms(Incoming("Vombel", "Ihr Guthaben", 13)),
           4);
  QCOMPARE(Centre()->Folder(), CSmsMessages::FolderInbox);
  QVERIFY(Action("sms_inbox")->isChecked());
  QCOMPARE(List()->headerItem()->text(0), QString("Sender"));
  QCOMPARE(List()->headerItem()->text(1), QString("Date"));
  QCOMPARE(Action("sms_new")->toolTip(), QString("Create a new SMS message"));
  QCOMPARE(Action("sms_new")->text(), QString("New"));

  struct Row {
    const char* sender;
    const char* date;
    const char* text;
    uint32_t alphabet;
  };
  const Row rows[] = {
      {"Vombel", "13.03.26 14:09", "Ihr Guthaben", 0},
      {"+491703333333", "12.03.26 14:09", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", 2},
      {"+491702222222", "11.03.26 14:09", "Preis: 5\xE2\x82\xAC [inkl. {alles}]", 0},
      {"+491701111111", "10.03.26 14:09", "Hallo Welt\nbis bald", 0},
  };
  QCOMPARE(List()->topLevelItemCount(), 4);
  for (int i = 0; i < 4; ++i) {
    QCOMPARE(Cell(i, 0), QString::fromUtf8(rows[i].sender));
    QCOMPARE(Cell(i, 1), QString::fromUtf8(rows[i].date));
    QCOMPARE(Centre()->Rows()[static_cast<size_t>(i)].Alphabet, rows[i].alphabet);
    List()->setCurrentItem(List()->topLevelItem(i));
    QCOMPARE(Preview(), QString::fromUtf8(rows[i].text));
  }

  // A new message arrives while the centre is open: first, unread (red and
  // semi-bold), and the window's status says so.
  QVERIFY(D().Card().DeliverSms(Incoming("+491704444444", "Neu hier", 14)).has_value());
  QVERIFY(WaitForRows(5));
  QCOMPARE(Cell(0, 0), QString("+491704444444"));
  QCOMPARE(Preview(), QString("Neu hier"));
  QCOMPARE(List()->topLevelItem(0)->font(0).weight(), QFont::DemiBold);
  QCOMPARE(List()->topLevelItem(0)->foreground(0).color(), QColor(255, 0, 0));
  // On a dark desktop the red turns lighter, to stay readable.
  const QPalette light = QApplication::palette();
  QApplication::setPalette(DarkPalette());
  QCoreApplication::processEvents();
  QCOMPARE(List()->topLevelItem(0)->foreground(0).color(), QColor(255, 110, 110));
  QApplication::setPalette(light);
  QCoreApplication::processEvents();
  QVERIFY(D().Label("pane_sms")->isVisibleTo(D().Window()));
  QCOMPARE(D().Label("pane_sms")->toolTip(), QString("You have new SMS message(s)"));
  QVERIFY(D().Tray().At(1)->shown);
  QCOMPARE(D().Tray().At(1)->tooltip, QString("You have new SMS message(s)"));
  // Leaving it marks it read, also across the next refill.
  List()->setCurrentItem(List()->topLevelItem(1));
  QCOMPARE(List()->topLevelItem(0)->font(0).weight(), QFont::Normal);
  Centre()->OnSmsNews(0);
  QCOMPARE(List()->topLevelItem(0)->font(0).weight(), QFont::Normal);
}

void SmsCentreTest::NewReplyForwardSendSaveAndDeleteReachTheCard() {
  OpenWith(D().OpenCard()
               .ServiceCentre("+491710760000")
               .SmsStorage(10)
               .WithStoredSms(Incoming("+491701111111", "Kommst du?", 10))
               .WithStoredSms(Incoming("Vombel", "Ihr Guthaben", 11)),
           2);

  // New, sent: on the card as sent to its recipient, in the Sent folder.
  Action("sms_new")->trigger();
  QVERIFY(Editor()->isVisible());
  QCOMPARE(Editor()->windowTitle(), QString("New SMS message"));
  QVERIFY(Recipient()->text().isEmpty() && Message()->toPlainText().isEmpty());
  QVERIFY(!Action("sms_send")->isEnabled());
  Type(Recipient(), "+4917012345");
  Type(Message(), "Ja, gleich");
  QCOMPARE(Counter(), QString("150 remaining character(s)"));
  QVERIFY(Action("sms_send")->isEnabled() && Action("sms_save")->isEnabled());
  Action("sms_send")->trigger();
  QVERIFY(!Editor()->isVisible());
  QVERIFY(D().RunUntil([&] { return CardSlot(2).status == 3 && D().Idle(); }));
  QCOMPARE(CardSlot(2).recipient, std::string("+4917012345"));
  QCOMPARE(CardSlot(2).text, QString("Ja, gleich"));
  Action("sms_sent")->trigger();
  QCOMPARE(List()->headerItem()->text(0), QString("Recipient"));
  QCOMPARE(List()->topLevelItemCount(), 1);
  QCOMPARE(Cell(0, 0), QString("+4917012345"));
  QCOMPARE(Preview(), QString("Ja, gleich"));
  QVERIFY(Action("sms_reply")->isEnabled());

  // New, saved: unsent on the card and in Unsent; Reply is not offered there.
  Action("sms_new")->trigger();
  Type(Recipient(), "0171");
  Type(Message(), "Entwurf");
  Action("sms_save")->trigger();
  QVERIFY(D().RunUntil([&] { return CardSlot(3).status == 2 && D().Idle(); }));
  Action("sms_unsent")->trigger();
  QVERIFY(WaitForRows(1));
  QCOMPARE(Cell(0, 0), QString("0171"));
  QVERIFY(!Action("sms_reply")->isEnabled());
  QVERIFY(Action("sms_forward")->isEnabled());

  // The draft opens on a double click; unchanged it cannot be saved; edited
  // it takes a new slot and leaves the old one.
  const QRect cell = List()->visualItemRect(List()->topLevelItem(0));
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  QTest::mouseDClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  QVERIFY(Editor()->isVisible());
  QCOMPARE(Editor()->windowTitle(), QString("Draft SMS message"));
  QCOMPARE(Recipient()->text(), QString("0171"));
  QCOMPARE(Message()->toPlainText(), QString("Entwurf"));
  QCOMPARE(Editor()->Index(), 3u);
  QVERIFY(Action("sms_send")->isEnabled());
  QVERIFY(!Action("sms_save")->isEnabled());
  Message()->moveCursor(QTextCursor::End);
  Type(Message(), " zwei");
  QVERIFY(Action("sms_save")->isEnabled());
  Action("sms_save")->trigger();
  QVERIFY(D().RunUntil([&] { return CardSlot(3).status == -1 && CardSlot(4).status == 2 && D().Idle(); }));
  QCOMPARE(CardSlot(4).text, QString("Entwurf zwei"));
  QVERIFY(WaitForRows(1));
  QCOMPARE(Preview(), QString("Entwurf zwei"));

  // Reply takes the sender and an empty text; Forward the text and no
  // recipient. A sender's name cannot be answered.
  Action("sms_inbox")->trigger();
  QCOMPARE(Cell(1, 0), QString("+491701111111"));
  List()->setCurrentItem(List()->topLevelItem(1));
  Action("sms_reply")->trigger();
  QCOMPARE(Editor()->windowTitle(), QString("Reply SMS message"));
  QCOMPARE(Recipient()->text(), QString("+491701111111"));
  QVERIFY(Message()->toPlainText().isEmpty());
  QCOMPARE(Editor()->Index(), kSmsNotOnSim);
  Action("sms_forward")->trigger();
  QCOMPARE(Editor()->windowTitle(), QString("Forward SMS message"));
  QVERIFY(Recipient()->text().isEmpty());
  QCOMPARE(Message()->toPlainText(), QString("Kommst du?"));
  List()->setCurrentItem(List()->topLevelItem(0));
  Action("sms_reply")->trigger();
  QCOMPARE(Recipient()->text(), QString("Vombel"));
  Type(Message(), "Danke");
  QVERIFY(!Action("sms_send")->isEnabled());
  Editor()->hide();

  // Delete asks first; Cancel keeps the message, OK deletes it on the card.
  D().answer = false;
  Action("sms_delete")->trigger();
  QCOMPARE(D().asked.back(), QString("The SMS message will be permanently deleted!"));
  QVERIFY(D().RunFor(500));
  QCOMPARE(CardSlot(1).status, 1);
  D().answer = true;
  Action("sms_delete")->trigger();
  QVERIFY(D().RunUntil([&] { return CardSlot(1).status == -1 && D().Idle(); }));
  QVERIFY(WaitForRows(1));
  QCOMPARE(Cell(0, 0), QString("+491701111111"));
}

void SmsCentreTest::TheEditorTakesOnlyWhatTheMessageCanCarry() {
  OpenWith(D().OpenCard().SmsStorage(5), 0);
  Action("sms_new")->trigger();
  QLineEdit* recipient = Recipient();
  QPlainTextEdit* message = Message();

  // The recipient: digits and "#", "+" first only, 20 digits at most; no
  // "*" (the encoder would stop there); a paste with any of it refused whole.
  Type(recipient, "+49+17*0#");
  QCOMPARE(recipient->text(), QString("+49170#"));
  Paste(recipient, "12*3");
  QCOMPARE(recipient->text(), QString("+49170#"));
  Paste(recipient, "123");
  QCOMPARE(recipient->text(), QString("+49170#123"));
  QTest::keyClick(recipient, Qt::Key_A, Qt::ControlModifier);
  Type(recipient, Repeat("1", 22));
  QCOMPARE(recipient->text(), Repeat("1", 20));
  QTest::keyClick(recipient, Qt::Key_Z, Qt::ControlModifier);
  QVERIFY(recipient->text() != Repeat("1", 20));

  // The message in GSM mode: no Cyrillic; an extension character costs two.
  Type(message, "Preis 5\xE2\x82\xAC \xD0\x96");
  QCOMPARE(message->toPlainText(), QString::fromUtf8("Preis 5\xE2\x82\xAC "));
  QCOMPARE(Counter(), QString("150 remaining character(s)"));
  Paste(message, "ok \xD0\x96");
  QCOMPARE(message->toPlainText(), QString::fromUtf8("Preis 5\xE2\x82\xAC "));
  Paste(message, "ok");
  QCOMPARE(Counter(), QString("148 remaining character(s)"));
  QTest::keyClick(message, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(message->toPlainText(), QString::fromUtf8("Preis 5\xE2\x82\xAC "));
  Type(message, "\n");
  QCOMPARE(Counter(), QString("149 remaining character(s)"));
  Type(message, Repeat("a", 148));
  QCOMPARE(Counter(), QString("1 remaining character(s)"));
  // An extension character with one unit left makes a long message: two
  // parts of 153, the euro sign whole in the second.
  Type(message, "\xE2\x82\xAC");
  QCOMPARE(Counter(), QString("2 messages, 145 characters left"));
  QCOMPARE(message->toPlainText().size(), 159);

  // The longest message has 255 parts: a paste beyond is refused whole,
  // typing at the limit too.
  QTest::keyClick(message, Qt::Key_A, Qt::ControlModifier);
  Paste(message, Repeat("a", 255 * 153 + 1));
  QCOMPARE(message->toPlainText().size(), 159);
  QTest::keyClick(message, Qt::Key_A, Qt::ControlModifier);
  Paste(message, Repeat("a", 255 * 153));
  QCOMPARE(Counter(), QString("255 messages, 0 characters left"));
  Type(message, "b");
  QCOMPARE(message->toPlainText().size(), 255 * 153);

  // To UCS-2: 255 parts hold less; the text is cut after the question;
  // refused, the box goes back.
  D().answer = false;
  UnicodeBox()->click();
  QVERIFY(!UnicodeBox()->isChecked());
  QCOMPARE(D().asked.back(), QString("The message would take more than 255 messages. If you continue, it will be "
                                     "truncated accordingly."));
  D().answer = true;
  UnicodeBox()->click();
  QVERIFY(UnicodeBox()->isChecked());
  QCOMPARE(message->toPlainText().size(), 255 * 67);
  QCOMPARE(Counter(), QString("255 messages, 0 characters left"));
  QTest::keyClick(message, Qt::Key_A, Qt::ControlModifier);
  Type(message, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  QCOMPARE(Counter(), QString("64 remaining character(s)"));
  // Back to GSM: the Cyrillic letters go after their own question.
  Type(message, " ok");
  UnicodeBox()->click();
  QVERIFY(!UnicodeBox()->isChecked());
  QCOMPARE(D().asked.back(), QString("In the non-UNICODE mode some characters are not allowed. If you continue, such "
                                     "characters will be removed from the message."));
  QCOMPARE(message->toPlainText(), QString(" ok"));

  // Sent in UCS-2, the choice stays for the next message.
  UnicodeBox()->click();
  Type(message, "\xD0\x96");
  Action("sms_send")->trigger();
  QVERIFY(D().RunUntil([&] { return CardSlot(0).status == 3 && D().Idle(); }));
  QCOMPARE(CardSlot(0).text, QString::fromUtf8(" ok\xD0\x96"));
  QCOMPARE(MainWindowDriver::settings().SmsUnicode, 1u);
}

void SmsCentreTest::AClassZeroMessageAFullSimAndAPulledCard() {
  OpenWith(D().OpenCard()
               .ServiceCentre("+491710760000")
               .SmsStorage(2)
               .WithStoredSms(Incoming("+491701111111", "keep me", 10)),
           1);
  QVERIFY(!D().Label("pane_sms")->isVisibleTo(D().Window()));

  // A class 0 message is shown at once; saved, it takes a free slot and
  // leaves slot 0 (the index the library gave it) alone. The SIM is full.
  sim::DeliverMessage flash = Incoming("+491705555555", "Achtung", 11);
  flash.flash = true;
  D().Card().DeliverSms(flash);
  QVERIFY(D().RunUntil([&] { return !D().asked.empty(); }));
  QCOMPARE(D().asked.back(), QString("Achtung\n\nDo you want to save this message?"));
  QVERIFY(D().RunUntil([&] { return CardSlot(1).status != -1 && D().Idle(); }));
  QCOMPARE(CardSlot(0).text, QString("keep me"));
  QCOMPARE(CardSlot(1).text, QString("Achtung"));
  QVERIFY(D().RunUntil([&] { return D().Label("pane_sms")->isVisibleTo(D().Window()); }));
  QCOMPARE(D().Label("pane_sms")->toolTip(), QString("SIM SMS storage is full"));
  QCOMPARE(D().Tray().At(1)->tooltip, QString("SIM SMS storage is full"));

  // Pulled while the centre and a reply are open: nothing listed, nothing
  // offered, the editor cannot send, the status forgets the SIM.
  List()->setCurrentItem(List()->topLevelItem(0));
  Action("sms_reply")->trigger();
  Type(Editor()->findChild<QPlainTextEdit*>("sms_text"), "Ja");
  QVERIFY(Action("sms_send")->isEnabled());
  D().Presence().Pull();
  QVERIFY(D().RunUntil([&] { return List()->topLevelItemCount() == 0 && D().Cache().DeviceState == 0; }));
  QVERIFY(Preview().isEmpty());
  for (const char* name : {"sms_new", "sms_reply", "sms_forward", "sms_delete", "sms_inbox", "sms_sent", "sms_unsent",
                           "sms_send", "sms_save"}) {
    QVERIFY2(!Action(name)->isEnabled(), name);
  }
  QVERIFY(!D().Label("pane_sms")->isVisibleTo(D().Window()));
  QVERIFY(!D().Tray().At(1)->shown);

  // Plugged again, with a SIM whose listing hangs until its time runs out:
  // the centre shows that it is busy meanwhile, and stops when the listing
  // ends, even in failure.
  D().Plug(D().OpenCard().SmsStorage(2).WithStoredSms(Incoming("+491701111111", "again", 12))
               .WithFault("+CMGL", sim::Fault{sim::FaultKind::kSilent, 0, true}));
  QWidget* busy = Centre()->findChild<QWidget*>("sms_busy");
  QVERIFY(D().RunUntil([&] { return busy->isVisibleTo(Centre()); }));
  QCOMPARE(List()->topLevelItemCount(), 0);
  QVERIFY(Action("sms_new")->isEnabled());
  QVERIFY(D().DriveUntil([&] { return !busy->isVisibleTo(Centre()); }));
  QVERIFY(!D().dialogs->errors.empty());
}

void SmsCentreTest::SentMessagesShowWhatTheirStatusReportsSay() {
  OpenWith(D().OpenCard().ServiceCentre("+491710760000").SmsStorage(10), 0);
  auto send = [&](const char* recipient, const char* text, bool report) {
    Action("sms_new")->trigger();
    QCOMPARE(ReportBox()->isChecked(), MainWindowDriver::settings().SmsDeliveryReport != 0);
    ReportBox()->setChecked(report);
    Type(Recipient(), recipient);
    Type(Message(), text);
    Action("sms_send")->trigger();
  };

  // Off at first. Asked for, the message is pending in Sent until the
  // card's report comes a few seconds later.
  send("+4917011111", "Mit Bericht", true);
  QVERIFY(D().RunUntil([&] { return CardSlot(0).status == 3 && D().Idle(); }));
  Action("sms_sent")->trigger();
  QCOMPARE(List()->headerItem()->text(1), QString("Delivery"));
  QCOMPARE(Cell(0, 1), QString("Pending"));
  QVERIFY(D().RunUntil([&] { return Cell(0, 1) != QString("Pending"); }));
  QVERIFY2(QRegularExpression("^Delivered \\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d$").match(Cell(0, 1)).hasMatch(),
           qPrintable(Cell(0, 1)));
  QCOMPARE(MainWindowDriver::settings().SmsDeliveryReport, 1u);

  // A failed report says why, and the card's later report for the same
  // reference changes nothing; a message without a request shows nothing.
  send("+4917022222", "Geht nicht", true);
  QVERIFY(D().RunUntil([&] { return CardSlot(1).status == 3 && D().Idle(); }));
  QVERIFY(WaitForRows(2));
  QCOMPARE(Cell(1, 1), QString("Pending"));
  sim::StatusReport failed;
  failed.service_centre = "+491710760000";
  failed.reference = static_cast<int>(D().Cache().SmsStore->Delivery(1)->reference);
  failed.recipient = "+4917022222";
  failed.sent = {2026, 3, 14, 15, 9, 26, 4};
  failed.discharged = {2026, 3, 14, 15, 9, 30, 4};
  failed.status = 0x46;
  QVERIFY(D().Card().DeliverStatusReport(failed));
  QVERIFY(D().RunUntil([&] { return Cell(1, 1) == QString("Failed: Validity period expired"); }));
  send("+4917033333", "Ohne", false);
  QVERIFY(D().RunUntil([&] { return CardSlot(2).status == 3 && D().Idle(); }));
  QVERIFY(D().RunFor(5000));
  QVERIFY(WaitForRows(3));
  QCOMPARE(Cell(1, 1), QString("Failed: Validity period expired"));
  QVERIFY(Cell(2, 1).isEmpty());
  QCOMPARE(MainWindowDriver::settings().SmsDeliveryReport, 0u);
}

void SmsCentreTest::ALongMessageIsOneMessageAndWaitsForItsMissingParts() {
  OpenWith(D().OpenCard().ServiceCentre("+491710760000").SmsStorage(10), 0);
  std::string text;
  for (int i = 1; i <= 5; ++i) {
    text += "Teil " + std::to_string(i) + ": Ihr neuer Tarif gilt ab dem ersten April und enthaelt fuenf Gigabyte. ";
  }
  const QString whole = QString::fromStdString(text);
  const std::vector<sim::DeliverMessage> parts = sim::SplitIntoParts(Incoming("+491701111111", text, 12), 77);
  QCOMPARE(parts.size(), size_t{3});
  auto part_text = [&](size_t i) { return QString::fromStdString(parts[i].text); };

  // The last part first, then the first, and a message of its own between
  // them: two rows, the long one waiting for its second part.
  QVERIFY(D().Card().DeliverSms(parts[2]).has_value());
  QVERIFY(D().Card().DeliverSms(Incoming("+491702222222", "Kurz", 11)).has_value());
  QVERIFY(D().Card().DeliverSms(parts[0]).has_value());
  QVERIFY(D().RunUntil([&] { return D().Cache().SmsStore->Count() == 3 && D().Idle(); }));
  QVERIFY(WaitForRows(2));
  QCOMPARE(Cell(0, 0), QString("+491701111111"));
  QVERIFY2(Cell(0, 1).endsWith(QString::fromUtf8("\u2014 part 2 of 3 missing")), qPrintable(Cell(0, 1)));
  QCOMPARE(Preview(), "(part 2 of 3 missing)\n\n" + part_text(0) + part_text(2));

  // The missing part: one message, whole and in order.
  QVERIFY(D().Card().DeliverSms(parts[1]).has_value());
  QVERIFY(D().RunUntil([&] { return D().Cache().SmsStore->Count() == 4 && D().Idle(); }));
  QVERIFY(WaitForRows(2));
  QCOMPARE(Cell(0, 0), QString("+491701111111"));
  QVERIFY(!Cell(0, 1).contains("missing"));
  QCOMPARE(Preview(), whole);

  // Reply answers its sender; Forward takes the whole text, which the
  // editor counts in three messages and sends in three parts.
  Action("sms_reply")->trigger();
  QCOMPARE(Recipient()->text(), QString("+491701111111"));
  Action("sms_forward")->trigger();
  QCOMPARE(Message()->toPlainText(), whole);
  QCOMPARE(Counter(), QString("3 messages, 69 characters left"));
  Type(Recipient(), "+4917012345");
  Action("sms_send")->trigger();
  QVERIFY(D().RunUntil([&] { return CardSlot(4).status == 3 && CardSlot(5).status == 3 && CardSlot(6).status == 3 && D().Idle(); }));
  QCOMPARE(CardSlot(4).text + CardSlot(5).text + CardSlot(6).text, whole);
  Action("sms_sent")->trigger();
  QVERIFY(WaitForRows(1));
  QCOMPARE(Preview(), whole);

  // Deleted, the message goes from the card with every part.
  Action("sms_inbox")->trigger();
  List()->setCurrentItem(List()->topLevelItem(0));
  D().answer = true;
  Action("sms_delete")->trigger();
  QVERIFY(D().RunUntil([&] { return CardSlot(0).status == -1 && CardSlot(2).status == -1 && CardSlot(3).status == -1 && D().Idle(); }));
  QVERIFY(WaitForRows(1));
  QCOMPARE(Cell(0, 0), QString("+491702222222"));
  QCOMPARE(CardSlot(1).text, QString("Kurz"));
}

VOMBEL_UI_TEST(SmsCentreTest)

#include "sms_centre_test.moc"

// The USSD window through a session's states (waiting, reply wanted, done,
// failed, cancelled, the card gone), what it asks of the worker, and the
// main window's part: the greyed menu entry and a network that speaks first.
// The driver first: it brings the simulator in before Qt's keywords.
#include "tests/ui/main_window_driver.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <functional>
#include <string>
#include <vector>

#include "app/app_messages.h"
#include "app/error_texts.h"
#include "app/ui/dlg_ussd.h"
#include "tests/ui/ui_test_registry.h"

using namespace app_messages;
using ui_testing::MainWindowDriver;

class DlgUssdTest : public QObject {
  Q_OBJECT

 private slots:
  void TheWindowFollowsTheSessionAndAsksTheWorker();
  void TheMenuEntryFollowsTheCardAndTheNetworkMaySpeakFirst();
};

namespace {

struct Request {
  UssdOperation operation;
  std::u16string text;
  bool operator==(const Request&) const = default;
};

// What the window offers, as one comparable text: the enabled controls,
// the visible indicators and the status line.
QString Shown(const CDlgUssd& dialog) {
  QStringList parts;
  for (const char* name : {"code", "send", "reply", "send_reply", "cancel"}) {
    if (dialog.findChild<QWidget*>(QString::fromLatin1(name))->isEnabled()) parts << QString::fromLatin1(name);
  }
  for (const char* name : {"busy", "status_icon"}) {
    if (dialog.findChild<QWidget*>(QString::fromLatin1(name))->isVisibleTo(&dialog)) {
      parts << QString::fromLatin1(name);
    }
  }
  parts << QLatin1Char('"') + dialog.findChild<QLabel*>(QStringLiteral("status"))->text() + QLatin1Char('"');
  return parts.join(QLatin1Char(' '));
}

UssdNews Answer(int status, std::u16string text = {}) {
  UssdNews news;
  news.status = status;
  news.text = std::move(text);
  return news;
}

}  // namespace

void DlgUssdTest::TheWindowFollowsTheSessionAndAsksTheWorker() {
  std::vector<Request> requests;
  CDlgUssd dialog([&](UssdOperation operation, const std::u16string& text) { requests.push_back({operation, text}); });
  dialog.ShowAndActivate();
  // Typed, so the field's own rules apply.
  auto type = [&](const char* field, const char* text) {
    auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(field));
    edit->clear();
    QTest::keyClicks(edit, QString::fromLatin1(text));
  };
  auto click = [&](const char* button) { dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click(); };
  UssdNews refused;
  refused.error = DV_E_ERROR;
  ErrorReport refused_report;
  refused_report.code = DV_E_ERROR;
  const QString refused_text = QString::fromStdU16String(MakeErrorText(refused_report));

  struct Step {
    const char* what;
    std::function<void()> act;
    QString shown;
    std::vector<Request> asked;  // the requests this step made
  };
  const Step steps[] = {
      {"no card", [&] { dialog.SetCardReady(false); },
       "status_icon \"USSD needs the card with its SIM ready and registered with a network.\"", {}},
      {"card ready", [&] { dialog.SetCardReady(true); }, "code \"\"", {}},
      // The letter never reaches the field: "sent" asks for *101#.
      {"a code with a letter", [&] { type("code", "*10a1#"); }, "code send \"\"", {}},
      {"sent", [&] { click("send"); }, "cancel busy \"Waiting for the network...\"",
       {{UssdOperationSend, u"*101#"}}},
      {"the network asks", [&] { dialog.OnNews(Answer(1, u"Vombel menu\n1 Bundles\n2 Top up")); },
       "reply cancel \"The network asks for a reply.\"", {}},
      {"a reply typed", [&] { type("reply", "1"); }, "reply send_reply cancel \"The network asks for a reply.\"",
       {}},
      {"replied", [&] { click("send_reply"); }, "cancel busy \"Waiting for the network...\"",
       {{UssdOperationSend, u"1"}}},
      {"answered", [&] { dialog.OnNews(Answer(0, u"Bundles: 1 GB left")); },
       "code send \"The network has answered.\"", {}},
      {"the card refuses", [&] {
         click("send");
         dialog.OnNews(refused);
       },
       "code send status_icon \"" + refused_text + "\"", {{UssdOperationSend, u"*101#"}}},
      {"cancelled while asked",
       [&] {
         click("send");
         dialog.OnNews(Answer(1, u"Vombel menu"));
         click("cancel");
       },
       "code send \"The session has been cancelled.\"", {{UssdOperationSend, u"*101#"}, {UssdOperationCancel, u""}}},
      // A failure of the cancelled request is old news.
      {"late failure", [&] { dialog.OnNews(refused); }, "code send \"The session has been cancelled.\"", {}},
      {"not supported", [&] {
         click("send");
         dialog.OnNews(Answer(4));
       },
       "code send status_icon \"The network does not support this request.\"", {{UssdOperationSend, u"*101#"}}},
      {"timed out", [&] {
         click("send");
         dialog.OnNews(Answer(5));
       },
       "code send status_icon \"The network did not answer in time.\"", {{UssdOperationSend, u"*101#"}}},
      {"the card goes while waiting", [&] {
         click("send");
         dialog.SetCardReady(false);
       },
       "status_icon \"USSD needs the card with its SIM ready and registered with a network.\"",
       {{UssdOperationSend, u"*101#"}}},
      {"closed while asked",
       [&] {
         dialog.SetCardReady(true);
         click("send");
         dialog.OnNews(Answer(1, u"Vombel menu"));
         click("close");
       },
       "code send \"The session has been cancelled.\"", {{UssdOperationSend, u"*101#"}, {UssdOperationCancel, u""}}},
  };
  for (const Step& step : steps) {
    requests.clear();
    step.act();
    QVERIFY2(Shown(dialog) == step.shown, qPrintable(QStringLiteral("%1: %2").arg(step.what, Shown(dialog))));
    QVERIFY2(requests == step.asked, step.what);
  }
  QVERIFY(!dialog.isVisible());
  // The conversation of the last session, the user's entries and the
  // network's.
  QCOMPARE(dialog.findChild<QPlainTextEdit*>(QStringLiteral("conversation"))->toPlainText(),
           QStringLiteral("You: *101#\n\nNetwork: Vombel menu"));
}

void DlgUssdTest::TheMenuEntryFollowsTheCardAndTheNetworkMaySpeakFirst() {
  MainWindowDriver d;
  d.OpenWindow(false);
  QList<QAction*> entries;
  for (QAction* action : d.Window()->findChildren<QAction*>()) {
    if (action->text() == QStringLiteral("&USSD...")) entries << action;
  }
  QCOMPARE(entries.size(), 2);  // the window's menu and the tray's
  const auto enabled = [&] { return entries[0]->isEnabled() && entries[1]->isEnabled(); };
  const auto disabled = [&] { return !entries[0]->isEnabled() && !entries[1]->isEnabled(); };
  QVERIFY(disabled());

  const auto card = [&](int pin_puk, int cs, int ps) {
    d.Notify(
        [&](CachedDravikValues& v) {
          v.DeviceState = CachedDravikValues::kDeviceReady;
          v.PinPukState = pin_puk;
          v.CsNetworkState = cs;
          v.PsNetworkState = ps;
        },
        WM_APP_STATE_CHANGED);
  };
  card(CachedDravikValues::kPinRequired, 1, 1);
  QVERIFY(disabled());
  card(CachedDravikValues::kPinPukReady, 0, 2);
  QVERIFY(disabled());
  card(CachedDravikValues::kPinPukReady, 0, 5);
  QVERIFY(enabled());

  // Before the user ever opened the window, the network sends a text: the
  // window opens with it.
  QVERIFY(d.Window()->Ussd() == nullptr);
  d.Notify([](CachedDravikValues&) {}, WM_APP_USSD_NEWS, 0,
           reinterpret_cast<intptr_t>(new UssdNews(Answer(0, u"Bonus: 1 GB free"))));
  CDlgUssd* dialog = d.Window()->Ussd();
  QVERIFY(dialog != nullptr && dialog->isVisible());
  QCOMPARE(dialog->findChild<QPlainTextEdit*>(QStringLiteral("conversation"))->toPlainText(),
           QStringLiteral("Network: Bonus: 1 GB free"));

  card(CachedDravikValues::kPinPukReady, 0, 0);
  QVERIFY(disabled());
  QVERIFY(!dialog->findChild<QLineEdit*>(QStringLiteral("code"))->isEnabled());
}

VOMBEL_UI_TEST(DlgUssdTest)

#include "dlg_ussd_test.moc"

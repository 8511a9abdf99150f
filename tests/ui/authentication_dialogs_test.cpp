// The PIN, PUK and change-PIN dialogs: when OK may be pressed, what their
// OK and Cancel post to the result window (a platform window of this thread),
// when they ask first, the trials line, and that the codes are handed over
// once and never logged.
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/dlg_change_pin.h"
#include "app/ui/dlg_pin.h"
#include "app/ui/dlg_puk.h"
#include "platform/window.h"
#include "tests/support/log_capture.h"
#include "tests/ui/ui_tests.h"

namespace {

struct Result {
  uint32_t message;
  platform::WPARAM wparam;
  platform::LPARAM lparam;
  bool operator==(const Result&) const = default;
};

const Result kPinEntered{CDlgAuthentication::kPinResultMessage, 1, 0};
const Result kPinCancelled{CDlgAuthentication::kPinResultMessage, 0, 0};
const Result kPukEntered{CDlgAuthentication::kPukResultMessage, 1, 0};
const Result kPukCancelled{CDlgAuthentication::kPukResultMessage, 0, 0};

QLineEdit* Field(QWidget& dialog, const char* name) {
  return dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
}

QPushButton* Ok(QWidget& dialog) {
  return dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
}

QLabel* TrialsLabel(QWidget& dialog) { return dialog.findChild<QLabel*>(QStringLiteral("trials_left")); }

// How a test leaves a dialog without OK.
enum class CancelBy { kButton, kEscape, kClose };

void Cancel(QWidget& dialog, QLineEdit& focused, CancelBy how) {
  switch (how) {
    case CancelBy::kButton:
      dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
      break;
    case CancelBy::kEscape:
      QTest::keyClick(&focused, Qt::Key_Escape);
      break;
    case CancelBy::kClose:
      dialog.close();
      break;
  }
}

const char kPinQuestion[] =
    "If you do not enter your PIN code, you will not be able to make a connection with Test App.";
const char kPukQuestion[] =
    "If you do not enter your PUK code and your new PIN code, you will not be able to make a "
    "connection with Test App.";

}  // namespace

Q_DECLARE_METATYPE(CancelBy)

class AuthenticationDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void PinOkNeedsMoreThanThreeCharacters_data();
  void PinOkNeedsMoreThanThreeCharacters();
  void CodeFieldsTakeAtMostEightDigitsAndMaskThem_data();
  void CodeFieldsTakeAtMostEightDigitsAndMaskThem();
  void PinOkPostsTheResultAndTakePinEmptiesTheField();
  void EnterPressesOkOnlyWhileItIsEnabled();
  void PinCancel_data();
  void PinCancel();
  void OpenResetsTheFieldFocusAndMode();
  void TheQuestionNamesTheParentWindowWithoutAName();

  void PukOkNeedsEightDigitsAndTwoPinsOfFour_data();
  void PukOkNeedsEightDigitsAndTwoPinsOfFour();
  void PukWithDifferentNewPinsInformsAndKeepsTheFields();
  void PukOkPostsAndHandsOverBothCodes();
  void PukCancel_data();
  void PukCancel();

  void ChangePinOk_data();
  void ChangePinOk();
  void ChangePinResultsCarryTheirOrigin();

  void TrialsLine_data();
  void TrialsLine();
  void TrialsLineReadsOnDarkPalettes();
  void EveryControlHasAnAccessibleName();
  void NoCodeReachesTheLog();

 private:
  // What reached the result window since the last call.
  std::vector<Result> Posted() {
    platform::PumpMessages();
    return std::exchange(posted_, {});
  }

  void Prepare(CDlgAuthentication& dialog) {
    dialog.SetApplicationName(QStringLiteral("Test App"));
    dialog.SetConfirm([this](const QString& text) {
      questions_.push_back(text);
      return answer_;
    });
    dialog.SetInform([this](const QString& text) { notices_.push_back(text); });
  }

  std::unique_ptr<CDlgPin> MakePin() {
    auto dialog = std::make_unique<CDlgPin>(result_window_);
    Prepare(*dialog);
    return dialog;
  }
  std::unique_ptr<CDlgPuk> MakePuk() {
    auto dialog = std::make_unique<CDlgPuk>(result_window_);
    Prepare(*dialog);
    return dialog;
  }
  std::unique_ptr<CDlgChangePin> MakeChangePin() {
    auto dialog = std::make_unique<CDlgChangePin>(result_window_);
    Prepare(*dialog);
    return dialog;
  }

  std::u16string class_name_;
  platform::HWND result_window_ = nullptr;
  std::vector<Result> posted_;
  std::vector<QString> questions_;
  std::vector<QString> notices_;
  bool answer_ = false;
};

void AuthenticationDialogsTest::init() {
  const std::string name = QTest::currentTestFunction();
  class_name_ = u"AuthenticationDialogsTest." + std::u16string(name.begin(), name.end());
  posted_.clear();
  questions_.clear();
  notices_.clear();
  answer_ = false;
  QVERIFY(platform::RegisterClass(
      class_name_, [this](platform::HWND, uint32_t m, platform::WPARAM w, platform::LPARAM l) {
        if (m != platform::WM_CREATE && m != platform::WM_DESTROY) posted_.push_back({m, w, l});
        return platform::LRESULT{0};
      }));
  result_window_ = platform::CreateWindow(class_name_);
  QVERIFY(result_window_ != nullptr);
}

void AuthenticationDialogsTest::cleanup() {
  if (platform::IsWindow(result_window_)) platform::DestroyWindow(result_window_);
  platform::UnregisterClass(class_name_);
}

void AuthenticationDialogsTest::PinOkNeedsMoreThanThreeCharacters_data() {
  QTest::addColumn<QString>("pin");
  QTest::addColumn<bool>("enabled");
  QTest::newRow("empty") << QString() << false;
  QTest::newRow("three digits") << QStringLiteral("123") << false;
  QTest::newRow("four spaces") << QStringLiteral("    ") << false;
  QTest::newRow("three digits in spaces") << QStringLiteral(" 123 ") << false;
  QTest::newRow("four digits") << QStringLiteral("1234") << true;
  QTest::newRow("eight digits") << QStringLiteral("12345678") << true;
}

void AuthenticationDialogsTest::PinOkNeedsMoreThanThreeCharacters() {
  QFETCH(QString, pin);
  QFETCH(bool, enabled);
  auto dialog = MakePin();
  dialog->Open(CDlgPin::kModeEnter, 3, true);
  // Set, not typed: spaces could not be typed into the field.
  Field(*dialog, "pin")->setText(pin);
  QCOMPARE(Ok(*dialog)->isEnabled(), enabled);
  Ok(*dialog)->click();
  QCOMPARE(Posted().size(), size_t{enabled ? 1u : 0u});
}

void AuthenticationDialogsTest::CodeFieldsTakeAtMostEightDigitsAndMaskThem_data() {
  QTest::addColumn<int>("dialog_kind");  // 0 PIN, 1 PUK, 2 change PIN
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("kept");
  QTest::newRow("PIN letters") << 0 << "pin" << "a1b2c3d4" << "1234";
  QTest::newRow("PIN signs and spaces") << 0 << "pin" << "1 2-3+4.5" << "12345";
  QTest::newRow("PIN ten digits") << 0 << "pin" << "1234567890" << "12345678";
  QTest::newRow("PUK letters") << 1 << "puk" << "x12345678" << "12345678";
  QTest::newRow("PUK new PIN") << 1 << "new_pin" << "12ab34" << "1234";
  QTest::newRow("PUK confirmation") << 1 << "confirm_pin" << "999999999" << "99999999";
  QTest::newRow("current PIN") << 2 << "current_pin" << "q1w2e3r4" << "1234";
  QTest::newRow("new PIN") << 2 << "new_pin" << "56 78" << "5678";
  QTest::newRow("new PIN again") << 2 << "confirm_pin" << "5678Z" << "5678";
}

void AuthenticationDialogsTest::CodeFieldsTakeAtMostEightDigitsAndMaskThem() {
  QFETCH(int, dialog_kind);
  QFETCH(QString, field);
  QFETCH(QString, typed);
  QFETCH(QString, kept);
  std::unique_ptr<CDlgAuthentication> dialog;
  if (dialog_kind == 0) {
    auto pin = MakePin();
    pin->Open(CDlgPin::kModeEnter, 3, true);
    dialog = std::move(pin);
  } else if (dialog_kind == 1) {
    auto puk = MakePuk();
    puk->Open(10, true, false);
    dialog = std::move(puk);
  } else {
    auto change = MakeChangePin();
    change->Open(3, true);
    dialog = std::move(change);
  }
  QLineEdit* edit = Field(*dialog, field.toLatin1().constData());
  QVERIFY(edit != nullptr);
  QTest::keyClicks(edit, typed);
  QCOMPARE(edit->text(), kept);
  QCOMPARE(edit->echoMode(), QLineEdit::Password);
  QVERIFY(!edit->displayText().contains(kept));
}

void AuthenticationDialogsTest::PinOkPostsTheResultAndTakePinEmptiesTheField() {
  auto dialog = MakePin();
  dialog->Open(CDlgPin::kModeEnter, 3, true);
  QTest::keyClicks(Field(*dialog, "pin"), QStringLiteral("4711"));
  Ok(*dialog)->click();
  QVERIFY(dialog->isHidden());
  QCOMPARE(Posted(), std::vector<Result>{kPinEntered});
  // The owner takes the PIN once the result arrived.
  QCOMPARE(dialog->TakePin(), std::u16string(u"4711"));
  QVERIFY(Field(*dialog, "pin")->text().isEmpty());
  QCOMPARE(dialog->TakePin(), std::u16string());
  QVERIFY(questions_.empty());
}

void AuthenticationDialogsTest::EnterPressesOkOnlyWhileItIsEnabled() {
  auto dialog = MakePin();
  dialog->Open(CDlgPin::kModeEnable, 3, true);
  QLineEdit* pin = Field(*dialog, "pin");
  QTest::keyClicks(pin, QStringLiteral("123"));
  QTest::keyClick(pin, Qt::Key_Return);
  QVERIFY(!dialog->isHidden());
  QVERIFY(Posted().empty());
  QTest::keyClicks(pin, QStringLiteral("4"));
  QTest::keyClick(pin, Qt::Key_Return);
  QVERIFY(dialog->isHidden());
  QCOMPARE(Posted(), std::vector<Result>{kPinEntered});
  QCOMPARE(dialog->TakePin(), std::u16string(u"1234"));
}

void AuthenticationDialogsTest::PinCancel_data() {
  QTest::addColumn<int>("mode");
  QTest::addColumn<CancelBy>("how");
  QTest::addColumn<bool>("answer");
  QTest::addColumn<bool>("asked");
  QTest::addColumn<bool>("cancelled");
  QTest::newRow("enable, button") << 1 << CancelBy::kButton << false << false << true;
  QTest::newRow("enable, Escape") << 1 << CancelBy::kEscape << false << false << true;
  QTest::newRow("disable, button") << 2 << CancelBy::kButton << false << false << true;
  QTest::newRow("disable, close") << 2 << CancelBy::kClose << false << false << true;
  QTest::newRow("enter, button, Cancel") << 0 << CancelBy::kButton << false << true << false;
  QTest::newRow("enter, Escape, Cancel") << 0 << CancelBy::kEscape << false << true << false;
  QTest::newRow("enter, close, Cancel") << 0 << CancelBy::kClose << false << true << false;
  QTest::newRow("enter, button, OK") << 0 << CancelBy::kButton << true << true << true;
  QTest::newRow("enter, Escape, OK") << 0 << CancelBy::kEscape << true << true << true;
}

void AuthenticationDialogsTest::PinCancel() {
  QFETCH(int, mode);
  QFETCH(CancelBy, how);
  QFETCH(bool, answer);
  QFETCH(bool, asked);
  QFETCH(bool, cancelled);
  answer_ = answer;
  auto dialog = MakePin();
  dialog->Open(mode, 3, true);
  QLineEdit* pin = Field(*dialog, "pin");
  QTest::keyClicks(pin, QStringLiteral("1234"));
  Cancel(*dialog, *pin, how);
  QCOMPARE(questions_.size(), size_t{asked ? 1u : 0u});
  if (asked) QCOMPARE(questions_[0], QString::fromLatin1(kPinQuestion));
  QCOMPARE(dialog->isHidden(), cancelled);
  QCOMPARE(Posted(), cancelled ? std::vector<Result>{kPinCancelled} : std::vector<Result>{});
  // A cancelled code does not stay behind; a kept dialog keeps it.
  QCOMPARE(pin->text().isEmpty(), cancelled);
}

void AuthenticationDialogsTest::OpenResetsTheFieldFocusAndMode() {
  auto dialog = MakePin();
  dialog->Open(CDlgPin::kModeDisable, 3, true);
  QCOMPARE(dialog->Mode(), CDlgPin::kModeDisable);
  QLineEdit* pin = Field(*dialog, "pin");
  QTest::keyClicks(pin, QStringLiteral("1234"));
  dialog->hide();
  dialog->Open(CDlgPin::kModeEnter, 2, true);
  QCOMPARE(dialog->Mode(), CDlgPin::kModeEnter);
  QVERIFY(pin->text().isEmpty());
  QVERIFY(!Ok(*dialog)->isEnabled());
  QCOMPARE(dialog->focusWidget(), pin);
  QVERIFY(!dialog->isHidden());
  QCOMPARE(TrialsLabel(*dialog)->text(), QStringLiteral("Trials left: 2"));
}

void AuthenticationDialogsTest::TheQuestionNamesTheParentWindowWithoutAName() {
  QWidget parent;
  parent.setWindowTitle(QStringLiteral("Main Title"));
  auto* dialog = new CDlgPin(result_window_, &parent);
  dialog->SetConfirm([this](const QString& text) {
    questions_.push_back(text);
    return false;
  });
  dialog->Open(CDlgPin::kModeEnter, 3, true);
  dialog->reject();
  QCOMPARE(questions_.size(), size_t{1});
  QVERIFY2(questions_[0].endsWith(QStringLiteral("connection with Main Title.")),
           qPrintable(questions_[0]));
}

void AuthenticationDialogsTest::PukOkNeedsEightDigitsAndTwoPinsOfFour_data() {
  QTest::addColumn<QString>("puk");
  QTest::addColumn<QString>("new_pin");
  QTest::addColumn<QString>("confirmation");
  QTest::addColumn<bool>("enabled");
  QTest::newRow("complete") << "12345678" << "1234" << "1234" << true;
  QTest::newRow("PUK of seven") << "1234567" << "1234" << "1234" << false;
  QTest::newRow("PUK of four") << "1234" << "1234" << "1234" << false;
  QTest::newRow("PUK with spaces") << " 1234567" << "1234" << "1234" << false;
  QTest::newRow("new PIN of three") << "12345678" << "123" << "1234" << false;
  QTest::newRow("confirmation of three") << "12345678" << "1234" << "123" << false;
  QTest::newRow("new PIN of spaces") << "12345678" << "    " << "    " << false;
  // A difference is only found on OK.
  QTest::newRow("different new PINs") << "12345678" << "1234" << "5678" << true;
}

void AuthenticationDialogsTest::PukOkNeedsEightDigitsAndTwoPinsOfFour() {
  QFETCH(QString, puk);
  QFETCH(QString, new_pin);
  QFETCH(QString, confirmation);
  QFETCH(bool, enabled);
  auto dialog = MakePuk();
  dialog->Open(10, true, false);
  Field(*dialog, "puk")->setText(puk);
  Field(*dialog, "new_pin")->setText(new_pin);
  Field(*dialog, "confirm_pin")->setText(confirmation);
  QCOMPARE(Ok(*dialog)->isEnabled(), enabled);
}

void AuthenticationDialogsTest::PukWithDifferentNewPinsInformsAndKeepsTheFields() {
  auto dialog = MakePuk();
  dialog->Open(10, true, false);
  QTest::keyClicks(Field(*dialog, "puk"), QStringLiteral("12345678"));
  QTest::keyClicks(Field(*dialog, "new_pin"), QStringLiteral("1111"));
  QTest::keyClicks(Field(*dialog, "confirm_pin"), QStringLiteral("2222"));
  QTest::keyClick(Field(*dialog, "confirm_pin"), Qt::Key_Return);
  QCOMPARE(notices_, std::vector<QString>{QStringLiteral("New PIN codes are different.")});
  QVERIFY(Posted().empty());
  QVERIFY(!dialog->isHidden());
  QCOMPARE(Field(*dialog, "puk")->text(), QStringLiteral("12345678"));
  QCOMPARE(Field(*dialog, "new_pin")->text(), QStringLiteral("1111"));
  QCOMPARE(Field(*dialog, "confirm_pin")->text(), QStringLiteral("2222"));
}

void AuthenticationDialogsTest::PukOkPostsAndHandsOverBothCodes() {
  auto dialog = MakePuk();
  dialog->Open(10, true, false);
  QCOMPARE(dialog->focusWidget(), Field(*dialog, "puk"));
  QTest::keyClicks(Field(*dialog, "puk"), QStringLiteral("87654321"));
  QTest::keyClicks(Field(*dialog, "new_pin"), QStringLiteral("2468"));
  QTest::keyClicks(Field(*dialog, "confirm_pin"), QStringLiteral("2468"));
  Ok(*dialog)->click();
  QVERIFY(dialog->isHidden());
  QVERIFY(notices_.empty());
  QCOMPARE(Posted(), std::vector<Result>{kPukEntered});
  QCOMPARE(dialog->TakePuk(), std::u16string(u"87654321"));
  QCOMPARE(dialog->TakeNewPin(), std::u16string(u"2468"));
  for (const char* name : {"puk", "new_pin", "confirm_pin"}) {
    QVERIFY2(Field(*dialog, name)->text().isEmpty(), name);
  }
}

void AuthenticationDialogsTest::PukCancel_data() {
  QTest::addColumn<bool>("quiet");
  QTest::addColumn<CancelBy>("how");
  QTest::addColumn<bool>("answer");
  QTest::addColumn<bool>("asked");
  QTest::addColumn<bool>("cancelled");
  QTest::newRow("quiet, button") << true << CancelBy::kButton << false << false << true;
  QTest::newRow("quiet, Escape") << true << CancelBy::kEscape << false << false << true;
  QTest::newRow("asked, Cancel") << false << CancelBy::kButton << false << true << false;
  QTest::newRow("asked by Escape, Cancel") << false << CancelBy::kEscape << false << true << false;
  QTest::newRow("asked by close, OK") << false << CancelBy::kClose << true << true << true;
  QTest::newRow("asked, OK") << false << CancelBy::kButton << true << true << true;
}

void AuthenticationDialogsTest::PukCancel() {
  QFETCH(bool, quiet);
  QFETCH(CancelBy, how);
  QFETCH(bool, answer);
  QFETCH(bool, asked);
  QFETCH(bool, cancelled);
  answer_ = answer;
  auto dialog = MakePuk();
  dialog->Open(10, true, quiet);
  QLineEdit* puk = Field(*dialog, "puk");
  QTest::keyClicks(puk, QStringLiteral("1234"));
  Cancel(*dialog, *puk, how);
  QCOMPARE(questions_.size(), size_t{asked ? 1u : 0u});
  if (asked) QCOMPARE(questions_[0], QString::fromLatin1(kPukQuestion));
  QCOMPARE(dialog->isHidden(), cancelled);
  QCOMPARE(Posted(), cancelled ? std::vector<Result>{kPukCancelled} : std::vector<Result>{});
  QCOMPARE(puk->text().isEmpty(), cancelled);
}

void AuthenticationDialogsTest::ChangePinOk_data() {
  QTest::addColumn<QString>("current");
  QTest::addColumn<QString>("new_pin");
  QTest::addColumn<QString>("confirmation");
  QTest::addColumn<bool>("enabled");
  QTest::newRow("complete") << "1234" << "5678" << "5678" << true;
  QTest::newRow("current of three") << "123" << "5678" << "5678" << false;
  QTest::newRow("current of spaces") << "    " << "5678" << "5678" << false;
  QTest::newRow("new of three") << "1234" << "567" << "567" << false;
  QTest::newRow("different") << "1234" << "5678" << "5679" << false;
  QTest::newRow("eight digits") << "12345678" << "87654321" << "87654321" << true;
}

void AuthenticationDialogsTest::ChangePinOk() {
  QFETCH(QString, current);
  QFETCH(QString, new_pin);
  QFETCH(QString, confirmation);
  QFETCH(bool, enabled);
  auto dialog = MakeChangePin();
  dialog->Open(3, true);
  Field(*dialog, "current_pin")->setText(current);
  Field(*dialog, "new_pin")->setText(new_pin);
  Field(*dialog, "confirm_pin")->setText(confirmation);
  QCOMPARE(Ok(*dialog)->isEnabled(), enabled);
}

void AuthenticationDialogsTest::ChangePinResultsCarryTheirOrigin() {
  auto dialog = MakeChangePin();
  dialog->Open(3, true);
  QCOMPARE(dialog->focusWidget(), Field(*dialog, "current_pin"));
  QTest::keyClicks(Field(*dialog, "current_pin"), QStringLiteral("1234"));
  QTest::keyClicks(Field(*dialog, "new_pin"), QStringLiteral("98765"));
  QTest::keyClicks(Field(*dialog, "confirm_pin"), QStringLiteral("98765"));
  QTest::keyClick(Field(*dialog, "confirm_pin"), Qt::Key_Enter);
  QCOMPARE(Posted(), (std::vector<Result>{{CDlgAuthentication::kPinResultMessage, 1, 2}}));
  QCOMPARE(dialog->TakeOldPin(), std::u16string(u"1234"));
  QCOMPARE(dialog->TakeNewPin(), std::u16string(u"98765"));

  // Cancel asks nothing.
  dialog->Open(3, true);
  QTest::keyClick(Field(*dialog, "current_pin"), Qt::Key_Escape);
  QVERIFY(dialog->isHidden());
  QVERIFY(questions_.empty());
  QCOMPARE(Posted(), (std::vector<Result>{{CDlgAuthentication::kPinResultMessage, 0, 2}}));
}

void AuthenticationDialogsTest::TrialsLine_data() {
  QTest::addColumn<int>("dialog_kind");  // 0 PIN, 1 PUK, 2 change PIN
  QTest::addColumn<bool>("supported");
  QTest::addColumn<int>("trials_left");
  QTest::addColumn<QString>("shown");  // empty: hidden
  QTest::newRow("PIN, unsupported") << 0 << false << 2 << QString();
  QTest::newRow("PIN, negative") << 0 << true << -1 << QString();
  QTest::newRow("PIN, two") << 0 << true << 2 << "Trials left: 2";
  QTest::newRow("PIN, none") << 0 << true << 0 << "Trials left: 0";
  QTest::newRow("PUK, unsupported") << 1 << false << 10 << QString();
  QTest::newRow("PUK, ten") << 1 << true << 10 << "Trials left: 10";
  QTest::newRow("change, unsupported") << 2 << false << 3 << QString();
  QTest::newRow("change, three") << 2 << true << 3 << "Trials left: 3";
}

void AuthenticationDialogsTest::TrialsLine() {
  QFETCH(int, dialog_kind);
  QFETCH(bool, supported);
  QFETCH(int, trials_left);
  QFETCH(QString, shown);
  std::unique_ptr<CDlgAuthentication> dialog;
  // Opened once with a visible line first: the second opening must refresh it.
  if (dialog_kind == 0) {
    auto pin = MakePin();
    pin->Open(CDlgPin::kModeEnter, 7, true);
    pin->Open(CDlgPin::kModeEnter, trials_left, supported);
    dialog = std::move(pin);
  } else if (dialog_kind == 1) {
    auto puk = MakePuk();
    puk->Open(7, true, false);
    puk->Open(trials_left, supported, false);
    dialog = std::move(puk);
  } else {
    auto change = MakeChangePin();
    change->Open(7, true);
    change->Open(trials_left, supported);
    dialog = std::move(change);
  }
  QLabel* line = TrialsLabel(*dialog);
  QVERIFY(line != nullptr);
  QCOMPARE(line->isVisibleTo(dialog.get()), !shown.isEmpty());
  if (!shown.isEmpty()) QCOMPARE(line->text(), shown);
}

void AuthenticationDialogsTest::TrialsLineReadsOnDarkPalettes() {
  auto dialog = MakePin();
  QPalette light;
  light.setColor(QPalette::Window, QColor(240, 240, 240));
  dialog->setPalette(light);
  const QColor brown(120, 60, 0);
  QCOMPARE(TrialsLabel(*dialog)->palette().color(QPalette::WindowText), brown);

  QPalette dark;
  dark.setColor(QPalette::Window, QColor(35, 35, 38));
  dialog->setPalette(dark);
  const QColor on_dark = TrialsLabel(*dialog)->palette().color(QPalette::WindowText);
  QVERIFY(on_dark.lightnessF() > 0.5);
  QCOMPARE(on_dark.hue(), brown.hue());

  dialog->setPalette(light);
  QCOMPARE(TrialsLabel(*dialog)->palette().color(QPalette::WindowText), brown);
}

void AuthenticationDialogsTest::EveryControlHasAnAccessibleName() {
  std::vector<std::unique_ptr<CDlgAuthentication>> dialogs;
  dialogs.push_back(MakePin());
  dialogs.push_back(MakePuk());
  dialogs.push_back(MakeChangePin());
  for (const auto& dialog : dialogs) {
    QVERIFY(!dialog->accessibleName().isEmpty());
    for (QWidget* widget : dialog->findChildren<QWidget*>()) {
      if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QPushButton*>(widget) ||
          qobject_cast<QDialogButtonBox*>(widget)) {
        QVERIFY2(!widget->accessibleName().isEmpty(), qPrintable(widget->objectName()));
      } else if (auto* label = qobject_cast<QLabel*>(widget); label && label != TrialsLabel(*dialog)) {
        QVERIFY(!label->text().isEmpty());
        QVERIFY(label->buddy() != nullptr);  // screen readers name the field after it
      }
    }
  }
}

void AuthenticationDialogsTest::NoCodeReachesTheLog() {
  testing_support::LogCapture log(kXLogTrace);
  auto pin = MakePin();
  pin->Open(CDlgPin::kModeEnter, 3, true);
  QTest::keyClicks(Field(*pin, "pin"), QStringLiteral("9753"));
  Ok(*pin)->click();
  pin->TakePin();
  auto puk = MakePuk();
  puk->Open(10, true, false);
  QTest::keyClicks(Field(*puk, "puk"), QStringLiteral("86429753"));
  QTest::keyClicks(Field(*puk, "new_pin"), QStringLiteral("1357"));
  QTest::keyClicks(Field(*puk, "confirm_pin"), QStringLiteral("1358"));
  Ok(*puk)->click();
  Field(*puk, "confirm_pin")->setText(QStringLiteral("1357"));
  Ok(*puk)->click();
  Posted();
  QVERIFY(!log.Lines().empty());  // the dialogs did log their steps
  for (const char* code : {"9753", "8642", "1357", "1358"}) QVERIFY2(!log.Contains(code), code);
}

int RunAuthenticationDialogsTest(int argc, char** argv) {
  AuthenticationDialogsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "authentication_dialogs_test.moc"

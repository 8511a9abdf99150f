#include "app/ui/dlg_new_sms_message.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <algorithm>
#include <cstring>
#include <memory>

#include "app/app_messages.h"
#include "app/settings.h"
#include "app/sms_text_rules.h"
#include "app/string_loader.h"
#include "app/text_util.h"
#include "app/ui/qt_text.h"
#include "app/ui/main_window_texts.h"
#include "app/ui/sms_input_fields.h"
#include "devicelib/valid_char.h"
#include "foundation/xlog.h"

using namespace app_messages;

namespace {

constexpr unsigned kCounterStringId = 1049;
constexpr unsigned kUnicodeLengthStringId = 212;
constexpr unsigned kNonUnicodeStringId = 213;


}  // namespace

CDlgNewSmsMessage::CDlgNewSmsMessage(platform::HWND main_window, CSettings& settings, AskFunction ask,
                                     QWidget* parent)
    : QDialog(parent), main_window_(main_window), settings_(settings), ask_(std::move(ask)), index_(kSmsNotOnSim) {
  values_ = CachedDravik::Instance().Snapshot();
  BuildLayout();
  QObject::connect(send_, &QAction::triggered, this, [this] { Send(); });
  QObject::connect(save_, &QAction::triggered, this, [this] { Save(); });
  QObject::connect(recipient_, &QLineEdit::textChanged, this, [this] { UpdateToolBar(); });
  QObject::connect(message_, &QPlainTextEdit::textChanged, this, [this] { OnMessageChanged(); });
  QObject::connect(unicode_, &QCheckBox::toggled, this, [this](bool checked) { OnUnicodeToggled(checked); });
}

QString CDlgNewSmsMessage::Recipient() const { return recipient_->text(); }
QString CDlgNewSmsMessage::Text() const { return message_->Text(); }
bool CDlgNewSmsMessage::Unicode() const { return message_->Unicode(); }
bool CDlgNewSmsMessage::DeliveryReport() const { return delivery_report_->isChecked(); }

bool CDlgNewSmsMessage::Ask(const QString& text) {
  if (ask_) return ask_(text);
  QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok | QMessageBox::Cancel, this);
  box.setDefaultButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

bool CDlgNewSmsMessage::CheckText(std::u16string& text, bool unicode) {
  std::u16string checked = sms_text::DropUncodable(text, unicode);
  if (checked != text && !Ask(ProgramText(kNonUnicodeStringId))) return false;
  const std::u16string shortened = sms_text::Shorten(checked, unicode);
  if (shortened != checked && !Ask(ProgramText(kUnicodeLengthStringId))) return false;
  text = shortened;
  return true;
}

bool CDlgNewSmsMessage::Open(const QString& title, std::u16string_view recipient, std::u16string_view text,
                             uint32_t index) {
  const bool unicode = settings_.SmsUnicode != 0;
  std::u16string checked = sms_text::WithLineFeeds(text);
  if (!CheckText(checked, unicode)) {
    XLogLevel(kXLogTrace, "CDlgNewSmsMessage::Open, the text check was refused.");
    return false;
  }
  values_ = CachedDravik::Instance().Snapshot();
  opened_recipient_ = std::u16string(recipient);
  opened_text_ = sms_text::WithLineFeeds(text);
  index_ = index;

  rewriting_ = true;
  unicode_->blockSignals(true);
  unicode_->setChecked(unicode);
  unicode_->blockSignals(false);
  message_->SetUnicode(unicode);
  delivery_report_->setChecked(settings_.SmsDeliveryReport != 0);
  setWindowTitle(title);
  recipient_->SetRecipient(ToQString(recipient));
  // A fresh text: nothing of an earlier message to undo into.
  message_->setPlainText(ToQString(checked));
  rewriting_ = false;
  UpdateCounter();
  UpdateToolBar();

  show();
  raise();
  activateWindow();
  QWidget* focus = recipient.empty() ? static_cast<QWidget*>(recipient_) : static_cast<QWidget*>(message_);
  focus->setFocus();
  if (focus == message_) message_->moveCursor(QTextCursor::End);
  return true;
}

void CDlgNewSmsMessage::OnSmsNews(uintptr_t /*code*/) {
  values_ = CachedDravik::Instance().Snapshot();
  if (index_ != kSmsNotOnSim) {
    // The draft was deleted (and its slot maybe taken by another message):
    // saving must not replace whatever is there now.
    const SmsMessage* held = values_.SmsStore->FindByIndex(index_);
    const bool still_the_draft = held != nullptr && held->StorageStatus == kSmsStorageStoredUnsent &&
                                 SmsField(held->Address) == opened_recipient_ &&
                                 sms_text::WithLineFeeds(SmsField(held->Text)) == opened_text_;
    if (!still_the_draft) {
      XLogLevel(kXLogTrace, "CDlgNewSmsMessage::OnSmsNews, slot %d no longer holds the draft.",
                static_cast<int>(index_));
      index_ = kSmsNotOnSim;
    }
  }
  UpdateToolBar();
}

void CDlgNewSmsMessage::OnUnicodeToggled(bool unicode) {
  std::u16string text = ToU16(message_->Text());
  if (!CheckText(text, unicode)) {
    unicode_->blockSignals(true);
    unicode_->setChecked(!unicode);
    unicode_->blockSignals(false);
    return;
  }
  message_->SetUnicode(unicode);
  if (ToQString(text) != message_->Text()) message_->ReplaceText(ToQString(text));
  UpdateCounter();
  UpdateToolBar();
}

void CDlgNewSmsMessage::OnMessageChanged() {
  if (rewriting_) return;
  // What the input rules could not stop (an undo into a text of the other
  // coding, say) is brought within the message here, without questions.
  const std::u16string text = ToU16(message_->Text());
  const std::u16string conformed = sms_text::Conform(text, message_->Unicode());
  if (conformed != text) {
    rewriting_ = true;
    message_->ReplaceText(ToQString(conformed));
    rewriting_ = false;
  }
  UpdateCounter();
  UpdateToolBar();
}

void CDlgNewSmsMessage::UpdateCounter() {
  const int remaining = sms_text::Remaining(ToU16(message_->Text()), message_->Unicode());
  const std::u16string text = app_text::ReplaceFirst(LoadProgramString(kCounterStringId), u"%d",
                                                     app_text::Decimal(static_cast<uint32_t>(std::max(remaining, 0))));
  counter_->setText(ToQString(text));
}

bool CDlgNewSmsMessage::CanSend() const {
  const std::u16string recipient = ToU16(recipient_->text());
  return values_.SimInserted != 0 && !recipient.empty() && sms_text::IsRecipient(recipient) &&
         !message_->Text().isEmpty();
}

bool CDlgNewSmsMessage::CanSave() const {
  return CanSend() && (index_ == kSmsNotOnSim || ToU16(recipient_->text()) != opened_recipient_ ||
                       ToU16(message_->Text()) != opened_text_);
}

void CDlgNewSmsMessage::UpdateToolBar() {
  send_->setEnabled(CanSend());
  save_->setEnabled(CanSave());
}

void CDlgNewSmsMessage::Send() {
  if (CanSend()) Submit(SmsOperationSend);
}

void CDlgNewSmsMessage::Save() {
  if (CanSave()) Submit(SmsOperationSave);
}

void CDlgNewSmsMessage::Submit(uintptr_t operation) {
  const bool unicode = message_->Unicode();
  auto record = std::make_unique<SmsMessage>();
  std::memset(record.get(), 0, sizeof(SmsMessage));
  record->Stored = 1;
  record->MessageType = kSmsMessageTypeSubmit;
  record->Index = index_;
  record->StorageStatus = kSmsStorageStoredUnsent;
  record->Alphabet = unicode ? kDvAlphabetUcs2 : kDvAlphabetGsm7Bit;
  record->Validity = 255;
  record->StatusReportRequest = delivery_report_->isChecked() ? 1 : 0;
  SetSmsField(record->Address, ToU16(recipient_->text()));
  SetSmsField(record->ServiceCentre, CachedDravik::Instance().Snapshot().SmsStore->ServiceCentre());
  SetSmsField(record->Text, sms_text::Conform(sms_text::WithLineFeeds(ToU16(message_->Text())), unicode));
  XLogLevel(kXLogTrace, "CDlgNewSmsMessage::Submit, %d, [%d].", static_cast<int>(operation),
            static_cast<int>(index_));
  if (platform::PostMessage(main_window_, WM_APP_SMS_OPERATION, operation, reinterpret_cast<intptr_t>(record.get()))) {
    record.release();
  } else {
    XLogLevel(kXLogError, "CDlgNewSmsMessage::Submit, PostMessage: NOK.");
  }
  settings_.SetSmsUnicode(unicode);
  if ((settings_.SmsDeliveryReport != 0) != delivery_report_->isChecked()) {
    settings_.SetSmsDeliveryReport(delivery_report_->isChecked());
  }
  hide();
}

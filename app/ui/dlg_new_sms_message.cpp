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
#include "app/sms_draft.h"
#include "app/sms_text_rules.h"
#include "app/string_loader.h"
#include "app/text_util.h"
#include "app/ui/qt_text.h"
#include "app/ui/main_window_texts.h"
#include "app/ui/sms_input_fields.h"
#include "devicelib/sms_text_split.h"
#include "devicelib/valid_char.h"
#include "foundation/xlog.h"

using namespace app_messages;

namespace {

constexpr unsigned kNonUnicodeStringId = 213;
constexpr unsigned kTooLongStringId = 1203;


}  // namespace

CDlgNewSmsMessage::CDlgNewSmsMessage(platform::HWND main_window, CSettings& settings, AskFunction ask,
                                     QWidget* parent)
    : QDialog(parent), main_window_(main_window), settings_(settings), ask_(std::move(ask)) {
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
  const std::u16string shortened = sms_text::ShortenToLongest(checked, unicode);
  if (shortened != checked) {
    const std::u16string question = app_text::ReplaceFirst(
        LoadProgramString(kTooLongStringId), u"%d", app_text::Decimal(static_cast<uint32_t>(SMS::kMaxConcatenatedParts)));
    if (!Ask(ToQString(question))) return false;
  }
  text = shortened;
  return true;
}

bool CDlgNewSmsMessage::Open(const QString& title, std::u16string_view recipient, std::u16string_view text,
                             std::vector<SmsMessage> draft) {
  const bool unicode = settings_.SmsUnicode != 0;
  std::u16string checked = sms_text::WithLineFeeds(text);
  if (!CheckText(checked, unicode)) {
    XLogLevel(kXLogTrace, "CDlgNewSmsMessage::Open, the text check was refused.");
    return false;
  }
  values_ = CachedDravik::Instance().Snapshot();
  opened_recipient_ = std::u16string(recipient);
  opened_text_ = sms_text::WithLineFeeds(text);
  draft_ = std::move(draft);

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
  // A part of the draft was deleted (and its slot maybe taken by another
  // message): saving must not replace whatever is there now, so the text is
  // saved as a new message.
  const bool still_the_draft = std::all_of(draft_.begin(), draft_.end(), [&](const SmsMessage& part) {
    const SmsMessage* held = values_.SmsStore->FindByIndex(part.Index);
    return held != nullptr && held->StorageStatus == kSmsStorageStoredUnsent && CSmsMessages::SameMessage(*held, part);
  });
  if (!still_the_draft) {
    XLogLevel(kXLogTrace, "CDlgNewSmsMessage::OnSmsNews, slot %d no longer holds the draft.", static_cast<int>(Index()));
    draft_.clear();
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
  const std::u16string conformed = sms_text::ConformLong(text, message_->Unicode());
  if (conformed != text) {
    rewriting_ = true;
    message_->ReplaceText(ToQString(conformed));
    rewriting_ = false;
  }
  UpdateCounter();
  UpdateToolBar();
}

void CDlgNewSmsMessage::UpdateCounter() {
  counter_->setText(ToQString(sms_text::CounterText(ToU16(message_->Text()), message_->Unicode())));
}

bool CDlgNewSmsMessage::CanSend() const {
  const std::u16string recipient = ToU16(recipient_->text());
  return values_.SimInserted != 0 && !recipient.empty() && sms_text::IsRecipient(recipient) &&
         !message_->Text().isEmpty();
}

bool CDlgNewSmsMessage::CanSave() const {
  return CanSend() && (draft_.empty() || ToU16(recipient_->text()) != opened_recipient_ ||
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
  auto draft = std::make_unique<SmsDraft>();
  SmsMessage& record = draft->message;
  record.Stored = 1;
  record.MessageType = kSmsMessageTypeSubmit;
  record.Index = kSmsNotOnSim;
  record.StorageStatus = kSmsStorageStoredUnsent;
  record.Alphabet = unicode ? kDvAlphabetUcs2 : kDvAlphabetGsm7Bit;
  record.Validity = 255;
  record.StatusReportRequest = delivery_report_->isChecked() ? 1 : 0;
  SetSmsField(record.Address, ToU16(recipient_->text()));
  SetSmsField(record.ServiceCentre, CachedDravik::Instance().Snapshot().SmsStore->ServiceCentre());
  draft->text = sms_text::ConformLong(ToU16(message_->Text()), unicode);
  draft->replaces = draft_;
  XLogLevel(kXLogTrace, "CDlgNewSmsMessage::Submit, %d, [%d].", static_cast<int>(operation), static_cast<int>(Index()));
  const uintptr_t text_operation = operation == SmsOperationSend ? SmsOperationSendText : SmsOperationSaveText;
  if (platform::PostMessage(main_window_, WM_APP_SMS_OPERATION, text_operation, reinterpret_cast<intptr_t>(draft.get()))) {
    draft.release();
  } else {
    XLogLevel(kXLogError, "CDlgNewSmsMessage::Submit, PostMessage: NOK.");
  }
  settings_.SetSmsUnicode(unicode);
  if ((settings_.SmsDeliveryReport != 0) != delivery_report_->isChecked()) {
    settings_.SetSmsDeliveryReport(delivery_report_->isChecked());
  }
  hide();
}

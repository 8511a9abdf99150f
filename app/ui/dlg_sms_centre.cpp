#include "app/ui/dlg_sms_centre.h"

#include <QAction>
#include <QActionGroup>
#include <QDateTime>
#include <QEvent>
#include <QHeaderView>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <algorithm>
#include <memory>
#include <optional>

#include "app/app_messages.h"
#include "app/sms_text_rules.h"
#include "app/string_loader.h"
#include "app/text_util.h"
#include "app/ui/qt_text.h"
#include "app/ui/dlg_new_sms_message.h"
#include "app/ui/main_window_texts.h"
#include "foundation/xlog.h"

using namespace app_messages;

namespace {

constexpr unsigned kSenderStringId = 194;
constexpr unsigned kRecipientStringId = 195;
constexpr unsigned kDateStringId = 196;
constexpr unsigned kNewTitleStringId = 197;
constexpr unsigned kReplyTitleStringId = 198;
constexpr unsigned kForwardTitleStringId = 199;
constexpr unsigned kDraftTitleStringId = 210;
constexpr unsigned kDeleteQuestionStringId = 211;
constexpr int kSenderColumnWidth = 125;
constexpr unsigned kDeliveryStringId = 1160;
constexpr unsigned kPendingStringId = 1161;
constexpr unsigned kDeliveredStringId = 1162;
constexpr unsigned kFailedStringId = 1163;
constexpr unsigned kPendingBecauseStringId = 1184;


// The time stamp in local time: the user's short date and the time without
// seconds in 24-hour form.
QString DateText(uint64_t time_stamp) {
  if (time_stamp == 0) return {};
  const QDateTime local = QDateTime::fromSecsSinceEpoch(sms_text::TimeStampToUnixSeconds(time_stamp)).toLocalTime();
  return QLocale().toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
         local.time().toString(QStringLiteral("HH:mm"));
}

QString WithValue(unsigned id, const QString& value) {
  return ToQString(app_text::ReplaceFirst(LoadProgramString(id), u"%s", ToU16(value)));
}

// The Sent folder's delivery column: empty for a message that asked for no
// report.
QString DeliveryText(const std::optional<SmsDelivery>& delivery) {
  if (!delivery) return {};
  const unsigned reason = sms_text::DeliveryStatusOf(delivery->status).reason;
  const QString why = reason != 0 ? ProgramText(reason) : QString();
  switch (delivery->state) {
    case SmsDelivery::Delivered: {
      const QString text = WithValue(kDeliveredStringId, DateText(delivery->time)).trimmed();
      return why.isEmpty() ? text : text + QStringLiteral(" (") + why + QLatin1Char(')');
    }
    case SmsDelivery::Failed:
      return WithValue(kFailedStringId, why);
    case SmsDelivery::Pending:
      break;
  }
  return delivery->reported && !why.isEmpty() ? WithValue(kPendingBecauseStringId, why)
                                              : ProgramText(kPendingStringId);
}

// Red on a light list; on a dark one a lighter red that stays readable.
QColor UnreadColour(const QColor& base) {
  return base.lightnessF() < 0.5 ? QColor(CDlgSmsCentre::kUnreadRed, 110, 110) : QColor(CDlgSmsCentre::kUnreadRed, 0, 0);
}

}  // namespace

CDlgSmsCentre::CDlgSmsCentre(platform::HWND main_window, CSettings& settings, AskFunction ask, QWidget* parent)
    : QDialog(parent), main_window_(main_window), settings_(settings), ask_(std::move(ask)) {
  values_ = CachedDravik::Instance().Snapshot();
  BuildLayout();
  QObject::connect(new_, &QAction::triggered, this, [this] { New(); });
  QObject::connect(reply_, &QAction::triggered, this, [this] { Reply(); });
  QObject::connect(forward_, &QAction::triggered, this, [this] { Forward(); });
  QObject::connect(delete_, &QAction::triggered, this, [this] { Delete(); });
  QObject::connect(inbox_, &QAction::triggered, this, [this] { ShowFolder(CSmsMessages::FolderInbox); });
  QObject::connect(sent_, &QAction::triggered, this, [this] { ShowFolder(CSmsMessages::FolderSent); });
  QObject::connect(unsent_, &QAction::triggered, this, [this] { ShowFolder(CSmsMessages::FolderUnsent); });
  QObject::connect(list_, &QTreeWidget::currentItemChanged, this,
                   [this](QTreeWidgetItem* current, QTreeWidgetItem* previous) { OnCurrentChanged(current, previous); });
  QObject::connect(list_, &QTreeWidget::itemDoubleClicked, this,
                   [this](QTreeWidgetItem* item, int) { OnRowActivated(item->data(0, Qt::UserRole).toInt()); });
  Fill();
}

CDlgNewSmsMessage* CDlgSmsCentre::Editor() const { return editor_.data(); }

bool CDlgSmsCentre::Ask(const QString& text) {
  if (ask_) return ask_(text);
  QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok | QMessageBox::Cancel, this);
  box.setDefaultButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

void CDlgSmsCentre::Open() {
  ShowFolder(CSmsMessages::FolderInbox);
  show();
  raise();
  activateWindow();
}

void CDlgSmsCentre::OnSmsNews(uintptr_t code) {
  Fill();
  if (editor_) editor_->OnSmsNews(code);
}

void CDlgSmsCentre::ShowFolder(CSmsMessages::Folder folder) {
  folder_ = folder;
  Fill();
}

void CDlgSmsCentre::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) StyleRows();
}

// --- the list ----------------------------------------------------------------

void CDlgSmsCentre::Fill() {
  values_ = CachedDravik::Instance().Snapshot();
  const CSmsMessages& store = *values_.SmsStore;
  // Read marks of messages still in the store, and only those.
  std::erase_if(read_, [&](const SmsMessage& read) {
    const SmsMessage* held = store.FindByIndex(read.Index);
    return held == nullptr || !CSmsMessages::SameMessage(*held, read);
  });

  filling_ = true;
  preview_->clear();
  list_->clear();
  const bool inbox = folder_ == CSmsMessages::FolderInbox;
  if (inbox) {
    list_->setColumnCount(2);
    list_->setHeaderLabels({ProgramText(kSenderStringId), ProgramText(kDateStringId)});
    list_->header()->resizeSection(0, kSenderColumnWidth);
  } else if (folder_ == CSmsMessages::FolderSent) {
    list_->setColumnCount(2);
    list_->setHeaderLabels({ProgramText(kRecipientStringId), ProgramText(kDeliveryStringId)});
    list_->header()->resizeSection(0, kSenderColumnWidth);
  } else {
    list_->setColumnCount(1);
    list_->setHeaderLabels({ProgramText(kRecipientStringId)});
  }
  entries_ = store.Entries(folder_);
  rows_.clear();
  QList<QTreeWidgetItem*> items;
  for (size_t i = 0; i < entries_.size(); ++i) {
    SmsEntry& entry = entries_[i];
    for (SmsMessage& part : entry.parts) {
      if (part.StorageStatus == kSmsStorageReceivedUnread && IsMarkedRead(part)) {
        part.StorageStatus = kSmsStorageReceivedRead;
      }
    }
    rows_.push_back(entry.First());
    auto* item = new QTreeWidgetItem();
    item->setText(0, ToQString(SmsField(entry.First().Address)));
    if (inbox) item->setText(1, DateText(entry.time_stamp));
    if (folder_ == CSmsMessages::FolderSent) item->setText(1, DeliveryText(store.Delivery(entry)));
    if (!entry.missing.empty()) {
      // Beside what the column says: a message waiting for parts.
      const int column = NoteColumn();
      const QString note = ToQString(sms_text::MissingPartsText(entry.missing, entry.total));
      const QString before = item->text(column);
      item->setText(column, before.isEmpty() ? note : before + QStringLiteral(" \u2014 ") + note);
      item->setToolTip(column, note);
    }
    item->setData(0, Qt::UserRole, static_cast<int>(i));
    items.push_back(item);
  }
  list_->addTopLevelItems(items);
  StyleRows();
  if (!items.empty()) {
    list_->setCurrentItem(items.front());
    items.front()->setSelected(true);
  }
  filling_ = false;
  busy_->setVisible(store.Reading());
  UpdateToolBars();
}

void CDlgSmsCentre::StyleRows() {
  // The window's own palette: on a palette change it hears of it before its
  // list does.
  const QColor red = UnreadColour(palette().color(QPalette::Base));
  QFont unread_font = list_->font();
  unread_font.setWeight(QFont::DemiBold);
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(i);
    const int row = item->data(0, Qt::UserRole).toInt();
    const bool known = row >= 0 && static_cast<size_t>(row) < entries_.size();
    const bool unread = known && entries_[static_cast<size_t>(row)].Unread();
    const std::optional<SmsDelivery> delivery =
        known && folder_ == CSmsMessages::FolderSent ? values_.SmsStore->Delivery(entries_[static_cast<size_t>(row)])
                                                     : std::nullopt;
    const bool failed = delivery && delivery->state == SmsDelivery::Failed;
    for (int column = 0; column < list_->columnCount(); ++column) {
      if (failed && column == 1) {
        item->setForeground(column, red);
        item->setData(column, Qt::FontRole, QVariant());
      } else if (unread) {
        item->setForeground(column, red);
        item->setFont(column, unread_font);
      } else {
        item->setData(column, Qt::ForegroundRole, QVariant());
        item->setData(column, Qt::FontRole, QVariant());
      }
    }
  }
}

int CDlgSmsCentre::SelectedRow() const {
  const QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr || !item->isSelected()) return -1;
  const int row = item->data(0, Qt::UserRole).toInt();
  return row >= 0 && static_cast<size_t>(row) < entries_.size() ? row : -1;
}

int CDlgSmsCentre::NoteColumn() const { return folder_ == CSmsMessages::FolderUnsent ? 0 : 1; }

void CDlgSmsCentre::OnCurrentChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
  const int row = current != nullptr ? current->data(0, Qt::UserRole).toInt() : -1;
  if (row >= 0 && static_cast<size_t>(row) < entries_.size()) {
    const SmsEntry& entry = entries_[static_cast<size_t>(row)];
    QString text = ToQString(sms_text::WithLineFeeds(entry.text));
    if (!entry.missing.empty()) {
      text = QLatin1Char('(') + ToQString(sms_text::MissingPartsText(entry.missing, entry.total)) +
             QStringLiteral(")\n\n") + text;
    }
    preview_->setPlainText(text);
  } else {
    preview_->clear();
  }
  // The message the user leaves has been read.
  if (!filling_ && previous != nullptr) MarkRead(previous->data(0, Qt::UserRole).toInt());
  UpdateToolBars();
}

bool CDlgSmsCentre::IsMarkedRead(const SmsMessage& message) const {
  return std::any_of(read_.begin(), read_.end(),
                     [&](const SmsMessage& read) { return CSmsMessages::SameMessage(read, message); });
}

void CDlgSmsCentre::MarkRead(int row) {
  if (row < 0 || static_cast<size_t>(row) >= entries_.size()) return;
  SmsEntry& entry = entries_[static_cast<size_t>(row)];
  if (!entry.Unread()) return;
  for (SmsMessage& part : entry.parts) {
    if (part.StorageStatus != kSmsStorageReceivedUnread) continue;
    part.StorageStatus = kSmsStorageReceivedRead;
    read_.push_back(part);
  }
  rows_[static_cast<size_t>(row)] = entry.First();
  StyleRows();
  platform::PostMessage(main_window_, WM_APP_SMS, SmsNewsMarkedRead, 0);
}

void CDlgSmsCentre::UpdateToolBars() {
  const bool sim = SimPresent();
  const bool selected = SelectedRow() >= 0;
  new_->setEnabled(sim);
  reply_->setEnabled(sim && selected && folder_ != CSmsMessages::FolderUnsent);
  forward_->setEnabled(sim && selected);
  delete_->setEnabled(sim && selected);
  for (QAction* folder : {inbox_, sent_, unsent_}) folder->setEnabled(sim);
  inbox_->setChecked(folder_ == CSmsMessages::FolderInbox);
  sent_->setChecked(folder_ == CSmsMessages::FolderSent);
  unsent_->setChecked(folder_ == CSmsMessages::FolderUnsent);
}

// --- commands ----------------------------------------------------------------

void CDlgSmsCentre::OpenEditor(unsigned title, std::u16string_view recipient, std::u16string_view text,
                               std::vector<SmsMessage> draft) {
  if (!editor_) editor_ = new CDlgNewSmsMessage(main_window_, settings_, ask_, this);
  editor_->Open(ProgramText(title), recipient, text, std::move(draft));
}

void CDlgSmsCentre::New() {
  if (!SimPresent()) return;
  OpenEditor(kNewTitleStringId, u"", u"");
}

void CDlgSmsCentre::Reply() {
  const int row = SelectedRow();
  if (!SimPresent() || row < 0 || folder_ == CSmsMessages::FolderUnsent) return;
  OpenEditor(kReplyTitleStringId, SmsField(entries_[static_cast<size_t>(row)].First().Address), u"");
}

void CDlgSmsCentre::Forward() {
  const int row = SelectedRow();
  if (!SimPresent() || row < 0) return;
  OpenEditor(kForwardTitleStringId, u"", entries_[static_cast<size_t>(row)].text);
}

void CDlgSmsCentre::Delete() {
  const int row = SelectedRow();
  if (!SimPresent() || row < 0) return;
  // Copies: the list may be filled afresh while the question waits. Every
  // part goes on its own, and only from a slot that still holds it.
  const std::vector<SmsMessage> doomed = entries_[static_cast<size_t>(row)].parts;
  if (!Ask(ProgramText(kDeleteQuestionStringId))) return;
  for (const SmsMessage& part : doomed) {
    auto record = std::make_unique<SmsMessage>(part);
    if (platform::PostMessage(main_window_, WM_APP_SMS_OPERATION, SmsOperationDelete,
                              reinterpret_cast<intptr_t>(record.get()))) {
      record.release();
    } else {
      XLogLevel(kXLogError, "CDlgSmsCentre::OnDelete, PostMessage: NOK.");
    }
  }
}

void CDlgSmsCentre::OnRowActivated(int row) {
  if (!SimPresent() || folder_ != CSmsMessages::FolderUnsent || row < 0 || static_cast<size_t>(row) >= entries_.size()) {
    return;
  }
  const SmsEntry& draft = entries_[static_cast<size_t>(row)];
  OpenEditor(kDraftTitleStringId, SmsField(draft.First().Address), draft.text, draft.parts);
}

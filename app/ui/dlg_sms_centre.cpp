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
QString DeliveryText(const SmsDelivery* delivery) {
  if (delivery == nullptr) return {};
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
  rows_ = store.Rows(folder_);
  QList<QTreeWidgetItem*> items;
  for (size_t i = 0; i < rows_.size(); ++i) {
    SmsMessage& row = rows_[i];
    if (row.StorageStatus == kSmsStorageReceivedUnread && IsMarkedRead(row)) row.StorageStatus = kSmsStorageReceivedRead;
    auto* item = new QTreeWidgetItem();
    item->setText(0, ToQString(SmsField(row.Address)));
    if (inbox) item->setText(1, DateText(row.TimeStamp));
    if (folder_ == CSmsMessages::FolderSent) item->setText(1, DeliveryText(store.Delivery(row.Index)));
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
    const bool known = row >= 0 && static_cast<size_t>(row) < rows_.size();
    const bool unread = known && rows_[static_cast<size_t>(row)].StorageStatus == kSmsStorageReceivedUnread;
    const SmsDelivery* delivery =
        known && folder_ == CSmsMessages::FolderSent ? values_.SmsStore->Delivery(rows_[static_cast<size_t>(row)].Index)
                                                     : nullptr;
    const bool failed = delivery != nullptr && delivery->state == SmsDelivery::Failed;
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
  return row >= 0 && static_cast<size_t>(row) < rows_.size() ? row : -1;
}

void CDlgSmsCentre::OnCurrentChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
  const int row = current != nullptr ? current->data(0, Qt::UserRole).toInt() : -1;
  if (row >= 0 && static_cast<size_t>(row) < rows_.size()) {
    preview_->setPlainText(ToQString(sms_text::WithLineFeeds(SmsField(rows_[static_cast<size_t>(row)].Text))));
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
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
  SmsMessage& message = rows_[static_cast<size_t>(row)];
  if (message.StorageStatus != kSmsStorageReceivedUnread) return;
  message.StorageStatus = kSmsStorageReceivedRead;
  read_.push_back(message);
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
                               uint32_t index) {
  if (!editor_) editor_ = new CDlgNewSmsMessage(main_window_, settings_, ask_, this);
  editor_->Open(ProgramText(title), recipient, text, index);
}

void CDlgSmsCentre::New() {
  if (!SimPresent()) return;
  OpenEditor(kNewTitleStringId, u"", u"", kSmsNotOnSim);
}

void CDlgSmsCentre::Reply() {
  const int row = SelectedRow();
  if (!SimPresent() || row < 0 || folder_ == CSmsMessages::FolderUnsent) return;
  OpenEditor(kReplyTitleStringId, SmsField(rows_[static_cast<size_t>(row)].Address), u"", kSmsNotOnSim);
}

void CDlgSmsCentre::Forward() {
  const int row = SelectedRow();
  if (!SimPresent() || row < 0) return;
  OpenEditor(kForwardTitleStringId, u"", SmsField(rows_[static_cast<size_t>(row)].Text), kSmsNotOnSim);
}

void CDlgSmsCentre::Delete() {
  const int row = SelectedRow();
  if (!SimPresent() || row < 0) return;
  // A copy: the list may be filled afresh while the question waits.
  const SmsMessage doomed = rows_[static_cast<size_t>(row)];
  if (!Ask(ProgramText(kDeleteQuestionStringId))) return;
  auto record = std::make_unique<SmsMessage>(doomed);
  if (platform::PostMessage(main_window_, WM_APP_SMS_OPERATION, SmsOperationDelete,
                            reinterpret_cast<intptr_t>(record.get()))) {
    record.release();
  } else {
    XLogLevel(kXLogError, "CDlgSmsCentre::OnDelete, PostMessage: NOK.");
  }
}

void CDlgSmsCentre::OnRowActivated(int row) {
  if (!SimPresent() || folder_ != CSmsMessages::FolderUnsent || row < 0 || static_cast<size_t>(row) >= rows_.size()) {
    return;
  }
  const SmsMessage& draft = rows_[static_cast<size_t>(row)];
  OpenEditor(kDraftTitleStringId, SmsField(draft.Address), SmsField(draft.Text), draft.Index);
}

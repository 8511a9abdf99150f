// The controls and places of the SMS centre and the SMS editor. The centre:
// the commands' tool bar and the folders' tool bar in one row, the message
// list above the preview, and the busy line while the SIM is read. The
// editor: its tool bar, the recipient, the message, the counter and the
// coding's check box. Sizes follow the font; colours the desktop's palette.
#include <QAction>
#include <QActionGroup>
#include <QBoxLayout>
#include <QCheckBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>

#include "app/settings.h"
#include "app/sms_text_rules.h"
#include "app/string_loader.h"
#include "app/ui/dlg_new_sms_message.h"
#include "app/ui/qt_text.h"
#include "app/ui/dlg_sms_centre.h"
#include "app/ui/main_window_texts.h"
#include "app/ui/sms_input_fields.h"

namespace {

constexpr unsigned kCentreTitleStringId = 1039;
constexpr unsigned kEditorTitleStringId = 1040;
constexpr unsigned kListStringId = 1043;
constexpr unsigned kMessageStringId = 1044;
constexpr unsigned kReadingStringId = 1045;
constexpr unsigned kUnicodeStringId = 1052;
constexpr unsigned kDeliveryReportStringId = 1185;
constexpr unsigned kRecipientStringId = 195;


QToolBar* NewToolBar(QWidget* parent, const char* name) {
  auto* bar = new QToolBar(parent);
  bar->setObjectName(QString::fromLatin1(name));
  bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bar->setMovable(false);
  bar->setFloatable(false);
  return bar;
}

// A tool bar button: its name and its tip from the command's string.
QAction* AddAction(QToolBar* bar, unsigned command, QStyle::StandardPixmap icon, const char* name) {
  const std::u16string text = LoadProgramString(command);
  QAction* action = bar->addAction(bar->style()->standardIcon(icon), ToQString(sms_text::CommandName(text)));
  action->setObjectName(QString::fromLatin1(name));
  action->setToolTip(ToQString(sms_text::CommandTip(text)));
  return action;
}

}  // namespace

void CDlgSmsCentre::BuildLayout() {
  setWindowTitle(ProgramText(kCentreTitleStringId));
  setAccessibleName(windowTitle());
  setObjectName(QStringLiteral("sms_centre_window"));
  setSizeGripEnabled(true);
  const QFontMetrics metrics = fontMetrics();

  auto* root = new QVBoxLayout(this);
  auto* bars = new QHBoxLayout();
  commands_ = NewToolBar(this, "sms_commands");
  new_ = AddAction(commands_, kNewCommand, QStyle::SP_FileIcon, "sms_new");
  reply_ = AddAction(commands_, kReplyCommand, QStyle::SP_ArrowBack, "sms_reply");
  forward_ = AddAction(commands_, kForwardCommand, QStyle::SP_ArrowForward, "sms_forward");
  delete_ = AddAction(commands_, kDeleteCommand, QStyle::SP_TrashIcon, "sms_delete");
  bars->addWidget(commands_);
  bars->addStretch(1);
  folders_ = NewToolBar(this, "sms_folders");
  inbox_ = AddAction(folders_, kInboxCommand, QStyle::SP_DirOpenIcon, "sms_inbox");
  sent_ = AddAction(folders_, kSentCommand, QStyle::SP_DialogApplyButton, "sms_sent");
  unsent_ = AddAction(folders_, kUnsentCommand, QStyle::SP_FileDialogDetailedView, "sms_unsent");
  folder_group_ = new QActionGroup(this);
  for (QAction* folder : {inbox_, sent_, unsent_}) {
    folder->setCheckable(true);
    folder_group_->addAction(folder);
  }
  bars->addWidget(folders_);
  // Every button in sight: the bars never fold into their overflow menus.
  for (QToolBar* bar : {commands_, folders_}) bar->setMinimumWidth(bar->sizeHint().width());
  root->addLayout(bars);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->setChildrenCollapsible(false);
  list_ = new QTreeWidget(splitter);
  list_->setObjectName(QStringLiteral("sms_list"));
  list_->setAccessibleName(ProgramText(kListStringId));
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setAllColumnsShowFocus(true);
  list_->header()->setStretchLastSection(true);
  list_->header()->setSectionsMovable(false);
  preview_ = new QPlainTextEdit(splitter);
  preview_->setObjectName(QStringLiteral("sms_preview"));
  preview_->setAccessibleName(ProgramText(kMessageStringId));
  preview_->setReadOnly(true);
  splitter->addWidget(list_);
  splitter->addWidget(preview_);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  root->addWidget(splitter, 1);

  // While the worker reads the SIM's messages.
  busy_ = new QWidget(this);
  busy_->setObjectName(QStringLiteral("sms_busy"));
  auto* busy = new QHBoxLayout(busy_);
  busy->setContentsMargins(0, 0, 0, 0);
  auto* reading = new QLabel(ProgramText(kReadingStringId), busy_);
  busy->addWidget(reading);
  auto* progress = new QProgressBar(busy_);
  progress->setRange(0, 0);  // no end known: the bar shows activity
  progress->setTextVisible(false);
  progress->setAccessibleName(reading->text());
  progress->setMaximumHeight(metrics.height());
  busy->addWidget(progress, 1);
  busy_->hide();
  root->addWidget(busy_);

  resize(std::max(minimumSizeHint().width(), metrics.averageCharWidth() * 72), metrics.height() * 28);
}

void CDlgNewSmsMessage::BuildLayout() {
  setWindowTitle(ProgramText(kEditorTitleStringId));
  setObjectName(QStringLiteral("sms_editor_window"));
  setSizeGripEnabled(true);
  const QFontMetrics metrics = fontMetrics();

  auto* root = new QVBoxLayout(this);
  tool_bar_ = NewToolBar(this, "sms_editor_commands");
  send_ = AddAction(tool_bar_, kSendCommand, QStyle::SP_ArrowRight, "sms_send");
  save_ = AddAction(tool_bar_, kSaveCommand, QStyle::SP_DialogSaveButton, "sms_save");
  tool_bar_->setMinimumWidth(tool_bar_->sizeHint().width());
  root->addWidget(tool_bar_);

  auto* form = new QFormLayout();
  recipient_ = new SmsRecipientEdit(this);
  recipient_->setObjectName(QStringLiteral("sms_recipient"));
  auto* recipient_label = new QLabel(ProgramText(kRecipientStringId), this);
  recipient_label->setBuddy(recipient_);
  recipient_->setAccessibleName(recipient_label->text());
  recipient_->setMinimumWidth(metrics.averageCharWidth() * static_cast<int>(sms_text::kRecipientMax + 4));
  form->addRow(recipient_label, recipient_);
  root->addLayout(form);

  message_ = new SmsMessageEdit(this);
  message_->setObjectName(QStringLiteral("sms_text"));
  message_->setAccessibleName(ProgramText(kMessageStringId));
  // Room for a whole message of 160 characters without scrolling.
  message_->setMinimumSize(metrics.averageCharWidth() * 44, metrics.lineSpacing() * 6);
  root->addWidget(message_, 1);

  auto* bottom = new QHBoxLayout();
  unicode_ = new QCheckBox(ProgramText(kUnicodeStringId), this);
  unicode_->setObjectName(QStringLiteral("sms_unicode"));
  bottom->addWidget(unicode_);
  delivery_report_ = new QCheckBox(ProgramText(kDeliveryReportStringId), this);
  delivery_report_->setObjectName(QStringLiteral("sms_delivery_report"));
  bottom->addWidget(delivery_report_);
  bottom->addStretch(1);
  counter_ = new QLabel(this);
  counter_->setObjectName(QStringLiteral("sms_counter"));
  bottom->addWidget(counter_);
  root->addLayout(bottom);
  // Builds without the choice keep the coding of the setting.
  if (settings_.AllowSmsCharSetChange == 0) unicode_->hide();
}

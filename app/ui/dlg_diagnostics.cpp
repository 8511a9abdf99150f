#include "app/ui/dlg_diagnostics.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "app/app_messages.h"
#include "app/cached_dravik.h"
#include "app/string_loader.h"
#include "app/ui/qt_text.h"
#include "app/ui/main_window_texts.h"
#include "app/ui/window_placement.h"
#include "app/worker_thread.h"
#include "foundation/xlog.h"

using namespace app_messages;

namespace {

constexpr unsigned kItemColumnStringId = 154;
constexpr unsigned kValueColumnStringId = 155;
constexpr unsigned kFilterStringId = 189;
constexpr unsigned kSuffixStringId = 190;
constexpr unsigned kSaveFailedStringId = 1140;  // %s: the file
constexpr unsigned kBusyStringId = 1141;

constexpr int kIconSize = 16;
constexpr int kGroupWeight = 600;
// The list shows all its rows without scrolling.
constexpr int kShownRows = 19;
constexpr int kValueColumnChars = 34;



// Image 0 (group rows): a filled square in the group colour; image 1 (item
// rows): a small dot in the text colour.
QIcon RowIcon(bool group, const QColor& colour, qreal pixel_ratio) {
  QPixmap pixmap(QSize(kIconSize, kIconSize) * pixel_ratio);
  pixmap.setDevicePixelRatio(pixel_ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  if (group) {
    painter.drawRoundedRect(QRectF(2, 2, 12, 12), 2, 2);
  } else {
    painter.drawEllipse(QRectF(5.5, 5.5, 5, 5));
  }
  return QIcon(pixmap);
}

// The user's interface language, as the desktop's locale settings give it.
bool JapaneseUserInterface() {
  const QStringList languages = QLocale::system().uiLanguages();
  return !languages.isEmpty() && (languages.first() == QLatin1String("ja") ||
                                  languages.first().startsWith(QLatin1String("ja-")) ||
                                  languages.first().startsWith(QLatin1String("ja_")));
}

}  // namespace

CDlgDiagnostics::CDlgDiagnostics(platform::HWND main_window, QWidget* parent)
    : QDialog(parent), main_window_(main_window) {
  setObjectName(QStringLiteral("diagnosticsDialog"));
  setWindowTitle(QStringLiteral("Diagnostics"));
  Layout();
  UpdateButtons();
}

QColor CDlgDiagnostics::GroupColour(const QColor& background) {
  const QColor blue(kGroupRed, kGroupGreen, kGroupBlue);
  // On a dark background the dark blue would hardly read: the same hue,
  // lightened.
  return background.lightnessF() < 0.5 ? blue.lighter(250) : blue;
}

void CDlgDiagnostics::Layout() {
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("diagnostics_list"));
  list_->setAccessibleName(windowTitle());
  list_->setColumnCount(2);
  list_->setHeaderLabels({ProgramText(kItemColumnStringId), ProgramText(kValueColumnStringId)});
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setIconSize(QSize(kIconSize, kIconSize));
  list_->setAllColumnsShowFocus(true);
  list_->header()->setStretchLastSection(true);
  list_->header()->setSectionsMovable(false);
  list_->installEventFilter(this);

  // The item column is 150 pixels, or as wide as its longest title needs
  // in the desktop's font (semi-bold for the group titles), so no title is
  // cut.
  QFont group_font = list_->font();
  group_font.setWeight(static_cast<QFont::Weight>(kGroupWeight));
  const QFontMetrics item_metrics(list_->font());
  const QFontMetrics group_metrics(group_font);
  int widest = 0;
  for (const DiagnosticsRow& row : MakeDiagnosticsRows([] {
         CachedDravikValues ready;
         ready.DeviceState = CachedDravikValues::kDeviceReady;
         ready.ConnectionState = 2;
         ready.Traffic.Valid = true;  // the traffic rows' titles too
         return ready;
       }())) {
    widest = std::max(widest, (row.group ? group_metrics : item_metrics).horizontalAdvance(ToQString(row.item)));
  }
  const int padding = kIconSize + 4 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list_) +
                      item_metrics.averageCharWidth() * 3;
  const int item_width = std::max(kItemColumnWidth, widest + padding);
  list_->setColumnWidth(0, item_width);
  const int row_height = std::max(item_metrics.height(), kIconSize) + 3;
  list_->setMinimumSize(item_width + item_metrics.averageCharWidth() * kValueColumnChars,
                        list_->header()->sizeHint().height() + row_height * kShownRows + 2 * list_->frameWidth());

  // The busy indicator: while a run is in progress.
  busy_ = new QWidget(this);
  busy_->setObjectName(QStringLiteral("busy"));
  auto* busy_layout = new QHBoxLayout(busy_);
  busy_layout->setContentsMargins(0, 0, 0, 0);
  auto* bar = new QProgressBar(busy_);
  bar->setRange(0, 0);
  bar->setTextVisible(false);
  bar->setMaximumWidth(item_metrics.averageCharWidth() * 12);
  bar->setAccessibleName(ProgramText(kBusyStringId));
  busy_layout->addWidget(bar);
  auto* busy_text = new QLabel(ProgramText(kBusyStringId), busy_);
  busy_layout->addWidget(busy_text);
  busy_->hide();

  run_ = new QPushButton(QStringLiteral("&Run"), this);
  run_->setObjectName(QStringLiteral("run"));
  copy_ = new QPushButton(QStringLiteral("&Copy"), this);
  copy_->setObjectName(QStringLiteral("copy"));
  save_ = new QPushButton(QStringLiteral("&Save"), this);
  save_->setObjectName(QStringLiteral("save"));
  exit_ = new QPushButton(QStringLiteral("E&xit"), this);
  exit_->setObjectName(QStringLiteral("exit"));
  run_->setDefault(true);
  for (QPushButton* button : {run_, copy_, save_, exit_}) {
    button->setAutoDefault(false);
    button->setAccessibleName(button->text().remove(QLatin1Char('&')));
  }
  connect(run_, &QPushButton::clicked, this, [this] { OnRun(); });
  connect(copy_, &QPushButton::clicked, this, [this] { OnCopy(); });
  connect(save_, &QPushButton::clicked, this, [this] { OnSave(); });
  connect(exit_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(busy_);
  buttons->addStretch(1);
  buttons->addWidget(run_);
  buttons->addWidget(copy_);
  buttons->addWidget(save_);
  buttons->addWidget(exit_);
  auto* column = new QVBoxLayout(this);
  column->addWidget(list_, 1);
  column->addLayout(buttons);
}

void CDlgDiagnostics::ShowAndActivate() {
  if (!placed_) {
    CentreWindow(this);
    placed_ = true;
  }
  BringToForeground(this);
}

void CDlgDiagnostics::OnDiagnostics(uintptr_t news) {
  Fill(news == kDiagnosticsEnded ? MakeDiagnosticsRows(CachedDravik::Instance().Snapshot())
                                 : std::vector<DiagnosticsRow>());
  UpdateButtons();
}

void CDlgDiagnostics::UpdateButtons() {
  const bool ready = CachedDravik::Instance().Snapshot().DeviceState == CachedDravikValues::kDeviceReady;
  const bool running = CWorkerThread::DiagnosticsInProgress();
  run_->setEnabled(ready && !running);
  // A run that the worker drops because the device went away ends without
  // news of its own; the device event that took the device says enough.
  busy_->setVisible(ready && running);
  copy_->setEnabled(!rows_.empty());
  save_->setEnabled(!rows_.empty());
}

void CDlgDiagnostics::Fill(std::vector<DiagnosticsRow> rows) {
  rows_ = std::move(rows);
  list_->clear();
  for (const DiagnosticsRow& row : rows_) {
    auto* item = new QTreeWidgetItem(list_, {ToQString(row.item), ToQString(row.value)});
    item->setData(0, Qt::UserRole, row.group);
  }
  ApplyColours();
}

void CDlgDiagnostics::ApplyColours() {
  const QColor group_colour = GroupColour(list_->palette().color(QPalette::Base));
  const qreal ratio = devicePixelRatioF();
  const QIcon group_icon = RowIcon(true, group_colour, ratio);
  const QIcon item_icon = RowIcon(false, list_->palette().color(QPalette::Text), ratio);
  QFont group_font = list_->font();
  group_font.setWeight(static_cast<QFont::Weight>(kGroupWeight));
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(i);
    const bool group = item->data(0, Qt::UserRole).toBool();
    item->setIcon(0, group ? group_icon : item_icon);
    if (group) {
      item->setForeground(0, group_colour);
      item->setFont(0, group_font);
    }
  }
}

bool CDlgDiagnostics::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)) {
    ApplyColours();
  }
  return QDialog::eventFilter(watched, event);
}

QString CDlgDiagnostics::Text() const { return ToQString(MakeDiagnosticsText(rows_)); }

void CDlgDiagnostics::OnRun() {
  // The main window hands the request to the worker and tells this window
  // to show the run; until then "Run" takes no second click.
  run_->setEnabled(false);
  if (!platform::PostMessage(main_window_, WM_APP_DIAGNOSTICS, kDiagnosticsRun, 0)) UpdateButtons();
}

void CDlgDiagnostics::OnCopy() { QApplication::clipboard()->setText(Text()); }

void CDlgDiagnostics::OnSave() {
  const QString path = choose_file_ ? choose_file_() : AskFileName();
  if (!path.isEmpty()) SaveTo(path);
}

QString CDlgDiagnostics::AskFileName() {
  QStringList filters;
  for (const std::u16string& filter : SaveDialogFilters(ToU16(ProgramText(kFilterStringId)))) {
    filters.push_back(ToQString(filter));
  }
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(ToQString(SaveDialogSuffix(ToU16(ProgramText(kSuffixStringId)))));
  // Asking before an existing file is replaced is the dialog's default.
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

bool CDlgDiagnostics::SaveTo(const QString& path) {
  const std::string bytes = DiagnosticsFileBytes(ToU16(Text()), JapaneseUserInterface());
  // Written beside the old file and put in its place when complete, so a
  // failed write never leaves half a report; committing flushes it to disk.
  QSaveFile file(path);
  bool saved = file.open(QIODevice::WriteOnly);
  if (saved) saved = file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
  if (saved) {
    saved = file.commit();
  } else {
    file.cancelWriting();
  }
  if (!saved) {
    XLogLevel(kXLogError, "CDlgDiagnostics::OnBnClickedSave unable to open file [%s]", path.toUtf8().constData());
    QString text = ToQString(
        ReplaceFirstPlaceholder(ToU16(ProgramText(kSaveFailedStringId)), ToU16(QDir::toNativeSeparators(path))));
    if (!file.errorString().isEmpty()) text += QLatin1Char('\n') + file.errorString();
    Tell(text);
  }
  return saved;
}

void CDlgDiagnostics::Tell(const QString& text) {
  if (tell_) {
    tell_(text);
    return;
  }
  QMessageBox::warning(this, windowTitle(), text);
}

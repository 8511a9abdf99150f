#include "app/ui/about_box.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/settings.h"
#include "app/string_loader.h"
#include "app/ui/qt_text.h"
#include "app/ui/window_placement.h"

namespace {

constexpr unsigned kApplicationTitle = 57344;
// The title width the box holds without widening.
constexpr int kTitleRoom = 225;


QLabel* NewText(const QString& text, const char* name, const QString& accessible_name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAccessibleName(accessible_name);
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

}  // namespace

CAboutBox::CAboutBox(QWidget* parent)
    : CAboutBox(MakeAboutTexts(LoadProgramString(kApplicationTitle), CSettings::Instance().CompanyName,
                               ReadProgramVersion()),
                parent) {}

CAboutBox::CAboutBox(const AboutTexts& texts, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutBox"));
  setWindowTitle(ToQString(texts.title));
  Layout(texts);
}

int CAboutBox::TitleExcess(const QString& title) {
  // The desktop's title-bar font, as the platform theme gives it to Qt.
  const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
  const int width = metrics.horizontalAdvance(title);
  return width > kTitleRoom ? width - kTitleRoom : 0;
}

void CAboutBox::Layout(const AboutTexts& texts) {
  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("aboutIcon"));
  icon->setAccessibleName(QStringLiteral("Application icon"));
  const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  const QIcon window_icon = QApplication::windowIcon();
  if (!window_icon.isNull()) icon->setPixmap(window_icon.pixmap(size, size));

  QLabel* name = NewText(ToQString(texts.name), "applicationName", QStringLiteral("Application name"), this);
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  QLabel* version = NewText(ToQString(texts.version), "version", QStringLiteral("Version"), this);
  QLabel* company = NewText(ToQString(texts.company_line), "company", QStringLiteral("Company"), this);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setObjectName(QStringLiteral("okButton"));
  ok_->setAccessibleName(QStringLiteral("OK"));
  ok_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* lines = new QVBoxLayout;
  lines->addWidget(name);
  lines->addWidget(version);
  lines->addWidget(company);
  lines->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(lines, 1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(top);
  column->addWidget(buttons);

  // A long title widens the box (the text lines and OK button follow the
  // layout) rather than being cut in the title bar.
  setMinimumWidth(column->sizeHint().width() + TitleExcess(windowTitle()));
}

void CAboutBox::ShowAndActivate() {
  CentreWindow(this);
  BringToForeground(this);
  ok_->setFocus(Qt::ActiveWindowFocusReason);
}

// The main window's controls and their places: the device state at the top
// (state line with its warning mark, operator, technology, signal bars and
// the status icons), while connected the traffic lines, the Connect button, the row of window buttons, and the
// settings area (technology preference, PIN check, connection profile) that
// folds away. Sizes follow the font; colours the desktop's palette.
#include <QAction>
#include <QBoxLayout>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>

#include "app/settings.h"
#include "app/status_texts.h"
#include "app/traffic.h"
#include "app/ui/apn_line_edit.h"
#include "app/ui/qt_text.h"
#include "app/ui/dlg_main.h"
#include "app/ui/notify_icon.h"
#include "app/ui/tray_icons.h"
#include "app/ui/main_window_texts.h"
#include "app/ui/signal_bars_widget.h"

namespace {

// Texts of the main window's controls; each string is numbered as its
// control.
constexpr unsigned kTechnologyGroupStringId = 1004;
constexpr unsigned kPinGroupStringId = 1010;
constexpr unsigned kPinEnabledStringId = 1011;
constexpr unsigned kPinDisabledStringId = 1012;
constexpr unsigned kApnStringId = 1014;
constexpr unsigned kSaveStringId = 1016;
constexpr unsigned kUserNameStringId = 1022;
constexpr unsigned kPasswordStringId = 1024;
constexpr unsigned kAutomaticStringId = 1029;
constexpr unsigned kSmsCentreStringId = 1030;
constexpr unsigned kCloseStringId = 1031;
// Accessible names and the reasons of disabled commands.
constexpr unsigned kOperatorStringId = 1032;
constexpr unsigned kConnectionStateStringId = 1033;
constexpr unsigned kTechnologyStringId = 1034;
constexpr unsigned kLogoStringId = 1035;
constexpr unsigned kMenuStringId = 1036;
constexpr unsigned kProfileGroupStringId = 1041;
constexpr unsigned kWarningStringId = 1042;
constexpr unsigned kSignalStrengthStringId = 169;
// The traffic lines and the names of their figures.
constexpr unsigned kSentStringId = 250;
constexpr unsigned kReceivedStringId = 251;
constexpr unsigned kConnectedForStringId = 252;
constexpr unsigned kDataSentStringId = 253;
constexpr unsigned kDataReceivedStringId = 254;
constexpr unsigned kSendingRateStringId = 255;
constexpr unsigned kReceivingRateStringId = 256;
constexpr unsigned kConnectionTimeStringId = 257;
constexpr unsigned kConnectionTrafficStringId = 258;
// Menus.
constexpr unsigned kAboutStringId = 101;
constexpr unsigned kGprsStringId = 103;
constexpr unsigned kUmtsStringId = 104;
constexpr unsigned kExitStringId = 134;
constexpr unsigned kShowSettingsStringId = 135;
constexpr unsigned kHideSettingsStringId = 136;
constexpr unsigned kDiagnosticsStringId = 153;
constexpr unsigned kSmsCentreMenuStringId = 193;
constexpr unsigned kUssdMenuStringId = 1220;

QLabel* IconLabel(QWidget* parent, QStyle::StandardPixmap icon, const QString& name) {
  auto* label = new QLabel(parent);
  const int side = label->fontMetrics().height();
  label->setPixmap(label->style()->standardIcon(icon).pixmap(QSize(side, side), label->devicePixelRatio()));
  label->setAccessibleName(name);
  label->hide();
  return label;
}

// Without the mnemonic mark, for accessible names.
QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

}  // namespace

void CDlgMain::BuildLayout() {
  auto* root = new QVBoxLayout(this);
  // A compact window: exactly as large as what it shows, also when the
  // settings fold away.
  root->setSizeConstraint(QLayout::SetFixedSize);
  const QFontMetrics metrics = fontMetrics();

  // Device state.
  auto* header = new QHBoxLayout();
  logo_ = new QLabel(this);
  logo_->setObjectName(QStringLiteral("logo"));
  logo_->setAccessibleName(ProgramText(kLogoStringId));
  logo_->setAlignment(Qt::AlignCenter);
  header->addWidget(logo_, 0, Qt::AlignTop);

  auto* texts = new QVBoxLayout();
  texts->setSpacing(metrics.height() / 4);
  auto* state_row = new QHBoxLayout();
  state_icon_ = IconLabel(this, QStyle::SP_MessageBoxWarning, ProgramText(kWarningStringId));
  state_icon_->setObjectName(QStringLiteral("state_warning"));
  state_row->addWidget(state_icon_);
  state_text_ = new QLabel(this);
  state_text_->setObjectName(QStringLiteral("state"));
  state_text_->setAccessibleName(ProgramText(kConnectionStateStringId));
  QFont state_font = state_text_->font();
  state_font.setBold(true);
  state_font.setPointSizeF(state_font.pointSizeF() * 1.15);
  state_text_->setFont(state_font);
  state_text_->setWordWrap(true);
  // Wide enough for the longest state text on one or two lines.
  state_text_->setMinimumWidth(QFontMetrics(state_font).averageCharWidth() * 34);
  state_text_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  state_text_->setFocusPolicy(Qt::NoFocus);
  state_row->addWidget(state_text_, 1);
  pane_foreign_ = IconLabel(this, QStyle::SP_MessageBoxInformation, ProgramText(kForeignConnectionPaneId));
  pane_foreign_->setObjectName(QStringLiteral("pane_foreign"));
  state_row->addWidget(pane_foreign_);
  pane_sms_ = IconLabel(this, QStyle::SP_FileIcon, ProgramText(kSmsPaneId));
  pane_sms_->setObjectName(QStringLiteral("pane_sms"));
  state_row->addWidget(pane_sms_);
  texts->addLayout(state_row);

  operator_ = new QLabel(this);
  operator_->setObjectName(QStringLiteral("operator"));
  operator_->setAccessibleName(ProgramText(kOperatorStringId));
  operator_->setMinimumHeight(metrics.height());
  // The column is as wide as the state text and every mark beside it, so a
  // mark coming or going never changes the window's width.
  int marks = 0;
  for (QLabel* mark : {state_icon_, pane_foreign_, pane_sms_}) marks += mark->sizeHint().width() + state_row->spacing();
  operator_->setMinimumWidth(state_text_->minimumWidth() + marks);
  texts->addWidget(operator_);

  auto* info_row = new QHBoxLayout();
  technology_ = new QLabel(this);
  technology_->setObjectName(QStringLiteral("technology"));
  technology_->setAccessibleName(ProgramText(kTechnologyStringId));
  QFont technology_font = technology_->font();
  technology_font.setBold(true);
  technology_->setFont(technology_font);
  info_row->addWidget(technology_);
  signal_text_ = new QLabel(this);
  signal_text_->setObjectName(QStringLiteral("signal_text"));
  signal_text_->setAccessibleName(ProgramText(kSignalStrengthStringId));
  info_row->addWidget(signal_text_, 1);
  texts->addLayout(info_row);
  header->addLayout(texts, 1);

  bars_ = new SignalBarsWidget(this);
  bars_->setObjectName(QStringLiteral("signal_bars"));
  bars_->setAccessibleName(ProgramText(kSignalStrengthStringId));
  header->addWidget(bars_, 0, Qt::AlignVCenter);
  pane_signal_ = bars_;
  root->addLayout(header);

  // The traffic while connected: sent and received with their rates, and
  // the time up at the right. Each figure is as wide as its longest text,
  // so the lines do not move as the numbers grow.
  traffic_ = new QWidget(this);
  traffic_->setObjectName(QStringLiteral("traffic"));
  traffic_->setAccessibleName(ProgramText(kConnectionTrafficStringId));
  auto* traffic = new QGridLayout(traffic_);
  traffic->setContentsMargins(0, metrics.height() / 4, 0, 0);
  traffic->setVerticalSpacing(0);
  traffic->setHorizontalSpacing(metrics.averageCharWidth() * 2);
  const auto figure = [&](const char* name, unsigned accessible, const QString& widest, int row, int column) {
    auto* label = new QLabel(traffic_);
    label->setObjectName(QString::fromLatin1(name));
    label->setAccessibleName(ProgramText(accessible));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(metrics.horizontalAdvance(widest));
    traffic->addWidget(label, row, column);
    return label;
  };
  const QString widest_bytes = ToQString(TrafficBytesText(999949));
  const QString widest_rate = ToQString(TrafficRateText(999949));
  traffic->addWidget(new QLabel(ProgramText(kSentStringId), traffic_), 0, 0);
  traffic->addWidget(new QLabel(ProgramText(kReceivedStringId), traffic_), 1, 0);
  traffic_sent_ = figure("traffic_sent", kDataSentStringId, widest_bytes, 0, 1);
  traffic_received_ = figure("traffic_received", kDataReceivedStringId, widest_bytes, 1, 1);
  traffic_sending_rate_ = figure("traffic_sending_rate", kSendingRateStringId, widest_rate, 0, 2);
  traffic_receiving_rate_ = figure("traffic_receiving_rate", kReceivingRateStringId, widest_rate, 1, 2);
  traffic->setColumnMinimumWidth(3, metrics.averageCharWidth() * 2);
  traffic->setColumnStretch(3, 1);
  auto* connected_for = new QLabel(ProgramText(kConnectedForStringId), traffic_);
  connected_for->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  traffic->addWidget(connected_for, 0, 4);
  traffic_duration_ = figure("traffic_duration", kConnectionTimeStringId, QString(), 1, 4);
  QFont duration_font = traffic_duration_->font();
  duration_font.setBold(true);
  traffic_duration_->setFont(duration_font);
  traffic_duration_->setMinimumWidth(QFontMetrics(duration_font).horizontalAdvance(QStringLiteral("00:00:00")));
  traffic_->hide();
  root->addWidget(traffic_);

  // The main action.
  connect_ = new QPushButton(this);
  connect_->setObjectName(QStringLiteral("connect"));
  QFont connect_font = connect_->font();
  connect_font.setBold(true);
  connect_font.setPointSizeF(connect_font.pointSizeF() * 1.2);
  connect_->setFont(connect_font);
  connect_->setMinimumHeight(QFontMetrics(connect_font).height() * 2 + metrics.height() / 2);
  connect_->setAutoDefault(false);
  QObject::connect(connect_, &QPushButton::clicked, this, [this] { ConnectDisconnect(); });
  root->addWidget(connect_);

  // Window buttons.
  auto* buttons = new QHBoxLayout();
  toggle_settings_ = new QPushButton(ProgramText(kHideSettingsStringId), this);
  toggle_settings_->setObjectName(QStringLiteral("toggle_settings"));
  toggle_settings_->setAutoDefault(false);
  toggle_settings_->setCheckable(false);
  QObject::connect(toggle_settings_, &QPushButton::clicked, this, [this] { ToggleSettings(); });
  buttons->addWidget(toggle_settings_);
  buttons->addStretch(1);
  menu_button_ = new QToolButton(this);
  menu_button_->setObjectName(QStringLiteral("menu"));
  menu_button_->setText(ProgramText(kMenuStringId));
  menu_button_->setAccessibleName(Plain(ProgramText(kMenuStringId)));
  menu_button_->setPopupMode(QToolButton::InstantPopup);
  menu_button_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  buttons->addWidget(menu_button_);
  sms_centre_ = new QPushButton(ProgramText(kSmsCentreStringId), this);
  sms_centre_->setObjectName(QStringLiteral("sms_centre"));
  sms_centre_->setAutoDefault(false);
  QObject::connect(sms_centre_, &QPushButton::clicked, this, [this] { OpenSmsCentre(); });
  buttons->addWidget(sms_centre_);
  close_ = new QPushButton(ProgramText(kCloseStringId), this);
  close_->setObjectName(QStringLiteral("close"));
  close_->setAutoDefault(false);
  QObject::connect(close_, &QPushButton::clicked, this, [this] { reject(); });
  buttons->addWidget(close_);
  // With SMS, the SMS centre takes the Close button's place.
  if (settings_.SmsSupported != 0) {
    close_->hide();
  } else {
    sms_centre_->hide();
  }
  root->addLayout(buttons);

  // Settings.
  settings_area_ = new QWidget(this);
  settings_area_->setObjectName(QStringLiteral("settings_area"));
  auto* settings = new QVBoxLayout(settings_area_);
  settings->setContentsMargins(0, 0, 0, 0);
  auto* groups = new QHBoxLayout();
  technology_group_ = new QGroupBox(ProgramText(kTechnologyGroupStringId), settings_area_);
  technology_group_->setObjectName(QStringLiteral("technology_group"));
  auto* technology = new QVBoxLayout(technology_group_);
  for (int i = 0; i < 4; ++i) {
    const int control = kFirstTechnologyControl + i;
    auto* button = new QRadioButton(technology_group_);
    button->setObjectName(QStringLiteral("technology_%1").arg(control));
    QObject::connect(button, &QRadioButton::clicked, this, [this, control] { OnTechnologyClicked(control); });
    technology->addWidget(button);
    technology_buttons_[i] = button;
  }
  groups->addWidget(technology_group_, 1);
  pin_group_ = new QGroupBox(ProgramText(kPinGroupStringId), settings_area_);
  pin_group_->setObjectName(QStringLiteral("pin_group"));
  auto* pin = new QVBoxLayout(pin_group_);
  pin_enabled_ = new QRadioButton(ProgramText(kPinEnabledStringId), pin_group_);
  pin_enabled_->setObjectName(QStringLiteral("pin_enabled"));
  pin_disabled_ = new QRadioButton(ProgramText(kPinDisabledStringId), pin_group_);
  pin_disabled_->setObjectName(QStringLiteral("pin_disabled"));
  QObject::connect(pin_enabled_, &QRadioButton::clicked, this, [this] { OnPinButtonClicked(true); });
  QObject::connect(pin_disabled_, &QRadioButton::clicked, this, [this] { OnPinButtonClicked(false); });
  pin->addWidget(pin_enabled_);
  pin->addWidget(pin_disabled_);
  pin->addStretch(1);
  groups->addWidget(pin_group_);
  settings->addLayout(groups);

  profile_group_ = new QGroupBox(ProgramText(kProfileGroupStringId), settings_area_);
  profile_group_->setObjectName(QStringLiteral("profile_group"));
  auto* profile = new QVBoxLayout(profile_group_);
  auto* form = new QFormLayout();
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  user_name_ = new QLineEdit(profile_group_);
  user_name_->setObjectName(QStringLiteral("user_name"));
  user_name_->setMaxLength(kUserNameMax);
  user_name_->setMinimumWidth(metrics.averageCharWidth() * 28);
  user_name_label_ = new QLabel(ProgramText(kUserNameStringId), profile_group_);
  user_name_label_->setBuddy(user_name_);
  user_name_->setAccessibleName(Plain(user_name_label_->text()));
  form->addRow(user_name_label_, user_name_);
  password_ = new QLineEdit(profile_group_);
  password_->setObjectName(QStringLiteral("password"));
  password_->setMaxLength(kPasswordMax);
  password_->setEchoMode(QLineEdit::Password);
  password_label_ = new QLabel(ProgramText(kPasswordStringId), profile_group_);
  password_label_->setBuddy(password_);
  password_->setAccessibleName(Plain(password_label_->text()));
  form->addRow(password_label_, password_);
  apn_ = new ApnLineEdit(profile_group_);
  apn_->setObjectName(QStringLiteral("apn"));
  auto* apn_label = new QLabel(ProgramText(kApnStringId), profile_group_);
  apn_label->setBuddy(apn_);
  apn_->setAccessibleName(Plain(apn_label->text()));
  form->addRow(apn_label, apn_);
  // User name and password only where the build takes credentials.
  if (settings_.UserNamePasswordSupported == 0) {
    form->setRowVisible(user_name_, false);
    form->setRowVisible(password_, false);
  }
  for (QLineEdit* field : {user_name_, password_, static_cast<QLineEdit*>(apn_)}) {
    QObject::connect(field, &QLineEdit::textEdited, this, [this] { OnProfileEdited(); });
  }
  profile->addLayout(form);
  auto* profile_buttons = new QHBoxLayout();
  automatic_ = new QPushButton(ProgramText(kAutomaticStringId), profile_group_);
  automatic_->setObjectName(QStringLiteral("automatic"));
  automatic_->setAutoDefault(false);
  automatic_->hide();
  QObject::connect(automatic_, &QPushButton::clicked, this, [this] { OnAutomatic(); });
  profile_buttons->addWidget(automatic_);
  profile_buttons->addStretch(1);
  save_ = new QPushButton(ProgramText(kSaveStringId), profile_group_);
  save_->setObjectName(QStringLiteral("save"));
  // Enter anywhere in the window saves while there is something to save.
  save_->setDefault(true);
  save_->setEnabled(false);
  QObject::connect(save_, &QPushButton::clicked, this, [this] { OnSave(); });
  profile_buttons->addWidget(save_);
  profile->addLayout(profile_buttons);
  settings->addWidget(profile_group_);
  root->addWidget(settings_area_);

  // The basic view keeps the profile only.
  if (settings_.BasicViewOnly != 0) pin_group_->hide();

  for (QWidget* widget : {static_cast<QWidget*>(connect_), static_cast<QWidget*>(toggle_settings_),
                          static_cast<QWidget*>(sms_centre_), static_cast<QWidget*>(close_),
                          static_cast<QWidget*>(save_), static_cast<QWidget*>(automatic_)}) {
    widget->setAccessibleName(Plain(static_cast<QAbstractButton*>(widget)->text()));
  }
  for (QRadioButton* button : {pin_enabled_, pin_disabled_}) button->setAccessibleName(Plain(button->text()));
}

void CDlgMain::BuildMenus() {
  menu_ = new QMenu(this);
  menu_->setToolTipsVisible(true);
  const QString about = ProgramText(kAboutStringId).replace(QStringLiteral("%s"), MenuEscaped(windowTitle()));
  const QString diagnostics = ProgramText(kDiagnosticsStringId);
  const QString sms = settings_.SmsSupported != 0 ? ProgramText(kSmsCentreMenuStringId) : QString();
  const QString exit = ProgramText(kExitStringId);
  // The window's menu and the tray menu (after its own two items, behind a
  // separator) get the same entries; "&Exit" goes to the tray menu only when
  // the extended tray menu is asked for.
  const QString ussd = ProgramText(kUssdMenuStringId);
  const auto fill = [&](QMenu* menu, bool with_exit) -> QAction* {
    auto add = [this, menu](const QString& text, uintptr_t command) -> QAction* {
      if (text.isEmpty()) return nullptr;
      return menu->addAction(text, this, [this, command] { OnSysCommand(command); });
    };
    add(diagnostics, kDiagnosticsCommand);
    if (!sms.isEmpty()) add(sms, kSmsCentreCommand);
    QAction* ussd_action = add(ussd, kUssdCommand);
    if (!diagnostics.isEmpty() || !sms.isEmpty() || ussd_action != nullptr) menu->addSeparator();
    add(about, kAboutCommand);
    if (with_exit) add(exit, kExitSysCommand);
    return ussd_action;
  };
  ussd_actions_[0] = fill(menu_, true);
  menu_button_->setMenu(menu_);
  QMenu* tray_menu = tray_main_->Menu();
  tray_menu->setToolTipsVisible(true);
  tray_menu->addSeparator();
  ussd_actions_[1] = fill(tray_menu, settings_.ExtendedSystrayMenu != 0);
}

void CDlgMain::AddMenuEntry(const QString& text, std::function<void()> action) {
  for (QMenu* menu : {static_cast<QMenu*>(menu_), tray_main_->Menu()}) {
    menu->addSeparator();
    menu->addAction(text, this, action);
  }
}

void CDlgMain::RetranslateTechnologyLabels() {
  static constexpr unsigned kLabels[] = {1005, 1006, 1007, 1008};
  const QString gprs = ProgramText(kGprsStringId);
  const QString umts = ProgramText(kUmtsStringId);
  for (int i = 0; i < 4; ++i) {
    QString text = ProgramText(kLabels[i]);
    text.replace(QStringLiteral("{Gprs}"), gprs).replace(QStringLiteral("{GPRS}"), gprs);
    text.replace(QStringLiteral("{Umts}"), umts).replace(QStringLiteral("{UMTS}"), umts);
    technology_buttons_[i]->setText(text);
    technology_buttons_[i]->setAccessibleName(Plain(text));
  }
}

void CDlgMain::LayoutTechnologyGroup() {
  const uint32_t mode = settings_.TechnologyPreferencesMode;
  const bool shown = settings_.BasicViewOnly == 0 &&
                     (mode == CSettings::kTechnologyPreferencesAlwaysShow ||
                      (mode == CSettings::kTechnologyPreferencesAuto && settings_.LastTechnologySelectionModeSupported != 0));
  technology_group_->setVisible(shown);
}

void CDlgMain::ToggleSettings() {
  settings_shown_ = !settings_shown_;
  settings_area_->setVisible(settings_shown_);
  toggle_settings_->setText(ProgramText(settings_shown_ ? kHideSettingsStringId : kShowSettingsStringId));
  toggle_settings_->setAccessibleName(Plain(toggle_settings_->text()));
}

void CDlgMain::RefreshStatus() {
  const StatusInputs in = Inputs();
  const StateText state = MakeStateText(in);
  state_text_->setText(ToQString(state.text));
  state_icon_->setVisible(state.warning);
  operator_->setText(ToQString(values_.NetworkName));

  bool signal = false;
  bool foreign = false;
  bool sms = false;
  QString technology;
  for (const StatusPane& pane : MakeStatusPanes(in)) {
    const QString text = ToQString(pane.text);
    const QString tooltip = ToQString(pane.tooltip);
    switch (pane.kind) {
      case StatusPaneKind::kSignal:
        signal = true;
        bars_->setToolTip(tooltip);
        signal_text_->setText(tooltip);
        break;
      case StatusPaneKind::kForeignConnection:
        foreign = true;
        pane_foreign_->setToolTip(tooltip);
        break;
      case StatusPaneKind::kSms: {
        sms = true;
        pane_sms_->setToolTip(tooltip);
        // The tray's envelope: plain for a new message, barred red when full.
        const int side = pane_sms_->fontMetrics().height();
        pane_sms_->setPixmap(SmsTrayIcon(in.sms_icon == SmsIconState::kStorageFull)
                                 .pixmap(QSize(side, side), pane_sms_->devicePixelRatio()));
        break;
      }
      case StatusPaneKind::kTechnology:
        technology = text;
        break;
      case StatusPaneKind::kState:
        break;
    }
  }
  bars_->SetSignal(in.SignalMode(), in.signal_value, signal);
  if (!signal) {
    bars_->setToolTip(QString());
    signal_text_->clear();
  }
  bars_->setAccessibleDescription(signal_text_->text());
  pane_foreign_->setVisible(foreign);
  pane_sms_->setVisible(sms);
  technology_->setText(technology);
  tooltip_text_ = MakeTooltipText(in);
  RefreshTraffic();
}

void CDlgMain::RefreshTraffic() {
  const TrafficFigures& t = values_.Traffic;
  const bool shown = ShownConnectionState() == 2 && t.Valid;
  if (shown) {
    traffic_sent_->setText(ToQString(TrafficBytesText(t.BytesSent)));
    traffic_received_->setText(ToQString(TrafficBytesText(t.BytesReceived)));
    traffic_sending_rate_->setText(ToQString(TrafficRateText(t.SendRate)));
    traffic_receiving_rate_->setText(ToQString(TrafficRateText(t.ReceiveRate)));
    traffic_duration_->setText(ToQString(TrafficDurationText(t.DurationMs())));
  }
  traffic_->setVisible(shown);
}

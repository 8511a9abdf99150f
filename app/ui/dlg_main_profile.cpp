// The main window's connection profile (shown, edited, saved, chosen
// automatically) and the operator logo.
#include "app/ui/dlg_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <cstdio>
#include "app/app_main.h"
#include "app/app_messages.h"
#include "app/auto_profiles.h"
#include "app/connection_watcher_thread.h"
#include "app/error_texts.h"
#include "app/profile.h"
#include "app/settings.h"
#include "app/status_texts.h"
#include "app/string_loader.h"
#include "app/ui/qt_text.h"
#include "app/ui/apn_line_edit.h"
#include "app/ui/about_box.h"
#include "app/ui/dlg_diagnostics.h"
#include "app/ui/dlg_sms_centre.h"
#include "app/ui/program_code_dialogs.h"
#include "app/ui/main_window_texts.h"
#include "app/ui/notify_icon.h"
#include "app/ui/signal_bars_widget.h"
#include "app/worker_thread.h"
#include "carddetect/card_info.h"
#include "foundation/xlog.h"
#include "platform/text.h"
#include "platform/thread.h"

using namespace app_messages;

namespace {

constexpr int kTooLongStringId = 61716;
constexpr int kUnknownSimStringId = 192;

}  // namespace

// --- Profiles ---------------------------------------------------------------

const CProfile* CDlgMain::AutomaticProfile() const { return profiles_.Find(); }

void CDlgMain::ShowProfile(std::unique_ptr<CProfile> profile) {
  // Unsaved edits stay; the profile goes unseen.
  if (unsaved_edits_) return;
  auto set = [](QLineEdit* field, const std::u16string& text) {
    const QString value = ToQString(text);
    if (field->text() != value) field->setText(value);
  };
  set(user_name_, profile ? profile->GetUserName() : std::u16string());
  set(password_, profile ? profile->GetPassword() : std::u16string());
  set(apn_, profile ? profile->GetApn() : std::u16string());
  profile_shown_ = true;
  UpdateAutomaticButton();
}

void CDlgMain::UpdateAutomaticButton() {
  automatic_->setVisible(settings_.AutoProfilesAvailable != 0 && settings_.AutoProfiles == 0 &&
                         AutomaticProfile() != nullptr);
}

void CDlgMain::SetSaveEnabled(bool enabled) {
  unsaved_edits_ = enabled;
  save_->setEnabled(enabled && apn_->isEnabled());
}

void CDlgMain::OnProfileEdited() {
  if (profile_shown_) SetSaveEnabled(true);
}

void CDlgMain::OnSave() {
  if (!save_->isEnabled()) return;
  const struct {
    QLineEdit* field;
    int limit;
  } fields[] = {{user_name_, kUserNameMax}, {password_, kPasswordMax}, {apn_, kApnMax}};
  for (const auto& [field, limit] : fields) {
    if (field->text().size() > limit) {
      Ask(ProgramText(kTooLongStringId).arg(limit), false);
      field->setFocus();
      return;
    }
  }
  SetSaveEnabled(false);
  if (settings_.AutoProfilesAvailable != 0) settings_.SetAutoProfiles(false);
  auto* profile = new CProfile(settings_.UserNamePasswordSupported, ToU16(user_name_->text()),
                               ToU16(password_->text()), ToU16(apn_->text()));
  Post(WM_APP_SAVE_PROFILE, 0, reinterpret_cast<intptr_t>(profile));
  UpdateAutomaticButton();
}

void CDlgMain::OnAutomatic() {
  settings_.SetAutoProfiles(true);
  const CProfile* automatic = AutomaticProfile();
  // The worker's answer shows the operator's profile in the fields.
  SetSaveEnabled(false);
  Post(WM_APP_SAVE_PROFILE, 0, automatic != nullptr ? reinterpret_cast<intptr_t>(automatic->Clone().release()) : 0);
  UpdateAutomaticButton();
}

void CDlgMain::OnPinReady() {
  if (settings_.AutoProfilesAvailable == 0 || settings_.AutoProfiles == 0) return;
  if (const CProfile* automatic = AutomaticProfile()) {
    Post(WM_APP_SAVE_PROFILE, 0, reinterpret_cast<intptr_t>(automatic->Clone().release()));
    return;
  }
  Ask(ProgramText(kUnknownSimStringId), false);
  settings_.SetAutoProfiles(false);
  // The user's stored profile stays as it is: saving an empty one here would
  // wipe it and clear the card's APN for a SIM the table merely lacks.
  XLogLevel(kXLogTrace, "CDlgMain::OnWmAppPinReady, no automatic profile; the stored profile stays.");
  UpdateAutomaticButton();
}

// --- Logo -------------------------------------------------------------------

void CDlgMain::OnUpdateLogo() {
  const std::u16string mcc_mnc = settings_.GetLastMccMnc();
  const CProfile* profile = mcc_mnc.empty() ? nullptr : profiles_.Find(mcc_mnc);
  const std::u16string name = profile != nullptr ? profile->GetLogoBitmap() : std::u16string();
  XLogLevel(kXLogTrace, "OnUpdateLogo [%s]", platform::Utf16ToUtf8(name).c_str());
  // No operator bitmaps are built in: the program's own icon stands for
  // every operator.
  const int side = fontMetrics().height() * 3;
  QIcon icon = windowIcon();
  if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_DriveNetIcon);
  logo_->setPixmap(icon.pixmap(QSize(side, side), devicePixelRatio()));
}

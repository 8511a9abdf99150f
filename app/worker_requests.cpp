// The main window's requests.
#include <memory>

#include "app/app_messages.h"
#include "app/settings.h"
#include "app/sms_draft.h"
#include "app/worker_work.h"
#include "carddetect/card_info.h"
#include "devicelib/connection.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "foundation/xlog.h"

using namespace app_messages;

namespace {

// The card's answer to a PIN command when the SIM now wants its PUK: not
// told, since the state query that follows opens the PUK dialog instead.
constexpr DvResult kPukNowRequired = 0x8401000C;
// The card's answer to a bad APN.
constexpr DvResult kIncorrectParameters = 0x84010019;

}  // namespace

void CWorkerThread::Work::OnRequest(uint32_t request, uintptr_t wparam, intptr_t lparam) {
  auto* l_pin = reinterpret_cast<const PinText*>(lparam);
  auto* w_pin = reinterpret_cast<const PinText*>(wparam);
  switch (request) {
    case WM_APP_SET_TECHNOLOGY_MODE:
      SetTechnologyMode(static_cast<int>(lparam));
      break;
    case WM_APP_SET_PIN_MODE:
      SetPinMode(wparam != 0, l_pin);
      break;
    case WM_APP_SAVE_PROFILE:
      SaveProfile(reinterpret_cast<const CProfile*>(lparam));
      break;
    case WM_APP_CONNECT:
      ConnectOrDisconnect(lparam != 0);
      break;
    case WM_APP_RUN_DIAGNOSTICS:
      RunDiagnostics();
      break;
    case WM_APP_SMS_OPERATION:
      // The record is the operation's to keep or free.
      if (wparam == SmsOperationSendText || wparam == SmsOperationSaveText) {
        RunTextOperation(wparam == SmsOperationSendText, reinterpret_cast<SmsDraft*>(lparam));
      } else {
        RunSmsOperation(wparam, reinterpret_cast<SmsMessage*>(lparam));
      }
      NotifyStateChanged();
      return;
    case WM_APP_ENTER_PIN:
      EnterPin(l_pin);
      break;
    case WM_APP_ENTER_PUK:
      EnterPuk(w_pin, l_pin);
      break;
    case WM_APP_CHANGE_PIN:
      ChangePin(w_pin, l_pin);
      break;
    case WM_APP_USSD:
      RunUssdOperation(wparam, reinterpret_cast<const std::u16string*>(lparam));
      break;
    default:
      break;
  }
  FreeRequestRecords(request, wparam, lparam);
  NotifyStateChanged();
}

void CWorkerThread::Work::AfterPinAccepted(DvResult entered, DvResult state_query) {
  if (entered != DV_S_OK || state_query != DV_S_OK) return;
  if (cache_.Snapshot().PinPukState == CachedDravikValues::kPinPukReady) {
    QueryImsi();
    Notify(WM_APP_PIN_READY);
  }
  QueryProfile();
  QueryPinMode();
}

void CWorkerThread::Work::EnterPin(const PinText* pin) {
  if (pin == nullptr) return;
  const DvResult rc = DvEnterPinCode(pin->c_str());
  XLog("EnterPinCode finished with 0x%x", rc);
  QueryRetryCounters();
  if (rc != DV_S_OK && rc != kPukNowRequired) NotifyError(rc);
  AfterPinAccepted(rc, QueryPinPukState());
}

void CWorkerThread::Work::EnterPuk(const PinText* puk, const PinText* new_pin) {
  if (puk == nullptr || new_pin == nullptr) return;
  const DvResult rc = DvEnterPukCode(puk->c_str(), new_pin->c_str());
  XLog("EnterPukCode finished with 0x%x", rc);
  QueryRetryCounters();
  // The flag tells the error dialog that a wrong code was a PUK.
  if (rc != DV_S_OK) NotifyError(rc, static_cast<intptr_t>(rc));
  AfterPinAccepted(rc, QueryPinPukState());
}

void CWorkerThread::Work::ChangePin(const PinText* old_pin, const PinText* new_pin) {
  if (old_pin == nullptr || new_pin == nullptr) return;
  const DvResult rc = DvChangePinCode(old_pin->c_str(), new_pin->c_str());
  XLog("ChangePinCode finished with 0x%x", rc);
  QueryRetryCounters();
  if (rc != DV_S_OK && rc != kPukNowRequired) NotifyError(rc);
  QueryPinPukState();
}

void CWorkerThread::Work::SetPinMode(bool enable, const PinText* pin) {
  if (pin == nullptr) return;
  const DvResult rc = DvSetPinMode(pin->c_str(), enable ? 1 : 0);
  XLog("SetPinMode finished with 0x%x", rc);
  QueryRetryCounters();
  if (rc != DV_S_OK && rc != kPukNowRequired) NotifyError(rc);
  if (QueryPinPukState() == DV_S_OK) QueryPinMode();
}

void CWorkerThread::Work::SetTechnologyMode(int mode) {
  const DvResult rc = DvSetTechnologySelectionMode(mode);
  XLog("SetTechnologySelectionMode finished with 0x%x", rc);
  if (rc != DV_S_OK) NotifyError(rc);
  QueryTechnologyMode();
}

void CWorkerThread::Work::SaveProfile(const CProfile* profile) {
  if (profile == nullptr) return;
  DvResult rc = DV_S_OK;
  if ((cache_.Snapshot().DriverCapabilities() & CardDriverCapabilitiesNdisCredentials) != 0) {
    rc = DvSetNdisCredentials(profile->GetUserName().c_str(), profile->GetPassword().c_str());
    XLog("DvSetNdisCredentials finished with 0x%x", rc);
  }
  auto replace = [&](auto change) {
    std::unique_ptr<CProfile> next = cache_.Snapshot().CurrentProfile->Clone();
    change(*next);
    std::shared_ptr<const CProfile> shared(std::move(next));
    cache_.Update([&](CachedDravikValues& v) { v.CurrentProfile = shared; });
  };
  if (rc != DV_S_OK) {
    NotifyError(rc);
  } else {
    replace([&](CProfile& p) {
      p.SetUseCredentials(profile->GetUseCredentials());
      p.SetUserName(profile->GetUserName().c_str(), true);
      p.SetUserPassword(profile->GetPassword().c_str(), true);
    });
  }
  rc = DvSetApn(profile->GetApn().c_str());
  XLog("DvSetApn finished with 0x%x", rc);
  if (rc != DV_S_OK) {
    NotifyError(rc, rc == kIncorrectParameters ? 1 : 0);
  } else {
    replace([&](CProfile& p) { p.SetApn(profile->GetApn().c_str(), true); });
  }
  QueryProfile();
}

void CWorkerThread::Work::ConnectOrDisconnect(bool connect) {
  GSM::Device& device = GSM::Device::Instance();
  GSM::Connection* connection = library_ready_ ? device.CurrentConnection() : nullptr;
  DvResult rc = library_ready_ ? DV_E_NO_DEVICE : DV_E_NOT_INITIALIZED;
  if (connection != nullptr && connect) {
    const CachedDravikValues now = cache_.Snapshot();
    const CProfile& profile = *now.CurrentProfile;
    // A card that keeps its own APN is given none.
    const bool card_holds_apn =
        now.Family() == 7 && (now.DriverCapabilities() & CardDriverCapabilitiesStoredApn) != 0;
    const bool credentials = CSettings::Instance().UserNamePasswordSupported && !profile.GetUserName().empty() &&
                             !profile.GetPassword().empty();
    rc = connection->Connect(card_holds_apn ? nullptr : profile.GetApn().c_str(),
                             credentials ? profile.GetUserName().c_str() : nullptr,
                             credentials ? profile.GetPassword().c_str() : nullptr, credentials ? 1 : 0);
  } else if (connection != nullptr) {
    device.SetUserDisconnect(true);
    rc = connection->Disconnect();
  }
  XLog("Dv%s finished with 0x%x", connect ? "Connect" : "Disconnect", rc);
  if (rc != DV_S_OK) NotifyError(rc, connect ? static_cast<intptr_t>(rc) : 0);
  // A call that failed before the library changed its state raises no
  // event: the state the window set while it waited must not stick.
  OnConnectionStateChanged();
}

// The queries the worker's events and requests share.
#include <cstring>

#include "app/app_messages.h"
#include "app/auto_profiles.h"
#include "app/settings.h"
#include "app/worker_work.h"
#include "carddetect/card_info.h"
#include "devicelib/dv_api.h"
#include "foundation/xlog.h"
#include "platform/text.h"

using namespace app_messages;

namespace {

bool IsRegistered(int state) { return state == 1 || state == 5; }

std::string Utf8(const char16_t* text) { return platform::Utf16ToUtf8(text); }

// The current profile with `change` made to a copy of it.
template <typename Change>
void ChangeProfile(CachedDravik& cache, Change change) {
  std::unique_ptr<CProfile> profile = cache.Snapshot().CurrentProfile->Clone();
  change(*profile);
  std::shared_ptr<const CProfile> shared(std::move(profile));
  cache.Update([&](CachedDravikValues& v) { v.CurrentProfile = shared; });
}

}  // namespace

std::shared_ptr<const CProfile> CWorkerThread::Work::StoredProfile() const {
  auto profile = std::make_shared<CProfile>();
  LoadDefaultProfile(*profile);
  profile->SetUseCredentials(CSettings::Instance().UserNamePasswordSupported);
  return profile;
}

DvResult CWorkerThread::Work::QueryRetryCounters() {
  if (cache_.Snapshot().RetryCountersSupported == 0) {
    cache_.Update([](CachedDravikValues& v) { v.PinRetryCounter = v.PukRetryCounter = -1; });
    return DV_S_OK;
  }
  int pin = -1;
  int puk = -1;
  const DvResult rc = DvGetPinPukRetryCounters(&pin, &puk);
  XLog("DvGetPinPukRetryCounters finished with 0x%x, dwPinRetryCounter=%d, dwPukRetryCounter = %d", rc, pin, puk);
  cache_.Update([&](CachedDravikValues& v) {
    v.PinRetryCounter = rc == DV_S_OK ? pin : -1;
    v.PukRetryCounter = rc == DV_S_OK ? puk : -1;
  });
  return rc;
}

DvResult CWorkerThread::Work::QueryPinPukState() {
  uint32_t state = 0;
  const DvResult rc = DvGetPinPukState(&state);
  XLog("GetPinPukState finished with 0x%x, state=%u", rc, state);
  if (rc != DV_S_OK) {
    NotifyError(rc);
  } else {
    const int value = static_cast<int>(state);
    cache_.Update([&](CachedDravikValues& v) { v.PinPukState = value; });
    if (value == CachedDravikValues::kPinRequired) {
      Notify(WM_APP_PIN_REQUIRED);
    } else if (value == CachedDravikValues::kPukRequired) {
      Notify(WM_APP_PUK_REQUIRED);
    } else if (CachedDravikValues::IsDeviceLock(value)) {
      NotifyError(DV_S_OK);
    }
  }
  Notify(WM_APP_PIN_MODE, 1, 0);
  return rc;
}

DvResult CWorkerThread::Work::QueryPinMode() {
  int enabled = 0;
  const DvResult rc = DvGetPinMode(&enabled);
  XLog("GetPinMode finished with 0x%x, enabled=%d", rc, enabled);
  if (rc != DV_S_OK) {
    NotifyError(rc);
    return rc;
  }
  cache_.Update([&](CachedDravikValues& v) { v.PinEnabled = enabled; });
  Notify(WM_APP_PIN_MODE, 0, enabled);
  return rc;
}

DvResult CWorkerThread::Work::QueryTechnologyMode() {
  int mode = 0;
  const DvResult rc = DvGetTechnologySelectionMode(&mode);
  XLog("DvGetTechnologySelectionMode finished with 0x%x, mode=%d", rc, mode);
  if (rc != DV_S_OK) {
    NotifyError(rc);
    return rc;
  }
  cache_.Update([&](CachedDravikValues& v) { v.TechnologySelectionMode = mode; });
  Notify(WM_APP_TECHNOLOGY_MODE, 0, mode);
  return rc;
}

void CWorkerThread::Work::RefreshRadioState() {
  const CachedDravikValues now = cache_.Snapshot();
  if (now.DeviceState != CachedDravikValues::kDeviceReady || now.PsNetworkState != 0 || now.CsNetworkState != 0) {
    return;
  }
  int state = 0;
  const DvResult rc = DvGetCurrentRadioState(&state);
  XLog("GetCurrentRadioState finished with 0x%x, state=%d", rc, state);
  if (rc != DV_S_OK) state = 0;
  if (state == now.RadioState) return;
  cache_.Update([&](CachedDravikValues& v) { v.RadioState = state; });
  NotifyStateChanged();
}

void CWorkerThread::Work::QueryNetworkInfo(int state, int other_state) {
  // The operator stays known while either domain is registered: losing the
  // packet registration alone does not make the circuit one's name wrong.
  std::u16string name;
  int type = 0;
  if (IsRegistered(state) || IsRegistered(other_state)) {
    char16_t text[256] = {};
    const DvResult rc = DvGetNetworkInfo(text, std::size(text), &type);
    XLog("Network2 info finished with 0x%x, op=[%s] type=%d", rc, Utf8(text).c_str(), type);
    if (rc == DV_S_OK) {
      name = text;
    } else {
      type = 0;
    }
  }
  cache_.Update([&](CachedDravikValues& v) {
    v.NetworkName = name;
    v.NetworkType = type;
  });
  if (!name.empty()) CSettings::Instance().SetLastNetworkName(name.c_str());
  RefreshRadioState();
}

void CWorkerThread::Work::QueryImsi() {
  char16_t imsi[kDvNumberSize] = {};
  const DvResult rc = DvGetImsiNumber(imsi);
  XLog("DvGetImsiNumber finished with 0x%x, IMSI=%s", rc, Utf8(imsi).c_str());
  // A failed read tells nothing about the SIM: the operator remembered for
  // the logo stays.
  if (rc != DV_S_OK) return;
  const std::u16string text = imsi;
  CAutoProfiles::SetLastImsi(text);
  const std::u16string key = text.size() >= 6 ? text.substr(0, 6) : std::u16string();
  if (key != CSettings::Instance().LastMccMnc) {
    CSettings::Instance().SetLastMccMnc(key.c_str());
    Notify(WM_APP_UPDATE_LOGO);
  }
  cache_.Update([&](CachedDravikValues& v) { v.Diagnostics.Imsi = text; });
}

void CWorkerThread::Work::QueryProfile() {
  const CachedDravikValues now = cache_.Snapshot();
  const uint32_t capabilities = now.DriverCapabilities();
  if (now.Family() == 7 && (capabilities & CardDriverCapabilitiesStoredApn) != 0) {
    char16_t apn[256] = {};
    const DvResult rc = DvGetApn(apn);
    XLog("DvGetApn finished with 0x%x, Apn=[%s]", rc, Utf8(apn).c_str());
    if (rc != DV_S_OK) {
      NotifyError(rc);
    } else {
      ChangeProfile(cache_, [&](CProfile& p) { p.SetApn(apn, false); });
    }
  }
  if (CSettings::Instance().UserNamePasswordSupported && (capabilities & CardDriverCapabilitiesNdisCredentials) != 0) {
    char16_t user[kDvNdisCredentialSize] = {};
    char16_t password[kDvNdisCredentialSize] = {};
    const DvResult rc = DvGetNdisCredentials(user, password);
    XLog("DvGetNdisCredentials finished with 0x%x", rc);
    if (rc != DV_S_OK) {
      NotifyError(rc);
    } else {
      ChangeProfile(cache_, [&](CProfile& p) {
        p.SetUserName(user, false);
        p.SetUserPassword(password, false);
      });
    }
    std::memset(password, 0, sizeof(password));
  }
  Notify(WM_APP_PROFILE, 0, reinterpret_cast<intptr_t>(cache_.Snapshot().CurrentProfile->Clone().release()));
}

DvResult CWorkerThread::Work::RefreshSmsCapacity() {
  int total = 0;
  int used = 0;
  const DvResult rc = DvGetSimSmsMessageStorageSize(&total, &used);
  XLog("DvGetSimSmsMessageStorageSize finished with 0x%x - TotalSize = %d, UsedSize = %d", rc, total, used);
  if (rc == DV_S_OK) {
    cache_.Update([&](CachedDravikValues& v) {
      auto store = std::make_shared<CSmsMessages>(*v.SmsStore);
      store->SetCapacity(total, used);
      v.SmsStore = std::move(store);
    });
  }
  return rc;
}

void CWorkerThread::Work::SetSmsReading(bool reading) {
  cache_.Update([&](CachedDravikValues& v) {
    auto store = std::make_shared<CSmsMessages>(*v.SmsStore);
    store->SetReading(reading);
    v.SmsStore = std::move(store);
  });
}

void CWorkerThread::Work::ReadSms(int index) {
  if (cache_.Snapshot().SimInserted == 0 || !CSettings::Instance().SmsSupported) return;
  if (index < 0) {
    // A full SIM takes a while to list: the windows show that the store is
    // being read, and every way out of here ends it.
    SetSmsReading(true);
    Notify(WM_APP_SMS, SmsNewsStoreFilled);
  }
  const DvResult capacity = RefreshSmsCapacity();
  if (capacity != DV_S_OK) {
    NotifyError(capacity);
    if (index < 0) {
      SetSmsReading(false);
      Notify(WM_APP_SMS, SmsNewsStoreFilled);
    }
    return;
  }
  if (index >= 0) {
    SmsMessageDetails record{};
    const DvResult rc = DvReadSmsMessageDetails(static_cast<uint32_t>(index), &record);
    XLog("DvReadSmsMessageDetails finished with 0x%x", rc);
    if (rc != DV_S_OK) {
      NotifyError(rc);
      return;
    }
    // A message the listing already read is replaced, not held twice.
    cache_.Update([&](CachedDravikValues& v) {
      auto store = std::make_shared<CSmsMessages>(*v.SmsStore);
      store->Put(record);
      v.SmsStore = std::move(store);
    });
    Notify(WM_APP_SMS, SmsNewsOneRead);
    return;
  }
  SmsMessageDetails* records = nullptr;
  uint32_t count = 0;
  const DvResult rc = DvReadAllSmsMessageDetails(&records, &count);
  XLog("DvReadAllSmsMessageDetails finished with 0x%x", rc);
  if (rc != DV_S_OK) {
    NotifyError(rc);
  } else {
    char16_t sca[kDvScaSize] = {};
    const DvResult sca_rc = DvGetSimSca(sca);
    XLog("DvGetSimSca finished with 0x%x, sca = %s", sca_rc, Utf8(sca).c_str());
    // The messages are shown even when the service centre could not be
    // read; the failure is told.
    cache_.Update([&](CachedDravikValues& v) {
      auto store = std::make_shared<CSmsMessages>(*v.SmsStore);
      if (sca_rc == DV_S_OK) store->SetServiceCentre(sca);
      for (uint32_t i = 0; i < count; ++i) store->Put(records[i]);
      v.SmsStore = std::move(store);
    });
    if (sca_rc != DV_S_OK) NotifyError(sca_rc);
    DvFreeSmsMessageDetails(records);
  }
  SetSmsReading(false);
  Notify(WM_APP_SMS, SmsNewsStoreFilled);
}

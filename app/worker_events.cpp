// The library's events, as the worker turns them into cache values and
// notifications.
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "app/app_messages.h"
#include "app/settings.h"
#include "app/worker_work.h"
#include "carddetect/nw_api.h"
#include "devicelib/device_states.h"
#include "devicelib/dv_api.h"
#include "foundation/xlog.h"
#include "platform/heap.h"
#include "platform/thread.h"

using namespace app_messages;

void CWorkerThread::Work::OnEvent(uint32_t event, uintptr_t parameter) {
  XLog("[%u] Event occured: %u", platform::GetCurrentThreadId(), event);
  switch (event) {
    case EventDeviceStateChanged:
      OnDeviceStateChanged();
      break;
    case EventConnectionStateChanged:
      OnConnectionStateChanged();
      break;
    case EventCsNetworkStateChanged:
      OnNetworkStateChanged(false);
      break;
    case EventPsNetworkStateChanged:
      OnNetworkStateChanged(true);
      break;
    case EventEdgeNetworkStateChanged: {
      int state = 0;
      const DvResult rc = DvGetEdgeNetworkState(&state);
      XLog("DvGetEdgeNetworkState finished with 0x%x", rc);
      if (rc == DV_S_OK) cache_.Update([&](CachedDravikValues& v) { v.EdgeState = state; });
      break;
    }
    case EventHsdpaNetworkStateChanged: {
      int state = 0;
      const DvResult rc = DvGetHsdpaNetworkState(&state);
      XLog("DvGetHsdpaNetworkState finished with 0x%x", rc);
      if (rc == DV_S_OK) cache_.Update([&](CachedDravikValues& v) { v.HsdpaState = state; });
      break;
    }
    case EventSignalStrengthChanged:
      OnSignalStrengthChanged();
      break;
    case EventWcdmaSignalStrengthChanged:
      OnWcdmaSignalStrengthChanged();
      break;
    case EventSimStateChanged:
      OnSimStateChanged();
      break;
    case EventSmsMessageArrived:
      if (CSettings::Instance().SmsSupported) ReadSms(static_cast<int>(parameter));
      break;
    case EventTemporarySmsMessageArrived:
      OnTemporarySms(parameter);
      break;
    case EventSmsStatusReportArrived:
      OnStatusReport(parameter);
      break;
    case EventRadioStateChanged:
      RefreshRadioState();
      break;
    case EventUssdMessageArrived:
      OnUssdMessage(parameter);
      break;
    case EventCardHeld:
      OnCardHeld(parameter);
      break;
    default:
      // Nothing to show; a record the event carried is ours to free all
      // the same.
      if (DvEventCarriesRecord(event) && parameter != 0) platform::LocalFree(reinterpret_cast<void*>(parameter));
      break;
  }
  NotifyStateChanged();
}

void CWorkerThread::Work::OnDeviceStateChanged() {
  int state = 0;
  const DvResult rc = DvGetDeviceState(&state);
  XLog("DvGetDeviceState finished with 0x%x, state=%d", rc, state);
  if (rc != DV_S_OK) state = CachedDravikValues::kDeviceNotPresent;
  cache_.Update([&](CachedDravikValues& v) { v.DeviceState = state; });
  switch (state) {
    case GSM::DeviceState::NotFound:
      cache_.Reset(StoredProfile());
      // The SMS store went with the card: the windows drop what they listed.
      if (CSettings::Instance().SmsSupported) Notify(WM_APP_SMS, SmsNewsStoreFilled);
      Notify(WM_APP_DEVICE_REMOVED);
      break;
    case GSM::DeviceState::Found: {
      // The initialisation blocks for a second or more: let the window say
      // that the card was found and is being initialised meanwhile.
      NotifyStateChanged();
      const DvResult init = DvInitializeDevice();
      XLog("Device initialized with 0x%x", init);
      if (init != DV_S_OK) cache_.Update([](CachedDravikValues& v) { v.DeviceState = CachedDravikValues::kDeviceFailed; });
      break;
    }
    case GSM::DeviceState::Initialized:
      OnDeviceReady();
      break;
    default:
      break;
  }
  Notify(WM_APP_DIAGNOSTICS, kDiagnosticsDeviceEvent);
}

void CWorkerThread::Work::OnDeviceReady() {
  RefreshRadioState();
  if (cache_.Snapshot().CardRecord == nullptr) {
    auto record = std::make_shared<NwCardInfo>();
    std::memset(record.get(), 0, sizeof(NwCardInfo));
    record->Size = kNwCardInfoSize5248;
    const uint32_t rc = NwGetCardInfo(record.get());
    XLog("DvGetCardInfo finished with 0x%x", rc);
    if (rc == 0) cache_.Update([&](CachedDravikValues& v) { v.CardRecord = record; });
  }
  auto flag = [](DvResult (*query)(int*), const char* name) {
    int value = 0;
    const DvResult rc = query(&value);
    XLog("%s finished with 0x%x, %d", name, rc, value);
    return rc == DV_S_OK ? value : 0;
  };
  const int technology = flag(&DvIsTechnologySelectionSupported, "DvIsTechnologySelectionSupported");
  cache_.Update([&](CachedDravikValues& v) { v.TechnologySelectionSupported = technology; });
  // A card without technology selection refuses the query; that is no
  // error to show the user at every start.
  if (technology != 0) QueryTechnologyMode();
  int removable = 0;
  const DvResult removable_rc = DvIsRemovable(&removable);
  XLog("DvIsRemovable finished with 0x%x, %d", removable_rc, removable);
  const int retry = flag(&DvIsPinPukRetryCounterSupported, "DvIsPinPukRetryCounterSupported");
  const int wcdma = flag(&DvIsWcdmaSignalSupported, "DvIsWcdmaSignalSupported");
  CSettings::Instance().SetWcdmaSignalSupported(wcdma != 0);
  cache_.Update([&](CachedDravikValues& v) {
    if (removable_rc == DV_S_OK) v.RemovableKind = removable;
    v.RetryCountersSupported = retry;
    v.WcdmaSignalSupported = wcdma;
  });
  QueryRetryCounters();
  if (QueryPinPukState() == DV_S_OK && cache_.Snapshot().PinPukState == CachedDravikValues::kPinPukReady) {
    QueryImsi();
    QueryProfile();
    QueryPinMode();
    Notify(WM_APP_PIN_READY);
  }
}

void CWorkerThread::Work::OnConnectionStateChanged() {
  int state = 0;
  const DvResult rc = DvGetConnectionState(&state);
  XLog("GetConnectionState finished with 0x%x, ConnectionState=%d", rc, state);
  cache_.Update([&](CachedDravikValues& v) { v.ConnectionState = rc == DV_S_OK ? state : 0; });
  FollowConnectionForTraffic(rc == DV_S_OK ? state : 0);
  Notify(WM_APP_CONNECTION_STATE);
}

void CWorkerThread::Work::OnNetworkStateChanged(bool packet_switched) {
  int state = 0;
  const DvResult rc = packet_switched ? DvGetPsNetworkState(&state) : DvGetCsNetworkState(&state);
  XLog("%s finished with 0x%x, NetworkState=%d", packet_switched ? "DvGetPsNetworkState" : "DvGetCsNetworkState",
       rc, state);
  if (rc != DV_S_OK) state = 0;
  int other = 0;
  cache_.Update([&](CachedDravikValues& v) {
    (packet_switched ? v.PsNetworkState : v.CsNetworkState) = state;
    other = packet_switched ? v.CsNetworkState : v.PsNetworkState;
  });
  QueryNetworkInfo(state, other);
}

void CWorkerThread::Work::OnSignalStrengthChanged() {
  const uint32_t mode = CSettings::Instance().EffectiveSignalStrengthMode();
  if (mode != CSettings::kSignalStandard5Bars && mode != CSettings::kSignalExtended5Bars) return;
  int value = 0;
  int extended = 0;
  const DvResult rc = DvGetSignalStrength(&value, &extended);
  XLog("GetSignalStrength finished with 0x%x, value=%d, extendedValue=%d", rc, value, extended);
  if (rc != DV_S_OK) return;
  cache_.Update([&](CachedDravikValues& v) {
    v.SignalValue = value;
    v.ExtendedSignalValue = extended;
  });
}

void CWorkerThread::Work::OnWcdmaSignalStrengthChanged() {
  const uint32_t mode = CSettings::Instance().EffectiveSignalStrengthMode();
  if (cache_.Snapshot().WcdmaSignalSupported == 0 ||
      (mode != CSettings::kSignalWcdma5Bars && mode != CSettings::kSignalWcdma4Bars)) {
    return;
  }
  int value = 0;
  const DvResult rc = DvGetWcdmaSignalStrength(&value);
  XLog("DvGetWcdmaSignalStrength finished with 0x%x, value=%d", rc, value);
  if (rc == DV_S_OK) cache_.Update([&](CachedDravikValues& v) { v.SignalValue = value; });
}

void CWorkerThread::Work::OnSimStateChanged() {
  cache_.Update([](CachedDravikValues& v) { v.SmsStore = std::make_shared<CSmsMessages>(); });
  int state = 0;
  const DvResult rc = DvGetSimState(&state);
  XLog("DvGetSimState finished with 0x%x, value=%d", rc, state);
  if (rc != DV_S_OK) {
    // The windows drop what they listed of the emptied store.
    if (CSettings::Instance().SmsSupported) Notify(WM_APP_SMS, SmsNewsStoreFilled);
    NotifyError(rc);
    return;
  }
  cache_.Update([&](CachedDravikValues& v) { v.SimInserted = state; });
  if (!CSettings::Instance().SmsSupported) return;
  if (state != 0) {
    ReadSms(-1);
  } else {
    Notify(WM_APP_SMS, SmsNewsStoreFilled);
  }
}

void CWorkerThread::Work::OnTemporarySms(uintptr_t parameter) {
  auto* record = reinterpret_cast<SmsMessage*>(parameter);
  if (record == nullptr) {
    XLogLevel(kXLogError, "EventTemporarySmsMessageArrived suspicious evtParams.");
    return;
  }
  if (CSettings::Instance().SmsSupported) Notify(WM_APP_SMS, SmsNewsTemporary, reinterpret_cast<intptr_t>(new SmsMessage(*record)));
  platform::LocalFree(record);
}

void CWorkerThread::Work::OnStatusReport(uintptr_t parameter) {
  // The library raises every status report with its details.
  auto* report = reinterpret_cast<SmsStatusReportDetails*>(parameter);
  if (report == nullptr) {
    XLogLevel(kXLogError, "EventSmsStatusReportArrived suspicious evtParams.");
    return;
  }
  bool matched = false;
  cache_.Update([&](CachedDravikValues& v) {
    auto store = std::make_shared<CSmsMessages>(*v.SmsStore);
    matched = store->ApplyStatusReport(report->MessageReference, report->Report.Status, report->DischargeTime);
    if (matched) v.SmsStore = std::move(store);
  });
  XLog("Status report for reference %u, status 0x%02x: %s.", report->MessageReference, report->Report.Status,
       matched ? "taken" : "no message waits for it");
  platform::LocalFree(report);
  if (matched && CSettings::Instance().SmsSupported) Notify(WM_APP_SMS, SmsNewsDeliveryReport);
}

void CWorkerThread::Work::OnCardHeld(uintptr_t parameter) {
  auto* record = reinterpret_cast<DvCardHeld*>(parameter);
  if (record == nullptr) {
    XLogLevel(kXLogError, "EventCardHeld suspicious evtParams.");
    return;
  }
  const std::u16string_view text(record->Text, std::size(record->Text));
  std::u16string sentence(text.substr(0, text.find(u'\0')));
  platform::LocalFree(record);
  XLog("Card held by another program: %s", sentence.empty() ? "no longer" : "yes");
  cache_.Update([&](CachedDravikValues& v) { v.CardHeldText = std::move(sentence); });
}

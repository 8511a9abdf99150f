// The diagnostics run: the card's identity, the SIM's and the network's
// state, collected into the cache's diagnostics record.
#include "app/app_messages.h"
#include "app/worker_work.h"
#include "devicelib/dv_api.h"
#include "foundation/xlog.h"
#include "platform/text.h"

using namespace app_messages;

namespace {

// One text query: logged with its value, kept only on success.
template <size_t N>
bool QueryText(DvResult (*query)(char16_t*), const char* log_format, std::u16string& field) {
  char16_t text[N] = {};
  const DvResult rc = query(text);
  XLog(log_format, rc, platform::Utf16ToUtf8(text).c_str());
  if (rc == DV_S_OK) field = text;
  return rc == DV_S_OK;
}

}  // namespace

void CWorkerThread::Work::RunDiagnostics() {
  // The flag was set when the run was asked for (CWorkerThread::Post).
  if (cache_.Snapshot().DeviceState != CachedDravikValues::kDeviceReady) {
    EndDiagnostics();
    return;
  }
  CDiagnostics found;
  QueryText<kDvNameSize>(&DvGetDeviceName, "DvGetDeviceName finished with 0x%x, DeviceName=%s", found.DeviceName);
  QueryText<kDvNameSize>(&DvGetDeviceSerialNumber, "DvGetDeviceSerialNumber finished with 0x%x, DeviceSerialNumber=%s",
                         found.SerialNumber);
  QueryText<kDvNameSize>(&DvGetFirmwareInfo, "DvGetFirmwareInfo finished with 0x%x, FwVersion=%s",
                         found.FirmwareVersion);
  QueryText<kDvNameSize>(&DvGetHardwareInfo, "DvGetHardwareInfo finished with 0x%x, HwVersion=%s",
                         found.HardwareVersion);
  cache_.Update([&](CachedDravikValues& v) { v.Diagnostics = found; });
  QueryImsi();
  found.Imsi = cache_.Snapshot().Diagnostics.Imsi;
  QueryText<kDvNumberSize>(&DvGetImeiNumber, "DvGetImeiNumber finished with 0x%x, IMEI=%s", found.Imei);

  if (cache_.Snapshot().PinPukState != CachedDravikValues::kPinPukUnknown) {
    QueryText<kDvNumberSize>(&DvGetSimSerialNumber, "DvGetSimSerialNumber finished with 0x%x, ICCID=%s", found.Iccid);
    int sim = 0;
    const DvResult sim_rc = DvGetSimState(&sim);
    XLog("DvGetSimState finished with 0x%x, value=%d", sim_rc, sim);
    if (sim_rc == DV_S_OK) cache_.Update([&](CachedDravikValues& v) { v.SimInserted = sim; });
    if (sim_rc == DV_S_OK && sim != 0) {
      std::u16string numbers(kDvOwnNumbersSize, u'\0');
      const DvResult rc = DvGetOwnPhoneNumbers(numbers.data());
      XLog("DvGetOwnPhoneNumbers finished with 0x%x", rc);
      if (rc == DV_S_OK) {
        XLog("Parsing phone numbers...");
        numbers.resize(std::u16string_view(numbers.c_str()).size());
        found.PhoneNumbers = ParseOwnPhoneNumbers(numbers);
      }
    }
  }

  int selection = 0;
  const DvResult selection_rc = DvGetNetworkSelectionMode(&selection);
  XLog("DvGetNetworkSelectionMode finished with 0x%x, mode=%d", selection_rc, selection);
  if (selection_rc == DV_S_OK) found.NetworkSelectionMode = selection;
  int cs = 0;
  const DvResult cs_rc = DvGetCsNetworkState(&cs);
  XLog("DvGetCsNetworkState finished with 0x%x, NetworkState=%d", cs_rc, cs);
  int ps = 0;
  const DvResult ps_rc = DvGetPsNetworkState(&ps);
  XLog("DvGetPsNetworkState finished with 0x%x, NetworkState=%d", ps_rc, ps);
  int attached = 0;
  const DvResult attached_rc = DvGetPsAttachedState(&attached);
  XLog("DvGetPsAttachedState finished with 0x%x, NetworkState=%d", attached_rc, attached);
  if (attached_rc == DV_S_OK) found.PsAttached = attached;

  cache_.Update([&](CachedDravikValues& v) {
    v.Diagnostics = found;
    if (cs_rc == DV_S_OK) v.CsNetworkState = cs;
    if (ps_rc == DV_S_OK) v.PsNetworkState = ps;
  });
  EndDiagnostics();
  Notify(WM_APP_DIAGNOSTICS, kDiagnosticsEnded);
}

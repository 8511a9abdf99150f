// The device's polling handlers, run by the communicator window's timers.
#include "devicelib/connection.h"
#include "devicelib/device.h"
#include "devicelib/device_queries.h"
#include "devicelib/library.h"
#include "foundation/xlog.h"

namespace GSM {

void Device::OnSimPoll() {
  int initialised = 0;
  const DvResult rc = QuerySimStatus(initialised);
  if (DvFailed(rc)) {
    if (rc != DV_E_PORT_BUSY) {
      XLogLevel(kXLogError, "Dv: Querying SIM state failed with 0x%x during SIM polling", rc);
    }
    return;
  }
  if (initialised == 0) return;
  SetSimState(1);
  // What could not be done while the SIM was busy: the IMSI for the
  // virtual-home-network rule, and the message set-up after the PIN.
  bool imsi_known;
  {
    std::lock_guard lock(text_lock_);
    imsi_known = !imsi_.empty();
  }
  if (!imsi_known) {
    std::u16string imsi;
    if (!DvFailed(ReadRawImsi(imsi))) SetImsi(imsi);
  }
  if (!PostPinOperationDone()) {
    const DvResult post = RunPostPinOperation();
    if (DvFailed(post)) XLogLevel(kXLogError, "Dv: Post-PIN operation failed with 0x%x", post);
  }
}

void Device::OnHsdpaPoll() {
  // A standard card's HSDPA state is its radio's (OnRadioPoll).
  if (!Is3gCard() || IsGprsOnlyCard() || IsStandardCard()) return;
  int state = 0;
  const DvResult rc = QueryHsdpaState(state);
  if (DvFailed(rc)) {
    XLogLevel(kXLogError, "Dv: Querying HSDPA network state failed with 0x%x", rc);
    return;
  }
  SetHsdpaState(state);
}

void Device::OnDataCallPoll() {
  if (CurrentConnectionKind() != ConnectionKind::Ndis || !IsDataCallPollingCard()) return;
  if (Connection* connection = CurrentConnection()) connection->PollDataCallState();
}

void Device::OnCellTypePoll() {
  if (!Is3gCard() || IsGprsOnlyCard() || IsStandardCard()) return;
  int type = 0;
  const DvResult rc = QueryWcdmaCellType(type);
  if (DvFailed(rc)) {
    XLogLevel(kXLogError, "Dv: Querying WCDMA cell type failed with 0x%x", rc);
    return;
  }
  Set3GCellType(type);
}

void Device::OnRadioPoll() {
  if (!IsStandardCard() || GetDeviceState() != DeviceState::Initialized || PortBusy() || GoingDown()) return;
  int signal = 0;
  int extended = 0;
  const DvResult rc = QuerySignal(signal, extended);
  if (DvFailed(rc)) {
    XLogLevel(kXLogError, "Dv: Querying the signal failed with 0x%x during radio polling", rc);
    return;
  }
  SetSignal(signal, extended);
  const DvResult technology = QueryStandardTechnology();
  if (DvFailed(technology)) {
    XLogLevel(kXLogError, "Dv: Querying the radio technology failed with 0x%x during radio polling", technology);
  }
}

}  // namespace GSM

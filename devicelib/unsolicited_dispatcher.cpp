// The results the card reports on its own, on the receiver thread: each
// updates a state that needs no command, or is posted to the communicator
// window when its update needs one (the registration states), or becomes a
// client event.
#include "devicelib/device.h"
#include "devicelib/device_queries.h"
#include "devicelib/library.h"
#include "devicelib/line_classifier.h"
#include "devicelib/standard_answers.h"
#include "devicelib/unsolicited_answers.h"
#include "foundation/xlog.h"

namespace GSM {
namespace {

template <typename Parse, typename Out>
void Read(Line& line, Parse parse, Out& out) {
  const DvResult rc = parse(line.ReadRest(), out);
  if (DvFailed(rc)) DvRaise(rc);
}

// A standard card's registration, query answer and report alike (it sends
// its cell and access technology with them after AT+CREG=2 and the like).
void OnStandardRegistration(Device& device, uint32_t type, Line& line) {
  RegistrationRecord record;
  const DvResult rc = ParseRegistrationRecord(line.ReadRest(), record);
  if (DvFailed(rc)) DvRaise(rc);
  const int stat = NetworkStateOfStat(record.stat);
  if (record.act) device.SetRadioTechnologyOfAct(*record.act);
  if (type == UnsolicitedTypeCreg) {
    PostToCommunicator(WM_CS_REGISTRATION, static_cast<platform::WPARAM>(stat));
  } else {
    PostToCommunicator(WM_PS_REGISTRATION, static_cast<platform::WPARAM>(stat), type == UnsolicitedTypeCereg ? 1 : 0);
  }
}

void OnCallEnded(Device& device) {
  const int voice = device.GetVoiceState();
  if (voice != VoiceState::NotReady && voice != VoiceState::Disconnected) {
    device.SetVoiceState(VoiceState::Disconnected);
  }
}

}  // namespace

void Device::HandleUnsolicited(uint32_t type, Line& line) {
  // The readers take the fields after the prefix the line was sorted by.
  if (type < kUnsolicitedTypeCount) line.SetCursor(line.Cursor() + kUnsolicitedPrefixes[type].size());
  // The last lines of a card being let go (or not yet taken up) would write
  // states that the reset has just cleared.
  if (!Available()) {
    XLogLevel(kXLogTrace, "Dv: Ignored the unsolicited input of a card that is not served");
    return;
  }
  if (IsStandardCard() &&
      (type == UnsolicitedTypeCreg || type == UnsolicitedTypeCgreg || type == UnsolicitedTypeCereg)) {
    XLogLevel(kXLogTrace, "Dv: Unsolicited::cStandardRegistration");
    OnStandardRegistration(*this, type, line);
    return;
  }
  switch (type) {
    case UnsolicitedTypeClip: {
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cClip");
      if (GetVoiceState() != VoiceState::Disconnected) return;
      CallerNumber caller;
      Read(line, ParseClipAnswer, caller);
      if (caller.unknown) XLogLevel(kXLogTrace, "Dv: Caller's phone number is unknown");
      SetCallerNumber(caller.number);
      SetVoiceState(VoiceState::Ringing);
      return;
    }
    case UnsolicitedTypeBusy:
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cBusy");
      OnCallEnded(*this);
      return;
    case UnsolicitedTypeNoCarrier:
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cNoCarrier");
      OnCallEnded(*this);
      return;
    case UnsolicitedTypeCreg: {
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cCircuitSwitchedRegistration");
      int stat = 0;
      Read(line, ParseRegistrationAnswer, stat);
      PostToCommunicator(WM_CS_REGISTRATION, static_cast<platform::WPARAM>(stat));
      return;
    }
    case UnsolicitedTypeCgreg: {
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cPacketSwitchedRegistration");
      int stat = 0;
      Read(line, ParseRegistrationAnswer, stat);
      PostToCommunicator(WM_PS_REGISTRATION, static_cast<platform::WPARAM>(stat));
      return;
    }
    case UnsolicitedTypeCmti: {
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cNewMessage");
      NewMessageReport report;
      Read(line, ParseCmtiAnswer, report);
      int index = report.index;
      if (IsOneBasedSimIndexCard()) {
        // Such a card has no index 0; handing on -1 would name no message.
        if (index == 0) DvRaise(DV_E_UNEXPECTED_ANSWER);
        index -= 1;
      }
      RaiseEvent(EventSmsMessageArrived, static_cast<uintptr_t>(static_cast<intptr_t>(index)));
      return;
    }
    case UnsolicitedTypeSignalQuality:
    case UnsolicitedTypeBcmSignalQuality: {
      XLogLevel(kXLogTrace, type == UnsolicitedTypeSignalQuality ? "Dv: Unsolicited::cSignalQuality"
                                                                 : "Dv: Unsolicited::cBcmSignalQuality");
      SignalQuality quality;
      Read(line, ParseSignalQualityAnswer, quality);
      SetSignal(quality.value, quality.extended);
      return;
    }
    case UnsolicitedTypeWcdmaSignal: {
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cWcdmaSignalQuality");
      int value = 0;
      Read(line, ParseOeantAnswer, value);
      SetWcdmaSignal(value);
      return;
    }
    case UnsolicitedTypeCds:
    case UnsolicitedTypeCmt: {
      const bool status_report = type == UnsolicitedTypeCds;
      XLogLevel(kXLogTrace, status_report ? "Dv: Unsolicited::cStatusReport" : "Dv: Unsolicited::cNewMessage0");
      TemporaryMessage message;
      const DvResult parsed = ParseTemporaryMessageAnswer(line.ReadRest(), status_report, IsBroadcomCard(), message);
      if (DvFailed(parsed)) DvRaise(parsed);
      if (message.pdu.empty()) {
        XLogLevel(kXLogError, "Dv: Unsolicited::HandleUnsolicited(): PDU is empty!");
        return;
      }
      TemporaryMessageHandler handler;
      {
        std::lock_guard lock(temporary_handler_lock_);
        handler = temporary_handler_;
      }
      const DvResult rc = handler ? handler(status_report, message.pdu, message.length) : DV_E_NOT_SUPPORTED;
      if (DvFailed(rc)) {
        XLogLevel(kXLogError, "Dv: Unsolicited::HandleUnsolicited(): Processing temporary message failed with 0x%x",
                  rc);
      }
      return;
    }
    case UnsolicitedTypeSystemInfo: {
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cAccessTechnology");
      AccessTechnology technology = PacketSwitchedTechnologyNone;
      Read(line, ParseOssysiAnswer, technology);
      SetAccessTechnology(technology);
      if (technology != PacketSwitchedTechnologyNone) {
        if (IsRegistered(GetCsState())) RaiseEvent(EventCsNetworkStateChanged, 0);
        if (IsRegistered(GetPsState())) RaiseEvent(EventPsNetworkStateChanged, 0);
      }
      return;
    }
    case UnsolicitedTypeCusd: {
      XLogLevel(kXLogTrace, "Unsolicited::cUssdMessage");
      // Parsed first, so that a line that fails leaves nothing allocated.
      UssdReport report;
      Read(line, ParseCusdAnswer, report);
      RaiseUssdMessage(report.status, UssdDisplayText(report));
      // Whatever it says, the network has answered: the wait of the
      // request, if one runs, is over.
      PostToCommunicator(WM_USSD_ANSWERED);
      return;
    }
    case UnsolicitedTypeCellType: {
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cCellType");
      int cell_type = 0;
      Read(line, ParseOctiAnswer, cell_type);
      Set2GCellType(cell_type);
      return;
    }
    case UnsolicitedTypePdpContext: {
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cPdpContextChange");
      PdpContextReport report;
      Read(line, ParseOgactAnswer, report);
      PostToCommunicator(WM_PDP_CONTEXT, static_cast<platform::WPARAM>(report.context), report.state == 1 ? 1 : 0);
      return;
    }
    case UnsolicitedTypeRadioSwitch:
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cCellRadioSwitch");
      RaiseEvent(EventRadioStateChanged, 0);
      return;
    case UnsolicitedTypeIdleText: {
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cIdleText");
      std::u16string text;
      Read(line, ParseOidletextAnswer, text);
      SetIdleText(text);
      return;
    }
    case UnsolicitedTypeBcmRadioInfo: {
      XLogLevel(kXLogTrace, "Dv: Unsolicited::cBcmRadioTechnology");
      int edge = 0;
      Read(line, ParseMrinfoAnswer, edge);
      SetEdgeState(edge);
      return;
    }
    default:
      XLogLevel(kXLogTrace, "Dv: Ignored the unsupported unsolicited input...");
      return;
  }
}

}  // namespace GSM

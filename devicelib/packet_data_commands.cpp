// The packet-data context commands the data connections issue before they
// dial: APN, NDIS credentials, the WAN call and its state.
#include <string>

#include "devicelib/command_log.h"
#include "devicelib/command_pattern.h"
#include "devicelib/device_queries.h"
#include "devicelib/dv_api.h"
#include "devicelib/network_answers.h"

using namespace GSM;

namespace {

constexpr int kApnContext = 1;
constexpr uint32_t kNdisCredentialsTimeoutMs = 10000;

enum NdisAuthentication : int {
  NdisAuthenticationNone = 0,
  NdisAuthenticationPasswordAndUser = 1,
  NdisAuthenticationPasswordOnly = 2,
};

bool Empty(const char16_t* text) { return text == nullptr || *text == u'\0'; }

}  // namespace

namespace GSM {

DvResult SetApnOnCard(const char16_t* apn, bool check_port_busy) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard(check_port_busy ? 0u : unsigned{GuardSkipPortBusy});
    if (apn == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    device.SetCommand(u"AT+CGDCONT=");
    device.AppendCommandFormat("%d", kApnContext);
    device.AppendCommand(u",\"IP\",\"");
    device.AppendCommand(apn);
    device.AppendCommand(u'"');
    device.SendCommand(SendModeNormal);
    device.WaitFinal();
  });
}

DvResult SetNdisCredentialsOnCard(int authentication, const char16_t* user, const char16_t* password) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    const bool with_password =
        authentication == NdisAuthenticationPasswordAndUser || authentication == NdisAuthenticationPasswordOnly;
    if (with_password && Empty(password)) DvRaise(DV_E_INVALID_ARGUMENT);
    if (authentication == NdisAuthenticationPasswordAndUser && Empty(user)) DvRaise(DV_E_INVALID_ARGUMENT);
    device.SetCommand(u"AT$QCPDPP=1,");
    device.AppendCommandFormat("%d", authentication);
    // The log copy names the password's place; the user name stays readable.
    std::u16string logged = device.CommandText();
    if (with_password) {
      device.AppendCommand(u',');
      device.AppendCommand(password);
      logged += u",<password>";
    }
    if (authentication == NdisAuthenticationPasswordAndUser) {
      device.AppendCommand(u',');
      device.AppendCommand(user);
      logged += u',';
      logged += user;
    }
    device.SetTimeout(kNdisCredentialsTimeoutMs);
    LogMaskedCommand(logged);
    device.SendCommand(SendModeSensitive);
    device.WaitFinal();
  });
}

DvResult StartWanCall() {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    device.SetCommand(u"AT_OWANCALL=");
    device.AppendCommandFormat("%d", kApnContext);
    device.AppendCommand(u",1,1");
    device.SendCommand(SendModeNormal);
    device.WaitFinal();
  });
}

DvResult QueryWanCallState(int& state) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    device.SetCommand(u"AT_OWANCALL?");
    device.SendCommand(SendModeNormal);
    int result = 0;
    // One line per context; the list ends where no further line of the
    // prefix comes (the final "OK" reads as a missing answer, and has then
    // been consumed with the flush).
    for (;;) {
      try {
        device.ExpectLine(kOwancallPrefix);
      } catch (const DvException& e) {
        if (e.code != DV_E_UNEXPECTED_ANSWER) throw;
        break;
      }
      WanCallAnswer answer;
      if (DvFailed(ParseOwancallAnswer(device.ReadRest(), answer))) {
        device.FlushToFinal();
        break;
      }
      if (answer.cid == kApnContext) result = answer.state;
      device.DropLine();
    }
    state = result;
  });
}

}  // namespace GSM

DvResult DvSetApn(const char16_t* apn) { return SetApnOnCard(apn, true); }

DvResult DvGetApn(char16_t* apn) {
  ClearText(apn, kDvNumberSize);
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (apn == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    device.SetCommand(u"AT+CGDCONT?");
    device.SendCommand(SendModeNormal);
    std::u16string result;
    for (;;) {
      try {
        device.ExpectLine(kCgdcontPrefix);
      } catch (const DvException& e) {
        if (e.code != DV_E_UNEXPECTED_ANSWER) throw;
        break;
      }
      CgdcontAnswer answer;
      if (DvFailed(ParseCgdcontAnswer(device.ReadRest(), answer))) {
        device.FlushToFinal();
        break;
      }
      if (answer.cid == kApnContext) result = answer.apn;  // a later cid-1 line wins
      device.DropLine();
    }
    CopyText(apn, kDvNumberSize, result);
  });
}

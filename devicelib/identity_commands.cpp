// The card's identity: model name, firmware and hardware versions, IMEI and
// serial number.
#include <string>

#include "devicelib/command_pattern.h"
#include "devicelib/dv_api.h"
#include "devicelib/sim_answers.h"
#include "foundation/xlog.h"

using namespace GSM;

namespace {

// A call that copies the first answer line of `command` whole.
DvResult FirstLineCall(char16_t* text, size_t capacity, std::u16string_view command) {
  ClearText(text, capacity);
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (text == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    std::u16string line;
    SendQuery(device, command, u"", kEngineDefaultTimeout, [&](std::u16string_view rest) {
      line.assign(rest);
      return DV_S_OK;
    });
    CopyText(text, capacity, line);
  });
}

// "AT+CGSN" as cards other than Broadcom-based ones answer it: IMEI, comma,
// serial number.
CgsnAnswer QueryCgsn(Device& device) {
  CgsnAnswer answer;
  SendQuery(device, u"AT+CGSN", u"", kEngineDefaultTimeout,
            [&](std::u16string_view line) { return ParseCgsnAnswer(line, answer); });
  return answer;
}

}  // namespace

DvResult DvGetDeviceName(char16_t* text) { return FirstLineCall(text, kDvNameSize, u"AT+CGMM"); }

DvResult DvGetFirmwareInfo(char16_t* text) { return FirstLineCall(text, kDvNameSize, u"AT+CGMR"); }

DvResult DvGetHardwareInfo(char16_t* text) {
  ClearText(text, kDvNameSize);
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (text == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    std::u16string version;
    // A standard card has no hardware version command: none to show.
    if (device.IsStandardCard()) return;
    try {
      SendQuery(device, u"AT_OHWV", kOhwvPrefix, kEngineDefaultTimeout,
                [&](std::u16string_view fields) { return ParseOhwvAnswer(fields, version); });
    } catch (const DvException& e) {
      // Cards without a hardware version answer ERROR: an absent version.
      if (e.code != DV_E_ERROR) throw;
      version.clear();
    }
    CopyText(text, kDvNameSize, version);
  });
}

DvResult DvGetImeiNumber(char16_t* text) {
  ClearText(text, kDvNumberSize);
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (text == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    // These cards answer the IMEI alone, as 27.007 has it.
    if (device.IsBroadcomCard() || device.IsStandardCard()) {
      std::u16string line;
      SendQuery(device, u"AT+CGSN", u"", kEngineDefaultTimeout, [&](std::u16string_view rest) {
        line.assign(rest);
        return DV_S_OK;
      });
      CopyText(text, kDvNumberSize, line);
      return;
    }
    const CgsnAnswer answer = QueryCgsn(device);
    if (!answer.has_comma) {
      XLogLevel(kXLogWarning, "Dv: No IMEI found in the answer");
      return;
    }
    CopyText(text, kDvNumberSize, answer.imei);
  });
}

DvResult DvGetDeviceSerialNumber(char16_t* text) {
  ClearText(text, kDvNameSize);
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (text == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    if (device.IsBroadcomCard()) {
      std::u16string serial;
      SendQuery(device, u"AT_OGSN", kOgsnPrefix, kEngineDefaultTimeout,
                [&](std::u16string_view fields) { return ParseOgsnAnswer(fields, serial); });
      CopyText(text, kDvNameSize, serial);
      return;
    }
    const CgsnAnswer answer = QueryCgsn(device);
    if (!answer.has_comma) {
      XLogLevel(kXLogWarning, "Dv: No serial number found in the answer");
      return;
    }
    CopyText(text, kDvNameSize, answer.serial);
  });
}

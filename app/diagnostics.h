// What the diagnostics page shows about the card, the SIM and the network:
// collected by the worker thread on request, kept in the device cache.
#pragma once

#include <string>

#include "devicelib/own_phone_numbers.h"

class CDiagnostics {
 public:
  CDiagnostics() = default;
  CDiagnostics(const CDiagnostics&) = default;
  CDiagnostics& operator=(const CDiagnostics&) = default;
  virtual ~CDiagnostics() = default;

  void Clear() { *this = CDiagnostics(); }

  std::u16string DeviceName;
  std::u16string SerialNumber;
  std::u16string FirmwareVersion;
  std::u16string HardwareVersion;
  std::u16string Imsi;
  std::u16string Imei;
  std::u16string Iccid;
  std::u16string PhoneNumbers;  // joined with ";"
  int NetworkSelectionMode = 0;  // 0 automatic, 1 manual
  int PsAttached = 0;
};

#include "carddetect/os_type.h"

#include "foundation/xsystem.h"

NwOsType DetermineOsType(const platform::OSVERSIONINFO& info) {
  if (IsNt4OrLower(info)) return kNwOsNt;
  if (IsNt50(info)) return kNwOs2k;
  if (IsNtLaterThan50(info)) return kNwOsXp;
  if (IsWin98(info)) return kNwOs98;
  if (IsWin9xVersion490OrLater(info)) return kNwOsMe;
  return kNwOsUnknown;
}

NwOsType DetermineOsType() {
  platform::OSVERSIONINFO info{};
  if (!GetVersionInfo(&info)) return kNwOsUnknown;
  return DetermineOsType(info);
}

std::string_view OsIdentifier(NwOsType os) {
  switch (os) {
    case kNwOsNt: return "Nt";
    case kNwOs98: return "98";
    case kNwOsMe: return "Me";
    case kNwOs2k: return "2k";
    case kNwOsXp: return "Xp";
    case kNwOsUnknown: return {};
  }
  return {};
}

std::string_view OsGroupIdentifier(NwOsType os) {
  switch (os) {
    case kNwOsNt: return "Nt";
    case kNwOs98:
    case kNwOsMe: return "Ga";
    case kNwOs2k:
    case kNwOsXp: return "Ad";
    case kNwOsUnknown: return {};
  }
  return {};
}

// The operating-system type the card database is read for: it picks the
// "XX" key forms (the OS identifier and the group identifier) and gates the
// SlowWakeUp rule.
#pragma once

#include <string_view>

#include "platform/system_info.h"

enum NwOsType : int {
  kNwOsNt = 1,   // NT 4.0 or earlier
  kNwOs98 = 2,
  kNwOsMe = 3,
  kNwOs2k = 4,
  kNwOsXp = 5,   // XP or any later NT version
  kNwOsUnknown = 99,
};

// The type for a version record; Windows 95 and anything unrecognised is
// kNwOsUnknown.
NwOsType DetermineOsType(const platform::OSVERSIONINFO& info);
// The type of the running system; kNwOsUnknown when the version query fails.
NwOsType DetermineOsType();

// The two identifiers that replace "XX" in a key: the system's own ("Nt",
// "98", "Me", "2k", "Xp") and its group's ("Nt", "Ga", "Ad"). Empty for
// kNwOsUnknown.
std::string_view OsIdentifier(NwOsType os);
std::string_view OsGroupIdentifier(NwOsType os);

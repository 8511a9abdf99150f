#include "carddetect/card_db.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <climits>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <utility>

#include "carddetect/device_text.h"
#include "carddetect/number_scan.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"
#include "platform/codepage.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace {

// The keys in the order of the key table; the index is what the section's
// values are stored under. "XX" stands for the OS and group identifiers.
enum KeyIndex : size_t {
  kKeyHeader,
  kKeySupported,
  kKeyModel,
  kKeyFamily,
  kKeyStackType,
  kKeyBusType,
  kKeyHardwareId,
  kKeyAtiKey,
  kKeyWwanNicName,
  kKeySmartCardReader,
  kKeyPortType,
  kKeyDriverCap,
  kKeyWwanCap,
  kKeyWlanCap,
  kKeyModemName,
  kKeyModemDetect,
  kKeyAppPortName,
  kKeyAppPortDetect,
  kKeyApp2PortName,
  kKeyApp2PortDetect,
  kKeyDbgPortName,
  kKeyDbgPortDetect,
  kKeyWwanNdisPortName,
  kKeyWwanNdisPortDetect,
  kKeyCount,
};

constexpr std::array<std::string_view, kKeyCount> kKeys = {
    "[",
    "Supported=",
    "Model=",
    "Family=",
    "StackType=",
    "BusType=",
    "HardwareId=",
    "AtiKey=",
    "WwanNicName=",
    "SmartCardReader=",
    "XXPortType=",
    "XXDriverCap=",
    "XXWwanCap=",
    "XXWlanCap=",
    "XXModemName=",
    "XXModemDetect=",
    "XXAppPortName=",
    "XXAppPortDetect=",
    "XXApp2PortName=",
    "XXApp2PortDetect=",
    "XXDbgPortName=",
    "XXDbgPortDetect=",
    "XXWwanNdisPortName=",
    "XXWwanNdisPortDetect=",
};

constexpr std::array<KeyIndex, 11> kMandatoryKeys = {
    kKeyHeader,     kKeySupported, kKeyModel,     kKeyFamily,  kKeyStackType, kKeyBusType,
    kKeyHardwareId, kKeyPortType,  kKeyDriverCap, kKeyWwanCap, kKeyWlanCap,
};

// Both forms of a key; they are the same text for the keys without "XX".
struct KeyForms {
  std::u16string first;
  std::u16string second;
};

using SectionValues = std::array<std::optional<std::u16string>, kKeyCount>;

std::array<KeyForms, kKeyCount> BuildKeyForms(NwOsType os) {
  std::array<KeyForms, kKeyCount> forms;
  for (size_t i = 0; i < kKeyCount; ++i) {
    std::u16string key = platform::Utf8ToUtf16(kKeys[i]);
    if (kKeys[i].starts_with("XX")) {
      forms[i].first = platform::Utf8ToUtf16(OsIdentifier(os)) + key.substr(2);
      forms[i].second = platform::Utf8ToUtf16(OsGroupIdentifier(os)) + key.substr(2);
    } else {
      forms[i].first = key;
      forms[i].second = std::move(key);
    }
  }
  return forms;
}

bool IsAbsentOrEmpty(const std::optional<std::u16string>& value) { return !value || value->empty(); }

std::string TextOrEmpty(const std::optional<std::u16string>& value) {
  return value ? platform::Utf16ToUtf8(*value) : std::string();
}

uint32_t BusFromText(std::u16string_view text) {
  if (EqualsIgnoringCase(text, u"PCMCIA")) return kCardBusPcmcia;
  if (EqualsIgnoringCase(text, u"USB")) return kCardBusUsb;
  if (EqualsIgnoringCase(text, u"PCI")) return kCardBusPci;
  return kCardBusOther;
}

// The numeric fields of a section, converted in the order the format lists
// them; false when any conversion fails.
bool ConvertNumbers(const SectionValues& values, CardDbEntry& entry) {
  size_t pos = 0;
  auto hex = [&](KeyIndex key, uint32_t& out) {
    pos = 0;
    const auto value = ScanHex(*values[key], pos);
    if (value) out = *value;
    return value.has_value();
  };
  auto dec = [&](KeyIndex key, int32_t& out) {
    pos = 0;
    const auto value = ScanDecimal(*values[key], pos);
    if (value) out = *value;
    return value.has_value();
  };
  return hex(kKeyModel, entry.Model) && dec(kKeyFamily, entry.Family) && dec(kKeyStackType, entry.Stack) &&
         dec(kKeyPortType, entry.AppPortType) && hex(kKeyDriverCap, entry.DriverCapabilities) &&
         hex(kKeyWwanCap, entry.WwanCapabilities) && hex(kKeyWlanCap, entry.WlanCapabilities);
}

// A driver flag the section sets without the names the detection needs for
// it: the flag goes and so do the half-given names, so that detection neither
// searches for a sub-device it cannot name nor reports a capability it never
// finds.
void RepairFlag(CardDbEntry& entry, uint32_t flag, bool consistent, const char* message,
                std::initializer_list<std::optional<std::u16string>*> values) {
  if ((entry.DriverCapabilities & flag) == 0 || consistent) return;
  XLogLevel(kXLogWarning, message, platform::Utf16ToUtf8(entry.Name).c_str());
  entry.DriverCapabilities &= ~flag;
  for (auto* value : values) value->reset();
}

void ApplyConsistencyRules(CardDbEntry& entry) {
  RepairFlag(entry, CardDriverCapabilitiesMultiplexing,
             !IsAbsentOrEmpty(entry.AppPortNames) && !IsAbsentOrEmpty(entry.AppPortDetect),
             "Nw: ExtractCardInfo(): Inconsistent card database entry for card [%s], application port name a/o "
             "detection method is empty or not found but driver flag indicates multiplexing on this OS, "
             "removing flag...",
             {&entry.AppPortNames, &entry.AppPortDetect});
  RepairFlag(entry, CardDriverCapabilitiesWwanNic, !IsAbsentOrEmpty(entry.WwanNicNames),
             "Nw: ExtractCardInfo(): Inconsistent card database entry for card [%s], WWAN NIC device name is "
             "empty or not found but driver flag indicates it on this OS, removing flag...",
             {&entry.WwanNicNames});
  RepairFlag(entry, CardDriverCapabilitiesWwanNdisPort,
             !IsAbsentOrEmpty(entry.WwanNdisPortPattern) && !IsAbsentOrEmpty(entry.WwanNdisPortDetect),
             "Nw: ExtractCardInfo(): Inconsistent card database entry for card [%s], WWAN NDIS port name a/o "
             "detection mode is empty or not found but driver flag indicates it on this OS, removing flag...",
             {&entry.WwanNdisPortPattern, &entry.WwanNdisPortDetect});
  RepairFlag(entry, CardDriverCapabilitiesSmartCardReader, !IsAbsentOrEmpty(entry.SmartCardReaderNames),
             "Nw: ExtractCardInfo(): Inconsistent card database entry for card [%s], Smart card name is empty "
             "or not found but driver flag indicates it on this OS, removing flag...",
             {&entry.SmartCardReaderNames});
}

// Finishes one section: validates it, turns it into an entry and appends the
// entry. Whatever happens, the section's values are gone afterwards so that
// the next section starts empty.
void ExtractCardInfo(SectionValues& values, NwOsType os, std::vector<CardDbEntry>& entries) {
  SectionValues section;
  std::swap(section, values);

  // A section missing a mandatory key is dropped silently; so is whatever
  // stood before the first header.
  for (KeyIndex key : kMandatoryKeys) {
    if (!section[key]) return;
  }

  CardDbEntry entry;
  if (!ConvertNumbers(section, entry)) {
    XLogLevel(kXLogError, "Nw: ExtractCardInfo(): invalid card information record, skipping card [%s",
              TextOrEmpty(section[kKeyHeader]).c_str());
    return;
  }
  entry.Supported = !section[kKeySupported]->empty() && (*section[kKeySupported])[0] == u'1';
  entry.Bus = BusFromText(*section[kKeyBusType]);

  try {
    const std::u16string& header = *section[kKeyHeader];
    entry.Name = header.size() > 1 ? header.substr(0, header.size() - 1) : header;
  } catch (const std::bad_alloc&) {
    XLogLevel(kXLogError, "Nw: ExtractCardInfo(): out of memory, skipping card [%s",
              TextOrEmpty(section[kKeyHeader]).c_str());
    return;
  }

  entry.HardwareIds = std::move(*section[kKeyHardwareId]);
  entry.AtiKey = std::move(section[kKeyAtiKey]);
  entry.WwanNicNames = std::move(section[kKeyWwanNicName]);
  entry.SmartCardReaderNames = std::move(section[kKeySmartCardReader]);
  entry.ModemNames = std::move(section[kKeyModemName]);
  entry.ModemDetect = std::move(section[kKeyModemDetect]);
  entry.AppPortNames = std::move(section[kKeyAppPortName]);
  entry.AppPortDetect = std::move(section[kKeyAppPortDetect]);
  entry.App2PortNames = std::move(section[kKeyApp2PortName]);
  entry.App2PortDetect = std::move(section[kKeyApp2PortDetect]);
  entry.DbgPortNames = std::move(section[kKeyDbgPortName]);
  entry.DbgPortDetect = std::move(section[kKeyDbgPortDetect]);
  entry.WwanNdisPortPattern = std::move(section[kKeyWwanNdisPortName]);
  entry.WwanNdisPortDetect = std::move(section[kKeyWwanNdisPortDetect]);

  // Technology selection is a property of the WWAN capabilities, whatever
  // the section's DriverCap says about it.
  if (entry.WwanCapabilities >= 0x8 && (entry.WwanCapabilities & 0x6) != 0) {
    entry.DriverCapabilities |= CardDriverCapabilitiesTechnologySelection;
  } else {
    entry.DriverCapabilities &= ~CardDriverCapabilitiesTechnologySelection;
  }

  ApplyConsistencyRules(entry);

  // These cards come back from standby before their multiplexing driver
  // does; detection waits longer for them.
  entry.SlowWakeUp = os >= kNwOs2k && (entry.DriverCapabilities & CardDriverCapabilitiesMultiplexing) != 0 &&
                     (entry.Family == 1 || entry.Family == 2 || IsSlowWakeUpModel(entry.Model));

  if (entries.size() >= kMaxCardDbEntries) {
    XLogLevel(kXLogWarning, "Nw: ExtractCardInfo(): card table is full (%zu cards), skipping card [%s",
              kMaxCardDbEntries, TextOrEmpty(section[kKeyHeader]).c_str());
    return;
  }
  entries.push_back(std::move(entry));
}

// Where the next line starts and how long it is; the rules of GetNextLine,
// on bytes or on the units they convert to (the line ends and '#' are ASCII,
// so they are the same units in both). The cursor ends on the line end that
// closed the line, or at the end of the text.
template <typename Char>
std::optional<std::basic_string_view<Char>> NextLineSpan(std::basic_string_view<Char> text, size_t& cursor) {
  bool in_comment = false;
  bool started = false;
  size_t start = 0;
  for (; cursor < text.size(); ++cursor) {
    const Char c = text[cursor];
    if (c == Char('\r') || c == Char('\n')) {
      if (started) break;
      in_comment = false;
      continue;
    }
    if (started || in_comment) continue;
    if (c == Char('#')) {
      in_comment = true;
    } else {
      started = true;
      start = cursor;
    }
  }
  if (!started) return std::nullopt;
  return text.substr(start, cursor - start);
}

void ReportNoMemory() { XLogLevel(kXLogError, "Nw: GetNextLine(): not enough memory"); }

// The database text in UTF-16. Code page 1252 maps every byte to one unit, so
// the result has the text's length and each unit stands at its byte's offset;
// for the same reason the text can be converted in pieces that ignore the line
// structure. Throws std::bad_alloc when the buffer cannot be had or the
// conversion fails.
std::u16string ConvertText(std::string_view text) {
  std::u16string wide(text.size(), u'\0');
  constexpr size_t kPiece = static_cast<size_t>(INT_MAX);
  for (size_t done = 0; done < text.size();) {
    const int length = static_cast<int>(std::min(text.size() - done, kPiece));
    if (platform::MultiByteToWideChar(platform::kCpAcp, 0, text.data() + done, length, wide.data() + done, length) !=
        length) {
      throw std::bad_alloc();
    }
    done += static_cast<size_t>(length);
  }
  return wide;
}

}  // namespace

std::optional<std::u16string> GetNextLine(std::string_view text, size_t& cursor) {
  const std::optional<std::string_view> bytes = NextLineSpan(text, cursor);
  if (!bytes) return std::nullopt;
  try {
    return ConvertText(*bytes);
  } catch (const std::bad_alloc&) {
    ReportNoMemory();
    cursor = text.size();
    return std::nullopt;
  }
}

std::optional<std::u16string> GetNextLine(std::u16string_view text, size_t& cursor) {
  const std::optional<std::u16string_view> units = NextLineSpan(text, cursor);
  if (!units) return std::nullopt;
  try {
    return std::u16string(*units);
  } catch (const std::bad_alloc&) {
    ReportNoMemory();
    cursor = text.size();
    return std::nullopt;
  }
}

uint32_t ReadCardDb(std::string_view text, NwOsType os, std::vector<CardDbEntry>& entries) {
  if (OsIdentifier(os).empty()) {
    XLogLevel(kXLogError, "Nw: ReadCardDb(): Could not determine OS type (?)");
    return platform::kResultFail;
  }
  const std::array<KeyForms, kKeyCount> keys = BuildKeyForms(os);

  // The text is converted once, up front; the lines are then views into it.
  // Without the memory for it the parse ends at once, as GetNextLine ends it.
  std::u16string wide;
  try {
    wide = ConvertText(text);
  } catch (const std::bad_alloc&) {
    ReportNoMemory();
  }
  const std::u16string_view units = wide;

  SectionValues values;
  size_t cursor = 0;
  while (std::optional<std::u16string_view> line = NextLineSpan(units, cursor)) {
    for (size_t i = 0; i < kKeyCount; ++i) {
      // The first line for a key wins, in either of its forms; only a header
      // is taken again, as it starts the next section.
      if (i != kKeyHeader && values[i]) continue;
      const KeyForms& key = keys[i];
      const bool first = StartsWithIgnoringCase(*line, key.first);
      if (!first && !StartsWithIgnoringCase(*line, key.second)) continue;
      if (i == kKeyHeader) ExtractCardInfo(values, os, entries);
      values[i] = std::u16string(line->substr(first ? key.first.size() : key.second.size()));
      break;
    }
  }
  ExtractCardInfo(values, os, entries);

  XLogLevel(kXLogInformation, "Nw: Successfully loaded information for %d cards", static_cast<int>(entries.size()));
  return 0;
}

namespace {

uint32_t ResourceStepFailed(const char* step) {
  uint32_t error = platform::GetLastError();
  if (error == 0) error = platform::kResultFail;
  XLogLevel(kXLogError, "Nw: InitializeCardDb(): %s failed with 0x%x", step, error);
  return error;
}

}  // namespace

uint32_t InitializeCardDb(CardDb& db, platform::HMODULE module) {
  db.entries.clear();
  const bool custom = module != nullptr;
  if (custom) {
    db.module = module;
  } else {
    module = db.module;
  }

  platform::HRSRC resource = platform::FindResource(module, kCardDbResourceId, kCardDbResourceType);
  if (resource == nullptr) return ResourceStepFailed("FindResource");
  platform::HGLOBAL data = platform::LoadResource(module, resource);
  if (data == nullptr) return ResourceStepFailed("LoadResource");
  const void* bytes = platform::LockResource(data);
  if (bytes == nullptr) return ResourceStepFailed("LockResource");
  // An empty database is valid, so a size of 0 is a failure only when the
  // call says so through the last error.
  platform::SetLastError(0);
  const uint32_t size = platform::SizeofResource(module, resource);
  if (size == 0 && platform::GetLastError() != 0) return ResourceStepFailed("SizeOfResource");

  const NwOsType os = DetermineOsType();
  if (os == kNwOsUnknown) {
    XLogLevel(kXLogError, "Nw: InitializeCardDb(): Could not determine OS type");
    return platform::kErrorNotReady;
  }

  XLogLevel(kXLogTrace, "Nw: Loading resources from resource 0x%" PRIxPTR " (%s)",
            reinterpret_cast<uintptr_t>(module), custom ? "custom" : "EXE");
  const uint32_t result = ReadCardDb(std::string_view(static_cast<const char*>(bytes), size), os, db.entries);
  if (result != 0) db.entries.clear();
  return result;
}

uint32_t ReleaseCardDb(CardDb& db) {
  std::vector<CardDbEntry>().swap(db.entries);
  XLogLevel(kXLogInformation, "Nw: Card information database released");
  return 0;
}

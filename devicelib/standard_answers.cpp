#include "devicelib/standard_answers.h"

#include <array>
#include <cstddef>
#include <new>

#include "platform/win32_error.h"

namespace GSM {

namespace {

// One comma-separated field of an answer, blanks around it dropped; for a
// quoted field the text between the quotes (to the end when the closing one
// is missing). Views into the answer: reading allocates nothing.
struct Field {
  std::u16string_view text;
  bool quoted = false;
};

// The most fields any of these answers has that we read; more are ignored.
constexpr size_t kMaxFields = 8;

struct Fields {
  std::array<Field, kMaxFields> at{};
  size_t count = 0;
};

std::u16string_view Trimmed(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

Field FieldOf(std::u16string_view raw) {
  Field field;
  const std::u16string_view text = Trimmed(raw);
  if (!text.empty() && text.front() == u'"') {
    field.quoted = true;
    const std::u16string_view inner = text.substr(1);
    field.text = inner.substr(0, inner.find(u'"'));
  } else {
    field.text = text;
  }
  return field;
}

// Commas inside double quotes belong to the text (an operator "A,B").
Fields SplitFields(std::u16string_view answer) {
  Fields fields;
  bool in_quotes = false;
  size_t start = 0;
  for (size_t i = 0; i <= answer.size() && fields.count < kMaxFields; ++i) {
    if (i < answer.size()) {
      if (answer[i] == u'"') in_quotes = !in_quotes;
      if (answer[i] != u',' || in_quotes) continue;
    }
    fields.at[fields.count++] = FieldOf(answer.substr(start, i - start));
    start = i + 1;
  }
  return fields;
}

// An unquoted decimal of at most nine digits (no sign), so it fits an int.
std::optional<int> Decimal(const Field& field) {
  if (field.quoted || field.text.empty() || field.text.size() > 9) return std::nullopt;
  int value = 0;
  for (char16_t ch : field.text) {
    if (ch < u'0' || ch > u'9') return std::nullopt;
    value = value * 10 + (ch - u'0');
  }
  return value;
}

// 1 to 8 hexadecimal digits, quoted or not.
std::optional<uint32_t> Hexadecimal(const Field& field) {
  if (field.text.empty() || field.text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char16_t ch : field.text) {
    uint32_t digit = 0;
    if (ch >= u'0' && ch <= u'9') {
      digit = ch - u'0';
    } else if (ch >= u'A' && ch <= u'F') {
      digit = ch - u'A' + 10;
    } else if (ch >= u'a' && ch <= u'f') {
      digit = ch - u'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
  }
  return value;
}

// What can stand where n or stat stands; some cards pad them with zeros
// ("002,001").
bool IsSmallDecimal(const Field& field, int max) {
  const std::optional<int> value = Decimal(field);
  return value && field.text.size() <= 3 && *value <= max;
}

constexpr int kMaxReportMode = 5;  // n
constexpr int kMaxStat = 11;

}  // namespace

RadioTechnology RadioTechnologyOfAct(int act) {
  switch (act) {
    case 0:
    case 1:
      return RadioTechnologyGsm;
    case 2:
      return RadioTechnologyUmts;
    case 3:
    case 8:
      return RadioTechnologyEdge;
    case 4:
      return RadioTechnologyHsdpa;
    case 5:
      return RadioTechnologyHsupa;
    case 6:
      return RadioTechnologyHspa;
    case 7:
    case 9:
    case 10:
      return RadioTechnologyLte;
    case 11:
    case 12:
    case 13:
      return RadioTechnology5g;
    default:
      return RadioTechnologyUnknown;
  }
}

RadioTechnology WithPacketService(RadioTechnology technology, bool packet_registered) {
  return technology == RadioTechnologyGsm && packet_registered ? RadioTechnologyGprs : technology;
}

const char* RadioTechnologyName(int technology) {
  static constexpr std::array<const char*, 10> kNames = {"Unknown", "GSM",   "GPRS", "EDGE", "UMTS",
                                                          "HSDPA",   "HSUPA", "HSPA", "LTE",  "5G"};
  if (technology < 0 || static_cast<size_t>(technology) >= kNames.size()) return kNames[0];
  return kNames[static_cast<size_t>(technology)];
}

AccessTechnology AccessTechnologyOfRadio(RadioTechnology technology) {
  switch (technology) {
    case RadioTechnologyUnknown:
      return PacketSwitchedTechnologyNone;
    case RadioTechnologyGsm:
    case RadioTechnologyGprs:
    case RadioTechnologyEdge:
      return PacketSwitchedTechnologyGprs;
    case RadioTechnologyUmts:
    case RadioTechnologyHsdpa:
    case RadioTechnologyHsupa:
    case RadioTechnologyHspa:
      return PacketSwitchedTechnologyUmts;
    case RadioTechnologyLte:
      return PacketSwitchedTechnologyLte;
    case RadioTechnology5g:
      return PacketSwitchedTechnology5g;
  }
  return PacketSwitchedTechnologyNone;
}

NetworkType NetworkTypeOfRadio(RadioTechnology technology) {
  switch (AccessTechnologyOfRadio(technology)) {
    case PacketSwitchedTechnologyNone:
    case PacketSwitchedTechnologyGprs:
      return NetworkTypeGsm;
    case PacketSwitchedTechnologyUmts:
      return NetworkTypeUmts;
    case PacketSwitchedTechnologyLte:
      return NetworkTypeLte;
    case PacketSwitchedTechnology5g:
      return NetworkType5g;
  }
  return NetworkTypeGsm;
}

bool IsHspaTechnology(RadioTechnology technology) {
  return technology == RadioTechnologyHsdpa || technology == RadioTechnologyHsupa ||
         technology == RadioTechnologyHspa;
}

int NetworkStateOfStat(int stat) {
  switch (stat) {
    case 6:
    case 9:
      return NetworkState::Registered;
    case 7:
    case 10:
      return NetworkState::RegisteredRoaming;
    default:
      return stat >= 0 && stat <= NetworkState::RegisteredRoaming ? stat : NetworkState::NotRegistered;
  }
}

DvResult ParseRegistrationRecord(std::u16string_view answer, RegistrationRecord& out) {
  const Fields fields = SplitFields(answer);
  const bool starts_with_n =
      fields.count >= 2 && IsSmallDecimal(fields.at[0], kMaxReportMode) && IsSmallDecimal(fields.at[1], kMaxStat);
  const size_t first = starts_with_n ? 1 : 0;
  const std::optional<int> stat = Decimal(fields.at[first]);
  if (!stat) return DV_E_UNEXPECTED_ANSWER;
  RegistrationRecord record;
  record.stat = *stat;
  if (fields.count > first + 1) record.lac = Hexadecimal(fields.at[first + 1]);
  if (fields.count > first + 2) record.ci = Hexadecimal(fields.at[first + 2]);
  if (fields.count > first + 3) record.act = Decimal(fields.at[first + 3]);
  out = record;
  return DV_S_OK;
}

DvResult ParseCopsAnswer(std::u16string_view answer, CopsAnswer& out) {
  try {
    const Fields fields = SplitFields(answer);
    const std::optional<int> mode = Decimal(fields.at[0]);
    if (!mode) return DV_E_UNEXPECTED_ANSWER;
    CopsAnswer cops;
    cops.mode = *mode;
    if (fields.count >= 2) {
      cops.format = Decimal(fields.at[1]);
      const bool has_operator = fields.count >= 3 && (fields.at[2].quoted || !fields.at[2].text.empty());
      if (!cops.format || !has_operator) return DV_E_UNEXPECTED_ANSWER;
      cops.oper = fields.at[2].text;
      if (fields.count >= 4) cops.act = Decimal(fields.at[3]);
      if (cops.act) cops.technology = RadioTechnologyOfAct(*cops.act);
    }
    out = std::move(cops);
    return DV_S_OK;
  } catch (const std::bad_alloc&) {
    return platform::kResultOutOfMemory;
  }
}

DvResult ParseStandardCpinAnswer(std::u16string_view answer, CpinAnswer& out) {
  try {
    std::u16string_view state = Trimmed(answer);
    if (state.size() >= 2 && state.front() == u'"' && state.back() == u'"') state = state.substr(1, state.size() - 2);
    CpinAnswer cpin;
    cpin.text = answer;
    cpin.state = PinPukStateFromText(state);
    out = std::move(cpin);
    return DV_S_OK;
  } catch (const std::bad_alloc&) {
    return platform::kResultOutOfMemory;
  }
}

DvResult ParseCpinrAnswer(std::u16string_view answer, PinPukRetries& retries) {
  const Fields fields = SplitFields(answer);
  const std::optional<int> count = fields.count >= 2 ? Decimal(fields.at[1]) : std::nullopt;
  if (fields.at[0].text.empty() || !count) return DV_E_UNEXPECTED_ANSWER;
  const PinPukState code = PinPukStateFromText(fields.at[0].text);
  if (code == PinPukStateSimPin) retries.pin = *count;
  if (code == PinPukStateSimPuk) retries.puk = *count;
  return DV_S_OK;
}

DvResult ParseCmgdTestAnswer(std::u16string_view answer, int& lowest) {
  std::u16string_view text = Trimmed(answer);
  if (text.empty() || text.front() != u'(') return DV_E_UNEXPECTED_ANSWER;
  text.remove_prefix(1);
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= u'0' && text[digits] <= u'9') ++digits;
  const std::optional<int> first = Decimal(Field{text.substr(0, digits), false});
  if (!first) return DV_E_UNEXPECTED_ANSWER;
  lowest = *first;
  return DV_S_OK;
}

}  // namespace GSM

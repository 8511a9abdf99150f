#include "devicelib/sms_time_stamp.h"

#include <array>

namespace SMS {
namespace {

constexpr char16_t kDigits[] = u"0123456789ABCDEF";
constexpr int64_t kDaysFrom1601To1970 = 134774;
constexpr int64_t kFileTimeUnitsPerSecond = 10'000'000;
constexpr uint8_t kZoneNegative = 0x8;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[static_cast<size_t>(month - 1)];
}

// Two decimal digits at `position` of `text`, or -1.
int TwoDigits(std::u16string_view text, size_t position) {
  const char16_t tens = text[position];
  const char16_t ones = text[position + 1];
  if (tens < u'0' || tens > u'9' || ones < u'0' || ones > u'9') return -1;
  return (tens - u'0') * 10 + (ones - u'0');
}

}  // namespace

std::u16string DecodeTimeStamp(const PduText& pdu, size_t position) {
  static constexpr char16_t kSeparators[] = u"//,::";
  std::u16string text;
  for (size_t i = 0; i < 6; ++i) {
    const uint8_t octet = pdu.Byte(position + 2 * i);
    text.push_back(kDigits[octet & 0xF]);
    text.push_back(kDigits[octet >> 4]);
    if (i < 5) text.push_back(kSeparators[i]);
  }
  const uint8_t zone = pdu.Byte(position + 12);
  uint8_t first = zone & 0xF;
  const bool negative = (first & kZoneNegative) != 0;
  if (negative) first = static_cast<uint8_t>(first - kZoneNegative);
  text.push_back(negative ? u'-' : u'+');
  text.push_back(kDigits[first]);
  text.push_back(kDigits[zone >> 4]);
  return text;
}

uint64_t TimeStampToFileTime(std::u16string_view text) {
  // yy/MM/dd,hh:mm:ss+zz
  if (text.size() != 20 || text[2] != u'/' || text[5] != u'/' || text[8] != u',' ||
      text[11] != u':' || text[14] != u':' || (text[17] != u'+' && text[17] != u'-')) {
    return 0;
  }
  const int yy = TwoDigits(text, 0);
  const int month = TwoDigits(text, 3);
  const int day = TwoDigits(text, 6);
  const int hour = TwoDigits(text, 9);
  const int minute = TwoDigits(text, 12);
  const int second = TwoDigits(text, 15);
  const int quarters = TwoDigits(text, 18);
  if (yy < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59 || quarters < 0) {
    return 0;
  }
  const int year = yy < 90 ? 2000 + yy : 1900 + yy;
  if (day > DaysInMonth(year, month)) return 0;
  const int64_t zone_seconds = (text[17] == u'-' ? -1 : 1) * int64_t{quarters} * 15 * 60;
  const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                       kDaysFrom1601To1970;
  const int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second - zone_seconds;
  return static_cast<uint64_t>(seconds) * kFileTimeUnitsPerSecond;
}

}  // namespace SMS

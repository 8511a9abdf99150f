// Decoding throughput of the program's SMS codec side by side with libgammu's
// PDU decoder, on the same PDUs of the shared corpus, and the rows on which
// the two read a different address, time stamp, alphabet or text. libgammu
// is linked into this program alone, as the yardstick.
//
// A plain program, not a Google Benchmark: both decoders run in one process
// over the same data, and the report needs both rates at once.
#include <gammu.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench/data/sms_pdu_corpus.h"
#include "devicelib/sms_pdu_decoder.h"
#include "foundation/xlog.h"
#include "platform/text.h"

namespace {

using bench_data::CorpusPdu;
using bench_data::kCorpusPdus;

// What both decoders agree to tell: the fields compared.
struct Reading {
  bool valid = false;
  std::string address;
  int64_t utc_seconds = 0;  // of the service-centre time stamp; 0 for none
  int alphabet = -1;        // 0 GSM 7-bit, 1 8-bit, 2 UCS2
  std::u16string text;
};

std::u16string Utf16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// ---- the program's codec ----------------------------------------------------

void DecodeOurs(const std::u16string& pdu, uint32_t length, SmsMessage& message) {
  SMS::DecodeSmsMessage(pdu, length, false, 1, 0, kSmsStorageReceivedUnread, message);
}

Reading OurReading(const SmsMessage& m) {
  Reading r;
  r.valid = m.MessageType != kSmsMessageTypeInvalid;
  if (!r.valid) return r;
  r.address = platform::Utf16ToUtf8(m.Address);
  // File time: 100 ns since 1601.
  if (m.TimeStamp != 0) r.utc_seconds = static_cast<int64_t>(m.TimeStamp / 10000000) - 11644473600LL;
  r.alphabet = static_cast<int>(m.Alphabet);
  r.text = m.Text;
  return r;
}

// ---- libgammu ----------------------------------------------------------------

std::vector<unsigned char> Binary(const char* hex) {
  std::vector<unsigned char> out;
  auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) out.push_back(static_cast<unsigned char>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
  return out;
}

bool DecodeGammu(const std::vector<unsigned char>& pdu, bool has_smsc, GSM_SMSMessage& sms) {
  size_t end = 0;
  return GSM_DecodePDUFrame(GSM_GetGlobalDebug(), &sms, pdu.data(), pdu.size(), &end, has_smsc) == ERR_NONE;
}

// gammu's strings: UCS-2, big-endian, two zero bytes at the end.
std::u16string GammuString(const unsigned char* s) {
  std::u16string out;
  for (size_t i = 0; s[i] || s[i + 1]; i += 2) out.push_back(static_cast<char16_t>(s[i] << 8 | s[i + 1]));
  return out;
}

int64_t GammuUtc(const GSM_DateTime& t) {
  if (t.Year == 0) return 0;
  std::tm tm{};
  tm.tm_year = t.Year - 1900;
  tm.tm_mon = t.Month - 1;
  tm.tm_mday = t.Day;
  tm.tm_hour = t.Hour;
  tm.tm_min = t.Minute;
  tm.tm_sec = t.Second;
  return static_cast<int64_t>(timegm(&tm)) - t.Timezone;
}

Reading GammuReading(bool ok, const GSM_SMSMessage& sms) {
  Reading r;
  r.valid = ok;
  if (!ok) return r;
  r.address = platform::Utf16ToUtf8(GammuString(sms.Number));
  r.utc_seconds = sms.PDU == SMS_Submit ? 0 : GammuUtc(sms.DateTime);
  switch (sms.Coding) {
    case SMS_Coding_Default_No_Compression:
    case SMS_Coding_Default_Compression:
      r.alphabet = 0;
      break;
    case SMS_Coding_8bit:
      r.alphabet = 1;
      break;
    case SMS_Coding_Unicode_No_Compression:
    case SMS_Coding_Unicode_Compression:
      r.alphabet = 2;
      break;
  }
  if (sms.Coding == SMS_Coding_8bit) {
    for (int i = 0; i < sms.Length; ++i) r.text.push_back(static_cast<char16_t>(sms.Text[i]));
  } else {
    r.text = GammuString(sms.Text);
  }
  return r;
}

// ---- printing ----------------------------------------------------------------

std::string Printable(const std::u16string& text) {
  std::string out = "\"";
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out + "\"";
}

std::string Time(int64_t utc) {
  if (utc == 0) return "none";
  const std::time_t t = static_cast<std::time_t>(utc);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%SZ", &tm);
  return buffer;
}

std::string Alphabet(int a) {
  switch (a) {
    case 0:
      return "GSM 7-bit";
    case 1:
      return "8-bit";
    case 2:
      return "UCS2";
    default:
      return "none";
  }
}

// Prints every field the two read differently; the number of them.
int Compare(int row, const Reading& ours, const Reading& theirs) {
  int differences = 0;
  auto differ = [&](const char* field, const std::string& a, const std::string& b) {
    if (a == b) return;
    ++differences;
    std::printf("  row %2d  %-10s ours %s\n          %-10s gammu %s\n", row, field, a.c_str(), "", b.c_str());
  };
  differ("valid", ours.valid ? "yes" : "no", theirs.valid ? "yes" : "no");
  if (!ours.valid || !theirs.valid) return differences;
  differ("address", "\"" + ours.address + "\"", "\"" + theirs.address + "\"");
  differ("timestamp", Time(ours.utc_seconds), Time(theirs.utc_seconds));
  differ("alphabet", Alphabet(ours.alphabet), Alphabet(theirs.alphabet));
  differ("text", Printable(ours.text), Printable(theirs.text));
  return differences;
}

// Decodes the whole corpus again and again for about `seconds`; PDUs a second.
template <typename Pass>
double Rate(double seconds, Pass pass) {
  using Clock = std::chrono::steady_clock;
  const size_t per_pass = std::size(kCorpusPdus);
  pass();  // warm up
  size_t decoded = 0;
  const auto start = Clock::now();
  auto now = start;
  while (std::chrono::duration<double>(now - start).count() < seconds) {
    for (int i = 0; i < 50; ++i) pass();
    decoded += 50 * per_pass;
    now = Clock::now();
  }
  return static_cast<double>(decoded) / std::chrono::duration<double>(now - start).count();
}

}  // namespace

int main() {
  // Both decoders report what they refuse; the program's log lines are still
  // formatted (that is part of its cost) but go nowhere, gammu's are off.
  XLogSetSink([](const char*, void*) {}, nullptr);
  GSM_SetDebugLevel("nothing", GSM_GetGlobalDebug());
  GSM_SetDebugGlobal(FALSE, GSM_GetGlobalDebug());

  std::vector<std::u16string> ours_input;
  std::vector<std::vector<unsigned char>> gammu_input;
  for (const CorpusPdu& p : kCorpusPdus) {
    ours_input.push_back(Utf16(p.hex));
    gammu_input.push_back(Binary(p.hex));
  }

  std::printf("SMS PDU decoding, %zu PDUs of the corpus\n\n", std::size(kCorpusPdus));
  std::printf("Disagreements (address, time stamp, alphabet, text; rows both decoders accept):\n");
  int rows_differing = 0;
  int fields_differing = 0;
  for (size_t i = 0; i < std::size(kCorpusPdus); ++i) {
    const CorpusPdu& p = kCorpusPdus[i];
    SmsMessage message;
    DecodeOurs(ours_input[i], p.tpdu_length, message);
    GSM_SMSMessage sms{};
    const bool ok = DecodeGammu(gammu_input[i], p.has_smsc, sms);
    const int n = Compare(p.row, OurReading(message), GammuReading(ok, sms));
    fields_differing += n;
    rows_differing += n > 0 ? 1 : 0;
  }
  std::printf("%d of %zu rows disagree (%d fields)\n\n", rows_differing, std::size(kCorpusPdus), fields_differing);

  // The measured loops keep their results where the compiler must assume
  // they are read.
  static volatile uint32_t sink = 0;
  const double ours = Rate(1.0, [&] {
    SmsMessage message;
    for (size_t i = 0; i < ours_input.size(); ++i) {
      DecodeOurs(ours_input[i], kCorpusPdus[i].tpdu_length, message);
      sink = sink + message.Text[0];
    }
  });
  const double gammu = Rate(1.0, [&] {
    GSM_SMSMessage sms;
    for (size_t i = 0; i < gammu_input.size(); ++i) {
      DecodeGammu(gammu_input[i], kCorpusPdus[i].has_smsc, sms);
      sink = sink + sms.Text[1];
    }
  });
  std::printf("program's decoder (DecodePdu + FillSmsMessage): %12.0f PDUs/s\n", ours);
  std::printf("libgammu GSM_DecodePDUFrame:                    %12.0f PDUs/s\n", gammu);
  std::printf("ratio program / libgammu:                       %12.2f\n", ours / gammu);
  return 0;
}

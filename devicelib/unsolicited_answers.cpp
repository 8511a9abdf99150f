#include "devicelib/unsolicited_answers.h"

#include <algorithm>
#include <optional>

#include "devicelib/answer_fields.h"
#include "devicelib/ucs2.h"

namespace GSM {

namespace {

int ReadLastInt(Line& line) {
  int value = line.ReadInt();
  if (line.ExpectChar(u',', true)) value = line.ReadInt(true, value);
  return value;
}

}  // namespace

DvResult ParseRegistrationAnswer(std::u16string_view fields, int& stat) {
  return ReadAnswerFields(fields, [&](Line& line) { stat = ReadLastInt(line); });
}

DvResult ParseOctiAnswer(std::u16string_view fields, int& cell_type) {
  return ReadAnswerFields(fields, [&](Line& line) { cell_type = ReadLastInt(line); });
}

DvResult ParseSignalQualityAnswer(std::u16string_view fields, SignalQuality& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    const int value = line.ReadInt();
    line.ExpectChar(u',');
    out.extended = line.ReadInt();
    out.value = value;
  });
}

DvResult ParseOeantAnswer(std::u16string_view fields, int& wcdma_signal) {
  return ReadAnswerFields(fields, [&](Line& line) { wcdma_signal = line.ReadInt(); });
}

DvResult ParseOgactAnswer(std::u16string_view fields, PdpContextReport& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    const int context = line.ReadInt();
    line.ExpectChar(u',');
    out.state = line.ReadInt();
    out.context = context;
  });
}

DvResult ParseOidletextAnswer(std::u16string_view fields, std::u16string& text) {
  return ReadAnswerFields(fields, [&](Line& line) {
    line.ReadInt();
    line.ExpectChar(u',');
    text = line.ReadQuoted();
  });
}

DvResult ParseMrinfoAnswer(std::u16string_view fields, int& edge) {
  return ReadAnswerFields(fields, [&](Line& line) {
    const int value = line.ReadInt();
    line.ExpectChar(u',');
    line.ReadInt();
    edge = (value >> 1) & 1;
  });
}

DvResult ParseOssysiAnswer(std::u16string_view fields, AccessTechnology& technology) {
  return ReadAnswerFields(fields, [&](Line& line) {
    switch (line.ReadInt()) {
      case 0: technology = PacketSwitchedTechnologyGprs; break;
      case 2: technology = PacketSwitchedTechnologyUmts; break;
      default: technology = PacketSwitchedTechnologyNone; break;
    }
  });
}

DvResult ParseCmtiAnswer(std::u16string_view fields, NewMessageReport& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    NewMessageReport report;
    report.storage = line.ReadQuoted();
    line.ExpectChar(u',');
    report.index = line.ReadInt();
    out = std::move(report);
  });
}

DvResult ParseCusdAnswer(std::u16string_view fields, UssdReport& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    UssdReport report;
    report.status = line.ReadInt();
    if (line.ExpectChar(u',', true)) {
      report.text = line.ReadQuoted();
      report.has_text = true;
      line.ExpectChar(u',');
      report.dcs = line.ReadInt();
    }
    out = std::move(report);
  });
}

std::u16string UssdDisplayText(const UssdReport& report) {
  constexpr int kUcs2WithLanguage = 0x11;
  const int dcs = report.dcs;
  const bool general_ucs2 = dcs >= 0 && dcs <= 0xFF && (dcs & 0xC0) == 0x40 && (dcs & 0x0C) == 0x08;
  if (!report.has_text || (!general_ucs2 && dcs != kUcs2WithLanguage)) return report.text;
  std::optional<std::u16string> decoded = DecodeUcs2Hex(report.text);
  if (!decoded) return report.text;
  if (dcs == kUcs2WithLanguage) decoded->erase(0, std::min<size_t>(1, decoded->size()));
  return *std::move(decoded);
}

DvResult ParseClipAnswer(std::u16string_view fields, CallerNumber& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    CallerNumber caller;
    caller.number = line.ReadQuoted();
    if (!caller.number.empty()) {
      const char16_t first = caller.number.front();
      if (first != u'+' && (first < u'0' || first > u'9')) {
        caller.number.clear();
        caller.unknown = true;
      }
    }
    out = std::move(caller);
  });
}

DvResult ParseTemporaryMessageAnswer(std::u16string_view fields, bool status_report, bool broadcom,
                                     TemporaryMessage& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    TemporaryMessage message;
    if (!status_report) {
      // The alpha field: most cards leave it empty, but some write it as a
      // quoted (usually empty) text, which is no int and would lose the
      // message if read as one.
      line.SkipSpaces();
      if (!line.AtEnd() && line.Text()[line.Cursor()] == u'"') {
        line.ReadQuoted();
      } else {
        line.ReadInt(true, 0);
      }
      line.ExpectChar(u',');
    }
    message.length = line.ReadInt();
    if (!status_report && broadcom) line.ExpectChar(u' ');
    line.ExpectChar(u';');
    message.pdu = line.ReadRest();
    out = std::move(message);
  });
}

}  // namespace GSM

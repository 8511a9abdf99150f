#include "devicelib/sim_answers.h"

#include <array>

#include "devicelib/answer_fields.h"

namespace GSM {

namespace {

struct PinPukText {
  PinPukState state;
  std::u16string_view text;
};

constexpr std::array<PinPukText, 13> kPinPukTexts{{
    {PinPukStateReady, u"READY"},
    {PinPukStateSimPin, u"SIM PIN"},
    {PinPukStateSimPuk, u"SIM PUK"},
    {PinPukStateSimPin2, u"SIM PIN2"},
    {PinPukStateSimPuk2, u"SIM PUK2"},
    {PinPukStatePhNetPin, u"PH-NET PIN"},
    {PinPukStatePhNetPuk, u"PH-NET PUK"},
    {PinPukStatePhNetSubPin, u"PH-NETSUB PIN"},
    {PinPukStatePhNetSubPuk, u"PH-NETSUB PUK"},
    {PinPukStatePhSpPin, u"PH-SP PIN"},
    {PinPukStatePhSpPuk, u"PH-SP PUK"},
    {PinPukStatePhCorpPin, u"PH-CORP PIN"},
    {PinPukStatePhCorpPuk, u"PH-CORP PUK"},
}};

}  // namespace

PinPukState PinPukStateFromText(std::u16string_view text) {
  // Every row is tried and the last match wins; with whole-text comparison
  // at most one can match, but a table with a repeated text stays defined.
  PinPukState state = PinPukStateUnknown;
  for (const PinPukText& row : kPinPukTexts) {
    if (row.text == text) state = row.state;
  }
  return state;
}

std::u16string_view PinPukStateCardText(PinPukState state) {
  for (const PinPukText& row : kPinPukTexts) {
    if (row.state == state) return row.text;
  }
  return {};
}

DvResult ParseCpinAnswer(std::u16string_view fields, CpinAnswer& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    out.text = line.ReadRest();
    out.state = PinPukStateFromText(out.text);
  });
}

DvResult ParseClckAnswer(std::u16string_view fields, bool& enabled) {
  return ReadAnswerFields(fields, [&](Line& line) { enabled = line.ReadInt() != 0; });
}

DvResult ParseCfunAnswer(std::u16string_view fields, RadioState& state) {
  return ReadAnswerFields(fields, [&](Line& line) {
    switch (line.ReadInt()) {
      case 1: state = RadioStateOn; break;
      case 4: state = RadioStateFlightMode; break;
      default: state = RadioStateOff; break;
    }
  });
}

DvResult ParseOercnAnswer(std::u16string_view fields, PinPukRetries& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    const int pin = line.ReadInt();
    line.ExpectChar(u',');
    out.puk = line.ReadInt();
    out.pin = pin;
  });
}

DvResult ParseOblsAnswer(std::u16string_view fields, bool& initialised) {
  return ReadAnswerFields(fields, [&](Line& line) {
    if (line.ReadInt() != 1) {
      initialised = false;
      return;
    }
    line.ExpectChar(u',');
    const int second = line.ReadInt();
    line.ExpectChar(u',');
    const int third = line.ReadInt();
    initialised = second == 1 && third == 1;
  });
}

DvResult ParseCrsmAnswer(std::u16string_view fields, CrsmAnswer& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    CrsmAnswer answer;
    answer.sw1 = line.ReadInt();
    line.ExpectChar(u',');
    answer.sw2 = line.ReadInt();
    line.ExpectChar(u',');
    answer.response = line.ReadQuoted();
    out = std::move(answer);
  });
}

DvResult ParseCnumAnswer(std::u16string_view fields, std::u16string& entry) {
  return ReadAnswerFields(fields, [&](Line& line) { entry = line.ReadRest(); });
}

DvResult ParseCgsnAnswer(std::u16string_view line, CgsnAnswer& out) {
  return ReadAnswerFields(u"", [&](Line&) {
    const size_t comma = line.find(u',');
    out.has_comma = comma != std::u16string_view::npos;
    out.imei.assign(line.substr(0, comma));
    out.serial.assign(out.has_comma ? line.substr(comma + 1) : std::u16string_view());
  });
}

DvResult ParseRemovabilityAnswer(std::u16string_view line, int& type) {
  if (line.find(u',') == std::u16string_view::npos) {
    type = kRemovabilityUndeterminable;
  } else if (line.find(u",Z") != std::u16string_view::npos) {
    type = 3;
  } else {
    type = 1;
  }
  return DV_S_OK;
}

DvResult ParseOhwvAnswer(std::u16string_view fields, std::u16string& hardware_version) {
  return ReadAnswerFields(fields, [&](Line& line) { hardware_version = line.ReadRest(); });
}

DvResult ParseOgsnAnswer(std::u16string_view fields, std::u16string& serial_number) {
  return ReadAnswerFields(fields, [&](Line& line) { serial_number = line.ReadRest(); });
}

}  // namespace GSM

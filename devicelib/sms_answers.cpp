#include "devicelib/sms_answers.h"

#include "devicelib/answer_fields.h"

namespace GSM {
namespace {

// stat, alpha, length: the part "+CMGR:" and "+CMGL:" share. The alpha field
// is quoted, empty between two commas, or missing with its comma.
void ReadStatusAndLength(Line& line, StoredMessageHeader& out) {
  out.status = line.ReadInt();
  line.ExpectChar(u',');
  line.ReadQuoted(true);
  line.ExpectChar(u',', true);
  out.length = line.ReadInt();
}

}  // namespace

DvResult ParseCscaAnswer(std::u16string_view fields, std::u16string& number) {
  return ReadAnswerFields(fields, [&](Line& line) { number = line.ReadQuoted(); });
}

DvResult ParseCpmsAnswer(std::u16string_view fields, StorageUse& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    StorageUse group;
    for (int i = 0; i < 3; ++i) {
      if (i > 0) line.ExpectChar(u',');
      line.ReadQuoted();
      line.ExpectChar(u',');
      group.used = line.ReadInt();
      line.ExpectChar(u',');
      group.total = line.ReadInt();
    }
    out = group;
  });
}

DvResult ParseCmgrHeader(std::u16string_view fields, StoredMessageHeader& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    StoredMessageHeader header;
    ReadStatusAndLength(line, header);
    out = header;
  });
}

DvResult ParseCmglHeader(std::u16string_view fields, StoredMessageHeader& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    StoredMessageHeader header;
    header.index = line.ReadInt();
    line.ExpectChar(u',');
    ReadStatusAndLength(line, header);
    out = header;
  });
}

DvResult ParseSubmitAnswer(std::u16string_view fields, int& number) {
  return ReadAnswerFields(fields, [&](Line& line) { number = line.ReadInt(); });
}

}  // namespace GSM

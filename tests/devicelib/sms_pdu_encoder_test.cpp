// Encoding of SMS-SUBMIT PDUs, and round trips through the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "devicelib/gsm_alphabet.h"
#include "devicelib/result_codes.h"
#include "devicelib/sms_address.h"
#include "devicelib/sms_pdu_decoder.h"
#include "devicelib/sms_pdu_encoder.h"
#include "devicelib/valid_char.h"
#include "platform/text.h"

namespace {

using platform::Utf16ToUtf8;

SmsMessage Message(std::u16string_view address, std::u16string_view text, uint32_t alphabet = 0,
                   std::u16string_view centre = u"") {
  SmsMessage message{};
  std::copy(address.begin(), address.end(), message.Address);
  std::copy(centre.begin(), centre.end(), message.ServiceCentre);
  std::copy(text.begin(), text.end(), message.Text);
  message.Alphabet = alphabet;
  return message;
}

DvResult EncodeFailure(const SmsMessage& message) {
  try {
    SMS::EncodePdu(message);
  } catch (const DvException& e) {
    return e.code;
  }
  return DV_S_OK;
}

// Encodes, decodes the result with the TPDU length it reported, and
// compares the fields that travel.
SMS::SmsPdu RoundTrip(const SmsMessage& message) {
  const SMS::EncodedPdu encoded = SMS::EncodePdu(message);
  const SMS::SmsPdu decoded = SMS::DecodePdu(encoded.Text, encoded.TpduLength);
  EXPECT_EQ(decoded.MessageType, kSmsMessageTypeSubmit) << Utf16ToUtf8(encoded.Text);
  EXPECT_EQ(Utf16ToUtf8(decoded.Address), Utf16ToUtf8(message.Address));
  EXPECT_EQ(Utf16ToUtf8(SMS::BinaryAddressToText(decoded.ServiceCentre)),
            Utf16ToUtf8(message.ServiceCentre));
  EXPECT_EQ(decoded.Alphabet, message.Alphabet);
  EXPECT_EQ(decoded.Class, message.Class >= 1 && message.Class <= 4 ? message.Class : 0u);
  EXPECT_EQ(decoded.StatusReportRequest, message.StatusReportRequest != 0);
  return decoded;
}

TEST(SmsPduEncoderTest, KnownPdus) {
  // No service centre, destination +123.
  SmsMessage plain = Message(u"+123", u"");
  plain.Validity = 0xA7;
  const SMS::EncodedPdu a = SMS::EncodePdu(plain);
  EXPECT_EQ(Utf16ToUtf8(a.Text), "01811100039121F30000A700");
  EXPECT_EQ(a.TpduLength, 10u);

  // linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c@9a2d586#test_create_pdu_gsm_with_smsc
  // (testdata/pdus.json), validity octet 0 there too.
  const SmsMessage mm = Message(u"+15555551234", u"Hi there...Tue 17th Jan 2012 05:30.18 pm (GMT+1) ΔΔΔΔΔ", 0,
                                u"+19037029920");
  const SMS::EncodedPdu b = SMS::EncodePdu(mm);
  EXPECT_EQ(Utf16ToUtf8(b.Text),
            "07919130079229F011000B915155551532F400000036C834888E2ECBCB2E978B5A2F8362373A1AA40CBB4132584C0682D57433982B8603C1DB20D4B1495DC552200804028100");
  EXPECT_EQ(b.TpduLength, static_cast<uint32_t>(b.Text.size() / 2 - 8));

  // pmarti/python-messaging:messaging/test/test_sms.py@8c62c14#test_encoding_message_with_latin1_chars(1):
  // the same TPDU after our "01 81" for no service centre.
  SmsMessage latin = Message(u"+34654123456", u"Hölä");
  latin.Validity = 0xAA;
  EXPECT_EQ(Utf16ToUtf8(SMS::EncodePdu(latin).Text), "018111000B914356143254F60000AA04483E7B0F");

  // Status report requested, class 1, UCS2.
  SmsMessage report = Message(u"123", u"あ", 2);
  report.StatusReportRequest = 1;
  report.Class = 2;
  EXPECT_EQ(Utf16ToUtf8(SMS::EncodePdu(report).Text), "01813100038121F3001900023042");
}

TEST(SmsPduEncoderTest, APartOfALongMessageCarriesItsHeaderBeforeTheText) {
  SmsMessage gsm = Message(u"+123", u"hello");
  gsm.Validity = 0xA7;
  const SmsConcatenation part{0x2A, 3, 2};
  struct Case {
    const char* name;
    SmsMessage message;
    const char* pdu;
    uint32_t tpdu_length;
  };
  SmsMessage ucs2 = Message(u"+123", u"\u0416a", kDvAlphabetUcs2);
  ucs2.Validity = 0xA7;
  // Worked out by hand: TP-UDHI in the first octet, UDH 05 00 03 <ref>
  // <total> <seq>; in 7-bit data one fill bit, then the text from septet 7.
  const Case cases[] = {
      {"GSM", gsm, "01815100039121F30000A70C0500032A0302D06536FB0D", 21},
      {"UCS2", ucs2, "01815100039121F30008A70A0500032A030204160061", 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SMS::EncodedPdu encoded = SMS::EncodePdu(c.message, part);
    EXPECT_EQ(Utf16ToUtf8(encoded.Text), c.pdu);
    EXPECT_EQ(encoded.TpduLength, c.tpdu_length);
    SmsMessageDetails details;
    SMS::DecodeSmsMessageDetails(encoded.Text, encoded.TpduLength, false, 1, 0, 2, details);
    EXPECT_EQ(Utf16ToUtf8(details.Message.Text), Utf16ToUtf8(c.message.Text));
    EXPECT_EQ(details.Concatenation.Reference, 0x2Au);
    EXPECT_EQ(details.Concatenation.Total, 3u);
    EXPECT_EQ(details.Concatenation.Sequence, 2u);
  }

  // A full part of 153 septets whose last character is escaped: nothing is
  // cut, and the 154th septet is.
  const std::u16string full = std::u16string(151, u'x') + u"\u20AC";
  const SmsMessage long_part = Message(u"+123", full + u"y");
  const SMS::EncodedPdu cut = SMS::EncodePdu(long_part, SmsConcatenation{1, 2, 1});
  SmsMessageDetails details;
  SMS::DecodeSmsMessageDetails(cut.Text, cut.TpduLength, false, 1, 0, 2, details);
  EXPECT_EQ(Utf16ToUtf8(details.Message.Text), Utf16ToUtf8(full));

  // Numbers the 8-bit header cannot carry send nothing.
  for (const SmsConcatenation bad : {SmsConcatenation{256, 2, 1}, SmsConcatenation{1, 1, 1},
                                     SmsConcatenation{1, 256, 1}, SmsConcatenation{1, 3, 0},
                                     SmsConcatenation{1, 3, 4}}) {
    DvResult code = DV_S_OK;
    try {
      SMS::EncodePdu(gsm, bad);
    } catch (const DvException& e) {
      code = e.code;
    }
    EXPECT_EQ(code, DV_E_INVALID_ARGUMENT) << bad.Reference << " " << bad.Total << " " << bad.Sequence;
  }
}

TEST(SmsPduEncoderTest, RefusesNumbersItCannotCarry) {
  const std::u16string refused[] = {u"12*34", u"*100#", u"+49 171", u"12+34", u"++1",
                                    u"123456789012345678901", u"+123456789012345678901", u"0171-1234"};
  for (const auto& number : refused) {
    EXPECT_EQ(EncodeFailure(Message(number, u"x")), DV_E_UNUSABLE_MESSAGE) << Utf16ToUtf8(number);
    EXPECT_EQ(EncodeFailure(Message(u"1", u"x", 0, number)), DV_E_UNUSABLE_MESSAGE)
        << Utf16ToUtf8(number);
  }
  EXPECT_EQ(EncodeFailure(Message(u"12345678901234567890", u"x")), DV_S_OK);
  EXPECT_EQ(EncodeFailure(Message(u"+12345678901234567890", u"x")), DV_S_OK);
  EXPECT_EQ(EncodeFailure(Message(u"#12abcABC", u"x")), DV_S_OK);
  EXPECT_EQ(EncodeFailure(Message(u"1", u"x", 3)), DV_E_INVALID_ARGUMENT);
}

TEST(SmsPduEncoderTest, CapacityCuts) {
  // 160 "a" and a euro sign: the escape pair would be septets 161 and 162.
  SmsMessage full = Message(u"1", std::u16string(159, u'a') + u"€");
  EXPECT_EQ(RoundTrip(full).Text, std::u16string(159, u'a'));
  // A record without a terminator: the text is read up to 160 characters.
  SmsMessage unterminated = Message(u"1", u"");
  std::fill(std::begin(unterminated.Text), std::end(unterminated.Text), u'b');
  EXPECT_EQ(RoundTrip(unterminated).Text, std::u16string(160, u'b'));
  // UCS2: 70 units, and a surrogate pair is not split.
  SmsMessage wide = Message(u"1", std::u16string(69, u'中') + u"\U0001F600", 2);
  EXPECT_EQ(RoundTrip(wide).Text, std::u16string(69, u'中'));
  SmsMessage wider = Message(u"1", std::u16string(80, u'中'), 2);
  EXPECT_EQ(RoundTrip(wider).Text, std::u16string(70, u'中'));
  // 8-bit: 140 octets of code page 949, not inside a two-octet character.
  SmsMessage korean = Message(u"1", u"a" + std::u16string(80, u'한'), 1);
  EXPECT_EQ(RoundTrip(korean).Text, u"a" + std::u16string(69, u'한'));
}

TEST(SmsPduEncoderTest, EveryGsmCharacterRoundTrips) {
  std::u16string all;
  for (uint8_t code = 0; code < 128; ++code) {
    if (code != GSM::kGsmEscape) all.push_back(GSM::GsmToUnicode(code, false));
  }
  std::u16string extension;
  for (uint8_t code = 0; code < 128; ++code) {
    const char16_t ch = GSM::GsmToUnicode(code, true);
    if (ch != GSM::kGsmNoCharacter) extension.push_back(ch);
  }
  // Every 160-character window over the alphabet, the extension characters
  // mixed in, and the boundary texts.
  const std::u16string cycle = all + extension + all;
  for (size_t start = 0; start + 1 < all.size(); start += 7) {
    const std::u16string text = cycle.substr(start, 160);
    std::u16string expected;
    size_t septets = 0;
    for (const char16_t ch : text) {
      bool escaped = false;
      GSM::UnicodeToGsm(ch, escaped);
      if (septets + (escaped ? 2 : 1) > 160) break;
      septets += escaped ? 2 : 1;
      expected.push_back(ch);
    }
    EXPECT_EQ(RoundTrip(Message(u"+4917", text, 0, u"+4917")).Text, expected) << start;
  }
  EXPECT_EQ(RoundTrip(Message(u"1", extension)).Text, extension);
  for (const size_t length : {1u, 7u, 8u, 9u, 15u, 16u, 159u, 160u}) {
    for (const char16_t ch : {u'@', u'\r', u'A', u'€'}) {
      const std::u16string text(length, ch);
      const size_t cost = ch == u'€' ? 2 : 1;
      EXPECT_EQ(RoundTrip(Message(u"1", text)).Text, text.substr(0, 160 / cost))
          << length << " x " << int{ch};
    }
  }
}

TEST(SmsPduEncoderTest, Ucs2And8BitRoundTrip) {
  std::u16string ucs2;
  for (char16_t ch = 0x4E00; ucs2.size() < 68; ch += 97) ucs2.push_back(ch);
  ucs2 += u"\U0001F600";
  SmsMessage wide = Message(u"+8613800138000", ucs2, 2, u"+8613800100500");
  wide.Class = 1;
  wide.StatusReportRequest = 1;
  EXPECT_EQ(RoundTrip(wide).Text, ucs2);
  SmsMessage eight = Message(u"0", u"Hello, 안녕하세요", 1);
  eight.Class = 4;
  EXPECT_EQ(RoundTrip(eight).Text, u"Hello, 안녕하세요");
  EXPECT_EQ(RoundTrip(Message(u"", u"", 1)).Text, u"");
}

}  // namespace

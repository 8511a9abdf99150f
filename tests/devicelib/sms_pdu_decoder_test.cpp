// Decoding of SMS PDUs: real PDUs captured by other programs' test suites
// (copied from testdata/pdus.json; each row names its source) and malformed
// ones, in one table. Where our rules read a PDU differently from the program
// that captured it, the row says so and ours hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>
#include <optional>
#include <string>

#include "devicelib/sms_address.h"
#include "devicelib/sms_hex.h"
#include "devicelib/sms_packers.h"
#include "devicelib/sms_pdu_decoder.h"
#include "devicelib/sms_time_stamp.h"
#include "platform/text.h"
#include "tests/support/log_capture.h"

namespace {

using platform::Utf16ToUtf8;

struct Concat {
  int reference = 0;
  int total = 1;
  int sequence = 1;
};

struct Row {
  const char* source;
  std::u16string pdu;
  uint32_t reported_length;
  uint32_t message_type;
  const char16_t* service_centre;  // nullptr: not asserted
  const char16_t* address;
  const char16_t* text;
  std::optional<uint64_t> file_time;  // UTC
  Concat concat;
};

// Every field that the row asserts, and the invariants that hold for every
// record: no text beyond its field, type 0 leaves everything empty.
void Check(const Row& row) {
  const SMS::SmsPdu pdu = SMS::DecodePdu(row.pdu, row.reported_length);
  SCOPED_TRACE(row.source);
  EXPECT_EQ(pdu.MessageType, row.message_type);
  EXPECT_LE(pdu.Text.size(), kSmsTextMax);
  if (pdu.MessageType == kSmsMessageTypeInvalid) {
    EXPECT_TRUE(pdu.Text.empty() && pdu.Address.empty());
    return;
  }
  SmsMessage message;
  SMS::FillSmsMessage(pdu, 1, 7, 1, message);
  EXPECT_EQ(message.Stored, 1u);
  EXPECT_EQ(message.Index, 7u);
  if (row.service_centre) {
    EXPECT_EQ(Utf16ToUtf8(message.ServiceCentre), Utf16ToUtf8(row.service_centre));
  }
  if (row.address) {
    EXPECT_EQ(Utf16ToUtf8(message.Address), Utf16ToUtf8(row.address));
  }
  if (row.text) {
    EXPECT_EQ(Utf16ToUtf8(message.Text), Utf16ToUtf8(row.text));
  }
  if (row.file_time) {
    EXPECT_EQ(message.TimeStamp, *row.file_time) << Utf16ToUtf8(pdu.TimeStamp);
  }
  EXPECT_EQ(pdu.ConcatReference, row.concat.reference);
  EXPECT_EQ(pdu.ConcatTotal, row.concat.total);
  EXPECT_EQ(pdu.ConcatSequence, row.concat.sequence);
}

TEST(SmsPduDecoderTest, CapturedPdus) {
  const Row rows[] = {
    {"linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c@9a2d5863eb21957767dbc826b481080c08736590#test_pdu1",
     u"07912104442961F4040B916171957291F800001120821105050A6AC8B2BC7C9A83C220F6DB7D2ECB41EDF27C1E3E97411BDE06754FD3D1A0F9BB5D0695F1F4B29B5C2683C6E8B03C3CA697E5F34D6AE303D1D1F2F7DD0D4ABB59A0797D8C0685E7A00028EC26832A960B28EC2683BE6050780EBA97D96C17",
     112, 1, u"+12404492164", u"+16175927198", u"Here's a longer message [{with some extended characters}] thrown in, such as \u00A3 and \u03A9\u03A0\u03A8 and \u00A7\u00BF as well.", 129433854500000000ull, {}},
    {"linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c@9a2d5863eb21957767dbc826b481080c08736590#test_pdu3_nzpid",
     u"07912143658709F1040B918100551512F2FF00111010214365000AE8329BFD4697D9EC37",
     28, 1, u"+12345678901", u"+18005551212", u"hellohello", 129383588960000000ull, {}},
    {"linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c@9a2d5863eb21957767dbc826b481080c08736590#test_pdu3_8bit",
     u"07912143658709F1040B918100551512F20004111010214365000AE8329BFD4697D9EC37DE",
     29, 1, u"+12345678901", u"+18005551212", nullptr, 129383588960000000ull, {}},
    {"linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c@9a2d5863eb21957767dbc826b481080c08736590#test_pdu_udhi",
     u"07911356131313F64004850120390011609232239180A006080400100201D7327BFD6EB340E2321BF46E83EA7790F59D1E97DBE1341B442F83C465763D3DA797E56537C81D0ECB41AB59CC1693C16031D96C064241E5656838AF03A96230982A269BCD462917C8FA4E8FCBED709A0D7ABBE9F6B0FB5C7683D27350984D4FABC9A0B33C4C4FCF5D20EBFB2D079DCB62793DBD06D9C36E50FB2D4E97D9A0B49B5E96BBCB",
     155, 1, u"+31653131316", u"1002", u"Welkom, bel om uw Voicemail te beluisteren naar +31612001233 (PrePay: *100*1233#). Voicemail ontvangen is altijd gratis. Voor gebruik van mobiel interne", 129538567390000000ull, {16, 2, 1}},
    {"linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c@9a2d5863eb21957767dbc826b481080c08736590#test_pdu_stored_by_us",
     u"002100098136397339F70008224F60597D4F60597D4F60597D4F60597D4F60597D4F60597D4F60597D4F60597D4F60",
     46, 3, nullptr, u"639337937", u"\u4F60\u597D\u4F60\u597D\u4F60\u597D\u4F60\u597D\u4F60\u597D\u4F60\u597D\u4F60\u597D\u4F60\u597D\u4F60", std::nullopt, {}},
    {"linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c@9a2d5863eb21957767dbc826b481080c08736590#test_pdu_no_address",
     u"000ABF00",
     3, 0, nullptr, nullptr, nullptr, std::nullopt, {}},
    {"linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c@9a2d5863eb21957767dbc826b481080c08736590#test_pdu_wrong_udh",
     u"00F101010C0000000000",
     9, 0, nullptr, nullptr, nullptr, std::nullopt, {}},
    {"linux-mobile-broadband/ModemManager:src/tests/test-modem-helpers.c@9a2d5863eb21957767dbc826b481080c08736590#test_cmgr_response_telit",
     u"07916163838428F9040B916121021021F700005190514164220A23C4B0BCFD5E8740C4B0BCFD5E83C26E3248196687C9A0301D440DBBC3677918",
     50, 1, nullptr, nullptr, nullptr, std::nullopt, {}},
    {"rilmodem/ofono (fork of oFono):unit/test-sms.c@efc9c0a85d32706bc088e449e847be41dcc73b3d#test_alnum_sender",
     u"0791447758100650040DD0F334FC1CA6970100008080312170224008D4F29CDE0EA7D9",
     27, 1, u"+447785016005", u"sipgate", u"Testmail", 128630992420000000ull, {}},
    {"rilmodem/ofono (fork of oFono):unit/test-sms.c@efc9c0a85d32706bc088e449e847be41dcc73b3d#test_simple_mwi",
     u"07913366002020F8040B913366600600F100C83180706174148000",
     19, 1, u"+33660002028", u"+33660660001", u"", 130203604610000000ull, {}},
    {"rilmodem/ofono (fork of oFono):unit/test-sms.c@efc9c0a85d32706bc088e449e847be41dcc73b3d#Test EMS UDH 1",
     u"0041000B915121551532F40000631A0A031906200A032104100A032705040A032E05080A043807002B8ACD29A85D9ECFC3E7F21C340EBB41E3B79B1E4EBB41697A989D1EB340E2379BCC02B1C3F27399059AB7C36C3628EC2683C66FF65B5E2683E8653C1D",
     100, 3, nullptr, nullptr, u"EMS messages can contain italic, bold, large, small and colored text", std::nullopt, {}},
    {"rilmodem/ofono (fork of oFono):unit/test-sms.c@efc9c0a85d32706bc088e449e847be41dcc73b3d#test_assembly(assembly_pdu2)",
     u"038121F340048155550119906041001222048C0500031E03020432043E043C002E000A041D0430043A043E043D04350446002C0020043D043500200432002004410438043B04300445002004340430043B043504350020044204350440043F04350442044C002C0020043E043D00200441044204400435043C043804420435043B044C043D043E002004320431043504360430043B002004320020043A043E",
     155, 1, nullptr, nullptr, nullptr, std::nullopt, {30, 3, 2}},
    // Captured without the service-centre field (the TPDU alone); a card always sends one, so we read
    // the first octet as its length and refuse it: type 0. The same TPDU after "00" is the next row.
    {"rilmodem/ofono (fork of oFono):unit/test-sms.c@efc9c0a85d32706bc088e449e847be41dcc73b3d#test_sr_assembly(sr_pdu1)",
     u"06040D91945152991136F00160124130340A0160124130940A00",
     26, 0, nullptr, nullptr, nullptr, std::nullopt, {}},
    {"rilmodem/ofono (fork of oFono):unit/test-sms.c@efc9c0a85d32706bc088e449e847be41dcc73b3d#Test WAP Push 1",
     u"0791947122725014440185F039F501801140311480720605040B8423F00106246170706C69636174696F6E2F766E642E7761702E6D6D732D6D65737361676500AF84B4868C82984F67514B4B42008D9089088045726F74696B009650696E2D557073008A808E0240008805810303F48083687474703A2F2F657073332E64652F4F2F5A39495A4F00",
     128, 1, nullptr, nullptr, nullptr, std::nullopt, {}},
    {"pmarti/python-messaging:messaging/test/test_sms.py@8c62c14e519d30de8534de2a4a51fa8d3998c81a#test_decoding_datetime_gmtplusone",
     u"0791447758100650040C914497716247010000909010711423400A2050EC468B81C4733A",
     28, 1, nullptr, u"+447917267410", u"  1741 bst", std::nullopt, {}},
    {"pmarti/python-messaging:messaging/test/test_sms.py@8c62c14e519d30de8534de2a4a51fa8d3998c81a#test_decoding_number_alphanumeric(even)",
     u"07919333852804000412D0F7FBDD454FB75D693A0000903002801153402BCD301E9F0605D9E971191483C140412A35690D52832063D2F9040599A058EE05A3BD6430580E",
     60, 1, u"+393358824000", u"www.tim.it", u"Maxxi Alice 100 ATTIVATA FINO AL 19/04/2009", std::nullopt, {}},
    {"pmarti/python-messaging:messaging/test/test_sms.py@8c62c14e519d30de8534de2a4a51fa8d3998c81a#test_decode_weird_multipart_german_pdu(2)",
     u"07919471227210244405852122F039F1015062712181804F050003190202E4E8309B5E7683DAFC319A5E76B340F73D9A5D7683A6E93268FD9ED3CB6EF67B0E5AD172B19B2C2693C9602E90355D6683A6F0B007946E8382F5393BEC26BB00",
     86, 1, nullptr, nullptr, u"rhalten m\u00F6chten, w\u00E4hlen Sie kostenlos +4917212220. Viel Spa\u00DF im Ausland.", std::nullopt, {25, 2, 2}},
    {"LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java@0f172cf70189c6a91c3663d9f879cca4fcf2ddc8#testAddressing(2)",
     u"07914151551512F2040B916105551511F100036060924180008A0DA8695DAC2E8FE9296A794E07",
     31, 1, u"+14155551212", u"+16505551111", u"(Subject)Test", std::nullopt, {}},
    {"LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java@0f172cf70189c6a91c3663d9f879cca4fcf2ddc8#testUdh(1)",
     u"07914140279510F6440A8111110301003BF56080207130138A8C0B05040B8423F000032A02010106276170706C69636174696F6E2F766E642E7761702E6D6D732D6D65737361676500AF848D0185B4848C8298524E453955304A6D713551414142666C414141414D7741414236514141414141008D908918802B31353132323937373638332F545950453D504C4D4E008A808E022B918805810306977F83687474703A2F2F36",
     158, 1, nullptr, nullptr, nullptr, std::nullopt, {42, 2, 1}},
    {"LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java@0f172cf70189c6a91c3663d9f879cca4fcf2ddc8#testMultipart(1)",
     u"07916163838408F6440B816105224431F700007060217175830AA005000300020162B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562",
     159, 1, nullptr, nullptr, u"111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111", std::nullopt, {0, 2, 1}},
    {"LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java@0f172cf70189c6a91c3663d9f879cca4fcf2ddc8#testCPHSVoiceMail(clear1)",
     u"07912160130310F20404D0100041006021924193352B0120",
     16, 1, nullptr, nullptr, nullptr, std::nullopt, {}},
    {"LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java@0f172cf70189c6a91c3663d9f879cca4fcf2ddc8#testCingularVoiceMail(clear)",
     u"07912180958750F84401800500C07020027160112B06040102000000",
     20, 1, nullptr, nullptr, nullptr, std::nullopt, {}},
    {"LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java@0f172cf70189c6a91c3663d9f879cca4fcf2ddc8#testExtendedCharacterTable",
     u"07914151551512F2040B916105551511F100006080615131728A44D4F29C0E2AE3E96537B94C068DD16179784C2FCB41F4B0985D06B958ADD00FB0E94536AF974974DA6D281BA00E95E26D509B946FC3DBF87A25D56A04",
     79, 1, u"+14155551212", u"+16505551111", u"Test extended character table .,-!?@~_\\/&\"';^|:()<{}>[]=%*+#", std::nullopt, {}},
    {"bg111/asterisk-chan-dongle:test/parse.c@1161b7cec4a2964de40573daca2ce1ef07bf642a#test_parse_cmgr",
     u"07913306000000F0440B913306000000F0000061011012939280A0050003CA020182E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3",
     159, 1, nullptr, u"+33600000000", u"Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaaaa Aaa", std::nullopt, {202, 2, 1}},
    {"bg111/asterisk-chan-dongle:test/parse.c@1161b7cec4a2964de40573daca2ce1ef07bf642a#test_parse_cmgr",
     u"07912933035011804409D055F3DB5D060000411120712071022A080701030003990202A09976D7E9E5390B640FB3D364103DCD668364B3562CD692C1623417",
     55, 1, nullptr, u"Ufone", u"Minutes, valid till 23-11-2014.", std::nullopt, {153, 2, 2}},
    {"gammu/gammu:tests/at-sms/04.dump@78fd6a9212f3271a28c46f1cb8f7c302cd43a9b0",
     u"07914487200030230406D04F59040000601191806243009F4F990E947DD741EEF71D840EDBCBA0FCBB2E0751CB783A28E8CED3D3ED3268068381AA4B10BD8CA7CF412650AC2904BDCD2072981E06D1DFA0FABC0CA2A3D373509B8E7681A4E576B92D2ECB41F43788FE86B7EA7010280603BDE5A0F65B5E0689CBE6B7BC0C8ADD6232980D447F83CE653A28FFAECB416679B90C0AB3D9EF7BD83D2E83DC653C1DD4A6A301",
     156, 1, nullptr, nullptr, nullptr, std::nullopt, {}},
    // The card reported 78 octets for a TPDU of 159: refused by the length check (gammu does not check).
    {"gammu/gammu:tests/at-sms/22.dump@78fd6a9212f3271a28c46f1cb8f7c302cd43a9b0",
     u"0791246020099990400C91247042972767000070107031107440A005000301020182E8B71A040FDBD96516881E5E83DA65907D5C968741EEF49AFC06B9CBEFB53C4C66B34061771AE42EEBDDE1799AED4EB34161D0BA0E7F93D3F63A483D2FB74161771AE42ED7E7EE3A3BCC0285C720FABB5D07B5DF6390BB3C1FA3C3FA32FBAD4BB940D43219342F83C6E8FC9C1E6E83E0F2F0F86D0FD3416150FBAD77874169903B0CA2BF41",
     78, 0, nullptr, nullptr, nullptr, std::nullopt, {}},
    // Reported 29 octets for a TPDU of 167 (FF padding after TP-ST): refused by the length check.
    {"gammu/gammu:tests/at-sms/32.dump@78fd6a9212f3271a28c46f1cb8f7c302cd43a9b0",
     u"079124602009999002AB098106845688F8907080517375809070805183018000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF",
     29, 0, nullptr, nullptr, nullptr, std::nullopt, {}},
    {"gammu/gammu:tests/at-sms/39.dump@78fd6a9212f3271a28c46f1cb8f7c302cd43a9b0",
     u"07914336120011F10404A14949000021807001253040356C76B81D268741F0B29C9C268741E4B20EB49AD16CB19BAD368BD96EA0B71B04BBBD603810284C078162315D2CE70289EBFAE1AC0CB2BFF52C10FC2D0799C3F6B71CC46687DB6550980D8AC962",
     92, 1, nullptr, nullptr, nullptr, std::nullopt, {}},
    // Reported 164 octets for a TPDU of 34: refused by the length check.
    {"gammu/gammu:tests/at-sms/19.dump@78fd6a9212f3271a28c46f1cb8f7c302cd43a9b0",
     u"069134660405F151000C8160460653332000F1001600C034DC86B3CBA063B8DDAE83DAE5F93C7C2E03",
     164, 0, nullptr, nullptr, nullptr, std::nullopt, {}},
    {"pmoerenhout/at-commander:at-commander-module/at-commander-module-3gpp/src/test/java/com/github/pmoerenhout/atcommander/module/_3gpp/commands/ListMessagesResponseTest.java@433ee7fc4f8864e3ee4856a8399cf4ca5eff4ed3#test_cmgl_pdu_rec_read_with_alpha",
     u"07911346101919F9040B911316240486F900007160621123918009C8309BFD0641D36D",
     27, 1, nullptr, nullptr, nullptr, std::nullopt, {}},
    {"gammu/gammu:tests/atgen/smsd-incoming-cds.c@78fd6a9212f3271a28c46f1cb8f7c302cd43a9b0",
     u"07914875215652F006360B914892347527F3817003018104808170030181448000",
     25, 1, nullptr, nullptr, nullptr, std::nullopt, {}},
    // Derived rows: the refused captures above with the length that matches them, and the status
    // report with an empty service-centre field in front.
    {"derived from gammu/gammu:tests/at-sms/22.dump, length 159",
     u"0791246020099990400C91247042972767000070107031107440A005000301020182E8B71A040FDBD96516881E5E83DA65907D5C968741EEF49AFC06B9CBEFB53C4C66B34061771AE42EEBDDE1799AED4EB34161D0BA0E7F93D3F63A483D2FB74161771AE42ED7E7EE3A3BCC0285C720FABB5D07B5DF6390BB3C1FA3C3FA32FBAD4BB940D43219342F83C6E8FC9C1E6E83E0F2F0F86D0FD3416150FBAD77874169903B0CA2BF41",
     159, 1, u"+420602909909", u"+420724797276", nullptr, std::nullopt, {1, 2, 1}},
    {"derived from gammu/gammu:tests/at-sms/32.dump, length 167",
     u"079124602009999002AB098106845688F8907080517375809070805183018000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF",
     167, 1, u"+420602909909", u"604865888", u"", std::nullopt, {}},
    {"derived from gammu/gammu:tests/at-sms/19.dump, length 34",
     u"069134660405F151000C8160460653332000F1001600C034DC86B3CBA063B8DDAE83DAE5F93C7C2E03",
     34, 3, u"+436640501", u"066460353302", nullptr, std::nullopt, {}},
    {"derived from rilmodem/ofono (fork of oFono):unit/test-sms.c#test_sr_assembly(sr_pdu1), SMSC 00",
     u"0006040D91945152991136F00160124130340A0160124130940A00",
     26, 1, u"", u"+4915259911630", u"", 129216206230000000ull, {}},
  };
  for (const auto& row : rows) Check(row);
}

// A DELIVER without service centre from the originator "123", time stamp
// 2011-01-01 12:34:56 +00, with the first octet, TP-DCS and user data given.
std::u16string Deliver(const std::u16string& dcs, const std::u16string& user_data,
                       const std::u16string& first = u"04") {
  return u"00" + first + u"038121F300" + dcs + u"11101021436500" + user_data;
}

uint32_t LengthOf(const std::u16string& pdu) {
  return static_cast<uint32_t>(pdu.size() / 2 - 1);  // after an empty service centre
}

std::u16string Repeat(const std::u16string& hex, size_t times) {
  std::u16string out;
  for (size_t i = 0; i < times; ++i) out += hex;
  return out;
}

// Lengths that lie, broken text, truncated fields: every one gives its
// result without reading past the text (the ASan build would say so).
TEST(SmsPduDecoderTest, MalformedPdus) {
  struct Bad {
    const char* what;
    std::u16string pdu;
    std::optional<uint32_t> length;  // nullopt: the length matching the text
    uint32_t message_type;
  };
  const Bad rows[] = {
      {"empty PDU", u"", 0, 0},
      {"one digit", u"0", 0, 0},
      {"odd number of digits", Deliver(u"00", u"01410"), 13, 0},
      {"not a hexadecimal digit", Deliver(u"00", u"01G1"), std::nullopt, 0},
      {"blank inside", Deliver(u"00", u"01 1"), std::nullopt, 0},
      {"reported length matches nothing", Deliver(u"00", u"0141"), 3, 0},
      {"service centre only", u"0791214365870900", std::nullopt, 0},
      {"service-centre length beyond the text", u"0F91", std::nullopt, 0},
      {"truncated before the originator", u"0004", std::nullopt, 0},
      {"originator length beyond the text", u"00040B9121", std::nullopt, 0},
      {"originator of 23 digits", u"0004179121436587092143658709214365870921F300000000000000000000", std::nullopt, 0},
      {"international originator of 22 digits", u"000416912143658709214365870921436587092100000000000000000000", std::nullopt, 0},
      {"truncated time stamp", u"0004038121F3000011101021", std::nullopt, 0},
      {"no user data length", Deliver(u"00", u""), std::nullopt, 0},
      {"UDL of 10 septets over 2 octets", Deliver(u"00", u"0AE832"), std::nullopt, 0},
      {"UDL of 255 septets over 8 octets", Deliver(u"00", u"FF" + Repeat(u"41", 8)), std::nullopt, 0},
      {"UCS2 UDL beyond the data", Deliver(u"08", u"0A00410042"), std::nullopt, 0},
      {"8-bit UDL beyond the data", Deliver(u"04", u"0A4142"), std::nullopt, 0},
      {"UDHL beyond the data", Deliver(u"00", u"0A20000302", u"44"), std::nullopt, 0},
      {"UDHL beyond UDL", Deliver(u"08", u"020500030A0201", u"44"), std::nullopt, 0},
      {"element longer than the header", Deliver(u"00", u"0A03000502010041414141", u"44"), std::nullopt, 0},
      {"element cut after its identifier", Deliver(u"00", u"0A0100414141414141414141", u"44"), std::nullopt, 0},
      {"UDHI without a header", Deliver(u"00", u"00", u"44"), std::nullopt, 0},
      {"status report cut before TP-ST", u"00060403812143110101000000001101010000", std::nullopt, 0},
      {"status report cut after the time stamps", u"0006040381214311010100000000110101000000", std::nullopt, 0},
      {"reserved TP-MTI: other message, no text", u"0003", std::nullopt, 4},
      {"DELIVER with empty user data", Deliver(u"00", u"00"), std::nullopt, 1},
  };
  testing_support::LogCapture log;
  for (const auto& row : rows) {
    const uint32_t length = row.length ? *row.length : LengthOf(row.pdu);
    const SMS::SmsPdu pdu = SMS::DecodePdu(row.pdu, length);
    EXPECT_EQ(pdu.MessageType, row.message_type) << row.what;
    EXPECT_TRUE(pdu.Text.empty()) << row.what;
  }
}

TEST(SmsPduDecoderTest, ValidationAgainstTheReportedLength) {
  const std::u16string with_centre = u"07912143658709F1" + Deliver(u"00", u"00").substr(2);
  const uint32_t tpdu = static_cast<uint32_t>(with_centre.size() / 2 - 8);
  EXPECT_TRUE(SMS::ValidatePdu(with_centre, tpdu, false));       // L + s + 1
  EXPECT_FALSE(SMS::ValidatePdu(with_centre, tpdu + 1, false));
  EXPECT_TRUE(SMS::ValidatePdu(with_centre, tpdu + 8, false));   // the whole PDU
  EXPECT_FALSE(SMS::ValidatePdu(with_centre, tpdu + 1, false));
  EXPECT_TRUE(SMS::ValidatePdu(with_centre, tpdu + 1, true));    // L + s on a Broadcom-based card
  const std::u16string without = Deliver(u"00", u"00");
  EXPECT_TRUE(SMS::ValidatePdu(without, LengthOf(without), false));
  EXPECT_TRUE(SMS::ValidatePdu(u"0000", 1, false));
  EXPECT_FALSE(SMS::ValidatePdu(u"00", 5, false));
}

TEST(SmsPduDecoderTest, UserDataNeverOverrunsTheTextField) {
  // 255 septets of "A" (TP-UDL may say so): the text stops at 160.
  SMS::Packer7bit packer;
  for (int i = 0; i < 255; ++i) packer.Put(0x41);
  std::u16string user_data = u"FF";
  for (const uint8_t octet : packer.Finish()) SMS::AppendHex(user_data, octet);
  const std::u16string seven = Deliver(u"00", user_data);
  SmsMessage message;
  SMS::DecodeSmsMessage(seven, LengthOf(seven), false, 0, 0, 0, message);
  EXPECT_EQ(message.MessageType, kSmsMessageTypeReceived);
  EXPECT_EQ(std::u16string(message.Text), std::u16string(160, u'A'));

  // 8-bit: TP-UDL octets, not every octet that follows.
  const std::u16string eight = Deliver(u"04", u"03414243" + Repeat(u"44", 10));
  EXPECT_EQ(SMS::DecodePdu(eight, LengthOf(eight)).Text, u"ABC");
  // After a header the 8-bit text is TP-UDL less the header.
  const std::u16string eight_udh = Deliver(u"04", u"0805000301020141424344", u"44");
  EXPECT_EQ(SMS::DecodePdu(eight_udh, LengthOf(eight_udh)).Text, u"AB");
  // UCS2 of 127 characters: cut to 160 is not needed, but an odd octet is dropped.
  const std::u16string ucs2 = Deliver(u"08", u"03004142");
  EXPECT_EQ(SMS::DecodePdu(ucs2, LengthOf(ucs2)).Text, u"A");
}

TEST(SmsPduDecoderTest, AddressFieldsOfEveryForm) {
  struct AddressRow {
    const char* what;
    std::u16string field;  // the originator field
    std::u16string text;   // as SmsMessage::Address holds it
  };
  const AddressRow rows[] = {
      {"international", u"0B916171957291F8", u"+16175927198"},
      {"unknown type", u"04811032", u"0123"},
      {"national", u"03A121F3", u"123"},
      {"star, hash and a-c", u"0581BADCFE", u"*#abc"},
      {"padding nibble inside is skipped", u"0481F1F2", u"12"},
      {"alphanumeric", u"0DD0F334FC1CA6970100", u"sipgate"},
      {"empty", u"0081", u""},
      // 22 characters do not fit the field with its terminator: 21 are kept.
      {"22 digits", u"16812143658709214365870921",
       u"123456789012345678901"},
      {"+ and 21 digits", u"159121436587092143658709F1",
       u"+12345678901234567890"},
  };
  for (const auto& row : rows) {
    const std::u16string pdu = u"0004" + row.field + u"000011101021436500" + u"00";
    SmsMessage message;
    SMS::DecodeSmsMessage(pdu, LengthOf(pdu), false, 0, 0, 0, message);
    EXPECT_EQ(message.MessageType, kSmsMessageTypeReceived) << row.what;
    EXPECT_EQ(Utf16ToUtf8(message.Address), Utf16ToUtf8(row.text)) << row.what;
    EXPECT_EQ(message.Address[kSmsAddressMax], u'\0') << row.what;
  }
}

TEST(SmsPduDecoderTest, ServiceCentreForms) {
  const std::u16string body = Deliver(u"00", u"00").substr(2);
  for (const auto& [centre, text] : {std::pair<std::u16string, std::u16string>{u"00", u""},
                                     {u"0181", u""},
                                     {u"07912143658709F1", u"+12345678901"},
                                     {u"0481214365", u"123456"}}) {
    const std::u16string pdu = centre + body;
    SmsMessage message;
    SMS::DecodeSmsMessage(pdu, static_cast<uint32_t>(body.size() / 2), false, 1, 0, 0, message);
    EXPECT_EQ(message.MessageType, kSmsMessageTypeReceived) << Utf16ToUtf8(centre);
    EXPECT_EQ(Utf16ToUtf8(message.ServiceCentre), Utf16ToUtf8(text));
  }
}

TEST(SmsPduDecoderTest, DataCodingSchemes) {
  struct DcsRow {
    uint8_t dcs;
    uint32_t alphabet;
    uint32_t message_class;
    bool cdma;
  };
  const DcsRow rows[] = {
      {0x00, 0, 0, false}, {0x04, 1, 0, false}, {0x08, 2, 0, false}, {0x0C, 0, 0, false},
      {0x10, 0, 1, false}, {0x11, 0, 2, false}, {0x12, 0, 3, false}, {0x13, 0, 4, false},
      {0x16, 1, 3, false}, {0x19, 2, 2, false}, {0x3F, 0, 4, false}, {0x20, 0, 0, false},
      {0x80, 0, 0, true},  {0x8C, 0, 0, true},  {0x84, 1, 0, false}, {0x88, 2, 0, false},
      {0x90, 0, 0, false}, {0xC0, 0, 0, false}, {0xC8, 0, 0, false}, {0xE0, 2, 0, false},
      {0xEF, 2, 0, false}, {0xF0, 0, 1, false}, {0xF1, 0, 2, false}, {0xF5, 1, 2, false},
      {0xFF, 1, 4, false},
  };
  for (const auto& row : rows) {
    uint32_t alphabet = 9, message_class = 9;
    bool cdma = true;
    SMS::DecodeDataCodingScheme(row.dcs, alphabet, message_class, cdma);
    EXPECT_EQ(alphabet, row.alphabet) << std::hex << int{row.dcs};
    EXPECT_EQ(message_class, row.message_class) << std::hex << int{row.dcs};
    EXPECT_EQ(cdma, row.cdma) << std::hex << int{row.dcs};
  }
}

TEST(SmsPduDecoderTest, TextAfterHeadersAndInOtherPackings) {
  // UCS2 "A" (the data 00 41).
  const std::u16string ucs2 = Deliver(u"08", u"020041");
  const SMS::SmsPdu a = SMS::DecodePdu(ucs2, LengthOf(ucs2));
  EXPECT_EQ(a.Alphabet, 2u);
  EXPECT_EQ(a.Text, u"A");
  // 7-bit after a 6-octet header (7 septets: one fill bit): "hi".
  SMS::Packer7bit packer;
  for (int i = 0; i < 7; ++i) packer.Put(0);
  packer.Put(u'h');
  packer.Put(u'i');
  std::vector<uint8_t> octets = packer.Finish();
  const uint8_t header[] = {0x05, 0x00, 0x03, 0x2A, 0x03, 0x02};
  std::copy(std::begin(header), std::end(header), octets.begin());
  std::u16string user_data = u"09";
  SMS::AppendHex(user_data, octets);
  const std::u16string seven = Deliver(u"00", user_data, u"44");
  const SMS::SmsPdu hi = SMS::DecodePdu(seven, LengthOf(seven));
  EXPECT_EQ(hi.Text, u"hi");
  EXPECT_EQ(hi.ConcatReference, 0x2A);
  EXPECT_EQ(hi.ConcatTotal, 3);
  EXPECT_EQ(hi.ConcatSequence, 2);
  // CDMA 7-bit: most significant bit first, "AB" = 1000001 1000010.
  const std::u16string cdma = Deliver(u"80", u"028308");
  EXPECT_EQ(SMS::DecodePdu(cdma, LengthOf(cdma)).Text, u"AB");
  // A port element (EMS/MMS) and an unknown one are skipped; a reply address is kept.
  const std::u16string elements =
      Deliver(u"08", u"110C0504000000002204038121F300410042", u"44");
  const SMS::SmsPdu with = SMS::DecodePdu(elements, LengthOf(elements));
  EXPECT_EQ(with.Text, u"AB");
  EXPECT_TRUE(with.EmsMms);
  EXPECT_EQ(SMS::BinaryAddressToText(with.ReplyAddress), u"123");
  // A reply address whose field does not fill its element is ignored.
  const std::u16string bad_reply = Deliver(u"08", u"0C072205038121F30000410042", u"44");
  const SMS::SmsPdu ignored = SMS::DecodePdu(bad_reply, LengthOf(bad_reply));
  EXPECT_EQ(ignored.MessageType, kSmsMessageTypeReceived);
  EXPECT_EQ(ignored.ReplyAddress.DigitCount, 0);
}

TEST(SmsPduDecoderTest, TimeStampsAndZones) {
  struct StampRow {
    std::u16string octets;
    std::u16string text;
    int year, month, day, hour, minute, second;  // UTC
  };
  const StampRow rows[] = {
      {u"11101021436500", u"11/01/01,12:34:56+00", 2011, 1, 1, 12, 34, 56},
      {u"1120821105050A", u"11/02/28,11:50:50-20", 2011, 2, 28, 16, 50, 50},  // -05:00
      {u"90901071142340", u"09/09/01,17:41:32+04", 2009, 9, 1, 16, 41, 32},   // +01:00
      {u"99211332959500", u"99/12/31,23:59:59+00", 1999, 12, 31, 23, 59, 59},
      {u"00101000000088", u"00/01/01,00:00:00-08", 2000, 1, 1, 2, 0, 0},
  };
  for (const auto& row : rows) {
    const std::u16string pdu = u"0004038121F30000" + row.octets + u"00";
    const SMS::SmsPdu decoded = SMS::DecodePdu(pdu, LengthOf(pdu));
    EXPECT_EQ(Utf16ToUtf8(decoded.TimeStamp), Utf16ToUtf8(row.text));
    const auto days = std::chrono::sys_days(std::chrono::year(row.year) / row.month / row.day);
    const auto utc = days + std::chrono::hours(row.hour) + std::chrono::minutes(row.minute) +
                     std::chrono::seconds(row.second);
    const uint64_t expected =
        static_cast<uint64_t>(utc.time_since_epoch().count() + 11644473600LL) * 10000000ull;
    EXPECT_EQ(SMS::TimeStampToFileTime(decoded.TimeStamp), expected) << Utf16ToUtf8(row.text);
  }
  EXPECT_EQ(SMS::TimeStampToFileTime(u"11/13/01,12:34:56+00"), 0u);
  EXPECT_EQ(SMS::TimeStampToFileTime(u"11/02/30,12:34:56+00"), 0u);
  EXPECT_EQ(SMS::TimeStampToFileTime(u"FF/FF/FF,FF:FF:FF+FF"), 0u);
  EXPECT_EQ(SMS::TimeStampToFileTime(u""), 0u);
}

TEST(SmsPduDecoderTest, StatusReportFillsItsRecord) {
  const std::u16string pdu = u"0006040D91945152991136F00160124130340A0160124130940A00";
  const SMS::SmsPdu decoded = SMS::DecodePdu(pdu, 26);
  EXPECT_TRUE(decoded.StatusReport);
  SmsStatusReport report;
  SMS::FillSmsStatusReport(decoded, report);
  EXPECT_EQ(Utf16ToUtf8(report.Recipient), "+4915259911630");
  EXPECT_EQ(report.Status, 0);
  EXPECT_EQ(report.TimeStamp, SMS::TimeStampToFileTime(u"10/06/21,14:03:43-20"));
  EXPECT_EQ(Utf16ToUtf8(decoded.DischargeTime), "10/06/21,14:03:49-20");
}

}  // namespace

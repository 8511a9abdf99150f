// Throughput of the SMS PDU codec: decoding the captured PDUs of the test
// corpus (testdata/pdus.json, each line names the program whose tests
// captured it) into SmsMessage records, and encoding SMS-SUBMIT PDUs in the
// three alphabets. Reported as PDUs per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "devicelib/sms_message.h"
#include "devicelib/sms_pdu_decoder.h"
#include "devicelib/sms_pdu_encoder.h"
#include "foundation/xlog.h"

namespace {

const char16_t* const kCorpus[] = {
    u"07912104442961F4040B916171957291F800001120821105050A6AC8B2BC7C9A83C220F6DB7D2ECB41EDF27C1E3E97411BDE06754FD3D1A0F9BB5D0695F1F4B29B5C2683C6E8B03C3CA697E5F34D6AE303D1D1F2F7DD0D4ABB59A0797D8C0685E7A00028EC26832A960B28EC2683BE6050780EBA97D96C17",  // linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c
    u"07912143658709F1040B918100551512F2FF00111010214365000AE8329BFD4697D9EC37",  // linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c
    u"07912143658709F1040B918100551512F20004111010214365000AE8329BFD4697D9EC37DE",  // linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c
    u"07911356131313F64004850120390011609232239180A006080400100201D7327BFD6EB340E2321BF46E83EA7790F59D1E97DBE1341B442F83C465763D3DA797E56537C81D0ECB41AB59CC1693C16031D96C064241E5656838AF03A96230982A269BCD462917C8FA4E8FCBED709A0D7ABBE9F6B0FB5C7683D27350984D4FABC9A0B33C4C4FCF5D20EBFB2D079DCB62793DBD06D9C36E50FB2D4E97D9A0B49B5E96BBCB",  // linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c
    u"002100098136397339F70008224F60597D4F60597D4F60597D4F60597D4F60597D4F60597D4F60597D4F60597D4F60",  // linux-mobile-broadband/ModemManager:src/tests/test-sms-part-3gpp.c
    u"07916163838428F9040B916121021021F700005190514164220A23C4B0BCFD5E8740C4B0BCFD5E83C26E3248196687C9A0301D440DBBC3677918",  // linux-mobile-broadband/ModemManager:src/tests/test-modem-helpers.c
    u"0791447758100650040DD0F334FC1CA6970100008080312170224008D4F29CDE0EA7D9",  // rilmodem/ofono (fork of oFono):unit/test-sms.c
    u"07913366002020F8040B913366600600F100C83180706174148000",  // rilmodem/ofono (fork of oFono):unit/test-sms.c
    u"0041000B915121551532F40000631A0A031906200A032104100A032705040A032E05080A043807002B8ACD29A85D9ECFC3E7F21C340EBB41E3B79B1E4EBB41697A989D1EB340E2379BCC02B1C3F27399059AB7C36C3628EC2683C66FF65B5E2683E8653C1D",  // rilmodem/ofono (fork of oFono):unit/test-sms.c
    u"038121F340048155550119906041001222048C0500031E03020432043E043C002E000A041D0430043A043E043D04350446002C0020043D043500200432002004410438043B04300445002004340430043B043504350020044204350440043F04350442044C002C0020043E043D00200441044204400435043C043804420435043B044C043D043E002004320431043504360430043B002004320020043A043E",  // rilmodem/ofono (fork of oFono):unit/test-sms.c
    u"0791947122725014440185F039F501801140311480720605040B8423F00106246170706C69636174696F6E2F766E642E7761702E6D6D732D6D65737361676500AF84B4868C82984F67514B4B42008D9089088045726F74696B009650696E2D557073008A808E0240008805810303F48083687474703A2F2F657073332E64652F4F2F5A39495A4F00",  // rilmodem/ofono (fork of oFono):unit/test-sms.c
    u"0791447758100650040C914497716247010000909010711423400A2050EC468B81C4733A",  // pmarti/python-messaging:messaging/test/test_sms.py
    u"07919333852804000412D0F7FBDD454FB75D693A0000903002801153402BCD301E9F0605D9E971191483C140412A35690D52832063D2F9040599A058EE05A3BD6430580E",  // pmarti/python-messaging:messaging/test/test_sms.py
    u"07919471227210244405852122F039F1015062712181804F050003190202E4E8309B5E7683DAFC319A5E76B340F73D9A5D7683A6E93268FD9ED3CB6EF67B0E5AD172B19B2C2693C9602E90355D6683A6F0B007946E8382F5393BEC26BB00",  // pmarti/python-messaging:messaging/test/test_sms.py
    u"07914151551512F2040B916105551511F100036060924180008A0DA8695DAC2E8FE9296A794E07",  // LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java
    u"07914140279510F6440A8111110301003BF56080207130138A8C0B05040B8423F000032A02010106276170706C69636174696F6E2F766E642E7761702E6D6D732D6D65737361676500AF848D0185B4848C8298524E453955304A6D713551414142666C414141414D7741414236514141414141008D908918802B31353132323937373638332F545950453D504C4D4E008A808E022B918805810306977F83687474703A2F2F36",  // LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java
    u"07916163838408F6440B816105224431F700007060217175830AA005000300020162B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562",  // LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java
    u"07912160130310F20404D0100041006021924193352B0120",  // LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java
    u"07912180958750F84401800500C07020027160112B06040102000000",  // LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java
    u"07914151551512F2040B916105551511F100006080615131728A44D4F29C0E2AE3E96537B94C068DD16179784C2FCB41F4B0985D06B958ADD00FB0E94536AF974974DA6D281BA00E95E26D509B946FC3DBF87A25D56A04",  // LineageOS/android_frameworks_opt_telephony:tests/telephonytests/src/com/android/internal/telephony/GsmSmsTest.java
    u"07913306000000F0440B913306000000F0000061011012939280A0050003CA020182E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3E13028180E87C3A060381C0E8382E170380C0A86C3",  // bg111/asterisk-chan-dongle:test/parse.c
    u"07912933035011804409D055F3DB5D060000411120712071022A080701030003990202A09976D7E9E5390B640FB3D364103DCD668364B3562CD692C1623417",  // bg111/asterisk-chan-dongle:test/parse.c
    u"07914487200030230406D04F59040000601191806243009F4F990E947DD741EEF71D840EDBCBA0FCBB2E0751CB783A28E8CED3D3ED3268068381AA4B10BD8CA7CF412650AC2904BDCD2072981E06D1DFA0FABC0CA2A3D373509B8E7681A4E576B92D2ECB41F43788FE86B7EA7010280603BDE5A0F65B5E0689CBE6B7BC0C8ADD6232980D447F83CE653A28FFAECB416679B90C0AB3D9EF7BD83D2E83DC653C1DD4A6A301",  // gammu/gammu:tests/at-sms/04.dump
    u"07914336120011F10404A14949000021807001253040356C76B81D268741F0B29C9C268741E4B20EB49AD16CB19BAD368BD96EA0B71B04BBBD603810284C078162315D2CE70289EBFAE1AC0CB2BFF52C10FC2D0799C3F6B71CC46687DB6550980D8AC962",  // gammu/gammu:tests/at-sms/39.dump
    u"07911346101919F9040B911316240486F900007160621123918009C8309BFD0641D36D",  // pmoerenhout/at-commander:at-commander-module/at-commander-module-3gpp/src/test/java/com/github/pmoerenhout/atcommander/module/_3gpp/commands/ListMessagesResponseTest.java
    u"07914875215652F006360B914892347527F3817003018104808170030181448000",  // gammu/gammu:tests/atgen/smsd-incoming-cds.c
};

void Discard(const char*, void*) {}

void Quiet() {
  static const bool quiet = (XLogSetSink(&Discard, nullptr), true);
  (void)quiet;
}

// The TPDU length a card reports for a PDU with its service-centre field.
uint32_t ReportedLength(std::u16string_view pdu) {
  const auto digit = [](char16_t ch) { return ch <= u'9' ? ch - u'0' : (ch - 55) & 0xF; };
  const uint32_t centre = static_cast<uint32_t>(digit(pdu[0]) << 4 | digit(pdu[1]));
  return static_cast<uint32_t>(pdu.size() / 2) - centre - 1;
}

}  // namespace

// One PDU text into one record: the unit of work both benchmarks share, and
// the function to set beside another decoder.
SmsMessage DecodeOnePdu(std::u16string_view pdu, uint32_t reported_length) {
  SmsMessage message;
  SMS::DecodeSmsMessage(pdu, reported_length, false, 1, 0, 1, message);
  return message;
}

static void BM_DecodeCorpus(benchmark::State& state) {
  Quiet();
  std::vector<std::pair<std::u16string, uint32_t>> corpus;
  for (const char16_t* pdu : kCorpus) corpus.emplace_back(pdu, ReportedLength(pdu));
  size_t bytes = 0;
  for (const auto& [pdu, length] : corpus) bytes += pdu.size();
  for (auto _ : state) {
    for (const auto& [pdu, length] : corpus) {
      SmsMessage message = DecodeOnePdu(pdu, length);
      benchmark::DoNotOptimize(message);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * corpus.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_DecodeCorpus);

static void BM_EncodeSubmit(benchmark::State& state) {
  Quiet();
  const uint32_t alphabet = static_cast<uint32_t>(state.range(0));
  SmsMessage message{};
  const std::u16string_view address = u"+491711234567";
  const std::u16string_view centre = u"+491710760000";
  const std::u16string text = alphabet == 2 ? std::u16string(70, u'\u4E2D')
                              : alphabet == 1 ? std::u16string(140, u'x')
                                              : std::u16string(150, u'a') + u"[]{}\u20AC";
  std::copy(address.begin(), address.end(), message.Address);
  std::copy(centre.begin(), centre.end(), message.ServiceCentre);
  std::copy(text.begin(), text.end(), message.Text);
  message.Alphabet = alphabet;
  message.Validity = 0xA7;
  for (auto _ : state) {
    SMS::EncodedPdu encoded = SMS::EncodePdu(message);
    benchmark::DoNotOptimize(encoded);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_EncodeSubmit)->Arg(0)->Arg(1)->Arg(2);

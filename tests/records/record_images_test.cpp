// The records whose bytes the program fixes, against images of them that the
// 64-bit build wrote (tests/data/record_images/). Each record is written as
// this build lays it out and compared with its image byte for byte, and each
// image is read back as this build reads it and compared field by field, so
// a build that moves, widens or pads a field (a 32-bit build aligning a
// 64-bit time stamp to 4, a `long` or a pointer in a record) fails here with
// the field's name.
//
// VOMBEL_RECORD_IMAGES_OUT=<folder> also writes every image this build makes
// into that folder: how the images are made anew when a record grows.

#include <gtest/gtest.h>

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "app/scrambler.h"
#include "carddetect/nw_card_info.h"
#include "devicelib/device_states.h"
#include "devicelib/library.h"
#include "devicelib/ndis_records.h"
#include "devicelib/sms_message.h"
#include "devicelib/sms_pdu_decoder.h"
#include "foundation/xfile_version.h"
#include "foundation/xmemory.h"
#include "foundation/xresource.h"
#include "platform/dial_up.h"
#include "platform/instance_frame.h"
#include "platform/registry.h"
#include "platform/resource_module.h"
#include "platform/system_info.h"
#include "platform/text.h"
#include "platform/wwan_ndis.h"
#include "resources/resource_image.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A record's fields as "name=value" lines, so that a failure names them.
class Fields {
 public:
  template <std::integral V>
  Fields& Add(const char* name, V value) {
    lines_.push_back(std::string(name) + "=" + std::to_string(value));
    return *this;
  }
  // A text field whole, terminator and what follows it included, as hex.
  template <size_t N>
  Fields& Add(const char* name, const char16_t (&text)[N]) {
    return Add(name, std::span(reinterpret_cast<const uint8_t*>(text), sizeof text));
  }
  Fields& Add(const char* name, std::u16string_view text) {
    lines_.push_back(std::string(name) + "=\"" + platform::Utf16ToUtf8(text) + "\"");
    return *this;
  }
  Fields& Add(const char* name, std::span<const uint8_t> bytes) {
    std::string hex;
    for (uint8_t byte : bytes) {
      char pair[3];
      std::snprintf(pair, sizeof pair, "%02x", byte);
      hex += pair;
    }
    lines_.push_back(std::string(name) + "=" + hex);
    return *this;
  }

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

struct RecordCase {
  std::string name;   // what the failure says
  std::string image;  // file under tests/data/record_images
  size_t length;      // bytes of the image the record covers, from the start
  Bytes written;      // the record as this build writes it
  std::function<Fields(std::span<const uint8_t>)> read;  // as this build reads the image
  Fields expected;
};

std::string ImagePath(const std::string& image) { return std::string(VOMBEL_RECORD_IMAGES) + "/" + image; }

Bytes ReadImage(const std::string& image) {
  std::ifstream in(ImagePath(image), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <typename T>
Bytes BytesOf(const T& record) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  return Bytes(bytes, bytes + sizeof(T));
}

// A record read from its image the way a client reads one it was handed:
// copied over a zeroed record, as many bytes as the image holds.
template <typename T>
T RecordFrom(std::span<const uint8_t> bytes) {
  T record;
  std::memset(&record, 0, sizeof record);
  std::memcpy(&record, bytes.data(), std::min(bytes.size(), sizeof record));
  return record;
}

template <typename T>
RecordCase Plain(std::string name, std::string image, const T& sample, Fields (*describe)(const T&)) {
  return {std::move(name), std::move(image), sizeof(T), BytesOf(sample),
          [describe](std::span<const uint8_t> bytes) { return describe(RecordFrom<T>(bytes)); },
          describe(sample)};
}

template <typename T>
T Zeroed() {
  T record;
  std::memset(&record, 0, sizeof record);
  return record;
}

// A record whose bytes come from a pseudo-random sequence: every field holds
// bytes of its own, so a field read at another's offset reads other bytes.
template <typename T>
T Patterned() {
  T record;
  auto* bytes = reinterpret_cast<uint8_t*>(&record);
  uint32_t state = sizeof(T);
  for (size_t i = 0; i < sizeof(T); ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<uint8_t>(state >> 16);
  }
  return record;
}

// --- Card detection's record, in every size a client may ask for.

// The fields a client of `size` receives.
Fields DescribeCardInfo(const NwCardInfo& info, uint32_t size) {
  Fields f;
  f.Add("Size", info.Size).Add("State", info.State).Add("Model", info.Model).Add("Family", info.Family);
  f.Add("Stack", info.Stack).Add("WwanCapabilities", info.WwanCapabilities);
  f.Add("WlanCapabilities", info.WlanCapabilities).Add("DriverCapabilities", info.DriverCapabilities);
  f.Add("AppPortType", info.AppPortType).Add("AppPortName", info.AppPortName).Add("ModemName", info.ModemName);
  f.Add("WwanNicName", info.WwanNicName);
  if (size >= kNwCardInfoSize2636) {
    f.Add("WwanNdisPortName", info.WwanNdisPortName).Add("SmartCardReaderName", info.SmartCardReaderName);
  }
  if (size >= kNwCardInfoSize3156) f.Add("NetCfgInstanceId", info.NetCfgInstanceId);
  if (size >= kNwCardInfoSize3676) f.Add("DbgPortName", info.DbgPortName);
  if (size >= kNwCardInfoSize4196) f.Add("App2PortName", info.App2PortName);
  if (size >= kNwCardInfoSize4716) f.Add("BusDeviceName", info.BusDeviceName);
  if (size >= kNwCardInfoSize5240) f.Add("DevNode", info.DevNode).Add("DeviceInstanceId", info.DeviceInstanceId);
  if (size >= kNwCardInfoSize5248) f.Add("DriverVersionMs", info.DriverVersionMs).Add("DriverVersionLs", info.DriverVersionLs);
  return f;
}

void AddCardInfoCases(std::vector<RecordCase>& cases) {
  const auto sample = Patterned<NwCardInfo>();
  const Bytes whole = BytesOf(sample);
  for (uint32_t size : kNwCardInfoSizes) {
    cases.push_back({"NwCardInfo of " + std::to_string(size) + " bytes", "nw_card_info.bin", size,
                     Bytes(whole.begin(), whole.begin() + size),
                     [size](std::span<const uint8_t> bytes) {
                       return DescribeCardInfo(RecordFrom<NwCardInfo>(bytes.first(size)), size);
                     },
                     DescribeCardInfo(sample, size)});
  }
}

// --- The device library's records.

Fields DescribeSmsMessage(const SmsMessage& m) {
  Fields f;
  f.Add("Stored", m.Stored).Add("Index", m.Index).Add("MessageType", m.MessageType);
  f.Add("StorageStatus", m.StorageStatus).Add("Class", m.Class).Add("Alphabet", m.Alphabet);
  f.Add("TimeStamp", m.TimeStamp).Add("Validity", m.Validity).Add("Address", m.Address);
  f.Add("ServiceCentre", m.ServiceCentre).Add("Text", m.Text).Add("StatusReportRequest", m.StatusReportRequest);
  return f;
}

Fields DescribeMessageDetails(const SmsMessageDetails& d) {
  Fields f = DescribeSmsMessage(d.Message);
  f.Add("Reference", d.Concatenation.Reference).Add("Total", d.Concatenation.Total);
  f.Add("Sequence", d.Concatenation.Sequence);
  return f;
}

Fields DescribeStatusReport(const SmsStatusReport& r) {
  Fields f;
  f.Add("TimeStamp", r.TimeStamp).Add("Recipient", r.Recipient).Add("Status", r.Status);
  return f;
}

Fields DescribeStatusReportDetails(const SmsStatusReportDetails& d) {
  Fields f = DescribeStatusReport(d.Report);
  f.Add("MessageReference", d.MessageReference).Add("DischargeTime", d.DischargeTime);
  return f;
}

Fields DescribeUssd(const DvUssdMessage& m) {
  Fields f;
  f.Add("Status", m.Status).Add("Text", m.Text).Add("Terminator", m.Terminator);
  return f;
}

Fields DescribeErrorBlock(const GSM::DvErrorBlock& b) {
  Fields f;
  f.Add("primary", b.primary).Add("secondary", b.secondary);
  return f;
}

void AddDeviceLibraryCases(std::vector<RecordCase>& cases) {
  // Decoded by the library from captured PDUs (ModemManager's
  // test_pdu3_nzpid and a status report of a German network), as a read or
  // an event hands them over; the two fields only writes use are set too.
  auto message = Zeroed<SmsMessage>();
  SMS::DecodeSmsMessage(u"07912143658709F1040B918100551512F2FF00111010214365000AE8329BFD4697D9EC37", 28,
                        false, 1, 3, kSmsStorageReceivedRead, message);
  message.Validity = 0xA7;
  message.StatusReportRequest = 0x55667788;
  cases.push_back(Plain("SmsMessage", "sms_message.bin", message, &DescribeSmsMessage));
  // A part of a long message (ModemManager's test_pdu_udhi).
  auto details = Zeroed<SmsMessageDetails>();
  SMS::DecodeSmsMessageDetails(
      u"07911356131313F64004850120390011609232239180A006080400100201D7327BFD6EB340E2321BF46E83EA7790F59D1E97DBE1341B442F83C465763D3DA797E56537C81D0ECB41AB59CC1693C16031D96C064241E5656838AF03A96230982A269BCD462917C8FA4E8FCBED709A0D7ABBE9F6B0FB5C7683D27350984D4FABC9A0B33C4C4FCF5D20EBFB2D079DCB62793DBD06D9C36E50FB2D4E97D9A0B49B5E96BBCB",
      155, false, 1, 7, kSmsStorageReceivedUnread, details);
  cases.push_back(Plain("SmsMessageDetails", "sms_message_details.bin", details, &DescribeMessageDetails));

  const SMS::SmsPdu report_pdu = SMS::DecodePdu(u"0006040D91945152991136F00160124130340A0160124130940A00", 26);
  auto report = Zeroed<SmsStatusReport>();
  SMS::FillSmsStatusReport(report_pdu, report);
  report.Status = 0x41;
  cases.push_back(Plain("SmsStatusReport", "sms_status_report.bin", report, &DescribeStatusReport));
  auto report_details = Zeroed<SmsStatusReportDetails>();
  SMS::FillSmsStatusReportDetails(report_pdu, report_details);
  cases.push_back(Plain("SmsStatusReportDetails", "sms_status_report_details.bin", report_details,
                        &DescribeStatusReportDetails));

  cases.push_back(Plain("DvUssdMessage", "dv_ussd_message.bin", Patterned<DvUssdMessage>(), &DescribeUssd));
  cases.push_back(Plain("DvErrorBlock", "dv_error_block.bin", Patterned<GSM::DvErrorBlock>(), &DescribeErrorBlock));
}

// --- The dial-up service's records.

Fields DescribeRasEntry(const platform::RasEntry& e) {
  Fields f;
  f.Add("dwSize", e.dwSize).Add("dwfOptions", e.dwfOptions).Add("dwCountryID", e.dwCountryID);
  f.Add("dwCountryCode", e.dwCountryCode).Add("szAreaCode", e.szAreaCode);
  f.Add("szLocalPhoneNumber", e.szLocalPhoneNumber).Add("dwAlternateOffset", e.dwAlternateOffset);
  f.Add("ipaddr", e.ipaddr).Add("ipaddrDns", e.ipaddrDns).Add("ipaddrDnsAlt", e.ipaddrDnsAlt);
  f.Add("ipaddrWins", e.ipaddrWins).Add("ipaddrWinsAlt", e.ipaddrWinsAlt).Add("dwFrameSize", e.dwFrameSize);
  f.Add("dwfNetProtocols", e.dwfNetProtocols).Add("dwFramingProtocol", e.dwFramingProtocol);
  f.Add("szScript", e.szScript).Add("szAutodialDll", e.szAutodialDll).Add("szAutodialFunc", e.szAutodialFunc);
  f.Add("szDeviceType", e.szDeviceType).Add("szDeviceName", e.szDeviceName).Add("szX25PadType", e.szX25PadType);
  f.Add("szX25Address", e.szX25Address).Add("szX25Facilities", e.szX25Facilities);
  f.Add("szX25UserData", e.szX25UserData).Add("dwChannels", e.dwChannels).Add("dwReserved1", e.dwReserved1);
  f.Add("dwReserved2", e.dwReserved2).Add("dwSubEntries", e.dwSubEntries).Add("dwDialMode", e.dwDialMode);
  f.Add("dwDialExtraPercent", e.dwDialExtraPercent).Add("dwDialExtraSampleSeconds", e.dwDialExtraSampleSeconds);
  f.Add("dwHangUpExtraPercent", e.dwHangUpExtraPercent);
  f.Add("dwHangUpExtraSampleSeconds", e.dwHangUpExtraSampleSeconds);
  f.Add("dwIdleDisconnectSeconds", e.dwIdleDisconnectSeconds).Add("reserved", std::span(e.reserved));
  return f;
}

Fields DescribeDialParams(const platform::RasDialParams& p) {
  Fields f;
  f.Add("dwSize", p.dwSize).Add("szEntryName", p.szEntryName).Add("szPhoneNumber", p.szPhoneNumber);
  f.Add("szCallbackNumber", p.szCallbackNumber).Add("szUserName", p.szUserName);
  f.Add("szPassword", p.szPassword).Add("szDomain", p.szDomain);
  return f;
}

Fields DescribeConnStatus(const platform::RasConnStatus& s) {
  Fields f;
  f.Add("dwSize", s.dwSize).Add("rasconnstate", s.rasconnstate).Add("dwError", s.dwError);
  f.Add("szDeviceType", s.szDeviceType).Add("szDeviceName", s.szDeviceName).Add("szPhoneNumber", s.szPhoneNumber);
  return f;
}

Fields DescribeStats(const platform::RasStats& s) {
  Fields f;
  f.Add("dwSize", s.dwSize).Add("dwBytesXmited", s.dwBytesXmited).Add("dwBytesRcved", s.dwBytesRcved);
  f.Add("dwFramesXmited", s.dwFramesXmited).Add("dwFramesRcved", s.dwFramesRcved).Add("dwCrcErr", s.dwCrcErr);
  f.Add("dwTimeoutErr", s.dwTimeoutErr).Add("dwAlignmentErr", s.dwAlignmentErr);
  f.Add("dwHardwareOverrunErr", s.dwHardwareOverrunErr).Add("dwFramingErr", s.dwFramingErr);
  f.Add("dwBufferOverrunErr", s.dwBufferOverrunErr).Add("dwCompressionRatioIn", s.dwCompressionRatioIn);
  f.Add("dwCompressionRatioOut", s.dwCompressionRatioOut).Add("dwBps", s.dwBps);
  f.Add("dwConnectDuration", s.dwConnectDuration);
  return f;
}

Fields DescribePppIp(const platform::RasPppIp& p) {
  Fields f;
  f.Add("dwSize", p.dwSize).Add("dwError", p.dwError).Add("szIpAddress", p.szIpAddress);
  f.Add("szServerIpAddress", p.szServerIpAddress).Add("dwOptions", p.dwOptions);
  f.Add("dwServerOptions", p.dwServerOptions);
  return f;
}

void AddDialUpCases(std::vector<RecordCase>& cases) {
  cases.push_back(Plain("RasEntry", "ras_entry.bin", Patterned<platform::RasEntry>(), &DescribeRasEntry));
  cases.push_back(Plain("RasDialParams", "ras_dial_params.bin", Patterned<platform::RasDialParams>(), &DescribeDialParams));
  cases.push_back(Plain("RasConnStatus", "ras_conn_status.bin", Patterned<platform::RasConnStatus>(), &DescribeConnStatus));
  cases.push_back(Plain("RasStats", "ras_stats.bin", Patterned<platform::RasStats>(), &DescribeStats));
  cases.push_back(Plain("RasPppIp", "ras_ppp_ip.bin", Patterned<platform::RasPppIp>(), &DescribePppIp));
}

// --- The WWAN driver's requests and records.

Fields DescribeNdisState(const platform::NdisStateRecord& r) {
  Fields f;
  f.Add("state", r.state).Add("reason", r.reason);
  return f;
}

Fields DescribeNdisStatistics(const platform::NdisStatisticsRecord& r) {
  Fields f;
  f.Add("bytes_transmitted", r.bytes_transmitted).Add("bytes_received", r.bytes_received);
  f.Add("unused0", r.unused[0]).Add("unused1", r.unused[1]).Add("unused2", r.unused[2]).Add("duration", r.duration);
  return f;
}

Fields DescribeConnectRequest(std::span<const uint8_t> bytes) {
  Fields f;
  f.Add("size", bytes.size());
  if (bytes.size() < platform::kNdisPasswordOffset + platform::kNdisCredentialSize) return f;
  const auto* dial = reinterpret_cast<const char*>(bytes.data());
  f.Add("dial string", std::string_view(dial, strnlen(dial, platform::kNdisDialStringSize)).size());
  f.Add("user name", GSM::CredentialFromOem(bytes.subspan(platform::kNdisUserNameOffset, platform::kNdisCredentialSize)));
  f.Add("password", GSM::CredentialFromOem(bytes.subspan(platform::kNdisPasswordOffset, platform::kNdisCredentialSize)));
  return f;
}

// A configuration record as a driver hands it over: bytes of its own, the
// credentials and the command slots; then as the library writes it back.
Bytes SampleNdisConfig() {
  Bytes config(platform::kNdisConfigSize);
  for (size_t i = 0; i < config.size(); ++i) config[i] = static_cast<uint8_t>(i * 13 + 3);
  for (size_t slot = 0; slot < platform::kNdisConfigCommandSlots; ++slot) {
    uint8_t* command = config.data() + platform::kNdisConfigCommandOffset + slot * platform::kNdisConfigCommandSize;
    std::memset(command, 0, platform::kNdisConfigCommandSize);
    const std::string text = slot == 2 ? "AT+CREG?" : slot == 3 ? "AT+CGREG?^0,1~0,5~" : "AT+CSQ" + std::to_string(slot);
    std::memcpy(command, text.data(), text.size());
  }
  GSM::SetConfigCredentials(config, u"vombel", u"pa\u00DFword");
  GSM::FixNdisConfigCommands(config);
  return config;
}

Fields DescribeNdisConfig(std::span<const uint8_t> bytes) {
  Fields f;
  f.Add("size", bytes.size());
  if (bytes.size() != platform::kNdisConfigSize) return f;
  f.Add("user name", GSM::ConfigUserName(bytes)).Add("password", GSM::ConfigPassword(bytes));
  for (size_t slot = 0; slot < platform::kNdisConfigCommandSlots; ++slot) {
    const auto* command = reinterpret_cast<const char*>(bytes.data() + platform::kNdisConfigCommandOffset +
                                                        slot * platform::kNdisConfigCommandSize);
    const std::string text(command, strnlen(command, platform::kNdisConfigCommandSize));
    f.Add(("command " + std::to_string(slot)).c_str(), platform::Utf8ToUtf16(text));
  }
  f.Add("driver's first bytes", bytes.first(16));
  return f;
}

void AddNdisCases(std::vector<RecordCase>& cases) {
  for (size_t size : {platform::kNdisConnectRequestSize, platform::kBroadcomNdisConnectRequestSize}) {
    const Bytes request = GSM::BuildNdisConnectRequest(size, GSM::kNdisDialString, u"vombel", u"pa\u00DFword");
    Fields expected;
    expected.Add("size", size).Add("dial string", GSM::kNdisDialString.size());
    expected.Add("user name", std::u16string_view(u"vombel")).Add("password", std::u16string_view(u"pa\u00DFword"));
    cases.push_back({"NDIS connect request of " + std::to_string(size) + " bytes",
                     "ndis_connect_request_" + std::to_string(size) + ".bin", size, request,
                     &DescribeConnectRequest, expected});
  }
  cases.push_back(Plain("NdisStateRecord", "ndis_state.bin", Patterned<platform::NdisStateRecord>(), &DescribeNdisState));
  cases.push_back(Plain("NdisStatisticsRecord", "ndis_statistics.bin", Patterned<platform::NdisStatisticsRecord>(),
                        &DescribeNdisStatistics));

  const Bytes config = SampleNdisConfig();
  cases.push_back({"NDIS configuration record", "ndis_config.bin", config.size(), config, &DescribeNdisConfig,
                   DescribeNdisConfig(config)});
}

// --- Resources: a string-table block and the version block.

const std::map<uint16_t, std::u16string>& SampleStrings() {
  static const std::map<uint16_t, std::u16string> strings = {
      {4000, u"Connected to %s"}, {4003, u""}, {4007, u"\u00C4rger \U0001F4F6"}, {4015, u"last of the block"}};
  return strings;
}

Fields DescribeStringBlock(std::span<const uint8_t> bytes) {
  const platform::ResourceModule module = platform::ResourceModuleBuilder()
                                              .Add(platform::kRtString, resources::StringBlockOf(4000),
                                                   Bytes(bytes.begin(), bytes.end()))
                                              .Build();
  Fields f;
  for (unsigned id = 4000; id < 4016; ++id) {
    char16_t* text = XLoadString(module.handle(), id);
    if (text != nullptr) f.Add(("string " + std::to_string(id)).c_str(), std::u16string_view(text));
    XFree(text);
  }
  return f;
}

Fields DescribeVersionBlock(std::span<const uint8_t> bytes) {
  FixedFileInfo info{};
  Fields f;
  f.Add("query", QueryFixedFileInfo(bytes.data(), bytes.size(), &info));
  f.Add("signature", info.signature).Add("struct_version", info.struct_version);
  f.Add("file_version_ms", info.file_version_ms).Add("file_version_ls", info.file_version_ls);
  f.Add("product_version_ms", info.product_version_ms).Add("product_version_ls", info.product_version_ls);
  f.Add("file_flags_mask", info.file_flags_mask).Add("file_flags", info.file_flags).Add("file_os", info.file_os);
  f.Add("file_type", info.file_type).Add("file_subtype", info.file_subtype);
  f.Add("file_date_ms", info.file_date_ms).Add("file_date_ls", info.file_date_ls);
  return f;
}

void AddResourceCases(std::vector<RecordCase>& cases) {
  const auto blocks = resources::BuildStringTableBlocks(SampleStrings());
  const Bytes& block = blocks.at(static_cast<uint16_t>(resources::StringBlockOf(4000)));
  Fields strings;
  for (const auto& [id, text] : SampleStrings()) {
    if (!text.empty()) strings.Add(("string " + std::to_string(id)).c_str(), std::u16string_view(text));
  }
  cases.push_back({"string-table block", "string_table_block.bin", block.size(), block, &DescribeStringBlock, strings});

  const Bytes version = resources::BuildVersionInfo({1, 2, 3, 4});
  Fields fixed;
  fixed.Add("query", 0u).Add("signature", resources::kFixedFileInfoSignature);
  fixed.Add("struct_version", resources::kFixedFileInfoStructVersion);
  fixed.Add("file_version_ms", 0x00010002u).Add("file_version_ls", 0x00030004u);
  fixed.Add("product_version_ms", 0x00010002u).Add("product_version_ls", 0x00030004u);
  fixed.Add("file_flags_mask", resources::kFixedFileInfoFlagsMask).Add("file_flags", 0u);
  fixed.Add("file_os", resources::kFileOsNtWindows32).Add("file_type", resources::kFileTypeApp);
  fixed.Add("file_subtype", 0u).Add("file_date_ms", 0u).Add("file_date_ls", 0u);
  cases.push_back({"version block", "version_block.bin", version.size(), version, &DescribeVersionBlock, fixed});
}

// --- The system version record and the frames between two instances.

Fields DescribeVersionInfo(const platform::OSVERSIONINFO& v) {
  Fields f;
  f.Add("dwOSVersionInfoSize", v.dwOSVersionInfoSize).Add("dwMajorVersion", v.dwMajorVersion);
  f.Add("dwMinorVersion", v.dwMinorVersion).Add("dwBuildNumber", v.dwBuildNumber);
  f.Add("dwPlatformId", v.dwPlatformId).Add("szCSDVersion", v.szCSDVersion);
  return f;
}

Fields DescribeFrames(std::span<const uint8_t> bytes) {
  std::vector<platform::InstanceFrame> frames;
  Fields f;
  f.Add("used", platform::DecodeInstanceFrames(bytes, &frames));
  for (const platform::InstanceFrame& frame : frames) {
    f.Add("message", frame.message).Add("wparam", frame.wparam).Add("lparam", frame.lparam);
  }
  return f;
}

void AddSystemCases(std::vector<RecordCase>& cases) {
  cases.push_back(Plain("OSVERSIONINFO", "os_version_info.bin", Patterned<platform::OSVERSIONINFO>(),
                        &DescribeVersionInfo));

  // A pointer-sized parameter of the 64-bit build travels whole.
  const platform::InstanceFrame frames[] = {{0x8001, 0xFEDCBA9876543210ull, -2}, {0x0010, 1, 0x7FFFFFFF12345678}};
  Bytes bytes;
  Fields expected;
  expected.Add("used", 2 * platform::kInstanceFrameSize);
  for (const platform::InstanceFrame& frame : frames) {
    const auto encoded = platform::EncodeInstanceFrame(frame);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    expected.Add("message", frame.message).Add("wparam", frame.wparam).Add("lparam", frame.lparam);
  }
  cases.push_back({"instance frames", "instance_frames.bin", bytes.size(), bytes, &DescribeFrames, expected});
}

std::vector<RecordCase> Cases() {
  std::vector<RecordCase> cases;
  AddCardInfoCases(cases);
  AddDeviceLibraryCases(cases);
  AddDialUpCases(cases);
  AddNdisCases(cases);
  AddResourceCases(cases);
  AddSystemCases(cases);
  return cases;
}

// Writes `bytes` as `image` into VOMBEL_RECORD_IMAGES_OUT when it is set.
void MaybeWriteImage(const std::string& image, std::span<const uint8_t> bytes) {
  const char* folder = std::getenv("VOMBEL_RECORD_IMAGES_OUT");
  if (folder == nullptr || *folder == '\0') return;
  std::ofstream out(std::string(folder) + "/" + image, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// "" when equal, else where they first differ.
std::string FirstDifference(std::span<const uint8_t> written, std::span<const uint8_t> image) {
  if (written.size() != image.size()) {
    return "written " + std::to_string(written.size()) + " bytes, the image has " + std::to_string(image.size());
  }
  for (size_t i = 0; i < written.size(); ++i) {
    if (written[i] != image[i]) return "first difference at byte " + std::to_string(i);
  }
  return "";
}

TEST(RecordImagesTest, EachRecordIsWrittenAsItsImage) {
  // The cases of one image come shortest first, so the whole record is the
  // one written last.
  for (const RecordCase& c : Cases()) MaybeWriteImage(c.image, c.written);
  for (const RecordCase& c : Cases()) {
    const Bytes image = ReadImage(c.image);
    ASSERT_GE(image.size(), c.length) << c.name << ": " << ImagePath(c.image) << " is missing or short";
    EXPECT_EQ(FirstDifference(c.written, std::span(image).first(c.length)), "") << c.name;
  }
}

TEST(RecordImagesTest, EachImageReadsBackFieldByField) {
  for (const RecordCase& c : Cases()) {
    const Bytes image = ReadImage(c.image);
    ASSERT_GE(image.size(), c.length) << c.name << ": " << ImagePath(c.image) << " is missing or short";
    EXPECT_EQ(c.read(std::span(image).first(c.length)).Lines(), c.expected.Lines()) << c.name;
  }
}

// The default profile as the settings store keeps it: a scrambled user name
// and password (4 header bytes, the little-endian sum, then the scrambled
// bytes, as hex), the APN, and one value of every other kind the store
// writes. The store's values file is the image.
const char16_t kProfileKey[] = u"Software\\Vombel Record\\Profiles\\Default";

struct StoredValue {
  const char16_t* name;
  uint32_t type;
  Bytes data;
};

Bytes TextValue(std::u16string_view text) {
  Bytes bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::vector<StoredValue> SampleStoredValues() {
  uint8_t next = 0x5A;
  const auto padding = [&next] { return next = static_cast<uint8_t>(next * 5 + 1); };
  return {
      {u"UserName", platform::REG_SZ, TextValue(CScrambler::Scramble(u"vombel", padding))},
      {u"UserPassword", platform::REG_SZ, TextValue(CScrambler::Scramble(u"pa\u00DFword", padding))},
      {u"Apn", platform::REG_SZ, TextValue(u"internet.vombel")},
      {u"Counter", platform::REG_DWORD, {0x2A, 0x00, 0x00, 0x80}},
      {u"Blob", platform::REG_BINARY, {0x00, 0xFF, 0x10, 0x7F}},
      {u"Path", platform::REG_EXPAND_SZ, TextValue(u"%TMPDIR%\\log")},
      {u"Names", platform::REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
  };
}

std::string ValuesFile(const testing_support::TempRegistry& registry) {
  return registry.User("/Software/Vombel Record/Profiles/Default/.values");
}

TEST(RecordImagesTest, StoredRegistryValuesAreWrittenAndReadAsTheImage) {
  const std::string image_name = "registry_profile.values";
  const Bytes image = ReadImage(image_name);
  {
    testing_support::TempRegistry registry;
    platform::HKEY raw = nullptr;
    ASSERT_EQ(platform::RegCreateKeyEx(platform::HKEY_CURRENT_USER, kProfileKey, platform::KEY_ALL_ACCESS, &raw,
                                       nullptr),
              0u);
    const platform::UniqueHKey key(raw);
    for (const StoredValue& value : SampleStoredValues()) {
      ASSERT_EQ(platform::RegSetValueEx(key.get(), value.name, value.type, value.data.data(),
                                        static_cast<uint32_t>(value.data.size())),
                0u);
    }
    std::ifstream in(ValuesFile(registry), std::ios::binary);
    const Bytes written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    MaybeWriteImage(image_name, written);
    ASSERT_FALSE(image.empty()) << ImagePath(image_name) << " is missing";
    EXPECT_EQ(FirstDifference(written, image), "") << "the store's values file";
  }

  testing_support::TempRegistry registry;
  platform::HKEY raw = nullptr;
  ASSERT_EQ(platform::RegCreateKeyEx(platform::HKEY_CURRENT_USER, kProfileKey, platform::KEY_ALL_ACCESS, &raw, nullptr),
            0u);
  const platform::UniqueHKey key(raw);
  {
    std::ofstream out(ValuesFile(registry), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
  for (const StoredValue& value : SampleStoredValues()) {
    const std::string name = platform::Utf16ToUtf8(value.name);
    uint32_t type = 0;
    uint32_t size = 0;
    ASSERT_EQ(platform::RegQueryValueEx(key.get(), value.name, &type, nullptr, &size), 0u) << name;
    Bytes data(size);
    ASSERT_EQ(platform::RegQueryValueEx(key.get(), value.name, &type, data.data(), &size), 0u) << name;
    EXPECT_EQ(type, value.type) << name;
    EXPECT_EQ(data, value.data) << name;
  }
  const auto text_of = [&key](const char16_t* name) {
    uint32_t size = 4096;
    std::u16string text(size / 2, u'\0');
    platform::RegQueryValueEx(key.get(), name, nullptr, reinterpret_cast<uint8_t*>(text.data()), &size);
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    return text;
  };
  EXPECT_EQ(CScrambler::Unscramble(text_of(u"UserName")), u"vombel");
  EXPECT_EQ(CScrambler::Unscramble(text_of(u"UserPassword")), u"pa\u00DFword");
}

}  // namespace

#include "resources/resource_image.h"

#include <stdexcept>

namespace resources {
namespace {

void PutU16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  PutU16(out, value & 0xFFFF);
  PutU16(out, value >> 16);
}

void SetU16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value & 0xFF);
  out[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

std::map<uint16_t, std::vector<uint8_t>> BuildStringTableBlocks(
    const std::map<uint16_t, std::u16string>& strings) {
  std::map<uint16_t, std::vector<uint8_t>> blocks;
  auto it = strings.begin();
  while (it != strings.end()) {
    const uint32_t block = StringBlockOf(it->first);
    const uint32_t first_id = (block - 1) * kStringsPerBlock;
    std::vector<uint8_t> image;
    for (uint32_t id = first_id; id < first_id + kStringsPerBlock; ++id) {
      if (it == strings.end() || it->first != id) {
        PutU16(image, 0);
        continue;
      }
      const std::u16string& text = it->second;
      if (text.size() > kMaxStringUnits) {
        throw std::length_error("string " + std::to_string(id) + " is longer than 65535 UTF-16 units");
      }
      PutU16(image, static_cast<uint32_t>(text.size()));
      for (char16_t unit : text) PutU16(image, unit);
      ++it;
    }
    blocks.emplace(static_cast<uint16_t>(block), std::move(image));
  }
  return blocks;
}

std::vector<uint8_t> BuildVersionInfo(const FileVersion& version) {
  static constexpr char16_t kKey[] = u"VS_VERSION_INFO";
  std::vector<uint8_t> out;
  PutU16(out, 0);                       // total length, set below
  PutU16(out, kFixedFileInfoSize);      // value length
  PutU16(out, 0);                       // binary value
  for (char16_t unit : kKey) PutU16(out, unit);  // includes the terminator
  while (out.size() < kFixedFileInfoOffset) out.push_back(0);

  const uint32_t version_ms = (uint32_t{version.major} << 16) | version.minor;
  const uint32_t version_ls = (uint32_t{version.patch} << 16) | version.tweak;
  PutU32(out, kFixedFileInfoSignature);
  PutU32(out, kFixedFileInfoStructVersion);
  PutU32(out, version_ms);  // file version
  PutU32(out, version_ls);
  PutU32(out, version_ms);  // product version
  PutU32(out, version_ls);
  PutU32(out, kFixedFileInfoFlagsMask);
  PutU32(out, 0);  // flags: neither debug, pre-release nor patched
  PutU32(out, kFileOsNtWindows32);
  PutU32(out, kFileTypeApp);
  PutU32(out, 0);  // subtype
  PutU32(out, 0);  // date, high and low
  PutU32(out, 0);
  SetU16(out, 0, static_cast<uint32_t>(out.size()));
  return out;
}

}  // namespace resources

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/xfile_version.h"
#include "foundation/xmemory.h"
#include "platform/win32_error.h"
#include "resources/project_version.h"
#include "resources/resource_image.h"

namespace {

using platform::GetLastError;
using platform::SetLastError;

uint16_t U16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }
uint32_t U32(const uint8_t* at) { return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16; }

TEST(XFileVersionTest, TheProgramsBlockCarriesTheProjectVersion) {
  SetLastError(99);
  auto* block = static_cast<const uint8_t*>(XGetFileVersionInfo(nullptr));
  ASSERT_NE(block, nullptr) << GetLastError();
  EXPECT_EQ(GetLastError(), 0u);

  // Read by hand from the block, as a system reader would.
  ASSERT_GE(U16(block), 92u);
  EXPECT_EQ(U16(block + 2), 52u);
  EXPECT_EQ(std::memcmp(block + 6, u"VS_VERSION_INFO", 32), 0);
  const uint32_t expected_ms = uint32_t{resources::kProjectVersionMajor} << 16 | resources::kProjectVersionMinor;
  const uint32_t expected_ls = uint32_t{resources::kProjectVersionPatch} << 16 | resources::kProjectVersionTweak;
  EXPECT_EQ(U32(block + 40), 0xFEEF04BDu);
  EXPECT_EQ(U32(block + 48), expected_ms);
  EXPECT_EQ(U32(block + 52), expected_ls);

  SetLastError(99);
  FixedFileInfo info;
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_TRUE(XGetFixedFileInfo(nullptr, &info));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(std::memcmp(&info, block + 40, sizeof info), 0);
  EXPECT_EQ(info.file_version_ms, expected_ms);
  EXPECT_EQ(info.file_version_ls, expected_ls);
  EXPECT_EQ(info.product_version_ms, expected_ms);
  EXPECT_EQ(info.file_os, 0x40004u);
  EXPECT_EQ(info.file_type, 1u);
  XFree(const_cast<uint8_t*>(block));

  SetLastError(0);
  EXPECT_FALSE(XGetFixedFileInfo(nullptr, nullptr));
  EXPECT_EQ(GetLastError(), platform::kErrorInvalidParameter);
}

TEST(XFileVersionTest, OnlyTheProgramsOwnFileHasAVersionBlock) {
  void* own = XGetFileVersionInfo("/proc/self/exe");
  ASSERT_NE(own, nullptr) << "the program's own file, by path: " << GetLastError();
  void* by_null = XGetFileVersionInfo(nullptr);
  ASSERT_NE(by_null, nullptr);
  EXPECT_EQ(std::memcmp(own, by_null, 92), 0);
  XFree(own);
  XFree(by_null);

  const std::filesystem::path other =
      std::filesystem::temp_directory_path() / ("xfile_version_test." + std::to_string(::getpid()));
  std::ofstream(other) << "not a program with a version block";
  const std::string below_a_file = (other / "x").string();
  struct Row {
    const char* what;
    std::string file;
    uint32_t error;
  } const rows[] = {
      {"another file", other.string(), platform::kErrorResourceTypeNotFound},
      {"a folder", "/", platform::kErrorResourceTypeNotFound},
      {"a missing file", "/nonexistent-vombel/file", platform::kErrorFileNotFound},
      {"an empty path", "", platform::kErrorFileNotFound},
      {"a path through a file", below_a_file, platform::kErrorPathNotFound},
  };
  for (const auto& row : rows) {
    SetLastError(0);
    EXPECT_EQ(XGetFileVersionInfo(row.file.c_str()), nullptr) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
    FixedFileInfo info;
    SetLastError(0);
    EXPECT_FALSE(XGetFixedFileInfo(row.file.c_str(), &info)) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
  }
  std::filesystem::remove(other);
}

TEST(XFileVersionTest, QueryFindsTheRecordOrNamesTheDamage) {
  using Bytes = std::vector<uint8_t>;
  const Bytes good = resources::BuildVersionInfo({1, 2, 3, 4});
  auto with = [&good](size_t at, std::initializer_list<uint8_t> bytes) {
    Bytes out = good;
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<ptrdiff_t>(at));
    return out;
  };
  Bytes padded = good;
  padded.resize(96, 0);
  struct Row {
    const char* what;
    Bytes block;
    uint32_t error;
  } const rows[] = {
      {"the block as built", good, 0},
      {"padding after the block", padded, 0},
      {"no fixed record", with(2, {0, 0}), platform::kErrorResourceTypeNotFound},
      {"a record of another size", with(2, {40, 0}), platform::kErrorInvalidData},
      {"a wrong signature", with(40, {0, 0, 0, 0}), platform::kErrorInvalidData},
      {"another key", with(6, {'X', 0}), platform::kErrorInvalidData},
      {"a length beyond the block", with(0, {93, 0}), platform::kErrorInvalidData},
      {"a length too short for the record", with(0, {91, 0}), platform::kErrorInvalidData},
      {"a length too short for the key", with(0, {20, 0}), platform::kErrorInvalidData},
  };
  for (const auto& row : rows) {
    FixedFileInfo info{};
    EXPECT_EQ(QueryFixedFileInfo(row.block.data(), row.block.size(), &info), row.error) << row.what;
    if (row.error == 0) {
      EXPECT_EQ(info.file_version_ls, 0x00030004u) << row.what;
    }
  }

  // Cut short anywhere, the block is damaged; each cut lives in a heap block
  // of exactly that size so a read past it would be caught.
  for (size_t size = 0; size < good.size(); ++size) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(size));
    FixedFileInfo info{};
    EXPECT_EQ(QueryFixedFileInfo(cut.data(), cut.size(), &info), platform::kErrorInvalidData) << "size " << size;
  }
  EXPECT_EQ(QueryFixedFileInfo(nullptr, 92, nullptr), platform::kErrorInvalidData);
}

}  // namespace

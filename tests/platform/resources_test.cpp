#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/resource_module.h"
#include "platform/resources.h"
#include "platform/win32_error.h"
#include "resources/resource_image.h"

namespace platform {
namespace {

using Bytes = std::vector<uint8_t>;

// The bytes of resource (name, type) of `module`, through the whole
// Find/Load/Lock/Size chain.
std::string ReadResource(HMODULE module, ResourceId name, ResourceId type) {
  HRSRC resource = FindResource(module, name, type);
  if (resource == nullptr) return "<find failed " + std::to_string(GetLastError()) + ">";
  HGLOBAL loaded = LoadResource(module, resource);
  if (loaded == nullptr) return "<load failed>";
  const void* data = LockResource(loaded);
  if (data == nullptr) return "<lock failed>";
  return std::string(static_cast<const char*>(data), SizeofResource(module, resource));
}

Bytes Le16(std::initializer_list<uint16_t> units) {
  Bytes out;
  for (uint16_t unit : units) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return out;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes EmptyEntries(size_t n) { return Bytes(2 * n, 0); }

TEST(ResourcesTest, FindResourceTellsAMissingTypeFromAMissingName) {
  ResourceModule module = ResourceModuleBuilder()
                              .Add("NW_DATA", 101, "cards")
                              .Add(10, 7, "raw")
                              .AddString(0, u"zero")
                              .Build();
  struct Row {
    const char* what;
    ResourceId name;
    ResourceId type;
    uint32_t error;
  } const rows[] = {
      {"other id of a present type", 102, "NW_DATA", kErrorResourceNameNotFound},
      {"absent named type", 101, "PROFILES_DB", kErrorResourceTypeNotFound},
      {"a prefix of a type name", 101, "NW_DAT", kErrorResourceTypeNotFound},
      {"a type name with more after it", 101, "NW_DATA_X", kErrorResourceTypeNotFound},
      {"absent numbered type", 1, kRtVersion, kErrorResourceTypeNotFound},
      {"a numbered type is not the name of its number", 7, "10", kErrorResourceTypeNotFound},
      {"string block that is not there", 2, kRtString, kErrorResourceNameNotFound},
      {"names never match numbered ids", "ZERO", kRtString, kErrorResourceNameNotFound},
      {"id 0", 0, kRtString, kErrorResourceNameNotFound},
      {"id beyond 16 bits", 65537, kRtString, kErrorResourceNameNotFound},
      {"type 0", 1, 0, kErrorResourceTypeNotFound},
      {"null type name", 1, static_cast<const char*>(nullptr), kErrorResourceTypeNotFound},
      {"'#' without a number", 101, "#", kErrorResourceTypeNotFound},
  };
  for (const auto& row : rows) {
    SetLastError(0);
    EXPECT_EQ(FindResource(module.handle(), row.name, row.type), nullptr) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
  }
}

TEST(ResourcesTest, TypeNamesIgnoreCaseAndNumbersMayBeWrittenWithHash) {
  ResourceModule module = ResourceModuleBuilder().Add("Nw_Data", 101, "cards").Add(10, 7, "raw").Build();
  EXPECT_EQ(ReadResource(module.handle(), 101, "NW_DATA"), "cards");
  EXPECT_EQ(ReadResource(module.handle(), 101, "nw_data"), "cards");
  EXPECT_EQ(ReadResource(module.handle(), "#101", "nW_dAtA"), "cards");
  EXPECT_EQ(ReadResource(module.handle(), 7, 10), "raw");
  EXPECT_EQ(ReadResource(module.handle(), "#7", "#10"), "raw");
}

TEST(ResourcesTest, TheChainHandsOutTheBytesAsAddedAndKeepsTheLastError) {
  const std::string binary("\x00\x01\xFF\r\n\x00", 6);
  ResourceModule module = ResourceModuleBuilder().Add("BIN", 1, binary).Add("EMPTY", 1, "").Build();

  SetLastError(77);
  HRSRC resource = FindResource(module.handle(), 1, "BIN");
  ASSERT_NE(resource, nullptr);
  HGLOBAL loaded = LoadResource(module.handle(), resource);
  ASSERT_NE(loaded, nullptr);
  const void* data = LockResource(loaded);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 4, 0u) << "resource bytes must be readable as 16-bit units";
  EXPECT_EQ(SizeofResource(module.handle(), resource), binary.size());
  EXPECT_EQ(std::string(static_cast<const char*>(data), binary.size()), binary);
  EXPECT_EQ(GetLastError(), 77u) << "success leaves the last error alone";

  // A resource of size 0 is found and locked like any other; only its size
  // says it is empty.
  HRSRC empty = FindResource(module.handle(), 1, "EMPTY");
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(LockResource(LoadResource(module.handle(), empty)), nullptr);
  EXPECT_EQ(SizeofResource(module.handle(), empty), 0u);
}

TEST(ResourcesTest, HandlesFromAnotherModuleOrMadeUpAreRefused) {
  ResourceModule a = ResourceModuleBuilder().Add("DATA", 1, "a").Build();
  ResourceModule b = ResourceModuleBuilder().Add("DATA", 1, "b").Build();
  HRSRC from_a = FindResource(a.handle(), 1, "DATA");
  ASSERT_NE(from_a, nullptr);

  SetLastError(0);
  EXPECT_EQ(LoadResource(b.handle(), from_a), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  SetLastError(0);
  EXPECT_EQ(SizeofResource(b.handle(), from_a), 0u);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  SetLastError(0);
  EXPECT_EQ(LoadResource(nullptr, from_a), nullptr) << "the program's module does not own a test module's resource";
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  SetLastError(0);
  EXPECT_EQ(LoadResource(a.handle(), nullptr), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);

  int unrelated = 0;
  const HGLOBAL made_up[] = {
      nullptr,
      reinterpret_cast<HGLOBAL>(&unrelated),
      // Inside a module's table but not at the start of an entry.
      reinterpret_cast<HGLOBAL>(reinterpret_cast<char*>(from_a) + 1),
  };
  for (HGLOBAL handle : made_up) {
    SetLastError(0);
    EXPECT_EQ(LockResource(handle), nullptr);
    EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  }
}

TEST(ResourcesTest, AModuleIsGoneWithItsOwnerAndMovesWithIt) {
  HMODULE handle;
  HGLOBAL loaded;
  {
    ResourceModule first = ResourceModuleBuilder().Add("DATA", 1, "x").Build();
    ResourceModule moved = std::move(first);
    EXPECT_EQ(first.handle(), nullptr);  // NOLINT(bugprone-use-after-move): the moved-from state is the point
    handle = moved.handle();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(ReadResource(handle, 1, "DATA"), "x");
    loaded = LoadResource(handle, FindResource(handle, 1, "DATA"));
    ASSERT_NE(loaded, nullptr);
  }
  SetLastError(0);
  EXPECT_EQ(FindResource(handle, 1, "DATA"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorResourceDataNotFound);
  SetLastError(0);
  EXPECT_EQ(LockResource(loaded), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);

  // A later module never takes over the old handle.
  ResourceModule later = ResourceModuleBuilder().Add("DATA", 1, "y").Build();
  EXPECT_NE(later.handle(), handle);
  EXPECT_EQ(FindResource(handle, 1, "DATA"), nullptr);

  // Assigning over a module releases the one it held.
  HMODULE replaced = later.handle();
  later = ResourceModuleBuilder().Add("DATA", 1, "z").Build();
  EXPECT_EQ(FindResource(replaced, 1, "DATA"), nullptr);
  EXPECT_EQ(ReadResource(later.handle(), 1, "DATA"), "z");
}

TEST(ResourcesTest, TheProgramModuleCarriesItsStringTableAndVersionBlock) {
  EXPECT_NE(FindResource(nullptr, resources::StringBlockOf(57344), kRtString), nullptr) << "application title";
  const std::string version = ReadResource(nullptr, kVsVersionInfo, kRtVersion);
  ASSERT_EQ(version.size(), 92u) << version;
  EXPECT_EQ(std::memcmp(version.data() + 6, u"VS_VERSION_INFO", 32), 0);

  SetLastError(0);
  EXPECT_EQ(FindResource(nullptr, 1, "NO_SUCH_TYPE"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorResourceTypeNotFound);
  SetLastError(0);
  EXPECT_EQ(FindResource(nullptr, 2, kRtVersion), nullptr);
  EXPECT_EQ(GetLastError(), kErrorResourceNameNotFound);
}

TEST(ResourcesTest, ModulesComeAndGoOnSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 50; ++i) {
        const std::string text = std::to_string(t) + "/" + std::to_string(i);
        ResourceModule module = ResourceModuleBuilder().Add("DATA", 1, text).Build();
        if (ReadResource(module.handle(), 1, "DATA") != text) ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(ResourceModuleBuilderTest, MistakesInTheRequestThrowInsteadOfHiding) {
  EXPECT_THROW(ResourceModuleBuilder().Add("A", 1, "x").Add("a", 1, "y").Build(), std::invalid_argument);
  EXPECT_THROW(ResourceModuleBuilder().AddString(5, u"x").AddString(5, u"y").Build(), std::invalid_argument);
  // A raw block 1 and string 5 (which lives in block 1) cannot both be had.
  EXPECT_THROW(ResourceModuleBuilder().Add(kRtString, 1, "").AddString(5, u"x").Build(), std::invalid_argument);
  EXPECT_THROW(ResourceModuleBuilder().Add(kRtVersion, 1, "").AddVersion({1, 0, 0, 0}).Build(),
               std::invalid_argument);
  EXPECT_THROW(ResourceModuleBuilder().Add("A", 0, "x").Build(), std::invalid_argument);
  EXPECT_THROW(ResourceModuleBuilder().Add(0, 1, "x").Build(), std::invalid_argument);
  EXPECT_THROW(ResourceModuleBuilder().Add("", 1, "x").Build(), std::invalid_argument);
  EXPECT_THROW(ResourceModuleBuilder().Add("#x", 1, "x").Build(), std::invalid_argument);
  EXPECT_THROW(ResourceModuleBuilder().AddString(1, std::u16string(65536, u'a')).Build(), std::length_error);
  EXPECT_NO_THROW(ResourceModuleBuilder().Add("A", 1, "x").Add("A", 2, "x").Add("B", 1, "x").Add(1, 1, "x").Build());
}

TEST(StringTableImageTest, BlocksHoldSixteenLengthPrefixedEntries) {
  struct Row {
    const char* what;
    std::map<uint16_t, std::u16string> strings;
    std::map<uint16_t, Bytes> blocks;
  } const rows[] = {
      {"no strings, no blocks", {}, {}},
      {"id 0 opens block 1", {{0, u"A"}}, {{1, Concat(Le16({1, u'A'}), EmptyEntries(15))}}},
      {"ids 15 and 16 sit in two blocks; an empty string still makes its block",
       {{15, u""}, {16, u"hi"}},
       {{1, EmptyEntries(16)}, {2, Concat(Le16({2, u'h', u'i'}), EmptyEntries(15))}}},
      {"gaps are empty entries",
       {{1, u"\u00E9"}, {3, u"xy"}},
       {{1, Concat(Concat(EmptyEntries(1), Le16({1, 0x00E9, 0, 2, u'x', u'y'})), EmptyEntries(12))}}},
      {"the application title", {{57344, u"V"}}, {{3585, Concat(Le16({1, u'V'}), EmptyEntries(15))}}},
      {"the last id; a character beyond 16 bits takes two units",
       {{65535, u"\U0001F600"}},
       {{4096, Concat(EmptyEntries(15), Le16({2, 0xD83D, 0xDE00}))}}},
  };
  for (const auto& row : rows) EXPECT_EQ(resources::BuildStringTableBlocks(row.strings), row.blocks) << row.what;

  const auto longest = resources::BuildStringTableBlocks({{0, std::u16string(65535, u'a')}});
  ASSERT_EQ(longest.at(1).size(), 2 + 2 * 65535 + 2 * 15u);
  EXPECT_EQ(longest.at(1)[0], 0xFF);
  EXPECT_EQ(longest.at(1)[1], 0xFF);
  EXPECT_THROW(resources::BuildStringTableBlocks({{0, std::u16string(65536, u'a')}}), std::length_error);
}

TEST(VersionInfoImageTest, BlockIsLaidOutAsTheSystemLaysItOut) {
  const Bytes block = resources::BuildVersionInfo({1, 2, 3, 4});
  auto u32 = [&block](size_t at) {
    return uint32_t{block[at]} | uint32_t{block[at + 1]} << 8 | uint32_t{block[at + 2]} << 16 |
           uint32_t{block[at + 3]} << 24;
  };
  ASSERT_EQ(block.size(), 92u);
  const Bytes header = Concat(Le16({92, 52, 0}), Concat(Le16({u'V', u'S', u'_', u'V', u'E', u'R', u'S', u'I', u'O',
                                                                u'N', u'_', u'I', u'N', u'F', u'O', 0}),
                                                          Bytes{0, 0}));
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 40), header);
  struct Field {
    const char* name;
    size_t offset;
    uint32_t value;
  } const fields[] = {
      {"signature", 40, 0xFEEF04BD},    {"struct version", 44, 0x00010000}, {"file version MS", 48, 0x00010002},
      {"file version LS", 52, 0x00030004}, {"product version MS", 56, 0x00010002},
      {"product version LS", 60, 0x00030004}, {"flags mask", 64, 0x3F}, {"flags", 68, 0},
      {"OS", 72, 0x40004},              {"type", 76, 1},              {"subtype", 80, 0},
      {"date MS", 84, 0},               {"date LS", 88, 0},
  };
  for (const auto& field : fields) EXPECT_EQ(u32(field.offset), field.value) << field.name;

}

}  // namespace
}  // namespace platform

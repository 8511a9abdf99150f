#include "platform/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32_error.h"
#include "tests/support/log_capture.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// A fresh pair of stores in a temporary folder for each test.
class RegistryTest : public ::testing::Test {
 protected:
  std::string User(const std::string& path = "") const { return registry_.User(path); }
  std::string Machine(const std::string& path = "") const { return registry_.Machine(path); }

  static UniqueHKey Create(HKEY root, const char16_t* path, uint32_t access = KEY_ALL_ACCESS) {
    UniqueHKey key;
    EXPECT_EQ(RegCreateKeyEx(root, path, access, key.put(), nullptr), kErrorSuccess);
    return key;
  }

  static uint32_t SetString(HKEY key, const char16_t* name, std::u16string_view text) {
    std::u16string terminated(text);
    terminated.push_back(u'\0');
    return RegSetValueEx(key, name, REG_SZ, reinterpret_cast<const uint8_t*>(terminated.data()),
                         static_cast<uint32_t>(terminated.size() * 2));
  }

  // The value's text, or nullopt when it cannot be read.
  static std::optional<std::u16string> GetString(HKEY key, const char16_t* name) {
    uint32_t size = 0;
    if (RegQueryValueEx(key, name, nullptr, nullptr, &size) != kErrorSuccess) return std::nullopt;
    std::u16string text(size / 2, u'\0');
    if (RegQueryValueEx(key, name, nullptr, reinterpret_cast<uint8_t*>(text.data()), &size) !=
        kErrorSuccess)
      return std::nullopt;
    if (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
  }

  static void WriteFile(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }

  testing_support::TempRegistry registry_{"vombel-reg"};
};

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  auto key = Create(HKEY_CURRENT_USER, u"Software\\Velta");
  ASSERT_EQ(SetString(key.get(), u"AutoProfiles", u"True"), kErrorSuccess);
  ASSERT_EQ(SetString(key.get(), u"AUTOPROFILES", u"False"), kErrorSuccess);

  UniqueHKey other;
  uint32_t disposition = 0;
  ASSERT_EQ(
      RegCreateKeyEx(HKEY_USERS, u".default\\SOFTWARE\\velta", KEY_READ, other.put(), &disposition),
      kErrorSuccess);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(GetString(other.get(), u"autoprofiles"), u"False");
  uint32_t values = 0;
  ASSERT_EQ(RegQueryInfoKey(other.get(), nullptr, nullptr, &values, nullptr, nullptr), 0u);
  EXPECT_EQ(values, 1u) << "the second spelling replaced the value";

  char16_t name[16];
  uint32_t size = 16;
  UniqueHKey software;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"software", KEY_READ, software.put()), kErrorSuccess);
  ASSERT_EQ(RegEnumKeyEx(software.get(), 0, name, &size), kErrorSuccess);
  EXPECT_EQ(std::u16string(name), u"Velta");
  EXPECT_FALSE(fs::exists(User("/software")));
}

TEST_F(RegistryTest, QueryInTwoPasses) {
  auto key = Create(HKEY_CURRENT_USER, u"K");
  ASSERT_EQ(SetString(key.get(), u"Apn", u"internet"), kErrorSuccess);

  uint32_t type = 0;
  uint32_t size = 0;
  ASSERT_EQ(RegQueryValueEx(key.get(), u"Apn", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 18u);

  uint8_t small[10];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueEx(key.get(), u"Apn", nullptr, small, &size), kErrorMoreData);
  EXPECT_EQ(size, 18u);

  EXPECT_EQ(RegQueryValueEx(key.get(), u"Apn", nullptr, small, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(RegQueryValueEx(key.get(), u"Missing", nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(RegDeleteValue(key.get(), u"apn"), kErrorSuccess);
  EXPECT_EQ(RegDeleteValue(key.get(), u"apn"), kErrorFileNotFound);
  EXPECT_EQ(GetString(key.get(), u"Apn"), std::nullopt);
}

TEST_F(RegistryTest, PathsAndHandles) {
  Create(HKEY_CURRENT_USER, u"A\\B");
  const std::u16string too_long(256, u'x');
  struct Row {
    HKEY root;
    const char16_t* path;
    uint32_t expected;
  } const rows[] = {
      {HKEY_CURRENT_USER, u"a\\b\\", kErrorSuccess},
      {HKEY_CURRENT_USER, u"", kErrorSuccess},
      {HKEY_USERS, u".DEFAULT\\A", kErrorSuccess},
      {HKEY_USERS, u"", kErrorSuccess},
      {HKEY_CURRENT_USER, u"A\\C", kErrorFileNotFound},
      {HKEY_USERS, u"S-1-5-18\\A", kErrorFileNotFound},
      {HKEY_LOCAL_MACHINE, u"A", kErrorFileNotFound},  // a separate store
      {HKEY_CURRENT_USER, u"\\A", kErrorInvalidParameter},
      {HKEY_CURRENT_USER, u"A\\\\B", kErrorInvalidParameter},
      {HKEY_CURRENT_USER, u"A\\\xD800", kErrorInvalidParameter},
      {HKEY_CURRENT_USER, too_long.c_str(), kErrorInvalidParameter},
      {reinterpret_cast<HKEY>(uintptr_t{0x1234}), u"A", kErrorInvalidHandle},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    UniqueHKey key;
    EXPECT_EQ(RegOpenKeyEx(rows[i].root, rows[i].path, KEY_READ, key.put()), rows[i].expected)
        << "row " << i;
  }
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"A", KEY_READ, nullptr), kErrorInvalidParameter);

  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"A", KEY_READ, &key), kErrorSuccess);
  EXPECT_EQ(RegCloseKey(key), kErrorSuccess);
  EXPECT_EQ(RegCloseKey(key), kErrorInvalidHandle);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), kErrorSuccess);
}

TEST_F(RegistryTest, HandlesGetOnlyTheRightsTheyAskedFor) {
  Create(HKEY_CURRENT_USER, u"K");
  UniqueHKey reader;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"K", KEY_READ, reader.put()), kErrorSuccess);
  EXPECT_EQ(SetString(reader.get(), u"V", u"x"), kErrorAccessDenied);
  EXPECT_EQ(RegDeleteValue(reader.get(), u"V"), kErrorAccessDenied);
  UniqueHKey sub;
  EXPECT_EQ(RegCreateKeyEx(reader.get(), u"Sub", KEY_READ, sub.put(), nullptr), kErrorAccessDenied);
  SECURITY_DESCRIPTOR null_dacl;
  EXPECT_EQ(RegSetKeySecurity(reader.get(), DACL_SECURITY_INFORMATION, &null_dacl),
            kErrorAccessDenied);

  UniqueHKey writer;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"K", KEY_SET_VALUE, writer.put()), kErrorSuccess);
  EXPECT_EQ(SetString(writer.get(), u"V", u"x"), kErrorSuccess);
  uint32_t size = 0;
  EXPECT_EQ(RegQueryValueEx(writer.get(), u"V", nullptr, nullptr, &size), kErrorAccessDenied);
  EXPECT_EQ(GetString(reader.get(), u"V"), u"x");
}

// A read-only access list refuses changes even to root; the null list lifts it.
TEST_F(RegistryTest, ProtectedKeyRefusesChangesUntilItsAccessListIsRemoved) {
  auto key = Create(HKEY_CURRENT_USER, u"Protected");
  Create(HKEY_CURRENT_USER, u"Protected\\Child");
  ASSERT_EQ(SetString(key.get(), u"V", u"kept"), kErrorSuccess);
  const SECURITY_DESCRIPTOR read_only{true, KEY_READ};
  ASSERT_EQ(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &read_only), kErrorSuccess);

  UniqueHKey other;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Protected", KEY_WRITE, other.put()),
            kErrorAccessDenied);
  EXPECT_EQ(SetString(key.get(), u"V", u"changed"), kErrorAccessDenied)
      << "an open handle is refused too";
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u"Protected"), kErrorAccessDenied);
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u"Protected\\Child"), kErrorAccessDenied)
      << "its folder holds its subkeys too";
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Protected", KEY_READ, other.put()), kErrorSuccess);
  EXPECT_EQ(GetString(other.get(), u"V"), u"kept");

  const SECURITY_DESCRIPTOR null_dacl;
  ASSERT_EQ(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &null_dacl), kErrorSuccess);
  EXPECT_EQ(SetString(key.get(), u"V", u"changed"), kErrorSuccess);
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u"Protected\\Child"), kErrorSuccess);
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u"Protected"), kErrorSuccess);
  EXPECT_EQ(fs::status(User()).permissions() & fs::perms::all, fs::perms::owner_all)
      << "the user's store stays private";
}

TEST_F(RegistryTest, DeletingKeys) {
  auto a = Create(HKEY_CURRENT_USER, u"A\\B\\C");
  UniqueHKey b;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"A\\B", KEY_ALL_ACCESS, b.put()), kErrorSuccess);

  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u"A\\B"), kErrorAccessDenied) << "it has a subkey";
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u"A\\B\\X"), kErrorFileNotFound);
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u""), kErrorAccessDenied) << "a store's root";
  EXPECT_EQ(RegDeleteKey(HKEY_USERS, u".DEFAULT"), kErrorAccessDenied);
  EXPECT_EQ(RegDeleteKey(b.get(), u"c"), kErrorSuccess);
  EXPECT_EQ(SetString(a.get(), u"V", u"x"), kErrorKeyDeleted) << "a handle to the deleted key";
  EXPECT_EQ(RegDeleteKey(b.get(), u""), kErrorSuccess) << "the handle's own key";
  EXPECT_EQ(GetString(b.get(), u"V"), std::nullopt);
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"A\\B", KEY_READ, b.put()), kErrorFileNotFound);
  EXPECT_EQ(fs::directory_iterator(User("/A")), fs::directory_iterator()) << "nothing left behind";
}

TEST_F(RegistryTest, EnumeratesSubkeysInNameOrder) {
  for (const char16_t* name : {u"K\\beta", u"K\\Alpha", u"K\\gamma-long-name"})
    Create(HKEY_CURRENT_USER, name);
  auto key = Create(HKEY_CURRENT_USER, u"K");
  ASSERT_EQ(SetString(key.get(), u"Value", u"123"), kErrorSuccess);
  fs::create_directory(User("/K/.deleted-0"));  // the store's own entries are no keys
  fs::create_directory(User("/K/Abc%41"));

  std::vector<std::u16string> names;
  char16_t name[32];
  uint32_t size = 32;
  for (uint32_t i = 0; RegEnumKeyEx(key.get(), i, name, &size) == kErrorSuccess; ++i, size = 32)
    names.emplace_back(name, size);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma-long-name"}));
  size = 32;
  EXPECT_EQ(RegEnumKeyEx(key.get(), 3, name, &size), kErrorNoMoreItems);
  size = 5;
  EXPECT_EQ(RegEnumKeyEx(key.get(), 0, name, &size), kErrorMoreData)
      << "5 units leave no room for the zero";

  uint32_t subkeys = 0, longest = 0, values = 0, longest_name = 0, largest = 0;
  ASSERT_EQ(RegQueryInfoKey(key.get(), &subkeys, &longest, &values, &longest_name, &largest),
            kErrorSuccess);
  EXPECT_EQ(std::vector<uint32_t>({subkeys, longest, values, longest_name, largest}),
            std::vector<uint32_t>({3, 15, 1, 5, 8}));
}

TEST_F(RegistryTest, MachineStoreIsSeparateAndReadableByAll) {
  auto machine = Create(HKEY_LOCAL_MACHINE, u"Software\\Velta\\Velta\\ApplicationSettings");
  ASSERT_EQ(SetString(machine.get(), u"AutoProfiles", u"False"), kErrorSuccess);
  auto user = Create(HKEY_USERS, u".DEFAULT\\Software\\Velta\\Velta\\ApplicationSettings");
  ASSERT_EQ(SetString(user.get(), u"LastMccMnc", u"00101"), kErrorSuccess);

  EXPECT_EQ(GetString(user.get(), u"AutoProfiles"), std::nullopt);
  EXPECT_EQ(GetString(machine.get(), u"LastMccMnc"), std::nullopt);
  const std::string values = "/Software/Velta/Velta/ApplicationSettings/.values";
  EXPECT_EQ(fs::status(Machine(values)).permissions() & fs::perms::all, fs::perms(0644));
  EXPECT_EQ(fs::status(User(values)).permissions() & fs::perms::all, fs::perms(0600));
}

TEST(RegistryRootsTest, DefaultRootsFollowTheEnvironment) {
  testing_support::ScopedEnv config("XDG_CONFIG_HOME", "/x/config");
  EXPECT_EQ(DefaultRegistryRoots().user_dir, "/x/config/vombel-connect");
  // Not absolute: ignored, as the XDG rules say.
  testing_support::ScopedEnv relative("XDG_CONFIG_HOME", "relative");
  testing_support::ScopedEnv home("HOME", "/x/home");
  EXPECT_EQ(DefaultRegistryRoots().user_dir, "/x/home/.config/vombel-connect");
  EXPECT_EQ(DefaultRegistryRoots().machine_dir, "/etc/vombel-connect");
}

TEST_F(RegistryTest, LeftoversOfACrashAreIgnoredAndCleanedUp) {
  auto key = Create(HKEY_CURRENT_USER, u"K");
  ASSERT_EQ(SetString(key.get(), u"AutoProfiles", u"True"), kErrorSuccess);
  // A writer that died before its rename, and a deletion that died half-way.
  WriteFile(User("/K/.values.tmp-dead-1"), "vombel-registry 1\nAutoProfiles=sz:Fa");
  fs::create_directories(User("/K/.deleted-dead/.values"));

  EXPECT_EQ(GetString(key.get(), u"AutoProfiles"), u"True");
  uint32_t subkeys = 1;
  ASSERT_EQ(RegQueryInfoKey(key.get(), &subkeys, nullptr, nullptr, nullptr, nullptr),
            kErrorSuccess);
  EXPECT_EQ(subkeys, 0u);

  ASSERT_EQ(SetString(key.get(), u"Other", u"x"), kErrorSuccess);
  EXPECT_FALSE(fs::exists(User("/K/.values.tmp-dead-1")));
  EXPECT_FALSE(fs::exists(User("/K/.deleted-dead")));
  EXPECT_EQ(GetString(key.get(), u"AutoProfiles"), u"True");
}

// Another process rewrites a value over and over; this one reads it meanwhile
// and then kills the writer wherever it happens to be. Every read, and the
// read after the kill, must find one whole generation of the value.
TEST_F(RegistryTest, ReadersAndAKilledWriterOnlyEverSeeWholeValues) {
  auto key = Create(HKEY_CURRENT_USER, u"K");
  const auto payload = [](int generation) {
    return std::u16string(u"generation ") + char16_t(u'A' + generation % 26) +
           std::u16string(8192, char16_t(u'a' + generation % 26));
  };
  const auto expect_whole = [&](const char* when) {
    const auto value = GetString(key.get(), u"V");
    ASSERT_TRUE(value.has_value()) << when;
    ASSERT_EQ(value->size(), payload(0).size()) << when;
    ASSERT_EQ(*value, payload((*value)[11] - u'A')) << when << ": a torn value";
  };
  ASSERT_EQ(SetString(key.get(), u"V", payload(0)), kErrorSuccess);

  for (int round = 0; round < 4; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(ready[0]);
      for (int generation = 1;; ++generation) {
        if (SetString(key.get(), u"V", payload(generation)) != kErrorSuccess) ::_exit(1);
        if (generation == 1) (void)!::write(ready[1], "x", 1);
      }
    }
    ::close(ready[1]);
    char byte = 0;
    const ssize_t got = ::read(ready[0], &byte, 1);
    for (int i = 0; got == 1 && i < 10 * round; ++i) expect_whole("while writing");
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ASSERT_EQ(got, 1) << "the writer failed";
    expect_whole("after the kill");
  }
}

TEST_F(RegistryTest, DamagedValuesFileReadsAsAbsentWithAWarning) {
  struct Row {
    const char* what;
    std::string text;
    std::optional<std::u16string> good;
    const char* warning;
  } const rows[] = {
      {"garbage",
       std::string("\x7F"
                   "ELF\x02\x01\x00\xFF\xFE",
                   9),
       std::nullopt, "is unreadable"},
      {"one bad line", "vombel-registry 1\nGood=sz:yes\nBad=sz:%zz\n", u"yes",
       "is damaged, 1 line(s) ignored"},
      {"cut off", "vombel-registry 1\nGood=sz:yes\nBad=sz:n", u"yes",
       "is damaged, 1 line(s) ignored"},
  };
  auto key = Create(HKEY_CURRENT_USER, u"K");
  for (const auto& row : rows) {
    WriteFile(User("/K/.values"), row.text);
    testing_support::LogCapture log(kXLogWarning);
    EXPECT_EQ(GetString(key.get(), u"Good"), row.good) << row.what;
    EXPECT_EQ(GetString(key.get(), u"Bad"), std::nullopt) << row.what;
    EXPECT_EQ(log.Count(row.warning), 1u) << row.what << ": one warning, however often it is read";
  }

  // The next write keeps the good values and sets the damaged file aside.
  testing_support::LogCapture log(kXLogWarning);
  ASSERT_EQ(SetString(key.get(), u"New", u"1"), kErrorSuccess);
  EXPECT_EQ(GetString(key.get(), u"Good"), u"yes");
  EXPECT_EQ(GetString(key.get(), u"New"), u"1");
  std::ifstream kept(User("/K/.values.damaged"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), rows[2].text);

  // A FIFO planted in place of the file must not block the reader.
  fs::remove(User("/K/.values"));
  ASSERT_EQ(::mkfifo(User("/K/.values").c_str(), 0600), 0);
  EXPECT_EQ(GetString(key.get(), u"New"), std::nullopt);
  EXPECT_EQ(log.Count("is unreadable"), 1u);
}

// The user-interface thread writes while the worker thread reads.
TEST_F(RegistryTest, ReadersSeeWholeValuesWhileAnotherThreadWrites) {
  auto key = Create(HKEY_CURRENT_USER, u"K");
  ASSERT_EQ(SetString(key.get(), u"V", std::u16string(100, u'0')), kErrorSuccess);
  std::thread writer([&] {
    for (int i = 1; i < 40; ++i)
      EXPECT_EQ(SetString(key.get(), u"V", std::u16string(100, u'0' + i % 10)), 0u);
  });
  for (int i = 0; i < 200; ++i) {
    const auto value = GetString(key.get(), u"V");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, std::u16string(100, (*value)[0]));
  }
  writer.join();
}

}  // namespace
}  // namespace platform

#include "foundation/xregistry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/xmemory.h"
#include "platform/win32_error.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/utf16_bytes.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using testing_support::Utf16Bytes;

const char16_t kBase[] = u".DEFAULT\\Software\\Velta\\Velta";

class XRegistryTest : public ::testing::Test {
 protected:
  static void CreateKey(const std::u16string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_USERS, path.c_str(), KEY_ALL_ACCESS, &key, nullptr),
              kErrorSuccess);
    RegCloseKey(key);
  }

  static void SetValue(const char16_t* path, const char16_t* name, uint32_t type,
                       std::vector<uint8_t> data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_USERS, path, KEY_ALL_ACCESS, &key, nullptr), kErrorSuccess);
    ASSERT_EQ(RegSetValueEx(key, name, type, data.data(), static_cast<uint32_t>(data.size())),
              kErrorSuccess);
    RegCloseKey(key);
  }

  static bool Exists(const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_USERS, path.c_str(), KEY_READ, &key) != kErrorSuccess) return false;
    RegCloseKey(key);
    return true;
  }

  // XRegQueryStringKey's text, freed; nullopt on failure.
  static std::optional<std::u16string> Read(const char16_t* path, const char16_t* name,
                                            bool expand) {
    char16_t* text = nullptr;
    if (XRegQueryStringKey(HKEY_USERS, path, name, &text, expand) != kErrorSuccess)
      return std::nullopt;
    std::u16string copy(text);
    XFree(text);
    return copy;
  }

  static void Protect(const std::u16string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_USERS, path.c_str(), WRITE_DAC, &key), kErrorSuccess);
    const SECURITY_DESCRIPTOR read_only{true, KEY_READ};
    ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &read_only), kErrorSuccess);
    RegCloseKey(key);
  }

  testing_support::TempRegistry registry_{"vombel-xreg"};
};

TEST_F(XRegistryTest, QueryStringTakesTextTypesOnly) {
  ::setenv("VOMBEL_XREG_DIR", "/var/tmp", 1);
  struct Row {
    const char* what;
    uint32_t type;
    std::vector<uint8_t> data;
    bool expand;
    std::optional<std::u16string> expected;
  } const rows[] = {
      {"string", REG_SZ, Utf16Bytes(std::u16string(u"True\0", 5)), false, u"True"},
      {"string is never expanded", REG_SZ, Utf16Bytes(std::u16string(u"%VOMBEL_XREG_DIR%\0", 18)),
       true, u"%VOMBEL_XREG_DIR%"},
      {"expandable, raw", REG_EXPAND_SZ, Utf16Bytes(u"%VOMBEL_XREG_DIR%"), false,
       u"%VOMBEL_XREG_DIR%"},
      {"expandable, expanded", REG_EXPAND_SZ,
       Utf16Bytes(std::u16string(u"%VOMBEL_XREG_DIR%\\log\0", 22)), true, u"/var/tmp\\log"},
      {"unset variable", REG_EXPAND_SZ, Utf16Bytes(u"%VOMBEL_XREG_UNSET%%VOMBEL_XREG_DIR%"), true,
       u"%VOMBEL_XREG_UNSET%/var/tmp"},
      {"lone percent signs", REG_EXPAND_SZ, Utf16Bytes(u"100% and %%"), true, u"100% and %%"},
      {"no terminator", REG_SZ, Utf16Bytes(u"abc"), false, u"abc"},
      {"odd length", REG_SZ, {'a', 0, 'b'}, false, u"a"},
      {"dword", REG_DWORD, {1, 0, 0, 0}, false, std::nullopt},
  };
  for (const auto& row : rows) {
    SetValue(kBase, u"V", row.type, row.data);
    SetLastError(99);
    char16_t* text = reinterpret_cast<char16_t*>(1);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_USERS, kBase, KEY_READ, &key), kErrorSuccess);
    const uint32_t error = XRegQueryString(key, u"V", &text, row.expand);
    RegCloseKey(key);
    EXPECT_EQ(GetLastError(), error) << row.what;
    if (row.expected) {
      ASSERT_EQ(error, kErrorSuccess) << row.what;
      EXPECT_EQ(std::u16string(text), *row.expected) << row.what;
      XFree(text);
    } else {
      EXPECT_EQ(error, kErrorInvalidData) << row.what;
      EXPECT_EQ(text, nullptr) << row.what;
    }
  }
  ::unsetenv("VOMBEL_XREG_DIR");
}

TEST_F(XRegistryTest, QueryValueReadsAnyTypeIntoABlock) {
  SetValue(kBase, u"Blob", REG_BINARY, {1, 2, 3});
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_USERS, kBase, KEY_READ, &key), kErrorSuccess);

  uint8_t* data = nullptr;
  uint32_t type = 0;
  uint32_t size = 0;
  SetLastError(99);
  ASSERT_EQ(XRegQueryValue(key, u"Blob", &data, &type, &size), kErrorSuccess);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(std::vector<uint8_t>(data, data + size), (std::vector<uint8_t>{1, 2, 3}));
  XFree(data);

  EXPECT_EQ(XRegQueryValue(key, u"Missing", &data, &type, &size), kErrorFileNotFound);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(XRegQueryValue(key, u"Blob", nullptr, &type, &size), kErrorInvalidParameter);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  char16_t* text = nullptr;
  EXPECT_EQ(XRegQueryStringKey(HKEY_USERS, kBase, u"V", nullptr, false), kErrorInvalidParameter);
  EXPECT_EQ(XRegQueryStringKey(HKEY_USERS, u".DEFAULT\\Missing", u"V", &text, false),
            kErrorFileNotFound);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  RegCloseKey(key);
}

TEST_F(XRegistryTest, WriteStringCreatesTheKeyOnlyWhenAsked) {
  const char16_t path[] = u".DEFAULT\\Software\\Velta\\Velta\\ApplicationSettings";
  SetLastError(99);
  EXPECT_EQ(XRegWriteString(HKEY_USERS, path, u"SmsCharSet", u"Gsm", false), kErrorFileNotFound);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(Exists(u".DEFAULT\\Software"));

  EXPECT_EQ(XRegWriteString(HKEY_USERS, path, u"SmsCharSet", u"Gsm", true), kErrorSuccess);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(XRegWriteString(HKEY_USERS, path, u"LastNetworkName", u"", false), kErrorSuccess);
  EXPECT_EQ(Read(path, u"smscharset", false), u"Gsm");
  EXPECT_EQ(Read(path, u"LastNetworkName", false), u"");

  // The terminator is part of the stored value.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_USERS, path, KEY_READ, &key), kErrorSuccess);
  uint32_t type = 0;
  uint32_t size = 0;
  ASSERT_EQ(RegQueryValueEx(key, u"SmsCharSet", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 8u);
  RegCloseKey(key);

  EXPECT_EQ(XRegWriteString(HKEY_USERS, path, u"V", nullptr, true), kErrorInvalidParameter);
  EXPECT_EQ(XRegWriteString(HKEY_USERS, u"S-1-5-18\\Software", u"V", u"x", true),
            kErrorAccessDenied)
      << "only the default user's hive is here";
}

TEST_F(XRegistryTest, DeleteKeyTreeRemovesThreeLevels) {
  const std::u16string base = kBase;
  for (const char16_t* path : {u"\\Tree\\B1\\C1\\D1", u"\\Tree\\B1\\C1\\D2", u"\\Tree\\B1\\C2",
                               u"\\Tree\\B2", u"\\Sibling"})
    CreateKey(base + path);
  SetValue((base + u"\\Tree\\B1\\C1\\D1").c_str(), u"V", REG_SZ, {});

  SetLastError(99);
  EXPECT_EQ(XRegDeleteKeyTree(HKEY_USERS, (base + u"\\Tree").c_str(), true), kErrorSuccess);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_FALSE(Exists(base + u"\\Tree"));
  EXPECT_TRUE(Exists(base + u"\\Sibling"));
  EXPECT_EQ(XRegDeleteKeyTree(HKEY_USERS, (base + u"\\Tree").c_str(), true), kErrorFileNotFound);
  EXPECT_EQ(XRegDeleteKeyTree(HKEY_USERS, nullptr, true), kErrorInvalidParameter);
}

TEST_F(XRegistryTest, DeleteWithoutRecurseRefusesAKeyWithSubkeys) {
  const std::u16string base = kBase;
  CreateKey(base + u"\\Tree\\Sub");
  testing_support::LogCapture log;
  EXPECT_EQ(XRegDeleteKeyTree(HKEY_USERS, (base + u"\\Tree").c_str(), false), kErrorAccessDenied);
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  // Access denied takes the retry path; the second refusal is the answer.
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"RegDeleteKey, RegRemoveKeyDacl: OK."});
  EXPECT_TRUE(Exists(base + u"\\Tree\\Sub"));
  EXPECT_EQ(XRegDeleteKeyTree(HKEY_USERS, (base + u"\\Tree\\Sub").c_str(), false), kErrorSuccess);
  EXPECT_EQ(XRegDeleteKeyTree(HKEY_USERS, (base + u"\\Tree").c_str(), false), kErrorSuccess);
}

TEST_F(XRegistryTest, ProtectedKeysAreDeletedAfterTheirAccessListIsRemoved) {
  const std::u16string base = kBase;
  CreateKey(base + u"\\Tree\\B\\C");
  CreateKey(base + u"\\Tree\\B2");
  // Leaves only: a key's folder permissions govern its subkeys as well, so a
  // protected key's subkeys cannot go while it stays protected.
  Protect(base + u"\\Tree\\B\\C");
  Protect(base + u"\\Tree\\B2");

  testing_support::LogCapture log;
  EXPECT_EQ(XRegDeleteKeyTree(HKEY_USERS, (base + u"\\Tree").c_str(), true), kErrorSuccess);
  EXPECT_EQ(log.Count("RegDeleteKey, RegRemoveKeyDacl: OK."), 2u);
  EXPECT_FALSE(Exists(base + u"\\Tree"));

  // The users hive itself has no access list to remove: the failure is logged
  // with its error and the refusal stands.
  log.Clear();
  EXPECT_EQ(XRegDeleteKeyTree(HKEY_USERS, u"", false), kErrorAccessDenied);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"RegDeleteKey, RegRemoveKeyDacl: 0x2."});
}

TEST_F(XRegistryTest, CloseKeyLogsAFailureAndKeepsTheLastError) {
  testing_support::LogCapture log;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_USERS, u".DEFAULT", KEY_READ, &key, nullptr), kErrorSuccess);
  SetLastError(31);
  XRegCloseKey(key);
  EXPECT_EQ(GetLastError(), 31u);
  EXPECT_TRUE(log.Lines().empty());

  XRegCloseKey(key);  // closed already
  EXPECT_EQ(GetLastError(), 31u);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"XRegCloseKey, RegCloseKey: 0x6.\n"});
}

}  // namespace

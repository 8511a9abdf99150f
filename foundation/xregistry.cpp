#include "foundation/xregistry.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "foundation/xlog.h"
#include "foundation/xmemory.h"
#include "platform/text.h"
#include "platform/win32_error.h"

using platform::HKEY;

namespace {

// Every registry helper ends here: the result is also the last error.
uint32_t Done(uint32_t error) {
  platform::SetLastError(error);
  return error;
}

// %NAME% replaced by the environment variable NAME. A reference to a variable
// that is not set stays as written, and its closing "%" may open the next
// reference, as the system's own expansion does ("%UNSET%HOME%" keeps
// "%UNSET" and expands "%HOME%").
std::u16string ExpandEnvironment(std::u16string_view text) {
  std::u16string out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find(u'%', at);
    if (open == std::u16string_view::npos) break;
    const size_t close = text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) break;
    out.append(text.substr(at, open - at));
    const std::u16string_view name = text.substr(open + 1, close - open - 1);
    const std::string variable = platform::Utf16ToUtf8(name);
    const char* value = nullptr;
    if (!name.empty() && variable.find('=') == std::string::npos &&
        variable.find('\0') == std::string::npos)
      value = std::getenv(variable.c_str());
    if (value != nullptr) {
      out += platform::Utf8ToUtf16(value);
      at = close + 1;
    } else {
      out.push_back(u'%');
      out.append(name);
      at = close;
    }
  }
  out.append(text.substr(at));
  return out;
}

char16_t* CopyText(std::u16string_view text) {
  char16_t* block = XAllocChars(text.size() + 1);
  if (block == nullptr) return nullptr;
  std::memcpy(block, text.data(), text.size() * sizeof(char16_t));
  block[text.size()] = u'\0';
  return block;
}

}  // namespace

void XRegCloseKey(HKEY key) {
  platform::LastErrorPreserver preserve;
  if (const uint32_t error = platform::RegCloseKey(key))
    XLog("XRegCloseKey, RegCloseKey: 0x%x.\n", error);
}

uint32_t XRegQueryValue(HKEY key, const char16_t* name, uint8_t** data, uint32_t* type,
                        uint32_t* size) {
  if (data == nullptr) return Done(platform::kErrorInvalidParameter);
  *data = nullptr;
  uint32_t value_type = 0;
  uint32_t needed = 0;
  if (uint32_t error = platform::RegQueryValueEx(key, name, &value_type, nullptr, &needed))
    return Done(error);
  auto* block = static_cast<uint8_t*>(XAlloc(needed));
  if (block == nullptr) return Done(XLastErrorOrFail());
  uint32_t got = needed;
  if (uint32_t error = platform::RegQueryValueEx(key, name, &value_type, block, &got)) {
    XFree(block);
    return Done(error);
  }
  // Another thread changed the value between the two passes; what the
  // second pass read fits and is whole.
  if (got != needed) XLog("RegQueryValueEx: suspicious state.");
  *data = block;
  if (type != nullptr) *type = value_type;
  if (size != nullptr) *size = got;
  return Done(platform::kErrorSuccess);
}

uint32_t XRegQueryString(HKEY key, const char16_t* name, char16_t** text, bool expand) {
  if (text == nullptr) return Done(platform::kErrorInvalidParameter);
  *text = nullptr;
  uint8_t* data = nullptr;
  uint32_t type = 0;
  uint32_t size = 0;
  if (uint32_t error = XRegQueryValue(key, name, &data, &type, &size)) return Done(error);
  if (type != platform::REG_SZ && type != platform::REG_EXPAND_SZ) {
    XFree(data);
    return Done(platform::kErrorInvalidData);
  }
  // The stored bytes need not end with a terminator (nor be whole units):
  // the text is cut at the first zero unit or the last whole unit.
  std::u16string value(size / sizeof(char16_t), u'\0');
  std::memcpy(value.data(), data, value.size() * sizeof(char16_t));
  XFree(data);
  value.resize(std::u16string_view(value.c_str()).size());
  if (expand && type == platform::REG_EXPAND_SZ) value = ExpandEnvironment(value);
  *text = CopyText(value);
  return Done(*text != nullptr ? platform::kErrorSuccess : XLastErrorOrFail());
}

uint32_t XRegQueryStringKey(HKEY root, const char16_t* subkey, const char16_t* name,
                            char16_t** text, bool expand) {
  if (text == nullptr) return Done(platform::kErrorInvalidParameter);
  *text = nullptr;
  HKEY key = nullptr;
  if (uint32_t error = platform::RegOpenKeyEx(root, subkey, platform::KEY_READ, &key))
    return Done(error);
  const uint32_t error = XRegQueryString(key, name, text, expand);
  XRegCloseKey(key);
  return Done(error);
}

uint32_t XRegWriteString(HKEY root, const char16_t* subkey, const char16_t* name,
                         const char16_t* text, bool create) {
  if (text == nullptr) return Done(platform::kErrorInvalidParameter);
  const size_t units = XStrLen(text) + 1;
  if (units > UINT32_MAX / sizeof(char16_t)) return Done(platform::kErrorInvalidParameter);
  HKEY key = nullptr;
  uint32_t error = platform::RegOpenKeyEx(root, subkey, platform::KEY_SET_VALUE, &key);
  if (create && (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound ||
                 error == platform::kErrorInvalidParameter))
    error = platform::RegCreateKeyEx(root, subkey, platform::KEY_SET_VALUE, &key, nullptr);
  if (error != platform::kErrorSuccess) return Done(error);
  error =
      platform::RegSetValueEx(key, name, platform::REG_SZ, reinterpret_cast<const uint8_t*>(text),
                              static_cast<uint32_t>(units * sizeof(char16_t)));
  XRegCloseKey(key);
  return Done(error);
}

uint32_t XRegRemoveKeyDacl(HKEY root, const char16_t* subkey) {
  HKEY key = nullptr;
  if (uint32_t error = platform::RegOpenKeyEx(root, subkey, platform::WRITE_DAC, &key))
    return Done(error);
  const platform::SECURITY_DESCRIPTOR null_dacl{};
  const uint32_t error =
      platform::RegSetKeySecurity(key, platform::DACL_SECURITY_INFORMATION, &null_dacl);
  XRegCloseKey(key);
  return Done(error);
}

uint32_t XRegDeleteKeyTree(HKEY root, const char16_t* subkey, bool recurse) {
  if (subkey == nullptr) return Done(platform::kErrorInvalidParameter);
  if (recurse) {
    HKEY key = nullptr;
    if (uint32_t error = platform::RegOpenKeyEx(root, subkey, platform::KEY_READ, &key))
      return Done(error);
    uint32_t subkeys = 0;
    uint32_t longest = 0;
    if (uint32_t error =
            platform::RegQueryInfoKey(key, &subkeys, &longest, nullptr, nullptr, nullptr)) {
      XRegCloseKey(key);
      return Done(error);
    }
    char16_t* name = XAllocChars(static_cast<size_t>(longest) + 1);
    if (name == nullptr) {
      const uint32_t error = XLastErrorOrFail();
      XRegCloseKey(key);
      return Done(error);
    }
    // Always the first subkey: each deletion moves the next one up. One that
    // cannot be deleted stays first and is tried again; the deletion of this
    // key then fails and says so.
    for (uint32_t i = 0; i < subkeys; ++i) {
      uint32_t size = longest + 1;
      if (platform::RegEnumKeyEx(key, 0, name, &size) != platform::kErrorSuccess) break;
      XRegDeleteKeyTree(key, name, true);
    }
    XFree(name);
    XRegCloseKey(key);
  }
  uint32_t error = platform::RegDeleteKey(root, subkey);
  if (error == platform::kErrorAccessDenied) {
    if (const uint32_t dacl = XRegRemoveKeyDacl(root, subkey)) {
      XLog("RegDeleteKey, RegRemoveKeyDacl: 0x%x.", dacl);
    } else {
      XLog("RegDeleteKey, RegRemoveKeyDacl: OK.");
    }
    error = platform::RegDeleteKey(root, subkey);
  }
  return Done(error);
}

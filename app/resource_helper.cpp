#include "app/resource_helper.h"

#include "foundation/xlog.h"
#include "platform/codepage.h"
#include "platform/resources.h"
#include "platform/win32_error.h"

std::u16string CResourceHelper::GetResource(int identifier, const char* type,
                                            platform::HMODULE module) {
  const auto failed = [identifier, type](const char* step) {
    XLogLevel(kXLogError, "CResourceHelper::GetResource(%d, %s): %s failed with 0x%x", identifier,
              type != nullptr ? type : "(null)", step, platform::GetLastError());
    return std::u16string();
  };
  platform::HRSRC resource = platform::FindResource(module, identifier, type);
  if (resource == nullptr) return failed("FindResource");
  platform::HGLOBAL data = platform::LoadResource(module, resource);
  if (data == nullptr) return failed("LoadResource");
  const void* bytes = platform::LockResource(data);
  if (bytes == nullptr) return failed("LockResource");
  const uint32_t size = platform::SizeofResource(module, resource);
  return AnsiToText(std::string_view(static_cast<const char*>(bytes), size));
}

std::u16string CResourceHelper::AnsiToText(std::string_view bytes) {
  if (bytes.empty()) return {};
  // The ANSI code page is single-byte, so the text never needs more
  // characters than there are bytes.
  std::u16string text(bytes.size(), u'\0');
  const int written =
      platform::MultiByteToWideChar(platform::kCpAcp, 0, bytes.data(), static_cast<int>(bytes.size()),
                                    text.data(), static_cast<int>(text.size()));
  if (written <= 0) {
    XLogLevel(kXLogError, "CResourceHelper::AnsiToText: MultiByteToWideChar failed with 0x%x",
              platform::GetLastError());
    return {};
  }
  text.resize(static_cast<size_t>(written));
  return text;
}

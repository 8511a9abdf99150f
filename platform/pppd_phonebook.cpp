#include "platform/pppd_phonebook.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/dial_up.h"
#include "platform/diagnostics.h"
#include "platform/text.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

constexpr const char* kPeersFolder = "vombel-connect/peers";
constexpr size_t kMaxFileName = 255;
constexpr size_t kHashedPrefix = 238;  // + "~" + 16 digits = 255

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return {};
}

uint64_t Fnv1a64(std::string_view text) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

bool IsWellFormedUtf16(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// mkdir -p, private: the folders hold the user's connections.
bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

std::string TempName() {
  uint64_t random = 0;
  if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
    random = Fnv1a64(std::to_string(::getpid()) + std::to_string(reinterpret_cast<uintptr_t>(&random)));
  }
  char name[32];
  std::snprintf(name, sizeof name, ".tmp-%016llx", static_cast<unsigned long long>(random));
  return name;
}

uint32_t Failed(const char* what, const std::string& path, int err) {
  ReportDiagnostic(kDiagnosticWarning, "Dial-up phonebook: %s %s failed (errno %d).", what, path.c_str(), err);
  return kRasErrorCannotLoadPhonebook;
}

}  // namespace

std::string PhonebookFolder(std::u16string_view phonebook) {
  if (!phonebook.empty()) {
    std::string folder = Utf16ToUtf8(phonebook);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }
  // Beside the program's data, not in its settings folder (whose
  // subfolders are the settings store's keys).
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
    return std::string(data) + "/" + kPeersFolder;
  }
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  return home + "/.local/share/" + kPeersFolder;
}

uint32_t EntryFileName(std::u16string_view entry, std::string& file_name) {
  if (entry.empty() || entry.size() > RAS_MaxEntryName || entry.front() == u'.') return kErrorInvalidName;
  for (char16_t c : entry) {
    if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\') return kErrorInvalidName;
  }
  if (!IsWellFormedUtf16(entry)) return kErrorInvalidName;
  std::string name = Utf16ToUtf8(entry);
  if (name.size() > kMaxFileName) {
    const uint64_t hash = Fnv1a64(name);
    size_t cut = kHashedPrefix;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "~%016llx", static_cast<unsigned long long>(hash));
    name = name.substr(0, cut) + suffix;
  }
  file_name = std::move(name);
  return kErrorSuccess;
}

std::string EntryFilePath(const std::string& folder, const std::string& file_name) {
  return folder + "/" + file_name;
}

uint32_t EntryFileExists(const std::string& folder, const std::string& file_name) {
  if (folder.empty()) return kRasErrorCannotLoadPhonebook;
  struct stat info{};
  const std::string path = EntryFilePath(folder, file_name);
  if (::lstat(path.c_str(), &info) == 0) return kErrorAlreadyExists;
  if (errno == ENOENT || errno == ENOTDIR) return kErrorSuccess;
  return Failed("looking for", path, errno);
}

uint32_t ReadEntryFile(const std::string& folder, const std::string& file_name, std::string& text) {
  if (folder.empty()) return kRasErrorCannotLoadPhonebook;
  const std::string path = EntryFilePath(folder, file_name);
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!file) {
    if (errno == ENOENT || errno == ENOTDIR) return kRasErrorCannotFindPhonebookEntry;
    return Failed("opening", path, errno);
  }
  struct stat info{};
  if (::fstat(file.get(), &info) != 0) return Failed("reading", path, errno);
  if (!S_ISREG(info.st_mode)) return Failed("reading", path, EINVAL);
  std::string content;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Failed("reading", path, errno);
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
    if (content.size() > kMaxEntryFileSize) return Failed("reading (too large)", path, EFBIG);
  }
  text = std::move(content);
  return kErrorSuccess;
}

uint32_t WriteEntryFile(const std::string& folder, const std::string& file_name, std::string_view text) {
  if (folder.empty()) return kRasErrorCannotLoadPhonebook;
  if (!MakeFolders(folder)) return Failed("making the folder", folder, errno);
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir) return Failed("opening the folder", folder, errno);

  std::string temp;
  UniqueFd file;
  for (int attempt = 0; attempt < 16 && !file; ++attempt) {
    temp = TempName();
    file.reset(::openat(dir.get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file && errno != EEXIST) return Failed("creating a file in", folder, errno);
  }
  if (!file) return Failed("creating a file in", folder, EEXIST);

  int err = 0;
  // 0600 whatever the umask says.
  if (::fchmod(file.get(), 0600) != 0 || !WriteAll(file.get(), text) || ::fsync(file.get()) != 0) err = errno;
  if (::close(file.release()) != 0 && err == 0) err = errno;
  if (err == 0 && ::renameat(dir.get(), temp.c_str(), dir.get(), file_name.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlinkat(dir.get(), temp.c_str(), 0);
    return Failed("writing", EntryFilePath(folder, file_name), err);
  }
  // The rename must reach the disk before the entry counts as written.
  if (::fsync(dir.get()) != 0) return Failed("flushing", folder, errno);
  return kErrorSuccess;
}

uint32_t DeleteEntryFile(const std::string& folder, const std::string& file_name) {
  if (folder.empty()) return kRasErrorCannotLoadPhonebook;
  const std::string path = EntryFilePath(folder, file_name);
  if (::unlink(path.c_str()) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return kRasErrorCannotFindPhonebookEntry;
    return Failed("deleting", path, errno);
  }
  return kErrorSuccess;
}

}  // namespace platform

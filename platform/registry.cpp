#include "platform/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/registry_file.h"
#include "platform/text.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

constexpr const char* kValuesFile = ".values";
constexpr std::string_view kTempPrefix = ".values.tmp-";
constexpr const char* kDamagedFile = ".values.damaged";
constexpr std::string_view kDeletedPrefix = ".deleted-";
constexpr const char* kStoreFolder = "vombel-connect";
constexpr const char* kMachineStore = "/etc/vombel-connect";

// A values file beyond this is not ours: read as damaged instead of loading it.
constexpr size_t kMaxValuesFileSize = 64 * 1024 * 1024;
// Windows allows 16383 units for a value name.
constexpr size_t kMaxValueNameLength = 16383;

constexpr uint32_t kReadRights =
    KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | READ_CONTROL;
constexpr uint32_t kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE;
constexpr uint32_t kOwnerRights = WRITE_DAC | WRITE_OWNER;

const std::u16string_view kDefaultUser = u".DEFAULT";

// One store: its folder and the modes its folders and files get. The user's
// store is private (it holds the scrambled credentials); the machine's is
// readable by every user, as the fallback it is.
struct StoreInfo {
  std::string dir;
  mode_t dir_mode = 0700;
  mode_t file_mode = 0600;
};

struct OpenKey {
  UniqueFd dir;
  StoreInfo store;
  uint32_t access = 0;
  bool store_root = false;
};

struct Registry {
  std::mutex mutex;
  std::optional<RegistryRoots> roots;
  std::map<uintptr_t, std::unique_ptr<OpenKey>> keys;
  uintptr_t next_key = 0x1000;
  std::mt19937_64 random{std::random_device{}()};
  // Damaged files already reported, by identity and version, so a broken file
  // is not reported again on every read.
  std::set<std::tuple<dev_t, ino_t, int64_t, int64_t, off_t>> reported;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

RegistryRoots DefaultRegistryRoots() {
  RegistryRoots roots;
  roots.machine_dir = kMachineStore;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
    roots.user_dir = std::string(config) + "/" + kStoreFolder;
    return roots;
  }
  std::string home;
  if (const char* env = std::getenv("HOME"); env != nullptr && env[0] == '/') {
    home = env;
  } else {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr)
      home = found->pw_dir;
  }
  // Without a home there is no user store: every access to it fails with 3.
  if (!home.empty()) roots.user_dir = home + "/.config/" + kStoreFolder;
  return roots;
}

namespace {

const RegistryRoots& CurrentRoots(Registry& registry) {
  if (!registry.roots) registry.roots = DefaultRegistryRoots();
  return *registry.roots;
}

StoreInfo UserStore(Registry& registry) { return {CurrentRoots(registry).user_dir, 0700, 0600}; }
StoreInfo MachineStore(Registry& registry) {
  return {CurrentRoots(registry).machine_dir, 0755, 0644};
}

uint32_t LastErrno() { return ErrorFromErrno(errno); }

// --- the folder a call starts from ---------------------------------------

struct Base {
  bool users_hive = false;  // HKEY_USERS itself: a node without a folder
  const OpenKey* key = nullptr;
  StoreInfo store;
  uint32_t access = 0;
  bool store_root = false;
};

uint32_t ResolveBase(Registry& registry, HKEY handle, Base& base) {
  if (handle == HKEY_USERS) {
    base.users_hive = true;
    base.store = UserStore(registry);
    base.access = ~0u;
    return kErrorSuccess;
  }
  if (handle == HKEY_CURRENT_USER || handle == HKEY_LOCAL_MACHINE) {
    base.store = handle == HKEY_CURRENT_USER ? UserStore(registry) : MachineStore(registry);
    base.access = ~0u;
    base.store_root = true;
    return kErrorSuccess;
  }
  auto it = registry.keys.find(reinterpret_cast<uintptr_t>(handle));
  if (it == registry.keys.end()) return kErrorInvalidHandle;
  base.key = it->second.get();
  base.store = base.key->store;
  base.access = base.key->access;
  base.store_root = base.key->store_root;
  return kErrorSuccess;
}

// Splits "a\b\c" (one trailing "\" allowed); nullopt for an empty or
// over-long name or one that is not well-formed UTF-16.
std::optional<std::vector<std::u16string>> ParsePath(const char16_t* subkey) {
  std::vector<std::u16string> names;
  if (subkey == nullptr || *subkey == u'\0') return names;
  std::u16string_view rest(subkey);
  if (rest.back() == u'\\') rest.remove_suffix(1);
  while (true) {
    const size_t cut = rest.find(u'\\');
    std::u16string_view name = rest.substr(0, cut);
    if (name.empty() || name.size() > kMaxRegistryNameLength) return std::nullopt;
    std::u16string owned(name);
    const auto round_trip = DecodeRegistryKeyName(EncodeRegistryKeyName(owned));
    if (!round_trip || *round_trip != owned) return std::nullopt;
    names.push_back(std::move(owned));
    if (cut == std::u16string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return names;
}

bool ValidValueName(std::u16string_view name) {
  // The values file keeps names as UTF-8: an unpaired surrogate has no form there.
  return name.size() <= kMaxValueNameLength && Utf8ToUtf16(Utf16ToUtf8(name)) == name;
}

// Opens the store's folder, creating it (and the folders above it) when
// `create` is set.
uint32_t OpenStoreFolder(const StoreInfo& store, bool create, UniqueFd& out) {
  if (store.dir.empty()) return kErrorPathNotFound;
  out.reset(::open(store.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (out) return kErrorSuccess;
  if (errno != ENOENT || !create) return errno == ENOENT ? kErrorFileNotFound : LastErrno();
  for (size_t at = 1; at <= store.dir.size(); ++at) {
    if (at != store.dir.size() && store.dir[at] != '/') continue;
    const std::string prefix = store.dir.substr(0, at);
    if (::mkdir(prefix.c_str(), store.dir_mode) != 0 && errno != EEXIST) return LastErrno();
    if (at == store.dir.size()) ::chmod(prefix.c_str(), store.dir_mode);  // whatever the umask says
  }
  out.reset(::open(store.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return out ? kErrorSuccess : LastErrno();
}

// --- folders ---------------------------------------------------------------

bool IsDirectoryEntry(int dir, const dirent* entry) {
  if (entry->d_type == DT_DIR) return true;
  if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) return false;
  struct stat st {};
  return ::fstatat(dir, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

// Calls `visit(entry)` for every entry of the folder but "." and "..".
template <typename Visit>
bool ForEachEntry(int dir, Visit visit) {
  // A fresh open file description: reading a dup of `dir` would move the
  // position every other reader of it shares.
  int fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* stream = ::fdopendir(fd);
  if (stream == nullptr) {
    ::close(fd);
    return false;
  }
  while (const dirent* entry = ::readdir(stream)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    visit(entry);
  }
  ::closedir(stream);
  return true;
}

struct Subkey {
  std::u16string name;
  std::string entry;
};

std::vector<Subkey> ListSubkeys(int dir) {
  std::vector<Subkey> subkeys;
  ForEachEntry(dir, [&](const dirent* entry) {
    auto name = DecodeRegistryKeyName(entry->d_name);
    if (name && IsDirectoryEntry(dir, entry)) subkeys.push_back({std::move(*name), entry->d_name});
  });
  std::sort(subkeys.begin(), subkeys.end(),
            [](const Subkey& a, const Subkey& b) { return RegistryNameLess(a.name, b.name); });
  return subkeys;
}

// The subkey `name` of the folder, found ignoring case; 2 when there is none.
uint32_t OpenSubkey(int dir, const std::u16string& name, UniqueFd& out, std::string* entry_name) {
  std::string entry = EncodeRegistryKeyName(name);
  out.reset(::openat(dir, entry.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!out) {
    if (errno != ENOENT && errno != ENOTDIR) return LastErrno();
    bool found = false;
    for (auto& subkey : ListSubkeys(dir)) {
      if (!RegistryNamesEqual(subkey.name, name)) continue;
      entry = std::move(subkey.entry);
      found = true;
      break;
    }
    if (!found) return kErrorFileNotFound;
    out.reset(::openat(dir, entry.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!out) return errno == ENOENT ? kErrorFileNotFound : LastErrno();
  }
  if (entry_name != nullptr) *entry_name = std::move(entry);
  return kErrorSuccess;
}

// Whether the key's folder grants `access`: its owner bits are the key's
// access list (honoured even for root); the kernel's checks come on top.
uint32_t CheckAccess(int dir, uint32_t access) {
  struct stat st {};
  if (::fstat(dir, &st) != 0) return LastErrno();
  if (st.st_nlink == 0) return kErrorKeyDeleted;
  if ((access & kReadRights) &&
      (!(st.st_mode & S_IRUSR) || ::faccessat(dir, ".", R_OK | X_OK, AT_EACCESS) != 0))
    return kErrorAccessDenied;
  if ((access & kWriteRights) &&
      (!(st.st_mode & S_IWUSR) || ::faccessat(dir, ".", W_OK | X_OK, AT_EACCESS) != 0))
    return kErrorAccessDenied;
  if ((access & kOwnerRights) && ::geteuid() != 0 && st.st_uid != ::geteuid())
    return kErrorAccessDenied;
  return kErrorSuccess;
}

std::string FolderPath(int dir) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", dir);
  std::string path(4096, '\0');
  const ssize_t n = ::readlink(link, path.data(), path.size());
  if (n <= 0) return "<key>";
  path.resize(static_cast<size_t>(n));
  return path;
}

std::string RandomSuffix(Registry& registry) {
  char text[32];
  std::snprintf(text, sizeof text, "%x-%08x", static_cast<unsigned>(::getpid()),
                static_cast<unsigned>(registry.random()));
  return text;
}

void RemoveTree(int parent, const std::string& name) {
  int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && (errno == ELOOP || errno == ENOTDIR)) {
    // A link or a file where a folder was: remove the entry, never what it points to.
    ::unlinkat(parent, name.c_str(), 0);
    return;
  }
  if (fd >= 0) {
    UniqueFd dir(fd);
    std::vector<std::pair<std::string, bool>> entries;
    ForEachEntry(dir.get(), [&](const dirent* entry) {
      const bool is_dir =
          entry->d_type == DT_DIR || (entry->d_type == DT_UNKNOWN && [&] {
            struct stat st {};
            return ::fstatat(dir.get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                   S_ISDIR(st.st_mode);
          }());
      entries.emplace_back(entry->d_name, is_dir);
    });
    for (const auto& [entry, is_dir] : entries) {
      if (is_dir) {
        RemoveTree(dir.get(), entry);
      } else {
        ::unlinkat(dir.get(), entry.c_str(), 0);
      }
    }
  }
  ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

// Writes in progress and deletions that a crash interrupted. Called only with
// the store's lock held, when no other writer can be half-way.
void CleanLeftovers(int dir) {
  std::vector<std::pair<std::string, bool>> leftovers;
  ForEachEntry(dir, [&](const dirent* entry) {
    std::string_view name = entry->d_name;
    if (name.substr(0, kTempPrefix.size()) == kTempPrefix) leftovers.emplace_back(name, false);
    if (name.substr(0, kDeletedPrefix.size()) == kDeletedPrefix) leftovers.emplace_back(name, true);
  });
  for (const auto& [name, is_dir] : leftovers) {
    if (is_dir) {
      RemoveTree(dir, name);
    } else {
      ::unlinkat(dir, name.c_str(), 0);
    }
  }
}

// Serialises writers across processes. Without a lock (a file system that has
// none) the process's own mutex still orders this program's writes, which is
// all a single-instance program needs.
class StoreLock {
 public:
  StoreLock() = default;
  explicit StoreLock(const StoreInfo& store) { Acquire(store); }

  // Takes the lock unless this object holds it already.
  void Acquire(const StoreInfo& store) {
    if (held_ || store.dir.empty()) return;
    held_ = true;
    fd_.reset(::open(store.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd_) return;
    while (::flock(fd_.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  bool Held() const { return held_; }

 private:
  bool held_ = false;
  UniqueFd fd_;  // closing it releases the lock
};

// --- values files ------------------------------------------------------------

struct Values {
  std::vector<RegistryValue> values;
  bool damaged = false;
};

uint32_t ReadValues(Registry& registry, int dir, Values& out) {
  out = {};
  // Non-blocking, so a FIFO planted in the folder cannot stall the reader.
  UniqueFd file(::openat(dir, kValuesFile, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!file) return errno == ENOENT ? kErrorSuccess : LastErrno();
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) return LastErrno();

  std::string text;
  bool too_big = !S_ISREG(st.st_mode);
  if (!too_big) {
    char buffer[16384];
    while (true) {
      const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return LastErrno();
      if (n == 0) break;
      if (text.size() + static_cast<size_t>(n) > kMaxValuesFileSize) {
        too_big = true;
        break;
      }
      text.append(buffer, static_cast<size_t>(n));
    }
  }

  RegistryFileContent content;
  if (!too_big) content = ParseRegistryFile(text);
  out.values = std::move(content.values);
  out.damaged = too_big || content.damaged();
  if (!out.damaged) return kErrorSuccess;

  const auto identity =
      std::make_tuple(st.st_dev, st.st_ino, static_cast<int64_t>(st.st_mtim.tv_sec),
                      static_cast<int64_t>(st.st_mtim.tv_nsec), st.st_size);
  if (registry.reported.insert(identity).second) {
    const std::string path = FolderPath(dir) + "/" + kValuesFile;
    if (too_big || !content.header_ok) {
      ReportDiagnostic(kDiagnosticWarning, "Registry: values file %s is unreadable, its values are ignored.",
                path.c_str());
    } else {
      ReportDiagnostic(kDiagnosticWarning, "Registry: values file %s is damaged, %zu line(s) ignored.",
                path.c_str(), content.damaged_lines);
    }
  }
  return kErrorSuccess;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Replaces the key's values file: a temporary file beside it, flushed, then
// renamed over it, so a crash leaves the old or the new file, never half of
// one. A damaged file about to be replaced is kept as ".values.damaged".
uint32_t WriteValues(Registry& registry, int dir, const StoreInfo& store, const Values& values) {
  const std::string text = SerializeRegistryFile(values.values);
  if (text.size() > kMaxValuesFileSize) return kErrorInvalidParameter;

  std::string temp;
  UniqueFd file;
  for (int attempt = 0; attempt < 16 && !file; ++attempt) {
    temp = std::string(kTempPrefix) + RandomSuffix(registry);
    file.reset(
        ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, store.file_mode));
    if (!file && errno != EEXIST) return LastErrno();
  }
  if (!file) return kErrorAlreadyExists;

  uint32_t error = kErrorSuccess;
  // The mode the store wants, whatever the umask says.
  if (::fchmod(file.get(), store.file_mode) != 0 || !WriteAll(file.get(), text) ||
      ::fsync(file.get()) != 0)
    error = LastErrno();
  if (::close(file.release()) != 0 && error == kErrorSuccess) error = LastErrno();
  if (error == kErrorSuccess && values.damaged) {
    ::unlinkat(dir, kDamagedFile, 0);
    if (::linkat(dir, kValuesFile, dir, kDamagedFile, 0) == 0) {
      ReportDiagnostic(kDiagnosticWarning, "Registry: the damaged values file is kept as %s/%s.",
                FolderPath(dir).c_str(), kDamagedFile);
    }
  }
  if (error == kErrorSuccess && ::renameat(dir, temp.c_str(), dir, kValuesFile) != 0)
    error = LastErrno();
  if (error != kErrorSuccess) {
    ::unlinkat(dir, temp.c_str(), 0);
    return error;
  }
  // The rename itself must reach the disk before the change counts as made.
  if (::fsync(dir) != 0) return LastErrno();
  CleanLeftovers(dir);
  return kErrorSuccess;
}

// --- walking paths -------------------------------------------------------------

// Where a call lands: the folder of its key, or the HKEY_USERS node.
struct Target {
  bool users_hive = false;
  UniqueFd dir;
  StoreInfo store;
  bool store_root = false;
};

// HKEY_USERS holds exactly one subkey, ".DEFAULT": the user's store. Takes it
// off the path; 2 for any other user.
uint32_t EnterUsersHive(Base& base, std::vector<std::u16string>& names) {
  if (!base.users_hive || names.empty()) return kErrorSuccess;
  if (!RegistryNamesEqual(names.front(), kDefaultUser)) return kErrorFileNotFound;
  names.erase(names.begin());
  base.users_hive = false;
  base.store_root = true;
  return kErrorSuccess;
}

// The folder `base` stands for (a new descriptor of it).
uint32_t OpenBaseFolder(const Base& base, bool create, UniqueFd& out) {
  if (base.key != nullptr) {
    struct stat st {};
    if (::fstat(base.key->dir.get(), &st) != 0) return LastErrno();
    if (st.st_nlink == 0) return kErrorKeyDeleted;
    out.reset(::openat(base.key->dir.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return out ? kErrorSuccess : LastErrno();
  }
  return OpenStoreFolder(base.store, create, out);
}

// Follows `names` from `base` to an existing key.
uint32_t Walk(Base base, std::vector<std::u16string> names, Target& target) {
  if (uint32_t error = EnterUsersHive(base, names)) return error;
  target.store = base.store;
  if (base.users_hive) {
    target.users_hive = true;
    return kErrorSuccess;
  }
  if (uint32_t error = OpenBaseFolder(base, false, target.dir)) return error;
  for (const auto& name : names) {
    UniqueFd child;
    if (uint32_t error = OpenSubkey(target.dir.get(), name, child, nullptr)) return error;
    target.dir = std::move(child);
  }
  target.store_root = base.store_root && names.empty();
  return kErrorSuccess;
}

HKEY InsertKey(Registry& registry, std::unique_ptr<OpenKey> key) {
  uintptr_t id = registry.next_key++;
  // Never hand out a number that reads as a predefined root.
  if (id >= 0x80000000u && id < 0x80000010u) {
    registry.next_key = 0x80000010u;
    id = registry.next_key++;
  }
  registry.keys.emplace(id, std::move(key));
  return reinterpret_cast<HKEY>(id);
}

// The folder a value call works on: the key itself, or a predefined root's
// store (created on first write).
uint32_t ValueFolder(Registry& registry, HKEY handle, uint32_t right, bool create, Base& base,
                     UniqueFd& dir) {
  if (uint32_t error = ResolveBase(registry, handle, base)) return error;
  if ((base.access & right) != right) return kErrorAccessDenied;
  if (base.users_hive) return create ? kErrorAccessDenied : kErrorFileNotFound;
  if (uint32_t error = OpenBaseFolder(base, create, dir)) return error;
  return CheckAccess(dir.get(), right);
}

std::vector<RegistryValue>::iterator FindValue(std::vector<RegistryValue>& values,
                                               std::u16string_view name) {
  return std::find_if(values.begin(), values.end(), [&](const RegistryValue& value) {
    return RegistryNamesEqual(value.name, name);
  });
}

// The start of every call that names a subkey: the handle's base and the
// subkey's names. Called under the registry lock.
uint32_t ResolveSubkey(Registry& registry, HKEY key, const char16_t* subkey, Base& base,
                       std::vector<std::u16string>& names) {
  if (uint32_t error = ResolveBase(registry, key, base)) return error;
  auto parsed = ParsePath(subkey);
  if (!parsed) return kErrorInvalidParameter;
  names = std::move(*parsed);
  return kErrorSuccess;
}

}  // namespace

uint32_t RegOpenKeyEx(HKEY key, const char16_t* subkey, uint32_t access, HKEY* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  *result = nullptr;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  Base base;
  std::vector<std::u16string> names;
  if (uint32_t error = ResolveSubkey(registry, key, subkey, base, names)) return error;
  Target target;
  if (uint32_t error = Walk(base, names, target)) return error;
  if (target.users_hive) {
    *result = HKEY_USERS;
    return kErrorSuccess;
  }
  if (uint32_t error = CheckAccess(target.dir.get(), access)) return error;
  *result = InsertKey(registry, std::make_unique<OpenKey>(OpenKey{std::move(target.dir), target.store,
                                                                  access, target.store_root}));
  return kErrorSuccess;
}

uint32_t RegCreateKeyEx(HKEY key, const char16_t* subkey, uint32_t access, HKEY* result,
                        uint32_t* disposition) {
  if (result == nullptr) return kErrorInvalidParameter;
  *result = nullptr;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  Base base;
  std::vector<std::u16string> names;
  if (uint32_t error = ResolveSubkey(registry, key, subkey, base, names)) return error;
  if (base.users_hive && names.empty()) {
    *result = HKEY_USERS;
    if (disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
    return kErrorSuccess;
  }
  // Other users' hives cannot be made here.
  if (uint32_t error = EnterUsersHive(base, names))
    return error == kErrorFileNotFound ? kErrorAccessDenied : error;

  UniqueFd dir;
  if (uint32_t error = OpenBaseFolder(base, true, dir)) return error;
  StoreLock store_lock;  // taken only once something has to be created
  bool created = false;
  for (const auto& name : names) {
    UniqueFd child;
    uint32_t error = OpenSubkey(dir.get(), name, child, nullptr);
    if (error == kErrorFileNotFound) {
      if ((base.access & KEY_CREATE_SUB_KEY) == 0) return kErrorAccessDenied;
      if (!store_lock.Held()) {
        store_lock.Acquire(base.store);
        // Another process may have made it while this one waited for the lock.
        error = OpenSubkey(dir.get(), name, child, nullptr);
      }
    }
    if (error == kErrorFileNotFound) {
      if (uint32_t denied = CheckAccess(dir.get(), KEY_CREATE_SUB_KEY)) return denied;
      const std::string entry = EncodeRegistryKeyName(name);
      if (::mkdirat(dir.get(), entry.c_str(), base.store.dir_mode) != 0) return LastErrno();
      if (::fchmodat(dir.get(), entry.c_str(), base.store.dir_mode, 0) != 0 ||
          ::fsync(dir.get()) != 0)
        return LastErrno();
      created = true;
      error = OpenSubkey(dir.get(), name, child, nullptr);
    }
    if (error != kErrorSuccess) return error;
    dir = std::move(child);
  }
  if (uint32_t error = CheckAccess(dir.get(), access)) return error;
  *result = InsertKey(registry, std::make_unique<OpenKey>(OpenKey{std::move(dir), base.store, access,
                                                                  base.store_root && names.empty()}));
  if (disposition != nullptr)
    *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return kErrorSuccess;
}

uint32_t RegCloseKey(HKEY key) {
  if (key == HKEY_USERS || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE)
    return kErrorSuccess;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.keys.erase(reinterpret_cast<uintptr_t>(key)) == 1 ? kErrorSuccess
                                                                    : kErrorInvalidHandle;
}

uint32_t RegQueryValueEx(HKEY key, const char16_t* name, uint32_t* type, uint8_t* data,
                         uint32_t* size) {
  if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  Base base;
  UniqueFd dir;
  if (uint32_t error = ValueFolder(registry, key, KEY_QUERY_VALUE, false, base, dir)) return error;
  Values values;
  if (uint32_t error = ReadValues(registry, dir.get(), values)) return error;
  auto it = FindValue(values.values, name != nullptr ? name : u"");
  if (it == values.values.end()) return kErrorFileNotFound;

  const auto length = static_cast<uint32_t>(it->data.size());
  if (type != nullptr) *type = it->type;
  if (data != nullptr) {
    if (*size < length) {
      *size = length;
      return kErrorMoreData;
    }
    std::copy(it->data.begin(), it->data.end(), data);
  }
  if (size != nullptr) *size = length;
  return kErrorSuccess;
}

uint32_t RegSetValueEx(HKEY key, const char16_t* name, uint32_t type, const uint8_t* data,
                       uint32_t size) {
  if ((data == nullptr && size != 0) || size > kMaxRegistryValueSize) return kErrorInvalidParameter;
  const std::u16string_view value_name = name != nullptr ? name : u"";
  if (!ValidValueName(value_name)) return kErrorInvalidParameter;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  Base base;
  UniqueFd dir;
  if (uint32_t error = ValueFolder(registry, key, KEY_SET_VALUE, true, base, dir)) return error;
  StoreLock store_lock(base.store);
  Values values;
  if (uint32_t error = ReadValues(registry, dir.get(), values)) return error;
  std::vector<uint8_t> bytes(data, data + size);
  if (auto it = FindValue(values.values, value_name); it != values.values.end()) {
    // The name keeps the case it was first written with, as on Windows.
    it->type = type;
    it->data = std::move(bytes);
  } else {
    values.values.push_back({std::u16string(value_name), type, std::move(bytes)});
  }
  return WriteValues(registry, dir.get(), base.store, values);
}

uint32_t RegDeleteValue(HKEY key, const char16_t* name) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  Base base;
  UniqueFd dir;
  if (uint32_t error = ValueFolder(registry, key, KEY_SET_VALUE, false, base, dir)) return error;
  StoreLock store_lock(base.store);
  Values values;
  if (uint32_t error = ReadValues(registry, dir.get(), values)) return error;
  auto it = FindValue(values.values, name != nullptr ? name : u"");
  if (it == values.values.end()) return kErrorFileNotFound;
  values.values.erase(it);
  return WriteValues(registry, dir.get(), base.store, values);
}

uint32_t RegDeleteKey(HKEY key, const char16_t* subkey) {
  if (subkey == nullptr) return kErrorInvalidParameter;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  Base base;
  std::vector<std::u16string> names;
  if (uint32_t error = ResolveSubkey(registry, key, subkey, base, names)) return error;
  if (uint32_t error = EnterUsersHive(base, names)) return error;
  // The hive node, a store's root: these are not keys one can delete.
  if (base.users_hive || (names.empty() && base.store_root)) return kErrorAccessDenied;

  UniqueFd parent;
  UniqueFd target;
  std::string entry;
  if (names.empty()) {
    // The key the handle holds: find its entry in the folder above it.
    target.reset(::openat(base.key->dir.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    parent.reset(::openat(base.key->dir.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!target || !parent) return LastErrno();
    struct stat self {};
    if (::fstat(target.get(), &self) != 0) return LastErrno();
    if (self.st_nlink == 0) return kErrorKeyDeleted;
    for (const auto& subkey_entry : ListSubkeys(parent.get())) {
      struct stat st {};
      if (::fstatat(parent.get(), subkey_entry.entry.c_str(), &st, 0) == 0 &&
          st.st_dev == self.st_dev && st.st_ino == self.st_ino)
        entry = subkey_entry.entry;
    }
    if (entry.empty()) return kErrorKeyDeleted;
  } else {
    const std::u16string last = names.back();
    names.pop_back();
    Target above;
    if (uint32_t error = Walk(base, names, above)) return error;
    parent = std::move(above.dir);
    if (uint32_t error = OpenSubkey(parent.get(), last, target, &entry)) return error;
  }

  StoreLock store_lock(base.store);
  // Both folders change: the key's own loses its contents, the one above it
  // loses the key. Asking the one above too keeps root's answer the same as
  // everybody else's, whom the kernel would refuse anyway.
  if (uint32_t error = CheckAccess(target.get(), DELETE)) return error;
  if (uint32_t error = CheckAccess(parent.get(), KEY_CREATE_SUB_KEY)) return error;
  if (!ListSubkeys(target.get()).empty()) return kErrorAccessDenied;
  // Renaming the folder aside is the deletion; a crash after it leaves a
  // ".deleted-" folder that nobody takes for a key and the next write removes.
  const std::string aside = std::string(kDeletedPrefix) + RandomSuffix(registry);
  if (::renameat(parent.get(), entry.c_str(), parent.get(), aside.c_str()) != 0) return LastErrno();
  target.reset();
  RemoveTree(parent.get(), aside);
  ::fsync(parent.get());
  return kErrorSuccess;
}

uint32_t RegQueryInfoKey(HKEY key, uint32_t* subkeys, uint32_t* max_subkey_length, uint32_t* values,
                         uint32_t* max_value_name_length, uint32_t* max_value_size) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  Base base;
  if (uint32_t error = ResolveBase(registry, key, base)) return error;
  if ((base.access & KEY_QUERY_VALUE) == 0) return kErrorAccessDenied;

  std::vector<Subkey> list;
  Values read;
  if (base.users_hive) {
    list.push_back({std::u16string(kDefaultUser), {}});
  } else {
    UniqueFd dir;
    if (uint32_t error = OpenBaseFolder(base, false, dir)) return error;
    if (uint32_t error = CheckAccess(dir.get(), KEY_QUERY_VALUE)) return error;
    list = ListSubkeys(dir.get());
    if (uint32_t error = ReadValues(registry, dir.get(), read)) return error;
  }
  size_t longest_subkey = 0, longest_name = 0, largest = 0;
  for (const auto& subkey : list) longest_subkey = std::max(longest_subkey, subkey.name.size());
  for (const auto& value : read.values) {
    longest_name = std::max(longest_name, value.name.size());
    largest = std::max(largest, value.data.size());
  }
  if (subkeys != nullptr) *subkeys = static_cast<uint32_t>(list.size());
  if (max_subkey_length != nullptr) *max_subkey_length = static_cast<uint32_t>(longest_subkey);
  if (values != nullptr) *values = static_cast<uint32_t>(read.values.size());
  if (max_value_name_length != nullptr)
    *max_value_name_length = static_cast<uint32_t>(longest_name);
  if (max_value_size != nullptr) *max_value_size = static_cast<uint32_t>(largest);
  return kErrorSuccess;
}

uint32_t RegEnumKeyEx(HKEY key, uint32_t index, char16_t* name, uint32_t* name_size) {
  if (name == nullptr || name_size == nullptr) return kErrorInvalidParameter;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  Base base;
  if (uint32_t error = ResolveBase(registry, key, base)) return error;
  if ((base.access & KEY_ENUMERATE_SUB_KEYS) == 0) return kErrorAccessDenied;

  std::vector<Subkey> list;
  if (base.users_hive) {
    list.push_back({std::u16string(kDefaultUser), {}});
  } else {
    UniqueFd dir;
    if (uint32_t error = OpenBaseFolder(base, false, dir)) return error;
    if (uint32_t error = CheckAccess(dir.get(), KEY_ENUMERATE_SUB_KEYS)) return error;
    list = ListSubkeys(dir.get());
  }
  if (index >= list.size()) return kErrorNoMoreItems;
  const std::u16string& found = list[index].name;
  if (found.size() + 1 > *name_size) return kErrorMoreData;
  std::copy(found.begin(), found.end(), name);
  name[found.size()] = u'\0';
  *name_size = static_cast<uint32_t>(found.size());
  return kErrorSuccess;
}

uint32_t RegSetKeySecurity(HKEY key, uint32_t information, const SECURITY_DESCRIPTOR* descriptor) {
  if (descriptor == nullptr) return kErrorInvalidParameter;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  Base base;
  UniqueFd dir;
  if (uint32_t error = ValueFolder(registry, key, WRITE_DAC, false, base, dir)) return error;
  if ((information & DACL_SECURITY_INFORMATION) == 0) return kErrorSuccess;

  mode_t folder_bits = S_IRWXU;
  mode_t file_bits = S_IRUSR | S_IWUSR;
  if (descriptor->dacl_present) {
    folder_bits = file_bits = 0;
    if (descriptor->granted & kReadRights) {
      folder_bits |= S_IRUSR | S_IXUSR;
      file_bits |= S_IRUSR;
    }
    if (descriptor->granted & kWriteRights) {
      folder_bits |= S_IWUSR | S_IXUSR;
      file_bits |= S_IWUSR;
    }
  }
  struct stat st {};
  if (::fstat(dir.get(), &st) != 0) return LastErrno();
  if (::fchmod(dir.get(), (st.st_mode & 07077) | folder_bits) != 0) return LastErrno();
  if (::fstatat(dir.get(), kValuesFile, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
      ::fchmodat(dir.get(), kValuesFile, (st.st_mode & 07077) | file_bits, 0) != 0)
    return LastErrno();
  return kErrorSuccess;
}

void SetRegistryRoots(std::string user_dir, std::string machine_dir) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.roots = RegistryRoots{std::move(user_dir), std::move(machine_dir)};
}

RegistryRoots GetRegistryRoots() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return CurrentRoots(registry);
}

ScopedRegistryRoots::ScopedRegistryRoots(std::string user_dir, std::string machine_dir)
    : previous_(GetRegistryRoots()) {
  SetRegistryRoots(std::move(user_dir), std::move(machine_dir));
}

ScopedRegistryRoots::~ScopedRegistryRoots() {
  SetRegistryRoots(std::move(previous_.user_dir), std::move(previous_.machine_dir));
}

}  // namespace platform

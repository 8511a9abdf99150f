// The registry: a small hierarchical store of named, typed values, kept in
// files. The calls have the shape and the error numbers of their Win32
// namesakes (0 success, 2 not found, 5 access denied, 6 invalid handle,
// 87 invalid parameter, 234 more data, 259 no more items, 1018 key deleted);
// they return the error and leave the thread's last-error value alone.
//
// Roots and where they live:
//   HKEY_USERS\.DEFAULT    the per-user store: $XDG_CONFIG_HOME/vombel-connect/
//                          (else ~/.config/vombel-connect/). HKEY_USERS holds
//                          that one subkey and nothing else.
//   HKEY_CURRENT_USER      the same store as HKEY_USERS\.DEFAULT.
//   HKEY_LOCAL_MACHINE     the machine-wide fallback: /etc/vombel-connect/,
//                          normally writable by the administrator only.
// SetRegistryRoots / ScopedRegistryRoots move both stores elsewhere, for the
// whole process (tests point them at a temporary folder).
//
// Layout on disk (one folder per key, so a key's access rights are its
// folder's permissions and a damaged file costs one key, not the store):
//   <store>/                      the root key
//   <store>/.values               the root key's values
//   <store>/Software/             subkey "Software"
//   <store>/Software/.values      its values, and so on down.
// A key's folder is named after the key in its original case, as UTF-8, with
// "%", "/", control characters and a leading "." written as %XX. Names are
// compared ignoring case, so "software" opens "Software". Entries whose names
// start with "." are the store's own: ".values", ".values.tmp-*" (a write in
// progress, or left by a crash), ".values.damaged" (the last unreadable values
// file, kept for inspection before it was replaced) and ".deleted-*" (a key
// being deleted); none of them is ever taken for a key.
// The user's store is private (folders 0700, files 0600: it holds the
// scrambled credentials); the machine's is readable by all (0755, 0644).
//
// The ".values" file is UTF-8 text (registry_file.h has the grammar):
//   vombel-registry 1
//   AutoProfiles=sz:True
//   Counter=dword:0000002a
//   Blob=binary:00ff10
//
// Every change is atomic: a values file is written to a temporary file in the
// key's folder, flushed to disk and renamed over the old one; a key is created
// with one mkdir and deleted by renaming its folder aside first. A crash at any
// point leaves either the old or the new state readable; leftovers are ignored
// and cleaned up by the next write in that folder. Writers in different
// processes take an flock on the store's folder; in one process a mutex guards
// the whole store (settings are written from the user-interface thread and
// read from the worker thread).
//
// Access rights: a key's folder permissions are its access list. A key whose
// folder lacks the owner's write bit refuses changes (5) even to root, the way
// a read-only access list does; one without the owner's read bit refuses
// reading. As with any folder, the write bit also governs what is in it: a
// protected key's subkeys can be neither created nor deleted (here the store
// is stricter than Windows, where each key answers for itself alone). Beyond
// that the kernel's own permission checks apply (a user cannot write the
// administrator's /etc store).
//
// A values file that cannot be parsed reads as absent values and logs a
// warning (level 2); the next write keeps it as ".values.damaged".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace platform {

using HKEY = struct HKeyTag*;

inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t{0x80000001});
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});
inline const HKEY HKEY_USERS = reinterpret_cast<HKEY>(uintptr_t{0x80000003});

// Operating on a handle whose key has been deleted since it was opened.
inline constexpr uint32_t kErrorKeyDeleted = 1018;

// Value types.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;
inline constexpr uint32_t REG_MULTI_SZ = 7;

// Access rights.
inline constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr uint32_t KEY_NOTIFY = 0x0010;
inline constexpr uint32_t KEY_CREATE_LINK = 0x0020;
inline constexpr uint32_t DELETE = 0x00010000;
inline constexpr uint32_t READ_CONTROL = 0x00020000;
inline constexpr uint32_t WRITE_DAC = 0x00040000;
inline constexpr uint32_t WRITE_OWNER = 0x00080000;
inline constexpr uint32_t KEY_READ =
    READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
inline constexpr uint32_t KEY_WRITE = READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
inline constexpr uint32_t KEY_ALL_ACCESS = 0x000F003F;

// RegCreateKeyEx dispositions.
inline constexpr uint32_t REG_CREATED_NEW_KEY = 1;
inline constexpr uint32_t REG_OPENED_EXISTING_KEY = 2;

// RegSetKeySecurity: which part of the descriptor to apply.
inline constexpr uint32_t DACL_SECURITY_INFORMATION = 0x00000004;

// A key's access list as far as a folder's owner permissions can hold one.
// No list (`dacl_present` false) is the null access list: everyone may do
// everything; on disk the owner gets read, write and search on the folder
// and read and write on its values file. Group and other bits are left as they
// are: widening them would open the user's stored profile (its scrambled
// password included) to every account on the machine, and the owner's rights
// are all this program needs to delete or rewrite the key. A present list
// grants the owner the read rights (KEY_READ) and/or the write rights
// (KEY_SET_VALUE, KEY_CREATE_SUB_KEY, DELETE) named in `granted`.
struct SECURITY_DESCRIPTOR {
  bool dacl_present = false;
  uint32_t granted = 0;
};

// Longest key name, in UTF-16 units (a value name may have up to 16383).
inline constexpr size_t kMaxRegistryNameLength = 255;
// Largest value RegSetValueEx accepts, in bytes.
inline constexpr uint32_t kMaxRegistryValueSize = 1024 * 1024;

// `subkey` is a path of names separated by "\" (one trailing "\" is allowed);
// null or empty opens another handle to `key` itself. 87 for an empty or
// over-long name in the path, 2 when a key on the path does not exist, 5 when
// the key's access list does not grant `access`.
uint32_t RegOpenKeyEx(HKEY key, const char16_t* subkey, uint32_t access, HKEY* result);
// Opens the key, creating it and every missing key above it first.
// `disposition` (may be null) tells which happened.
uint32_t RegCreateKeyEx(HKEY key, const char16_t* subkey, uint32_t access, HKEY* result,
                        uint32_t* disposition);
// 6 for a handle that is not open. Closing a predefined root does nothing.
uint32_t RegCloseKey(HKEY key);

// Two passes: with `data` null, `*size` receives the value's size. With a
// buffer smaller than the value, 234 and `*size` receives the size needed.
// `type` may be null; null or empty `name` is the key's default value.
uint32_t RegQueryValueEx(HKEY key, const char16_t* name, uint32_t* type, uint8_t* data,
                         uint32_t* size);
// Stores `size` bytes of `data` as they are; the key must be open with
// KEY_SET_VALUE.
uint32_t RegSetValueEx(HKEY key, const char16_t* name, uint32_t type, const uint8_t* data,
                       uint32_t size);
uint32_t RegDeleteValue(HKEY key, const char16_t* name);

// Deletes a key without subkeys; one that has subkeys is refused with 5, as on
// Windows. Empty `subkey` deletes `key` itself (a store's root cannot be
// deleted: 5).
uint32_t RegDeleteKey(HKEY key, const char16_t* subkey);

// Any pointer may be null. Lengths are in UTF-16 units without terminator;
// `max_value_size` in bytes.
uint32_t RegQueryInfoKey(HKEY key, uint32_t* subkeys, uint32_t* max_subkey_length, uint32_t* values,
                         uint32_t* max_value_name_length, uint32_t* max_value_size);
// Subkeys in the order of their names, ignoring case. `*name_size` is the
// buffer's size in units including the terminator; it receives the name's
// length without it. 259 past the last subkey; 234 when the buffer is small.
uint32_t RegEnumKeyEx(HKEY key, uint32_t index, char16_t* name, uint32_t* name_size);

// Applies the access list of `descriptor` to the key's folder (see
// SECURITY_DESCRIPTOR). The key must be open with WRITE_DAC, which only the
// folder's owner (or root) gets.
uint32_t RegSetKeySecurity(HKEY key, uint32_t information, const SECURITY_DESCRIPTOR* descriptor);

// Where the two stores live. Process-wide: affects every thread and every key
// opened from a predefined root afterwards; handles already open keep their
// folders. Until set, the defaults above apply.
struct RegistryRoots {
  std::string user_dir;
  std::string machine_dir;
};
void SetRegistryRoots(std::string user_dir, std::string machine_dir);
RegistryRoots GetRegistryRoots();
// The usual places, from the environment as it is now. An empty user_dir
// when neither XDG_CONFIG_HOME nor a home folder is known: the user store
// then answers 3 (path not found).
RegistryRoots DefaultRegistryRoots();

// Sets the registry roots for its lifetime and puts the previous ones back.
class ScopedRegistryRoots {
 public:
  ScopedRegistryRoots(std::string user_dir, std::string machine_dir);
  ~ScopedRegistryRoots();
  ScopedRegistryRoots(const ScopedRegistryRoots&) = delete;
  ScopedRegistryRoots& operator=(const ScopedRegistryRoots&) = delete;

 private:
  RegistryRoots previous_;
};

// Owns one open key and closes it when it goes.
class UniqueHKey {
 public:
  UniqueHKey() = default;
  explicit UniqueHKey(HKEY key) : key_(key) {}
  ~UniqueHKey() { reset(); }
  UniqueHKey(UniqueHKey&& other) noexcept : key_(other.release()) {}
  UniqueHKey& operator=(UniqueHKey&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHKey(const UniqueHKey&) = delete;
  UniqueHKey& operator=(const UniqueHKey&) = delete;

  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  HKEY release() { return std::exchange(key_, nullptr); }
  void reset(HKEY key = nullptr) {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = key;
  }
  // For the out parameter of RegOpenKeyEx / RegCreateKeyEx: closes the key
  // held so far.
  HKEY* put() {
    reset();
    return &key_;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace platform

#include "platform/resources.h"

#include <map>
#include <mutex>

#include "platform/ascii.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

using resources::ResourceEntry;
using resources::ResourceTable;

struct Registry {
  std::mutex mutex;
  std::map<uintptr_t, std::shared_ptr<const ResourceTable>> modules;
  uintptr_t next = 1;
};

// Never destroyed: a module registered by a static object may be released
// after the other statics have gone.
Registry& GetRegistry() {
  static auto* registry = new Registry;
  return *registry;
}

std::shared_ptr<const ResourceTable> TableOf(HMODULE module) {
  if (module == nullptr) return {std::shared_ptr<void>(), &resources::kProgramResources};
  Registry& registry = GetRegistry();
  std::lock_guard lock(registry.mutex);
  const auto it = registry.modules.find(reinterpret_cast<uintptr_t>(module));
  if (it == registry.modules.end()) return nullptr;
  return it->second;
}

// The entry `handle` points to when it is one of `table`'s; found by address
// alone, so a stale or made-up handle is never dereferenced.
const ResourceEntry* EntryOf(const ResourceTable& table, const void* handle) {
  if (handle == nullptr || table.count == 0) return nullptr;
  const auto first = reinterpret_cast<uintptr_t>(table.entries);
  const auto at = reinterpret_cast<uintptr_t>(handle);
  if (at < first || at - first >= table.count * sizeof(ResourceEntry)) return nullptr;
  if ((at - first) % sizeof(ResourceEntry) != 0) return nullptr;
  return table.entries + (at - first) / sizeof(ResourceEntry);
}

bool SameName(const char* stored, std::string_view name) {
  size_t i = 0;
  for (; i < name.size(); ++i) {
    if (stored[i] == '\0' || AsciiToUpper(stored[i]) != AsciiToUpper(name[i])) return false;
  }
  return stored[i] == '\0';
}

bool TypeMatches(const ResourceEntry& entry, const ResourceId& type) {
  if (type.is_number()) return entry.type_name == nullptr && type.number() != 0 && entry.type_number == type.number();
  return entry.type_name != nullptr && SameName(entry.type_name, type.name());
}

// Resources carry numeric ids only, so a name that is not "#number" names
// nothing.
bool NameMatches(const ResourceEntry& entry, const ResourceId& name) {
  return name.is_number() && name.number() != 0 && entry.id == name.number();
}

// The resource behind a handle from LoadResource or FindResource of `module`;
// the last error set when there is none.
const ResourceEntry* ResolveResource(HMODULE module, const void* handle) {
  const auto table = TableOf(module);
  if (!table) {
    SetLastError(kErrorResourceDataNotFound);
    return nullptr;
  }
  const ResourceEntry* entry = EntryOf(*table, handle);
  if (entry == nullptr) SetLastError(kErrorInvalidHandle);
  return entry;
}

}  // namespace

ResourceId::ResourceId(const char* name) : ResourceId(name == nullptr ? std::string_view() : std::string_view(name)) {}

ResourceId::ResourceId(std::string_view name) {
  if (name.empty()) return;  // stands for nothing
  if (name.front() != '#') {
    name_ = name;
    return;
  }
  // "#123": the number 123. Anything else after '#' stands for nothing.
  uint32_t value = 0;
  name.remove_prefix(1);
  if (name.empty()) return;
  for (char c : name) {
    if (c < '0' || c > '9') return;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 0xFFFF) return;
  }
  number_ = static_cast<uint16_t>(value);
}

HRSRC FindResource(HMODULE module, ResourceId name, ResourceId type) {
  const auto table = TableOf(module);
  if (!table) {
    SetLastError(kErrorResourceDataNotFound);
    return nullptr;
  }
  bool type_present = false;
  for (size_t i = 0; i < table->count; ++i) {
    const ResourceEntry& entry = table->entries[i];
    if (!TypeMatches(entry, type)) continue;
    type_present = true;
    if (NameMatches(entry, name)) return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(&entry));
  }
  SetLastError(type_present ? kErrorResourceNameNotFound : kErrorResourceTypeNotFound);
  return nullptr;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  const ResourceEntry* entry = ResolveResource(module, resource);
  return entry == nullptr ? nullptr : reinterpret_cast<HGLOBAL>(const_cast<ResourceEntry*>(entry));
}

const void* LockResource(HGLOBAL data) {
  if (const ResourceEntry* entry = EntryOf(resources::kProgramResources, data)) return entry->data;
  if (data != nullptr) {
    Registry& registry = GetRegistry();
    std::lock_guard lock(registry.mutex);
    for (const auto& [handle, table] : registry.modules) {
      if (const ResourceEntry* entry = EntryOf(*table, data)) return entry->data;
    }
  }
  SetLastError(kErrorInvalidHandle);
  return nullptr;
}

uint32_t SizeofResource(HMODULE module, HRSRC resource) {
  const ResourceEntry* entry = ResolveResource(module, resource);
  return entry == nullptr ? 0 : entry->size;
}

HMODULE RegisterResourceModule(std::shared_ptr<const resources::ResourceTable> table) {
  Registry& registry = GetRegistry();
  std::lock_guard lock(registry.mutex);
  // Numbers that are never reused, in a form no pointer of ours takes, so a
  // handle kept past its module's end finds nothing instead of a newer module.
  const uintptr_t handle = (registry.next++ << 4) | 0x3;
  registry.modules.emplace(handle, std::move(table));
  return reinterpret_cast<HMODULE>(handle);
}

void UnregisterResourceModule(HMODULE module) {
  Registry& registry = GetRegistry();
  std::shared_ptr<const ResourceTable> released;
  {
    std::lock_guard lock(registry.mutex);
    const auto it = registry.modules.find(reinterpret_cast<uintptr_t>(module));
    if (it == registry.modules.end()) return;
    released = std::move(it->second);
    registry.modules.erase(it);
  }
  // `released` lets go of the table here, outside the lock.
}

}  // namespace platform

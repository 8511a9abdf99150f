// Compiled-in resources, reached the way the upper layers were written to
// reach them: FindResource, then LoadResource, then LockResource for the bytes
// and SizeofResource for their length, with the Win32 error numbers in the
// last-error value on failure (success leaves it alone, as the system does).
//
// Module null is the program itself: the table the build generates from
// resources/ (see resources/resources.list and resources/strings.txt). Other
// modules are resource sets registered at run time (resource_module.h).
// Everything handed out stays valid as long as its module is registered, for
// the program's own module that is for ever; the bytes are read-only and
// aligned to at least 4 bytes.
#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/module.h"
#include "resources/resource_table.h"

namespace platform {

using HRSRC = struct ResourceInfoTag*;
using HGLOBAL = struct ResourceDataTag*;

inline constexpr uint16_t kRtString = resources::kTypeString;
inline constexpr uint16_t kRtVersion = resources::kTypeVersion;
inline constexpr uint16_t kVsVersionInfo = resources::kVersionInfoId;

// A resource type or name: a number 1..65535, or a name ("NW_DATA") that
// compares without regard to ASCII case. A name of the form "#123" is the
// number 123. A number out of range and a null name stand for nothing and are
// never found.
class ResourceId {
 public:
  template <std::integral T>
  constexpr ResourceId(T number)  // NOLINT: implicit, as MAKEINTRESOURCE is
      : number_(number >= 1 && static_cast<uint64_t>(number) <= 0xFFFF ? static_cast<uint16_t>(number) : 0) {}
  ResourceId(const char* name);  // NOLINT: implicit, so callers pass "NW_DATA"
  ResourceId(std::string_view name);

  bool is_number() const { return name_.empty(); }
  // 0 for a name, or for a number that stands for nothing.
  uint16_t number() const { return number_; }
  std::string_view name() const { return name_; }

 private:
  uint16_t number_ = 0;
  std::string_view name_;
};

// Null when the module is not registered (1812), holds no resource of the
// type (1813) or none of that type with the name (1814).
HRSRC FindResource(HMODULE module, ResourceId name, ResourceId type);

// Null (last error 6) when `resource` is not a resource of `module`; an
// unregistered module gives 1812.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);

// The resource's first byte; null (last error 6) for a handle that no
// registered module handed out. A resource of size 0 still has a pointer.
const void* LockResource(HGLOBAL data);

// The resource's size in bytes; 0 with the last error set as LoadResource
// does when `resource` is not a resource of `module`.
uint32_t SizeofResource(HMODULE module, HRSRC resource);

// Enters `table` as a module of its own; the shared pointer keeps it alive
// until UnregisterResourceModule. ResourceModule does both.
HMODULE RegisterResourceModule(std::shared_ptr<const resources::ResourceTable> table);
void UnregisterResourceModule(HMODULE module);

}  // namespace platform

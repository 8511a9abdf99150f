// The resources compiled into the program, as the resource compiler (resgen)
// lays them out: a flat table of (type, id) → bytes. The platform layer's
// FindResource family reads it; nothing else should.
//
// Kept free of the platform layer on purpose: the generated table and the
// build tool compile against this header alone.
#pragma once

#include <cstddef>
#include <cstdint>

namespace resources {

// Resource types with a number of their own. A string table lives in blocks of
// type 6, the version block is resource 1 of type 16.
inline constexpr uint16_t kTypeString = 6;
inline constexpr uint16_t kTypeVersion = 16;
inline constexpr uint16_t kVersionInfoId = 1;

struct ResourceEntry {
  // Upper-case type name ("NW_DATA"), or null when the type is a number.
  const char* type_name;
  // The type's number; 0 when the type has a name.
  uint16_t type_number;
  uint16_t id;
  // Never null, aligned to at least 4 bytes, so a string-table block can be
  // read as 16-bit units in place.
  const unsigned char* data;
  uint32_t size;
};

struct ResourceTable {
  const ResourceEntry* entries;
  size_t count;
};

// The program's own resources, generated from resources/resources.list and
// resources/strings.txt.
extern const ResourceTable kProgramResources;

}  // namespace resources

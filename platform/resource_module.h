// Resource sets registered as modules of their own, for data the program does
// not ship: the tests' string tables and damaged blocks, a card database made
// for one test. The builder lays the string table and the version block out
// exactly as the resource compiler does for the program (the image code is
// shared), so a module behaves like the program's own.
//
//   platform::ResourceModule module = platform::ResourceModuleBuilder()
//                                         .AddString(57344, u"Title")
//                                         .Add("NW_DATA", 101, "[Cards]\r\n")
//                                         .Build();
//   platform::FindResource(module.handle(), 101, "NW_DATA");
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/module.h"
#include "platform/resources.h"
#include "resources/resource_image.h"

namespace platform {

// Owns one registration: the handle is valid until the object goes (a
// moved-from object holds none), and FindResource on it fails with 1812 after.
class ResourceModule {
 public:
  ResourceModule(ResourceModule&& other) noexcept;
  ResourceModule& operator=(ResourceModule&& other) noexcept;
  ResourceModule(const ResourceModule&) = delete;
  ResourceModule& operator=(const ResourceModule&) = delete;
  ~ResourceModule();

  HMODULE handle() const { return handle_; }

 private:
  friend class ResourceModuleBuilder;
  explicit ResourceModule(HMODULE handle) : handle_(handle) {}

  HMODULE handle_;
};

// Mistakes in what a test asks for (an id given twice, id or type 0, an empty
// name, a text over 65535 units) throw std::invalid_argument or
// std::length_error from Build rather than making a module that hides them.
class ResourceModuleBuilder {
 public:
  // `bytes` as they are, under any type: a custom resource, or a hand-made
  // (possibly damaged) string-table or version block.
  ResourceModuleBuilder& Add(ResourceId type, uint16_t id, std::string_view bytes);
  ResourceModuleBuilder& Add(ResourceId type, uint16_t id, std::vector<uint8_t> bytes);
  // One string of the string table; an empty text is an empty entry.
  ResourceModuleBuilder& AddString(uint16_t id, std::u16string_view text);
  // The version block the program carries, stamped with `version`.
  ResourceModuleBuilder& AddVersion(resources::FileVersion version);

  // Registers what was added so far; may be called again for another module.
  ResourceModule Build() const;

 private:
  struct Custom {
    std::string type_name;  // upper case; empty for a numbered type
    uint16_t type_number;
    uint16_t id;
    std::vector<uint8_t> bytes;
  };

  std::vector<Custom> customs_;
  std::map<uint16_t, std::u16string> strings_;
  std::vector<uint16_t> repeated_strings_;
  std::optional<resources::FileVersion> version_;
};

}  // namespace platform

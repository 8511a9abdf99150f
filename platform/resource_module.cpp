#include "platform/resource_module.h"

#include "platform/ascii.h"

#include <deque>
#include <stdexcept>
#include <utility>

namespace platform {
namespace {

// The storage behind one registered module. Names live in a deque so the
// entries' pointers to them stay put while it grows.
struct ModuleImage {
  std::deque<std::string> names;
  std::deque<std::vector<uint8_t>> blobs;
  std::vector<resources::ResourceEntry> entries;
  resources::ResourceTable table{};
};

// A resource of size 0 still gets a pointer, as LockResource promises one.
alignas(4) const unsigned char kNoBytes[4] = {};

std::string Describe(const std::string& type_name, uint16_t type_number, uint16_t id) {
  return (type_name.empty() ? std::to_string(type_number) : type_name) + " " + std::to_string(id);
}

}  // namespace

ResourceModule::ResourceModule(ResourceModule&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

ResourceModule& ResourceModule::operator=(ResourceModule&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) UnregisterResourceModule(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

ResourceModule::~ResourceModule() {
  if (handle_ != nullptr) UnregisterResourceModule(handle_);
}

ResourceModuleBuilder& ResourceModuleBuilder::Add(ResourceId type, uint16_t id, std::string_view bytes) {
  return Add(type, id, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

ResourceModuleBuilder& ResourceModuleBuilder::Add(ResourceId type, uint16_t id, std::vector<uint8_t> bytes) {
  Custom custom{{}, type.number(), id, std::move(bytes)};
  for (char c : type.name()) custom.type_name.push_back(AsciiToUpper(c));
  customs_.push_back(std::move(custom));
  return *this;
}

ResourceModuleBuilder& ResourceModuleBuilder::AddString(uint16_t id, std::u16string_view text) {
  if (!strings_.emplace(id, text).second) repeated_strings_.push_back(id);
  return *this;
}

ResourceModuleBuilder& ResourceModuleBuilder::AddVersion(resources::FileVersion version) {
  version_ = version;
  return *this;
}

ResourceModule ResourceModuleBuilder::Build() const {
  if (!repeated_strings_.empty()) {
    throw std::invalid_argument("string " + std::to_string(repeated_strings_.front()) + " is given twice");
  }
  std::vector<Custom> all = customs_;
  for (auto& [block, image] : resources::BuildStringTableBlocks(strings_)) {
    all.push_back({{}, resources::kTypeString, block, std::move(image)});
  }
  if (version_) all.push_back({{}, resources::kTypeVersion, resources::kVersionInfoId, resources::BuildVersionInfo(*version_)});

  auto image = std::make_shared<ModuleImage>();
  for (size_t i = 0; i < all.size(); ++i) {
    Custom& resource = all[i];
    if (resource.id == 0 || (resource.type_name.empty() && resource.type_number == 0)) {
      throw std::invalid_argument("resource " + Describe(resource.type_name, resource.type_number, resource.id) +
                                  ": type and id must be names or numbers 1..65535");
    }
    for (size_t j = 0; j < i; ++j) {
      if (all[j].type_name == resource.type_name && all[j].type_number == resource.type_number &&
          all[j].id == resource.id) {
        throw std::invalid_argument("resource " + Describe(resource.type_name, resource.type_number, resource.id) +
                                    " is given twice");
      }
    }
    if (resource.bytes.size() > UINT32_MAX) throw std::length_error("a resource is limited to 4 GiB");
    const char* name = nullptr;
    if (!resource.type_name.empty()) name = image->names.emplace_back(resource.type_name).c_str();
    // Heap blocks are aligned well beyond the 4 bytes readers may rely on.
    const auto& bytes = image->blobs.emplace_back(std::move(resource.bytes));
    image->entries.push_back({name, resource.type_number, resource.id, bytes.empty() ? kNoBytes : bytes.data(),
                              static_cast<uint32_t>(bytes.size())});
  }
  image->table = {image->entries.data(), image->entries.size()};
  return ResourceModule(RegisterResourceModule(std::shared_ptr<const resources::ResourceTable>(image, &image->table)));
}

}  // namespace platform

#include "mimeengine/property_registry.h"

#include "ascii.h"
#include "mimeengine/public_property_names.h"

namespace mimeengine {
namespace {

constexpr uint32_t kFirstPublicId = kFirstPublicPropertyId;
constexpr uint32_t kPublicCount = sizeof(kPublicPropertyNames) / sizeof(kPublicPropertyNames[0]);
static_assert(kFirstPublicId + kPublicCount - 1 == 78, "public ids run from 2 to 78");

}  // namespace

PropertyRegistry& PropertyRegistry::Instance() {
  static PropertyRegistry* registry = new PropertyRegistry();  // lives until exit
  return *registry;
}

PropertyRegistry::PropertyRegistry() {
  for (uint32_t i = 0; i < kPublicCount; ++i) {
    ids_.emplace(ascii::Lower(kPublicPropertyNames[i]), kFirstPublicId + i);
  }
}

std::string PropertyRegistry::NameOf(uint32_t id) const {
  if (id >= kFirstPublicId && id < kFirstPublicId + kPublicCount) {
    return std::string(kPublicPropertyNames[id - kFirstPublicId]);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (id >= kFirstDynamicId && id - kFirstDynamicId < dynamic_names_.size()) {
    return dynamic_names_[id - kFirstDynamicId];
  }
  return std::string();
}

uint32_t PropertyRegistry::IdOf(std::string_view name) {
  std::string key = ascii::Lower(name);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = ids_.find(key);
  if (it != ids_.end()) return it->second;
  if (kFirstDynamicId + dynamic_names_.size() > kLastDynamicId) return 0;
  const uint32_t id = kFirstDynamicId + static_cast<uint32_t>(dynamic_names_.size());
  dynamic_names_.emplace_back(name);
  ids_.emplace(std::move(key), id);
  return id;
}

}  // namespace mimeengine

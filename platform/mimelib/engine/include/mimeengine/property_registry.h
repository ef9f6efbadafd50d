// Numeric property ids and the names they stand for. Ids 2 to 78 are the
// public list; any other name gets a dynamic id above 78 the first time it
// is asked for, so that every name an enumeration reports has an id that
// can be passed in its place.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mimeengine {

class PropertyRegistry {
 public:
  static constexpr uint32_t kFirstDynamicId = 100;
  // Ids travel in the place of name pointers, so they stay below 0x10000.
  static constexpr uint32_t kLastDynamicId = 0xFFFF;

  // The process-wide registry. Thread-safe.
  static PropertyRegistry& Instance();

  // The name an id stands for; empty when the id is unknown.
  std::string NameOf(uint32_t id) const;

  // The id of a name (case-insensitive): its public id when it has one,
  // else its dynamic id, assigned now if needed. 0 when the dynamic range is
  // exhausted.
  uint32_t IdOf(std::string_view name);

 private:
  PropertyRegistry();
  mutable std::mutex mutex_;
  std::unordered_map<std::string, uint32_t> ids_;  // lower-case name -> id
  std::vector<std::string> dynamic_names_;         // id - kFirstDynamicId -> name
};

}  // namespace mimeengine

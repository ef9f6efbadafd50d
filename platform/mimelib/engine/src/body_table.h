// The bodies of one message by handle (private to the engine).
#pragma once

#include <memory>
#include <unordered_map>

#include "body.h"

namespace mimeengine {

// Owns a message's bodies and hands out their handles. Handles come from one
// counter for the whole process, so a handle of one message never names a
// body of another, nor of an earlier tree of the same message. They stay
// 32-bit, never 0 or kRootAlias, and wrap only after about four billion
// bodies.
class BodyTable {
 public:
  BodyTable() { Reset(); }
  BodyTable(const BodyTable&) = delete;
  BodyTable& operator=(const BodyTable&) = delete;

  // The body `h` names (kRootAlias names the root), or nullptr.
  Body* Get(BodyHandle h) const {
    if (h == kRootAlias) return root_;
    const auto it = bodies_.find(h);
    return it == bodies_.end() ? nullptr : it->second.get();
  }

  // A new body with the next handle, linked to nothing yet.
  Body* New();

  // Frees `b` and every body below it; their handles become invalid.
  void FreeSubtree(Body* b);

  // Frees every body and starts over with an empty root.
  void Reset();

  Body* root() const { return root_; }
  // How many bodies are alive.
  size_t size() const { return bodies_.size(); }

 private:
  Body* root_ = nullptr;
  std::unordered_map<BodyHandle, std::unique_ptr<Body>> bodies_;
};

}  // namespace mimeengine

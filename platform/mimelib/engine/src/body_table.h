// The bodies of one message by handle (private to the engine).
#pragma once

#include <memory>
#include <vector>

#include "body.h"

namespace mimeengine {

// Owns a message's bodies and hands out their handles: consecutive numbers
// from a base that moves on with every Reset, so that a handle of an earlier
// tree never names a body of a later one.
class BodyTable {
 public:
  BodyTable() { Reset(); }
  BodyTable(const BodyTable&) = delete;
  BodyTable& operator=(const BodyTable&) = delete;

  // The body `h` names (kRootAlias names the root), or nullptr.
  Body* Get(BodyHandle h) const {
    if (h == kRootAlias) return root_;
    if (h < base_ || h - base_ >= slots_.size()) return nullptr;
    return slots_[h - base_].get();
  }

  // A new body with the next handle, linked to nothing yet.
  Body* New();

  // Frees `b` and every body below it; their handles become invalid.
  void FreeSubtree(Body* b);

  // Frees every body and starts over with an empty root.
  void Reset();

  Body* root() const { return root_; }
  // How many bodies are alive.
  size_t size() const { return live_; }

 private:
  Body* root_ = nullptr;
  BodyHandle base_ = 0;
  std::vector<std::unique_ptr<Body>> slots_;  // handle - base_ -> body; null once freed
  size_t live_ = 0;
};

}  // namespace mimeengine

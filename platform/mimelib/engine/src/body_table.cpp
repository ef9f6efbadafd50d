#include "body_table.h"

#include <cstdint>

namespace mimeengine {

Body* BodyTable::New() {
  auto b = std::make_unique<Body>();
  b->handle = base_ + static_cast<BodyHandle>(slots_.size());
  slots_.push_back(std::move(b));
  ++live_;
  return slots_.back().get();
}

void BodyTable::FreeSubtree(Body* b) {
  std::vector<Body*> stack{b};
  while (!stack.empty()) {
    Body* x = stack.back();
    stack.pop_back();
    for (Body* c : x->children) stack.push_back(c);
    slots_[x->handle - base_].reset();
    --live_;
  }
}

void BodyTable::Reset() {
  // New handles never repeat old ones; wrap long before 0xFFFFFFFF.
  uint64_t next = static_cast<uint64_t>(base_) + slots_.size() + 1;
  if (next > 0xF0000000ull) next = 1;
  base_ = static_cast<BodyHandle>(next);
  slots_.clear();
  live_ = 0;
  root_ = New();
}

}  // namespace mimeengine

#include "body_table.h"

#include <atomic>
#include <cstdint>

namespace mimeengine {
namespace {

// The next handle of the process, skipping 0 and kRootAlias when it wraps.
BodyHandle NextHandle() {
  static std::atomic<BodyHandle> counter{0};
  for (;;) {
    const BodyHandle h = counter.fetch_add(1, std::memory_order_relaxed) + 1;
    if (h != kNoBody && h != kRootAlias) return h;
  }
}

}  // namespace

Body* BodyTable::New() {
  auto b = std::make_unique<Body>();
  b->handle = NextHandle();
  Body* raw = b.get();
  bodies_[raw->handle] = std::move(b);
  return raw;
}

void BodyTable::FreeSubtree(Body* b) {
  std::vector<Body*> stack{b};
  while (!stack.empty()) {
    Body* x = stack.back();
    stack.pop_back();
    for (Body* c : x->children) stack.push_back(c);
    bodies_.erase(x->handle);
  }
}

void BodyTable::Reset() {
  bodies_.clear();
  root_ = New();
}

}  // namespace mimeengine

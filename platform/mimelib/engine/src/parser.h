// Reading a message's source into a tree of bodies (private to the engine).
#pragma once

#include <memory>
#include <string>

#include "body_table.h"

namespace mimeengine {

// Parses `source` into `root`, a fresh body of `bodies`, adding a body per
// part. Best effort: never fails. Every body keeps a reference to the buffer
// it was read from (`source`, or the decoded text of an encoded attached
// message). Iterative, and bounded by kMaxDepth and kMaxBodies.
void ParseTree(std::shared_ptr<const std::string> source, Body* root, BodyTable* bodies);

}  // namespace mimeengine

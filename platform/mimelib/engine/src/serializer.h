// Writing a tree of bodies back as a message (private to the engine).
#pragma once

#include <memory>
#include <string>

#include "body.h"

namespace mimeengine {

// `b` and its sub-tree as a part: bodies that nothing changed are copied
// byte for byte; changed ones get a generated header and encoded content
// (see ChooseEncoding in serializer.cpp), new multiparts a fresh boundary.
std::string WriteBody(Body* b);

// What WriteBody(b) writes after b's header.
std::string WriteContent(Body* b);

// Writes the tree under `root` and makes the result the buffer of every body
// in it, each re-read from its new bytes and counting as unchanged. Returns
// the new buffer. Handles stay as they are.
std::shared_ptr<const std::string> CommitTree(Body* root);

}  // namespace mimeengine

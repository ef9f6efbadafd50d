// What a Message holds (private to the engine; Message's members are spread
// over message.cpp, message_tree.cpp and message_properties.cpp).
#pragma once

#include <memory>
#include <string>

#include "body_table.h"
#include "mimeengine/message.h"

namespace mimeengine {

class Message::Impl {
 public:
  BodyTable bodies;
  std::shared_ptr<const std::string> source = std::make_shared<const std::string>();
};

}  // namespace mimeengine

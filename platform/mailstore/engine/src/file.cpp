#include "mailstore/file.h"

#include <utility>

namespace mailstore {

File::~File() { Close(); }

File::File(File&& other) noexcept : h_(std::exchange(other.h_, Handles{})) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    h_ = std::exchange(other.h_, Handles{});
  }
  return *this;
}

}  // namespace mailstore

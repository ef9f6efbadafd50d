// The Message-ID of a message source, as the store's index keeps it: the
// header field found case-insensitively, unfolded, without angle brackets
// and white space. The engine reads nothing else of a source.
#pragma once

#include <string>
#include <string_view>

namespace mailstore {

// The Message-ID of |source| (only its header is read), or "" when it has none.
std::string MessageIdOf(std::string_view source);

// |value| as the index keys it: white space dropped, and the part inside the
// angle brackets when it has them. Empty for a value with nothing else.
std::string NormalizeMessageId(std::string_view value);

}  // namespace mailstore

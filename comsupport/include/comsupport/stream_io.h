// Whole reads and writes on a stream that is not the caller's own.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace pelkary {

// Appends everything from `stream`'s current position to its end to `out`. S_OK; the stream's
// failure code; STG_E_MEDIUMFULL when `out` would grow beyond `limit` bytes. May throw
// std::bad_alloc.
HRESULT read_to_end(IStream* stream, std::string* out, std::size_t limit = std::string::npos);

// Writes all of `bytes` at the stream's position, in pieces of at most 1 GiB. S_OK; the stream's
// failure code; STG_E_MEDIUMFULL when the stream takes no more.
HRESULT write_all(IStream* stream, std::string_view bytes) noexcept;

}  // namespace pelkary

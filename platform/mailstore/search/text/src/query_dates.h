// The values of date: and received:, as a span of FILETIME ticks (UTC).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mailsearch/query.h"

namespace mailsearch {

// Reads |value| ("FROM..TO", either end optional, or a single FROM) into the half-open span
// [*from, *to). Each end is YYYY-MM-DD, YYYY-MM or YYYY (whole local days), today, yesterday,
// or N followed by d, w, m or y (that long before |context.now|; alone, from then on).
// |offset| is the value's byte offset in the query. Throws QueryFailure for a bad value.
void ParseDateSpan(std::string_view value, size_t offset, const QueryContext& context,
                   uint64_t* from, uint64_t* to);

}  // namespace mailsearch

// Computes a message's record fields from its source, once, at store time.
#pragma once

#include <string>

#include "mailstore/store_types.h"

namespace mailstore_com {

// Reads the top-level header of |source| (never the body) and returns the
// display fields in the ANSI code page. Never fails: missing fields are empty.
mailstore::MessageFields BuildRecordFields(const std::string& source);

}  // namespace mailstore_com

// The store tool's front of the store's full-text index: search and reindex (the index's part
// of check comes with the store's own findings).
#pragma once

#include <string>

#include "arguments.h"
#include "store_client.h"

namespace mxstore {

class SearchCommands {
 public:
  // Checks search's options before the store is touched: --count or --columns, the column
  // names, --limit a number from 1.
  static void CheckSearch(const Arguments& a, const std::string& usage);
  // search [--count | --columns LIST] [--limit N] QUERY...: the count, or one line per message
  // newest first with the columns separated by a tab. A malformed query is a wrong command line.
  static int Search(StoreClient& client, const Arguments& a);
  // reindex: rebuilds the index, with a progress line on standard error for a large store.
  static int Reindex(StoreClient& client, const Arguments& a);
};

}  // namespace mxstore

// SearchIndex: the full-text index of one store, kept in the store's directory
// (index/ beside the journal and data files) and answering the query language.
//
// On disk (all derived from the store; any of it may be deleted and is rebuilt):
//   index/manifest     names the live segments, their deletions, the store history id
//                      and the last change sequence indexed; replaced whole (write,
//                      sync, rename) so a reader sees the old or the new one.
//   index/seg-N.idx    immutable segments, written once: field-tagged postings with
//                      positions, per-message columns and stored fields; a checksum
//                      over the whole file.
//   index/index.lock   orders the processes that write the index.
//
// Each Search first reads the store's change history after the manifest's sequence and
// indexes what is new, so nothing is done at delivery time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mailsearch/query.h"

namespace mailstore {
class Store;
}

namespace mailsearch {

struct Hit {
  uint32_t folder;
  uint32_t message;
};

// What the index stores of each message (UTF-8), for result columns.
struct StoredFields {
  std::string subject, from /* display, all mailboxes */, from_address /* first mailbox */,
      to, cc, message_id;
  uint32_t attachments = 0;
  uint64_t sent = 0, received = 0;  // FILETIME ticks
  uint32_t size = 0;
};

struct SearchOptions {
  QueryContext context;
  bool count_only = false;  // no order needed: Count stays cheap
  size_t limit = 0;         // 0: all
  // Resolves a folder:NAME path (UTF-8, the tool's path syntax) to a folder id; null uses the
  // store's names read as UTF-8, separated by "/". False: no such folder (nothing matches).
  std::function<bool(std::string_view path, uint32_t* folder)> resolve_folder;
};

struct SearchResult {
  uint64_t count = 0;
  std::vector<Hit> hits;  // newest first by received time; ties by folder id, then message id
};

enum class SearchStatus { kOk, kBadQuery, kIoError /* store unreadable */, kDamaged };

class SearchIndex {
 public:
  ~SearchIndex();
  // Opens the index kept beside |store| (store->directory() + "/index"), creating it when
  // missing. |store| must outlive the index. Never null; problems of the index files are
  // found (and mended) by the first Search. Threading: every public function may be called
  // from any thread.
  static std::unique_ptr<SearchIndex> Open(mailstore::Store* store);

  // Catches up with the store (every change committed before the call, by any process), then
  // answers |query|. kBadQuery with |error| for a malformed query; kIoError when the store
  // cannot be read. An index directory that cannot be written still answers (the changes are
  // indexed in memory).
  SearchStatus Search(std::string_view query, const SearchOptions& options, SearchResult* result,
                      QueryError* error);

  // The same for a query already parsed (or built by a program).
  SearchStatus Search(const QueryNode& query, const SearchOptions& options, SearchResult* result);

  // The stored fields of a message found by the last catch-up; false when not indexed / gone.
  bool GetStoredFields(const Hit& hit, StoredFields* fields);

  // Rebuilds the index from the store; |progress(done, total)| now and then (may be null).
  SearchStatus Reindex(const std::function<void(uint64_t done, uint64_t total)>& progress);

  // Appends one line per problem of the index files (cut, flipped, missing); true when sound.
  // Changes nothing.
  bool Check(std::vector<std::string>* findings);

 private:
  class Impl;
  explicit SearchIndex(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace mailsearch

// QueryEvaluator: the documents of an IndexView that a parsed query matches. Terms and
// phrases come from the postings; dates, sizes, folders and attachments from the per-doc
// columns; read/unread and flagged from the store's records at the time of the query.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "index_view.h"
#include "mailsearch/query.h"
#include "mailsearch/search_index.h"

namespace mailstore {
class Store;
}

namespace mailsearch {

class QueryEvaluator {
 public:
  // All references must outlive the evaluator; used by one thread.
  QueryEvaluator(const IndexView& view, mailstore::Store* store, const SearchOptions& options)
      : view_(view), store_(store), options_(options) {}

  // The live documents matching |root|, ascending.
  void Evaluate(const QueryNode& root, std::vector<uint32_t>* out);

 private:
  using Docs = std::vector<uint32_t>;
  void Eval(const QueryNode& node, Docs* out);
  void AllDocs(Docs* out) const;
  void TermDocs(const std::string& tags, const std::string& term, Docs* out) const;
  void PhraseDocs(const std::string& tags, const std::vector<std::string>& terms, Docs* out) const;
  // Keeps the docs of |docs| for which every filter of |filters| gives |keep|.
  void Filter(const std::vector<const QueryNode*>& filters, const std::vector<bool>& keep, Docs* docs);
  bool Matches(const QueryNode& filter, const ViewSegment& segment, uint32_t local);
  uint32_t FolderOf(const QueryNode& node);

  const IndexView& view_;
  mailstore::Store* store_;
  const SearchOptions& options_;
};

}  // namespace mailsearch

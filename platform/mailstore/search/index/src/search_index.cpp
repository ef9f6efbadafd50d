#include "mailsearch/search_index.h"

#include <algorithm>
#include <mutex>

#include "index_updater.h"
#include "index_view.h"
#include "mailstore/store.h"
#include "query_evaluator.h"

namespace mailsearch {

class SearchIndex::Impl {
 public:
  explicit Impl(mailstore::Store* store)
      : store_(store), dir_(mailstore::JoinPath(store->directory(), "index")) {}

  SearchStatus Search(const QueryNode& root, const SearchOptions& options, SearchResult* result);
  bool GetStoredFields(const Hit& hit, StoredFields* fields);
  SearchStatus Reindex(const IndexUpdater::Progress& progress);
  bool Check(std::vector<std::string>* findings);

 private:
  // One look at the files; the generation of the manifest it read.
  uint64_t CheckOnce(std::vector<std::string>* findings);
  // Reads the manifest and opens its segments when the manifest is not the one in view. A
  // damaged manifest or segment leaves the view without it and marks it for reconciling.
  void LoadIfChanged();
  void Load();
  // Brings the view up to the store: under the index lock with files written when the
  // directory can be written, else in memory.
  bool CatchUp(bool rebuild, const IndexUpdater::Progress& progress);
  bool UpToDate();
  bool Writable();

  mailstore::Store* store_;
  const std::string dir_;
  std::mutex mutex_;
  IndexView view_;
  bool loaded_ = false;
  bool damaged_ = false;    // the view lacks what the manifest names: reconcile
  bool in_memory_ = false;  // the view holds changes no manifest has
  mailstore::File lock_file_;
  DocSet docs_;
};

SearchIndex::SearchIndex(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SearchIndex::~SearchIndex() = default;

std::unique_ptr<SearchIndex> SearchIndex::Open(mailstore::Store* store) {
  return std::unique_ptr<SearchIndex>(new SearchIndex(std::make_unique<Impl>(store)));
}

SearchStatus SearchIndex::Search(std::string_view query, const SearchOptions& options, SearchResult* result,
                                 QueryError* error) {
  *result = SearchResult();
  QueryNode root;
  QueryError local_error;
  if (!ParseQuery(query, options.context, &root, error ? error : &local_error)) return SearchStatus::kBadQuery;
  return impl_->Search(root, options, result);
}
SearchStatus SearchIndex::Search(const QueryNode& query, const SearchOptions& options, SearchResult* result) {
  *result = SearchResult();
  return impl_->Search(query, options, result);
}
bool SearchIndex::GetStoredFields(const Hit& hit, StoredFields* fields) { return impl_->GetStoredFields(hit, fields); }
SearchStatus SearchIndex::Reindex(const std::function<void(uint64_t, uint64_t)>& progress) {
  return impl_->Reindex(progress);
}
bool SearchIndex::Check(std::vector<std::string>* findings) { return impl_->Check(findings); }

void SearchIndex::Impl::Load() {
  view_.Clear();
  loaded_ = true;
  in_memory_ = false;
  Manifest m;
  const auto read = Manifest::Read(dir_, &m);
  damaged_ = read == Manifest::ReadResult::kDamaged;
  if (read != Manifest::ReadResult::kOk) {
    // Nothing to build on: the next catch-up reconciles from an empty view, under a
    // generation that no earlier manifest had.
    view_.meta = Manifest();
    view_.meta.generation = Manifest::ReadGeneration(dir_);
    return;
  }
  view_.meta = m;
  view_.meta.segments.clear();
  for (const auto& s : m.segments) {
    std::string problem;
    auto segment = Segment::OpenFile(mailstore::JoinPath(dir_, Manifest::SegmentName(s.id)), &problem);
    if (!segment || segment->crc() != s.crc || segment->base() != s.base || segment->doc_count() != s.count) {
      damaged_ = true;
      continue;
    }
    view_.AddSegment(s.id, std::move(segment), s.deleted);
  }
}

void SearchIndex::Impl::LoadIfChanged() {
  if (!loaded_ || Manifest::ReadGeneration(dir_) != view_.meta.generation ||
      (damaged_ && !in_memory_))
    Load();
}

bool SearchIndex::Impl::UpToDate() {
  if (damaged_) return false;
  mailstore::HistoryId history;
  uint64_t cursor = 0;
  if (!store_->Refresh() || store_->GetHistory(&history, &cursor) != mailstore::Status::kOk) return false;
  return history.low == view_.meta.history.low && history.high == view_.meta.history.high &&
         cursor == view_.meta.sequence;
}

bool SearchIndex::Impl::Writable() {
  if (lock_file_.is_open()) return true;
  return mailstore::CreateDirectories(dir_) &&
         lock_file_.Open(mailstore::JoinPath(dir_, "index.lock"), mailstore::File::Mode::kReadWrite);
}

bool SearchIndex::Impl::CatchUp(bool rebuild, const IndexUpdater::Progress& progress) {
  if (!in_memory_ && Writable() && lock_file_.LockExclusive()) {
    struct Unlock {
      mailstore::File& f;
      ~Unlock() { f.Unlock(); }
    } unlock{lock_file_};
    // Another process may have written the index meanwhile.
    LoadIfChanged();
    if (rebuild) {
      const uint64_t generation = view_.meta.generation;
      view_.Clear();
      view_.meta = Manifest();
      view_.meta.generation = generation;
    } else if (UpToDate()) {
      return true;
    }
    IndexUpdater updater(store_, &view_, dir_);
    const bool ok = updater.Run(rebuild || damaged_, progress);
    if (ok) damaged_ = false;
    in_memory_ = updater.write_failed();
    return ok;
  }
  if (rebuild) {
    view_.Clear();
    view_.meta = Manifest();
  }
  IndexUpdater updater(store_, &view_, std::string());
  const bool ok = updater.Run(rebuild || damaged_, progress);
  if (ok) damaged_ = false;
  in_memory_ = true;
  return ok;
}

SearchStatus SearchIndex::Impl::Search(const QueryNode& root, const SearchOptions& options, SearchResult* result) {
  std::lock_guard<std::mutex> lock(mutex_);
  LoadIfChanged();
  if (!UpToDate() && !CatchUp(false, nullptr)) return SearchStatus::kIoError;

  QueryEvaluator evaluator(view_, store_, options);
  evaluator.Evaluate(root, &docs_);
  result->count = docs_.Count();
  if (options.count_only) return SearchStatus::kOk;

  struct Row {
    uint64_t received;
    uint32_t folder, id;
  };
  const auto newer = [](const Row& a, const Row& b) {
    if (a.received != b.received) return a.received > b.received;
    if (a.folder != b.folder) return a.folder < b.folder;
    return a.id < b.id;
  };
  // Doc numbers follow arrival, which mostly follows received time: read newest doc first,
  // straight into the hits while that is the order; else sort.
  const auto& segments = view_.segments();
  const auto each_row = [&](auto&& f) {
    size_t seg = segments.size();
    docs_.ForEachDescending([&](uint32_t doc) {
      while (seg > 0 && segments[seg - 1].segment->base() > doc) --seg;
      const Segment& s = *segments[seg - 1].segment;
      const uint32_t local = doc - s.base();
      f(Row{s.received(local), s.folder(local), s.id(local)});
    });
  };
  size_t n = static_cast<size_t>(result->count);
  if (options.limit && options.limit < n) n = options.limit;
  result->hits.reserve(n);
  bool ordered = true;
  Row last{};
  each_row([&](const Row& r) {
    if (!ordered) return;
    if (!result->hits.empty() && newer(r, last)) ordered = false;
    if (result->hits.size() < n) result->hits.push_back({r.folder, r.id});
    last = r;
  });
  if (ordered) return SearchStatus::kOk;
  std::vector<Row> rows;
  rows.reserve(static_cast<size_t>(result->count));
  each_row([&](const Row& r) { rows.push_back(r); });
  if (n < rows.size()) std::partial_sort(rows.begin(), rows.begin() + n, rows.end(), newer);
  else std::sort(rows.begin(), rows.end(), newer);
  result->hits.clear();
  result->hits.reserve(n);
  for (size_t i = 0; i < n; ++i) result->hits.push_back({rows[i].folder, rows[i].id});
  return SearchStatus::kOk;
}

bool SearchIndex::Impl::GetStoredFields(const Hit& hit, StoredFields* fields) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!loaded_) LoadIfChanged();
  const uint32_t doc = view_.Find(hit.folder, hit.message);
  size_t s;
  uint32_t local;
  if (doc == kNoDoc || !view_.Locate(doc, &s, &local)) return false;
  return view_.segments()[s].segment->Stored(local, fields);
}

SearchStatus SearchIndex::Impl::Reindex(const IndexUpdater::Progress& progress) {
  std::lock_guard<std::mutex> lock(mutex_);
  in_memory_ = false;
  LoadIfChanged();
  return CatchUp(true, progress) ? SearchStatus::kOk : SearchStatus::kIoError;
}

bool SearchIndex::Impl::Check(std::vector<std::string>* findings) {
  // A writer may switch the manifest and remove the old segments while this reads: what is
  // found missing then is looked at again under the new manifest.
  std::vector<std::string> found;
  for (int attempt = 0; attempt < 3; ++attempt) {
    found.clear();
    const uint64_t generation = CheckOnce(&found);
    if (found.empty() || Manifest::ReadGeneration(dir_) == generation) break;
  }
  findings->insert(findings->end(), found.begin(), found.end());
  return found.empty();
}

uint64_t SearchIndex::Impl::CheckOnce(std::vector<std::string>* findings) {
  Manifest m;
  switch (Manifest::Read(dir_, &m)) {
    case Manifest::ReadResult::kMissing:
      // No index yet is sound; segments without a manifest are not.
      for (const auto& name : mailstore::ListDirectory(dir_))
        if (name.rfind("seg-", 0) == 0) {
          findings->push_back("search index: the manifest is missing");
          break;
        }
      return 0;
    case Manifest::ReadResult::kDamaged:
      findings->push_back("search index: the manifest is damaged (checksum)");
      return Manifest::ReadGeneration(dir_);
    case Manifest::ReadResult::kOk:
      break;
  }
  for (const auto& s : m.segments) {
    const std::string name = Manifest::SegmentName(s.id);
    uint32_t crc = 0;
    std::string problem;
    if (!Segment::Verify(mailstore::JoinPath(dir_, name), &crc, &problem))
      findings->push_back("search index: segment " + name + ": " + problem);
    else if (crc != s.crc)
      findings->push_back("search index: segment " + name + ": not the one the manifest names");
  }
  return m.generation;
}

}  // namespace mailsearch

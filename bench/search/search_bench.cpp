// The search bench: builds the index over a corpus and runs the fixed query set, beside the
// notmuch library on the same messages in the same run (both in-process), printing per query
// both engines' median time to count and to list every matching id, then the summary line.
//   search_bench [CORPUS]            CORPUS: a folder of .eml files or a MIME bench corpus file;
//                                    default: 20,000 generated messages
//   search_bench --million [N]       our engine alone over N (1,000,000) generated messages:
//                                    build time, sizes, median and worst query, memory
//   search_bench --query DIR         (internal) the query half of --million, in a fresh process
// PELKARY_BENCH_MESSAGES: how many messages to generate; PELKARY_BENCH_NO_PEER: ours alone.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "corpus_file.h"
#include "corpus_generator.h"
#include "mailsearch/search_index.h"
#include "mailstore/store.h"
#include "mimeengine/summary.h"
#include "notmuch_peer.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

struct Query {
  const char* name;
  std::string ours, theirs;
};

std::vector<Query> Queries() {
  using searchbench::CorpusGenerator;
  const auto w = [](size_t rank) { return CorpusGenerator::Word(rank); };
  return {
      {"common word", w(0), w(0)},
      {"rare word", w(20000), w(20000)},
      {"two-word AND", w(3) + " " + w(40), w(3) + " AND " + w(40)},
      {"three-word AND", w(1) + " " + w(10) + " " + w(100), w(1) + " AND " + w(10) + " AND " + w(100)},
      {"OR", w(500) + " OR " + w(700), w(500) + " OR " + w(700)},
      {"NOT", w(2) + " NOT " + w(5), w(2) + " AND NOT " + w(5)},
      {"phrase", "\"" + w(1) + " " + w(2) + "\"", "\"" + w(1) + " " + w(2) + "\""},
      {"from:", "from:" + w(200), "from:" + w(200)},
      {"subject:", "subject:" + w(7), "subject:" + w(7)},
      {"date range + word", "date:2020-01-01..2020-12-31 " + w(9), "date:2020-01-01..2020-12-31 AND " + w(9)},
      {"has:attachment", "has:attachment", "tag:attachment"},
      {"CJK pair", "東京", "東京"},
      {"no match", "zzqqxx", "zzqqxx"},
  };
}

template <typename F>
double MedianMicros(int runs, F&& f) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    f();
    t.push_back(Seconds(start) * 1e6);
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

uint64_t DirectoryBytes(const std::string& dir, const std::string& skip = {}) {
  uint64_t n = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator(); ++it) {
    if (!skip.empty() && it->path().filename() == skip) {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file()) n += it->file_size();
  }
  return n;
}

long StatusKb(const char* field) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  return 0;
}

bool LoadCorpus(const std::string& path, mimebench::Corpus* corpus) {
  if (!fs::is_directory(path)) return mimebench::ReadCorpus(path, corpus);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(path))
    if (e.path().extension() == ".eml") names.push_back(e.path());
  std::sort(names.begin(), names.end());
  std::vector<size_t> sizes;
  for (const auto& n : names) {
    std::ifstream f(n, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    corpus->bytes += s.str();
    sizes.push_back(s.str().size());
  }
  size_t at = 0;
  for (size_t s : sizes) {
    corpus->messages.emplace_back(corpus->bytes.data() + at, s);
    at += s;
  }
  return !names.empty();
}

bool AddToStore(mailstore::Store& store, std::string_view source) {
  const auto summary = mimeengine::summarize(source);
  mailstore::MessageFields fields;
  fields.subject = summary.subject;
  fields.normalized_subject = summary.normalized_subject;
  fields.display_to = summary.display_to;
  fields.display_from = summary.display_from;
  fields.priority = summary.priority;
  if (summary.has_date) fields.sent_time = uint64_t(summary.sent_time + 11644473600LL) * 10000000ull;
  return store.AddMessage(1, mailstore::kInvalidId, std::string(source), 2, fields, nullptr) == mailstore::Status::kOk;
}

// Times the build: the first query catches up with every message of the store.
double BuildIndex(mailstore::Store& store) {
  const auto start = Clock::now();
  auto index = mailsearch::SearchIndex::Open(&store);
  mailsearch::SearchOptions options;
  options.count_only = true;
  mailsearch::SearchResult result;
  index->Search(mailsearch::QueryNode(), options, &result);
  return Seconds(start);
}

std::string TempDir() {
  std::string base = getenv("PELKARY_BENCH_DIR") ? getenv("PELKARY_BENCH_DIR") : "/tmp";
  std::string pattern = base + "/search-bench-XXXXXX";
  return ::mkdtemp(&pattern[0]) ? pattern : std::string();
}

int Compare(const std::string& corpus_path) {
  mimebench::Corpus corpus;
  std::vector<std::string> generated;
  if (!corpus_path.empty()) {
    if (!LoadCorpus(corpus_path, &corpus)) {
      std::fprintf(stderr, "cannot read the corpus %s\n", corpus_path.c_str());
      return 1;
    }
  } else {
    searchbench::CorpusGenerator gen(42, false);
    const long count = getenv("PELKARY_BENCH_MESSAGES") ? std::atol(getenv("PELKARY_BENCH_MESSAGES")) : 20000;
    for (long i = 0; i < count; ++i) generated.push_back(gen.Next());
    for (const auto& m : generated) corpus.messages.emplace_back(m);
  }
  const size_t n = corpus.messages.size();
  const std::string dir = TempDir();
  uint64_t mail_bytes = 0;
  for (auto m : corpus.messages) mail_bytes += m.size();
  std::printf("corpus: %zu messages, %.1f MB, in %s\n", n, mail_bytes / 1048576.0, dir.c_str());

  auto store = mailstore::Store::Open(dir + "/store", true, nullptr);
  if (!store) return 1;
  store->SetSyncEachCall(false);
  for (auto m : corpus.messages) AddToStore(*store, m);
  store->Flush();
  const double our_build = BuildIndex(*store);
  const double our_size = DirectoryBytes(dir + "/store/index");
  auto index = mailsearch::SearchIndex::Open(store.get());

  searchbench::NotmuchPeer peer;
  double their_build = 0, their_size = 0;
  const bool with_peer = searchbench::NotmuchPeer::Available() && !getenv("PELKARY_BENCH_NO_PEER") &&
                         peer.Create(dir + "/notmuch", corpus.messages);
  if (with_peer) {
    const auto start = Clock::now();
    if (!peer.Index()) std::fprintf(stderr, "notmuch failed to index\n");
    their_build = Seconds(start);
    their_size = DirectoryBytes(dir + "/notmuch/.notmuch");
  }

  std::printf("%-18s %15s %22s %22s\n", "query", "hits (ours/nm)", "count us (ours/nm)", "list us (ours/nm)");
  std::vector<double> our_counts, our_lists, their_counts, their_lists;
  constexpr int kRuns = 11;
  for (const Query& q : Queries()) {
    mailsearch::SearchOptions count_options, list_options;
    count_options.count_only = true;
    mailsearch::SearchResult result;
    mailsearch::QueryError error;
    if (index->Search(q.ours, count_options, &result, &error) != mailsearch::SearchStatus::kOk) {
      std::printf("%-18s query refused: %s\n", q.name, error.message.c_str());
      continue;
    }
    const uint64_t hits = result.count;
    const double count_us = MedianMicros(kRuns, [&] { index->Search(q.ours, count_options, &result, &error); });
    const double list_us = MedianMicros(kRuns, [&] { index->Search(q.ours, list_options, &result, &error); });
    our_counts.push_back(count_us);
    our_lists.push_back(list_us);
    uint64_t their_hits = 0;
    double their_count_us = 0, their_list_us = 0;
    if (with_peer) {
      std::vector<std::string> ids;
      their_hits = peer.Count(q.theirs);
      their_count_us = MedianMicros(kRuns, [&] { peer.Count(q.theirs); });
      their_list_us = MedianMicros(kRuns, [&] { peer.List(q.theirs, &ids); });
      their_counts.push_back(their_count_us);
      their_lists.push_back(their_list_us);
    }
    std::printf("%-18s %7llu/%-7llu %10.0f/%-11.0f %10.0f/%-11.0f\n", q.name, (unsigned long long)hits,
                (unsigned long long)their_hits, count_us, their_count_us, list_us, their_list_us);
  }
  const double our_rate = n / our_build, their_rate = with_peer ? n / their_build : 0;
  const double a = Median(our_counts), b = Median(our_lists);
  const double ta = Median(their_counts), tb = Median(their_lists);
  std::printf("notmuch: index %.0f msgs/s, %.1f MB, count median %.0f us, list median %.0f us\n", their_rate,
              their_size / 1048576.0, ta, tb);
  std::printf("search vs notmuch: index %.0f msgs/s (%.1fx), index size %.1f MB (%.2fx), count median %.0f us (%.1fx), list median %.0f us (%.1fx)\n",
              our_rate, their_rate ? our_rate / their_rate : 0, our_size / 1048576.0,
              their_size ? our_size / their_size : 0, a, a ? ta / a : 0, b, b ? tb / b : 0);
  index.reset();
  store.reset();
  if (!getenv("PELKARY_BENCH_KEEP")) fs::remove_all(dir);
  return 0;
}

int MillionBuild(size_t n, const char* self) {
  const std::string dir = TempDir();
  auto store = mailstore::Store::Open(dir + "/store", true, nullptr);
  if (!store) return 1;
  store->SetSyncEachCall(false);
  searchbench::CorpusGenerator gen(7, true);
  auto start = Clock::now();
  for (size_t i = 0; i < n; ++i) {
    if (!AddToStore(*store, gen.Next())) return 1;
    if (i % 100000 == 99999) store->Flush();
  }
  store->Flush();
  std::printf("million: %zu messages stored in %.0f s (%s)\n", n, Seconds(start), dir.c_str());
  const double build = BuildIndex(*store);
  const uint64_t index_bytes = DirectoryBytes(dir + "/store/index");
  const uint64_t mail_bytes = DirectoryBytes(dir + "/store", "index");
  std::printf("million: index built in %.1f s (%.0f msgs/s), peak RSS while building %.0f MB\n", build, n / build,
              StatusKb("VmHWM:") / 1024.0);
  std::printf("million: index %.0f MB, store files %.0f MB (%.2f of the mail)\n", index_bytes / 1048576.0,
              mail_bytes / 1048576.0, double(index_bytes) / mail_bytes);
  store.reset();
  std::fflush(stdout);
  // The queries run in a fresh process, so its memory is theirs and the store's alone.
  execl(self, self, "--query", dir.c_str(), static_cast<char*>(nullptr));
  return 1;
}

int MillionQuery(const std::string& dir) {
  auto store = mailstore::Store::Open(dir + "/store", false, nullptr);
  if (!store) return 1;
  const long store_kb = StatusKb("VmRSS:");
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak from here on
  const auto opened = Clock::now();
  auto index = mailsearch::SearchIndex::Open(store.get());
  std::vector<double> all;
  mailsearch::SearchResult result;
  mailsearch::QueryError error;
  mailsearch::SearchOptions first;
  first.count_only = true;
  index->Search("zzqqxx", first, &result, &error);
  std::printf("million: the first query of a fresh process (opening and checking the index) took %.0f ms\n",
              Seconds(opened) * 1e3);
  const long store_anon_kb = StatusKb("RssAnon:"), store_file_kb = StatusKb("RssFile:");
  long anon_peak_kb = store_anon_kb;
  for (const Query& q : Queries()) {
    mailsearch::SearchOptions count_options, list_options;
    count_options.count_only = true;
    index->Search(q.ours, count_options, &result, &error);
    const uint64_t hits = result.count;
    const double c = MedianMicros(5, [&] { index->Search(q.ours, count_options, &result, &error); });
    const double l = MedianMicros(5, [&] { index->Search(q.ours, list_options, &result, &error); });
    all.push_back(c);
    all.push_back(l);
    anon_peak_kb = std::max(anon_peak_kb, StatusKb("RssAnon:"));  // the results are still held here
    std::printf("%-18s %8llu hits  count %8.0f us  list %8.0f us\n", q.name, (unsigned long long)hits, c, l);
  }
  std::printf("million: median query %.0f us, worst %.0f us; resident memory beyond the store's own (%.0f MB): "
              "%.0f MB at the peak, of which %.0f MB are the index files' mapped pages (page cache) and %.0f MB "
              "private memory\n",
              Median(all), *std::max_element(all.begin(), all.end()), store_kb / 1024.0,
              (StatusKb("VmHWM:") - store_kb) / 1024.0, (StatusKb("RssFile:") - store_file_kb) / 1024.0,
              (anon_peak_kb - store_anon_kb) / 1024.0);
  index.reset();
  store.reset();
  if (!getenv("PELKARY_BENCH_KEEP")) fs::remove_all(dir);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--million") == 0)
    return MillionBuild(argc >= 3 ? std::strtoull(argv[2], nullptr, 10) : 1000000, "/proc/self/exe");
  if (argc >= 3 && std::strcmp(argv[1], "--query") == 0) return MillionQuery(argv[2]);
  return Compare(argc >= 2 ? argv[1] : "");
}

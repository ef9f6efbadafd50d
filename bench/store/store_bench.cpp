// Store engine benchmark. Run on demand:
//   $PELKARY_BUILD-native/bin/store_bench [--quick] [DIR]
// Each figure is printed beside a baseline measured in the same run on the
// same bytes.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "mailstore/file.h"
#include "mailstore/store.h"

using namespace mailstore;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string MakeSource(std::mt19937& rng, size_t size, uint32_t n) {
  std::string s = "From: Sender " + std::to_string(n) + " <s@example.com>\r\nTo: You <y@example.com>\r\n"
                  "Subject: message " + std::to_string(n) + "\r\nMessage-ID: <" + std::to_string(n) +
                  "@bench.example>\r\n\r\n";
  while (s.size() < size) s.push_back(static_cast<char>('a' + rng() % 26));
  s.resize(size);
  return s;
}

MessageFields FieldsFor(uint32_t n) {
  MessageFields f;
  f.subject = "message " + std::to_string(n);
  f.normalized_subject = f.subject;
  f.display_from = "Sender " + std::to_string(n);
  f.display_to = "You";
  return f;
}

double Median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + static_cast<ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

void Line(const char* what, double value, const char* unit, const char* base_what, double base,
          const char* base_unit) {
  printf("%-44s %12.1f %-10s | baseline %-30s %12.1f %s\n", what, value, unit, base_what, base, base_unit);
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  std::string root = "/tmp/store-bench";
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--quick")
      quick = true;
    else
      root = argv[i];
  }
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  std::mt19937 rng(42);

  // 1. Durable commits of 1-20 KB messages beside a durable write of the same
  //    bytes as files (write + fsync each).
  const int kCommits = quick ? 1000 : 10000;
  std::vector<std::string> sources;
  for (int i = 0; i < kCommits; ++i) sources.push_back(MakeSource(rng, 1024 + rng() % (19 * 1024), i));
  {
    std::filesystem::create_directories(root + "/raw");
    auto t = Clock::now();
    for (int i = 0; i < kCommits; ++i) {
      File f;
      f.Open(root + "/raw/" + std::to_string(i) + ".eml", File::Mode::kReadWrite);
      f.WriteAt(0, sources[i].data(), sources[i].size());
      f.Sync();
    }
    double raw = Seconds(t);
    Status st;
    auto store = Store::Open(root + "/commit", true, &st);
    uint32_t inbox = store->SpecialFolderId(0);
    t = Clock::now();
    for (int i = 0; i < kCommits; ++i) {
      uint32_t id;
      store->ReserveMessageId(inbox, &id);
      store->AddMessage(inbox, id, sources[i], kFlagUnread, FieldsFor(i), &id);
    }
    double ours = Seconds(t);
    Line(("durable commit, " + std::to_string(kCommits) + " msgs").c_str(), kCommits / ours, "msgs/s",
         "write+fsync of each file", kCommits / raw, "msgs/s");
    printf("%-44s %12.2f x raw (target <= 2)\n", "  commit cost", ours / raw);

    // The change feed after those deliveries beside reading the same records by a walk.
    std::vector<HistoryChange> changes;
    std::vector<MessageRecordPtr> records;
    std::vector<double> feed, walk;
    for (int round = 0; round < 5; ++round) {
      t = Clock::now();
      store->GetChanges(5, kCommits, &changes);  // after the special folders
      feed.push_back(Seconds(t));
      t = Clock::now();
      store->ListMessages(inbox, 0, &records);
      walk.push_back(Seconds(t));
    }
    Line(("GetChanges of " + std::to_string(changes.size()) + " deliveries").c_str(), Median(feed) * 1e6, "us",
         ("walk of the same " + std::to_string(records.size()) + " records").c_str(), Median(walk) * 1e6, "us");

    // The journal before and after compaction, once every message was marked read one by one.
    for (uint32_t id = 1; id <= static_cast<uint32_t>(kCommits); ++id) store->SetFlags(inbox, {id}, 0, kFlagUnread, nullptr);
    const std::string journal_before = root + "/commit/journal.dat";
    const double before = static_cast<double>(std::filesystem::file_size(journal_before));
    std::string report;
    t = Clock::now();
    store->Compact(&report);
    const double compact = Seconds(t);
    const double after = static_cast<double>(std::filesystem::file_size(root + "/commit/journal.1.dat"));
    Line("journal after compaction", after / 1e3, "KB", "journal before it", before / 1e3, "KB");
    printf("%-44s %12.1f ms (%s)\n", "  compaction", compact * 1000, report.c_str());
  }

  // 2-4. A 100,000-message store: open, enumerate, random lookups.
  const uint32_t kMessages = 100000;
  const std::string big = root + "/big";
  {
    Status st;
    auto store = Store::Open(big, true, &st);
    store->SetSyncEachCall(false);
    uint32_t inbox = store->SpecialFolderId(0);
    for (uint32_t i = 0; i < kMessages; ++i) {
      uint32_t id;
      store->AddMessage(inbox, kInvalidId, sources[i % sources.size()], kFlagUnread, FieldsFor(i), &id);
    }
    store->Flush();
  }
  std::string journal = big + "/journal.dat";
  double journal_mb = std::filesystem::file_size(journal) / 1e6;
  auto raw_read = [](const std::string& path, std::vector<char>& buf) {
    File f;
    f.Open(path, File::Mode::kRead);
    uint64_t at = 0;
    int64_t n;
    while ((n = f.ReadAt(at, buf.data(), buf.size())) > 0) at += static_cast<uint64_t>(n);
    return at;
  };
  std::vector<char> chunk(1 << 16);
  {
    raw_read(journal, chunk);  // warm the cache for both
    auto t = Clock::now();
    raw_read(journal, chunk);
    double raw = Seconds(t);
    t = Clock::now();
    clock_t cpu = clock();
    Status st;
    auto store = Store::Open(big, false, &st);
    double open = Seconds(t);
    double open_cpu = double(clock() - cpu) / CLOCKS_PER_SEC;
    Line("open a 100,000-message store", open * 1000, "ms", "read of its index file", raw * 1000, "ms");
    printf("%-44s %12.1f ms CPU, %.1f MB index (target < 200 ms)\n", "", open_cpu * 1000, journal_mb);

    uint32_t inbox = store->SpecialFolderId(0);
    t = Clock::now();
    std::vector<MessageRecordPtr> list;
    store->ListMessages(inbox, 0, &list);
    size_t bytes = 0;
    for (const auto& r : list) bytes += r->subject().size() + r->display_from().size() + r->flags;
    double enumerate = Seconds(t);
    Line("enumerate 100,000 records", list.size() / enumerate, "records/s", "scan of the index bytes",
         journal_mb * 1e6 / 150 / raw, "records/s");
    printf("%-44s %12s (target >= 1,000,000 records/s; checksum %zu)\n", "", "", bytes);

    std::vector<uint32_t> ids(kMessages);
    for (auto& id : ids) id = 1 + rng() % kMessages;
    t = Clock::now();
    size_t found = 0;
    for (uint32_t id : ids) {
      MessageRecordPtr r;
      found += store->FindMessage(inbox, id, &r) == Status::kOk;
    }
    double lookups = Seconds(t);
    Line("100,000 random record lookups", kMessages / lookups, "lookups/s", "enumeration above",
         list.size() / enumerate, "records/s");
    if (found != kMessages) printf("  (only %zu found)\n", found);

    // Message-ID lookups from the index beside a walk that reads each source's header.
    std::vector<double> times;
    found = 0;
    for (int i = 0; i < 10000; ++i) {
      const std::string wanted = std::to_string(rng() % kMessages % sources.size()) + "@bench.example";
      uint32_t folder = 0, id = 0;
      t = Clock::now();
      found += store->FindMessageId(wanted, &folder, &id) == Status::kOk;
      times.push_back(Seconds(t));
    }
    std::vector<double> walks;
    std::vector<char> head(512);
    const size_t indexed = found;
    for (int i = 0; i < 3; ++i) {
      const std::string wanted = "<" + std::to_string(rng() % sources.size()) + "@bench.example>";
      t = Clock::now();
      store->ListMessages(inbox, 0, &list);
      for (const auto& r : list) {
        const int64_t n = store->ReadSource(*r, 0, head.data(), head.size());
        // Of several holders the last stored counts: the walk reads them all.
        if (n > 0 && std::string(head.data(), static_cast<size_t>(n)).find(wanted) != std::string::npos) ++found;
      }
      walks.push_back(Seconds(t));
    }
    Line("FindMessageId at 100,000 messages (median)", Median(times) * 1e9, "ns", "walk reading each header",
         Median(walks) * 1e9, "ns");
    if (indexed != times.size()) printf("  (only %zu found)\n", indexed);
  }

  // 5. A 100 MB source read in 64 KB pieces beside a raw read of the same bytes.
  {
    std::string huge(100u << 20, '\0');
    for (size_t i = 0; i < huge.size(); ++i) huge[i] = static_cast<char>('a' + (i * 7) % 26);
    Status st;
    auto store = Store::Open(root + "/huge", true, &st);
    uint32_t inbox = store->SpecialFolderId(0), id;
    store->AddMessage(inbox, kInvalidId, huge, 0, FieldsFor(0), &id);
    std::string copy = root + "/huge.eml";
    {
      File f;
      f.Open(copy, File::Mode::kReadWrite);
      f.WriteAt(0, huge.data(), huge.size());
    }
    huge.clear();
    huge.shrink_to_fit();
    raw_read(copy, chunk);
    MessageRecordPtr r;
    store->FindMessage(inbox, id, &r);
    for (uint64_t at = 0; at < r->size; at += chunk.size()) store->ReadSource(*r, at, chunk.data(), chunk.size());
    auto t = Clock::now();
    uint64_t raw_bytes = raw_read(copy, chunk);
    double raw = Seconds(t);
    t = Clock::now();
    uint64_t ours_bytes = 0;
    for (uint64_t at = 0; at < r->size; at += chunk.size())
      ours_bytes += static_cast<uint64_t>(store->ReadSource(*r, at, chunk.data(), chunk.size()));
    double ours = Seconds(t);
    Line("read a 100 MB source (64 KB pieces)", ours_bytes / ours / 1e6, "MB/s", "read of the same bytes",
         raw_bytes / raw / 1e6, "MB/s");
  }
  std::filesystem::remove_all(root);
  return 0;
}

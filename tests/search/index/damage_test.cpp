// A killed indexing and a damaged index: a process that dies at any file change while it
// writes segments, merges or switches the manifest leaves an index that the next query uses
// or rebuilds; a cut, flipped or missing index file is reported by Check and mended by the
// next query. Never a wrong answer.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "index_support.h"

using namespace indextest;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> IndexFiles(const std::string& store) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(store + "/index"))
    if (e.path().filename() != "index.lock") out.push_back(e.path().filename());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(SearchDamage, AKilledIndexingLeavesAnIndexThatAnswersRight) {
  // The template: an index of 60 messages, then 45 more and some removed, so the next query
  // writes a segment, merges it with the first and switches the manifest.
  TestDir pristine;
  CorpusGenerator gen(21);
  Corpus corpus;
  std::mt19937 rng(21);
  {
    auto store = OpenStore(pristine.store());
    corpus.Fill(*store, gen, 60, rng);
    auto index = mailsearch::SearchIndex::Open(store.get());
    mailsearch::SearchResult r;
    ASSERT_EQ(mailsearch::SearchStatus::kOk, index->Search(mailsearch::QueryNode(), {}, &r));
    corpus.Fill(*store, gen, 45, rng);
    std::vector<mailstore::MessageRecordPtr> list;
    store->ListMessages(kInbox, 0, &list);
    ASSERT_EQ(mailstore::Status::kOk, store->RemoveMessages(kInbox, {list[0]->id, list[2]->id}));
  }
  bool finished = false;
  for (uint64_t n = 1; n < 200 && !finished; ++n) {
    SCOPED_TRACE("crash at file change " + std::to_string(n));
    TestDir dir;
    fs::copy(pristine.store(), dir.store(), fs::copy_options::recursive);
    const pid_t pid = ::fork();
    if (pid == 0) {
      auto store = mailstore::Store::Open(dir.store(), false, nullptr);
      auto index = mailsearch::SearchIndex::Open(store.get());
      mailstore::CrashAtFileChange(n);
      mailsearch::SearchResult r;
      index->Search(mailsearch::QueryNode(), {}, &r);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    finished = WEXITSTATUS(status) == 0;
    if (!finished) {
      ASSERT_EQ(mailstore::kCrashExitCode, WEXITSTATUS(status));
    }
    auto store = OpenStore(dir.store());
    auto index = mailsearch::SearchIndex::Open(store.get());
    std::vector<std::string> findings;
    EXPECT_TRUE(index->Check(&findings)) << findings.front();
    ExpectSameAnswers(*index, *store, corpus, static_cast<uint32_t>(n), 25);
  }
  EXPECT_TRUE(finished);
}

TEST(SearchDamage, ACutFlippedOrMissingFileIsReportedAndRebuilt) {
  TestDir pristine;
  CorpusGenerator gen(31);
  Corpus corpus;
  std::mt19937 rng(31);
  {
    auto store = OpenStore(pristine.store());
    auto index = mailsearch::SearchIndex::Open(store.get());
    for (int batch = 0; batch < 3; ++batch) {  // three segments of different sizes
      corpus.Fill(*store, gen, 40 >> batch, rng);
      mailsearch::SearchResult r;
      ASSERT_EQ(mailsearch::SearchStatus::kOk, index->Search(mailsearch::QueryNode(), {}, &r));
    }
  }
  const auto files = IndexFiles(pristine.store());
  ASSERT_GE(files.size(), 3u);
  const char* const kHow[] = {"cut", "flip", "remove"};
  for (const auto& name : files) {
    const uint64_t size = fs::file_size(pristine.store() + "/index/" + name);
    for (int how = 0; how < 3; ++how) {
      for (uint64_t at : {uint64_t(5), size / 2, size - 2}) {
        SCOPED_TRACE(name + " " + kHow[how] + " at " + std::to_string(at));
        TestDir dir;
        fs::copy(pristine.store(), dir.store(), fs::copy_options::recursive);
        const std::string path = dir.store() + "/index/" + name;
        if (how == 0) {
          fs::resize_file(path, at);
        } else if (how == 1) {
          std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
          f.seekg(static_cast<std::streamoff>(at));
          const char c = static_cast<char>(f.get() ^ 0x10);
          f.seekp(static_cast<std::streamoff>(at));
          f.put(c);
        } else {
          fs::remove(path);
        }
        auto store = OpenStore(dir.store());
        auto index = mailsearch::SearchIndex::Open(store.get());
        std::vector<std::string> findings;
        EXPECT_FALSE(index->Check(&findings));
        ExpectSameAnswers(*index, *store, corpus, static_cast<uint32_t>(at), 25);
        findings.clear();
        EXPECT_TRUE(index->Check(&findings)) << findings.front();
        if (how == 2) break;
      }
    }
  }
}

TEST(SearchDamage, ReindexRebuildsWithProgress) {
  TestDir dir;
  auto store = OpenStore(dir.store());
  CorpusGenerator gen(41);
  Corpus corpus;
  std::mt19937 rng(41);
  corpus.Fill(*store, gen, 50, rng);
  auto index = mailsearch::SearchIndex::Open(store.get());
  std::vector<std::pair<uint64_t, uint64_t>> calls;
  ASSERT_EQ(mailsearch::SearchStatus::kOk, index->Reindex([&](uint64_t done, uint64_t total) { calls.emplace_back(done, total); }));
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(std::make_pair(uint64_t(50), uint64_t(50)), calls.back());
  ExpectSameAnswers(*index, *store, corpus, 41, 40);
  // A second index over the same files (another process) answers from what the first wrote.
  auto again = mailsearch::SearchIndex::Open(store.get());
  ExpectSameAnswers(*again, *store, corpus, 42, 20);
}

// Catch-up: every change committed before a query, by this or another Store (as another
// process would), is seen by it: additions, removals, moves, flag changes, replaced sources,
// folder deletion, and the history lost to compaction or replaced by recovery.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "index_support.h"

using namespace indextest;
using mailstore::Status;

namespace {

std::vector<uint32_t> Ids(mailstore::Store& s, uint32_t folder) {
  std::vector<mailstore::MessageRecordPtr> list;
  s.ListMessages(folder, 0, &list);
  std::vector<uint32_t> out;
  for (const auto& r : list) out.push_back(r->id);
  return out;
}

uint64_t Count(mailsearch::SearchIndex& index, Kind kind) {
  mailsearch::QueryNode q;
  q.kind = kind;
  mailsearch::SearchOptions options;
  options.count_only = true;
  mailsearch::SearchResult r;
  EXPECT_EQ(mailsearch::SearchStatus::kOk, index.Search(q, options, &r));
  return r.count;
}

struct Fixture {
  TestDir dir;
  std::unique_ptr<mailstore::Store> store = OpenStore(dir.store());
  CorpusGenerator gen{3};
  Corpus corpus;
  std::mt19937 rng{5};
  std::unique_ptr<mailsearch::SearchIndex> index;
  explicit Fixture(int messages) {
    corpus.Fill(*store, gen, messages, rng);
    index = mailsearch::SearchIndex::Open(store.get());
  }
  void Expect(uint32_t seed, int queries = 120) {
    store->Refresh();
    ExpectSameAnswers(*index, *store, corpus, seed, queries);
  }
};

}  // namespace

TEST(SearchCatchUp, SeesEveryKindOfChangeByAnyWriter) {
  Fixture f(150);
  f.Expect(1);
  // Another writer, as another process would be: its own Store on the same directory.
  auto other = OpenStore(f.dir.store());
  f.corpus.Fill(*other, f.gen, 30, f.rng);
  const auto inbox = Ids(*other, kInbox);
  ASSERT_EQ(Status::kOk, other->RemoveMessages(kInbox, {inbox[0], inbox[3]}));
  ASSERT_EQ(Status::kOk, other->CopyMessages(kInbox, kSent, {inbox[1], inbox[2]}, true, 0, nullptr));
  ASSERT_EQ(Status::kOk, other->CopyMessages(kInbox, f.corpus.folders[1], {inbox[4]}, false, 0, nullptr));
  ASSERT_EQ(Status::kOk, other->SetFlags(kInbox, {inbox[5], inbox[6]}, 0x802, 0x802, nullptr));
  ASSERT_EQ(Status::kOk, other->SetFlags(kInbox, {inbox[7]}, 0, 0x802, nullptr));
  // A source replaced under the same id: the index must drop the old words.
  Truth t;
  const std::string source = f.gen.Make(&t);
  ASSERT_EQ(Status::kOk, other->ReplaceSource(kInbox, inbox[8], source, {}));
  f.corpus.truth[t.message_id] = t;
  f.Expect(2);

  ASSERT_EQ(Status::kOk, other->DeleteFolder(f.corpus.folders[1]));
  f.corpus.folders.pop_back();
  f.Expect(3);
}

TEST(SearchCatchUp, ReconcilesAfterTheHistoryIsGoneOrReplaced) {
  Fixture f(120);
  f.Expect(4, 40);
  // Compaction that keeps no history: the index's sequence is no longer there to follow.
  f.store->SetHistorySpan({0, 0});
  const auto inbox = Ids(*f.store, kInbox);
  ASSERT_EQ(Status::kOk, f.store->RemoveMessages(kInbox, {inbox[0], inbox[1]}));
  f.corpus.Fill(*f.store, f.gen, 10, f.rng);
  ASSERT_EQ(Status::kOk, f.store->Compact());
  f.Expect(5, 80);

  // Recovery starts a new history; the messages keep their records.
  f.corpus.Fill(*f.store, f.gen, 5, f.rng);
  f.index.reset();
  f.store.reset();
  const Corpus& corpus = f.corpus;
  ASSERT_EQ(Status::kOk, mailstore::Store::Recover(f.dir.store(), [&](const std::string& source) {
    mailstore::MessageFields fields;
    const size_t at = source.find("Message-ID: <") + 13;
    fields.sent_time = corpus.truth.at(source.substr(at, source.find('>', at) - at)).sent;
    return fields;
  }, nullptr));
  f.store = OpenStore(f.dir.store());
  f.index = mailsearch::SearchIndex::Open(f.store.get());
  f.Expect(6, 80);
}

TEST(SearchCatchUp, ProcessesThatCannotWriteTheIndexStillAnswer) {
  Fixture f(80);
  f.Expect(7, 20);
  // Several processes search and write at once; each answer is the store's at that moment.
  std::vector<pid_t> children;
  for (int c = 0; c < 2; ++c) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      auto store = mailstore::Store::Open(f.dir.store(), false, nullptr);
      auto index = mailsearch::SearchIndex::Open(store.get());
      CorpusGenerator gen(100 + c);
      Corpus corpus;
      std::mt19937 rng(c);
      corpus.folders = {kInbox};
      for (int i = 0; i < 10; ++i) {
        corpus.Fill(*store, gen, 3, rng);
        mailsearch::SearchResult r;
        if (index->Search(mailsearch::QueryNode(), {}, &r) != mailsearch::SearchStatus::kOk) ::_exit(2);
      }
      ::_exit(testing::Test::HasFailure() ? 1 : 0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(80u + 60u, Count(*f.index, Kind::kAll));

  // A store whose index directory cannot be made (a file stands in its place).
  TestDir other;
  auto store = OpenStore(other.store());
  std::ofstream(other.store() + "/index") << "not a directory";
  Corpus corpus;
  CorpusGenerator gen(9);
  std::mt19937 rng(9);
  corpus.Fill(*store, gen, 60, rng);
  auto index = mailsearch::SearchIndex::Open(store.get());
  ExpectSameAnswers(*index, *store, corpus, 8, 40);
  corpus.Fill(*store, gen, 5, rng);
  ASSERT_EQ(Status::kOk, store->RemoveMessages(kInbox, {Ids(*store, kInbox)[0]}));
  ExpectSameAnswers(*index, *store, corpus, 9, 40);
  std::vector<std::string> findings;
  EXPECT_TRUE(index->Check(&findings));
}

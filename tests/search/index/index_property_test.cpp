// The index against a brute-force scan of the same store: a generated corpus in several
// charsets and shapes, random queries of its words, fields and filters, the same answers in
// the same order.
#include "index_support.h"

using namespace indextest;

TEST(SearchIndex, AnswersAsTheBruteForceScanDoes) {
  TestDir dir;
  auto store = OpenStore(dir.store());
  CorpusGenerator gen(7);
  Corpus corpus;
  std::mt19937 rng(11);
  corpus.Fill(*store, gen, 400, rng);
  auto index = mailsearch::SearchIndex::Open(store.get());
  ExpectSameAnswers(*index, *store, corpus, 1, 400);

  // A limit gives the first hits of the full order.
  mailsearch::QueryNode all;
  mailsearch::SearchOptions options;
  mailsearch::SearchResult full, first;
  ASSERT_EQ(mailsearch::SearchStatus::kOk, index->Search(all, options, &full));
  options.limit = 7;
  ASSERT_EQ(mailsearch::SearchStatus::kOk, index->Search(all, options, &first));
  ASSERT_EQ(400u, full.count);
  ASSERT_EQ(7u, first.hits.size());
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(full.hits[i].message, first.hits[i].message);
}

TEST(SearchIndex, StoresTheFieldsDecoded) {
  TestDir dir;
  auto store = OpenStore(dir.store());
  const std::string source =
      "Message-ID: <a1@x>\r\nSubject: =?koi8-r?B?8NLJ18XU?= mir\r\n"
      "From: =?utf-8?Q?J=C3=BCrgen?= <J.Urgen@Example.org>, b@example.org\r\nTo: \"Ann\" <ann@x.org>\r\n"
      "Cc: c@x.org\r\nContent-Type: multipart/mixed; boundary=z\r\n\r\n--z\r\nContent-Type: text/plain\r\n\r\nhi\r\n"
      "--z\r\nContent-Type: application/pdf; name=\"r.pdf\"\r\n\r\nx\r\n--z--\r\n";
  mailstore::MessageFields fields;
  fields.sent_time = 555;
  uint32_t id = 0;
  ASSERT_EQ(mailstore::Status::kOk, store->AddMessage(kInbox, mailstore::kInvalidId, source, 0, fields, &id));
  auto index = mailsearch::SearchIndex::Open(store.get());
  mailsearch::SearchResult result;
  ASSERT_EQ(mailsearch::SearchStatus::kOk, index->Search(mailsearch::QueryNode(), {}, &result));
  mailsearch::StoredFields f;
  ASSERT_TRUE(index->GetStoredFields({kInbox, id}, &f));
  EXPECT_EQ("Привет mir", f.subject);
  EXPECT_EQ("Jürgen; b@example.org", f.from);
  EXPECT_EQ("J.Urgen@Example.org", f.from_address);
  EXPECT_EQ("Ann", f.to);
  EXPECT_EQ("c@x.org", f.cc);
  EXPECT_EQ("a1@x", f.message_id);
  EXPECT_EQ(1u, f.attachments);
  EXPECT_EQ(555u, f.sent);
  EXPECT_EQ(source.size(), f.size);
  EXPECT_FALSE(index->GetStoredFields({kInbox, id + 1}, &f));
}

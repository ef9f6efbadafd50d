// What the index tests share: a generated corpus of messages in several charsets and shapes
// whose words are known, a brute-force evaluation of a query over the store's messages from
// those known words, and random queries built from the corpus.
#pragma once

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "mailsearch/search_index.h"
#include "mailsearch/tokenizer.h"
#include "mimeengine/charset.h"
#include "mimeengine/codec.h"
#include "store_support.h"

namespace indextest {

using mailsearch::Field;
using mailsearch::QueryNode;
using Kind = QueryNode::Kind;

// One text of a field as the tokenizer reads it: the folded words in order.
using Words = std::vector<std::string>;

inline Words Tokens(const std::string& utf8) {
  mailsearch::Tokenizer t;
  t.Reset(utf8);
  Words out;
  mailsearch::Token token;
  while (t.Next(&token)) out.emplace_back(token.term);
  return out;
}

// What a message holds, as generated (before any encoding).
struct Truth {
  std::map<Field, std::vector<Words>> texts;  // subject, from, to, cc, body, filename
  std::map<Field, std::vector<std::string>> addresses;  // folded whole addresses: from, to, cc
  std::string message_id;
  uint64_t sent = 0;
  uint32_t attachments = 0;
};

constexpr uint32_t kFlagged = 0x800;
inline uint64_t FileTime(int64_t unix_seconds) { return uint64_t(unix_seconds + 11644473600LL) * 10000000ull; }

// Words by script, with the charsets that can carry them.
struct Script {
  std::vector<std::string> words;
  std::vector<std::string> charsets;
};
inline const std::vector<Script>& Scripts() {
  static const std::vector<Script> s = {
      {{"café", "Straße", "naïve", "über", "señor", "façade"}, {"iso-8859-1", "windows-1252"}},
      {{"привет", "мир", "почта", "Письмо", "ящик"}, {"koi8-r", "windows-1251"}},
      {{"東京", "日本語", "郵便", "手紙", "検索"}, {"shift_jis", "euc-jp", "iso-2022-jp"}},
      {{"中文", "邮件", "搜索"}, {"gb2312", "gbk"}},
      {{"καλημέρα", "ταχυδρομείο", "ÉLAN", "Мир"}, {"utf-8"}},
  };
  return s;
}
inline const std::vector<std::string>& AsciiWords() {
  static const std::vector<std::string> w = {"alpha", "bravo", "Charlie", "delta", "echo", "foxtrot",
                                             "golf", "HOTEL", "india", "juliet", "kilo", "lima"};
  return w;
}
// Words placed where the index must not look: style, script, binary attachments.
inline const std::vector<std::string>& HiddenWords() {
  static const std::vector<std::string> w = {"stylehidden", "scripthidden", "binaryhidden"};
  return w;
}

class CorpusGenerator {
 public:
  explicit CorpusGenerator(uint32_t seed) : rng_(seed) {}

  // A message source and what it holds.
  std::string Make(Truth* truth);

 private:
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  std::string Phrase(const Script& script, int n);
  std::string Encode(const std::string& utf8, const std::string& charset);
  std::string HeaderWords(const std::string& utf8, const std::string& charset);
  std::string Mailboxes(const Script& script, const std::string& charset, int n, Field field, Truth* truth);
  std::string TextPart(const std::string& utf8, const std::string& charset, bool html);

  std::mt19937 rng_;
  int serial_ = 0;
};

// A store filled from the generator, with the truth of each message by its Message-ID.
struct Corpus {
  std::map<std::string, Truth> truth;
  std::vector<uint32_t> folders;  // where messages go: Inbox, a subfolder, Sent Items

  void Fill(mailstore::Store& store, CorpusGenerator& gen, int count, std::mt19937& rng);
};

// The messages of |store| that |query| matches, in result order, judged from the truth.
std::vector<mailsearch::Hit> BruteForce(mailstore::Store& store, const Corpus& corpus, const QueryNode& query);

// A random query of corpus words and fields, at most |depth| levels of AND/OR/NOT.
QueryNode RandomQuery(mailstore::Store& store, const Corpus& corpus, std::mt19937& rng, int depth);
std::string Describe(const QueryNode& q);

// Runs |queries| random queries on |index| and on the brute force; every answer must be the same.
void ExpectSameAnswers(mailsearch::SearchIndex& index, mailstore::Store& store, const Corpus& corpus,
                       uint32_t seed, int queries);

}  // namespace indextest

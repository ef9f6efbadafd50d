// SegmentBuilder: collects documents (their columns, stored fields and term occurrences) in
// memory and gives the bytes of one segment file. Used for newly indexed messages and for
// merges, which feed it the documents and postings of older segments.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "message_analyzer.h"
#include "mailsearch/tokenizer.h"

namespace mailsearch {

struct DocColumns {
  uint32_t folder = 0, id = 0;
  uint64_t received = 0, sent = 0;
  uint32_t size = 0, checksum = 0, attachments = 0;
};

class SegmentBuilder {
 public:
  explicit SegmentBuilder(uint32_t base) : base_(base) {}

  // Adds a message and tokenizes its fields. Returns its doc number (base + local).
  uint32_t AddMessage(const DocColumns& columns, const AnalyzedMessage& message);
  // For merges: a document whose stored fields are already encoded; its postings follow
  // through AddPostings, documents in increasing order per term (from InternTerm).
  uint32_t AddDocument(const DocColumns& columns, std::string_view stored_bytes);
  uint32_t InternTerm(std::string_view term) { return Intern(term); }
  void AddPostings(uint32_t term, uint32_t doc, const std::vector<uint32_t>& positions);

  uint32_t base() const { return base_; }
  uint32_t doc_count() const { return static_cast<uint32_t>(columns_.size()); }
  // Bytes held, roughly: for flushing large batches.
  size_t memory() const { return memory_; }
  // The segment file's bytes (checksum included). The builder is spent afterwards.
  std::string Finish();

  static void EncodeStored(const StoredFields& s, std::string* out);

 private:
  struct TermData {
    std::string docs;       // delta-coded local doc numbers
    std::string positions;  // per doc: byte length, delta-coded positions
    uint32_t count = 0;
    uint32_t last_doc = 0;
    uint32_t word = 0;
    char tag = 0;
  };
  // Term ids by word and field tag: one hash lookup per word, whichever tags it takes.
  uint32_t Word(std::string_view word);
  uint32_t TermOf(uint32_t word, char tag);
  uint32_t Intern(std::string_view term) { return TermOf(Word(term.substr(1)), term[0]); }
  void Tokenize(char tag, std::string_view text, uint32_t* position);
  void AddAddresses(char tag, const std::vector<AnalyzedMailbox>& list);
  void Term(uint32_t term, uint32_t position) { occurrences_.emplace_back(term, position); }
  void AppendDoc(TermData& t, uint32_t local, const uint32_t* positions, size_t n);
  // Adds the kTagPair terms of field |tag| from the positions of its frequent words.
  void AddPairs(char tag);

  uint32_t base_;
  std::vector<DocColumns> columns_;
  std::string stored_;
  std::vector<uint32_t> stored_ends_;
  static constexpr int kTags = 9;
  std::unordered_map<std::string, uint32_t> words_;
  std::vector<const std::string*> word_names_;          // by word id: the key in words_
  std::vector<std::array<uint32_t, kTags>> word_terms_;  // by word id and tag slot: term id
  std::vector<TermData> terms_;
  std::vector<uint32_t> any_;                           // kTagAny terms of one message
  std::vector<std::pair<uint32_t, uint32_t>> occurrences_;  // (term, position) of one message
  std::vector<uint32_t> scratch_;
  std::string key_, encoded_;
  Tokenizer tokenizer_;
  size_t memory_ = 0;
};

}  // namespace mailsearch

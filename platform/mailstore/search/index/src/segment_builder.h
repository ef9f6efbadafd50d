// SegmentBuilder: collects documents (their columns, stored fields and term occurrences) in
// memory and gives the bytes of one segment file. Used for newly indexed messages and for
// merges, which feed it the documents and postings of older segments.
#pragma once

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
  // through AddPostings, documents in increasing order per term.
  uint32_t AddDocument(const DocColumns& columns, std::string_view stored_bytes);
  void AddPostings(std::string_view term, uint32_t doc, const std::vector<uint32_t>& positions);

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
    std::string positions;  // per doc: count, delta-coded positions
    uint32_t count = 0;
    uint32_t last_doc = 0;
  };
  uint32_t Intern(std::string_view term);
  void Tokenize(char tag, std::string_view text, uint32_t* position);
  void AddAddresses(char tag, const std::vector<AnalyzedMailbox>& list);
  void Term(uint32_t term, uint32_t position) { occurrences_.emplace_back(term, position); }
  void AppendDoc(TermData& t, uint32_t local, const uint32_t* positions, size_t n);

  uint32_t base_;
  std::vector<DocColumns> columns_;
  std::string stored_;
  std::vector<uint32_t> stored_ends_;
  std::unordered_map<std::string, uint32_t> ids_;
  std::vector<TermData> terms_;
  std::vector<std::pair<uint32_t, uint32_t>> occurrences_;  // (term, position) of one message
  std::vector<uint32_t> scratch_;
  std::string key_;
  Tokenizer tokenizer_;
  size_t memory_ = 0;
};

}  // namespace mailsearch

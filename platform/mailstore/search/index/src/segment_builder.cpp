#include "segment_builder.h"

#include <algorithm>

#include "byte_io.h"
#include "crc32.h"
#include "segment_format.h"

namespace mailsearch {

void SegmentBuilder::EncodeStored(const StoredFields& s, std::string* out) {
  for (const std::string* f : {&s.subject, &s.from, &s.from_address, &s.to, &s.cc, &s.message_id})
    PutString(out, *f);
}

uint32_t SegmentBuilder::Intern(std::string_view term) {
  key_.assign(term.data(), term.size());
  auto it = ids_.find(key_);
  if (it != ids_.end()) return it->second;
  const uint32_t id = static_cast<uint32_t>(terms_.size());
  ids_.emplace(key_, id);
  terms_.emplace_back();
  memory_ += term.size() + 96;
  return id;
}

void SegmentBuilder::Tokenize(char tag, std::string_view text, uint32_t* position) {
  tokenizer_.Reset(text, *position);
  Token token;
  std::string term(1, tag);
  while (tokenizer_.Next(&token)) {
    term.resize(1);
    term.append(token.term);
    Term(Intern(term), token.position);
  }
  // A gap, so that a phrase never spans two texts of one field.
  *position = tokenizer_.next_position() + 1;
}

void SegmentBuilder::AddAddresses(char tag, const std::vector<AnalyzedMailbox>& list) {
  uint32_t position = 0;
  for (const auto& m : list) {
    Tokenize(tag, m.name, &position);
    Tokenize(tag, m.address, &position);
    if (m.address.find('@') != std::string::npos) {
      std::string whole(1, tag);
      whole += FoldCase(m.address);
      Term(Intern(whole), position);
      position += 2;
    }
  }
}

void SegmentBuilder::AppendDoc(TermData& t, uint32_t local, const uint32_t* positions, size_t n) {
  const size_t before = t.docs.size() + t.positions.size();
  PutVarint(&t.docs, t.count == 0 ? local : local - t.last_doc);
  t.last_doc = local;
  ++t.count;
  PutVarint(&t.positions, n);
  uint32_t last = 0;
  for (size_t i = 0; i < n; ++i) {
    PutVarint(&t.positions, positions[i] - last);
    last = positions[i];
  }
  memory_ += t.docs.size() + t.positions.size() - before;
}

uint32_t SegmentBuilder::AddMessage(const DocColumns& columns, const AnalyzedMessage& message) {
  const uint32_t local = doc_count();
  columns_.push_back(columns);
  EncodeStored(message.stored, &stored_);
  stored_ends_.push_back(static_cast<uint32_t>(stored_.size()));
  memory_ += sizeof(DocColumns) + 4;

  occurrences_.clear();
  uint32_t position = 0;
  Tokenize(kTagSubject, message.subject, &position);
  AddAddresses(kTagFrom, message.from);
  AddAddresses(kTagTo, message.to);
  AddAddresses(kTagCc, message.cc);
  position = 0;
  for (const auto& body : message.bodies) Tokenize(kTagBody, body, &position);
  position = 0;
  for (const auto& name : message.filenames) Tokenize(kTagFilename, name, &position);
  if (!message.message_id.empty()) {
    std::string id(1, kTagMessageId);
    id += message.message_id;
    Term(Intern(id), 0);
  }

  std::sort(occurrences_.begin(), occurrences_.end());
  for (size_t i = 0; i < occurrences_.size();) {
    const uint32_t term = occurrences_[i].first;
    scratch_.clear();
    for (; i < occurrences_.size() && occurrences_[i].first == term; ++i)
      scratch_.push_back(occurrences_[i].second);
    AppendDoc(terms_[term], local, scratch_.data(), scratch_.size());
  }
  return base_ + local;
}

uint32_t SegmentBuilder::AddDocument(const DocColumns& columns, std::string_view stored_bytes) {
  const uint32_t local = doc_count();
  columns_.push_back(columns);
  stored_.append(stored_bytes);
  stored_ends_.push_back(static_cast<uint32_t>(stored_.size()));
  memory_ += sizeof(DocColumns) + 4 + stored_bytes.size();
  return base_ + local;
}

void SegmentBuilder::AddPostings(std::string_view term, uint32_t doc,
                                 const std::vector<uint32_t>& positions) {
  AppendDoc(terms_[Intern(term)], doc - base_, positions.data(), positions.size());
}

std::string SegmentBuilder::Finish() {
  namespace sf = segment_format;
  std::vector<const std::string*> names(terms_.size());
  for (const auto& [name, id] : ids_) names[id] = &name;
  std::vector<uint32_t> order(terms_.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return *names[a] < *names[b]; });

  std::string terms, postings, dict;
  for (uint32_t id : order) {
    const TermData& t = terms_[id];
    if (t.count == 0) continue;
    PutFixed<uint32_t>(&dict, static_cast<uint32_t>(terms.size()));
    PutFixed<uint64_t>(&dict, postings.size());
    terms += *names[id];
    PutVarint(&postings, t.count);
    PutVarint(&postings, t.docs.size());
    postings += t.docs;
    postings += t.positions;
  }
  const uint32_t term_count = static_cast<uint32_t>(dict.size() / sf::kDictEntry);
  PutFixed<uint32_t>(&dict, static_cast<uint32_t>(terms.size()));
  PutFixed<uint64_t>(&dict, postings.size());
  ids_.clear();
  terms_.clear();

  const uint32_t n = doc_count();
  std::string columns;
  columns.reserve(n * 44 + 4);
  for (const auto& c : columns_) PutFixed<uint64_t>(&columns, c.received);
  for (const auto& c : columns_) PutFixed<uint64_t>(&columns, c.sent);
  for (const auto& c : columns_) PutFixed<uint32_t>(&columns, c.folder);
  for (const auto& c : columns_) PutFixed<uint32_t>(&columns, c.id);
  for (const auto& c : columns_) PutFixed<uint32_t>(&columns, c.size);
  for (const auto& c : columns_) PutFixed<uint32_t>(&columns, c.checksum);
  for (const auto& c : columns_) PutFixed<uint32_t>(&columns, c.attachments);
  PutFixed<uint32_t>(&columns, 0);
  for (uint32_t end : stored_ends_) PutFixed<uint32_t>(&columns, end);

  std::string out;
  const uint64_t dict_at = sf::kHeaderSize, terms_at = dict_at + dict.size(),
                 postings_at = terms_at + terms.size(), columns_at = postings_at + postings.size(),
                 stored_at = columns_at + columns.size(), crc_at = stored_at + stored_.size();
  out.reserve(crc_at + 4);
  PutFixed<uint32_t>(&out, sf::kMagic);
  PutFixed<uint32_t>(&out, sf::kVersion);
  PutFixed<uint32_t>(&out, base_);
  PutFixed<uint32_t>(&out, n);
  PutFixed<uint32_t>(&out, term_count);
  PutFixed<uint32_t>(&out, 0);
  for (uint64_t at : {dict_at, terms_at, postings_at, columns_at, stored_at, crc_at}) PutFixed<uint64_t>(&out, at);
  out += dict;
  out += terms;
  out += postings;
  out += columns;
  out += stored_;
  PutFixed<uint32_t>(&out, mailstore::Crc32(reinterpret_cast<const uint8_t*>(out.data()), out.size(), 0));
  return out;
}

}  // namespace mailsearch

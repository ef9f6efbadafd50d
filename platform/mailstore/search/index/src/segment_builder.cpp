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

namespace {
int TagSlot(char tag) {
  switch (tag) {
    case kTagSubject: return 0;
    case kTagFrom: return 1;
    case kTagTo: return 2;
    case kTagCc: return 3;
    case kTagBody: return 4;
    case kTagFilename: return 5;
    case kTagMessageId: return 6;
    case kTagPair: return 8;
    default: return 7;
  }
}
constexpr uint32_t kNone = 0xFFFFFFFFu;
}  // namespace

uint32_t SegmentBuilder::Word(std::string_view word) {
  key_.assign(word.data(), word.size());
  auto it = words_.find(key_);
  if (it != words_.end()) return it->second;
  const uint32_t id = static_cast<uint32_t>(word_names_.size());
  word_names_.push_back(&words_.emplace(key_, id).first->first);
  word_terms_.emplace_back();
  word_terms_.back().fill(kNone);
  memory_ += word.size() + 96;
  return id;
}

uint32_t SegmentBuilder::TermOf(uint32_t word, char tag) {
  uint32_t& term = word_terms_[word][TagSlot(tag)];
  if (term == kNone) {
    term = static_cast<uint32_t>(terms_.size());
    terms_.emplace_back();
    terms_.back().word = word;
    terms_.back().tag = tag;
    memory_ += sizeof(TermData);
  }
  return term;
}

void SegmentBuilder::Tokenize(char tag, std::string_view text, uint32_t* position) {
  tokenizer_.Reset(text, *position);
  Token token;
  while (tokenizer_.Next(&token)) Term(TermOf(Word(token.term), tag), token.position);
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
  if (t.tag == kTagAny || t.tag == kTagPair) {  // docs only
    memory_ += t.docs.size() - before;
    return;
  }
  encoded_.clear();
  uint32_t last = 0;
  for (size_t i = 0; i < n; ++i) {
    PutVarint(&encoded_, positions[i] - last);
    last = positions[i];
  }
  PutVarint(&t.positions, encoded_.size());
  t.positions += encoded_;
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
  any_.clear();
  for (size_t i = 0; i < occurrences_.size();) {
    const uint32_t term = occurrences_[i].first;
    scratch_.clear();
    for (; i < occurrences_.size() && occurrences_[i].first == term; ++i)
      scratch_.push_back(occurrences_[i].second);
    AppendDoc(terms_[term], local, scratch_.data(), scratch_.size());
    if (terms_[term].tag != kTagMessageId) any_.push_back(TermOf(terms_[term].word, kTagAny));
  }
  std::sort(any_.begin(), any_.end());
  any_.erase(std::unique(any_.begin(), any_.end()), any_.end());
  for (uint32_t term : any_) AppendDoc(terms_[term], local, nullptr, 0);
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

void SegmentBuilder::AddPostings(uint32_t term, uint32_t doc, const std::vector<uint32_t>& positions) {
  AppendDoc(terms_[term], doc - base_, positions.data(), positions.size());
}

void SegmentBuilder::AddPairs(char tag) {
  namespace sf = segment_format;
  const uint32_t n = doc_count();
  struct Walk {
    uint32_t term, left, doc;
    ByteReader docs, positions;
  };
  std::vector<Walk> walks;
  for (uint32_t id = 0; id < terms_.size(); ++id) {
    const TermData& t = terms_[id];
    if (t.tag != tag || !sf::FrequentInPairs(t.count, n) ||
        word_names_[t.word]->find(sf::kPairSeparator) != std::string::npos)
      continue;
    Walk w{id, t.count, 0, ByteReader(reinterpret_cast<const uint8_t*>(t.docs.data()),
                                      reinterpret_cast<const uint8_t*>(t.docs.data() + t.docs.size())),
           ByteReader(reinterpret_cast<const uint8_t*>(t.positions.data()),
                      reinterpret_cast<const uint8_t*>(t.positions.data() + t.positions.size()))};
    w.doc = w.docs.Varint32();
    walks.push_back(w);
  }
  if (walks.empty()) return;
  // The new terms go to a list of their own until the walk is done: it reads terms_'s strings.
  std::unordered_map<uint64_t, uint32_t> index;
  std::vector<TermData> pairs;
  std::vector<std::pair<uint32_t, uint32_t>> at;  // (position, walk) of one doc
  std::vector<uint64_t> found;
  for (uint32_t doc = 0; doc < n; ++doc) {
    at.clear();
    for (uint32_t k = 0; k < walks.size(); ++k) {
      Walk& w = walks[k];
      if (w.left == 0 || w.doc != doc) continue;
      const uint64_t bytes = w.positions.Varint();
      ByteReader r(w.positions.pos(), w.positions.pos() + std::min(bytes, w.positions.remaining()));
      w.positions.Skip(bytes);
      for (uint32_t p = 0; !r.at_end();) at.emplace_back(p += r.Varint32(), k);
      if (--w.left) w.doc += w.docs.Varint32();
    }
    if (at.size() < 2) continue;
    std::sort(at.begin(), at.end());
    found.clear();
    for (size_t i = 0, next = 0; i < at.size(); ++i) {
      while (next < at.size() && at[next].first <= at[i].first) ++next;
      for (size_t j = next; j < at.size() && at[j].first == at[i].first + 1; ++j)
        found.push_back(uint64_t(at[i].second) << 32 | at[j].second);
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    for (uint64_t f : found) {
      auto it = index.emplace(f, static_cast<uint32_t>(pairs.size())).first;
      if (it->second == pairs.size()) {
        pairs.emplace_back();
        pairs.back().tag = kTagPair;
      }
      AppendDoc(pairs[it->second], doc, nullptr, 0);
    }
  }
  std::string name;
  for (const auto& [f, i] : index) {
    name.assign(1, tag);
    name += *word_names_[terms_[walks[f >> 32].term].word];
    name += sf::kPairSeparator;
    name += *word_names_[terms_[walks[f & 0xFFFFFFFFu].term].word];
    const uint32_t word = Word(name);
    word_terms_[word][TagSlot(kTagPair)] = static_cast<uint32_t>(terms_.size());
    pairs[i].word = word;
    terms_.push_back(std::move(pairs[i]));
  }
}

std::string SegmentBuilder::Finish() {
  namespace sf = segment_format;
  for (char tag : {kTagSubject, kTagFrom, kTagTo, kTagCc, kTagBody, kTagFilename}) AddPairs(tag);
  std::vector<uint32_t> order(terms_.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    const TermData& x = terms_[a];
    const TermData& y = terms_[b];
    if (x.tag != y.tag) return static_cast<unsigned char>(x.tag) < static_cast<unsigned char>(y.tag);
    return *word_names_[x.word] < *word_names_[y.word];
  });

  std::string terms, postings, dict;
  for (uint32_t id : order) {
    const TermData& t = terms_[id];
    if (t.count == 0) continue;
    PutFixed<uint32_t>(&dict, static_cast<uint32_t>(terms.size()));
    PutFixed<uint64_t>(&dict, postings.size());
    terms += t.tag;
    terms += *word_names_[t.word];
    PutVarint(&postings, t.count);
    const size_t bitmap_bytes = (doc_count() + 7) / 8;
    if (bitmap_bytes < t.docs.size()) {
      PutVarint(&postings, bitmap_bytes << 1 | 1);
      std::string bits(bitmap_bytes, '\0');
      ByteReader r(reinterpret_cast<const uint8_t*>(t.docs.data()),
                   reinterpret_cast<const uint8_t*>(t.docs.data() + t.docs.size()));
      uint32_t local = 0;
      for (uint32_t i = 0; i < t.count; ++i) {
        local += r.Varint32();
        bits[local >> 3] = static_cast<char>(bits[local >> 3] | (1 << (local & 7)));
      }
      postings += bits;
    } else {
      PutVarint(&postings, t.docs.size() << 1);
      postings += t.docs;
    }
    postings += t.positions;
  }
  const uint32_t term_count = static_cast<uint32_t>(dict.size() / sf::kDictEntry);
  PutFixed<uint32_t>(&dict, static_cast<uint32_t>(terms.size()));
  PutFixed<uint64_t>(&dict, postings.size());
  words_.clear();
  word_names_.clear();
  word_terms_.clear();
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

#include "segment.h"

#include <algorithm>

#include "crc32.h"
#include "segment_format.h"

namespace mailsearch {
namespace sf = segment_format;

bool Segment::Verify(const std::string& path, uint32_t* crc, std::string* problem) {
  mailstore::File file;
  if (!file.Open(path, mailstore::File::Mode::kRead)) {
    *problem = "missing";
    return false;
  }
  const int64_t size = file.Size();
  if (size < static_cast<int64_t>(sf::kHeaderSize + 4)) {
    *problem = "cut short";
    return false;
  }
  // Read through a small buffer rather than the mapping, so that checking does not make the
  // whole file resident in this process.
  std::vector<uint8_t> buffer(1 << 20);
  uint32_t c = 0;
  uint64_t at = 0, end = static_cast<uint64_t>(size) - 4;
  while (at < end) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), end - at));
    if (file.ReadAt(at, buffer.data(), want) != static_cast<int64_t>(want)) {
      *problem = "unreadable";
      return false;
    }
    c = mailstore::Crc32(buffer.data(), want, c);
    at += want;
  }
  uint8_t stored[4];
  if (file.ReadAt(end, stored, 4) != 4 || GetFixedAt<uint32_t>(stored) != c) {
    *problem = "checksum mismatch";
    return false;
  }
  *crc = c;
  return true;
}

std::shared_ptr<Segment> Segment::OpenFile(const std::string& path, std::string* problem) {
  uint32_t crc = 0;
  if (!Verify(path, &crc, problem)) return nullptr;
  std::shared_ptr<Segment> s(new Segment());
  if (!s->file_.Open(path, mailstore::File::Mode::kRead)) {
    *problem = "missing";
    return nullptr;
  }
  s->size_ = static_cast<uint64_t>(s->file_.Size());
  s->data_ = static_cast<const uint8_t*>(s->file_.MapShared(static_cast<size_t>(s->size_), false));
  if (!s->data_) {
    // No mapping (address space): read it whole.
    s->bytes_.resize(static_cast<size_t>(s->size_));
    if (s->file_.ReadAt(0, &s->bytes_[0], s->bytes_.size()) != static_cast<int64_t>(s->size_)) {
      *problem = "unreadable";
      return nullptr;
    }
    s->file_.Close();
    s->data_ = reinterpret_cast<const uint8_t*>(s->bytes_.data());
  }
  s->crc_ = crc;
  if (GetFixedAt<uint32_t>(s->data_ + s->size_ - 4) != crc || !s->Parse(problem)) {
    if (problem->empty()) *problem = "changed while read";
    return nullptr;
  }
  return s;
}

std::shared_ptr<Segment> Segment::FromBytes(std::string bytes, std::string* problem) {
  std::shared_ptr<Segment> s(new Segment());
  s->bytes_ = std::move(bytes);
  s->data_ = reinterpret_cast<const uint8_t*>(s->bytes_.data());
  s->size_ = s->bytes_.size();
  if (s->size_ < sf::kHeaderSize + 4) {
    *problem = "cut short";
    return nullptr;
  }
  s->crc_ = GetFixedAt<uint32_t>(s->data_ + s->size_ - 4);
  return s->Parse(problem) ? s : nullptr;
}

bool Segment::Parse(std::string* problem) {
  const uint8_t* h = data_;
  uint64_t at[6];
  for (int i = 0; i < 6; ++i) at[i] = GetFixedAt<uint64_t>(h + sf::kDictAt + 8 * i);
  base_ = GetFixedAt<uint32_t>(h + sf::kBaseAt);
  doc_count_ = GetFixedAt<uint32_t>(h + sf::kDocCountAt);
  term_count_ = GetFixedAt<uint32_t>(h + sf::kTermCountAt);
  bool ok = GetFixedAt<uint32_t>(h) == sf::kMagic && GetFixedAt<uint32_t>(h + 4) == sf::kVersion &&
            at[0] == sf::kHeaderSize && at[5] == size_ - 4;
  for (int i = 0; ok && i < 5; ++i) ok = at[i] <= at[i + 1];
  ok = ok && at[1] - at[0] == (uint64_t(term_count_) + 1) * sf::kDictEntry &&
       at[4] - at[3] == 40ull * doc_count_ + 4;
  if (!ok) {
    *problem = "bad header";
    return false;
  }
  dict_ = data_ + at[0];
  terms_ = data_ + at[1];
  terms_size_ = at[2] - at[1];
  postings_ = data_ + at[2];
  postings_size_ = at[3] - at[2];
  columns_ = data_ + at[3];
  stored_ = data_ + at[4];
  stored_size_ = at[5] - at[4];
  return true;
}

std::string_view Segment::TermAt(uint32_t i) const {
  const uint64_t b = GetFixedAt<uint32_t>(dict_ + sf::kDictEntry * i);
  const uint64_t e = GetFixedAt<uint32_t>(dict_ + sf::kDictEntry * (i + 1));
  if (b > e || e > terms_size_) return {};
  return std::string_view(reinterpret_cast<const char*>(terms_ + b), e - b);
}

Postings Segment::PostingsAt(uint32_t i) const {
  Postings p;
  const uint64_t b = GetFixedAt<uint64_t>(dict_ + sf::kDictEntry * i + 4);
  const uint64_t e = GetFixedAt<uint64_t>(dict_ + sf::kDictEntry * (i + 1) + 4);
  if (b > e || e > postings_size_) return p;
  ByteReader r(postings_ + b, postings_ + e);
  p.count = static_cast<uint32_t>(r.Varint());
  const uint64_t docs_bytes = r.Varint();
  if (r.bad() || docs_bytes > static_cast<uint64_t>(postings_ + e - r.pos())) return Postings();
  p.docs = ByteReader(r.pos(), r.pos() + docs_bytes);
  p.positions = ByteReader(r.pos() + docs_bytes, postings_ + e);
  return p;
}

bool Segment::Find(std::string_view term, Postings* out) const {
  uint32_t lo = 0, hi = term_count_;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    if (TermAt(mid) < term) lo = mid + 1;
    else hi = mid;
  }
  if (lo == term_count_ || TermAt(lo) != term) return false;
  *out = PostingsAt(lo);
  return true;
}

std::string_view Segment::StoredBytes(uint32_t i) const {
  const uint64_t base = 16ull * doc_count_ + 20ull * doc_count_;
  const uint64_t b = GetFixedAt<uint32_t>(columns_ + base + 4ull * i);
  const uint64_t e = GetFixedAt<uint32_t>(columns_ + base + 4ull * (i + 1));
  if (b > e || e > stored_size_) return {};
  return std::string_view(reinterpret_cast<const char*>(stored_ + b), e - b);
}

bool Segment::Stored(uint32_t i, StoredFields* out) const {
  const std::string_view bytes = StoredBytes(i);
  ByteReader r(reinterpret_cast<const uint8_t*>(bytes.data()),
               reinterpret_cast<const uint8_t*>(bytes.data() + bytes.size()));
  for (std::string* f : {&out->subject, &out->from, &out->from_address, &out->to, &out->cc, &out->message_id})
    *f = std::string(r.String());
  out->attachments = attachments(i);
  out->sent = sent(i);
  out->received = received(i);
  out->size = size(i);
  return !r.bad();
}

}  // namespace mailsearch

#include "query_evaluator.h"

#include <algorithm>
#include <cstring>

#include "mailstore/store.h"
#include "message_analyzer.h"
#include "message_id.h"
#include "segment_format.h"

namespace mailsearch {
namespace {

using Kind = QueryNode::Kind;
constexpr uint32_t kFlagFlagged = 0x800;
constexpr uint32_t kNoFolder = 0xFFFFFFFEu;  // a folder path that names no folder

// The field tags a query field reads.
std::string TagsOf(Field field) {
  switch (field) {
    case Field::kSubject: return {kTagSubject};
    case Field::kFrom: return {kTagFrom};
    case Field::kTo: return {kTagTo, kTagCc};
    case Field::kCc: return {kTagCc};
    case Field::kBody: return {kTagBody};
    case Field::kFilename: return {kTagFilename};
    case Field::kAny: break;
  }
  return {kTagAny};
}

// Where a phrase in any field is looked for: positions are kept per field.
std::string PhraseTagsOf(Field field) {
  if (field != Field::kAny) return TagsOf(field);
  return {kTagSubject, kTagFrom, kTagTo, kTagCc, kTagBody, kTagFilename};
}

bool IsFilter(const QueryNode& n) {
  switch (n.kind) {
    case Kind::kFolderPath: case Kind::kFolderId: case Kind::kSent: case Kind::kReceived:
    case Kind::kUnread: case Kind::kRead: case Kind::kFlagged: case Kind::kHasAttachment:
    case Kind::kLarger: case Kind::kSmaller:
      return true;
    default:
      return false;
  }
}

void AddDocs(const Segment& s, Postings& p, DocSet* out) {
  if (p.bitmap) {
    out->OrBits(p.docs.pos(), static_cast<uint32_t>(std::min<uint64_t>(s.doc_count(), p.docs.remaining() * 8)), s.base());
  } else {
    const uint32_t base = s.base();
    ForEachDoc(p, s.doc_count(), [&](uint32_t local) { out->Set(base + local); });
  }
}

}  // namespace

void QueryEvaluator::Evaluate(const QueryNode& root, DocSet* out) {
  size_ = view_.meta.next_doc;
  for (const auto& v : view_.segments()) size_ = std::max(size_, v.segment->base() + v.segment->doc_count());
  live_.Reset(size_);
  std::vector<uint8_t> bits;
  for (const auto& v : view_.segments()) {
    const uint32_t n = v.segment->doc_count();
    bits.assign((n + 7) / 8, 0);
    for (uint32_t w = 0; w < v.deleted.size(); ++w)
      for (int k = 0; k < 8; ++k)
        if (static_cast<size_t>(w) * 8 + k < bits.size()) bits[w * 8 + k] = static_cast<uint8_t>(~v.deleted[w] >> (8 * k));
    live_.OrBits(bits.data(), n, v.segment->base());
  }
  live_count_ = live_.Count();
  Eval(root, out);
  out->And(live_);
}

void QueryEvaluator::TermDocs(const std::string& tags, const std::string& term, Docs* out) const {
  out->Reset(size_);
  std::string key = " " + term;
  for (const auto& v : view_.segments()) {
    const Segment& s = *v.segment;
    for (char tag : tags) {
      key[0] = tag;
      Postings p;
      if (s.Find(key, &p)) AddDocs(s, p, out);
    }
  }
}

void QueryEvaluator::PhraseDocs(const std::string& tags, const std::vector<std::string>& terms, Docs* out) const {
  out->Reset(size_);
  const size_t n = terms.size();
  std::vector<PostingCursor> cursors(n);
  std::vector<Postings> postings(n);
  std::vector<ByteReader> streams(n);
  std::vector<uint32_t> current(n);
  std::vector<bool> started(n);
  std::string key;
  for (const auto& v : view_.segments()) {
    for (char tag : tags) {
      const Segment& s = *v.segment;
      bool all = true;
      for (size_t t = 0; t < n && all; ++t) {
        key.assign(1, tag);
        key += terms[t];
        all = s.Find(key, &postings[t]);
      }
      if (!all) continue;
      // Two frequent words: their pair's docs, without reading positions.
      bool listed = n == 2;
      for (size_t t = 0; t < n && listed; ++t)
        listed = segment_format::FrequentInPairs(postings[t].count, s.doc_count()) &&
                 terms[t].find(segment_format::kPairSeparator) == std::string::npos;
      if (listed) {
        key.assign({kTagPair, tag});
        key += terms[0];
        key += segment_format::kPairSeparator;
        key += terms[1];
        Postings p;
        if (s.Find(key, &p)) AddDocs(s, p, out);
        continue;
      }
      for (size_t t = 0; t < n && all; ++t) {
        cursors[t] = PostingCursor(postings[t], s.doc_count());
        all = cursors[t].Next();
      }
      // The cursors move together to each doc all the words are in; positions are read there.
      while (all) {
        uint32_t target = cursors[0].doc();
        bool aligned = true;
        for (size_t t = 1; t < n && all && aligned; ++t) {
          while (all && cursors[t].doc() < target) all = cursors[t].Next();
          if (all && cursors[t].doc() > target) {
            aligned = false;
            target = cursors[t].doc();
          }
        }
        if (!all) break;
        if (!aligned) {
          while (all && cursors[0].doc() < target) all = cursors[0].Next();
          continue;
        }
        // Merges the position streams: each advances only forwards.
        for (size_t t = 0; t < n; ++t) {
          streams[t] = cursors[t].positions();
          current[t] = 0;
          started[t] = false;
        }
        bool found = false;
        for (uint32_t p0 = 0; !found && !streams[0].at_end();) {
          p0 += streams[0].Varint32();
          found = true;
          for (size_t t = 1; t < n && found; ++t) {
            const uint32_t want = p0 + static_cast<uint32_t>(t);
            while ((!started[t] || current[t] < want) && !streams[t].at_end()) {
              current[t] += streams[t].Varint32();
              started[t] = true;
            }
            found = started[t] && current[t] == want;
          }
        }
        if (found) out->Set(v.segment->base() + target);
        all = cursors[0].Next();
      }
    }
  }
}

uint32_t QueryEvaluator::FolderOf(const QueryNode& node) {
  if (node.kind == Kind::kFolderId) return node.folder_id;
  uint32_t folder = kNoFolder;
  if (options_.resolve_folder) {
    if (!options_.resolve_folder(node.text, &folder)) folder = kNoFolder;
    return folder;
  }
  // The store's names read as UTF-8, "/" between levels, compared without regard to ASCII case.
  folder = mailstore::kRootFolderId;
  std::string_view path = node.text;
  while (!path.empty()) {
    const size_t slash = path.find('/');
    const std::string_view name = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (name.empty()) continue;
    std::vector<mailstore::FolderInfo> subs;
    if (store_->ListSubfolders(folder, &subs) != mailstore::Status::kOk) return kNoFolder;
    auto it = std::find_if(subs.begin(), subs.end(), [&](const mailstore::FolderInfo& f) {
      return f.name.size() == name.size() &&
             std::equal(name.begin(), name.end(), f.name.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? a + 32 : a) == (b >= 'A' && b <= 'Z' ? b + 32 : b);
             });
    });
    if (it == subs.end()) return kNoFolder;
    folder = it->id;
  }
  return folder == mailstore::kRootFolderId ? kNoFolder : folder;
}

bool QueryEvaluator::Matches(const QueryNode& f, const ViewSegment& v, uint32_t local) {
  const Segment& s = *v.segment;
  switch (f.kind) {
    case Kind::kFolderPath:
    case Kind::kFolderId:
      return s.folder(local) == f.folder_id;  // resolved by Filter
    case Kind::kSent: return s.sent(local) >= f.from && s.sent(local) < f.to;
    case Kind::kReceived: return s.received(local) >= f.from && s.received(local) < f.to;
    case Kind::kHasAttachment: return s.attachments(local) > 0;
    case Kind::kLarger: return s.size(local) > f.size;
    case Kind::kSmaller: return s.size(local) < f.size;
    case Kind::kUnread:
    case Kind::kRead:
    case Kind::kFlagged: {
      uint32_t flags = 0;
      if (!FlagsOf(s.folder(local), s.id(local), &flags)) return false;
      if (f.kind == Kind::kFlagged) return (flags & kFlagFlagged) != 0;
      return ((flags & mailstore::kFlagUnread) != 0) == (f.kind == Kind::kUnread);
    }
    default:
      return false;
  }
}

bool QueryEvaluator::FlagsOf(uint32_t folder, uint32_t id, uint32_t* flags) {
  mailstore::MessageRecordPtr record;
  if (!list_folders_) {
    if (store_->FindMessage(folder, id, &record) != mailstore::Status::kOk) return false;
    *flags = record->flags;
    return true;
  }
  auto it = records_.find(folder);
  if (it == records_.end()) {
    it = records_.emplace(folder, std::vector<mailstore::MessageRecordPtr>()).first;
    store_->ListMessages(folder, 0, &it->second);
  }
  const auto& list = it->second;
  auto r = std::lower_bound(list.begin(), list.end(), id,
                            [](const mailstore::MessageRecordPtr& p, uint32_t v) { return p->id < v; });
  if (r == list.end() || (*r)->id != id) return false;
  *flags = (*r)->flags;
  return true;
}

void QueryEvaluator::Filter(const std::vector<const QueryNode*>& filters, const std::vector<bool>& keep, Docs* docs) {
  if (filters.empty()) return;
  // Folder paths are resolved once per query, into copies the column test reads.
  std::vector<QueryNode> resolved;
  resolved.reserve(filters.size());
  std::vector<const QueryNode*> tests;
  for (const QueryNode* f : filters) {
    if (f->kind == Kind::kFolderPath || f->kind == Kind::kFolderId) {
      resolved.emplace_back();
      resolved.back().kind = Kind::kFolderId;
      resolved.back().folder_id = FolderOf(*f);
      tests.push_back(&resolved.back());
    } else {
      tests.push_back(f);
    }
  }
  docs->And(live_);
  // Many candidates: the folders' records are listed once rather than looked up one by one.
  list_folders_ = docs->Count() * 16 > live_count_;
  size_t seg = 0;
  const auto& segments = view_.segments();
  docs->Filter([&](uint32_t doc) {
    while (seg + 1 < segments.size() && segments[seg + 1].segment->base() <= doc) ++seg;
    const uint32_t local = doc - segments[seg].segment->base();
    for (size_t i = 0; i < tests.size(); ++i)
      if (Matches(*tests[i], segments[seg], local) != keep[i]) return false;
    return true;
  });
}

void QueryEvaluator::Eval(const QueryNode& node, Docs* out) {
  switch (node.kind) {
    case Kind::kAll:
      return AllDocs(out);
    case Kind::kTerm:
      if (node.terms.empty()) return out->Reset(size_);
      return TermDocs(TagsOf(node.field), node.terms.front(), out);
    case Kind::kPhrase:
      if (node.terms.size() == 1) return TermDocs(TagsOf(node.field), node.terms.front(), out);
      if (node.terms.empty()) return out->Reset(size_);
      return PhraseDocs(PhraseTagsOf(node.field), node.terms, out);
    case Kind::kAddress:
      return TermDocs(node.field == Field::kAny ? std::string{kTagFrom, kTagTo, kTagCc} : TagsOf(node.field),
                      node.text, out);
    case Kind::kMessageId:
      return TermDocs(std::string(1, kTagMessageId), mailstore::NormalizeMessageId(node.text), out);
    case Kind::kOr: {
      out->Reset(size_);
      Docs child;
      for (const auto& c : node.children) {
        Eval(c, &child);
        out->Or(child);
      }
      return;
    }
    case Kind::kNot: {
      AllDocs(out);
      if (node.children.empty()) return;
      if (IsFilter(node.children[0])) return Filter({&node.children[0]}, {false}, out);
      Docs child;
      Eval(node.children[0], &child);
      out->AndNot(child);
      return;
    }
    case Kind::kAnd: {
      std::vector<const QueryNode*> filters;
      std::vector<bool> keep;
      bool first = true;
      Docs child;
      // Words first, filters on what they leave, exclusions last.
      for (const auto& c : node.children) {
        if (IsFilter(c) || c.kind == Kind::kNot) continue;
        Eval(c, first ? out : &child);
        if (!first) out->And(child);
        first = false;
        if (out->Empty()) return;
      }
      if (first) AllDocs(out);
      for (const auto& c : node.children) {
        if (IsFilter(c)) {
          filters.push_back(&c);
          keep.push_back(true);
        } else if (c.kind == Kind::kNot && !c.children.empty() && IsFilter(c.children[0])) {
          filters.push_back(&c.children[0]);
          keep.push_back(false);
        }
      }
      Filter(filters, keep, out);
      for (const auto& c : node.children) {
        if (c.kind != Kind::kNot || c.children.empty() || IsFilter(c.children[0])) continue;
        Eval(c.children[0], &child);
        out->AndNot(child);
      }
      return;
    }
    default:  // the filters alone
      AllDocs(out);
      return Filter({&node}, {true}, out);
  }
}

}  // namespace mailsearch

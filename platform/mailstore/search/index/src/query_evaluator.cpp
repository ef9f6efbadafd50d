#include "query_evaluator.h"

#include <algorithm>
#include <cstring>

#include "mailstore/store.h"
#include "message_analyzer.h"

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

// Decodes the doc list of |p| (local numbers) into global live docs appended to |out|.
void AppendLive(const ViewSegment& v, Postings p, std::vector<uint32_t>* out) {
  const uint32_t base = v.segment->base();
  uint32_t local = 0;
  for (uint32_t i = 0; i < p.count && !p.docs.at_end(); ++i) {
    local += p.docs.Varint32();
    if (local < v.segment->doc_count() && !v.IsDeleted(local)) out->push_back(base + local);
  }
}

void Intersect(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, std::vector<uint32_t>* out) {
  // Gallops through the longer list: cheap when one side is short.
  const auto& small = a.size() <= b.size() ? a : b;
  const auto& large = a.size() <= b.size() ? b : a;
  out->clear();
  auto it = large.begin();
  for (uint32_t d : small) {
    size_t step = 1;
    auto lo = it;
    while (lo + step < large.end() && *(lo + step) < d) {
      lo += step;
      step <<= 1;
    }
    it = std::lower_bound(lo, std::min(lo + step + 1, large.end()), d);
    if (it == large.end()) break;
    if (*it == d) out->push_back(d);
  }
}

// One term's docs and positions in one segment, decoded for a phrase.
struct Occurrences {
  std::vector<uint32_t> docs;     // local
  std::vector<uint32_t> starts;   // into positions, per doc (+1 at the end)
  std::vector<uint32_t> positions;
};

void Decode(Postings p, Occurrences* o) {
  uint32_t local = 0;
  for (uint32_t i = 0; i < p.count && !p.docs.at_end(); ++i) {
    local += p.docs.Varint32();
    o->docs.push_back(local);
    o->starts.push_back(static_cast<uint32_t>(o->positions.size()));
    const uint64_t n = p.positions.Varint();
    uint32_t pos = 0;
    for (uint64_t k = 0; k < n && !p.positions.at_end(); ++k) {
      pos += p.positions.Varint32();
      o->positions.push_back(pos);
    }
  }
  o->starts.push_back(static_cast<uint32_t>(o->positions.size()));
}

}  // namespace

void QueryEvaluator::Evaluate(const QueryNode& root, std::vector<uint32_t>* out) {
  out->clear();
  Eval(root, out);
}

void QueryEvaluator::AllDocs(Docs* out) const {
  out->clear();
  out->reserve(static_cast<size_t>(view_.live_count()));
  for (const auto& v : view_.segments())
    for (uint32_t i = 0; i < v.segment->doc_count(); ++i)
      if (!v.IsDeleted(i)) out->push_back(v.segment->base() + i);
}

void QueryEvaluator::TermDocs(const std::string& tags, const std::string& term, Docs* out) const {
  out->clear();
  std::string key = " " + term;
  for (const auto& v : view_.segments()) {
    const size_t start = out->size();
    int lists = 0;
    for (char tag : tags) {
      key[0] = tag;
      Postings p;
      if (!v.segment->Find(key, &p)) continue;
      AppendLive(v, p, out);
      ++lists;
    }
    if (lists > 1) {
      std::sort(out->begin() + start, out->end());
      out->erase(std::unique(out->begin() + start, out->end()), out->end());
    }
  }
}

void QueryEvaluator::PhraseDocs(const std::string& tags, const std::vector<std::string>& terms, Docs* out) const {
  out->clear();
  std::vector<Occurrences> occ(terms.size());
  std::string key;
  for (const auto& v : view_.segments()) {
    const size_t start = out->size();
    for (char tag : tags) {
      bool all = true;
      for (size_t t = 0; t < terms.size() && all; ++t) {
        key.assign(1, tag);
        key += terms[t];
        occ[t] = Occurrences();
        Postings p;
        all = v.segment->Find(key, &p);
        if (all) Decode(p, &occ[t]);
      }
      if (!all) continue;
      // Walk term 0's docs; find each in the others; then match positions p, p+1, ...
      std::vector<size_t> at(terms.size(), 0);
      for (size_t i = 0; i < occ[0].docs.size(); ++i) {
        const uint32_t local = occ[0].docs[i];
        if (v.IsDeleted(local)) continue;
        bool in_all = true;
        for (size_t t = 1; t < terms.size() && in_all; ++t) {
          auto& d = occ[t].docs;
          at[t] = std::lower_bound(d.begin() + at[t], d.end(), local) - d.begin();
          in_all = at[t] < d.size() && d[at[t]] == local;
        }
        if (!in_all) continue;
        bool found = false;
        for (uint32_t k = occ[0].starts[i]; k < occ[0].starts[i + 1] && !found; ++k) {
          const uint32_t p0 = occ[0].positions[k];
          found = true;
          for (size_t t = 1; t < terms.size() && found; ++t) {
            const auto b = occ[t].positions.begin() + occ[t].starts[at[t]];
            const auto e = occ[t].positions.begin() + occ[t].starts[at[t] + 1];
            found = std::binary_search(b, e, p0 + static_cast<uint32_t>(t));
          }
        }
        if (found) out->push_back(v.segment->base() + local);
      }
    }
    if (tags.size() > 1) {
      std::sort(out->begin() + start, out->end());
      out->erase(std::unique(out->begin() + start, out->end()), out->end());
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
      mailstore::MessageRecordPtr record;
      if (store_->FindMessage(s.folder(local), s.id(local), &record) != mailstore::Status::kOk) return false;
      if (f.kind == Kind::kFlagged) return (record->flags & kFlagFlagged) != 0;
      return ((record->flags & mailstore::kFlagUnread) != 0) == (f.kind == Kind::kUnread);
    }
    default:
      return false;
  }
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
  size_t out = 0, seg = 0;
  const auto& segments = view_.segments();
  for (uint32_t doc : *docs) {
    while (seg + 1 < segments.size() && segments[seg + 1].segment->base() <= doc) ++seg;
    const uint32_t local = doc - segments[seg].segment->base();
    bool ok = true;
    for (size_t i = 0; i < tests.size() && ok; ++i) ok = Matches(*tests[i], segments[seg], local) == keep[i];
    if (ok) (*docs)[out++] = doc;
  }
  docs->resize(out);
}

void QueryEvaluator::Eval(const QueryNode& node, Docs* out) {
  switch (node.kind) {
    case Kind::kAll:
      AllDocs(out);
      return;
    case Kind::kTerm:
      if (node.terms.empty()) return out->clear();
      return TermDocs(TagsOf(node.field), node.terms.front(), out);
    case Kind::kPhrase:
      if (node.terms.size() == 1) return TermDocs(TagsOf(node.field), node.terms.front(), out);
      if (node.terms.empty()) return out->clear();
      return PhraseDocs(TagsOf(node.field), node.terms, out);
    case Kind::kAddress: {
      std::string tags = TagsOf(node.field);
      if (node.field == Field::kAny) tags = {kTagFrom, kTagTo, kTagCc};
      return TermDocs(tags, node.text, out);
    }
    case Kind::kMessageId:
      return TermDocs(std::string(1, kTagMessageId), MessageAnalyzer::NormalizeMessageId(node.text), out);
    case Kind::kOr: {
      out->clear();
      Docs child, merged;
      for (const auto& c : node.children) {
        Eval(c, &child);
        merged.clear();
        std::set_union(out->begin(), out->end(), child.begin(), child.end(), std::back_inserter(merged));
        out->swap(merged);
      }
      return;
    }
    case Kind::kNot: {
      Docs all, child;
      AllDocs(&all);
      if (node.children.empty()) return out->swap(all);
      if (IsFilter(node.children[0])) {
        Filter({&node.children[0]}, {false}, &all);
        return out->swap(all);
      }
      Eval(node.children[0], &child);
      out->clear();
      std::set_difference(all.begin(), all.end(), child.begin(), child.end(), std::back_inserter(*out));
      return;
    }
    case Kind::kAnd: {
      std::vector<const QueryNode*> positive, filters, negative;
      std::vector<bool> keep;
      for (const auto& c : node.children) {
        if (IsFilter(c)) {
          filters.push_back(&c);
          keep.push_back(true);
        } else if (c.kind == Kind::kNot && !c.children.empty() && IsFilter(c.children[0])) {
          filters.push_back(&c.children[0]);
          keep.push_back(false);
        } else if (c.kind == Kind::kNot && !c.children.empty()) {
          negative.push_back(&c.children[0]);
        } else {
          positive.push_back(&c);
        }
      }
      std::vector<Docs> lists(positive.size());
      for (size_t i = 0; i < positive.size(); ++i) {
        Eval(*positive[i], &lists[i]);
        if (lists[i].empty()) return out->clear();
      }
      std::sort(lists.begin(), lists.end(), [](const Docs& a, const Docs& b) { return a.size() < b.size(); });
      if (lists.empty()) {
        AllDocs(out);
      } else {
        out->swap(lists[0]);
        Docs next;
        for (size_t i = 1; i < lists.size() && !out->empty(); ++i) {
          Intersect(*out, lists[i], &next);
          out->swap(next);
        }
      }
      Filter(filters, keep, out);
      Docs child, rest;
      for (const QueryNode* n : negative) {
        if (out->empty()) break;
        Eval(*n, &child);
        rest.clear();
        std::set_difference(out->begin(), out->end(), child.begin(), child.end(), std::back_inserter(rest));
        out->swap(rest);
      }
      return;
    }
    default:  // the filters alone
      AllDocs(out);
      Filter({&node}, {true}, out);
      return;
  }
}

}  // namespace mailsearch

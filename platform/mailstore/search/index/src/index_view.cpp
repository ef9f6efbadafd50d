#include "index_view.h"

#include <algorithm>

namespace mailsearch {

void IndexView::Clear() {
  segments_.clear();
  keys_.clear();
  keys_built_ = false;
}

void IndexView::AddSegment(uint64_t id, std::shared_ptr<Segment> segment, const std::vector<uint32_t>& deleted) {
  ViewSegment v;
  v.id = id;
  v.deleted.assign((segment->doc_count() + 63) / 64, 0);
  for (uint32_t doc : deleted) {
    const uint32_t local = doc - segment->base();
    if (doc < segment->base() || local >= segment->doc_count() || v.IsDeleted(local)) continue;
    v.deleted[local >> 6] |= uint64_t(1) << (local & 63);
    ++v.deleted_count;
  }
  v.segment = std::move(segment);
  if (keys_built_) {
    for (uint32_t i = 0; i < v.segment->doc_count(); ++i)
      if (!v.IsDeleted(i)) keys_[Key(v.segment->folder(i), v.segment->id(i))] = v.segment->base() + i;
  }
  segments_.push_back(std::move(v));
}

void IndexView::ReplaceSegments(size_t first, size_t last, uint64_t id, std::shared_ptr<Segment> merged) {
  segments_.erase(segments_.begin() + first, segments_.begin() + last);
  if (merged) {
    ViewSegment v;
    v.id = id;
    v.deleted.assign((merged->doc_count() + 63) / 64, 0);
    v.segment = std::move(merged);
    segments_.insert(segments_.begin() + first, std::move(v));
  }
  keys_.clear();
  keys_built_ = false;
}

bool IndexView::Locate(uint32_t doc, size_t* segment, uint32_t* local) const {
  auto it = std::upper_bound(segments_.begin(), segments_.end(), doc,
                             [](uint32_t d, const ViewSegment& s) { return d < s.segment->base(); });
  if (it == segments_.begin()) return false;
  --it;
  const uint32_t l = doc - it->segment->base();
  if (l >= it->segment->doc_count()) return false;
  *segment = static_cast<size_t>(it - segments_.begin());
  *local = l;
  return true;
}

bool IndexView::IsLive(uint32_t doc) const {
  size_t s;
  uint32_t local;
  return Locate(doc, &s, &local) && !segments_[s].IsDeleted(local);
}

void IndexView::BuildKeys() {
  keys_.clear();
  keys_.reserve(static_cast<size_t>(live_count()));
  for (const auto& v : segments_)
    for (uint32_t i = 0; i < v.segment->doc_count(); ++i)
      if (!v.IsDeleted(i)) keys_[Key(v.segment->folder(i), v.segment->id(i))] = v.segment->base() + i;
  keys_built_ = true;
}

uint32_t IndexView::Find(uint32_t folder, uint32_t id) {
  if (!keys_built_) BuildKeys();
  auto it = keys_.find(Key(folder, id));
  return it == keys_.end() ? kNoDoc : it->second;
}

void IndexView::Delete(uint32_t doc) {
  size_t s;
  uint32_t local;
  if (!Locate(doc, &s, &local)) return;
  ViewSegment& v = segments_[s];
  if (v.IsDeleted(local)) return;
  v.deleted[local >> 6] |= uint64_t(1) << (local & 63);
  ++v.deleted_count;
  if (keys_built_) {
    auto it = keys_.find(Key(v.segment->folder(local), v.segment->id(local)));
    if (it != keys_.end() && it->second == doc) keys_.erase(it);
  }
}

void IndexView::DeleteFolder(uint32_t folder) {
  for (const auto& v : segments_)
    for (uint32_t i = 0; i < v.segment->doc_count(); ++i)
      if (v.segment->folder(i) == folder && !v.IsDeleted(i)) Delete(v.segment->base() + i);
}

void IndexView::Added(uint32_t folder, uint32_t id, uint32_t doc) {
  if (keys_built_) keys_[Key(folder, id)] = doc;
}

uint64_t IndexView::live_count() const {
  uint64_t n = 0;
  for (const auto& v : segments_) n += v.live();
  return n;
}

Manifest IndexView::ToManifest() const {
  Manifest m = meta;
  m.segments.clear();
  for (const auto& v : segments_) {
    ManifestSegment s;
    s.id = v.id;
    s.base = v.segment->base();
    s.count = v.segment->doc_count();
    s.size = v.segment->file_size();
    s.crc = v.segment->crc();
    for (uint32_t i = 0; i < s.count; ++i)
      if (v.IsDeleted(i)) s.deleted.push_back(s.base + i);
    m.segments.push_back(std::move(s));
  }
  return m;
}

}  // namespace mailsearch

#include "manifest.h"

#include "byte_io.h"
#include "crc32.h"
#include "mailstore/file.h"

namespace mailsearch {
namespace {

constexpr uint32_t kMagic = 0x464D4B50;  // "PKMF"
constexpr uint32_t kVersion = 1;
const char kName[] = "manifest";
const char kTempName[] = "manifest.new";

}  // namespace

std::string Manifest::SegmentName(uint64_t id) { return "seg-" + std::to_string(id) + ".idx"; }

uint64_t Manifest::ReadGeneration(const std::string& dir) {
  mailstore::File file;
  uint8_t head[16];
  if (!file.Open(mailstore::JoinPath(dir, kName), mailstore::File::Mode::kRead) ||
      file.ReadAt(0, head, sizeof head) != sizeof head || GetFixedAt<uint32_t>(head) != kMagic)
    return 0;
  return GetFixedAt<uint64_t>(head + 8);
}

Manifest::ReadResult Manifest::Read(const std::string& dir, Manifest* out) {
  *out = Manifest();
  mailstore::File file;
  if (!file.Open(mailstore::JoinPath(dir, kName), mailstore::File::Mode::kRead))
    return ReadResult::kMissing;
  const int64_t size = file.Size();
  if (size < 8 || size > (int64_t(1) << 32)) return ReadResult::kDamaged;
  std::string bytes(static_cast<size_t>(size), '\0');
  if (file.ReadAt(0, &bytes[0], bytes.size()) != size) return ReadResult::kDamaged;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  if (mailstore::Crc32(p, bytes.size() - 4, 0) != GetFixedAt<uint32_t>(p + bytes.size() - 4))
    return ReadResult::kDamaged;
  ByteReader r(p, p + bytes.size() - 4);
  if (r.Fixed<uint32_t>() != kMagic || r.Fixed<uint32_t>() != kVersion) return ReadResult::kDamaged;
  out->generation = r.Fixed<uint64_t>();
  out->history.low = r.Fixed<uint64_t>();
  out->history.high = r.Fixed<uint64_t>();
  out->sequence = r.Fixed<uint64_t>();
  out->next_doc = r.Fixed<uint32_t>();
  out->next_segment = r.Fixed<uint64_t>();
  const uint64_t count = r.Varint();
  for (uint64_t i = 0; i < count && !r.bad(); ++i) {
    ManifestSegment s;
    s.id = r.Varint();
    s.base = static_cast<uint32_t>(r.Varint());
    s.count = static_cast<uint32_t>(r.Varint());
    s.size = r.Varint();
    s.crc = r.Fixed<uint32_t>();
    const uint64_t deleted = r.Varint();
    uint32_t doc = s.base;
    for (uint64_t k = 0; k < deleted && !r.bad(); ++k) {
      doc += static_cast<uint32_t>(r.Varint());
      s.deleted.push_back(doc);
    }
    out->segments.push_back(std::move(s));
  }
  return r.bad() || !r.at_end() ? ReadResult::kDamaged : ReadResult::kOk;
}

bool Manifest::Write(const std::string& dir) const {
  std::string b;
  PutFixed<uint32_t>(&b, kMagic);
  PutFixed<uint32_t>(&b, kVersion);
  PutFixed<uint64_t>(&b, generation);
  PutFixed<uint64_t>(&b, history.low);
  PutFixed<uint64_t>(&b, history.high);
  PutFixed<uint64_t>(&b, sequence);
  PutFixed<uint32_t>(&b, next_doc);
  PutFixed<uint64_t>(&b, next_segment);
  PutVarint(&b, segments.size());
  for (const auto& s : segments) {
    PutVarint(&b, s.id);
    PutVarint(&b, s.base);
    PutVarint(&b, s.count);
    PutVarint(&b, s.size);
    PutFixed<uint32_t>(&b, s.crc);
    PutVarint(&b, s.deleted.size());
    uint32_t last = s.base;
    for (uint32_t d : s.deleted) {
      PutVarint(&b, d - last);
      last = d;
    }
  }
  PutFixed<uint32_t>(&b, mailstore::Crc32(reinterpret_cast<const uint8_t*>(b.data()), b.size(), 0));

  const std::string temp = mailstore::JoinPath(dir, kTempName);
  mailstore::File file;
  if (!file.Open(temp, mailstore::File::Mode::kReadWrite) || !file.Truncate(0) ||
      !file.WriteAt(0, b.data(), b.size()) || !file.Sync())
    return false;
  file.Close();
  if (!mailstore::RenameOver(temp, mailstore::JoinPath(dir, kName))) return false;
  mailstore::SyncDirectory(dir);
  return true;
}

}  // namespace mailsearch

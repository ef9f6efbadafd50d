#include "data_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "crc32.h"
#include "entry_decoder.h"
#include "mimeengine/mail_time.h"

namespace mailstore {
namespace {

constexpr uint32_t kRecordMagic = 0x314D4B50;  // "PKM1"
constexpr size_t kBlock = 1u << 20;
using mimeengine::kFiletimeTicksPerSecond;
using mimeengine::kUnixEpochFiletimeTicks;

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<uint32_t> DataFile::Generations(const std::string& directory) {
  return StoreFile::Generations(directory, &Name);
}

bool DataFile::NewestHoldingMail(const std::string& directory, uint32_t* generation) {
  const std::vector<uint32_t> generations = Generations(directory);
  for (auto g = generations.rbegin(); g != generations.rend(); ++g) {
    DataFile data;
    if (data.Open(directory, File::Mode::kRead, *g) && data.FreeFrom(0) != 0) {
      *generation = *g;
      return true;
    }
  }
  return false;
}

void DataFile::RemoveOlder(const std::string& directory, uint32_t generation) {
  for (uint32_t g : Generations(directory))
    if (g < generation) RemoveFile(JoinPath(directory, Name(g)));
}

bool DataFile::ReadHeader(uint64_t at, DataRecordHeader* h) const {
  uint8_t b[DataRecordHeader::kSize];
  if (file_.ReadAt(at, b, sizeof(b)) != static_cast<int64_t>(sizeof(b))) return false;
  if (LoadU32(b) != kRecordMagic || Crc32(b, 28) != LoadU32(b + 28)) return false;
  h->folder = LoadU32(b + 4);
  h->id = LoadU32(b + 8);
  h->flags = LoadU32(b + 12);
  h->size = LoadU32(b + 16);
  h->checksum = LoadU32(b + 20);
  h->received_time = kUnixEpochFiletimeTicks + LoadU32(b + 24) * kFiletimeTicksPerSecond;
  return true;
}

uint64_t DataFile::FreeFrom(uint64_t from) const {
  DataRecordHeader h;
  while (ReadHeader(from, &h)) from += DataRecordHeader::kSize + h.size;
  return from;
}

int64_t DataFile::DataEnd() const {
  int64_t end = file_.Size();
  std::vector<uint8_t> block(kBlock);
  while (end > 0) {
    const uint64_t start = end > static_cast<int64_t>(kBlock) ? static_cast<uint64_t>(end) - kBlock : 0;
    const size_t n = static_cast<size_t>(static_cast<uint64_t>(end) - start);
    if (file_.ReadAt(start, block.data(), n) != static_cast<int64_t>(n)) return -1;
    for (size_t i = n; i > 0; --i)
      if (block[i - 1]) return static_cast<int64_t>(start + i);
    end = static_cast<int64_t>(start);
  }
  return end;
}

bool DataFile::Write(uint64_t at, const DataRecordHeader& h, std::string_view source, bool sync,
                     bool run_ahead) {
  const uint64_t need = at + DataRecordHeader::kSize + source.size();
  int64_t size = file_.Size();
  if (size < 0) return false;
  if (run_ahead && static_cast<uint64_t>(size) < need) {
    constexpr uint64_t kStep = 16u << 20;
    const uint64_t target = (need + kStep - 1) / kStep * kStep;
    static const std::string zeros(kBlock, '\0');
    for (uint64_t z = static_cast<uint64_t>(size); z < target; z += zeros.size()) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(zeros.size(), target - z));
      if (!file_.WriteAt(z, zeros.data(), n)) return false;
    }
  }
  std::string record(DataRecordHeader::kSize, '\0');
  auto* b = reinterpret_cast<uint8_t*>(&record[0]);
  Put32(b, kRecordMagic);
  Put32(b + 4, h.folder);
  Put32(b + 8, h.id);
  Put32(b + 12, h.flags);
  Put32(b + 16, h.size);
  Put32(b + 20, h.checksum);
  Put32(b + 24, h.received_time > kUnixEpochFiletimeTicks
                    ? static_cast<uint32_t>((h.received_time - kUnixEpochFiletimeTicks) / kFiletimeTicksPerSecond)
                    : 0);
  Put32(b + 28, Crc32(b, 28));
  record.append(source);
  return file_.WriteAt(at, record.data(), record.size()) && (!sync || file_.Sync());
}

void DataFile::ForEachRecord(const std::function<void(uint64_t, const DataRecordHeader&)>& each) const {
  const int64_t size = file_.Size();
  std::vector<uint8_t> block(kBlock);
  uint64_t p = 0;
  DataRecordHeader h;
  while (size > 0 && p + DataRecordHeader::kSize <= static_cast<uint64_t>(size)) {
    if (ReadHeader(p, &h) && p + DataRecordHeader::kSize + h.size <= static_cast<uint64_t>(size)) {
      each(p, h);
      p += DataRecordHeader::kSize + h.size;
      continue;
    }
    // Not a record here: look for the next magic that starts a sound header.
    const int64_t got = file_.ReadAt(p + 1, block.data(), block.size());
    if (got < 4) return;
    uint64_t next = 0;
    for (size_t i = 0; i + 4 <= static_cast<size_t>(got) && !next; ++i)
      if (block[i] == 'P' && LoadU32(&block[i]) == kRecordMagic && ReadHeader(p + 1 + i, &h)) next = p + 1 + i;
    p = next ? next : p + 1 + static_cast<uint64_t>(got) - 3;
  }
}

}  // namespace mailstore

#include "journal_codec.h"

#include <array>

namespace mailstore {
namespace {

std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
  static const std::array<uint32_t, 256> table = MakeTable();
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::string EntryEncoder::Finish() const {
  std::string out;
  out.reserve(kEntryHeaderSize + payload_.size());
  auto put = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  };
  put(kEntryMagic);
  put(static_cast<uint32_t>(payload_.size()));
  put(Crc32(reinterpret_cast<const uint8_t*>(payload_.data()), payload_.size()));
  out += payload_;
  return out;
}

}  // namespace mailstore

// The bench corpus file format shared by the generator and both bench
// programs: a little-endian u64 message count, that many u64 sizes, then the
// messages back to back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace mimebench {

struct Corpus {
  std::string bytes;                     // all messages back to back
  std::vector<std::string_view> messages;
};

inline bool ReadCorpus(const std::string& path, Corpus* c) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint64_t n = 0;
  bool ok = std::fread(&n, 8, 1, f) == 1;
  std::vector<uint64_t> sizes(ok ? n : 0);
  ok = ok && std::fread(sizes.data(), 8, n, f) == n;
  uint64_t total = 0;
  for (auto s : sizes) total += s;
  c->bytes.resize(total);
  ok = ok && std::fread(&c->bytes[0], 1, total, f) == total;
  std::fclose(f);
  size_t at = 0;
  for (auto s : sizes) {
    c->messages.emplace_back(c->bytes.data() + at, s);
    at += s;
  }
  return ok;
}

inline bool WriteCorpus(const std::string& path, const std::vector<std::string>& messages) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  uint64_t n = messages.size();
  bool ok = std::fwrite(&n, 8, 1, f) == 1;
  for (const auto& m : messages) {
    uint64_t s = m.size();
    ok = ok && std::fwrite(&s, 8, 1, f) == 1;
  }
  for (const auto& m : messages) ok = ok && std::fwrite(m.data(), 1, m.size(), f) == m.size();
  return std::fclose(f) == 0 && ok;
}

// The three sets, in the order the benches print them.
inline const char* const kSetNames[] = {"small", "attachments", "huge", "cjk"};

}  // namespace mimebench

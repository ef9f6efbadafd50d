// Parses, walks and decodes every leaf of each corpus set with the engine,
// printing throughput beside a line-feed scan of the same bytes, and times
// base64 decoding of a large body on its own.
// Usage: mime_bench <corpus dir>   (write the corpus with mime_corpus first)
#include <algorithm>
#include <cstdio>
#include <string>

#include "bench_timer.h"
#include "corpus_file.h"
#include "mimeengine/codec.h"
#include "mimeengine/message.h"

using namespace mimeengine;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mime_bench <corpus dir>\n");
    return 2;
  }
  std::string sink;
  const int read = mimebench::RunSets("engine", argv[1], [&](const mimebench::Corpus& corpus) {
    size_t decoded = 0;
    for (std::string_view msg : corpus.messages) {
      Message m;
      m.Load(std::string(msg));
      for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) {
        if (m.CountBodies(h, false) != 0 || m.IsMultipart(h)) continue;
        m.GetContent(h, &sink);
        decoded += sink.size();
      }
    }
    return decoded;
  });
  if (read != 0) return read;
  // The CJK set again, as a reader sees it: the subject's encoded words and every text body
  // converted from its charset to UTF-8.
  auto cjk_to_utf8 = [&](const mimebench::Corpus& corpus) {
    size_t decoded = 0;
    for (std::string_view msg : corpus.messages) {
      Message m;
      m.Load(std::string(msg));
      if (m.GetProp(m.root(), "Subject", &sink) == Status::kOk) decoded += sink.size();
      for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) {
        if (m.CountBodies(h, false) != 0 || m.IsMultipart(h)) continue;
        m.GetText(h, &sink);
        decoded += sink.size();
      }
    }
    return decoded;
  };
  const int cjk = mimebench::RunSet("engine", argv[1], "cjk", "cjk-to-utf8", cjk_to_utf8);
  if (cjk != 0) return cjk;
  // Base64 alone: 96 MB of encoded text.
  std::string raw(72u << 20, '\0');
  uint64_t x = 88172645463325252ull;
  for (size_t i = 0; i < raw.size(); i += 8) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    std::memcpy(&raw[i], &x, 8);
  }
  std::string text, out;
  base64_encode(raw, &text);
  double best = 1e9;
  for (int rep = 0; rep < 5; ++rep) {
    out.clear();
    const double t0 = mimebench::Now();
    base64_decode(text, &out);
    best = std::min(best, mimebench::Now() - t0);
  }
  size_t lines = 0;
  const double scan = mimebench::ScanSeconds(text, &lines);
  std::printf("engine base64 decode %.1f MB of text: %.2f GB/s (output %s) | LF scan %.2f GB/s\n", text.size() / 1e6,
              text.size() / 1e9 / best, out == raw ? "verified" : "MISMATCH", text.size() / 1e9 / scan);
  return out == raw ? 0 : 1;
}

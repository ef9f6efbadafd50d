// Timing, the line-feed scan baseline and the walk over the corpus sets, shared by both bench
// programs.
#pragma once

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <string>

#include "corpus_file.h"

namespace mimebench {

// CPU time of the calling thread: the machines these run on are shared, and
// wall time would mostly measure the neighbours. Both programs use the same
// clock, and the bench is single-threaded, so on an idle machine the figures
// equal wall-clock throughput.
inline double Now() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Seconds to count the line feeds of `bytes` (best of three), the raw memory
// scan each parser is measured against.
inline double ScanSeconds(const std::string& bytes, size_t* lines) {
  double best = 1e9;
  for (int rep = 0; rep < 3; ++rep) {
    const double t0 = Now();
    size_t n = 0;
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) != nullptr) {
      ++n;
      ++p;
    }
    // Keep the count alive so the scan cannot be moved past the clock read.
    asm volatile("" : : "r"(n) : "memory");
    best = std::min(best, Now() - t0);
    *lines = n;
  }
  return best;
}

inline void Report(const char* engine, const char* set, size_t messages, size_t bytes, double seconds,
                   double scan_seconds, size_t decoded) {
  std::printf("%-6s %-12s %6zu msgs %8.1f MB  %9.1f MB/s %10.0f msgs/s  decoded %8.1f MB | LF scan %8.1f MB/s\n",
              engine, set, messages, bytes / 1e6, bytes / 1e6 / seconds, messages / seconds, decoded / 1e6,
              bytes / 1e6 / scan_seconds);
}

// Reads the set `set` of `corpus_dir`, times `decode_all` (which parses, walks and decodes every
// message of a set and returns the decoded bytes) best of three, and prints one line under
// `label`. Returns 1 when the set cannot be read, else 0.
template <typename DecodeAll>
int RunSet(const char* engine, const char* corpus_dir, const char* set, const char* label, DecodeAll decode_all) {
  Corpus corpus;
  if (!ReadCorpus(std::string(corpus_dir) + "/" + set + ".corpus", &corpus)) {
    std::fprintf(stderr, "cannot read %s/%s.corpus\n", corpus_dir, set);
    return 1;
  }
  size_t lines = 0;
  const double scan = ScanSeconds(corpus.bytes, &lines);
  double best = 1e9;
  size_t decoded = 0;
  for (int rep = 0; rep < 3; ++rep) {
    const double t0 = Now();
    decoded = decode_all(corpus);
    best = std::min(best, Now() - t0);
  }
  Report(engine, label, corpus.messages.size(), corpus.bytes.size(), best, scan, decoded);
  return 0;
}

// RunSet for every set, under its own name.
template <typename DecodeAll>
int RunSets(const char* engine, const char* corpus_dir, DecodeAll decode_all) {
  for (const char* set : kSetNames)
    if (RunSet(engine, corpus_dir, set, set, decode_all) != 0) return 1;
  return 0;
}

}  // namespace mimebench

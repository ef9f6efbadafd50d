// Times what copying a message's root properties costs as its header grows:
// parse the source into two messages, walk the root's property names, get
// each value from the first and set it on the second (the work a message
// clone does). Each header holds N fields, half with distinct names and half
// repeated "Received" lines. Beside it, a plain parse of the same bytes into
// two messages; the walk should grow like the parse, ~2x per doubling.
// Ends with a 500,000-field header, which has to finish.
// Usage: clone_bench [max N]   (default 40000)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_timer.h"
#include "mimeengine/message.h"

using namespace mimeengine;

namespace {

std::string MessageWithFields(size_t n) {
  std::string s;
  s.reserve(n * 48 + 128);
  s += "From: a@example.com\r\nSubject: many fields\r\nContent-Type: text/plain; charset=utf-8\r\n";
  for (size_t i = 0; i < n; ++i) {
    if (i % 2 == 0) {
      s += "X-Field-" + std::to_string(i) + ": value " + std::to_string(i) + "\r\n";
    } else {
      s += "Received: from host" + std::to_string(i) + " by mx.example.com\r\n";
    }
  }
  s += "\r\nbody\r\n";
  return s;
}

// Seconds for two parses (best of `reps`).
double ParseSeconds(const std::string& source, int reps) {
  double best = 1e9;
  for (int rep = 0; rep < reps; ++rep) {
    const double t0 = mimebench::Now();
    Message a, b;
    a.Load(source);
    b.Load(source);
    best = std::min(best, mimebench::Now() - t0);
  }
  return best;
}

// Seconds for two parses plus the property copy (best of `reps`); *copied
// counts the properties that were set.
double CloneSeconds(const std::string& source, int reps, size_t* copied) {
  double best = 1e9;
  for (int rep = 0; rep < reps; ++rep) {
    const double t0 = mimebench::Now();
    Message from, to;
    from.Load(source);
    to.Load(source);
    size_t n = 0;
    std::string value;
    for (const std::string& name : from.PropertyNames(from.root())) {
      if (from.GetProp(from.root(), name, &value) != Status::kOk) continue;
      if (to.SetProp(to.root(), name, value) == Status::kOk) ++n;
    }
    best = std::min(best, mimebench::Now() - t0);
    *copied = n;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each size shows as soon as it is done
  const size_t max_n = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 40000;
  std::printf("%8s %10s %10s %12s %12s %8s %8s\n", "fields", "parse ms", "clone ms", "parse ns/f", "clone ns/f",
              "x parse", "x clone");
  double prev_parse = 0, prev_clone = 0;
  for (size_t n = 2500; n <= max_n; n *= 2) {
    const std::string source = MessageWithFields(n);
    size_t copied = 0;
    const double parse = ParseSeconds(source, 3);
    const double clone = CloneSeconds(source, 3, &copied);
    std::printf("%8zu %10.2f %10.2f %12.0f %12.0f", n, parse * 1e3, clone * 1e3, parse / n * 1e9, clone / n * 1e9);
    if (prev_clone > 0) {
      std::printf(" %8.2f %8.2f", parse / prev_parse, clone / prev_clone);
    }
    std::printf("   (%zu properties copied)\n", copied);
    prev_parse = parse;
    prev_clone = clone;
  }
  const size_t huge = 500000;
  const std::string source = MessageWithFields(huge);
  size_t copied = 0;
  const double parse = ParseSeconds(source, 1);
  const double clone = CloneSeconds(source, 1, &copied);
  std::printf("%8zu %10.2f %10.2f %12.0f %12.0f   (%zu properties copied)\n", huge, parse * 1e3, clone * 1e3,
              parse / huge * 1e9, clone / huge * 1e9, copied);
  return 0;
}

// The command line after the command, as the command table parsed it: its words, and the options
// that command knows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace mxstore {

struct Arguments {
  std::vector<std::wstring> words;
  std::set<std::wstring> flags;                 // -p, --read, ...
  std::map<std::wstring, std::wstring> values;  // --mbox FILE, --limit N, ...

  bool flag(const wchar_t* name) const { return flags.count(name) != 0; }
  // The option's value; null when it was not given.
  const std::wstring* value(const wchar_t* name) const {
    auto it = values.find(name);
    return it == values.end() ? nullptr : &it->second;
  }
  // The words from |first| on.
  std::vector<std::wstring> rest(size_t first) const {
    return {words.begin() + static_cast<std::ptrdiff_t>(std::min(first, words.size())), words.end()};
  }
};

}  // namespace mxstore

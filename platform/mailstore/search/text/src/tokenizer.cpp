#include "mailsearch/tokenizer.h"

#include "unicode_data.h"

namespace mailsearch {
namespace unicode {

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace unicode

namespace {

using unicode::CharInfo;
using unicode::Decode;
using unicode::Lookup;

// The ASCII half of the tables, read once from the generated ones so that the hot loops touch
// one small array: kind 0 separates, 1 is a word byte that folds to itself, 2 one that folds
// to |lower|.
struct AsciiTable {
  uint8_t kind[256] = {};
  char lower[128] = {};
  AsciiTable() {
    for (uint32_t c = 0; c < 128; ++c) {
      const CharInfo& info = Lookup(c);
      lower[c] = info.fold_len == 1 ? unicode::kFoldPool[info.fold_off] : static_cast<char>(c);
      if (info.cls == unicode::kWord) kind[c] = info.fold_len ? 2 : 1;
    }
  }
};
const AsciiTable kAscii;

// The end of the CJK character at |p|: its code point and the combining marks after it.
const unsigned char* CjkCharEnd(const unsigned char* p, const unsigned char* end) {
  uint32_t cp;
  p += Decode(p, end, &cp);
  while (p < end) {
    const int n = Decode(p, end, &cp);
    if (n == 0 || Lookup(cp).cls != unicode::kMark) break;
    p += n;
  }
  return p;
}

bool IsCjkAt(const unsigned char* p, const unsigned char* end) {
  uint32_t cp;
  return p < end && Decode(p, end, &cp) && Lookup(cp).cls == unicode::kCjk;
}

// Appends |text| (valid UTF-8, as the tokenizer hands it over) folded.
void AppendFoldedText(const unsigned char* p, const unsigned char* end, std::string* out) {
  while (p < end) {
    uint32_t cp = 0;
    const int n = Decode(p, end, &cp);
    if (n == 0) break;  // not reached: the run was decoded before
    unicode::AppendFolded(cp, Lookup(cp), out);
    p += n;
  }
}

}  // namespace

void Tokenizer::Reset(std::string_view utf8, uint32_t first_position) {
  cur_ = reinterpret_cast<const unsigned char*>(utf8.data());
  end_ = cur_ + utf8.size();
  position_ = first_position;
  cjk_next_ = nullptr;
}

bool Tokenizer::Next(Token* token) {
  if (cjk_next_ && NextCjk(token)) return true;
  const unsigned char* p = cur_;
  const unsigned char* const end = end_;
  for (;;) {  // to the start of the next word
    if (p == end) {
      cur_ = p;
      return false;
    }
    if (*p < 0x80) {
      if (kAscii.kind[*p]) break;
      ++p;
      continue;
    }
    uint32_t cp;
    const int n = Decode(p, end, &cp);
    if (n == 0) {
      ++p;
      continue;
    }
    const uint8_t cls = Lookup(cp).cls;
    if (cls == unicode::kWord) break;
    if (cls == unicode::kCjk) {
      cjk_next_ = p;
      cjk_first_ = true;
      return NextCjk(token);
    }
    p += n;
  }
  const unsigned char* const start = p;
  // Most words are ASCII, and most of those lower-case: handed out in place, with no copy.
  uint8_t kinds = 0;
  for (uint8_t kind; p < end && (kind = kAscii.kind[*p]) != 0; ++p) kinds |= kind;
  if (p == end || *p < 0x80) {
    if (kinds == 1) {
      token->term = std::string_view(reinterpret_cast<const char*>(start), p - start);
    } else {
      buffer_.resize(p - start);
      for (size_t i = 0; i < buffer_.size(); ++i) buffer_[i] = kAscii.lower[start[i]];
      token->term = buffer_;
    }
  } else {
    buffer_.clear();
    for (p = start; p < end;) {
      if (*p < 0x80) {
        if (!kAscii.kind[*p]) break;
        buffer_.push_back(kAscii.lower[*p++]);
        continue;
      }
      uint32_t cp;
      const int n = Decode(p, end, &cp);
      if (n == 0) break;
      const CharInfo& info = Lookup(cp);
      if (info.cls != unicode::kWord && info.cls != unicode::kMark) break;
      unicode::AppendFolded(cp, info, &buffer_);
      p += n;
    }
    token->term = buffer_;
  }
  cur_ = p;
  token->position = position_++;
  return true;
}

// One step of a CJK run: the pair that starts at |cjk_next_|, or the run's only character.
// False when the run is over and gave nothing more.
bool Tokenizer::NextCjk(Token* token) {
  const unsigned char* const first = cjk_next_;
  const unsigned char* const second = CjkCharEnd(first, end_);
  const unsigned char* stop = second;
  if (IsCjkAt(second, end_)) {
    stop = CjkCharEnd(second, end_);
    cjk_next_ = second;
    cjk_first_ = false;
  } else {
    cjk_next_ = nullptr;
    cur_ = second;
    if (!cjk_first_) return false;
  }
  buffer_.clear();
  AppendFoldedText(first, stop, &buffer_);
  token->term = buffer_;
  token->position = position_++;
  return true;
}

std::string FoldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  auto p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto end = p + utf8.size();
  while (p < end) {
    if (*p < 0x80) {
      out.push_back(kAscii.lower[*p++]);
      continue;
    }
    uint32_t cp;
    const int n = Decode(p, end, &cp);
    if (n == 0) {
      out.push_back(static_cast<char>(*p++));
      continue;
    }
    unicode::AppendFolded(cp, Lookup(cp), &out);
    p += n;
  }
  return out;
}

}  // namespace mailsearch

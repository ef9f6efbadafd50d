#include "mimeengine/codec.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "ascii.h"
#include "mimeengine/charset.h"

namespace mimeengine {
namespace {

constexpr uint32_t kBad = 0x01000000;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Four lookup tables, each holding the sextet already shifted into place for
// its position in a 4-character group, so one group decodes with four loads
// and three ORs; any invalid character sets bit 24.
struct Base64Tables {
  std::array<uint32_t, 256> t[4];
  Base64Tables() {
    for (auto& table : t) table.fill(kBad);
    for (uint32_t i = 0; i < 64; ++i) {
      const auto c = static_cast<uint8_t>(kAlphabet[i]);
      t[0][c] = i << 18;
      t[1][c] = i << 12;
      t[2][c] = i << 6;
      t[3][c] = i;
    }
  }
};

const Base64Tables& DecodeTables() {
  static const Base64Tables kTables;
  return kTables;
}

// Stores the low 24 bits of v big-endian at o, writing one byte of slack.
inline void Store3(uint8_t* o, uint32_t v) {
  const uint32_t be = __builtin_bswap32(v << 8);
  std::memcpy(o, &be, 4);
}

}  // namespace

void base64_decode(std::string_view text, std::string* out) {
  const Base64Tables& tb = DecodeTables();
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = text.size();
  const size_t base = out->size();
  out->resize(base + n / 4 * 3 + 4);
  auto* o = reinterpret_cast<uint8_t*>(&(*out)[base]);
  uint8_t* const o_begin = o;
  size_t i = 0;
  uint32_t quad[4];
  int have = 0;
  while (i < n) {
    // Fast path: whole groups of four alphabet characters, four groups at a
    // time; each group is stored as a 4-byte word of which 3 bytes count
    // (the buffer has slack for the fourth).
    if (have == 0) {
      while (i + 16 <= n) {
        const uint8_t* q = s + i;
        const uint32_t a = tb.t[0][q[0]] | tb.t[1][q[1]] | tb.t[2][q[2]] | tb.t[3][q[3]];
        const uint32_t b = tb.t[0][q[4]] | tb.t[1][q[5]] | tb.t[2][q[6]] | tb.t[3][q[7]];
        const uint32_t c = tb.t[0][q[8]] | tb.t[1][q[9]] | tb.t[2][q[10]] | tb.t[3][q[11]];
        const uint32_t d = tb.t[0][q[12]] | tb.t[1][q[13]] | tb.t[2][q[14]] | tb.t[3][q[15]];
        if ((a | b | c | d) & kBad) break;
        Store3(o, a);
        Store3(o + 3, b);
        Store3(o + 6, c);
        Store3(o + 9, d);
        o += 12;
        i += 16;
      }
      while (i + 4 <= n) {
        const uint32_t v = tb.t[0][s[i]] | tb.t[1][s[i + 1]] | tb.t[2][s[i + 2]] | tb.t[3][s[i + 3]];
        if (v & kBad) break;
        Store3(o, v);
        o += 3;
        i += 4;
      }
      if (i >= n) break;
    }
    const uint8_t c = s[i++];
    if (c == '=') break;
    const uint32_t v = tb.t[3][c];
    if (v & kBad) continue;
    quad[have++] = v;
    if (have == 4) {
      const uint32_t w = (quad[0] << 18) | (quad[1] << 12) | (quad[2] << 6) | quad[3];
      o[0] = static_cast<uint8_t>(w >> 16);
      o[1] = static_cast<uint8_t>(w >> 8);
      o[2] = static_cast<uint8_t>(w);
      o += 3;
      have = 0;
    }
  }
  if (have >= 2) {
    uint32_t w = (quad[0] << 18) | (quad[1] << 12);
    if (have >= 3) w |= quad[2] << 6;
    *o++ = static_cast<uint8_t>(w >> 16);
    if (have >= 3) *o++ = static_cast<uint8_t>(w >> 8);
  }
  out->resize(base + static_cast<size_t>(o - o_begin));
}

void base64_encode(std::string_view bytes, std::string* out) {
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t n = bytes.size();
  const size_t groups = (n + 2) / 3;
  const size_t lines = (groups + 18) / 19;
  const size_t base = out->size();
  out->resize(base + groups * 4 + lines * 2);
  char* o = &(*out)[base];
  size_t i = 0;
  int in_line = 0;
  while (i + 3 <= n) {
    const uint32_t v = (uint32_t{s[i]} << 16) | (uint32_t{s[i + 1]} << 8) | s[i + 2];
    o[0] = kAlphabet[v >> 18];
    o[1] = kAlphabet[(v >> 12) & 63];
    o[2] = kAlphabet[(v >> 6) & 63];
    o[3] = kAlphabet[v & 63];
    o += 4;
    i += 3;
    if (++in_line == 19) {
      *o++ = '\r';
      *o++ = '\n';
      in_line = 0;
    }
  }
  if (i < n) {
    uint32_t v = uint32_t{s[i]} << 16;
    if (i + 1 < n) v |= uint32_t{s[i + 1]} << 8;
    o[0] = kAlphabet[v >> 18];
    o[1] = kAlphabet[(v >> 12) & 63];
    o[2] = i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
    o[3] = '=';
    o += 4;
    ++in_line;
  }
  if (in_line > 0) {
    *o++ = '\r';
    *o++ = '\n';
  }
  out->resize(static_cast<size_t>(o - out->data()));
}

bool is_uuencode_label(std::string_view encoding) {
  return encoding == "x-uuencode" || encoding == "uuencode" || encoding == "x-uue";
}

void uu_decode(std::string_view text, std::string* out, std::string* name) {
  if (name) name->clear();
  // Each line: the count of bytes it carries as (count + 32), then groups of
  // four characters that each carry six bits as (bits + 32); '`' stands for 0.
  auto lines = [&](auto&& visit) {
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find('\n', at);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(at, end - at);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      at = end + 1;
      if (!visit(line)) return;
    }
  };
  bool has_begin = false;
  lines([&](std::string_view line) {
    has_begin = line.substr(0, 6) == "begin ";
    return !has_begin;
  });
  bool body = !has_begin;
  out->reserve(out->size() + text.size() / 4 * 3);
  lines([&](std::string_view line) {
    if (!body) {
      if (line.substr(0, 6) != "begin ") return true;
      body = true;
      if (name) {
        // "begin 644 the name.png": the name is everything after the mode.
        const std::string_view rest = line.substr(6);
        const size_t blank = rest.find(' ');
        if (blank != std::string_view::npos) *name = std::string(ascii::Trim(rest.substr(blank + 1)));
      }
      return true;
    }
    if (line == "end") return false;
    if (line.empty()) return true;
    auto sextet = [](char c) -> int {
      const auto u = static_cast<unsigned char>(c);
      return u >= 32 && u <= 96 ? (u - 32) & 63 : -1;
    };
    const int count = sextet(line[0]);
    if (count <= 0) return true;  // the closing empty line, or a damaged one
    int left = count;
    for (size_t i = 1; left > 0 && i < line.size(); i += 4) {
      int v[4] = {0, 0, 0, 0};
      size_t have = 0;
      for (; have < 4 && i + have < line.size(); ++have) {
        const int bits = sextet(line[i + have]);
        if (bits < 0) break;
        v[have] = bits;
      }
      // A damaged or short group gives the bytes its whole characters complete.
      const int bytes = std::min<int>(left, have >= 4 ? 3 : have >= 2 ? static_cast<int>(have) - 1 : 0);
      const uint32_t w = static_cast<uint32_t>(v[0] << 18 | v[1] << 12 | v[2] << 6 | v[3]);
      for (int k = 0; k < bytes; ++k) out->push_back(static_cast<char>(w >> (16 - 8 * k)));
      left -= bytes;
      if (have < 4) break;
    }
    return true;
  });
}

namespace {

// Per byte: 0 for bytes copied as they are, 1 for the bytes that end a run
// ('=' and the line ends), so the copy loop tests one table entry a byte.
constexpr std::array<uint8_t, 256> kQpStops = [] {
  std::array<uint8_t, 256> t{};
  t['='] = t['\r'] = t['\n'] = 1;
  return t;
}();

// Hex digit -> value, 0xFF for anything else.
constexpr std::array<uint8_t, 256> kHexValues = [] {
  std::array<uint8_t, 256> t{};
  for (auto& v : t) v = 0xFF;
  for (int c = 0; c < 10; ++c) t['0' + c] = static_cast<uint8_t>(c);
  for (int c = 0; c < 6; ++c) t['A' + c] = t['a' + c] = static_cast<uint8_t>(10 + c);
  return t;
}();

}  // namespace

void qp_decode(std::string_view text, std::string* out) {
  // Decoding never lengthens the text: write through a pointer into room
  // made once, and cut the string to what was written at the end.
  const size_t start = out->size();
  out->resize(start + text.size());
  char* o = out->data() + start;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  while (p < end) {
    const unsigned char* q = p;
    while (q < end && !kQpStops[*q]) ++q;
    const unsigned char* run_end = q;
    if (q < end && *q != '=') {
      // Blanks before a line end are transport padding.
      while (run_end > p && (run_end[-1] == ' ' || run_end[-1] == '\t')) --run_end;
    }
    std::memcpy(o, p, static_cast<size_t>(run_end - p));
    o += run_end - p;
    p = q;
    if (p >= end) break;
    if (*p == '=') {
      if (end - p >= 3) {
        const uint8_t high = kHexValues[p[1]], low = kHexValues[p[2]];
        if ((high | low) < 16) {  // both hex digits
          *o++ = static_cast<char>(high * 16 + low);
          p += 3;
          continue;
        }
      }
      // Soft line break: '=' then optional blanks then the line end.
      const unsigned char* r = p + 1;
      while (r < end && (*r == ' ' || *r == '\t')) ++r;
      if (r >= end) {
        p = r;
        continue;
      }
      if (*r == '\r' || *r == '\n') {
        if (*r == '\r' && r + 1 < end && r[1] == '\n') ++r;
        p = r + 1;
        continue;
      }
      *o++ = '=';
      ++p;
      continue;
    }
    // Hard line end: keep it as it was written.
    *o++ = static_cast<char>(*p++);
    if (p[-1] == '\r' && p < end && *p == '\n') *o++ = static_cast<char>(*p++);
  }
  out->resize(static_cast<size_t>(o - out->data()));
}

void qp_encode(std::string_view bytes, bool text, std::string* out) {
  out->reserve(out->size() + bytes.size() + bytes.size() / 8);
  size_t line_len = 0;
  auto emit = [&](const char* piece, size_t len) {
    if (line_len + len > 75) {
      out->append("=\r\n");
      line_len = 0;
    }
    out->append(piece, len);
    line_len += len;
  };
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<uint8_t>(bytes[i]);
    if (text && (c == '\n' || (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))) {
      if (c == '\r') ++i;
      out->append("\r\n");
      line_len = 0;
      continue;
    }
    const bool at_line_end =
        i + 1 == bytes.size() || (text && (bytes[i + 1] == '\n' || bytes[i + 1] == '\r'));
    const bool literal = (c >= 33 && c <= 126 && c != '=') ||
                         ((c == ' ' || c == '\t') && !at_line_end);
    // A leading '.' or "From " could be mangled by transports; encode them.
    const bool risky = line_len == 0 && (c == '.' || (c == 'F' && bytes.substr(i, 5) == "From "));
    if (literal && !risky) {
      const char ch = static_cast<char>(c);
      emit(&ch, 1);
    } else {
      const char enc[3] = {'=', ascii::kHexDigits[c >> 4], ascii::kHexDigits[c & 15]};
      emit(enc, 3);
    }
  }
}

std::string decode_header_words(std::string_view value, std::string_view fallback_charset) {
  std::string out;
  out.reserve(value.size());
  std::string pending_space;  // whitespace seen after an encoded word
  bool last_was_word = false;
  size_t i = 0;
  std::string literal;
  // Adjacent words in one charset are decoded together: encoders cut
  // multi-byte text between bytes of a character as well as between
  // characters.
  std::string word_bytes, word_charset;
  auto flush_words = [&]() {
    if (!word_bytes.empty()) out += charset_to_utf8(word_bytes, word_charset);
    word_bytes.clear();
  };
  auto flush_literal = [&]() {
    if (literal.empty()) return;
    if (is_ascii(literal) || is_valid_utf8(literal)) {
      out += literal;
    } else {
      out += charset_to_utf8(literal, fallback_charset);
    }
    literal.clear();
  };
  while (i < value.size()) {
    if (value[i] == '=' && i + 1 < value.size() && value[i + 1] == '?') {
      // =?charset?enc?text?=
      // Windows bound the searches so hostile values stay linear.
      const size_t cs_end = value.substr(0, std::min(value.size(), i + 80)).find('?', i + 2);
      if (cs_end != std::string_view::npos && cs_end + 2 < value.size() && value[cs_end + 2] == '?') {
        const char enc = ascii::ToLower(value[cs_end + 1]);
        const size_t text_begin = cs_end + 3;
        const size_t text_end =
            value.substr(0, std::min(value.size(), text_begin + 4096)).find("?=", text_begin);
        if ((enc == 'b' || enc == 'q') && text_end != std::string_view::npos &&
            value.substr(text_begin, text_end - text_begin).find_first_of(" \t") ==
                std::string_view::npos) {
          std::string_view charset = value.substr(i + 2, cs_end - i - 2);
          const size_t star = charset.find('*');  // RFC 2231 language suffix
          if (star != std::string_view::npos) charset = charset.substr(0, star);
          const std::string_view text = value.substr(text_begin, text_end - text_begin);
          std::string bytes;
          if (enc == 'b') {
            base64_decode(text, &bytes);
          } else {
            std::string q(text);
            for (auto& c : q) {
              if (c == '_') c = ' ';
            }
            qp_decode(q, &bytes);
          }
          if (!last_was_word) {
            flush_literal();
            out += pending_space;
          }
          pending_space.clear();
          if (!last_was_word || !ascii::EqualsIgnoreCase(charset, word_charset)) {
            flush_words();
            word_charset = std::string(charset);
          }
          word_bytes += bytes;
          last_was_word = true;
          i = text_end + 2;
          continue;
        }
      }
    }
    const char c = value[i];
    if (last_was_word && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
      pending_space.push_back(c);
      ++i;
      continue;
    }
    if (last_was_word) {
      flush_words();
      out += pending_space;
      pending_space.clear();
      last_was_word = false;
    }
    literal.push_back(c);
    ++i;
  }
  flush_words();
  flush_literal();
  out += pending_space;
  return out;
}

std::string encode_header_words(std::string_view utf8) {
  if (is_ascii(utf8)) return std::string(utf8);
  // Split into blank-separated words; runs of words that need encoding are
  // encoded together so that the blanks between them survive decoding.
  std::string out;
  size_t i = 0;
  const size_t n = utf8.size();
  while (i < n) {
    size_t ws_end = i;
    while (ws_end < n && (utf8[ws_end] == ' ' || utf8[ws_end] == '\t')) ++ws_end;
    size_t word_end = ws_end;
    while (word_end < n && utf8[word_end] != ' ' && utf8[word_end] != '\t') ++word_end;
    std::string_view word = utf8.substr(ws_end, word_end - ws_end);
    if (is_ascii(word)) {
      out.append(utf8.substr(i, word_end - i));
      i = word_end;
      continue;
    }
    // Extend the run over following non-ASCII words.
    size_t run_end = word_end;
    for (;;) {
      size_t a = run_end;
      while (a < n && (utf8[a] == ' ' || utf8[a] == '\t')) ++a;
      size_t b = a;
      while (b < n && utf8[b] != ' ' && utf8[b] != '\t') ++b;
      if (a == b || is_ascii(utf8.substr(a, b - a))) break;
      run_end = b;
    }
    out.append(utf8.substr(i, ws_end - i));
    std::string_view run = utf8.substr(ws_end, run_end - ws_end);
    // Encoded words stay below 76 characters: 45 bytes of text per word,
    // cut on UTF-8 character boundaries.
    size_t pos = 0;
    bool first = true;
    while (pos < run.size()) {
      size_t take = std::min<size_t>(45, run.size() - pos);
      while (pos + take < run.size() && (static_cast<uint8_t>(run[pos + take]) & 0xC0) == 0x80) --take;
      if (take == 0) take = std::min<size_t>(4, run.size() - pos);
      if (!first) out.push_back(' ');
      std::string b64;
      base64_encode(run.substr(pos, take), &b64);
      while (!b64.empty() && (b64.back() == '\n' || b64.back() == '\r')) b64.pop_back();
      out += "=?utf-8?B?" + b64 + "?=";
      pos += take;
      first = false;
    }
    i = run_end;
  }
  return out;
}

std::string decode_rfc2231_value(std::string_view value) {
  std::string_view charset;
  std::string_view data = value;
  const size_t q1 = value.find('\'');
  if (q1 != std::string_view::npos) {
    const size_t q2 = value.find('\'', q1 + 1);
    if (q2 != std::string_view::npos) {
      charset = value.substr(0, q1);
      data = value.substr(q2 + 1);
    }
  }
  std::string bytes;
  bytes.reserve(data.size());
  ascii::AppendPercentDecoded(data, &bytes);
  return charset_to_utf8(bytes, charset.empty() ? std::string_view("utf-8") : charset);
}

}  // namespace mimeengine

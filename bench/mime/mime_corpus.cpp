// Writes the deterministic bench corpus into a directory:
//   small.corpus        20,000 messages of 1-20 KB: plain text, multipart/alternative,
//                       encoded-word subjects, quoted-printable bodies
//   attachments.corpus  200 messages with base64 attachments of 0.1-2 MB in nested multiparts
//   huge.corpus         one message of about 100 MB
//   cjk.corpus          5,000 messages of 1-10 KB in Shift_JIS, ISO-2022-JP, GB2312, Big5 and
//                       EUC-KR: 8bit and base64 text bodies, encoded-word subjects
// Usage: mime_corpus <dir> [cjk]   ("cjk" writes only cjk.corpus)
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "corpus_file.h"

namespace {

struct Rng {
  uint64_t s;
  uint64_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
  size_t Range(size_t lo, size_t hi) { return lo + static_cast<size_t>(Next() % (hi - lo + 1)); }
};

const char* const kWords[] = {"the", "meeting", "report", "budget", "quarter", "please", "review",
                              "attached", "schedule", "Gr\xfc\xdf" "e", "caf\xe9", "na\xefve", "project",
                              "deadline", "thanks", "tomorrow", "agenda", "d\xe9j\xe0", "update"};

std::string Words(Rng& r, size_t bytes, bool latin1) {
  std::string out;
  size_t col = 0;
  while (out.size() < bytes) {
    std::string w = kWords[r.Next() % (sizeof(kWords) / sizeof(kWords[0]))];
    if (!latin1) {
      std::string ascii;
      for (char c : w) ascii.push_back(static_cast<unsigned char>(c) >= 0x80 ? 'e' : c);
      w = ascii;
    }
    out += w;
    col += w.size() + 1;
    if (col > 70) {
      out += "\r\n";
      col = 0;
    } else {
      out += ' ';
    }
  }
  return out;
}

std::string Qp(const std::string& s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  size_t col = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
      out += "\r\n";
      ++i;
      col = 0;
      continue;
    }
    std::string piece = (c >= 33 && c <= 126 && c != '=') || c == ' ' ? std::string(1, static_cast<char>(c))
                                                                        : std::string{'=', kHex[c >> 4], kHex[c & 15]};
    if (col + piece.size() > 75) {
      out += "=\r\n";
      col = 0;
    }
    out += piece;
    col += piece.size();
  }
  return out;
}

std::string Base64(Rng& r, size_t bytes) {
  static const char kAlpha[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  const size_t chars = (bytes + 2) / 3 * 4;
  out.reserve(chars + chars / 76 * 2 + 2);
  size_t col = 0;
  uint64_t v = r.Next();
  for (size_t i = 0; i < chars; ++i) {
    if (i % 10 == 0) v = r.Next();
    out.push_back(kAlpha[v & 63]);
    v >>= 6;
    if (++col == 76) {
      out += "\r\n";
      col = 0;
    }
  }
  out += "\r\n";
  return out;
}

std::string Header(Rng& r, int i, bool encoded_subject) {
  std::string h = "From: \"Sender " + std::to_string(i) + "\" <sender" + std::to_string(i % 97) + "@example.org>\r\n";
  h += "To: Recipient <rcpt@example.net>, other@example.com\r\n";
  h += "Date: Tue, 1 Jul 2003 10:52:37 +0200\r\n";
  h += "Message-ID: <" + std::to_string(r.Next()) + "@example.org>\r\n";
  h += encoded_subject ? "Subject: =?iso-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?= =?utf-8?B?4oKsIHJlcG9ydA==?=\r\n"
                       : "Subject: Quarterly report " + std::to_string(i) + "\r\n";
  h += "MIME-Version: 1.0\r\n";
  return h;
}

std::string Small(Rng& r, int i) {
  const size_t target = r.Range(1000, 20000);
  const int kind = static_cast<int>(r.Next() % 3);
  std::string m = Header(r, i, r.Next() % 2 == 0);
  if (kind == 0) {
    m += "Content-Type: text/plain; charset=us-ascii\r\n\r\n";
    m += Words(r, target - m.size(), false);
  } else if (kind == 1) {
    m += "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    m += Qp(Words(r, (target - m.size()) * 4 / 5, true));
  } else {
    const std::string b = "----=_alt_" + std::to_string(i);
    m += "Content-Type: multipart/alternative; boundary=\"" + b + "\"\r\n\r\n";
    const std::string text = Words(r, (target - m.size()) / 3, true);
    m += "--" + b + "\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" + Qp(text) + "\r\n";
    m += "--" + b + "\r\nContent-Type: text/html; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n<html><body><p>" + Qp(text) + "</p></body></html>\r\n";
    m += "--" + b + "--\r\n";
  }
  return m;
}

std::string WithAttachments(Rng& r, int i, size_t total_attachment_bytes) {
  std::string m = Header(r, i, true);
  const std::string outer = "----=_mixed_" + std::to_string(i), inner = "----=_alt_" + std::to_string(i),
                    nested = "----=_nested_" + std::to_string(i);
  m += "Content-Type: multipart/mixed; boundary=\"" + outer + "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n";
  const std::string text = Words(r, 3000, true);
  m += "--" + outer + "\r\nContent-Type: multipart/alternative; boundary=\"" + inner + "\"\r\n\r\n";
  m += "--" + inner + "\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" + Qp(text) + "\r\n";
  m += "--" + inner + "\r\nContent-Type: text/html; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" + Qp(text) + "\r\n";
  m += "--" + inner + "--\r\n";
  size_t left = total_attachment_bytes;
  int n = 0;
  m += "--" + outer + "\r\nContent-Type: multipart/mixed; boundary=\"" + nested + "\"\r\n\r\n";
  while (left > 0) {
    const size_t part = std::min(left, std::max<size_t>(100000, left / 2));
    m += "--" + nested + "\r\nContent-Type: application/octet-stream; name=\"file" + std::to_string(n) +
         ".bin\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"file" +
         std::to_string(n) + ".bin\"\r\n\r\n" + Base64(r, part);
    left -= part;
    ++n;
  }
  m += "--" + nested + "--\r\n--" + outer + "--\r\n";
  return m;
}

// Text in the East Asian charsets: phrases written in UTF-8 here, converted with the C library's
// iconv into each charset once.
struct CjkCharset {
  const char* name;  // the MIME label; iconv knows it too
  std::vector<const char*> phrases;
};

const CjkCharset kCjk[] = {
    {"Shift_JIS", {"会議の予定", "報告書を添付します", "表計算", "よろしくお願いします", "明日の打ち合わせ"}},
    {"ISO-2022-JP", {"会議の予定", "報告書を添付します", "予算の確認", "ありがとうございます", "議題"}},
    {"GB2312", {"会议安排", "请查收附件", "季度报告", "谢谢", "明天的议程"}},
    {"Big5", {"會議安排", "請查收附件", "季度報告", "謝謝", "明天的議程"}},
    {"EUC-KR", {"회의 일정", "첨부 파일을 확인하세요", "분기 보고서", "감사합니다", "내일 안건"}},
};

std::string Convert(const std::string& utf8, const char* charset) {
  iconv_t cd = iconv_open(charset, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return utf8;
  std::string out(utf8.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* o = &out[0];
  size_t out_left = out.size();
  iconv(cd, &in, &in_left, &o, &out_left);
  iconv(cd, nullptr, nullptr, &o, &out_left);  // ISO-2022-JP returns to ASCII at the end
  iconv_close(cd);
  out.resize(out.size() - out_left);
  return out;
}

std::string Base64Of(const std::string& bytes) {
  static const char kAlpha[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t col = 0;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    out.push_back(kAlpha[v >> 18]);
    out.push_back(kAlpha[(v >> 12) & 63]);
    out.push_back(i + 1 < bytes.size() ? kAlpha[(v >> 6) & 63] : '=');
    out.push_back(i + 2 < bytes.size() ? kAlpha[v & 63] : '=');
    if ((col += 4) == 76) {
      out += "\r\n";
      col = 0;
    }
  }
  return out;
}

std::string Cjk(Rng& r, int i) {
  const CjkCharset& cs = kCjk[i % 5];
  auto phrase = [&] { return std::string(cs.phrases[r.Next() % cs.phrases.size()]); };
  const size_t target = r.Range(1000, 10000);
  std::string text;
  while (text.size() < target) {
    text += phrase() + (r.Next() % 4 == 0 ? "\r\n" : " ");
  }
  text += "\r\n";
  const bool base64 = std::string(cs.name) != "ISO-2022-JP" && r.Next() % 2 == 0;
  std::string m = "From: sender" + std::to_string(i % 97) + "@example.org\r\nTo: rcpt@example.net\r\n";
  m += "Date: Tue, 1 Jul 2003 10:52:37 +0200\r\n";
  m += "Subject: =?" + std::string(cs.name) + "?B?" + Base64Of(Convert(phrase() + " " + phrase(), cs.name)) +
       "?=\r\nMIME-Version: 1.0\r\n";
  m += "Content-Type: text/plain; charset=" + std::string(cs.name) + "\r\nContent-Transfer-Encoding: " +
       (base64 ? "base64" : std::string(std::string(cs.name) == "ISO-2022-JP" ? "7bit" : "8bit")) + "\r\n\r\n";
  const std::string body = Convert(text, cs.name);
  m += base64 ? Base64Of(body) + "\r\n" : body;
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const bool cjk_only = argc == 3 && std::string(argv[2]) == "cjk";
  if (argc != 2 && !cjk_only) {
    std::fprintf(stderr, "usage: mime_corpus <dir> [cjk]\n");
    return 2;
  }
  const std::string dir = argv[1];
  Rng cjk_rng{0xC3C3C3C3ull};
  std::vector<std::string> cjk;
  for (int i = 0; i < 5000; ++i) cjk.push_back(Cjk(cjk_rng, i));
  if (!mimebench::WriteCorpus(dir + "/cjk.corpus", cjk)) return 1;
  std::printf("corpus in %s: %zu CJK messages\n", dir.c_str(), cjk.size());
  if (cjk_only) return 0;
  Rng r{0x5EED5EED12345ull};
  std::vector<std::string> small;
  for (int i = 0; i < 20000; ++i) small.push_back(Small(r, i));
  std::vector<std::string> attach;
  for (int i = 0; i < 200; ++i) attach.push_back(WithAttachments(r, i, r.Range(100000, 2000000)));
  std::vector<std::string> huge{WithAttachments(r, 0, 75u << 20)};
  const bool ok = mimebench::WriteCorpus(dir + "/small.corpus", small) &&
                  mimebench::WriteCorpus(dir + "/attachments.corpus", attach) &&
                  mimebench::WriteCorpus(dir + "/huge.corpus", huge);
  std::printf("corpus in %s: %zu + %zu + %zu messages, huge message %.1f MB\n", dir.c_str(), small.size(),
              attach.size(), huge.size(), static_cast<double>(huge[0].size()) / 1e6);
  return ok ? 0 : 1;
}

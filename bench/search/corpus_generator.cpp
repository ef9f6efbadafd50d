#include "corpus_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "mimeengine/charset.h"
#include "mimeengine/codec.h"

namespace searchbench {
namespace {

constexpr size_t kVocabulary = 60000;
constexpr size_t kPeople = 3000;
const char* const kSyllables[] = {"ka", "lo", "mi", "ne", "ru", "sa", "to", "vi",
                                  "ze", "po", "da", "fe", "gu", "hi", "ja", "wo"};
const char* const kLatin[] = {"café", "déjà", "naïve", "Grüße", "señor", "façade"};
// CJK words by language: Japanese, Chinese, Korean.
const std::vector<std::string> kCjk[] = {
    {"東京", "会議", "資料", "確認", "予定", "報告", "日本語", "検索", "郵便", "お願い"},
    {"北京", "会议", "报告", "文件", "时间", "邮件", "中文", "搜索"},
    {"서울", "회의", "보고서", "일정", "확인", "메일"},
};
const char* const kCjkCharsets[][3] = {{"shift_jis", "iso-2022-jp", "euc-jp"}, {"gb2312", "gb2312", "gbk"},
                                       {"euc-kr", "euc-kr", "utf-8"}};

std::string Base64(const std::string& bytes, bool lines) {
  std::string out;
  mimeengine::base64_encode(bytes, &out);
  if (!lines) out.erase(std::remove_if(out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }), out.end());
  return out;
}

std::string Encoded(const std::string& utf8, const std::string& charset) {
  std::string bytes;
  if (!mimeengine::utf8_to_charset(utf8, charset, &bytes)) return utf8;
  return bytes;
}

}  // namespace

CorpusGenerator::CorpusGenerator(uint64_t seed, bool small) : state_(seed | 1), small_(small) {
  cumulative_.resize(kVocabulary);
  double sum = 0;
  for (size_t i = 0; i < kVocabulary; ++i) cumulative_[i] = sum += 1.0 / static_cast<double>(i + 1);
}

uint64_t CorpusGenerator::Rand() {
  state_ ^= state_ << 13;
  state_ ^= state_ >> 7;
  state_ ^= state_ << 17;
  return state_;
}

size_t CorpusGenerator::ZipfRank() {
  const double x = static_cast<double>(Rand() % 1000000007) / 1000000007.0 * cumulative_.back();
  return static_cast<size_t>(std::lower_bound(cumulative_.begin(), cumulative_.end(), x) - cumulative_.begin());
}

std::string CorpusGenerator::Word(size_t rank) {
  std::string w;
  for (size_t v = rank + 16; v; v /= 16) w += kSyllables[v % 16];
  return w;
}

std::string CorpusGenerator::Person() {
  const size_t p = std::min<size_t>(ZipfRank(), kPeople - 1);
  std::string first = Word(p * 7 % 997 + 40), last = Word(p + 200);
  first[0] = static_cast<char>(first[0] - 32);
  last[0] = static_cast<char>(last[0] - 32);
  return first + " " + last + " <" + Word(p * 7 % 997 + 40) + "." + Word(p + 200) + "@" + Word(p % 37 + 5) + ".example>";
}

std::string CorpusGenerator::Text(size_t words, bool latin) {
  std::string out;
  size_t column = 0;
  for (size_t i = 0; i < words; ++i) {
    std::string w = latin && Rand() % 12 == 0 ? kLatin[Rand() % 6] : Word(ZipfRank());
    out += w;
    column += w.size() + 1;
    if (column > 70) {
      out += "\r\n";
      column = 0;
    } else {
      out += Rand() % 10 == 0 ? ", " : " ";
    }
  }
  return out + "\r\n";
}

std::string CorpusGenerator::Cjk(size_t words, int language) {
  std::string out;
  for (size_t i = 0; i < words; ++i) {
    out += Rand() % 4 == 0 ? Word(ZipfRank()) + " " : kCjk[language][Rand() % kCjk[language].size()];
    if (i % 20 == 19) out += "\r\n";
  }
  return out + "\r\n";
}

std::string CorpusGenerator::Next() {
  ++serial_;
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char date[64];
  std::snprintf(date, sizeof date, "%d %s %d %02d:%02d:%02d +0000", static_cast<int>(Range(1, 28)),
                kMonths[Range(0, 11)], static_cast<int>(Range(2015, 2024)), static_cast<int>(Range(0, 23)),
                static_cast<int>(Range(0, 59)), static_cast<int>(Range(0, 59)));
  const size_t shape = Range(0, 99);
  const int language = static_cast<int>(Rand() % 3);
  std::string subject = (Rand() % 4 == 0 ? "Re: " : "") + Text(Range(3, 7), false);
  subject.resize(subject.size() - 2);  // the line end
  if (shape >= 90) subject = "=?utf-8?B?" + Base64(kCjk[language][Rand() % 4] + " " + subject, false) + "?=";
  std::string m = "Message-ID: <" + std::to_string(serial_) + "." + Word(Rand() % 5000) + "@bench.example>\r\n";
  m += "Date: " + std::string(date) + "\r\nFrom: " + Person() + "\r\nTo: " + Person();
  for (size_t i = Range(0, 2); i > 0; --i) m += ", " + Person();
  if (Rand() % 3 == 0) m += "\r\nCc: " + Person();
  m += "\r\nSubject: " + subject + "\r\nMIME-Version: 1.0\r\n";
  const size_t words = small_ ? Range(20, 160) : Range(40, 500);
  if (shape < 55) {
    return m + "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + Text(words, true);
  }
  if (shape < 65) {
    std::string qp;
    mimeengine::qp_encode(Encoded(Text(words, true), "iso-8859-1"), true, &qp);
    return m + "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" + qp + "\r\n";
  }
  const std::string boundary = "=_b" + std::to_string(serial_);
  if (shape < 78) {
    const std::string text = Text(words, false);
    return m + "Content-Type: multipart/alternative; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary +
           "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n" + text + "--" + boundary +
           "\r\nContent-Type: text/html; charset=us-ascii\r\n\r\n<html><body><p>" + text +
           "</p></body></html>\r\n--" + boundary + "--\r\n";
  }
  if (shape < 90) {
    std::string blob(small_ ? Range(200, 1500) : Range(2000, 30000), '\0');
    for (auto& c : blob) c = static_cast<char>(Rand());
    const std::string name = Word(ZipfRank()) + "_" + Word(Rand() % 300) + (Rand() % 2 ? ".pdf" : ".docx");
    return m + "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary +
           "\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + Text(words / 2, true) + "--" + boundary +
           "\r\nContent-Type: application/octet-stream; name=\"" + name +
           "\"\r\nContent-Disposition: attachment; filename=\"" + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + Base64(blob, true) + "--" + boundary + "--\r\n";
  }
  const std::string charset = kCjkCharsets[language][Rand() % 3];
  const std::string bytes = Encoded(Cjk(words / 2, language), charset);
  const bool base64 = charset != "iso-2022-jp" && Rand() % 2;
  return m + "Content-Type: text/plain; charset=" + charset + "\r\nContent-Transfer-Encoding: " +
         (base64 ? "base64" : charset == "iso-2022-jp" ? "7bit" : "8bit") + "\r\n\r\n" +
         (base64 ? Base64(bytes, true) : bytes) + "\r\n";
}

}  // namespace searchbench

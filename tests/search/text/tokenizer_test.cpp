#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "mailsearch/tokenizer.h"

namespace mailsearch {
namespace {

std::string Tokens(std::string_view text, uint32_t first = 0) {
  Tokenizer tokenizer;
  tokenizer.Reset(text, first);
  Token token;
  std::string out;
  while (tokenizer.Next(&token)) {
    if (!out.empty()) out += ' ';
    out += std::string(token.term) + "@" + std::to_string(token.position);
  }
  return out;
}

TEST(Tokenizer, Words) {
  const std::pair<const char*, const char*> kCases[] = {
      {"Hello, World! it's", "hello@0 world@1 it@2 s@3"},
      {"  route66 3.14 \xD9\xA3x", "route66@0 3@1 14@2 \xD9\xA3x@3"},           // Arabic-Indic digit
      {"caf\xC3\xA9 \xC3\x91" "and\xC3\xBA", "caf\xC3\xA9@0 \xC3\xB1" "and\xC3\xBA@1"},  // accents kept
      {"STRASSE stra\xC3\x9F" "e STRA\xE1\xBA\x9E" "E", "strasse@0 strasse@1 strasse@2"},
      // Final and medial sigma fold alike.
      {"\xCE\xA3\xCE\x8A\xCE\xA3\xCE\xA5\xCE\xA6\xCE\x9F\xCE\xA3 \xCF\x83\xCE\xAF\xCF\x83\xCF\x85\xCF\x86\xCE\xBF\xCF\x82",
       "\xCF\x83\xCE\xAF\xCF\x83\xCF\x85\xCF\x86\xCE\xBF\xCF\x83@0 \xCF\x83\xCE\xAF\xCF\x83\xCF\x85\xCF\x86\xCE\xBF\xCF\x83@1"},
      // Dotted capital I folds to i + combining dot (full folding, no Turkish rule); dotless i stays.
      {"\xC4\xB0stanbul ISTANBUL \xC4\xB1", "i\xCC\x87stanbul@0 istanbul@1 \xC4\xB1@2"},
      {"\xEF\xBC\xA1\xEF\xBC\xA2", "\xEF\xBD\x81\xEF\xBD\x82@0"},  // fullwidth Latin is a word, folded
      // A combining mark continues a word but starts none.
      {"e\xCC\x81t\xC3\xA9 \xCC\x81" "abc", "e\xCC\x81t\xC3\xA9@0 abc@1"},
      // Invalid UTF-8: a stray byte, an overlong '/', a cut sequence, an encoded surrogate.
      {"ab\xFF" "cd a\xC0\xAF" "b x\xED\xA0\x80y tail\xE6\x97", "ab@0 cd@1 a@2 b@3 x@4 y@5 tail@6"},
  };
  for (const auto& [text, want] : kCases) EXPECT_EQ(Tokens(text), want) << text;
}

TEST(Tokenizer, CjkRunsGiveOverlappingPairs) {
  const std::pair<const char*, const char*> kCases[] = {
      {"\xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD", "\xE6\x9D\xB1\xE4\xBA\xAC@0 \xE4\xBA\xAC\xE9\x83\xBD@1"},
      {"\xE6\x9D\xB1", "\xE6\x9D\xB1@0"},
      {"abc\xE4\xB8\xAD\xE6\x96\x87" "def \xE4\xB8\xAD", "abc@0 \xE4\xB8\xAD\xE6\x96\x87@1 def@2 \xE4\xB8\xAD@3"},
      // Hangul then Katakana (with the prolonged sound mark): one run, pairs across the scripts' border.
      {"\xED\x95\x9C\xEA\xB5\xAD \xE3\x83\x86\xE3\x83\xBC\xE3\x83\x96",
       "\xED\x95\x9C\xEA\xB5\xAD@0 \xE3\x83\x86\xE3\x83\xBC@1 \xE3\x83\xBC\xE3\x83\x96@2"},
      // A combining voiced mark stays with its kana.
      {"\xE3\x81\x8B\xE3\x82\x99\xE3\x81\x8D", "\xE3\x81\x8B\xE3\x82\x99\xE3\x81\x8D@0"},
  };
  for (const auto& [text, want] : kCases) EXPECT_EQ(Tokens(text), want) << text;
}

TEST(Tokenizer, PositionsStartWhereAsked) {
  EXPECT_EQ(Tokens("One two", 10), "one@10 two@11");
  Tokenizer tokenizer;
  Token token;
  tokenizer.Reset("a b", 5);
  EXPECT_EQ(tokenizer.next_position(), 5u);
  while (tokenizer.Next(&token)) {
  }
  EXPECT_EQ(tokenizer.next_position(), 7u);
}

TEST(Text, FoldCase) {
  EXPECT_EQ(FoldCase("Smith@Example.ORG"), "smith@example.org");
  EXPECT_EQ(FoldCase("<Stra\xC3\x9F" "e \xFF>"), "<strasse \xFF>");  // invalid bytes kept
}

TEST(Text, HtmlToText) {
  const std::pair<const char*, const char*> kCases[] = {
      {"<p>one</p><P>two<br/>three", " one  two three"},
      {"bo<b>l</b>d <span class=x>word</span>", "bold word"},
      {"a<script type='x'>var s = '</p>';</script>b<STYLE>p{}</style >c", "a b c"},
      {"a<!-- <p>hidden --></p>b<!DOCTYPE html><?xml x?>c<!-- never closed", "a bc"},
      {"<a href='x>y' title=\"q>\">link</a>", "link"},
      {"1 < 2 > 0 & <3", "1 < 2 > 0 & <3"},
      {"&amp;&lt;&gt;&quot;&apos;&hellip;&mdash;&euro;&nbsp;|", "&<>\"'\xE2\x80\xA6\xE2\x80\x94\xE2\x82\xAC\xC2\xA0|"},
      {"&copy2024 &eacute &#233;&#xE9;&#XE9 &#150; &#0; &#55296; &#99999999999;",
       "\xC2\xA9" "2024 \xC3\xA9 \xC3\xA9\xC3\xA9\xC3\xA9 \xE2\x80\x93 \xEF\xBF\xBD \xEF\xBF\xBD \xEF\xBF\xBD"},
      {"&bogus; AT&T &# &#x; &", "&bogus; AT&T &# &#x; &"},
      {"<script>never closed", " "},
  };
  for (const auto& [html, want] : kCases) EXPECT_EQ(HtmlToText(html), want) << html;
}

}  // namespace
}  // namespace mailsearch

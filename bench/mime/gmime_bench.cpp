// The same measurement as mime_bench with GMime 3: parse each message from
// memory, walk every part (attached messages included) and decode every leaf
// into a null stream.
// Usage: gmime_bench <corpus dir>
#include <gmime/gmime.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench_timer.h"
#include "corpus_file.h"

namespace {

size_t g_decoded = 0;

void Visit(GMimeObject* parent, GMimeObject* part, gpointer);

void WalkMessage(GMimeMessage* message) { g_mime_message_foreach(message, Visit, nullptr); }

void Visit(GMimeObject*, GMimeObject* part, gpointer) {
  if (GMIME_IS_MESSAGE_PART(part)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
    if (inner) WalkMessage(inner);
    return;
  }
  if (!GMIME_IS_PART(part)) return;
  GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
  if (!content) return;
  GMimeStream* sink = g_mime_stream_null_new();
  const ssize_t n = g_mime_data_wrapper_write_to_stream(content, sink);
  if (n > 0) g_decoded += static_cast<size_t>(n);
  g_object_unref(sink);
}

// Every text part's content converted from its charset to UTF-8.
void VisitText(GMimeObject*, GMimeObject* part, gpointer) {
  if (!GMIME_IS_TEXT_PART(part)) return;
  char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
  if (text) g_decoded += std::strlen(text);
  g_free(text);
}

// Parses every message of the corpus from memory and hands each to `use`; the bytes `use` counted.
template <typename Use>
size_t ParseEach(const mimebench::Corpus& corpus, Use use) {
  g_decoded = 0;
  for (std::string_view msg : corpus.messages) {
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(msg.data(), msg.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    if (message) {
      use(message);
      g_object_unref(message);
    }
    g_object_unref(parser);
    g_object_unref(stream);
  }
  return g_decoded;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gmime_bench <corpus dir>\n");
    return 2;
  }
  g_mime_init();
  const int read = mimebench::RunSets("gmime", argv[1], [](const mimebench::Corpus& corpus) {
    return ParseEach(corpus, WalkMessage);
  });
  // The CJK set again, as a reader sees it (see mime_bench).
  auto cjk_to_utf8 = [](const mimebench::Corpus& corpus) {
    return ParseEach(corpus, [](GMimeMessage* message) {
      if (const char* subject = g_mime_message_get_subject(message)) g_decoded += std::strlen(subject);
      g_mime_message_foreach(message, VisitText, nullptr);
    });
  };
  const int cjk = read != 0 ? read : mimebench::RunSet("gmime", argv[1], "cjk", "cjk-to-utf8", cjk_to_utf8);
  g_mime_shutdown();
  return cjk;
}

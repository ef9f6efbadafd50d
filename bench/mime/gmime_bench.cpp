// The same measurement as mime_bench with GMime 3: parse each message from
// memory, walk every part (attached messages included) and decode every leaf
// into a null stream.
// Usage: gmime_bench <corpus dir>
#include <gmime/gmime.h>

#include <algorithm>
#include <cstdio>
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gmime_bench <corpus dir>\n");
    return 2;
  }
  g_mime_init();
  const int read = mimebench::RunSets("gmime", argv[1], [](const mimebench::Corpus& corpus) {
    g_decoded = 0;
    for (std::string_view msg : corpus.messages) {
      GMimeStream* stream = g_mime_stream_mem_new_with_buffer(msg.data(), msg.size());
      GMimeParser* parser = g_mime_parser_new_with_stream(stream);
      GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
      if (message) {
        WalkMessage(message);
        g_object_unref(message);
      }
      g_object_unref(parser);
      g_object_unref(stream);
    }
    return g_decoded;
  });
  g_mime_shutdown();
  return read;
}

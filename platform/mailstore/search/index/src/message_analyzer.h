// MessageAnalyzer: a message source -> the texts of its fields (UTF-8) and the fields the
// index stores, through the MIME engine (header words, charsets, HTML, attachment names).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mailsearch/search_index.h"

namespace mailsearch {

// The field tag that prefixes each term in a segment's dictionary.
enum FieldTag : char {
  kTagSubject = 's',
  kTagFrom = 'f',
  kTagTo = 't',
  kTagCc = 'c',
  kTagBody = 'b',
  kTagFilename = 'n',
  kTagMessageId = 'i',
  kTagAny = 'a',  // every word of the other fields but the Message-ID, docs only
  kTagPair = 'p',  // two frequent words at consecutive positions of one field, docs only
};

struct AnalyzedMailbox {
  std::string name;     // display name, UTF-8
  std::string address;  // bare address, UTF-8
};

struct AnalyzedMessage {
  std::string subject;
  std::vector<AnalyzedMailbox> from, to, cc;
  std::vector<std::string> bodies;     // every text body as UTF-8 text (HTML reduced to its text)
  std::vector<std::string> filenames;  // attachment names, decoded
  std::string message_id;              // without angle brackets and white space
  StoredFields stored;                 // subject .. message_id and attachments; times and size unset
};

class MessageAnalyzer {
 public:
  // Fills |out| from |source|. Never fails: unreadable parts give empty texts.
  static void Analyze(std::string_view source, AnalyzedMessage* out);
};

}  // namespace mailsearch

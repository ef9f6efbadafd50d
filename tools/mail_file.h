// What a file handed to the import holds: an mbox, one message, or neither.
// Plain C++17, no Windows dependency.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mxstore {

class MailFile {
 public:
  enum class Kind { kMbox, kMessage, kNotMail };

  // kMbox when |data| starts with a "From " separator line; kMessage when
  // its first line is a header field (a name of printable characters other
  // than ':' and space, then ':'); else kNotMail (an empty file included).
  static Kind Classify(std::string_view data);

  // The messages to store from |data|: the entries of an mbox, else the
  // whole file as one message (also for kNotMail, which the caller refuses
  // unless told to take it anyway). Unless |keep_line_ends|, each message
  // gets CR LF line ends (LineEnds::ForStore).
  static std::vector<std::string> Messages(std::string_view data, Kind kind, bool keep_line_ends);
};

}  // namespace mxstore

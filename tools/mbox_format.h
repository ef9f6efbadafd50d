// The mbox file format ("mboxrd" quoting): splitting a file into messages
// and writing messages into one. Plain C++17, no Windows dependency.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mxstore {

class MboxFormat {
 public:
  // True when |data| starts like an mbox file (a "From " separator line).
  static bool LooksLikeMbox(std::string_view data);

  // Splits |data| into messages: each begins after a "From " line that
  // starts the file or follows a line end; the separator line is dropped,
  // one level of ">From " quoting is removed, and the blank line that ends
  // each message in the file is not part of it. Line ends are kept as found.
  static std::vector<std::string> Split(std::string_view data);

  // Appends |message| to |out| as one mbox entry (separator line, quoting,
  // closing blank line). |sender| and |date| go into the separator line;
  // |line_end| ends the lines the entry adds (the separator, a missing last
  // line end, the closing blank line), the message's own stay as they are.
  static void Append(std::string_view message, std::string_view sender, std::string_view date,
                     std::string* out, std::string_view line_end = "\n");
};

}  // namespace mxstore

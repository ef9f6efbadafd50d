// Line ends of mail: the store keeps messages as mail travels (CR LF), files
// on disk often have bare LF. Plain C++17, no Windows dependency.
#pragma once

#include <string>
#include <string_view>

namespace mxstore {

class LineEnds {
 public:
  // True when the first line of |text| ends with CR LF; text with no line
  // end at all counts as LF text.
  static bool UsesCrlf(std::string_view text);

  // |text| with every LF that has no CR before it made CR LF; CR LF pairs
  // and lone CRs stay as they are.
  static std::string ToCrlf(std::string_view text);

  // |text| with every CR LF pair made LF; lone CRs and LFs stay.
  static std::string ToLf(std::string_view text);

  // |message| as the store keeps it: byte for byte when its first line
  // already ends with CR LF, else with every bare LF made CR LF.
  static std::string ForStore(std::string_view message);
};

}  // namespace mxstore

// libFuzzer target: parse arbitrary bytes as a message, walk and decode every
// body, read properties, change the tree, commit, and parse the result again.
// Any crash, sanitizer report, hang or unbounded growth is a bug.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mimeengine/charset.h"
#include "mimeengine/message.h"
#include "mimeengine/summary.h"

using namespace mimeengine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  summarize(input);
  Message m;
  m.Load(input);
  std::string out;
  for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) {
    m.GetText(h, &out);
    utf8_to_utf16(out);
    m.GetProp(h, "Subject", &out);
    m.GetProp(h, "par:content-type:charset", &out);
    m.GetProp(h, "att:filename", &out);
    m.DisplayName(h);
    m.IsAttachment(h);
  }
  m.GetAttachments();
  // Change something depending on the input, commit, and parse the result.
  const BodyHandle root = m.root();
  if (size % 3 == 0) {
    BodyHandle added = kNoBody;
    if (m.InsertBody(Location::kLast, root, &added) == Status::kOk) m.SetText(added, "added \xc3\xa9", "text", "plain");
  } else if (size % 3 == 1) {
    BodyHandle first = kNoBody;
    if (m.GetBody(Location::kFirst, root, &first) == Status::kOk) m.DeleteBody(first, size % 2 ? 1 : 0);
  } else {
    // Written back in the body's declared charset when it holds the text.
    const BodyHandle text = m.FindNext(kNoBody, "text", "plain");
    if (text != kNoBody) m.SetText(text, "\xe6\x97\xa5\xe6\x9c\xac \xc3\xa9 \xed\x95\x9c", {}, {});
  }
  m.SetProp(root, "X-Fuzz", "1");
  const std::string serialized = m.Serialize();
  m.Commit();
  Message again;
  again.Load(serialized);
  again.CountBodies(again.root(), true);
  return 0;
}

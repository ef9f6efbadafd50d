#include "message_analyzer.h"

#include "mailsearch/tokenizer.h"
#include "message_id.h"
#include "mimeengine/address.h"
#include "mimeengine/charset.h"
#include "mimeengine/codec.h"
#include "mimeengine/header.h"
#include "mimeengine/message.h"

namespace mailsearch {
namespace {

// Header text written raw in 8 bits has no declared charset: UTF-8 when it reads as such,
// else windows-1252, which keeps every byte.
std::string Utf8Of(std::string s) {
  if (mimeengine::is_valid_utf8(s)) return s;
  return mimeengine::charset_to_utf8(s, "windows-1252");
}

std::vector<AnalyzedMailbox> Mailboxes(const mimeengine::Header& header, std::string_view name) {
  std::vector<AnalyzedMailbox> out;
  const std::string value = header.Get(name);
  if (value.empty()) return out;
  for (auto& m : mimeengine::ParseAddressList(value))
    out.push_back({Utf8Of(std::move(m.display_name)), Utf8Of(std::move(m.address))});
  return out;
}

// "Display name, else address" of each mailbox, joined with "; ".
std::string Display(const std::vector<AnalyzedMailbox>& list) {
  std::string out;
  for (const auto& m : list) {
    if (!out.empty()) out += "; ";
    out += m.name.empty() ? m.address : m.name;
  }
  return out;
}

}  // namespace

void MessageAnalyzer::Analyze(std::string_view source, AnalyzedMessage* out) {
  *out = AnalyzedMessage();
  mimeengine::Header header;
  mimeengine::Header::Parse(source, &header);
  out->subject = Utf8Of(mimeengine::decode_header_words(header.Get("Subject"), "windows-1252"));
  out->from = Mailboxes(header, "From");
  out->to = Mailboxes(header, "To");
  out->cc = Mailboxes(header, "Cc");
  out->message_id = mailstore::NormalizeMessageId(header.Get("Message-ID"));

  mimeengine::Message message;
  message.Load(std::string(source));
  for (auto b = message.FindNext(mimeengine::kNoBody, "text", ""); b != mimeengine::kNoBody;
       b = message.FindNext(b, "text", "")) {
    std::string text;
    if (message.GetText(b, &text) != mimeengine::Status::kOk || text.empty()) continue;
    if (message.IsContentType(b, "text", "html")) text = HtmlToText(text);
    out->bodies.push_back(std::move(text));
  }
  const auto attachments = message.GetAttachments();
  for (auto a : attachments) {
    std::string name;
    if (message.GetProp(a, "att:filename", &name) == mimeengine::Status::kOk && !name.empty())
      out->filenames.push_back(Utf8Of(std::move(name)));
  }

  StoredFields& s = out->stored;
  s.subject = out->subject;
  s.from = Display(out->from);
  s.from_address = out->from.empty() ? std::string() : out->from.front().address;
  s.to = Display(out->to);
  s.cc = Display(out->cc);
  s.message_id = out->message_id;
  s.attachments = static_cast<uint32_t>(attachments.size());
}

}  // namespace mailsearch

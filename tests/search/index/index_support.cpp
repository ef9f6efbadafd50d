#include "index_support.h"

#include <sstream>

namespace indextest {
namespace {

std::string Base64(const std::string& bytes) {
  std::string out, lines;
  mimeengine::base64_encode(bytes, &lines);
  for (char c : lines)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

std::string Base64Lines(const std::string& bytes) {
  std::string out;
  mimeengine::base64_encode(bytes, &out);
  return out;
}

std::vector<Field> FieldsOf(Field f) {
  if (f == Field::kAny) return {Field::kSubject, Field::kFrom, Field::kTo, Field::kCc, Field::kBody, Field::kFilename};
  if (f == Field::kTo) return {Field::kTo, Field::kCc};
  return {f};
}

bool HasRun(const Words& text, const std::vector<std::string>& run) {
  if (run.empty() || text.size() < run.size()) return false;
  for (size_t i = 0; i + run.size() <= text.size(); ++i)
    if (std::equal(run.begin(), run.end(), text.begin() + i)) return true;
  return false;
}

struct Message {
  uint32_t folder;
  mailstore::MessageRecordPtr record;
  const Truth* truth;
};

std::string MessageIdOf(const std::string& source) {
  const size_t at = source.find("Message-ID: <");
  if (at == std::string::npos) return {};
  const size_t b = at + 13;
  return source.substr(b, source.find('>', b) - b);
}

std::vector<uint32_t> AllFolders(mailstore::Store& store) {
  std::vector<uint32_t> out = {mailstore::kRootFolderId};
  for (size_t i = 0; i < out.size(); ++i) {
    std::vector<mailstore::FolderInfo> subs;
    store.ListSubfolders(out[i], &subs);
    for (const auto& f : subs) out.push_back(f.id);
  }
  return out;
}

std::vector<Message> Messages(mailstore::Store& store, const Corpus& corpus) {
  std::vector<Message> out;
  for (uint32_t folder : AllFolders(store)) {
    std::vector<mailstore::MessageRecordPtr> records;
    store.ListMessages(folder, 0, &records);
    for (const auto& r : records) {
      auto it = corpus.truth.find(MessageIdOf(SourceOf(store, *r)));
      EXPECT_NE(it, corpus.truth.end()) << "a message the corpus did not make";
      if (it != corpus.truth.end()) out.push_back({folder, r, &it->second});
    }
  }
  return out;
}

uint32_t FolderByPath(mailstore::Store& store, const std::string& path) {
  uint32_t folder = mailstore::kRootFolderId;
  std::stringstream parts(path);
  std::string name;
  while (std::getline(parts, name, '/')) {
    std::vector<mailstore::FolderInfo> subs;
    store.ListSubfolders(folder, &subs);
    auto it = std::find_if(subs.begin(), subs.end(), [&](const mailstore::FolderInfo& f) {
      return mailsearch::FoldCase(f.name) == mailsearch::FoldCase(name);
    });
    if (it == subs.end()) return mailstore::kInvalidId;
    folder = it->id;
  }
  return folder;
}

bool Matches(mailstore::Store& store, const QueryNode& q, const Message& m) {
  const Truth& t = *m.truth;
  const mailstore::MessageRecord& r = *m.record;
  switch (q.kind) {
    case Kind::kAll: return true;
    case Kind::kAnd:
      for (const auto& c : q.children) if (!Matches(store, c, m)) return false;
      return true;
    case Kind::kOr:
      for (const auto& c : q.children) if (Matches(store, c, m)) return true;
      return false;
    case Kind::kNot: return !Matches(store, q.children[0], m);
    case Kind::kTerm:
    case Kind::kPhrase:
      for (Field f : FieldsOf(q.field)) {
        auto it = t.texts.find(f);
        if (it == t.texts.end()) continue;
        for (const auto& text : it->second) if (HasRun(text, q.terms)) return true;
      }
      return false;
    case Kind::kAddress:
      for (Field f : FieldsOf(q.field == Field::kAny ? Field::kAny : q.field)) {
        auto it = t.addresses.find(f);
        if (it != t.addresses.end() && std::count(it->second.begin(), it->second.end(), q.text)) return true;
      }
      return false;
    case Kind::kMessageId: return t.message_id == q.text;
    case Kind::kFolderId: return m.folder == q.folder_id;
    case Kind::kFolderPath: return m.folder == FolderByPath(store, q.text);
    case Kind::kSent: return t.sent >= q.from && t.sent < q.to;
    case Kind::kReceived: return r.received_time >= q.from && r.received_time < q.to;
    case Kind::kUnread: return (r.flags & mailstore::kFlagUnread) != 0;
    case Kind::kRead: return (r.flags & mailstore::kFlagUnread) == 0;
    case Kind::kFlagged: return (r.flags & kFlagged) != 0;
    case Kind::kHasAttachment: return t.attachments > 0;
    case Kind::kLarger: return r.size > q.size;
    case Kind::kSmaller: return r.size < q.size;
  }
  return false;
}

}  // namespace

std::string CorpusGenerator::Phrase(const Script& script, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    if (i) out += Pick(6) ? " " : ", ";
    out += Pick(5) < 3 ? AsciiWords()[Pick(AsciiWords().size())] : script.words[Pick(script.words.size())];
  }
  return out;
}

std::string CorpusGenerator::Encode(const std::string& utf8, const std::string& charset) {
  std::string out;
  EXPECT_TRUE(mimeengine::utf8_to_charset(utf8, charset, &out)) << charset << ": " << utf8;
  return out;
}

std::string CorpusGenerator::HeaderWords(const std::string& utf8, const std::string& charset) {
  if (mimeengine::is_ascii(utf8)) return utf8;
  return "=?" + charset + "?B?" + Base64(Encode(utf8, charset)) + "?=";
}

std::string CorpusGenerator::Mailboxes(const Script& script, const std::string& charset, int n, Field field,
                                       Truth* truth) {
  std::string out;
  const auto& a = AsciiWords();
  for (int i = 0; i < n; ++i) {
    const std::string address = a[Pick(a.size())] + "." + a[Pick(a.size())] + "@" + a[Pick(a.size())] + ".Example.org";
    truth->texts[field].push_back(Tokens(address));
    truth->addresses[field].push_back(mailsearch::FoldCase(address));
    if (i) out += ", ";
    if (Pick(4) == 0) {
      out += address;
      continue;
    }
    const std::string name = Phrase(script, 1 + static_cast<int>(Pick(2)));
    truth->texts[field].push_back(Tokens(name));
    out += mimeengine::is_ascii(name) ? "\"" + name + "\"" : HeaderWords(name, charset);
    out += " <" + address + ">";
  }
  return out;
}

std::string CorpusGenerator::TextPart(const std::string& utf8, const std::string& charset, bool html) {
  std::string content = utf8;
  if (html) {
    std::string body;
    for (size_t i = 0; i < utf8.size(); ++i)  // é as an entity, words split by markup
      body += utf8.compare(i, 2, "é") == 0 ? (++i, std::string("&eacute;")) : utf8[i] == ',' ? std::string(",<br>") : std::string(1, utf8[i]);
    content = "<html><head><style>p { color: red } stylehidden</style></head><body><p>" + body +
              "</p><script>var scripthidden = 1;</script></body></html>";
  }
  std::string bytes = Encode(content, charset), encoded, te = "8bit";
  switch (charset == "iso-2022-jp" ? 0 : Pick(3)) {
    case 0: encoded = bytes; break;
    case 1: mimeengine::qp_encode(bytes, true, &encoded); te = "quoted-printable"; break;
    default: encoded = Base64Lines(bytes); te = "base64"; break;
  }
  return std::string("Content-Type: text/") + (html ? "html" : "plain") + "; charset=" + charset +
         "\r\nContent-Transfer-Encoding: " + te + "\r\n\r\n" + encoded + "\r\n";
}

std::string CorpusGenerator::Make(Truth* truth) {
  *truth = Truth();
  const Script& script = Scripts()[Pick(Scripts().size())];
  const std::string charset = script.charsets[Pick(script.charsets.size())];
  std::ostringstream id;
  id << "m" << ++serial_ << "." << rng_() << "@Test.Example";
  truth->message_id = id.str();
  truth->sent = FileTime(1577836800 + static_cast<int64_t>(Pick(4 * 365 * 86400)));
  const std::string subject = Phrase(script, 2 + static_cast<int>(Pick(3)));
  truth->texts[Field::kSubject].push_back(Tokens(subject));
  std::string m = "Message-ID: <" + truth->message_id + ">\r\nSubject: " + HeaderWords(subject, charset) + "\r\n";
  m += "From: " + Mailboxes(script, charset, 1, Field::kFrom, truth) + "\r\n";
  m += "To: " + Mailboxes(script, charset, 1 + static_cast<int>(Pick(2)), Field::kTo, truth) + "\r\n";
  if (Pick(2)) m += "Cc: " + Mailboxes(script, charset, 1, Field::kCc, truth) + "\r\n";
  m += "MIME-Version: 1.0\r\n";
  const std::string text = Phrase(script, 5 + static_cast<int>(Pick(12)));
  auto& bodies = truth->texts[Field::kBody];
  const size_t shape = Pick(5);
  if (shape <= 1) {
    bodies.push_back(Tokens(text));
    return m + TextPart(text, charset, shape == 1);
  }
  const std::string boundary = "b" + std::to_string(serial_) + "=_";
  if (shape == 2) {
    bodies = {Tokens(text), Tokens(text)};
    return m + "Content-Type: multipart/alternative; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary +
           "\r\n" + TextPart(text, charset, false) + "--" + boundary + "\r\n" + TextPart(text, charset, true) +
           "--" + boundary + "--\r\n";
  }
  bodies.push_back(Tokens(text));
  m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary + "\r\n" +
       TextPart(text, charset, shape == 4);
  truth->attachments = 1 + static_cast<uint32_t>(Pick(2));
  for (uint32_t i = 0; i < truth->attachments; ++i) {
    const std::string name = Phrase(script, 1) + "_" + AsciiWords()[Pick(AsciiWords().size())] + ".pdf";
    truth->texts[Field::kFilename].push_back(Tokens(name));
    std::string disposition;
    if (mimeengine::is_ascii(name)) {
      disposition = "filename=\"" + name + "\"";
    } else if (Pick(2)) {
      disposition = "filename*=utf-8''";
      for (unsigned char c : name) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        disposition += hex;
      }
    } else {
      disposition = "filename=\"" + HeaderWords(name, "utf-8") + "\"";
    }
    m += "--" + boundary + "\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; " +
         disposition + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" + Base64Lines("binaryhidden data " + name);
  }
  return m + "--" + boundary + "--\r\n";
}

void Corpus::Fill(mailstore::Store& store, CorpusGenerator& gen, int count, std::mt19937& rng) {
  if (folders.empty()) {
    uint32_t work = mailstore::kInvalidId;
    store.CreateFolder(kInbox, "Work", &work);
    folders = {kInbox, work, kSent};
  }
  for (int i = 0; i < count; ++i) {
    Truth t;
    const std::string source = gen.Make(&t);
    mailstore::MessageFields fields;
    fields.subject = "s";
    fields.sent_time = t.sent;
    const uint32_t flags = (rng() % 2 ? mailstore::kFlagUnread : 0) | (rng() % 5 == 0 ? kFlagged : 0);
    EXPECT_EQ(mailstore::Status::kOk,
              store.AddMessage(folders[rng() % folders.size()], mailstore::kInvalidId, source, flags, fields, nullptr));
    truth[t.message_id] = std::move(t);
  }
}

std::vector<mailsearch::Hit> BruteForce(mailstore::Store& store, const Corpus& corpus, const QueryNode& query) {
  std::vector<Message> matched;
  for (const Message& m : Messages(store, corpus))
    if (Matches(store, query, m)) matched.push_back(m);
  std::sort(matched.begin(), matched.end(), [](const Message& a, const Message& b) {
    if (a.record->received_time != b.record->received_time) return a.record->received_time > b.record->received_time;
    if (a.folder != b.folder) return a.folder < b.folder;
    return a.record->id < b.record->id;
  });
  std::vector<mailsearch::Hit> out;
  for (const Message& m : matched) out.push_back({m.folder, m.record->id});
  return out;
}

QueryNode RandomQuery(mailstore::Store& store, const Corpus& corpus, std::mt19937& rng, int depth) {
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  QueryNode q;
  const size_t r = pick(100);
  if (depth > 0 && r < 35) {
    q.kind = r < 15 ? Kind::kAnd : r < 28 ? Kind::kOr : Kind::kNot;
    const size_t n = q.kind == Kind::kNot ? 1 : 2 + pick(2);
    for (size_t i = 0; i < n; ++i) q.children.push_back(RandomQuery(store, corpus, rng, depth - 1));
    return q;
  }
  auto it = corpus.truth.begin();
  std::advance(it, pick(corpus.truth.size()));
  const Truth& t = it->second;
  const Field fields[] = {Field::kAny, Field::kSubject, Field::kFrom, Field::kTo, Field::kCc, Field::kBody, Field::kFilename};
  q.field = fields[pick(7)];
  // A text of the chosen field (of any field for kAny), when the message has one.
  const Words* text = nullptr;
  for (Field f : FieldsOf(q.field)) {
    auto ft = t.texts.find(f);
    if (ft != t.texts.end() && !ft->second.empty() && (!text || pick(2))) text = &ft->second[pick(ft->second.size())];
  }
  if (r < 60) {
    q.kind = Kind::kTerm;
    if (!text || text->empty() || pick(10) == 0)
      q.terms = {pick(2) ? HiddenWords()[pick(HiddenWords().size())] : "nomatchzz"};
    else
      q.terms = {(*text)[pick(text->size())]};
  } else if (r < 72 && text && text->size() >= 2) {
    q.kind = Kind::kPhrase;
    const size_t n = std::min<size_t>(text->size(), 2 + pick(2)), at = pick(text->size() - n + 1);
    q.terms.assign(text->begin() + at, text->begin() + at + n);
    if (pick(4) == 0) std::swap(q.terms[0], q.terms[1]);  // mostly no longer a phrase
  } else if (r < 78) {
    q.kind = Kind::kAddress;
    const Field af[] = {Field::kAny, Field::kFrom, Field::kTo, Field::kCc};
    q.field = af[pick(4)];
    const auto& list = t.addresses.at(pick(2) ? Field::kFrom : Field::kTo);
    q.text = list[pick(list.size())];
  } else if (r < 81) {
    q.kind = Kind::kMessageId;
    q.text = t.message_id;
  } else {
    switch (pick(9)) {
      case 0: q.kind = Kind::kSent; q.from = t.sent - pick(400) * 864000000000ull; q.to = q.from + pick(600) * 864000000000ull; break;
      case 1: q.kind = Kind::kReceived; q.from = pick(2) ? 0 : UINT64_MAX / 2; break;
      case 2: q.kind = pick(2) ? Kind::kLarger : Kind::kSmaller; q.size = 600 + pick(2000); break;
      case 3: q.kind = Kind::kFolderId; q.folder_id = corpus.folders[pick(corpus.folders.size())]; break;
      case 4: q.kind = Kind::kFolderPath; q.text = pick(2) ? "inbox/WORK" : pick(2) ? "Sent Items" : "Nowhere"; break;
      case 5: q.kind = Kind::kUnread; break;
      case 6: q.kind = Kind::kRead; break;
      case 7: q.kind = Kind::kFlagged; break;
      default: q.kind = Kind::kHasAttachment; break;
    }
    q.field = Field::kAny;
  }
  (void)store;
  return q;
}

std::string Describe(const QueryNode& q) {
  std::ostringstream o;
  o << "(" << static_cast<int>(q.kind) << " f" << static_cast<int>(q.field);
  for (const auto& t : q.terms) o << " '" << t << "'";
  if (!q.text.empty()) o << " text=" << q.text;
  if (q.kind == Kind::kFolderId) o << " #" << q.folder_id;
  if (q.kind == Kind::kSent || q.kind == Kind::kReceived) o << " [" << q.from << "," << q.to << ")";
  if (q.kind == Kind::kLarger || q.kind == Kind::kSmaller) o << " size=" << q.size;
  for (const auto& c : q.children) o << " " << Describe(c);
  o << ")";
  return o.str();
}

void ExpectSameAnswers(mailsearch::SearchIndex& index, mailstore::Store& store, const Corpus& corpus,
                       uint32_t seed, int queries) {
  std::mt19937 rng(seed);
  int failures = 0;
  for (int i = 0; i < queries && failures < 3; ++i) {
    const QueryNode q = RandomQuery(store, corpus, rng, 2);
    const auto expected = BruteForce(store, corpus, q);
    mailsearch::SearchOptions options;
    options.count_only = i % 4 == 0;
    mailsearch::SearchResult result;
    ASSERT_EQ(mailsearch::SearchStatus::kOk, index.Search(q, options, &result));
    std::vector<std::pair<uint32_t, uint32_t>> got, want;
    for (const auto& h : result.hits) got.emplace_back(h.folder, h.message);
    for (const auto& h : expected) want.emplace_back(h.folder, h.message);
    if (result.count != expected.size() || (!options.count_only && got != want)) {
      ++failures;
      ADD_FAILURE() << "query " << Describe(q) << ": " << result.count << " hits, expected " << expected.size();
    }
  }
}

}  // namespace indextest

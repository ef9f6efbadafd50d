// mxstore: fills a mail store and gets mail out of it, through the store's
// own COM interfaces (so what it does is exactly what any client could do,
// and other processes on the store are notified as for any client).
#include <windows.h>
#include <objbase.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "comsupport/com_ptr.h"
#include "comsupport/stream_io.h"
#include "comsupport/text.h"
#include "comsupport/unique_bstr.h"
#include "comsupport/unique_any.h"
#include "comsupport/unique_henumstore.h"
#include "folder_path.h"
#include "line_ends.h"
#include "mail_file.h"
#include "mbox_format.h"
#include "store_client.h"

using pelkary::com_ptr;
using mxstore::FolderPath;
using mxstore::LineEnds;
using mxstore::MailFile;
using mxstore::MboxFormat;
using mxstore::StoreClient;

namespace {

const char kUsage[] =
    "usage: mxstore [--store DIR] COMMAND ...\n"
    "  folders                     list the folder tree with message counts and ids\n"
    "  list FOLDER                 list the messages of a folder\n"
    "  cat FOLDER ID               write one message's source to standard output\n"
    "  mkdir [-p] FOLDER           create a folder (-p: with its missing parents)\n"
    "  import FOLDER FILE... [--read] [--keep-line-ends] [--force]\n"
    "                              import .eml and mbox files into a folder; bare LF line ends\n"
    "                              are stored as CR LF unless --keep-line-ends; a file that is\n"
    "                              neither is refused unless --force (then it is one message)\n"
    "  export FOLDER --mbox FILE [--crlf]\n"
    "                              write a folder's messages into one mbox file, with LF line\n"
    "                              ends (--crlf: CR LF)\n"
    "  export FOLDER --eml DIR     write a folder's messages as DIR\\<id>.eml, as stored\n"
    "  rm FOLDER ID...             delete messages (into the deleted-items folder; from there,\n"
    "                              for good)\n"
    "  rm [-r] FOLDER              delete an empty folder (-r: with all it holds, for good)\n"
    "  mv FOLDER ID... TOFOLDER    move messages into another folder\n"
    "  mv FOLDER NEWPATH           move a folder into NEWPATH when that is a folder, else\n"
    "                              rename and move it so that its path becomes NEWPATH\n"
    "  find MESSAGE-ID             print the folder and id of the message with that Message-ID\n"
    "                              (angle brackets optional; of several, the one stored last)\n"
    "  check                       verify the store's index, its Message-IDs and change history\n"
    "                              and every message; one line per finding (exit 0 when sound,\n"
    "                              1 when damaged)\n"
    "  compact                     give the space of mail deleted for good back to the disk and\n"
    "                              shorten the index, keeping the last 10,000 changes or those of\n"
    "                              the last 30 days, whichever are more\n"
    "  recover                     rebuild the index of a damaged store from what it still holds,\n"
    "                              Message-IDs read from the sources, with a new change history\n"
    "                              (the old index is kept as journal.damaged); run it while no\n"
    "                              other program uses the store\n"
    "FOLDER is a path of names from the top (\"Inbox\", \"Archive/2024\"); inside a name \"\\/\" is\n"
    "a \"/\", \"\\\\\" a \"\\\" and \"\\#\" a \"#\". \"#7\" is the folder with id 7 (quote it in a Unix\n"
    "shell). A path that is one number is the top-level folder of that name if there is one,\n"
    "else the folder with that id. IDs of messages are the numbers 'mxstore list' shows.\n"
    "The store is --store DIR, else %MAILSTORE_DIR%, else the configured or default store.\n";

// A failure, reported as one line "mxstore: TEXT" on standard error.
struct Failure {
  int code;  // 1: the command failed; 2: the command line is wrong
  std::string text;
};

[[noreturn]] void Fail(const std::string& text) { throw Failure{1, text}; }
[[noreturn]] void Misuse(const std::string& text) { throw Failure{2, text}; }

std::string ToAnsi(const std::wstring& w) { return pelkary::to_ansi(w.c_str(), static_cast<int>(w.size())); }

std::string HresultText(HRESULT hr) {
  char buf[16];
  snprintf(buf, sizeof(buf), "0x%08lX", static_cast<unsigned long>(hr));
  return buf;
}

// What to do about a store write that failed with |hr|.
std::string WriteAdvice(HRESULT hr) {
  if (hr == E_ACCESSDENIED || hr == STG_E_ACCESSDENIED)
    return "the store cannot be written; check the permissions of its directory and files";
  if (hr == STG_E_DOCFILECORRUPT) return "the store is damaged; run 'mxstore check'";
  return "check free disk space and retry the rest";
}

std::string Plural(size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string ReadFileBytes(const std::wstring& path) {
  pelkary::unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file)
    Fail("cannot open '" + ToAnsi(path) + "': " +
         (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND
              ? "no such file; check the path"
              : "access denied or in use; check its permissions or close the program using it"));
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF)
    Fail("'" + ToAnsi(path) + "' is too large to import (over 2 GB); split it first");
  std::string out(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < out.size()) {
    DWORD got = 0;
    if (!ReadFile(file.get(), &out[done], static_cast<DWORD>(out.size() - done), &got, nullptr) || !got)
      Fail("cannot read '" + ToAnsi(path) + "'; check the disk and retry");
    done += got;
  }
  return out;
}

void WriteFileBytes(const std::wstring& path, const std::string& data) {
  pelkary::unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD put = 0;
  if (!file || !WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &put, nullptr) ||
      put != data.size())
    Fail("cannot write '" + ToAnsi(path) + "'; check that the directory exists and is writable");
}

// A message id as typed: 1 to 10 digits, below MESSAGEID_INVALID.
MESSAGEID ParseMessageId(const std::wstring& text) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of(L"0123456789") != std::wstring::npos ||
      std::stoull(text) >= MESSAGEID_INVALID)
    Misuse("'" + ToAnsi(text) + "' is not a message id; use the numbers 'mxstore list FOLDER' shows");
  return static_cast<MESSAGEID>(std::stoul(text));
}

struct Message {
  MESSAGEID id;
  DWORD state;
  DWORD size;
  FILETIME sent;
  std::string from, subject;
};

std::vector<Message> ListMessages(IStoreFolder* folder) {
  std::vector<Message> out;
  MESSAGEPROPS p = {};
  p.cbSize = sizeof(p);
  pelkary::unique_henumstore<IStoreFolder> e;
  HRESULT hr = folder->GetFirstMessage(0, 0, MESSAGEID_FIRST, &p, e.put(folder));
  while (hr == S_OK) {
    out.push_back({p.dwMessageId, p.dwState, p.cbMessage, p.ftSent,
                   p.pszDisplayFrom ? p.pszDisplayFrom : "", p.pszSubject ? p.pszSubject : ""});
    folder->FreeMessageProps(&p);
    hr = folder->GetNextMessage(e.get(), 0, &p);
  }
  return out;
}

bool ReadSource(IStoreFolder* folder, MESSAGEID id, std::string* out) {
  com_ptr<IStream> stream;
  if (FAILED(folder->OpenMessage(id, IID_IStream, stream.put_void()))) return false;
  out->clear();
  pelkary::read_to_end(stream.get(), out);
  return true;
}

std::string MboxDate(const FILETIME& time) {
  SYSTEMTIME st;
  FileTimeToSystemTime(&time, &st);
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char date[64];
  snprintf(date, sizeof(date), "%s %s %2u %02u:%02u:%02u %04u", kDays[st.wDayOfWeek % 7],
           kMonths[(st.wMonth + 11) % 12], st.wDay, st.wHour, st.wMinute, st.wSecond, st.wYear);
  return date;
}

void PrintTree(IStoreNamespace* ns, STOREFOLDERID parent, int depth) {
  FOLDERPROPS p = {};
  p.cbSize = sizeof(p);
  std::vector<FOLDERPROPS> children;
  {
    pelkary::unique_henumstore<IStoreNamespace> e;
    if (ns->GetFirstSubFolder(parent, &p, e.put(ns)) != S_OK) return;
    do children.push_back(p);
    while (ns->GetNextSubFolder(e.get(), &p) == S_OK);
  }
  for (const auto& c : children) {
    printf("%*s%-*s %6lu messages %6lu unread   (id %lu)\n", depth * 2, "", 32 - depth * 2, c.szName,
           c.cMessage, c.cUnread, c.dwFolderId);
    PrintTree(ns, c.dwFolderId, depth + 1);
  }
}

// The path of folder |id| below |parent| (escaped as FolderPath reads it), or "" when it is not there.
std::string PathOf(IStoreNamespace* ns, STOREFOLDERID id, STOREFOLDERID parent = FOLDERID_ROOT) {
  FOLDERPROPS p = {};
  p.cbSize = sizeof(p);
  std::vector<FOLDERPROPS> children;
  {
    pelkary::unique_henumstore<IStoreNamespace> e;
    if (ns->GetFirstSubFolder(parent, &p, e.put(ns)) != S_OK) return "";
    do children.push_back(p);
    while (ns->GetNextSubFolder(e.get(), &p) == S_OK);
  }
  for (const auto& c : children) {
    const std::string name = FolderPath::Escape(c.szName, mxstore::IsAnsiLeadByte);
    if (c.dwFolderId == id) return name;
    if (std::string below = PathOf(ns, id, c.dwFolderId); !below.empty()) return name + "/" + below;
  }
  return "";
}

// A folder opened for a command, with what the messages need to name it.
struct OpenFolder {
  com_ptr<IStoreFolder> folder;
  FOLDERPROPS props;
  std::string arg;  // as typed, for messages
};

class Tool {
 public:
  explicit Tool(StoreClient& client) : client_(client) {}

  int Folders() {
    printf("Local Folders\n");
    PrintTree(client_.ns(), FOLDERID_ROOT, 1);
    return 0;
  }

  int List(const std::wstring& name) {
    OpenFolder f = Open(name);
    for (const auto& m : ListMessages(f.folder.get())) {
      SYSTEMTIME st = {};
      FileTimeToSystemTime(&m.sent, &st);
      printf("%6lu %c %8lu  %04u-%02u-%02u %02u:%02u  %-24.24s  %s\n", m.id,
             (m.state & MSG_UNREAD) ? 'U' : ' ', m.size, st.wYear, st.wMonth, st.wDay, st.wHour,
             st.wMinute, m.from.c_str(), m.subject.c_str());
    }
    return 0;
  }

  int Mkdir(const std::wstring& text, bool parents) {
    std::string arg = ToAnsi(text);
    FolderPath path = FolderPath::Parse(arg, mxstore::IsAnsiLeadByte);
    if (path.is_id() || path.names().empty())
      Misuse("mkdir takes a path of names, not '" + arg + "'; e.g. mxstore mkdir -p Archive/2024");
    STOREFOLDERID cur = FOLDERID_ROOT;
    std::string done;  // the path so far, escaped
    for (size_t i = 0; i < path.names().size(); ++i) {
      const std::string& name = path.names()[i];
      const bool last = i + 1 == path.names().size();
      done += (done.empty() ? "" : "/") + FolderPath::Escape(name, mxstore::IsAnsiLeadByte);
      STOREFOLDERID child = client_.FindChild(cur, name);
      if (child != FOLDERID_INVALID) {
        if (last && !parents)
          Fail("a folder '" + done + "' already exists (names ignore case); choose another name");
        cur = child;
        continue;
      }
      if (!last && !parents)
        Fail("no folder '" + done + "' to create '" + FolderPath::Escape(path.names().back(), mxstore::IsAnsiLeadByte) +
             "' in; use mkdir -p to create it too");
      HRESULT hr = client_.ns()->CreateFolder(cur, name.c_str(), 0, &child);
      if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_NAME))
        Fail("'" + name + "' is not a valid folder name; use 1 to 255 bytes and no control characters");
      if (FAILED(hr)) Fail("cannot create folder '" + done + "' (" + HresultText(hr) + "); check the store");
      printf("created %s (id %lu)\n", done.c_str(), child);
      cur = child;
    }
    return 0;
  }

  int Import(const std::wstring& name, const std::vector<std::wstring>& files, bool read,
             bool keep_line_ends, bool force) {
    OpenFolder f = Open(name);
    // Read and split everything first: a bad file stops the import before
    // anything is stored.
    std::vector<std::string> messages;
    for (const auto& file : files) {
      std::string data = ReadFileBytes(file);
      MailFile::Kind kind = MailFile::Classify(data);
      if (kind == MailFile::Kind::kNotMail && !force)
        Fail("'" + ToAnsi(file) + "' is not mail (neither an mbox nor a message that starts with a header "
             "field); nothing was imported; add --force to import it as one message");
      for (auto& m : MailFile::Messages(data, kind, keep_line_ends)) messages.push_back(std::move(m));
    }
    DWORD flags = MSG_RECEIVED | (read ? 0 : MSG_UNREAD);
    bool progress = messages.size() >= 100;
    size_t step = messages.size() / 100 + 1;
    for (size_t i = 0; i < messages.size(); ++i) {
      com_ptr<IStream> stream;
      MESSAGEID id;
      HRESULT hr = f.folder->CreateStream(nullptr, 0, stream.put(), &id);
      ULONG put = 0;
      if (SUCCEEDED(hr))
        hr = stream->Write(messages[i].data(), static_cast<ULONG>(messages[i].size()), &put);
      if (SUCCEEDED(hr)) hr = f.folder->CommitStream(nullptr, 0, flags, stream.get(), id, nullptr);
      if (FAILED(hr)) {
        if (progress) fputc('\n', stderr);
        Fail("storing message " + std::to_string(i + 1) + " failed (" + HresultText(hr) + ") after " +
             std::to_string(i) + " were imported; " + WriteAdvice(hr));
      }
      if (progress && (i % step == 0 || i + 1 == messages.size()))
        fprintf(stderr, "\rimporting: %zu of %zu (%zu%%)", i + 1, messages.size(),
                (i + 1) * 100 / messages.size());
    }
    if (progress) fputc('\n', stderr);
    printf("imported %s into %s\n", Plural(messages.size(), "message").c_str(), f.props.szName);
    return 0;
  }

  int Export(const std::wstring& name, const std::wstring* mbox, const std::wstring* eml, bool crlf) {
    OpenFolder f = Open(name);
    std::string all, source;
    auto messages = ListMessages(f.folder.get());
    if (eml && !CreateDirectoryW(eml->c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      Fail("cannot create directory '" + ToAnsi(*eml) + "'; check that its parent exists");
    for (const auto& m : messages) {
      if (!ReadSource(f.folder.get(), m.id, &source)) continue;  // deleted meanwhile
      if (mbox) {
        MboxFormat::Append(crlf ? LineEnds::ToCrlf(source) : LineEnds::ToLf(source), "MAILER-DAEMON",
                           MboxDate(m.sent), &all, crlf ? "\r\n" : "\n");
      } else {
        WriteFileBytes(*eml + L"\\" + std::to_wstring(m.id) + L".eml", source);
      }
    }
    if (mbox) WriteFileBytes(*mbox, all);
    printf("exported %s\n", Plural(messages.size(), "message").c_str());
    return 0;
  }

  int Compact() {
    HRESULT hr = client_.ns()->CompactAll(0);
    if (FAILED(hr)) Fail("cannot compact the store (" + HresultText(hr) + "); " + WriteAdvice(hr));
    printf("compacted the store\n");
    return 0;
  }

  // find: "FOLDER ID" of the message stored last with that Message-ID; 1 when none has it.
  int Find(const std::wstring& message_id) {
    com_ptr<IStoreIndex> index;
    if (FAILED(client_.ns()->QueryInterface(IID_IStoreIndex, index.put_void())))
      Fail("this mail store server keeps no Message-ID index; install the one beside the tool");
    STOREFOLDERID folder = FOLDERID_INVALID;
    MESSAGEID id = MESSAGEID_INVALID;
    HRESULT hr = index->FindMessageId(ToAnsi(message_id).c_str(), &folder, &id);
    if (FAILED(hr)) Fail("cannot search the store (" + HresultText(hr) + "); check the disk");
    if (hr == S_FALSE) {
      fprintf(stderr, "mxstore: no message has the Message-ID '%s'\n", ToAnsi(message_id).c_str());
      return 1;
    }
    printf("%s %lu\n", PathOf(client_.ns(), folder).c_str(), id);
    return 0;
  }

  int Cat(const std::wstring& name, const std::wstring& id_text) {
    OpenFolder f = Open(name);
    MESSAGEID id = ParseMessageId(id_text);
    std::string source;
    if (!ReadSource(f.folder.get(), id, &source)) Fail(NoMessage(f, id));
    _setmode(_fileno(stdout), _O_BINARY);
    fwrite(source.data(), 1, source.size(), stdout);
    return 0;
  }

  int RemoveMessages(const std::wstring& name, const std::vector<std::wstring>& id_texts) {
    OpenFolder f = Open(name);
    std::vector<MESSAGEID> ids = CheckedIds(f, id_texts);
    MESSAGEIDLIST list = {sizeof(list), static_cast<DWORD>(ids.size()), ids.data()};
    HRESULT hr = f.folder->DeleteMessages(&list, 0, nullptr);
    if (FAILED(hr)) Fail("cannot delete from '" + f.arg + "' (" + HresultText(hr) + "); nothing was deleted");
    if (f.props.sfType == FOLDER_DELETED) {
      printf("deleted %s for good\n", Plural(ids.size(), "message").c_str());
    } else {
      FOLDERPROPS bin = {};
      com_ptr<IStoreFolder> deleted;
      bin.cbSize = sizeof(bin);
      if (SUCCEEDED(client_.ns()->OpenSpecialFolder(FOLDER_DELETED, 0, deleted.put())))
        deleted->GetFolderProps(0, &bin);
      printf("moved %s into %s\n", Plural(ids.size(), "message").c_str(), bin.szName);
    }
    return 0;
  }

  int RemoveFolder(const std::wstring& name, bool recursive) {
    OpenFolder f = Open(name);
    if (f.props.sfType != FOLDER_NOTSPECIAL)
      Fail("'" + f.arg + "' is a special folder and stays; delete its messages with mxstore rm " + f.arg + " ID...");
    if (!recursive && (f.props.cMessage || f.props.cSubFolders))
      Fail("'" + f.arg + "' holds " + Plural(f.props.cMessage, "message") + " and " +
           Plural(f.props.cSubFolders, "folder") + "; add -r to delete it with all it holds");
    f.folder = nullptr;
    HRESULT hr = client_.ns()->DeleteFolder(f.props.dwFolderId, 0);
    if (FAILED(hr)) Fail("cannot delete '" + f.arg + "' (" + HresultText(hr) + "); check the store");
    printf("deleted folder %s\n", f.props.szName);
    return 0;
  }

  int MoveMessages(const std::wstring& name, const std::vector<std::wstring>& id_texts, const std::wstring& to) {
    OpenFolder from = Open(name), dest = Open(to);
    std::vector<MESSAGEID> ids = CheckedIds(from, id_texts);
    if (from.props.dwFolderId == dest.props.dwFolderId)
      Fail("the messages are in '" + dest.arg + "' already; name another folder to move them to");
    MESSAGEIDLIST list = {sizeof(list), static_cast<DWORD>(ids.size()), ids.data()};
    HRESULT hr = client_.ns()->CopyMoveMessages(from.folder.get(), dest.folder.get(), &list, CMF_MOVE, 0, nullptr);
    if (FAILED(hr)) Fail("cannot move the messages (" + HresultText(hr) + "); nothing was moved");
    printf("moved %s into %s\n", Plural(ids.size(), "message").c_str(), dest.props.szName);
    return 0;
  }

  int MoveFolder(const std::wstring& name, const std::wstring& target_text) {
    OpenFolder f = Open(name);
    if (f.props.sfType != FOLDER_NOTSPECIAL)
      Fail("'" + f.arg + "' is a special folder; it keeps its name and place");
    f.folder = nullptr;
    const STOREFOLDERID id = f.props.dwFolderId;
    const std::string target = ToAnsi(target_text);
    const FolderPath path = FolderPath::Parse(target, mxstore::IsAnsiLeadByte);
    STOREFOLDERID parent = client_.FindFolder(target);
    std::string leaf = f.props.szName;
    // NEWPATH names the folder as it will be, unless it names another folder
    // to move into (itself only by a change of case).
    if (parent == FOLDERID_INVALID || (parent == id && !path.names().empty())) {
      if (path.is_id()) Fail("no folder '" + target + "' in the store; 'mxstore folders' lists them");
      std::string parent_path;
      for (size_t i = 0; i + 1 < path.names().size(); ++i)
        parent_path += "/" + FolderPath::Escape(path.names()[i], mxstore::IsAnsiLeadByte);
      parent = client_.FindFolder(parent_path);
      if (parent == FOLDERID_INVALID)
        Fail("no folder '" + parent_path.substr(1) + "' to move '" + f.arg + "' into; create it first with "
             "mxstore mkdir -p");
      leaf = path.names().back();
    }
    const bool rename = leaf != f.props.szName;
    if (rename) Check(client_.ns()->RenameFolder(id, 0, leaf.c_str()), f, leaf);
    HRESULT hr = client_.ns()->MoveFolder(id, parent, 0);
    if (FAILED(hr) && rename) client_.ns()->RenameFolder(id, 0, f.props.szName);
    Check(hr, f, leaf);
    printf("moved %s to %s\n", f.arg.c_str(), target.c_str());
    return 0;
  }

 private:
  // Opens FOLDER, which must be a folder and not the top of the store.
  OpenFolder Open(const std::wstring& text) {
    OpenFolder f;
    f.arg = ToAnsi(text);
    STOREFOLDERID id = client_.FindFolder(f.arg);
    if (id == FOLDERID_INVALID || id == FOLDERID_ROOT || !client_.GetProps(id, &f.props))
      Fail("no folder '" + f.arg + "' in the store; 'mxstore folders' lists them");
    HRESULT hr = client_.ns()->OpenFolder(id, 0, f.folder.put());
    if (FAILED(hr)) Fail("cannot open folder '" + f.arg + "' (" + HresultText(hr) + "); check the store");
    return f;
  }

  std::string NoMessage(const OpenFolder& f, MESSAGEID id) {
    return "no message " + std::to_string(id) + " in '" + f.arg + "'; 'mxstore list " + f.arg + "' shows the ids";
  }

  std::vector<MESSAGEID> CheckedIds(const OpenFolder& f, const std::vector<std::wstring>& texts) {
    std::vector<MESSAGEID> ids;
    for (const auto& t : texts) ids.push_back(ParseMessageId(t));
    for (MESSAGEID id : ids) {
      MESSAGEPROPS p = {};
      p.cbSize = sizeof(p);
      if (FAILED(f.folder->GetMessageProps(id, MSGPROPS_FAST, &p))) Fail(NoMessage(f, id));
      f.folder->FreeMessageProps(&p);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
  }

  void Check(HRESULT hr, const OpenFolder& f, const std::string& leaf) {
    if (hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS))
      Fail("a folder '" + leaf + "' is there already (names ignore case); choose another name");
    if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_NAME))
      Fail("'" + leaf + "' is not a valid folder name; use 1 to 255 bytes and no control characters");
    if (hr == E_ACCESSDENIED) Fail("cannot move '" + f.arg + "' into a folder inside it; name another folder");
    if (FAILED(hr)) Fail("cannot move '" + f.arg + "' (" + HresultText(hr) + "); check the store");
  }

  StoreClient& client_;
};

// The command line after the command: words, and the options each command knows.
struct Arguments {
  std::vector<std::wstring> words;
  std::set<std::wstring> flags;
  std::map<std::wstring, std::wstring> values;  // --mbox FILE, --eml DIR
};

struct CommandForm {
  const wchar_t* name;
  const char* synopsis;
  std::vector<std::wstring> flags, valued;
  size_t min_words, max_words;
};

const std::vector<CommandForm>& Commands() {
  static const std::vector<CommandForm> kCommands = {
      {L"folders", "folders", {}, {}, 0, 0},
      {L"list", "list FOLDER", {}, {}, 1, 1},
      {L"cat", "cat FOLDER ID", {}, {}, 2, 2},
      {L"mkdir", "mkdir [-p] FOLDER", {L"-p"}, {}, 1, 1},
      {L"import", "import FOLDER FILE... [--read] [--keep-line-ends] [--force]",
       {L"--read", L"--keep-line-ends", L"--force"}, {}, 2, SIZE_MAX},
      {L"export", "export FOLDER --mbox FILE [--crlf] | --eml DIR", {L"--crlf"}, {L"--mbox", L"--eml"}, 1, 1},
      {L"rm", "rm FOLDER ID... | rm [-r] FOLDER", {L"-r"}, {}, 1, SIZE_MAX},
      {L"mv", "mv FOLDER ID... TOFOLDER | mv FOLDER NEWPATH", {}, {}, 2, SIZE_MAX},
      {L"find", "find MESSAGE-ID", {}, {}, 1, 1},
      {L"check", "check", {}, {}, 0, 0},
      {L"compact", "compact", {}, {}, 0, 0},
      {L"recover", "recover", {}, {}, 0, 0},
  };
  return kCommands;
}

Arguments Parse(const CommandForm& form, const std::vector<std::wstring>& args) {
  const std::string usage = std::string("usage: mxstore ") + form.synopsis;
  Arguments out;
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& a = args[i];
    if (options && a == L"--") {
      options = false;
    } else if (options && a.size() > 1 && a[0] == L'-') {
      if (std::find(form.flags.begin(), form.flags.end(), a) != form.flags.end()) {
        out.flags.insert(a);
      } else if (std::find(form.valued.begin(), form.valued.end(), a) != form.valued.end()) {
        if (i + 1 == args.size()) Misuse(ToAnsi(a) + " needs a value; " + usage);
        out.values[a] = args[++i];
      } else {
        Misuse("no option " + ToAnsi(a) + " here; " + usage);
      }
    } else {
      out.words.push_back(a);
    }
  }
  if (out.words.size() < form.min_words || out.words.size() > form.max_words) Misuse(usage);
  return out;
}

// check: the findings on standard output, 1 when there are any. recover:
// the summary.
int Maintain(StoreClient& client, bool recover) {
  com_ptr<IStoreMaintenance> maintenance;
  if (FAILED(client.ns()->QueryInterface(IID_IStoreMaintenance, maintenance.put_void())))
    Fail("this mail store server cannot check or recover stores; install the one beside the tool");
  pelkary::unique_bstr text;
  HRESULT hr = recover ? maintenance->RecoverStore(text.put()) : maintenance->CheckStore(text.put());
  if (hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) Fail("there is no store there; name one with --store DIR");
  if (hr == E_ACCESSDENIED) Fail("the store cannot be written; check the permissions of its directory and files");
  if (FAILED(hr))
    Fail(std::string(recover ? "cannot recover" : "cannot check") + " the store (" + HresultText(hr) +
         "); check the disk");
  const std::string out = pelkary::bstr_to_ansi(text.get());
  if (recover) {
    printf("%s\n", out.c_str());
    return 0;
  }
  fputs(out.empty() ? "the store is sound\n" : out.c_str(), stdout);
  return hr == S_OK ? 0 : 1;
}

int Run(std::vector<std::wstring> args) {
  std::wstring store;
  if (args.size() >= 2 && args[0] == L"--store") {
    store = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty() || args[0] == L"help" || args[0] == L"--help" || args[0] == L"/?") {
    fputs(kUsage, stdout);
    return args.empty() ? 2 : 0;
  }
  const std::wstring cmd = args[0];
  auto form = std::find_if(Commands().begin(), Commands().end(),
                           [&](const CommandForm& c) { return cmd == c.name; });
  if (form == Commands().end()) Misuse("no command '" + ToAnsi(cmd) + "'; run mxstore help for the list");
  // Check the arguments before touching the store.
  Arguments a = Parse(*form, std::vector<std::wstring>(args.begin() + 1, args.end()));
  auto flag = [&](const wchar_t* f) { return a.flags.count(f) != 0; };
  auto value = [&](const wchar_t* v) { return a.values.count(v) ? &a.values[v] : nullptr; };
  const std::string usage = std::string("usage: mxstore ") + form->synopsis;
  if (cmd == L"export" && (!value(L"--mbox") == !value(L"--eml") || (flag(L"--crlf") && !value(L"--mbox"))))
    Misuse(usage);
  if (cmd == L"rm" && flag(L"-r") && a.words.size() > 1) Misuse("-r is for folders, not messages; " + usage);

  StoreClient client;
  std::string error;
  if (cmd == L"check" || cmd == L"recover") {
    if (!client.Connect(store, &error, false)) Fail(error);
    return Maintain(client, cmd == L"recover");
  }
  if (!client.Connect(store, &error)) Fail(error);
  Tool tool(client);
  const auto& w = a.words;
  const std::vector<std::wstring> rest(w.begin() + std::min<size_t>(1, w.size()), w.end());
  if (cmd == L"folders") return tool.Folders();
  if (cmd == L"compact") return tool.Compact();
  if (cmd == L"list") return tool.List(w[0]);
  if (cmd == L"mkdir") return tool.Mkdir(w[0], flag(L"-p"));
  if (cmd == L"import")
    return tool.Import(w[0], rest, flag(L"--read"), flag(L"--keep-line-ends"), flag(L"--force"));
  if (cmd == L"export") return tool.Export(w[0], value(L"--mbox"), value(L"--eml"), flag(L"--crlf"));
  if (cmd == L"cat") return tool.Cat(w[0], w[1]);
  if (cmd == L"find") return tool.Find(w[0]);
  if (cmd == L"rm") return w.size() == 1 ? tool.RemoveFolder(w[0], flag(L"-r")) : tool.RemoveMessages(w[0], rest);
  if (w.size() == 2) return tool.MoveFolder(w[0], w[1]);
  return tool.MoveMessages(w[0], std::vector<std::wstring>(w.begin() + 1, w.end() - 1), w.back());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int status;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    fputs("mxstore: cannot start COM; check the Windows installation\n", stderr);
    return 1;
  }
  try {
    status = Run(std::vector<std::wstring>(argv + 1, argv + argc));
  } catch (const Failure& f) {
    fprintf(stderr, "mxstore: %s\n", f.text.c_str());
    status = f.code;
  } catch (const std::exception& e) {
    fprintf(stderr, "mxstore: stopped: %s; nothing more was done, retry the command\n", e.what());
    status = 1;
  }
  CoUninitialize();
  return status;
}

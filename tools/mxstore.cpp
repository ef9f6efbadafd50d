// mxstore: fills a mail store and gets mail out of it, through the store's
// own COM interfaces (so what it does is exactly what any client could do,
// and other processes on the store are notified as for any client).
#include <windows.h>
#include <objbase.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "comsupport/com_ptr.h"
#include "comsupport/stream_io.h"
#include "comsupport/text.h"
#include "comsupport/unique_any.h"
#include "comsupport/unique_henumstore.h"
#include "mbox_format.h"
#include "store_client.h"

using pelkary::com_ptr;
using mxstore::MboxFormat;
using mxstore::StoreClient;

namespace {

const char kUsage[] =
    "usage: mxstore [--store DIR] COMMAND ...\n"
    "  folders                          list the folder tree with message counts\n"
    "  list FOLDER                      list the messages of a folder\n"
    "  mkdir FOLDER                     create a folder (its parent must exist)\n"
    "  import FOLDER FILE... [--read]   import .eml files and mbox files into a folder\n"
    "  export FOLDER --mbox FILE        write a folder's messages into one mbox file\n"
    "  export FOLDER --eml DIR          write a folder's messages as DIR\\<id>.eml\n"
    "  cat FOLDER ID                    write one message's source to standard output\n"
    "FOLDER is a path of names from the top (\"Inbox\", \"Archive/2024\") or a folder id.\n"
    "The store is --store DIR, else %MAILSTORE_DIR%, else the configured or default store.\n";

int Usage() {
  fputs(kUsage, stderr);
  return 2;
}

int Fail(const std::string& message) {
  fprintf(stderr, "mxstore: %s\n", message.c_str());
  return 1;
}

std::string ToAnsi(const std::wstring& w) { return pelkary::to_ansi(w.c_str(), static_cast<int>(w.size())); }

bool ReadFileBytes(const std::wstring& path, std::string* out, std::string* error) {
  pelkary::unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    *error = "cannot open '" + ToAnsi(path) + "': " +
             (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND
                  ? "no such file; check the path"
                  : "access denied or in use");
    return false;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) {
    *error = "'" + ToAnsi(path) + "' is too large to import (over 2 GB)";
    return false;
  }
  out->resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < out->size()) {
    DWORD got = 0;
    if (!ReadFile(file.get(), &(*out)[done], static_cast<DWORD>(out->size() - done), &got, nullptr) || !got) {
      *error = "cannot read '" + ToAnsi(path) + "'";
      return false;
    }
    done += got;
  }
  return true;
}

bool WriteFileBytes(const std::wstring& path, const std::string& data, std::string* error) {
  pelkary::unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD put = 0;
  if (!file || !WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &put, nullptr) ||
      put != data.size()) {
    *error = "cannot write '" + ToAnsi(path) + "'; check that the directory exists and is writable";
    return false;
  }
  return true;
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

class Tool {
 public:
  explicit Tool(StoreClient& client) : client_(client) {}

  // Opens FOLDER or explains why not.
  bool Open(const std::wstring& name, com_ptr<IStoreFolder>* folder, STOREFOLDERID* id_out = nullptr) {
    std::string ansi = ToAnsi(name);
    STOREFOLDERID id = client_.FindFolder(ansi);
    if (id == FOLDERID_INVALID || id == FOLDERID_ROOT) {
      Fail("no folder '" + ansi + "' in the store; 'mxstore folders' lists them");
      return false;
    }
    if (FAILED(client_.ns()->OpenFolder(id, 0, folder->put()))) {
      Fail("cannot open folder '" + ansi + "'");
      return false;
    }
    if (id_out) *id_out = id;
    return true;
  }

  int Folders() {
    printf("Local Folders\n");
    PrintTree(client_.ns(), FOLDERID_ROOT, 1);
    return 0;
  }

  int List(const std::wstring& name) {
    com_ptr<IStoreFolder> folder;
    if (!Open(name, &folder)) return 1;
    for (const auto& m : ListMessages(folder.get())) {
      SYSTEMTIME st = {};
      FileTimeToSystemTime(&m.sent, &st);
      printf("%6lu %c %8lu  %04u-%02u-%02u %02u:%02u  %-24.24s  %s\n", m.id,
             (m.state & MSG_UNREAD) ? 'U' : ' ', m.size, st.wYear, st.wMonth, st.wDay, st.wHour,
             st.wMinute, m.from.c_str(), m.subject.c_str());
    }
    return 0;
  }

  int Mkdir(const std::wstring& path) {
    std::string ansi = ToAnsi(path);
    size_t slash = ansi.find_last_of("/\\");
    std::string parent_path = slash == std::string::npos ? "" : ansi.substr(0, slash);
    std::string leaf = slash == std::string::npos ? ansi : ansi.substr(slash + 1);
    STOREFOLDERID parent = client_.FindFolder(parent_path);
    if (parent == FOLDERID_INVALID) return Fail("no folder '" + parent_path + "' to create '" + leaf + "' in");
    STOREFOLDERID id;
    HRESULT hr = client_.ns()->CreateFolder(parent, leaf.c_str(), 0, &id);
    if (hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS))
      return Fail("a folder '" + leaf + "' already exists there (names ignore case)");
    if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_NAME))
      return Fail("'" + leaf + "' is not a valid folder name (1 to 255 bytes, no control characters)");
    if (FAILED(hr)) return Fail("cannot create folder '" + leaf + "'");
    printf("created %s (id %lu)\n", ansi.c_str(), id);
    return 0;
  }

  int Import(const std::wstring& name, const std::vector<std::wstring>& files, bool read) {
    com_ptr<IStoreFolder> folder;
    if (!Open(name, &folder)) return 1;
    // Read and split everything first: a bad file stops the import before
    // anything is stored.
    std::vector<std::string> messages;
    for (const auto& file : files) {
      std::string data, error;
      if (!ReadFileBytes(file, &data, &error)) return Fail(error);
      if (MboxFormat::LooksLikeMbox(data)) {
        for (auto& m : MboxFormat::Split(data)) messages.push_back(std::move(m));
      } else {
        messages.push_back(std::move(data));
      }
    }
    DWORD flags = MSG_RECEIVED | (read ? 0 : MSG_UNREAD);
    bool progress = messages.size() >= 100;
    size_t step = messages.size() / 100 + 1;
    for (size_t i = 0; i < messages.size(); ++i) {
      com_ptr<IStream> stream;
      MESSAGEID id;
      HRESULT hr = folder->CreateStream(nullptr, 0, stream.put(), &id);
      ULONG put = 0;
      if (SUCCEEDED(hr))
        hr = stream->Write(messages[i].data(), static_cast<ULONG>(messages[i].size()), &put);
      if (SUCCEEDED(hr)) hr = folder->CommitStream(nullptr, 0, flags, stream.get(), id, nullptr);
      if (FAILED(hr)) {
        if (progress) fputc('\n', stderr);
        char buf[64];
        snprintf(buf, sizeof(buf), "0x%08lX", hr);
        return Fail("storing message " + std::to_string(i + 1) + " failed (" + buf + ") after " +
                    std::to_string(i) + " were imported; check free disk space and retry the rest");
      }
      if (progress && (i % step == 0 || i + 1 == messages.size()))
        fprintf(stderr, "\rimporting: %zu of %zu (%zu%%)", i + 1, messages.size(),
                (i + 1) * 100 / messages.size());
    }
    if (progress) fputc('\n', stderr);
    printf("imported %zu message%s into %s\n", messages.size(), messages.size() == 1 ? "" : "s",
           ToAnsi(name).c_str());
    return 0;
  }

  int Export(const std::wstring& name, bool mbox, const std::wstring& target) {
    com_ptr<IStoreFolder> folder;
    if (!Open(name, &folder)) return 1;
    std::string error, all, source;
    auto messages = ListMessages(folder.get());
    if (!mbox && !CreateDirectoryW(target.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return Fail("cannot create directory '" + ToAnsi(target) + "'; check the path");
    for (const auto& m : messages) {
      if (!ReadSource(folder.get(), m.id, &source)) continue;  // deleted meanwhile
      if (mbox) {
        SYSTEMTIME st;
        FileTimeToSystemTime(&m.sent, &st);
        static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        char date[64];
        snprintf(date, sizeof(date), "%s %s %2u %02u:%02u:%02u %04u", kDays[st.wDayOfWeek % 7],
                 kMonths[(st.wMonth + 11) % 12], st.wDay, st.wHour, st.wMinute, st.wSecond, st.wYear);
        MboxFormat::Append(source, "MAILER-DAEMON", date, &all);
      } else {
        std::wstring file = target + L"\\" + std::to_wstring(m.id) + L".eml";
        if (!WriteFileBytes(file, source, &error)) return Fail(error);
      }
    }
    if (mbox && !WriteFileBytes(target, all, &error)) return Fail(error);
    printf("exported %zu message%s\n", messages.size(), messages.size() == 1 ? "" : "s");
    return 0;
  }

  int Cat(const std::wstring& name, const std::wstring& id_text) {
    com_ptr<IStoreFolder> folder;
    if (!Open(name, &folder)) return 1;
    wchar_t* end = nullptr;
    unsigned long id = wcstoul(id_text.c_str(), &end, 10);
    std::string source;
    if (id_text.empty() || *end || !ReadSource(folder.get(), id, &source))
      return Fail("no message " + ToAnsi(id_text) + " in " + ToAnsi(name) + "; 'mxstore list' shows the ids");
    _setmode(_fileno(stdout), _O_BINARY);
    fwrite(source.data(), 1, source.size(), stdout);
    return 0;
  }

 private:
  StoreClient& client_;
};

int Run(std::vector<std::wstring> args) {
  std::wstring store;
  if (args.size() >= 2 && args[0] == L"--store") {
    store = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return Usage();
  const std::wstring cmd = args[0];
  args.erase(args.begin());
  bool read = false;
  for (auto it = args.begin(); it != args.end();) {
    if (*it == L"--read") {
      read = true;
      it = args.erase(it);
    } else {
      ++it;
    }
  }
  // Check the arguments before touching the store.
  if (cmd == L"folders" ? !args.empty()
      : cmd == L"list" || cmd == L"mkdir" ? args.size() != 1
      : cmd == L"import" ? args.size() < 2
      : cmd == L"export" ? args.size() != 3 || (args[1] != L"--mbox" && args[1] != L"--eml")
      : cmd == L"cat" ? args.size() != 2
                      : true)
    return Usage();

  StoreClient client;
  std::string error;
  if (!client.Connect(store, &error)) return Fail(error);
  Tool tool(client);
  if (cmd == L"folders") return tool.Folders();
  if (cmd == L"list") return tool.List(args[0]);
  if (cmd == L"mkdir") return tool.Mkdir(args[0]);
  if (cmd == L"import") return tool.Import(args[0], std::vector<std::wstring>(args.begin() + 1, args.end()), read);
  if (cmd == L"export") return tool.Export(args[0], args[1] == L"--mbox", args[2]);
  return tool.Cat(args[0], args[1]);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail("cannot start COM");
  int status;
  try {
    status = Run(std::vector<std::wstring>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    status = Fail(std::string("stopped: ") + e.what());
  }
  CoUninitialize();
  return status;
}

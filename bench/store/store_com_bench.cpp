// The store through its COM interfaces under Wine. Run on demand:
//   scripts/wine.sh run $PELKARY_BUILD/bin/store_com_bench.exe [--quick]
// (mailstore.dll registered). Each figure beside a baseline on the same bytes.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_script.h"
#include "comsupport/holders.h"
#include "mailstore/store.h"
#include "store_api.h"

using pelkary::com_ptr;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void Line(const char* what, double value, const char* unit, const char* base_what, double base,
          const char* base_unit) {
  printf("%-40s %12.1f %-10s | baseline %-28s %12.1f %s\n", what, value, unit, base_what, base, base_unit);
}

std::string MakeSource(std::mt19937& rng, size_t size, uint32_t n) {
  std::string s = "From: Sender " + std::to_string(n) + " <s@example.com>\r\nTo: You <y@example.com>\r\n"
                  "Subject: message " + std::to_string(n) + "\r\nDate: Tue, 1 Jul 2003 10:52:37 +0200\r\n\r\n";
  while (s.size() < size) s.push_back(static_cast<char>('a' + rng() % 26));
  s.resize(size);
  return s;
}

std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
  s.resize(static_cast<size_t>(n - 1));
  return s;
}

com_ptr<IStoreNamespace> Connect(const std::wstring& dir) {
  SetEnvironmentVariableW(L"MAILSTORE_DIR", dir.c_str());
  com_ptr<IStoreNamespace> ns;
  if (FAILED(CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER, IID_IStoreNamespace,
                              ns.put_void())) ||
      FAILED(ns->Initialize(nullptr, 1)))
    return nullptr;
  return ns;
}

// CPU time of the calling thread, in seconds: on a shared machine the wall
// clock also counts time spent waiting for a core.
double ThreadCpu() {
  FILETIME create, exit, kernel, user;
  GetThreadTimes(GetCurrentThread(), &create, &exit, &kernel, &user);
  auto ticks = [](FILETIME f) { return (uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  return (ticks(kernel) + ticks(user)) / 1e7;
}

double RawRead(const std::wstring& path, std::vector<char>& buf) {
  auto t = Clock::now();
  pelkary::unique_hfile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  DWORD got;
  uint64_t total = 0;
  while (ReadFile(f.get(), buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr) && got) total += got;
  return total / Seconds(t) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  std::wstring root = pelkary::bench::NewTempDirectory(L"store-com-bench-");
  std::mt19937 rng(7);

  // 1. CreateStream/CommitStream beside a durable write of the same bytes.
  const int kCommits = quick ? 1000 : 10000;
  std::vector<std::string> sources;
  for (int i = 0; i < kCommits; ++i) sources.push_back(MakeSource(rng, 1024 + rng() % (19 * 1024), i));
  {
    std::wstring raw_dir = root + L"\\raw";
    CreateDirectoryW(raw_dir.c_str(), nullptr);
    auto t = Clock::now();
    for (int i = 0; i < kCommits; ++i) {
      pelkary::unique_hfile f(CreateFileW((raw_dir + L"\\" + std::to_wstring(i) + L".eml").c_str(),
                                          GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      DWORD put;
      WriteFile(f.get(), sources[i].data(), static_cast<DWORD>(sources[i].size()), &put, nullptr);
      FlushFileBuffers(f.get());
    }
    double raw = Seconds(t);
    auto ns = Connect(root + L"\\commit");
    if (!ns) return printf("cannot open a store: is mailstore.dll registered?\n"), 1;
    com_ptr<IStoreFolder> inbox;
    ns->OpenSpecialFolder(FOLDER_INBOX, 0, inbox.put());
    t = Clock::now();
    for (int i = 0; i < kCommits; ++i) {
      com_ptr<IStream> s;
      MESSAGEID id;
      inbox->CreateStream(nullptr, 0, s.put(), &id);
      s->Write(sources[i].data(), static_cast<ULONG>(sources[i].size()), nullptr);
      inbox->CommitStream(nullptr, 0, MSG_UNREAD, s.get(), id, nullptr);
    }
    double ours = Seconds(t);
    Line(("CreateStream/CommitStream x" + std::to_string(kCommits)).c_str(), kCommits / ours, "msgs/s",
         "write+flush of each file", kCommits / raw, "msgs/s");
    printf("%-40s %12.2f x raw (target <= 2)\n", "  commit cost", ours / raw);
  }

  // 2-4. A 100,000-message store, built through the engine in one batch.
  const uint32_t kMessages = 100000;
  std::wstring big = root + L"\\big";
  {
    mailstore::Status st;
    auto store = mailstore::Store::Open(Utf8(big), true, &st);
    store->SetSyncEachCall(false);
    uint32_t inbox = store->SpecialFolderId(0);
    for (uint32_t i = 0; i < kMessages; ++i) {
      mailstore::MessageFields f;
      f.subject = "message " + std::to_string(i);
      f.normalized_subject = f.subject;
      f.display_from = "Sender " + std::to_string(i);
      f.display_to = "You";
      uint32_t id;
      store->AddMessage(inbox, mailstore::kInvalidId, sources[i % sources.size()], 2, f, &id);
    }
    store->Flush();
  }
  std::vector<char> chunk(1 << 16);
  double index_read = RawRead(big + L"\\journal.dat", chunk);  // also warms the cache
  {
    auto t = Clock::now();
    double cpu = ThreadCpu();
    auto ns = Connect(big);
    double open = Seconds(t);
    cpu = ThreadCpu() - cpu;
    Line("open a 100,000-message store", open * 1000, "ms", "index file read (MB/s)", index_read, "MB/s");
    printf("%-40s %12.1f ms CPU (target < 200 ms)\n", "", cpu * 1000);
    com_ptr<IStoreFolder> inbox;
    ns->OpenSpecialFolder(FOLDER_INBOX, 0, inbox.put());

    MESSAGEPROPS p = {};
    p.cbSize = sizeof(p);
    HENUMSTORE e;
    t = Clock::now();
    double enum_cpu = ThreadCpu();
    size_t n = 0;
    HRESULT hr = inbox->GetFirstMessage(MSGPROPS_FAST, 0, MESSAGEID_FIRST, &p, &e);
    while (hr == S_OK) {
      ++n;
      inbox->FreeMessageProps(&p);
      hr = inbox->GetNextMessage(e, MSGPROPS_FAST, &p);
    }
    inbox->GetMessageClose(e);
    double enumerate = Seconds(t);
    enum_cpu = ThreadCpu() - enum_cpu;

    // The same walk over plain memory: the floor any enumeration has.
    std::vector<std::string> copy(n, std::string(24, 's'));
    t = Clock::now();
    size_t sum = 0;
    for (const auto& s : copy) sum += s.size();
    double floor = Seconds(t) + 1e-9;
    Line("enumerate 100,000 records (COM)", n / enumerate, "records/s", "walk of in-memory strings",
         n / floor, "items/s");
    printf("%-40s %12.1f records per CPU second (target >= 1,000,000 records/s)%s\n", "",
           n / (enum_cpu + 1e-9), sum ? "" : " ");

    std::vector<MESSAGEID> ids(kMessages);
    for (auto& id : ids) id = 1 + rng() % kMessages;
    t = Clock::now();
    for (MESSAGEID id : ids)
      if (inbox->GetMessageProps(id, 0, &p) == S_OK) inbox->FreeMessageProps(&p);
    double lookups = Seconds(t);
    Line("100,000 random GetMessageProps", kMessages / lookups, "calls/s", "enumeration above", n / enumerate,
         "records/s");
  }

  // 5. A 100 MB source through OpenMessage(IID_IStream) beside ReadFile.
  {
    std::string huge(100u << 20, '\0');
    for (size_t i = 0; i < huge.size(); ++i) huge[i] = static_cast<char>('a' + (i * 7) % 26);
    std::wstring copy = root + L"\\huge.eml";
    {
      pelkary::unique_hfile f(CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      DWORD put;
      WriteFile(f.get(), huge.data(), static_cast<DWORD>(huge.size()), &put, nullptr);
    }
    auto ns = Connect(root + L"\\huge");
    com_ptr<IStoreFolder> inbox;
    ns->OpenSpecialFolder(FOLDER_INBOX, 0, inbox.put());
    com_ptr<IStream> s;
    MESSAGEID id;
    inbox->CreateStream(nullptr, 0, s.put(), &id);
    s->Write(huge.data(), static_cast<ULONG>(huge.size()), nullptr);
    inbox->CommitStream(nullptr, 0, 0, s.get(), id, nullptr);
    huge = std::string();
    RawRead(copy, chunk);
    double raw = RawRead(copy, chunk);
    auto t = Clock::now();
    com_ptr<IStream> in;
    inbox->OpenMessage(id, IID_IStream, in.put_void());
    uint64_t total = 0;
    ULONG got;
    while (SUCCEEDED(in->Read(chunk.data(), static_cast<ULONG>(chunk.size()), &got)) && got) total += got;
    double ours = total / Seconds(t) / 1e6;
    Line("read 100 MB via OpenMessage(IStream)", ours, "MB/s", "ReadFile of the same bytes", raw, "MB/s");
  }
  CoUninitialize();
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(root), ec);
  return 0;
}

// Two processes on one store: the store tool imports an mbox in a child
// process while this one watches through registered windows and reads every
// message back.
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comsupport/holders.h"
#include "mbox_format.h"
#include "store_api.h"
#include "support/temp_store.h"

using pelkary::com_ptr;

namespace {

std::wstring WindowsPath(const std::string& unix_path) {
  std::wstring out = L"Z:";
  for (char c : unix_path) out.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
  return out;
}

struct Seen {
  std::vector<WPARAM> arrivals;     // 2674 to the Inbox window
  std::vector<uint32_t> changes;    // 2624 folder ids with type 5
};
Seen* g_seen = nullptr;

LRESULT CALLBACK WatchProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (g_seen && msg == WM_NEWMSGS) g_seen->arrivals.push_back(wp);
  if (msg == WM_FOLDERNOTIFY) {
    pelkary::unique_cotaskmem<FOLDERNOTIFYEX> record(reinterpret_cast<FOLDERNOTIFYEX*>(lp));
    if (g_seen && record->type == UNREAD_CHANGE) g_seen->changes.push_back(record->idFolder);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

std::string MakeMbox(int count) {
  std::string mbox;
  for (int i = 0; i < count; ++i) {
    std::string body = "Message number " + std::to_string(i) + "\r\n";
    for (int k = 0; k < i % 7; ++k) body += "From the middle of a line? No: a quoted From line\r\n";
    body += std::string(100 + i * 37 % 3000, 'x') + "\r\n";
    std::string msg = "From: Sender " + std::to_string(i) + " <s" + std::to_string(i) +
                      "@example.com>\r\nSubject: import " + std::to_string(i) + "\r\n\r\n" + body;
    mxstore::MboxFormat::Append(msg, "someone@example.com", "Mon Jan  1 00:00:00 2024", &mbox);
  }
  return mbox;
}

// Starts the store tool with |args|, its output discarded.
pelkary::unique_handle StartTool(const std::wstring& args) {
  std::wstring tool = WindowsPath(PELKARY_BIN_DIR "/mxstore.exe");
  std::wstring cmd = L"\"" + tool + L"\" " + args;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  pelkary::unique_hfile null_out(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit,
                                             OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = null_out.get();
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    return pelkary::unique_handle();
  pelkary::unique_handle thread(pi.hThread);
  return pelkary::unique_handle(pi.hProcess);
}

}  // namespace

// A fresh store with its namespace and Inbox open in this process; the other process is the
// store tool.
class TwoProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IStoreNamespace, ns.put_void()));
    ASSERT_EQ(S_OK, ns->Initialize(nullptr, 1));
    ASSERT_EQ(S_OK, ns->OpenSpecialFolder(FOLDER_INBOX, 0, inbox.put()));
  }
  void TearDown() override {
    inbox = nullptr;
    ns = nullptr;
    CoUninitialize();
  }

  pelkary::test::TempStore store_;  // first member: the directory outlives everything that opens it
  com_ptr<IStoreNamespace> ns;
  com_ptr<IStoreFolder> inbox;
};

TEST_F(TwoProcesses, KilledImporterLeavesAConsistentStore) {
  const std::wstring& dir = store_.path();

  std::string mbox = MakeMbox(300);
  auto expected = mxstore::MboxFormat::Split(mbox);
  std::wstring mbox_path = std::wstring(dir) + L".mbox";
  {
    pelkary::unique_hfile f(CreateFileW(mbox_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD put;
    ASSERT_TRUE(WriteFile(f.get(), mbox.data(), static_cast<DWORD>(mbox.size()), &put, nullptr));
  }
  const std::wstring args = L"--store \"" + std::wstring(dir) + L"\" import Inbox \"" + mbox_path + L"\"";
  const int kKills = 20;
  unsigned seed = 17;
  MESSAGEID last = 0;
  for (int round = 0; round < kKills; ++round) {
    pelkary::unique_handle process = StartTool(args);
    ASSERT_TRUE(process);
    // Kill at a random instant once the tool is storing (the count moved).
    FOLDERPROPS props = {};
    props.cbSize = sizeof(props);
    inbox->GetFolderProps(0, &props);
    const DWORD before = props.cMessage;
    for (DWORD waited = 0; waited < 20000 && props.cMessage == before; waited += 5) {
      if (WaitForSingleObject(process.get(), 5) == WAIT_OBJECT_0) break;
      inbox->GetFolderProps(0, &props);
    }
    seed = seed * 1103515245u + 12345u;
    Sleep((seed >> 16) % 150);
    TerminateProcess(process.get(), 9);
    WaitForSingleObject(process.get(), INFINITE);

    // Every stored message is whole: one of the mbox's, byte for byte.
    MESSAGEPROPS p = {};
    p.cbSize = sizeof(p);
    HENUMSTORE e = nullptr;
    last = 0;
    HRESULT hr = inbox->GetFirstMessage(0, 0, MESSAGEID_FIRST, &p, &e);
    while (hr == S_OK) {
      EXPECT_GT(p.dwMessageId, last);
      last = p.dwMessageId;
      int index = atoi(p.pszSubject + strlen("import "));
      ASSERT_TRUE(index >= 0 && index < static_cast<int>(expected.size())) << p.pszSubject;
      com_ptr<IStream> s;
      ASSERT_EQ(S_OK, inbox->OpenMessage(p.dwMessageId, IID_IStream, s.put_void()));
      std::string got;
      char buf[8192];
      ULONG n;
      while (SUCCEEDED(s->Read(buf, sizeof(buf), &n)) && n) got.append(buf, n);
      ASSERT_EQ(expected[index], got) << "round " << round << ", message " << p.dwMessageId;
      inbox->FreeMessageProps(&p);
      hr = inbox->GetNextMessage(e, 0, &p);
    }
    if (e) inbox->GetMessageClose(e);
  }
  // The kills landed while the tool was storing (it got somewhere, not everywhere).
  EXPECT_GT(last, 0u);
  EXPECT_LT(last, static_cast<MESSAGEID>(kKills * expected.size()));
  printf("[ kills ] %d kill points under Wine, %lu messages stored\n", kKills, last);
  // The store still takes writes after the last kill.
  MESSAGEID id;
  com_ptr<IStream> s;
  ASSERT_EQ(S_OK, inbox->CreateStream(nullptr, 0, s.put(), &id));
  s->Write("Subject: import 0\r\n\r\n", 22, nullptr);
  EXPECT_EQ(S_OK, inbox->CommitStream(nullptr, 0, 0, s.get(), id, nullptr));
  DeleteFileW(mbox_path.c_str());
}

TEST_F(TwoProcesses, ImportInAnotherProcessIsSeenAndNotified) {
  const std::wstring& dir = store_.path();

  WNDCLASSW wc = {};
  wc.lpfnWndProc = WatchProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"StoreTwoProcessWatch";
  RegisterClassW(&wc);
  pelkary::unique_hwnd store_window(CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0,
                                                    HWND_MESSAGE, nullptr, wc.hInstance, nullptr));
  pelkary::unique_hwnd inbox_window(CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0,
                                                    HWND_MESSAGE, nullptr, wc.hInstance, nullptr));
  ASSERT_EQ(S_OK, ns->RegisterNotification(0, store_window.get()));
  ASSERT_EQ(S_OK, inbox->RegisterNotification(0, inbox_window.get()));

  const int kCount = 150;
  std::string mbox = MakeMbox(kCount);
  std::wstring mbox_path = std::wstring(dir) + L".mbox";
  {
    pelkary::unique_hfile f(CreateFileW(mbox_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD put;
    ASSERT_TRUE(WriteFile(f.get(), mbox.data(), static_cast<DWORD>(mbox.size()), &put, nullptr));
  }

  pelkary::unique_handle process =
      StartTool(L"--store \"" + std::wstring(dir) + L"\" import Inbox \"" + mbox_path + L"\"");
  ASSERT_TRUE(process);

  Seen seen;
  g_seen = &seen;
  DWORD start = GetTickCount();
  bool exited = false;
  while (GetTickCount() - start < 60000) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    if (!exited && WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) exited = true;
    if (exited && seen.arrivals.size() >= kCount) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  g_seen = nullptr;
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  ASSERT_EQ(0u, code) << "the store tool failed";

  // Every arrival notified, in id order, with an unread change for the Inbox.
  ASSERT_EQ(static_cast<size_t>(kCount), seen.arrivals.size());
  for (size_t i = 1; i < seen.arrivals.size(); ++i) EXPECT_GT(seen.arrivals[i], seen.arrivals[i - 1]);
  ASSERT_FALSE(seen.changes.empty());
  EXPECT_EQ(1u, seen.changes.front());

  // Read back byte for byte.
  auto expected = mxstore::MboxFormat::Split(mbox);
  ASSERT_EQ(static_cast<size_t>(kCount), expected.size());
  for (int i = 0; i < kCount; ++i) {
    com_ptr<IStream> s;
    ASSERT_EQ(S_OK, inbox->OpenMessage(static_cast<MESSAGEID>(seen.arrivals[i]), IID_IStream, s.put_void()));
    std::string got;
    char buf[8192];
    ULONG n;
    while (SUCCEEDED(s->Read(buf, sizeof(buf), &n)) && n) got.append(buf, n);
    ASSERT_EQ(expected[i], got) << "message " << i;
  }
  FOLDERPROPS p = {};
  p.cbSize = sizeof(p);
  ASSERT_EQ(S_OK, inbox->GetFolderProps(0, &p));
  EXPECT_EQ(static_cast<DWORD>(kCount), p.cMessage);
  EXPECT_EQ(static_cast<DWORD>(kCount), p.cUnread);
  DeleteFileW(mbox_path.c_str());
}

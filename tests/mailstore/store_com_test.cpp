// The store's interfaces as a client reaches them: created by class id through
// COM, in a store directory of the test's own.
#include <windows.h>
#include <objbase.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comsupport/holders.h"
#include "mime_api.h"
#include "store_api.h"
#include "support/temp_store.h"

using pelkary::com_ptr;

namespace {

struct Posted {
  HWND hwnd;
  UINT msg;
  WPARAM wparam;
  uint32_t type = 0, folder2 = 0, folder = 0;  // 2624 record
  uint32_t first_id = 0;                       // 2675 array
};

std::vector<Posted>* g_log = nullptr;

LRESULT CALLBACK RecordProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg >= WM_FOLDERNOTIFY && msg <= WM_DELETEFOLDER && g_log) {
    Posted p{hwnd, msg, wp};
    if (msg == WM_FOLDERNOTIFY) {
      pelkary::unique_cotaskmem<FOLDERNOTIFYEX> record(reinterpret_cast<FOLDERNOTIFYEX*>(lp));
      p.type = record->type;
      p.folder2 = record->idFolder2;
      p.folder = record->idFolder;
    }
    if (msg == WM_DELETEMSGS) p.first_id = *reinterpret_cast<const uint32_t*>(wp);
    p.wparam = (msg == WM_DELETEMSGS) ? 0 : wp;
    g_log->push_back(p);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// A hidden window that records what the store posts to it.
class Recorder {
 public:
  Recorder() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = RecordProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"StoreTestRecorder";
    wc.hCursor = nullptr;
    RegisterClassW(&wc);
    // Message-only: the store posts to any window, and these need no display.
    hwnd_.reset(CreateWindowExW(0, L"StoreTestRecorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr));
  }
  HWND hwnd() const { return hwnd_.get(); }
  // What this window got out of |all|.
  std::vector<Posted> Of(const std::vector<Posted>& all) const {
    std::vector<Posted> mine;
    for (const auto& p : all)
      if (p.hwnd == hwnd_.get()) mine.push_back(p);
    return mine;
  }
  // Pumps this thread's queue until nothing more arrives for |quiet_ms|.
  static std::vector<Posted> Drain(DWORD quiet_ms = 150) {
    std::vector<Posted> log;
    g_log = &log;
    DWORD last = GetTickCount();
    while (GetTickCount() - last < quiet_ms) {
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&m);
        last = GetTickCount();
      }
      Sleep(5);
    }
    g_log = nullptr;
    return log;
  }

 private:
  pelkary::unique_hwnd hwnd_;
};

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    HRESULT hr = CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IStoreNamespace, ns_.put_void());
    ASSERT_EQ(S_OK, hr) << "is mailstore.dll registered?";
    ASSERT_EQ(S_OK, ns_->Initialize(nullptr, 1));
    ASSERT_EQ(S_OK, ns_->OpenSpecialFolder(FOLDER_INBOX, 0, inbox_.put()));
  }
  void TearDown() override {
    inbox_ = nullptr;
    ns_ = nullptr;
    CoUninitialize();
  }

  MESSAGEID Commit(IStoreFolder* folder, const std::string& source, DWORD flags = 0) {
    com_ptr<IStream> stream;
    MESSAGEID id = MESSAGEID_INVALID;
    EXPECT_EQ(S_OK, folder->CreateStream(nullptr, 0, stream.put(), &id));
    ULONG written = 0;
    stream->Write(source.data(), static_cast<ULONG>(source.size()), &written);
    EXPECT_EQ(S_OK, folder->CommitStream(nullptr, 0, flags, stream.get(), id, nullptr));
    return id;
  }

  std::string ReadSource(IStoreFolder* folder, MESSAGEID id) {
    com_ptr<IStream> stream;
    if (FAILED(folder->OpenMessage(id, IID_IStream, stream.put_void()))) return "<none>";
    std::string out;
    char buf[4096];
    ULONG got;
    while (SUCCEEDED(stream->Read(buf, sizeof(buf), &got)) && got) out.append(buf, got);
    return out;
  }

  FOLDERPROPS Props(STOREFOLDERID id) {
    FOLDERPROPS p = {};
    p.cbSize = sizeof(p);
    EXPECT_EQ(S_OK, ns_->GetFolderProps(id, 0, &p));
    return p;
  }

  pelkary::test::TempStore store_;  // first member: the directory outlives everything that opens it
  com_ptr<IStoreNamespace> ns_;
  com_ptr<IStoreFolder> inbox_;
};

MESSAGEIDLIST OneId(MESSAGEID* id) { return MESSAGEIDLIST{sizeof(MESSAGEIDLIST), 1, id}; }

const char kMessage[] =
    "From: Alice Example <alice@example.com>\r\n"
    "To: Bob <bob@example.com>\r\n"
    "Subject: Re: Quarterly =?ISO-8859-1?Q?r=E9sum=E9?=\r\n"
    "Date: Tue, 1 Jul 2003 10:52:37 +0200\r\n"
    "X-Priority: 1\r\n"
    "\r\n"
    "Body text.\r\n";

}  // namespace

TEST_F(StoreTest, DirectoryAndSpecialFolders) {
  char path[MAX_PATH * 2];
  ASSERT_EQ(S_OK, ns_->GetDirectory(path, sizeof(path)));
  char expected[MAX_PATH * 2];
  WideCharToMultiByte(CP_ACP, 0, store_.path().c_str(), -1, expected, sizeof(expected), nullptr, nullptr);
  EXPECT_STREQ(expected, path);
  EXPECT_NE(S_OK, ns_->GetDirectory(path, 3));

  const char* names[] = {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"};
  for (int i = 0; i < 5; ++i) {
    com_ptr<IStoreFolder> f;
    ASSERT_EQ(S_OK, ns_->OpenSpecialFolder(static_cast<SPECIALFOLDER>(i), 0, f.put()));
    FOLDERPROPS p = {};
    p.cbSize = sizeof(p);
    ASSERT_EQ(S_OK, f->GetFolderProps(0, &p));
    EXPECT_STREQ(names[i], p.szName);
    EXPECT_EQ(i, p.sfType);
  }
  com_ptr<IStoreFolder> f;
  EXPECT_TRUE(FAILED(ns_->OpenSpecialFolder(static_cast<SPECIALFOLDER>(7), 0, f.put())));
  EXPECT_EQ(nullptr, f.get());
  EXPECT_TRUE(FAILED(ns_->OpenFolder(FOLDERID_ROOT, 0, f.put())));
  EXPECT_TRUE(FAILED(ns_->OpenFolder(12345, 0, f.put())));
}

TEST_F(StoreTest, CommitStreamStoresSourceAndRecord) {
  MESSAGEID id = Commit(inbox_.get(), kMessage, MSG_UNREAD);
  ASSERT_NE(MESSAGEID_INVALID, id);
  EXPECT_EQ(kMessage, ReadSource(inbox_.get(), id));

  MESSAGEPROPS p = {};
  p.cbSize = sizeof(p);
  ASSERT_EQ(S_OK, inbox_->GetMessageProps(id, 0, &p));
  EXPECT_EQ(id, p.dwMessageId);
  EXPECT_EQ(static_cast<DWORD>(MSG_UNREAD), p.dwState);
  EXPECT_EQ(sizeof(kMessage) - 1, p.cbMessage);
  EXPECT_EQ(IMSG_PRI_HIGH, p.priority);
  EXPECT_STREQ("Re: Quarterly r\xE9sum\xE9", p.pszSubject);  // ANSI code page 1252
  EXPECT_STREQ("Quarterly r\xE9sum\xE9", p.pszNormalSubject);
  EXPECT_STREQ("Alice Example", p.pszDisplayFrom);
  EXPECT_STREQ("Bob", p.pszDisplayTo);
  SYSTEMTIME st;
  FileTimeToSystemTime(&p.ftSent, &st);
  EXPECT_EQ(2003, st.wYear);
  EXPECT_EQ(8, st.wHour);  // 10:52 +0200
  EXPECT_EQ(S_OK, inbox_->FreeMessageProps(&p));
  EXPECT_EQ(nullptr, p.pszSubject);

  FOLDERPROPS fp = Props(id == 0 ? 0 : 1);
  EXPECT_EQ(1u, fp.cMessage);
  EXPECT_EQ(1u, fp.cUnread);
}

TEST_F(StoreTest, RevertedAndUnknownCommitsStoreNothing) {
  com_ptr<IStream> stream;
  MESSAGEID id;
  ASSERT_EQ(S_OK, inbox_->CreateStream(nullptr, 0, stream.put(), &id));
  stream->Write("x", 1, nullptr);
  EXPECT_EQ(S_OK, inbox_->CommitStream(nullptr, COMMITSTREAM_REVERT, 0, stream.get(), id, nullptr));
  // Another folder's stream, a made-up id and a null stream are refused.
  com_ptr<IStoreFolder> outbox;
  ns_->OpenSpecialFolder(FOLDER_OUTBOX, 0, outbox.put());
  com_ptr<IStream> other;
  MESSAGEID other_id;
  ASSERT_EQ(S_OK, outbox->CreateStream(nullptr, 0, other.put(), &other_id));
  EXPECT_TRUE(FAILED(inbox_->CommitStream(nullptr, 0, 0, other.get(), other_id, nullptr)));
  EXPECT_TRUE(FAILED(inbox_->CommitStream(nullptr, 0, 0, stream.get(), id + 50, nullptr)));
  EXPECT_TRUE(FAILED(inbox_->CommitStream(nullptr, 0, 0, nullptr, id, nullptr)));
  EXPECT_EQ(0u, Props(1).cMessage);
  // Ids are not reused after a revert.
  MESSAGEID next = Commit(inbox_.get(), "Subject: n\r\n\r\n");
  EXPECT_GT(next, id);
}

TEST_F(StoreTest, EnumerationInIdOrderAndHostileHandles) {
  std::vector<MESSAGEID> ids;
  for (int i = 0; i < 5; ++i) ids.push_back(Commit(inbox_.get(), "Subject: m" + std::to_string(i) + "\r\n\r\n"));
  MESSAGEPROPS p = {};
  p.cbSize = sizeof(p);
  HENUMSTORE e = nullptr;
  ASSERT_EQ(S_OK, inbox_->GetFirstMessage(MSGPROPS_FAST, 0, MESSAGEID_FIRST, &p, &e));
  std::vector<MESSAGEID> seen{p.dwMessageId};
  inbox_->FreeMessageProps(&p);
  while (inbox_->GetNextMessage(e, MSGPROPS_FAST, &p) == S_OK) {
    seen.push_back(p.dwMessageId);
    inbox_->FreeMessageProps(&p);
  }
  EXPECT_EQ(S_FALSE, inbox_->GetNextMessage(e, MSGPROPS_FAST, &p));
  EXPECT_EQ(S_OK, inbox_->GetMessageClose(e));
  EXPECT_EQ(ids, seen);
  EXPECT_TRUE(FAILED(inbox_->GetNextMessage(e, 0, &p)));  // closed
  EXPECT_TRUE(FAILED(inbox_->GetMessageClose(reinterpret_cast<HENUMSTORE>(0x1234))));

  // Starting at an id; an empty folder ends at once.
  ASSERT_EQ(S_OK, inbox_->GetFirstMessage(0, 0, ids[3], &p, &e));
  EXPECT_EQ(ids[3], p.dwMessageId);
  inbox_->FreeMessageProps(&p);
  inbox_->GetMessageClose(e);
  com_ptr<IStoreFolder> drafts;
  ns_->OpenSpecialFolder(FOLDER_DRAFT, 0, drafts.put());
  EXPECT_EQ(S_FALSE, drafts->GetFirstMessage(0, 0, MESSAGEID_FIRST, &p, &e));
  EXPECT_EQ(nullptr, e);

  // Wrong record sizes are refused without writing anything.
  MESSAGEPROPS bad = {};
  bad.cbSize = 68;
  EXPECT_EQ(E_INVALIDARG, inbox_->GetMessageProps(ids[0], 0, &bad));
  EXPECT_EQ(nullptr, bad.pszSubject);
  EXPECT_EQ(E_INVALIDARG, inbox_->GetFirstMessage(0, 0, MESSAGEID_FIRST, &bad, &e));
  FOLDERPROPS badf = {};
  badf.cbSize = 100;
  EXPECT_EQ(E_INVALIDARG, ns_->GetFolderProps(1, 0, &badf));
  EXPECT_TRUE(FAILED(inbox_->GetMessageProps(999, 0, &p)));
  EXPECT_TRUE(FAILED(inbox_->GetMessageProps(ids[0], 0, nullptr)));
}

TEST_F(StoreTest, FolderOperationsAndHostileNames) {
  STOREFOLDERID a = 0, b = 0, c = 0;
  ASSERT_EQ(S_OK, ns_->CreateFolder(FOLDERID_ROOT, "A", 0, &a));
  ASSERT_EQ(S_OK, ns_->CreateFolder(a, "B", 0, &b));
  EXPECT_TRUE(FAILED(ns_->CreateFolder(FOLDERID_ROOT, "a", 0, &c)));
  EXPECT_TRUE(FAILED(ns_->CreateFolder(FOLDERID_ROOT, "", 0, &c)));
  EXPECT_TRUE(FAILED(ns_->CreateFolder(FOLDERID_ROOT, nullptr, 0, &c)));
  EXPECT_TRUE(FAILED(ns_->CreateFolder(FOLDERID_ROOT, "bell\a", 0, &c)));
  EXPECT_TRUE(FAILED(ns_->CreateFolder(FOLDERID_ROOT, std::string(300, 'x').c_str(), 0, &c)));
  EXPECT_TRUE(FAILED(ns_->CreateFolder(0xDEADBEEF, "x", 0, &c)));
  EXPECT_EQ(S_OK, ns_->CreateFolder(FOLDERID_ROOT, "..\\..\\etc", 0, &c));  // just a name
  EXPECT_TRUE(FAILED(ns_->MoveFolder(a, b, 0)));
  EXPECT_TRUE(FAILED(ns_->MoveFolder(1, a, 0)));
  EXPECT_TRUE(FAILED(ns_->DeleteFolder(3, 0)));
  EXPECT_TRUE(FAILED(ns_->DeleteFolder(FOLDERID_ROOT, 0)));
  EXPECT_TRUE(FAILED(ns_->RenameFolder(a, 0, "Inbox")));
  EXPECT_EQ(S_OK, ns_->RenameFolder(a, 0, "Renamed"));
  EXPECT_EQ(S_OK, ns_->MoveFolder(b, FOLDERID_ROOT, 0));
  EXPECT_EQ(0, Props(a).cSubFolders);

  // Sub-folders of the root in creation order.
  FOLDERPROPS p = {};
  p.cbSize = sizeof(p);
  HENUMSTORE e;
  std::vector<std::string> names;
  ASSERT_EQ(S_OK, ns_->GetFirstSubFolder(FOLDERID_ROOT, &p, &e));
  do names.push_back(p.szName);
  while (ns_->GetNextSubFolder(e, &p) == S_OK);
  ns_->GetSubFolderClose(e);
  std::vector<std::string> expected = {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts",
                                       "Renamed", "..\\..\\etc", "B"};
  EXPECT_EQ(expected, names);

  // Deleting a folder takes its messages; its id is not reused.
  com_ptr<IStoreFolder> fb;
  ASSERT_EQ(S_OK, ns_->OpenFolder(b, 0, fb.put()));
  Commit(fb.get(), "Subject: in b\r\n\r\n");
  ASSERT_EQ(S_OK, ns_->DeleteFolder(b, 0));
  EXPECT_TRUE(FAILED(fb->GetFolderProps(0, &p)));
  STOREFOLDERID d;
  ASSERT_EQ(S_OK, ns_->CreateFolder(FOLDERID_ROOT, "B", 0, &d));
  EXPECT_GT(d, b);
}

TEST_F(StoreTest, FlagsCopyMoveAndDelete) {
  MESSAGEID m = Commit(inbox_.get(), kMessage, MSG_UNREAD | MSG_RECEIVED);
  MESSAGEIDLIST list = OneId(&m);
  ASSERT_EQ(S_OK, inbox_->MarkMessagesAsRead(TRUE, 0, &list));
  EXPECT_EQ(0u, Props(1).cUnread);
  ASSERT_EQ(S_OK, inbox_->MarkMessagesAsRead(FALSE, 0, &list));
  EXPECT_EQ(1u, Props(1).cUnread);
  DWORD flags = 0;
  ASSERT_EQ(S_OK, inbox_->SetFlags(&list, MSG_SUBMITTED, MSG_SUBMITTED, &flags));
  EXPECT_EQ(static_cast<DWORD>(MSG_UNREAD | MSG_RECEIVED | MSG_SUBMITTED), flags);
  MESSAGEIDLIST small = {12, 1, &m};  // the 32-bit record size is accepted too
  EXPECT_EQ(S_OK, inbox_->MarkMessagesAsRead(FALSE, 0, &small));
  MESSAGEIDLIST bad = {4, 1, &m};
  EXPECT_EQ(E_INVALIDARG, inbox_->MarkMessagesAsRead(TRUE, 0, &bad));
  EXPECT_EQ(E_INVALIDARG, inbox_->DeleteMessages(nullptr, 0, nullptr));

  com_ptr<IStoreFolder> sent;
  ns_->OpenSpecialFolder(FOLDER_SENT, 0, sent.put());
  ASSERT_EQ(S_OK, ns_->CopyMoveMessages(inbox_.get(), sent.get(), &list, 0, ~static_cast<DWORD>(MSG_SUBMITTED), nullptr));
  MESSAGEPROPS p = {};
  p.cbSize = sizeof(p);
  HENUMSTORE e;
  ASSERT_EQ(S_OK, sent->GetFirstMessage(0, 0, MESSAGEID_FIRST, &p, &e));
  EXPECT_EQ(static_cast<DWORD>(MSG_SUBMITTED), p.dwState);  // every other flag removed
  EXPECT_EQ(kMessage, ReadSource(sent.get(), p.dwMessageId));
  sent->FreeMessageProps(&p);
  sent->GetMessageClose(e);
  EXPECT_EQ(1u, Props(1).cMessage);

  ASSERT_EQ(S_OK, ns_->CopyMoveMessages(inbox_.get(), sent.get(), &list, CMF_MOVE, 0, nullptr));
  EXPECT_EQ(0u, Props(1).cMessage);
  EXPECT_EQ(2u, Props(3).cMessage);
  EXPECT_TRUE(FAILED(ns_->CopyMoveMessages(inbox_.get(), sent.get(), &list, CMF_MOVE, 0, nullptr)));

  // Deleting outside "Deleted Items" moves there under a new id; inside, for good.
  com_ptr<IStoreFolder> deleted;
  ns_->OpenSpecialFolder(FOLDER_DELETED, 0, deleted.put());
  ASSERT_EQ(S_OK, sent->GetFirstMessage(0, 0, MESSAGEID_FIRST, &p, &e));
  MESSAGEID sm = p.dwMessageId;
  sent->FreeMessageProps(&p);
  sent->GetMessageClose(e);
  MESSAGEIDLIST sl = OneId(&sm);
  ASSERT_EQ(S_OK, sent->DeleteMessages(&sl, 0, nullptr));
  EXPECT_EQ(1u, Props(4).cMessage);
  ASSERT_EQ(S_OK, deleted->GetFirstMessage(0, 0, MESSAGEID_FIRST, &p, &e));
  MESSAGEID dm = p.dwMessageId;
  deleted->FreeMessageProps(&p);
  deleted->GetMessageClose(e);
  MESSAGEIDLIST dl = OneId(&dm);
  ASSERT_EQ(S_OK, deleted->DeleteMessages(&dl, 0, nullptr));
  EXPECT_EQ(0u, Props(4).cMessage);
}

TEST_F(StoreTest, NotificationsReachTheRightWindowsInOrder) {
  Recorder store_window, inbox_window, other_window;
  ASSERT_TRUE(store_window.hwnd()) << GetLastError();
  ASSERT_EQ(S_OK, ns_->RegisterNotification(0, store_window.hwnd()));
  ASSERT_EQ(S_OK, inbox_->RegisterNotification(0, inbox_window.hwnd()));
  com_ptr<IStoreFolder> outbox;
  ns_->OpenSpecialFolder(FOLDER_OUTBOX, 0, outbox.put());
  ASSERT_EQ(S_OK, outbox->RegisterNotification(0, other_window.hwnd()));

  MESSAGEID m1 = Commit(inbox_.get(), kMessage, MSG_UNREAD);
  MESSAGEID m2 = Commit(inbox_.get(), kMessage, 0);
  MESSAGEIDLIST list = OneId(&m1);
  inbox_->MarkMessagesAsRead(TRUE, 0, &list);
  MESSAGEID ids[2] = {m2, m1};
  MESSAGEIDLIST both = {sizeof(MESSAGEIDLIST), 2, ids};
  com_ptr<IStoreFolder> deleted;
  ns_->OpenSpecialFolder(FOLDER_DELETED, 0, deleted.put());
  ASSERT_EQ(S_OK, inbox_->DeleteMessages(&both, 0, nullptr));
  STOREFOLDERID f;
  ns_->CreateFolder(FOLDERID_ROOT, "N", 0, &f);
  ns_->RenameFolder(f, 0, "N2");
  com_ptr<IStoreFolder> nf;
  ns_->OpenFolder(f, 0, nf.put());
  Recorder folder_window;
  nf->RegisterNotification(0, folder_window.hwnd());
  ns_->MoveFolder(f, 5, 0);
  ns_->DeleteFolder(f, 0);

  auto all = Recorder::Drain();
  auto inbox_log = inbox_window.Of(all);
  ASSERT_EQ(3u, inbox_log.size());
  EXPECT_EQ(static_cast<UINT>(WM_NEWMSGS), inbox_log[0].msg);
  EXPECT_EQ(m1, inbox_log[0].wparam);
  EXPECT_EQ(static_cast<UINT>(WM_NEWMSGS), inbox_log[1].msg);
  EXPECT_EQ(m2, inbox_log[1].wparam);
  EXPECT_EQ(static_cast<UINT>(WM_DELETEMSGS), inbox_log[2].msg);
  EXPECT_EQ(m2, inbox_log[2].first_id);
  EXPECT_TRUE(other_window.Of(all).empty());

  auto ns_log = store_window.Of(all);
  std::vector<std::pair<uint32_t, uint32_t>> changes;
  for (const auto& p : ns_log) {
    EXPECT_EQ(static_cast<UINT>(WM_FOLDERNOTIFY), p.msg);
    changes.emplace_back(p.type, p.folder);
  }
  std::vector<std::pair<uint32_t, uint32_t>> expected = {
      {UNREAD_CHANGE, 1}, {UNREAD_CHANGE, 1}, {NEW_FOLDER, f}, {RENAME_FOLDER, f},
      {MOVE_FOLDER, f},   {DELETE_FOLDER, f}};
  EXPECT_EQ(expected, changes);

  auto folder_log = folder_window.Of(all);
  ASSERT_EQ(1u, folder_log.size());
  EXPECT_EQ(static_cast<UINT>(WM_DELETEFOLDER), folder_log[0].msg);

  // After unregistering, nothing more arrives.
  EXPECT_EQ(S_OK, inbox_->UnregisterNotification(0, inbox_window.hwnd()));
  EXPECT_TRUE(FAILED(inbox_->UnregisterNotification(0, inbox_window.hwnd())));
  Commit(inbox_.get(), kMessage, 0);
  EXPECT_TRUE(inbox_window.Of(Recorder::Drain()).empty());
}

TEST_F(StoreTest, MimeMessageRoundTrip) {
  // Wine has a partial MIME library of its own; this needs the project's.
  wchar_t server[MAX_PATH] = {};
  LONG size = sizeof(server);
  RegQueryValueW(HKEY_CLASSES_ROOT, L"CLSID\\{FD853CE3-7F86-11D0-8252-00C04FD85AB4}\\InprocServer32",
                 server, &size);
  if (!wcsstr(server, L"mimelib.dll")) GTEST_SKIP() << "the project's MIME library is not registered";
  MESSAGEID m = Commit(inbox_.get(), kMessage, MSG_UNREAD);
  com_ptr<IMimeMessage> message;
  ASSERT_EQ(S_OK, inbox_->OpenMessage(m, IID_IMimeMessage, message.put_void()));
  PROPVARIANT v;
  PropVariantInit(&v);
  v.vt = VT_LPSTR;
  v.pszVal = const_cast<char*>("Changed subject");
  ASSERT_TRUE(SUCCEEDED(message->SetBodyProp(reinterpret_cast<HBODY>(-1), "Subject", 0, &v)));
  ASSERT_TRUE(SUCCEEDED(message->Commit(2 /* COMMIT_REUSESTORAGE */)));
  MESSAGEPROPS p = {};
  p.cbSize = sizeof(p);
  ASSERT_EQ(S_OK, inbox_->GetMessageProps(m, 0, &p));
  EXPECT_STREQ("Changed subject", p.pszSubject);
  EXPECT_EQ(static_cast<DWORD>(MSG_UNREAD), p.dwState);
  inbox_->FreeMessageProps(&p);
  EXPECT_NE(std::string::npos, ReadSource(inbox_.get(), m).find("Changed subject"));

  // SaveMessage stores the serialised object under a new id.
  MESSAGEID saved = MESSAGEID_INVALID;
  ASSERT_EQ(S_OK, inbox_->SaveMessage(IID_IMimeMessage, message.get(), MSG_UNSENT, &saved));
  EXPECT_GT(saved, m);
  EXPECT_NE(std::string::npos, ReadSource(inbox_.get(), saved).find("Changed subject"));
}

TEST_F(StoreTest, ReadOnlySourceStream) {
  MESSAGEID m = Commit(inbox_.get(), kMessage);
  com_ptr<IStream> s;
  ASSERT_EQ(S_OK, inbox_->OpenMessage(m, IID_IStream, s.put_void()));
  EXPECT_TRUE(FAILED(s->Write("x", 1, nullptr)));
  STATSTG st;
  ASSERT_EQ(S_OK, s->Stat(&st, STATFLAG_NONAME));
  EXPECT_EQ(sizeof(kMessage) - 1, st.cbSize.QuadPart);
  LARGE_INTEGER at;
  at.QuadPart = 6;
  s->Seek(at, STREAM_SEEK_SET, nullptr);
  char buf[5] = {};
  ULONG got;
  s->Read(buf, 4, &got);
  EXPECT_STREQ("Alic", buf);
  com_ptr<IUnknown> none;
  EXPECT_EQ(E_NOINTERFACE, inbox_->OpenMessage(m, IID_IDispatch, none.put_void()));
  EXPECT_TRUE(FAILED(inbox_->OpenMessage(m + 100, IID_IStream, none.put_void())));
}

TEST(StoreLocation, UnusableDirectoryFailsInitializeCleanly) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  auto uninit = pelkary::scope_exit([] { CoUninitialize(); });
  wchar_t tmp[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  GetTempFileNameW(tmp, L"mst", 0, file);  // a file where the directory should be
  SetEnvironmentVariableW(L"MAILSTORE_DIR", file);
  com_ptr<IStoreNamespace> ns;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IStoreNamespace, ns.put_void()));
  EXPECT_TRUE(FAILED(ns->Initialize(nullptr, 1)));
  // Every other call reports that the namespace is not usable.
  com_ptr<IStoreFolder> f;
  EXPECT_EQ(E_UNEXPECTED, ns->OpenSpecialFolder(FOLDER_INBOX, 0, f.put()));
  STOREFOLDERID id;
  EXPECT_EQ(E_UNEXPECTED, ns->CreateFolder(FOLDERID_ROOT, "x", 0, &id));
  // The file is left as it was.
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(file, GetFileExInfoStandard, &data));
  EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(0u, data.nFileSizeLow);
  DeleteFileW(file);
}

TEST(StoreLocation, DamagedJournalIsRefusedAndKept) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  auto uninit = pelkary::scope_exit([] { CoUninitialize(); });
  pelkary::test::TempStore store;
  std::wstring journal = store.path() + L"\\journal.dat";
  std::string junk(3000, '\x5A');
  {
    pelkary::unique_hfile f(CreateFileW(journal.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD put;
    WriteFile(f.get(), junk.data(), static_cast<DWORD>(junk.size()), &put, nullptr);
  }
  com_ptr<IStoreNamespace> ns;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IStoreNamespace, ns.put_void()));
  EXPECT_TRUE(FAILED(ns->Initialize(nullptr, 1)));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(journal.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(junk.size(), data.nFileSizeLow);
  ns = nullptr;
}

TEST(StoreLocation, RegistryValueIsUsedWhenTheEnvironmentNamesNone) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  auto uninit = pelkary::scope_exit([] { CoUninitialize(); });
  wchar_t tmp[MAX_PATH], dir[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  GetTempFileNameW(tmp, L"msr", 0, dir);
  DeleteFileW(dir);
  pelkary::unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Pelkary\\Mail Store", 0,
                                           nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
  auto cleanup = pelkary::scope_exit(
      [&] { RegDeleteValueW(key.get(), L"Store Root"); });
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), L"Store Root", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(dir),
                                          static_cast<DWORD>((wcslen(dir) + 1) * sizeof(wchar_t))));
  SetEnvironmentVariableW(L"MAILSTORE_DIR", nullptr);
  com_ptr<IStoreNamespace> ns;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IStoreNamespace, ns.put_void()));
  ASSERT_EQ(S_OK, ns->Initialize(nullptr, 1));
  char path[MAX_PATH * 2], expected[MAX_PATH * 2];
  ASSERT_EQ(S_OK, ns->GetDirectory(path, sizeof(path)));
  WideCharToMultiByte(CP_ACP, 0, dir, -1, expected, sizeof(expected), nullptr, nullptr);
  EXPECT_STREQ(expected, path);
  // Created on first use, with the special folders.
  EXPECT_TRUE(GetFileAttributesW(dir) & FILE_ATTRIBUTE_DIRECTORY);
  com_ptr<IStoreFolder> drafts;
  EXPECT_EQ(S_OK, ns->OpenSpecialFolder(FOLDER_DRAFT, 0, drafts.put()));
  drafts = nullptr;
  ns = nullptr;
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(dir), ec);
}

// mailstore.dll's COM layer as a client reaches it through the COM runtime, in a store of the
// test's own: the HRESULT of every engine status, ANSI records in task memory, checked
// enumeration handles, id lists, streams, notifications (also of changes another process makes)
// and the store's location. The engine's own rules are tested natively.
#include <filesystem>
#include <atomic>
#include <fstream>
#include <thread>
#include <tuple>

#include "comsupport/stream_io.h"
#include "comsupport/text.h"
#include "comsupport/unique_henumstore.h"
#include "mbox_format.h"
#include "mime_api.h"
#include "store_test_client.h"
#include "support/test_support.h"

using pelkary::com_ptr;

namespace {

// A stored message's subject and state, its record freed; ("<none>", 0) when there is none.
std::pair<std::string, DWORD> SubjectAndState(IStoreFolder* folder, MESSAGEID id) {
  MESSAGEPROPS p = Sized<MESSAGEPROPS>();
  if (folder->GetMessageProps(id, 0, &p) != S_OK) return {"<none>", 0};
  std::pair<std::string, DWORD> out(p.pszSubject ? p.pszSubject : "", p.dwState);
  folder->FreeMessageProps(&p);
  return out;
}

// A folder's messages in the store's order: each id with the source read back through its stream.
std::vector<std::pair<MESSAGEID, std::string>> Messages(IStoreFolder* folder) {
  std::vector<std::pair<MESSAGEID, std::string>> out;
  MESSAGEPROPS p = Sized<MESSAGEPROPS>();
  pelkary::unique_henumstore<IStoreFolder> walk;
  for (HRESULT hr = folder->GetFirstMessage(0, 0, MESSAGEID_FIRST, &p, walk.put(folder)); hr == S_OK;
       hr = folder->GetNextMessage(walk.get(), 0, &p)) {
    com_ptr<IStream> s;
    out.emplace_back(p.dwMessageId, "");
    if (SUCCEEDED(folder->OpenMessage(p.dwMessageId, IID_IStream, s.put_void())))
      pelkary::read_to_end(s.get(), &out.back().second);
    folder->FreeMessageProps(&p);
  }
  return out;
}

// What one window got: message, id (WM_NEWMSGS: the new message, WM_DELETEMSGS: the first
// deleted one) and WM_FOLDERNOTIFY's record (type, folder, second folder; freed here, as every
// receiver must).
using Posts = std::vector<std::vector<DWORD>>;
std::vector<std::pair<HWND, std::vector<DWORD>>> g_posted;

struct StoreWindow {
  StoreWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
      if (msg < WM_FOLDERNOTIFY || msg > WM_DELETEFOLDER) return DefWindowProcW(hwnd, msg, wp, lp);
      pelkary::unique_cotaskmem<FOLDERNOTIFYEX> c(
          msg == WM_FOLDERNOTIFY ? reinterpret_cast<FOLDERNOTIFYEX*>(lp) : nullptr);
      const DWORD id = msg == WM_DELETEMSGS ? *reinterpret_cast<MESSAGEID*>(wp) : static_cast<DWORD>(wp);
      g_posted.push_back({hwnd, c ? std::vector<DWORD>{msg, id, c->type, c->idFolder, c->idFolder2}
                                  : std::vector<DWORD>{msg, id}});
      return 0;
    };
    wc.lpszClassName = L"StoreTestWindow";
    RegisterClassW(&wc);  // again: fails harmlessly
    hwnd_.reset(CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    g_posted.clear();  // a window of an earlier test may have had the same handle
  }
  HWND hwnd() const { return hwnd_.get(); }

  // Pumps this thread's queue until nothing arrives for `quiet_ms`; then takes what this window got.
  Posts Drain(DWORD quiet_ms = 150) const {
    for (DWORD last = GetTickCount(); GetTickCount() - last < quiet_ms; Sleep(5))
      for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); last = GetTickCount()) DispatchMessageW(&m);
    Posts mine;
    for (auto it = g_posted.begin(); it != g_posted.end();)
      it = it->first == hwnd_.get() ? (mine.push_back(it->second), g_posted.erase(it)) : it + 1;
    return mine;
  }
  pelkary::unique_hwnd hwnd_;
};

const char kMessage[] =
    "From: Alice Example <alice@example.com>\r\nTo: Bob <bob@example.com>\r\n"
    "Subject: Re: Quarterly =?ISO-8859-1?Q?r=E9sum=E9?=\r\nDate: Tue, 1 Jul 2003 10:52:37 +0200\r\n"
    "X-Priority: 1\r\n\r\nBody text.\r\n";
const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

class StoreTest : public ::testing::Test {
 protected:
  com_ptr<IStoreFolder> Special(SPECIALFOLDER type) {
    com_ptr<IStoreFolder> f;
    EXPECT_HR(S_OK, ns_->OpenSpecialFolder(type, 0, f.put()));
    return f;
  }
  FOLDERPROPS Props() {
    FOLDERPROPS p = Sized<FOLDERPROPS>();
    EXPECT_HR(S_OK, inbox_->GetFolderProps(0, &p));
    return p;
  }

  pelkary::test::ComApartment apartment_;
  pelkary::test::TempStore store_;  // outlives everything that opens it
  com_ptr<IStoreNamespace> ns_ = OpenStore();
  com_ptr<IStoreFolder> inbox_ = Special(FOLDER_INBOX);
};

}  // namespace

TEST_F(StoreTest, EngineStatusesBecomeTheirHresults) {
  com_ptr<IStoreFolder> f;
  STOREFOLDERID a = 0, b = 0;
  ASSERT_HR(S_OK, ns_->CreateFolder(FOLDERID_ROOT, "A", 0, &a));
  ASSERT_HR(S_OK, ns_->CreateFolder(a, "B", 0, &b));
  com_ptr<IStream> stream;
  MESSAGEID reserved = 0;
  ASSERT_HR(S_OK, inbox_->CreateStream(nullptr, 0, stream.put(), &reserved));
  MESSAGEPROPS p = Sized<MESSAGEPROPS>();
  EXPECT_EQ((std::vector<HRESULT>{kNotFound, E_INVALIDARG, E_INVALIDARG, HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS),
                                  HRESULT_FROM_WIN32(ERROR_INVALID_NAME), E_INVALIDARG, kNotFound, E_ACCESSDENIED,
                                  E_ACCESSDENIED, E_INVALIDARG, kNotFound}),
            (std::vector<HRESULT>{ns_->OpenFolder(12345, 0, f.put()), ns_->OpenFolder(FOLDERID_ROOT, 0, f.put()),
                                  ns_->OpenSpecialFolder(static_cast<SPECIALFOLDER>(7), 0, f.put()),
                                  ns_->CreateFolder(FOLDERID_ROOT, "a", 0, &b),
                                  ns_->CreateFolder(FOLDERID_ROOT, "\a", 0, &b),
                                  ns_->RenameFolder(a, 0, nullptr), ns_->CreateFolder(0xDEADBEEF, "x", 0, &b),
                                  ns_->MoveFolder(a, b, 0), ns_->DeleteFolder(Props().dwFolderId, 0),
                                  inbox_->CommitStream(nullptr, 0, 0, stream.get(), reserved + 50, nullptr),
                                  inbox_->GetMessageProps(999, 0, &p)}));
  EXPECT_FALSE(f);
}

TEST_F(StoreTest, RecordsTravelInTheAnsiCodePageInTaskMemory) {
  const MESSAGEID id = Commit(inbox_.get(), kMessage, MSG_UNREAD);
  MESSAGEPROPS p = Sized<MESSAGEPROPS>();
  ASSERT_HR(S_OK, inbox_->GetMessageProps(id, 0, &p));
  SYSTEMTIME sent;
  FileTimeToSystemTime(&p.ftSent, &sent);
  EXPECT_EQ(std::make_tuple(id, DWORD{MSG_UNREAD}, DWORD{MSG_UNREAD}, DWORD{sizeof(kMessage) - 1}, IMSG_PRI_HIGH,
                            WORD{2003}, WORD{8}),  // 10:52 +0200
            std::make_tuple(p.dwMessageId, p.dwState, p.dwFlags, p.cbMessage, p.priority, sent.wYear, sent.wHour));
  EXPECT_EQ((std::vector<std::string>{"Re: Quarterly r\xE9sum\xE9", "Quarterly r\xE9sum\xE9", "Alice Example", "Bob"}),
            (std::vector<std::string>{p.pszSubject, p.pszNormalSubject, p.pszDisplayFrom, p.pszDisplayTo}));  // 1252
  EXPECT_HR(S_OK, inbox_->FreeMessageProps(&p));
  EXPECT_TRUE(!p.pszSubject && !p.pszDisplayTo && !p.pszDisplayFrom && !p.pszNormalSubject);
  ASSERT_HR(S_OK, inbox_->GetMessageProps(Commit(inbox_.get(), "Subject: undated\r\n\r\n"), 0, &p));
  EXPECT_EQ(0, CompareFileTime(&p.ftSent, &p.ftReceived));  // sent when received
  inbox_->FreeMessageProps(&p);

  MESSAGEPROPS narrow = Sized<MESSAGEPROPS>(68);  // the 32-bit record: refused untouched
  FOLDERPROPS folder = Sized<FOLDERPROPS>(100);
  EXPECT_HR(E_INVALIDARG, inbox_->GetMessageProps(id, 0, &narrow));
  EXPECT_HR(E_INVALIDARG, ns_->GetFolderProps(1, 0, &folder));
  folder = Props();
  EXPECT_EQ(std::make_tuple(std::string("Inbox"), FOLDER_INBOX, DWORD{2}, DWORD{1}),
            std::make_tuple(std::string(folder.szName), folder.sfType, folder.cMessage, folder.cUnread));
  char path[MAX_PATH * 2];
  EXPECT_HR(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), ns_->GetDirectory(path, 3));
}

TEST_F(StoreTest, EnumerationHandlesAreCheckedAndCloseOnce) {
  Commit(inbox_.get(), "Subject: 1\r\n\r\n");
  const MESSAGEID second = Commit(inbox_.get(), "Subject: 2\r\n\r\n");
  MESSAGEPROPS p = Sized<MESSAGEPROPS>();
  HENUMSTORE walk = nullptr, folders = nullptr;
  ASSERT_HR(S_OK, inbox_->GetFirstMessage(0, 0, second, &p, &walk));
  EXPECT_EQ(second, p.dwMessageId);
  inbox_->FreeMessageProps(&p);
  FOLDERPROPS f = Sized<FOLDERPROPS>();
  ASSERT_HR(S_OK, ns_->GetFirstSubFolder(FOLDERID_ROOT, &f, &folders));
  while (ns_->GetNextSubFolder(folders, &f) == S_OK) {}
  EXPECT_STREQ("Drafts", f.szName);
  EXPECT_EQ((std::vector<HRESULT>{S_FALSE, S_OK, E_HANDLE, E_HANDLE, S_FALSE, S_OK, E_HANDLE, S_FALSE}),
            (std::vector<HRESULT>{inbox_->GetNextMessage(walk, 0, &p), inbox_->GetMessageClose(walk),
                                  inbox_->GetNextMessage(walk, 0, &p),
                                  inbox_->GetMessageClose(reinterpret_cast<HENUMSTORE>(0x1234)),
                                  ns_->GetNextSubFolder(folders, &f), ns_->GetSubFolderClose(folders),
                                  ns_->GetSubFolderClose(folders),
                                  Special(FOLDER_DRAFT)->GetFirstMessage(0, 0, MESSAGEID_FIRST, &p, &walk)}));
  EXPECT_EQ(nullptr, walk);
}

TEST_F(StoreTest, IdListsFlagsAndCopies) {
  MESSAGEID m = Commit(inbox_.get(), kMessage, MSG_UNREAD | MSG_RECEIVED);
  MESSAGEIDLIST list = {sizeof(list), 1, &m}, narrow = {12, 1, &m}, wrong = {4, 1, &m}, none = {sizeof(list), 1, {}};
  DWORD flags = 0;
  ASSERT_HR(S_OK, inbox_->MarkMessagesAsRead(TRUE, 0, &list));
  EXPECT_EQ(0u, Props().cUnread);
  ASSERT_HR(S_OK, inbox_->MarkMessagesAsRead(FALSE, 0, &narrow));  // the 32-bit record's size
  EXPECT_EQ(1u, Props().cUnread);
  ASSERT_HR(S_OK, inbox_->SetFlags(&list, MSG_SUBMITTED, MSG_SUBMITTED, &flags));
  EXPECT_EQ(DWORD{MSG_UNREAD | MSG_RECEIVED | MSG_SUBMITTED}, flags);
  EXPECT_EQ(std::vector<HRESULT>(3, E_INVALIDARG),
            (std::vector<HRESULT>{inbox_->MarkMessagesAsRead(TRUE, 0, &wrong), inbox_->SetFlags(&none, 0, 0, nullptr),
                                  inbox_->DeleteMessages(nullptr, 0, nullptr)}));

  com_ptr<IStoreFolder> sent = Special(FOLDER_SENT);
  ASSERT_HR(S_OK, ns_->CopyMoveMessages(inbox_.get(), sent.get(), &list, 0, ~DWORD{MSG_SUBMITTED}, nullptr));
  EXPECT_EQ(DWORD{MSG_SUBMITTED}, SubjectAndState(sent.get(), 1).second);  // the flags not removed
  ASSERT_HR(S_OK, ns_->CopyMoveMessages(inbox_.get(), sent.get(), &list, CMF_MOVE, 0, nullptr));
  EXPECT_EQ(2u, Messages(sent.get()).size());
  EXPECT_HR(kNotFound, ns_->CopyMoveMessages(inbox_.get(), sent.get(), &list, 0, 0, nullptr));
}

TEST_F(StoreTest, StreamsInAndOut) {
  com_ptr<IStream> ours, other, plain, source, clone;
  MESSAGEID id = 0, other_id = 0, saved = 0;
  ASSERT_HR(S_OK, inbox_->CreateStream(nullptr, 0, ours.put(), &id));
  ASSERT_HR(S_OK, Special(FOLDER_OUTBOX)->CreateStream(nullptr, 0, other.put(), &other_id));
  EXPECT_HR(S_OK, inbox_->CommitStream(nullptr, COMMITSTREAM_REVERT, 0, ours.get(), id, nullptr));
  EXPECT_HR(E_INVALIDARG, inbox_->CommitStream(nullptr, 0, 0, other.get(), other_id, nullptr));
  // Streams of the client's own are read whole, from their start.
  ASSERT_HR(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, plain.put()));
  ASSERT_HR(S_OK, pelkary::write_all(plain.get(), kMessage));
  ASSERT_HR(S_OK, inbox_->SaveMessage(IID_IStream, plain.get(), 0, &saved));
  ASSERT_HR(S_OK, inbox_->CreateStream(nullptr, 0, ours.put(), &id));
  ASSERT_HR(S_OK, inbox_->CommitStream(nullptr, 0, 0, plain.get(), id, nullptr));
  EXPECT_HR(E_NOINTERFACE, inbox_->SaveMessage(IID_IDispatch, plain.get(), 0, &saved));
  EXPECT_EQ((std::vector<std::pair<MESSAGEID, std::string>>{{saved, kMessage}, {id, kMessage}}),
            Messages(inbox_.get()));

  // A stored source seeks and clones, and refuses to be written.
  ASSERT_HR(S_OK, inbox_->OpenMessage(saved, IID_ISequentialStream, source.put_void()));
  EXPECT_HR(STG_E_ACCESSDENIED, source->Write("x", 1, nullptr));
  STATSTG st;
  ASSERT_HR(S_OK, source->Stat(&st, STATFLAG_NONAME));
  EXPECT_EQ(sizeof(kMessage) - 1, st.cbSize.QuadPart);
  ASSERT_HR(S_OK, source->Seek(LARGE_INTEGER{{6, 0}}, STREAM_SEEK_SET, nullptr));
  ASSERT_HR(S_OK, source->Clone(clone.put()));
  char buf[5] = {};
  ASSERT_HR(S_OK, clone->Read(buf, 4, nullptr));
  EXPECT_STREQ("Alic", buf);
  EXPECT_HR(E_NOINTERFACE, inbox_->OpenMessage(saved, IID_IDispatch, source.put_void()));
  EXPECT_HR(kNotFound, inbox_->OpenMessage(999, IID_IStream, source.put_void()));
}

TEST_F(StoreTest, MimeObjectsCommitIntoTheStoreAndLostBytesAreAReadFault) {
  const MESSAGEID m = Commit(inbox_.get(), kMessage, MSG_UNREAD);
  com_ptr<IMimeMessage> message;
  ASSERT_HR(S_OK, inbox_->OpenMessage(m, IID_IMimeMessage, message.put_void()));
  PROPVARIANT v = {};
  v.vt = VT_LPSTR;
  v.pszVal = const_cast<char*>("Changed");
  ASSERT_HR(S_OK, message->SetBodyProp(HBODY_ROOT, "Subject", 0, &v));
  ASSERT_HR(S_OK, message->Commit(COMMIT_REUSESTORAGE));
  EXPECT_EQ(std::make_pair(std::string("Changed"), DWORD{MSG_UNREAD}), SubjectAndState(inbox_.get(), m));
  MESSAGEID saved = MESSAGEID_INVALID;
  ASSERT_HR(S_OK, inbox_->SaveMessage(IID_IMimeMessage, message.get(), 0, &saved));
  const auto stored = Messages(inbox_.get());
  EXPECT_EQ(stored.at(0).second, stored.at(1).second);
  EXPECT_NE(std::string::npos, stored[1].second.find("Subject: Changed\r\n"));

  // The engine finds no bytes where the record says the source is: a failure, not a crash.
  const std::wstring data_file = store_.path() + L"\\messages.dat";
  pelkary::unique_hfile data(CreateFileW(data_file.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(data && SetEndOfFile(data.get()));
  EXPECT_HR(STG_E_READFAULT, inbox_->OpenMessage(m, IID_IMimeMessage, message.put_void()));
  EXPECT_EQ("", Messages(inbox_.get()).at(0).second);
}

TEST_F(StoreTest, NotificationsReachTheRightWindowsInOrder) {
  StoreWindow store_window, inbox_window, outbox_window, folder_window;
  ASSERT_HR(S_OK, ns_->RegisterNotification(0, store_window.hwnd()));
  ASSERT_HR(S_OK, inbox_->RegisterNotification(0, inbox_window.hwnd()));
  ASSERT_HR(S_OK, inbox_->RegisterNotification(0, inbox_window.hwnd()));  // kept once
  ASSERT_HR(S_OK, Special(FOLDER_OUTBOX)->RegisterNotification(0, outbox_window.hwnd()));
  EXPECT_HR(E_INVALIDARG, inbox_->RegisterNotification(0, reinterpret_cast<HWND>(0x1234)));
  MESSAGEID ids[2] = {Commit(inbox_.get(), kMessage, MSG_UNREAD), Commit(inbox_.get(), kMessage)};
  MESSAGEIDLIST first = {sizeof(first), 1, &ids[0]}, both = {sizeof(both), 2, ids};
  inbox_->MarkMessagesAsRead(TRUE, 0, &first);
  std::swap(ids[0], ids[1]);
  ASSERT_HR(S_OK, inbox_->DeleteMessages(&both, 0, nullptr));
  STOREFOLDERID f = 0;
  com_ptr<IStoreFolder> nf;
  ns_->CreateFolder(FOLDERID_ROOT, "N", 0, &f);
  ns_->RenameFolder(f, 0, "N2");
  ASSERT_HR(S_OK, ns_->OpenFolder(f, 0, nf.put()));
  nf->RegisterNotification(0, folder_window.hwnd());
  const DWORD inbox = Props().dwFolderId, changed = WM_FOLDERNOTIFY, added = WM_NEWMSGS;
  ns_->MoveFolder(f, inbox, 0);
  ns_->DeleteFolder(f, 0);
  EXPECT_EQ((Posts{{added, ids[1]}, {added, ids[0]}, {WM_DELETEMSGS, ids[0]}}), inbox_window.Drain());
  EXPECT_EQ((Posts{{changed, 0, UNREAD_CHANGE, inbox, 0}, {changed, 0, UNREAD_CHANGE, inbox, 0},
                   {changed, 0, NEW_FOLDER, f, 0}, {changed, 0, RENAME_FOLDER, f, 0},
                   {changed, 0, MOVE_FOLDER, f, inbox}, {changed, 0, DELETE_FOLDER, f, 0}}),
            store_window.Drain());
  EXPECT_EQ((Posts{{WM_DELETEFOLDER, 0}}), folder_window.Drain());
  EXPECT_TRUE(outbox_window.Drain().empty());
  // A receiver reads a deletion's id array whenever it gets to the post: more deletions than any fixed
  // number of slots, all read late, still give their own ids.
  Posts expected;
  for (int i = 0; i < 4200; ++i) {
    MESSAGEID id = Commit(inbox_.get(), "Subject: d\r\n\r\nx\r\n");
    MESSAGEIDLIST one = {sizeof(one), 1, &id};
    ASSERT_HR(S_OK, inbox_->DeleteMessages(&one, 0, nullptr));
    expected.insert(expected.end(), {{added, id}, {WM_DELETEMSGS, id}});
  }
  EXPECT_EQ(expected, inbox_window.Drain());
  EXPECT_HR(S_OK, inbox_->UnregisterNotification(0, inbox_window.hwnd()));
  EXPECT_HR(E_INVALIDARG, inbox_->UnregisterNotification(0, inbox_window.hwnd()));
  Commit(inbox_.get(), kMessage);
  EXPECT_TRUE(inbox_window.Drain().empty());
}

// The store's objects are agile: another apartment gets the pointer itself, not a proxy.
TEST_F(StoreTest, PointersServeEveryApartment) {
  for (IUnknown* object : {static_cast<IUnknown*>(ns_.get()), static_cast<IUnknown*>(inbox_.get())}) {
    IStream* stream = nullptr;
    ASSERT_HR(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IUnknown, object, &stream));
    std::atomic<bool> done{false};
    std::thread other([&] {
      pelkary::test::ComApartment apartment;
      com_ptr<IUnknown> there;
      EXPECT_HR(S_OK, CoGetInterfaceAndReleaseStream(stream, IID_IUnknown, there.put_void()));
      EXPECT_EQ(object, there.get());
      there = nullptr;  // a proxy's release calls back here: this thread pumps meanwhile
      done = true;
    });
    EXPECT_TRUE(pelkary::test::PumpUntil([&] { return done.load(); }, 10000));
    other.join();
  }
}

TEST_F(StoreTest, NullPointersAreRefusedNotFollowed) {
  FOLDERPROPS f = Sized<FOLDERPROPS>();
  MESSAGEPROPS p = Sized<MESSAGEPROPS>();
  HENUMSTORE walk = nullptr;
  MESSAGEID id = 0;
  com_ptr<IStream> s;
  const std::vector<HRESULT> results = {
      ns_->GetDirectory(nullptr, 10), ns_->OpenSpecialFolder(FOLDER_INBOX, 0, nullptr), ns_->OpenFolder(1, 0, nullptr),
      ns_->GetFolderProps(1, 0, nullptr), ns_->GetFirstSubFolder(0, &f, nullptr),
      ns_->GetFirstSubFolder(0, nullptr, &walk),
      ns_->GetNextSubFolder(walk, nullptr), inbox_->GetFolderProps(0, nullptr), inbox_->GetMessageProps(1, 0, nullptr),
      inbox_->FreeMessageProps(nullptr), inbox_->OpenMessage(1, IID_IStream, nullptr), inbox_->BatchLock(0, nullptr),
      inbox_->CreateStream(nullptr, 0, s.put(), nullptr), inbox_->CreateStream(nullptr, 0, nullptr, &id),
      inbox_->GetFirstMessage(0, 0, MESSAGEID_FIRST, &p, nullptr),
      inbox_->GetFirstMessage(0, 0, MESSAGEID_FIRST, nullptr, &walk), inbox_->GetNextMessage(walk, 0, nullptr)};
  EXPECT_EQ(std::vector<HRESULT>(results.size(), E_POINTER), results);
}

TEST(StoreLocation, UnusableStoresFailInitializeAndTheRegistryNamesOne) {
  pelkary::test::ComApartment apartment;
  pelkary::test::TempStore store;
  const std::wstring file = store.path() + L"\\not-a-directory", journal = store.path() + L"\\journal.dat";
  const std::string junk(3000, '\x5A');
  for (const std::wstring& path : {file, journal}) {
    pelkary::unique_hfile f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(f.get(), junk.data(), path == file ? 0 : 3000, &written, nullptr);
  }
  SetEnvironmentVariableW(L"MAILSTORE_DIR", file.c_str());
  com_ptr<IStoreNamespace> ns = OpenStore(STG_E_ACCESSDENIED);
  com_ptr<IStoreFolder> f;
  EXPECT_HR(E_UNEXPECTED, ns->OpenSpecialFolder(FOLDER_INBOX, 0, f.put()));
  EXPECT_HR(E_UNEXPECTED, ns->RegisterNotification(0, nullptr));
  SetEnvironmentVariableW(L"MAILSTORE_DIR", store.path().c_str());
  ns = OpenStore(STG_E_DOCFILECORRUPT);  // and both files kept
  EXPECT_EQ((std::vector<uintmax_t>{0, 3000}),
            (std::vector<uintmax_t>{std::filesystem::file_size(file), std::filesystem::file_size(journal)}));

  // Without MAILSTORE_DIR the registry names the store.
  const std::wstring dir = store.path() + L"\\from-registry", key = L"Software\\Pelkary\\Mail Store";
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Store Root", REG_SZ, dir.c_str(),
                                           static_cast<DWORD>((dir.size() + 1) * sizeof(wchar_t))));
  auto cleanup = pelkary::scope_exit([&] { RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Store Root"); });
  SetEnvironmentVariableW(L"MAILSTORE_DIR", nullptr);
  std::string path(MAX_PATH * 2, 'x');  // no zero but the one the call must write
  ASSERT_HR(S_OK, (ns = OpenStore())->GetDirectory(&path[0], static_cast<DWORD>(path.size())));
  EXPECT_EQ(pelkary::to_ansi(dir.c_str()), path.c_str());
}

// The store tool changes the store in another process while this one watches: an mbox import (its
// quoting undone) is announced to the windows, and IStoreIndex lists it and a move each once, in
// order, across a compaction.
TEST_F(StoreTest, AnotherProcesssChangesAreSeenAndFollowedAcrossCompaction) {
  com_ptr<IStoreNamespace> early;
  ASSERT_HR(S_OK, CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER, IID_IStoreNamespace,
                                   early.put_void()));
  com_ptr<IStoreIndex> index;
  ASSERT_HR(S_OK, early->QueryInterface(IID_IStoreIndex, index.put_void()));
  GUID history = {};
  ULONGLONG cursor = 99;
  STOREFOLDERID folder = 0;
  MESSAGEID id = 0;
  STORECHANGE changes[8] = {};
  DWORD fetched = 99;
  EXPECT_EQ((std::vector<HRESULT>{E_UNEXPECTED, E_UNEXPECTED, E_UNEXPECTED, E_UNEXPECTED, E_INVALIDARG,
                                  E_INVALIDARG, E_INVALIDARG, E_INVALIDARG, E_INVALIDARG}),
            (std::vector<HRESULT>{index->GetHistoryId(&history), index->GetChangeCursor(&cursor),
                                  index->FindMessageId("a@b", &folder, &id), index->GetChanges(0, 8, changes, &fetched),
                                  index->GetHistoryId(nullptr), index->GetChangeCursor(nullptr),
                                  index->FindMessageId(nullptr, &folder, &id), index->GetChanges(0, 8, nullptr, &fetched),
                                  index->GetChanges(0, 8, changes, nullptr)}));
  ASSERT_HR(S_OK, early->Initialize(nullptr, 0));
  ASSERT_HR(S_OK, index->GetHistoryId(&history));
  EXPECT_FALSE(IsEqualGUID(GUID_NULL, history));
  ASSERT_HR(S_OK, index->GetChangeCursor(&cursor));

  std::vector<std::string> sources;
  std::string mbox;
  for (int i = 0; i < 150; ++i) {
    sources.push_back("Message-ID: <" + std::to_string(i) + "@example.com>\r\nSubject: import " + std::to_string(i) +
                      "\r\n\r\nFrom the start of a line\r\n>From quoted\r\n" + std::string(100 + i * 37 % 3000, 'x') +
                      "\r\n");
    mxstore::MboxFormat::Append(sources.back(), "someone@example.com", "Mon Jan  1 00:00:00 2024", &mbox);
  }
  const std::wstring file = store_.path() + L"\\import.mbox";
  std::ofstream(std::filesystem::path(file), std::ios::binary) << mbox;
  StoreWindow store_window, inbox_window;
  ASSERT_HR(S_OK, ns_->RegisterNotification(0, store_window.hwnd()));
  ASSERT_HR(S_OK, inbox_->RegisterNotification(0, inbox_window.hwnd()));
  ASSERT_EQ(0u, RunTool(store_.path(), L"import Inbox \"" + file + L"\"")) << "the store tool failed";

  // Every arrival is announced in id order, with the Inbox's unread changes; every source is whole.
  const Posts arrivals = inbox_window.Drain(1000), unread = store_window.Drain(0);
  Posts announced;
  for (DWORD id = 1; id <= sources.size(); ++id) announced.push_back({WM_NEWMSGS, id});
  EXPECT_EQ(announced, arrivals);
  std::vector<std::string> stored;
  for (const auto& [id, source] : Messages(inbox_.get())) stored.push_back(source);
  EXPECT_TRUE(sources == stored) << "a source came back changed";
  const FOLDERPROPS p = Props();
  ASSERT_FALSE(unread.empty());
  EXPECT_EQ((std::vector<DWORD>{WM_FOLDERNOTIFY, 0, UNREAD_CHANGE, p.dwFolderId, 0}), unread.back());
  EXPECT_EQ(sources.size(), p.cUnread);

  ASSERT_EQ(0u, RunTool(store_.path(), L"mv Inbox 2 Drafts"));
  ASSERT_EQ(0u, RunTool(store_.path(), L"compact"));
  ASSERT_EQ(0u, RunTool(store_.path(), L"find 1@example.com"));
  std::vector<std::vector<ULONGLONG>> seen, expected;
  for (ULONGLONG after = cursor;; after = changes[fetched - 1].ullSequence) {
    const HRESULT hr = index->GetChanges(after, 7, changes, &fetched);
    for (DWORD i = 0; i < fetched; ++i)
      seen.push_back({changes[i].ullSequence, changes[i].dwKind, changes[i].idFolder, changes[i].idMessage});
    if (hr != S_OK) break;
  }
  for (ULONGLONG i = 1; i <= sources.size(); ++i) expected.push_back({cursor + i, STORECHANGE_MESSAGEADDED, 1, i});
  expected.push_back({cursor + 151, STORECHANGE_MESSAGEADDED, 5, 1});
  expected.push_back({cursor + 152, STORECHANGE_MESSAGEREMOVED, 1, 2});
  EXPECT_EQ(expected, seen);
  EXPECT_HR(S_OK, index->FindMessageId("1@example.com", &folder, &id));
  EXPECT_EQ(std::make_pair(5ul, 1ul), std::make_pair(folder, id));
  EXPECT_HR(S_FALSE, index->FindMessageId("none@example.com", &folder, &id));
  EXPECT_EQ(std::make_pair(FOLDERID_INVALID, MESSAGEID_INVALID), std::make_pair(folder, id));

}

// A damaged store and the store tool: its check finds the damage and its recover gives the mail
// back, records rebuilt from the sources, in a new history (a cursor of the old one is refused).
TEST_F(StoreTest, ADamagedStoreIsCheckedAndRecovered) {
  const std::vector<std::string> sources = {"Message-ID: <one@x>\r\n\r\nfirst\r\n", "Subject: two\r\n\r\nsecond\r\n"};
  for (const auto& source : sources) Commit(inbox_.get(), source);
  inbox_.reset();
  ns_.reset();
  ASSERT_TRUE(DeleteFileW((store_.path() + L"\\journal.dat").c_str()));
  EXPECT_EQ(1u, RunTool(store_.path(), L"check"));
  EXPECT_EQ(0u, RunTool(store_.path(), L"recover"));
  EXPECT_EQ(0u, RunTool(store_.path(), L"check"));

  ns_ = OpenStore();
  inbox_ = Special(FOLDER_INBOX);
  std::vector<std::string> back;
  for (const auto& [id, source] : Messages(inbox_.get())) back.push_back(source);
  EXPECT_EQ(sources, back);
  EXPECT_EQ("two", SubjectAndState(inbox_.get(), 2).first);  // the record is rebuilt from the source
  STOREFOLDERID folder = 0;
  MESSAGEID id = 0;
  STORECHANGE change = {};
  DWORD fetched = 0;
  com_ptr<IStoreIndex> index;
  ASSERT_HR(S_OK, ns_->QueryInterface(IID_IStoreIndex, index.put_void()));
  EXPECT_HR(STORE_E_HISTORYGONE, index->GetChanges(1, 1, &change, &fetched));
  EXPECT_HR(S_OK, index->FindMessageId("one@x", &folder, &id));
}

TEST_F(StoreTest, AnOldDataFileHeldOpenGoesAtTheNextOpen) {
  const std::wstring old_file = store_.path() + L"\\messages.dat";
  // Held by a program that does not share deletion: the compaction cannot remove it.
  pelkary::unique_handle held(CreateFileW(old_file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
  ASSERT_NE(INVALID_HANDLE_VALUE, held.get());
  EXPECT_HR(S_OK, ns_->CompactAll(0));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(old_file.c_str()));
  held.reset();
  inbox_.reset();
  ns_.reset();
  ns_ = OpenStore();
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(old_file.c_str()));
}

// The store's full-text search as a client reaches it through the COM runtime (IStoreSearch,
// IStoreSearchResult), in a store of the test's own: result order, counts and pages, rows in full
// Unicode, malformed queries and wrong arguments, folder paths as the store tool writes them,
// another process's delivery, and a damaged index. The query language and the index's own rules
// are tested natively.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "comsupport/text.h"
#include "store_test_client.h"
#include "support/test_support.h"

using pelkary::com_ptr;
using pelkary::unique_bstr;

namespace {

constexpr DWORD kFlagged = 0x800;
using Hits = std::vector<std::pair<STOREFOLDERID, MESSAGEID>>;

struct Found {
  HRESULT hr = E_FAIL;
  DWORD count = 0;
  Hits hits;
};

// Records what Reindex reports.
struct ProgressRecorder : IProgressNotify {
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = riid == IID_IUnknown || riid == IID_IProgressNotify ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // on the stack
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP OnProgress(DWORD done, DWORD total, BOOL, BOOL) override {
    calls.push_back({done, total});
    return S_OK;
  }
  std::vector<std::pair<DWORD, DWORD>> calls;
};

class SearchTest : public ::testing::Test {
 protected:
  // The count of |query| and all its hits, read through GetHits in pages of 3.
  Found Run(const std::wstring& query, DWORD flags = 0, DWORD limit = 0) {
    Found f;
    com_ptr<IStoreSearchResult> result;
    f.hr = search_->Search(query.c_str(), flags, limit, result.put(), nullptr);
    if (!result) return f;
    EXPECT_HR(S_OK, result->GetCount(&f.count));
    STOREHIT page[3];
    DWORD fetched = 0;
    for (DWORD first = 0;; first += 3) {
      const HRESULT hr = result->GetHits(first, 3, page, &fetched);
      for (DWORD i = 0; i < fetched; ++i) f.hits.emplace_back(page[i].idFolder, page[i].idMessage);
      EXPECT_HR(fetched == 3 ? S_OK : S_FALSE, hr);
      if (hr != S_OK) return f;
    }
  }
  Hits Find(const std::wstring& query) {
    Found f = Run(query);
    EXPECT_HR(S_OK, f.hr) << pelkary::test::Narrow(query);
    return f.hits;
  }
  com_ptr<IStoreFolder> Folder(STOREFOLDERID id) {
    com_ptr<IStoreFolder> f;
    EXPECT_HR(S_OK, ns_->OpenFolder(id, 0, f.put()));
    return f;
  }
  STOREFOLDERID Create(STOREFOLDERID parent, const std::string& name) {
    STOREFOLDERID id = FOLDERID_INVALID;
    EXPECT_HR(S_OK, ns_->CreateFolder(parent, name.c_str(), 0, &id));
    return id;
  }
  std::pair<HRESULT, STOREFOLDERID> FindFolder(const std::wstring& path) {
    STOREFOLDERID id = 0;
    const HRESULT hr = search_->FindFolder(path.c_str(), &id);
    return {hr, id};
  }
  std::pair<HRESULT, std::wstring> PathOf(STOREFOLDERID id) {
    unique_bstr path;
    const HRESULT hr = search_->GetFolderPath(id, path.put());
    return {hr, path ? path.get() : L"<null>"};
  }
  com_ptr<IStoreSearch> SearchOf(IStoreNamespace* ns) {
    com_ptr<IStoreSearch> search;
    EXPECT_HR(S_OK, ns->QueryInterface(IID_IStoreSearch, search.put_void()));
    return search;
  }
  std::pair<HRESULT, std::string> CheckStore() {
    com_ptr<IStoreMaintenance> maintenance;
    EXPECT_HR(S_OK, ns_->QueryInterface(IID_IStoreMaintenance, maintenance.put_void()));
    unique_bstr findings;
    const HRESULT hr = maintenance->CheckStore(findings.put());
    return {hr, pelkary::bstr_to_ansi(findings.get())};
  }

  pelkary::test::ComApartment apartment_;
  pelkary::test::TempStore store_;  // outlives everything that opens it
  com_ptr<IStoreNamespace> ns_ = OpenStore();
  com_ptr<IStoreSearch> search_ = SearchOf(ns_.get());
  com_ptr<IStoreFolder> inbox_ = Folder(1);
};

ULONGLONG Ticks(const FILETIME& t) { return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

}  // namespace

// Newest first by received time, ties by folder and then id; the count is of every match whatever
// the limit; a count-only result holds no hits; pages end with S_FALSE.
TEST_F(SearchTest, HitsComeNewestFirstCountedAndInPages) {
  const STOREFOLDERID work = Create(FOLDERID_ROOT, "Work");
  com_ptr<IStoreFolder> folders[2] = {inbox_, Folder(work)};
  struct Stored {
    ULONGLONG received;
    STOREFOLDERID folder;
    MESSAGEID id;
    bool early;
  };
  std::vector<Stored> stored;
  for (int i = 0; i < 7; ++i) {
    IStoreFolder* folder = folders[i % 2].get();
    const MESSAGEID id = Commit(folder, "Subject: note " + std::to_string(i) + "\r\n\r\ncommon words " +
                                            (i < 3 ? "early" : "late") + "\r\n");
    MESSAGEPROPS p = Sized<MESSAGEPROPS>();
    ASSERT_HR(S_OK, folder->GetMessageProps(id, 0, &p));
    FOLDERPROPS fp = Sized<FOLDERPROPS>();
    folder->GetFolderProps(0, &fp);
    stored.push_back({Ticks(p.ftReceived), fp.dwFolderId, id, i < 3});
    folder->FreeMessageProps(&p);
  }
  std::sort(stored.begin(), stored.end(), [](const Stored& a, const Stored& b) {
    return std::make_tuple(~a.received, a.folder, a.id) < std::make_tuple(~b.received, b.folder, b.id);
  });
  Hits all, early, in_work;
  for (const Stored& s : stored) {
    all.emplace_back(s.folder, s.id);
    if (s.early) early.emplace_back(s.folder, s.id);
    if (s.folder == work) in_work.emplace_back(s.folder, s.id);
  }
  const Found everything = Run(L"COMMON"), limited = Run(L"common", 0, 4),
              counted = Run(L"common", STORESEARCH_COUNTONLY);
  EXPECT_EQ(7u, everything.count);
  EXPECT_EQ(all, everything.hits);
  EXPECT_EQ(7u, limited.count);
  EXPECT_EQ(Hits(all.begin(), all.begin() + 4), limited.hits);
  EXPECT_EQ(std::make_pair(7ul, Hits()), std::make_pair(counted.count, counted.hits));
  EXPECT_EQ(early, Find(L"early common"));
  EXPECT_EQ(in_work, Find(L"folder:work common"));
  EXPECT_EQ(Hits(), Find(L"common -words"));

  com_ptr<IStoreSearchResult> result;
  ASSERT_HR(S_OK, search_->Search(L"common", 0, 0, result.put(), nullptr));
  STOREHIT page[3];
  DWORD fetched = 99;
  EXPECT_HR(S_FALSE, result->GetHits(7, 3, page, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_HR(S_OK, result->GetHits(0, 0, nullptr, &fetched));
  EXPECT_EQ(0u, fetched);
}

// Rows carry exactly the columns asked for, strings in full Unicode whatever the code page, the
// state as it is now; a message deleted after the search keeps its place with empty columns.
TEST_F(SearchTest, RowsCarryTheColumnsAskedForInFullUnicode) {
  const std::string source =
      "From: =?UTF-8?Q?J=C3=B6hn_Smith?= <smith@example.org>\r\nTo: Ann <ann@example.org>\r\n"
      "Cc: Carl <carl@example.org>\r\nSubject: =?UTF-8?B?5YaZ55yfIFN0cmHDn2U=?=\r\n"
      "Date: Mon, 01 Jan 2024 10:00:00 +0000\r\nMessage-ID: <row@example.org>\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
      "see the photos\r\n--b\r\nContent-Type: application/octet-stream\r\n"
      "Content-Disposition: attachment; filename=\"photo.jpg\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAEC\r\n"
      "--b--\r\n";
  MESSAGEID id = Commit(inbox_.get(), source, MSG_UNREAD);
  MESSAGEIDLIST list = {sizeof(list), 1, &id};
  ASSERT_HR(S_OK, inbox_->SetFlags(&list, kFlagged, kFlagged, nullptr));
  MESSAGEPROPS props = Sized<MESSAGEPROPS>();
  ASSERT_HR(S_OK, inbox_->GetMessageProps(id, 0, &props));
  inbox_->FreeMessageProps(&props);

  com_ptr<IStoreSearchResult> result;
  ASSERT_HR(S_OK, search_->Search(L"straße photos", 0, 0, result.put(), nullptr));
  STORESEARCHROW rows[2] = {};
  DWORD fetched = 0;
  auto take = [&](DWORD columns) {
    for (STORESEARCHROW& r : rows) r = {};
    EXPECT_HR(S_FALSE, result->GetRows(0, 2, columns, rows, &fetched));
    EXPECT_EQ(1u, fetched);
    const STORESEARCHROW& r = rows[0];
    std::vector<unique_bstr> strings;
    for (BSTR s : {r.bstrSubject, r.bstrFrom, r.bstrFromAddress, r.bstrTo, r.bstrCc, r.bstrMessageId})
      strings.emplace_back(s);
    return strings;
  };
  auto text = [](const unique_bstr& s) { return s ? std::wstring(s.get()) : L"<null>"; };

  auto some = take(STORESEARCHCOL_SUBJECT | STORESEARCHCOL_FROMADDRESS | STORESEARCHCOL_STATE);
  EXPECT_EQ((std::vector<std::wstring>{L"写真 Straße", L"<null>", L"smith@example.org", L"<null>", L"<null>", L"<null>"}),
            (std::vector<std::wstring>{text(some[0]), text(some[1]), text(some[2]), text(some[3]), text(some[4]),
                                       text(some[5])}));
  EXPECT_EQ(std::make_pair(1ul, id), std::make_pair(rows[0].idFolder, rows[0].idMessage));
  EXPECT_EQ(MSG_UNREAD | kFlagged, rows[0].dwState & (MSG_UNREAD | kFlagged));
  EXPECT_EQ((std::vector<ULONGLONG>{0, 0, 0, 0}),
            (std::vector<ULONGLONG>{rows[0].cbMessage, rows[0].cAttachments, Ticks(rows[0].ftReceived),
                                    Ticks(rows[0].ftSent)}));

  auto all = take(STORESEARCHCOL_ALL);
  EXPECT_NE(std::wstring::npos, text(all[1]).find(L"Jöhn Smith"));
  EXPECT_NE(std::wstring::npos, text(all[3]).find(L"Ann"));
  EXPECT_NE(std::wstring::npos, text(all[4]).find(L"Carl"));
  EXPECT_EQ(L"row@example.org", text(all[5]));
  SYSTEMTIME sent = {2024, 1, 1, 1, 10, 0, 0, 0};
  FILETIME sent_time;
  SystemTimeToFileTime(&sent, &sent_time);
  EXPECT_EQ((std::vector<ULONGLONG>{source.size(), 1, Ticks(props.ftReceived), Ticks(sent_time)}),
            (std::vector<ULONGLONG>{rows[0].cbMessage, rows[0].cAttachments, Ticks(rows[0].ftReceived),
                                    Ticks(rows[0].ftSent)}));
  EXPECT_HR(E_INVALIDARG, result->GetRows(0, 1, STORESEARCHCOL_ALL + 1, rows, &fetched));

  ASSERT_HR(S_OK, inbox_->DeleteMessages(&list, 0, nullptr));
  auto gone = take(STORESEARCHCOL_ALL);
  EXPECT_EQ(std::make_pair(1ul, id), std::make_pair(rows[0].idFolder, rows[0].idMessage));
  EXPECT_TRUE(!gone[0] && !gone[5] && rows[0].dwState == 0 && rows[0].cbMessage == 0);
}

// A malformed query is STORE_E_BADQUERY with a message naming the problem and its position, in
// the out string and the error object; so is a folder:NAME that names no folder. Null pointers
// and unknown flags are E_INVALIDARG; before Initialize every method is E_UNEXPECTED.
TEST_F(SearchTest, MalformedQueriesAndWrongArgumentsAreRefused) {
  com_ptr<IStoreSearchResult> result;
  unique_bstr error;
  EXPECT_HR(STORE_E_BADQUERY, search_->Search(L"report (draft", 0, 0, result.put(), error.put()));
  const pelkary::test::ErrorRecord info = pelkary::test::ErrorInfoOf();
  ASSERT_TRUE(error);
  EXPECT_NE(std::wstring::npos, std::wstring(error.get()).find(L"position 8")) << pelkary::test::Narrow(error.get());
  EXPECT_EQ(std::wstring(error.get()), info.description);
  EXPECT_EQ(L"StoreNamespace.Search", info.source);
  EXPECT_FALSE(result);
  EXPECT_HR(STORE_E_BADQUERY, search_->Search(L"folder:Nowhere x", 0, 0, result.put(), error.put()));
  EXPECT_NE(std::wstring::npos, std::wstring(error.get()).find(L"Nowhere"));
  EXPECT_HR(STORE_E_BADQUERY, search_->Search(L"\"open", 0, 0, result.put(), nullptr));
  EXPECT_HR(S_OK, search_->Search(L"x", 0, 0, result.put(), error.put()));
  EXPECT_FALSE(error);

  STOREFOLDERID id = 0;
  DWORD n = 0;
  com_ptr<IStoreSearchResult> none;
  EXPECT_EQ(std::vector<HRESULT>(9, E_INVALIDARG),
            (std::vector<HRESULT>{search_->Search(nullptr, 0, 0, none.put(), nullptr),
                                  search_->Search(L"x", 0, 0, nullptr, nullptr),
                                  search_->Search(L"x", 2, 0, none.put(), nullptr),
                                  search_->GetFolderPath(1, nullptr), search_->FindFolder(nullptr, &id),
                                  search_->FindFolder(L"Inbox", nullptr), result->GetCount(nullptr),
                                  result->GetHits(0, 1, nullptr, &n), result->GetRows(0, 1, 0, nullptr, &n)}));

  com_ptr<IStoreNamespace> early;
  ASSERT_HR(S_OK, CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER, IID_IStoreNamespace,
                                   early.put_void()));
  com_ptr<IStoreSearch> unready = SearchOf(early.get());
  unique_bstr path;
  EXPECT_EQ(std::vector<HRESULT>(4, E_UNEXPECTED),
            (std::vector<HRESULT>{unready->Search(L"x", 0, 0, none.put(), nullptr),
                                  unready->GetFolderPath(1, path.put()), unready->FindFolder(L"Inbox", &id),
                                  unready->Reindex(nullptr)}));
}

// Paths as the store tool writes and reads them: "/" between names, "\/" inside one, "#ID", names
// compared without regard to case and resolved in the code page the names are stored in; a name
// of digits wins over the id it spells. folder:NAME in a query reads them the same way.
TEST_F(SearchTest, FolderPathsAreTheToolsInTheStoresCodePage) {
  const STOREFOLDERID archive = Create(FOLDERID_ROOT, "Archive"), slash = Create(archive, "A/B"),
                      year = Create(FOLDERID_ROOT, std::to_string(archive + 100));
  const std::string cafe_name = pelkary::to_ansi(L"Café");  // stored as this process writes names
  ASSERT_EQ(L"Café", pelkary::ansi_to_wide(cafe_name.c_str())) << "the test needs a code page with é";
  const STOREFOLDERID cafe = Create(FOLDERID_ROOT, cafe_name);
  const std::wstring year_name = std::to_wstring(archive + 100);

  EXPECT_EQ(std::make_pair(S_OK, std::wstring(L"Archive/A\\/B")), PathOf(slash));
  EXPECT_EQ(std::make_pair(S_OK, std::wstring(L"Café")), PathOf(cafe));
  EXPECT_EQ(std::make_pair(S_FALSE, std::wstring(L"<null>")), PathOf(9999));
  EXPECT_EQ(std::make_pair(S_FALSE, std::wstring(L"<null>")), PathOf(FOLDERID_ROOT));
  EXPECT_EQ(std::make_pair(S_OK, slash), FindFolder(L"archive/a\\/B"));
  EXPECT_EQ(std::make_pair(S_OK, slash), FindFolder(L"#" + std::to_wstring(slash)));
  EXPECT_EQ(std::make_pair(S_OK, cafe), FindFolder(L"CAFÉ"));
  EXPECT_EQ(std::make_pair(S_OK, year), FindFolder(year_name));
  EXPECT_EQ(std::make_pair(S_OK, archive), FindFolder(std::to_wstring(archive)));
  EXPECT_EQ(std::make_pair(S_FALSE, FOLDERID_INVALID), FindFolder(L"Archive/A/B"));
  EXPECT_EQ(std::make_pair(S_FALSE, FOLDERID_INVALID), FindFolder(L"Caf\u0107"));  // not in the code page

  const MESSAGEID in_slash = Commit(Folder(slash).get(), "Subject: kept\r\n\r\nkept here\r\n");
  const MESSAGEID in_cafe = Commit(Folder(cafe).get(), "Subject: kept\r\n\r\nkept there\r\n");
  EXPECT_EQ(Hits({{slash, in_slash}}), Find(L"folder:\"Archive/A\\/B\" kept"));
  EXPECT_EQ(Hits({{cafe, in_cafe}}), Find(L"kept folder:café"));
  EXPECT_EQ(Hits({{cafe, in_cafe}}), Find(L"kept folder:#" + std::to_wstring(cafe)));
}

// Another process's delivery, move and deletion are seen by the next query of this one.
TEST_F(SearchTest, AnotherProcesssDeliveryIsFoundByTheNextQuery) {
  const MESSAGEID first = Commit(inbox_.get(), "Subject: one\r\n\r\nzebra crossing\r\n");
  ASSERT_EQ(Hits({{1, first}}), Find(L"zebra"));
  const std::wstring file = store_.path() + L"\\zebra.eml";
  std::ofstream(std::filesystem::path(file), std::ios::binary) << "Subject: two\r\n\r\nzebra stripes\r\n";
  ASSERT_EQ(0u, RunTool(store_.path(), L"import Inbox \"" + file + L"\""));
  EXPECT_EQ(Hits({{1, first + 1}, {1, first}}), Find(L"zebra"));
  ASSERT_EQ(0u, RunTool(store_.path(), L"mv Inbox " + std::to_wstring(first) + L" Drafts"));
  EXPECT_EQ(Hits({{1, first + 1}}), Find(L"zebra folder:inbox"));
  EXPECT_EQ(1u, Find(L"crossing folder:drafts").size());
  ASSERT_EQ(0u, RunTool(store_.path(), L"rm Inbox " + std::to_wstring(first + 1)));
  EXPECT_EQ(Hits(), Find(L"stripes folder:inbox"));
}

// A flipped byte in the index is a finding of CheckStore; a search never answers from the damaged
// file; Reindex rebuilds the index with its progress, and the store is sound again.
TEST_F(SearchTest, ADamagedIndexIsFoundAndNeverAnsweredFrom) {
  for (int i = 0; i < 3; ++i) Commit(inbox_.get(), "Subject: fruit\r\n\r\napple " + std::to_string(i) + "\r\n");
  const Hits apples = Find(L"apple");
  ASSERT_EQ(3u, apples.size());
  search_.reset();
  inbox_.reset();
  ns_.reset();  // this process lets the store go, and its index with it

  int flipped = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(store_.path()) / "index")) {
    if (entry.path().filename().string().rfind("seg-", 0) != 0) continue;
    std::fstream f(entry.path(), std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(40);
    const char c = static_cast<char>(f.get() ^ 0x20);
    f.seekp(40);
    f.put(c);
    ++flipped;
  }
  ASSERT_GT(flipped, 0) << "no index segment";
  ns_ = OpenStore();
  const auto [damaged, findings] = CheckStore();
  EXPECT_HR(S_FALSE, damaged);
  EXPECT_NE(std::string::npos, findings.find("search index")) << findings;

  search_ = SearchOf(ns_.get());
  EXPECT_EQ(apples, Find(L"apple"));
  ProgressRecorder progress;
  ASSERT_HR(S_OK, search_->Reindex(&progress));
  ASSERT_FALSE(progress.calls.empty());
  EXPECT_EQ(std::make_pair(3ul, 3ul), progress.calls.back());
  EXPECT_EQ(std::make_pair(S_OK, std::string()), CheckStore());
  EXPECT_EQ(apples, Find(L"apple"));
}

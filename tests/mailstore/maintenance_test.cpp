// A damaged store through COM and the store tool: Initialize refuses it, the
// tool's check finds the damage and its recover gives the mail back.
#include "store_test_util.h"

using namespace store_test;

namespace {

// Runs the store tool on |store| with |args|; its exit code.
DWORD RunTool(const std::wstring& store, const std::wstring& args) {
  std::wstring cmd = L"\"" + pelkary::test::BuiltBinaryPath(L"mxstore.exe") + L"\" --store \"" + store + L"\" " + args;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION pi = {};
  EXPECT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  pelkary::unique_handle thread(pi.hThread), process(pi.hProcess);
  DWORD code = 99;
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 60000));
  GetExitCodeProcess(process.get(), &code);
  return code;
}

const std::vector<std::string> kSources = {"Subject: one\r\n\r\nfirst\r\n", "Subject: two\r\n\r\nsecond\r\n"};

}  // namespace

TEST(StoreMaintenance, ADamagedStoreIsRefusedCheckedAndRecovered) {
  pelkary::test::ComApartment apartment;
  pelkary::test::TempStore store;
  {
    com_ptr<IStoreNamespace> ns = OpenStore();
    com_ptr<IStoreFolder> inbox;
    ASSERT_HR(S_OK, ns->OpenSpecialFolder(FOLDER_INBOX, 0, inbox.put()));
    for (const auto& source : kSources) Commit(inbox.get(), source);
  }
  EXPECT_EQ(0u, RunTool(store.path(), L"check"));
  ASSERT_TRUE(DeleteFileW((store.path() + L"\\journal.dat").c_str()));
  OpenStore(STG_E_DOCFILECORRUPT);  // never an empty store in its place
  EXPECT_EQ(1u, RunTool(store.path(), L"check"));
  EXPECT_EQ(1u, RunTool(store.path(), L"import Inbox nothing.eml"));
  EXPECT_EQ(0u, RunTool(store.path(), L"recover"));
  EXPECT_EQ(0u, RunTool(store.path(), L"check"));

  com_ptr<IStoreNamespace> ns = OpenStore();
  com_ptr<IStoreFolder> inbox;
  ASSERT_HR(S_OK, ns->OpenSpecialFolder(FOLDER_INBOX, 0, inbox.put()));
  std::vector<std::string> back;
  for (const auto& [id, source] : Messages(inbox.get())) back.push_back(source);
  EXPECT_EQ(kSources, back);
  MESSAGEPROPS p = Sized<MESSAGEPROPS>();
  ASSERT_HR(S_OK, inbox->GetMessageProps(2, 0, &p));  // the record is rebuilt from the source
  EXPECT_STREQ("two", p.pszSubject);
  inbox->FreeMessageProps(&p);
}

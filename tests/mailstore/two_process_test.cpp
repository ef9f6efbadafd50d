// Two processes on one store: the store tool imports an mbox in a child process while this one
// watches through its registered windows and reads every message back.
#include "mbox_format.h"
#include "store_test_util.h"

using namespace store_test;

namespace {

class TwoProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_HR(S_OK, ns_->OpenSpecialFolder(FOLDER_INBOX, 0, inbox_.put()));
    std::string mbox;
    for (int i = 0; i < 150; ++i) {
      messages_.push_back("Subject: import " + std::to_string(i) + "\r\n\r\n" + std::string(100 + i * 37 % 3000, 'x') +
                          "\r\n");
      mxstore::MboxFormat::Append(messages_.back(), "someone@example.com", "Mon Jan  1 00:00:00 2024", &mbox);
    }
    pelkary::unique_hfile file(CreateFileW(mbox_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), mbox.data(), static_cast<DWORD>(mbox.size()), &written, nullptr));
  }
  void TearDown() override { DeleteFileW(mbox_.c_str()); }

  // Starts the store tool importing the mbox into the Inbox, with no output.
  pelkary::unique_handle StartImport() {
    std::wstring cmd = L"\"" + pelkary::test::BuiltBinaryPath(L"mxstore.exe") + L"\" --store \"" + store_.path() +
                       L"\" import Inbox \"" + mbox_ + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    pelkary::unique_handle thread(pi.hThread);
    return pelkary::unique_handle(pi.hProcess);
  }

  pelkary::test::ComApartment apartment_;
  pelkary::test::TempStore store_;  // outlives everything that opens it
  const std::wstring mbox_ = store_.path() + L".mbox";
  std::vector<std::string> messages_;
  com_ptr<IStoreNamespace> ns_ = OpenStore();
  com_ptr<IStoreFolder> inbox_;
};

}  // namespace

TEST_F(TwoProcesses, AnImportInAnotherProcessIsSeenAndNotified) {
  StoreWindow store_window, inbox_window;
  ASSERT_HR(S_OK, ns_->RegisterNotification(0, store_window.hwnd()));
  ASSERT_HR(S_OK, inbox_->RegisterNotification(0, inbox_window.hwnd()));
  pelkary::unique_handle tool = StartImport();
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tool.get(), 60000));
  DWORD code = 1;
  GetExitCodeProcess(tool.get(), &code);
  ASSERT_EQ(0u, code) << "the store tool failed";

  // Every arrival is announced in id order, with the Inbox's unread changes; every source is whole.
  const Posts arrivals = inbox_window.Drain(1000), changes = store_window.Drain(0);
  const auto stored = Messages(inbox_.get());
  ASSERT_EQ(messages_.size(), stored.size());
  ASSERT_EQ(messages_.size(), arrivals.size());
  for (size_t i = 0; i < messages_.size(); ++i) {
    EXPECT_EQ((std::vector<DWORD>{WM_NEWMSGS, stored[i].first}), arrivals[i]);
    ASSERT_EQ(messages_[i], stored[i].second) << "message " << i;
  }
  FOLDERPROPS p = Sized<FOLDERPROPS>();
  ASSERT_HR(S_OK, inbox_->GetFolderProps(0, &p));
  ASSERT_FALSE(changes.empty());
  EXPECT_EQ((std::vector<DWORD>{WM_FOLDERNOTIFY, 0, UNREAD_CHANGE, p.dwFolderId, 0}), changes.back());
  EXPECT_EQ(messages_.size(), p.cUnread);
}

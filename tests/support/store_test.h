// A test against a fresh, empty store of its own (MAILSTORE_DIR under the temp folder), with a
// folder manager made through COM and a connection of the test's own to the same store: another
// client that puts messages in given folders with exact bytes and state flags, and reads back
// what pelkary wrote. Helpers report failures at the line of the test that called them.
//
//   class InboxTest : public StoreTest {};
//   TEST_F(InboxTest, Subject) {
//       com_ptr<IMXMessage> m = Open(Inbox(), Put(Inbox(), "Subject: hi\r\n\r\nbody"));
//       EXPECT_EQ(L"hi", Ask(m.get(), &IMXMessage::GetSubject));
//   }
//
// Every object must be released by the end of the test: the store session keeps the directory
// open while any folder or manager lives (manager_ is released in TearDown).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "store_api.h"
#include "support/test_support.h"

namespace pelkary::test {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The store's id of a special folder; Inbox() is FolderId(FOLDER_INBOX).
    long FolderId(SPECIALFOLDER special, Here at = Here::Caller());
    long Inbox(Here at = Here::Caller()) { return FolderId(FOLDER_INBOX, at); }
    // A new folder made through the manager; its id.
    long NewFolder(const wchar_t* name, long parent = 0, Here at = Here::Caller());
    // `source` stored as given in the folder, with these state flags; its id.
    MESSAGEID Put(long folder, const std::string& source, DWORD flags = 0, Here at = Here::Caller());

    // pelkary's folder object for an id, and its message object for a stored message.
    com_ptr<IMXFolder> Folder(long id, Here at = Here::Caller());
    com_ptr<IMXMessage> Open(long folder, MESSAGEID id, Here at = Here::Caller());
    // `source` put into the Inbox and opened.
    com_ptr<IMXMessage> PutAndOpen(const std::string& source, DWORD flags = 0, Here at = Here::Caller()) {
        return Open(Inbox(at), Put(Inbox(at), source, flags, at), at);
    }

    // What the store holds, read through the test's own connection.
    std::vector<MESSAGEID> Ids(long folder);
    std::string Source(long folder, MESSAGEID id);
    DWORD State(long folder, MESSAGEID id);  // 0xFFFFFFFF when there is no such message

    ComApartment apartment_;
    TempStore store_;
    com_ptr<IStoreNamespace> direct_;
    com_ptr<IMXFolderManager> manager_;

private:
    com_ptr<IStoreFolder> StoreFolder(long id);
};

// A StoreTest with a folder of files beside the store, for the methods that read and write files.
class FilesTest : public StoreTest {
protected:
    void SetUp() override;

    std::wstring File(const std::wstring& name) const { return (dir_ / name).wstring(); }
    void Write(const std::wstring& name, const std::string& bytes) const;
    int Files() const;  // how many files the folder holds

    std::filesystem::path dir_;
};

// A property of a message's body by id or (of the root) by name, or "<absent>" when GetBodyProp
// or GetBodyPropByName says it does not exist.
std::wstring BodyProp(IMXMessage* message, long body, long id, Here at = Here::Caller());
std::wstring BodyProp(IMXMessage* message, const wchar_t* name, Here at = Here::Caller());

}  // namespace pelkary::test

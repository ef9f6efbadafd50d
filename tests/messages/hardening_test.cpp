// What pelkary does when the store changes under it or hands it hostile input: the source saved
// to a file byte for byte, messages and folders that are gone by the time an object is bound or
// used, and the deletion mark that mail from outside cannot carry.
#include <filesystem>

#include "support/object_factory.h"
#include "support/store_test.h"

namespace pelkary::test {
namespace {

class HardeningTest : public StoreTest {
protected:
    // Deletes a message through the test's own connection (it moves to the deleted items).
    void Remove(long folder_id, MESSAGEID id) {
        com_ptr<IStoreFolder> folder;
        ASSERT_HR(S_OK, direct_->OpenFolder(static_cast<STOREFOLDERID>(folder_id), 0, folder.put()));
        MESSAGEIDLIST list{sizeof(MESSAGEIDLIST), 1, &id};
        ASSERT_HR(S_OK, folder->DeleteMessages(&list, 0, nullptr));
    }
};

bool Exists(const std::wstring& path) { return std::filesystem::exists(std::filesystem::path(path)); }

TEST_F(HardeningTest, SaveAsFileWritesTheStoredBytesUnchangedAndNothingForAGoneMessage) {
    TempStore dir;
    // NUL bytes (one at the start of the second 4096-byte piece) and bytes the code page maps
    // to no character of its own.
    std::string source = "Subject: raw\r\n\r\n" + std::string(4080, 'a');
    source += std::string("\0\x81\x8d\x8f\x90\x9d\xff tail\0", 13);
    const MESSAGEID id = Put(Inbox(), source);
    com_ptr<IMXMessage> m = Open(Inbox(), id);
    const std::wstring file = dir.path() + L"\\raw.eml";
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::SaveAsFile, B(file.c_str()).get()));
    EXPECT_TRUE(source == FileBytes(file)) << "the bytes differ";

    Remove(Inbox(), id);
    const std::wstring none = dir.path() + L"\\gone.eml";
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::SaveAsFile, B(none.c_str()).get()));
    EXPECT_FALSE(Exists(none)) << "no empty file is left";
}

TEST_F(HardeningTest, AMessageWalkSkipsWhatLeftTheFolderAfterTheStoreListedIt) {
    const long inbox = Inbox();
    const MESSAGEID first = Put(inbox, "Subject: 1\r\n\r\n1"), second = Put(inbox, "Subject: 2\r\n\r\n2"),
                    third = Put(inbox, "Subject: 3\r\n\r\n3");
    com_ptr<IMXFolder> folder = Folder(inbox);
    com_ptr<IMXMessage> m = Ask(folder.get(), &IMXFolder::GetFirstMessage);
    EXPECT_EQ(static_cast<long>(first), Ask(m.get(), &IMXMessage::GetID));
    Remove(inbox, second);
    m = Ask(folder.get(), &IMXFolder::GetNextMessage);
    ASSERT_TRUE(m);
    EXPECT_EQ(static_cast<long>(third), Ask(m.get(), &IMXMessage::GetID)) << "not an unsaved stand-in";
    EXPECT_FALSE(Ask(folder.get(), &IMXFolder::GetNextMessage));
    EXPECT_EQ((std::vector<MESSAGEID>{first, third}), Ids(inbox));

    // A message that goes after its object was bound: no body length made of the record's size.
    com_ptr<IMXMessage> gone = Open(inbox, first);
    Remove(inbox, first);
    EXPECT_EQ(0, Ask(gone.get(), &IMXMessage::GetBodyLength));
}

TEST_F(HardeningTest, FolderWalksSkipADeletedFolderAndItsObjectIsNull) {
    const long parent = NewFolder(L"Parent");
    NewFolder(L"A", parent);
    const long b = NewFolder(L"B", parent);
    NewFolder(L"C", parent);
    com_ptr<IMXFolder> folder = Folder(parent), b_object = Folder(b);
    EXPECT_EQ(0, Ask(b_object.get(), &IMXFolder::IsNull));
    EXPECT_EQ(L"A", Ask(Ask(folder.get(), &IMXFolder::GetFirstChild).get(), &IMXFolder::Name));
    com_ptr<IMXFolder> at_parent = Ask(manager_.get(), &IMXFolderManager::GetFirstFolder);
    while (at_parent && Ask(at_parent.get(), &IMXFolder::GetID) != parent)
        at_parent = Ask(manager_.get(), &IMXFolderManager::GetNextFolder);
    ASSERT_TRUE(at_parent);
    EXPECT_EQ(L"A", Ask(Ask(manager_.get(), &IMXFolderManager::GetNextFolder).get(), &IMXFolder::Name));

    ASSERT_HR(S_OK, direct_->DeleteFolder(static_cast<STOREFOLDERID>(b), 0));
    EXPECT_EQ(1, Ask(b_object.get(), &IMXFolder::IsNull));
    EXPECT_EQ(std::vector<std::wstring>{L"C"}, Walk(folder.get(), &IMXFolder::GetNextChild));
    EXPECT_EQ(L"C", Ask(Ask(manager_.get(), &IMXFolderManager::GetNextFolder).get(), &IMXFolder::Name));
}

}  // namespace
}  // namespace pelkary::test

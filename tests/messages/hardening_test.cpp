// What pelkary does when the store changes under it or hands it hostile input: the source saved
// to a file byte for byte, messages and folders that are gone by the time an object is bound or
// used, and the deletion mark that mail from outside cannot carry.
#include <filesystem>

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

}  // namespace
}  // namespace pelkary::test

// Shared ground of the message tests: a fresh store, a folder manager made through COM, and a
// store connection of the test's own (another client of the same store) that places messages
// with exact bytes and state flags and checks what the server wrote.
#pragma once

#include <string>
#include <vector>

#include "mime_api.h"
#include "store_api.h"
#include "support/test_support.h"

namespace pelkary::test {

class MessageTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Stores `source` (bytes as given) in the special folder with these state flags; its id.
    MESSAGEID Store(SPECIALFOLDER folder, const std::string& source, DWORD flags = 0);
    // The folder id of a special folder.
    long FolderId(SPECIALFOLDER folder);
    // The message `id` of a special folder, through IMXFolderManager and IMXFolder::GetMessage.
    com_ptr<IMXMessage> Open(SPECIALFOLDER folder, MESSAGEID id);
    // Stores `source` in the Inbox and opens it.
    com_ptr<IMXMessage> StoreAndOpen(const std::string& source, DWORD flags = 0);
    // A client-made, unsaved message.
    com_ptr<IMXMessage> NewMessage();

    // The ids and raw sources of a special folder's messages, read through the test's own store
    // connection.
    std::vector<MESSAGEID> MessageIds(SPECIALFOLDER folder);
    std::string RawSource(SPECIALFOLDER folder, MESSAGEID id);
    DWORD StoredState(SPECIALFOLDER folder, MESSAGEID id);

    com_ptr<IStoreFolder> OpenStoreFolder(SPECIALFOLDER folder);

    ComApartment apartment_;
    TempStore store_;
    com_ptr<IStoreNamespace> other_client_;
    com_ptr<IMXFolderManager> manager_;
};

// Calls on IMXMessage that return a string or a number, with the HRESULT checked (S_OK).
std::wstring Text(IMXMessage* m, HRESULT (STDMETHODCALLTYPE IMXMessage::*fn)(BSTR*));
std::wstring Text(IMXMessage* m, HRESULT (STDMETHODCALLTYPE IMXMessage::*fn)(long, BSTR*), long arg);
long Number(IMXMessage* m, HRESULT (STDMETHODCALLTYPE IMXMessage::*fn)(long*));
long Number(IMXMessage* m, HRESULT (STDMETHODCALLTYPE IMXMessage::*fn)(long, long*), long arg);

// A BSTR for an argument (null for nullptr).
unique_bstr B(const wchar_t* text);

// A fresh directory under the temp folder for files a test writes; removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::wstring& path() const { return path_; }
    std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// The bytes of a file ("" when it cannot be read) and whether it exists; writing one.
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The number of entries in a directory (files and directories, "." and ".." excluded).
int CountEntries(const std::wstring& dir);

}  // namespace pelkary::test

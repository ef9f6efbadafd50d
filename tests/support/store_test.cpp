#include "support/store_test.h"

#include <fstream>

#include "comsupport/stream_io.h"
#include "comsupport/unique_henumstore.h"

namespace pelkary::test {

void StoreTest::SetUp() {
    ASSERT_HR(S_OK, CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER, IID_IStoreNamespace,
                                     direct_.put_void()));
    ASSERT_HR(S_OK, direct_->Initialize(nullptr, 1));
    manager_ = CreateManager();
    ASSERT_TRUE(manager_);
}

void StoreTest::TearDown() {
    manager_ = nullptr;
    direct_ = nullptr;
}

com_ptr<IStoreFolder> StoreTest::StoreFolder(long id) {
    com_ptr<IStoreFolder> folder;
    if (FAILED(direct_->OpenFolder(static_cast<STOREFOLDERID>(id), 0, folder.put()))) folder = nullptr;
    return folder;
}

long StoreTest::FolderId(SPECIALFOLDER special, Here at) {
    ::testing::ScopedTrace trace(at.file, at.line, "special folder");
    com_ptr<IStoreFolder> folder;
    EXPECT_HR(S_OK, direct_->OpenSpecialFolder(special, 0, folder.put()));
    FOLDERPROPS props{};
    props.cbSize = sizeof props;
    if (folder) {
        EXPECT_HR(S_OK, folder->GetFolderProps(0, &props));
    }
    return static_cast<long>(props.dwFolderId);
}

long StoreTest::NewFolder(const wchar_t* name, long parent, Here at) {
    ::testing::ScopedTrace trace(at.file, at.line, "new folder");
    long id = Ask(manager_.get(), &IMXFolderManager::CreateFolder, parent, B(name).get(), at);
    EXPECT_GT(id, 0);
    return id;
}

MESSAGEID StoreTest::Put(long folder_id, const std::string& source, DWORD flags, Here at) {
    ::testing::ScopedTrace trace(at.file, at.line, "putting a message");
    com_ptr<IStoreFolder> folder = StoreFolder(folder_id);
    com_ptr<IStream> stream;
    MESSAGEID id = MESSAGEID_INVALID;
    EXPECT_TRUE(folder) << "no folder " << folder_id;
    if (!folder || FAILED(folder->CreateStream(nullptr, 0, stream.put(), &id))) return MESSAGEID_INVALID;
    EXPECT_HR(S_OK, write_all(stream.get(), source));
    EXPECT_HR(S_OK, folder->CommitStream(nullptr, 0, flags, stream.get(), id, nullptr));
    return id;
}

com_ptr<IMXFolder> StoreTest::Folder(long id, Here at) {
    com_ptr<IMXFolder> folder = Ask(manager_.get(), &IMXFolderManager::GetFolder, id, at);
    ::testing::ScopedTrace trace(at.file, at.line, "folder");
    EXPECT_TRUE(folder) << "GetFolder never answers null";
    return folder;
}

com_ptr<IMXMessage> StoreTest::Open(long folder, MESSAGEID id, Here at) {
    com_ptr<IMXFolder> f = Folder(folder, at);
    com_ptr<IMXMessage> message;
    if (f) message = Ask(f.get(), &IMXFolder::GetMessage, static_cast<long>(id), at);
    ::testing::ScopedTrace trace(at.file, at.line, "message");
    EXPECT_TRUE(message) << "message " << id << " not found in folder " << folder;
    return message;
}

std::vector<MESSAGEID> StoreTest::Ids(long folder_id) {
    std::vector<MESSAGEID> ids;
    com_ptr<IStoreFolder> folder = StoreFolder(folder_id);
    MESSAGEPROPS props{};
    props.cbSize = sizeof props;
    unique_henumstore<IStoreFolder> walk;
    for (HRESULT hr = folder ? folder->GetFirstMessage(0, 0, MESSAGEID_FIRST, &props, walk.put(folder.get())) : E_FAIL;
         hr == S_OK; hr = folder->GetNextMessage(walk.get(), 0, &props)) {
        ids.push_back(props.dwMessageId);
        folder->FreeMessageProps(&props);
    }
    return ids;
}

std::string StoreTest::Source(long folder_id, MESSAGEID id) {
    com_ptr<IStoreFolder> folder = StoreFolder(folder_id);
    com_ptr<IStream> stream;
    std::string bytes;
    if (!folder || FAILED(folder->OpenMessage(id, IID_IStream, stream.put_void()))) return "<none>";
    read_to_end(stream.get(), &bytes);
    return bytes;
}

DWORD StoreTest::State(long folder_id, MESSAGEID id) {
    com_ptr<IStoreFolder> folder = StoreFolder(folder_id);
    MESSAGEPROPS props{};
    props.cbSize = sizeof props;
    if (!folder || FAILED(folder->GetMessageProps(id, 0, &props))) return 0xFFFFFFFF;
    const DWORD state = props.dwState;
    folder->FreeMessageProps(&props);
    return state;
}

namespace {

std::wstring PropertyValue(HRESULT hr, long exist, const unique_bstr& value, Here at) {
    ::testing::ScopedTrace trace(at.file, at.line, "body property");
    EXPECT_HR(S_OK, hr);
    EXPECT_EQ(exist != 0, static_cast<bool>(value)) << "exist says " << exist;
    return exist ? std::wstring(value.get(), value.length()) : L"<absent>";
}

}  // namespace

std::wstring BodyProp(IMXMessage* message, long body, long id, Here at) {
    long exist = 7;
    unique_bstr value;
    HRESULT hr = message->GetBodyProp(body, static_cast<tagNUVAKMIMEPROPID>(id), &exist, value.put());
    return PropertyValue(hr, exist, value, at);
}

std::wstring BodyProp(IMXMessage* message, const wchar_t* name, Here at) {
    long exist = 7;
    unique_bstr value;
    HRESULT hr = message->GetBodyPropByName(-1, B(name).get(), &exist, value.put());
    return PropertyValue(hr, exist, value, at);
}

void FilesTest::SetUp() {
    StoreTest::SetUp();
    dir_ = std::filesystem::path(store_.path()) / "files";
    std::filesystem::create_directory(dir_);
}

void FilesTest::Write(const std::wstring& name, const std::string& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
}

int FilesTest::Files() const {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(dir_), {}));
}

}  // namespace pelkary::test

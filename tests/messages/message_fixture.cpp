#include "message_fixture.h"

#include <filesystem>

namespace pelkary::test {

void MessageTest::SetUp() {
    ASSERT_HR(S_OK, CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER, IID_IStoreNamespace,
                                     other_client_.put_void()));
    ASSERT_HR(S_OK, other_client_->Initialize(nullptr, 1));
    manager_ = CreateManager();
    ASSERT_TRUE(manager_);
}

void MessageTest::TearDown() {
    manager_.reset();
    other_client_.reset();
}

com_ptr<IStoreFolder> MessageTest::OpenStoreFolder(SPECIALFOLDER folder) {
    com_ptr<IStoreFolder> f;
    EXPECT_HR(S_OK, other_client_->OpenSpecialFolder(folder, 0, f.put()));
    return f;
}

MESSAGEID MessageTest::Store(SPECIALFOLDER folder, const std::string& source, DWORD flags) {
    com_ptr<IStoreFolder> f = OpenStoreFolder(folder);
    if (!f) return MESSAGEID_INVALID;
    com_ptr<IStream> stream;
    MESSAGEID id = MESSAGEID_INVALID;
    EXPECT_HR(S_OK, f->CreateStream(nullptr, 0, stream.put(), &id));
    if (!stream) return MESSAGEID_INVALID;
    ULONG written = 0;
    EXPECT_HR(S_OK, stream->Write(source.data(), static_cast<ULONG>(source.size()), &written));
    EXPECT_HR(S_OK, f->CommitStream(nullptr, 0, flags, stream.get(), id, nullptr));
    return id;
}

long MessageTest::FolderId(SPECIALFOLDER folder) {
    com_ptr<IStoreFolder> f = OpenStoreFolder(folder);
    FOLDERPROPS props{};
    props.cbSize = sizeof props;
    EXPECT_HR(S_OK, f->GetFolderProps(0, &props));
    return static_cast<long>(props.dwFolderId);
}

com_ptr<IMXMessage> MessageTest::Open(SPECIALFOLDER folder, MESSAGEID id) {
    com_ptr<IMXFolder> f;
    EXPECT_HR(S_OK, manager_->GetFolder(FolderId(folder), reinterpret_cast<::MXFolder**>(f.put())));
    com_ptr<IMXMessage> m;
    if (f) {
        EXPECT_HR(S_OK, f->GetMessage(static_cast<long>(id), reinterpret_cast<::MXMessage**>(m.put())));
    }
    EXPECT_TRUE(m) << "message " << id << " not found";
    return m;
}

com_ptr<IMXMessage> MessageTest::StoreAndOpen(const std::string& source, DWORD flags) {
    return Open(FOLDER_INBOX, Store(FOLDER_INBOX, source, flags));
}

com_ptr<IMXMessage> MessageTest::NewMessage() { return CreateMessageObject(); }

std::vector<MESSAGEID> MessageTest::MessageIds(SPECIALFOLDER folder) {
    std::vector<MESSAGEID> ids;
    com_ptr<IStoreFolder> f = OpenStoreFolder(folder);
    if (!f) return ids;
    MESSAGEPROPS props{};
    props.cbSize = sizeof props;
    HENUMSTORE walk = nullptr;
    HRESULT hr = f->GetFirstMessage(0, 0, MESSAGEID_FIRST, &props, &walk);
    while (hr == S_OK) {
        ids.push_back(props.dwMessageId);
        f->FreeMessageProps(&props);
        props.cbSize = sizeof props;
        hr = f->GetNextMessage(walk, 0, &props);
    }
    if (walk) f->GetMessageClose(walk);
    return ids;
}

std::string MessageTest::RawSource(SPECIALFOLDER folder, MESSAGEID id) {
    com_ptr<IStoreFolder> f = OpenStoreFolder(folder);
    com_ptr<IStream> stream;
    if (!f || FAILED(f->OpenMessage(id, IID_IStream, stream.put_void()))) return std::string();
    std::string bytes;
    char buffer[4096];
    ULONG got = 0;
    while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &got)) && got > 0) bytes.append(buffer, got);
    return bytes;
}

DWORD MessageTest::StoredState(SPECIALFOLDER folder, MESSAGEID id) {
    com_ptr<IStoreFolder> f = OpenStoreFolder(folder);
    MESSAGEPROPS props{};
    props.cbSize = sizeof props;
    if (!f || FAILED(f->GetMessageProps(id, 0, &props))) return 0xFFFFFFFF;
    DWORD state = props.dwState;
    f->FreeMessageProps(&props);
    return state;
}

std::wstring Text(IMXMessage* m, HRESULT (STDMETHODCALLTYPE IMXMessage::*fn)(BSTR*)) {
    unique_bstr out;
    EXPECT_HR(S_OK, (m->*fn)(out.put()));
    return out ? std::wstring(out.get(), out.length()) : std::wstring();
}

std::wstring Text(IMXMessage* m, HRESULT (STDMETHODCALLTYPE IMXMessage::*fn)(long, BSTR*), long arg) {
    unique_bstr out;
    EXPECT_HR(S_OK, (m->*fn)(arg, out.put()));
    return out ? std::wstring(out.get(), out.length()) : std::wstring();
}

long Number(IMXMessage* m, HRESULT (STDMETHODCALLTYPE IMXMessage::*fn)(long*)) {
    long out = 0x7777;
    EXPECT_HR(S_OK, (m->*fn)(&out));
    return out;
}

long Number(IMXMessage* m, HRESULT (STDMETHODCALLTYPE IMXMessage::*fn)(long, long*), long arg) {
    long out = 0x7777;
    EXPECT_HR(S_OK, (m->*fn)(arg, &out));
    return out;
}

unique_bstr B(const wchar_t* text) { return unique_bstr(text ? SysAllocString(text) : nullptr); }

TempDir::TempDir() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        std::wstring candidate = std::wstring(temp) + L"pelkary-msg-" + std::to_wstring(GetTickCount()) + L"-" +
                                 std::to_wstring(attempt);
        if (CreateDirectoryW(candidate.c_str(), nullptr)) path_ = candidate;
    }
    EXPECT_FALSE(path_.empty());
}

TempDir::~TempDir() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(std::filesystem::path(path_), error);
}

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return bytes;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, got);
    fclose(f);
    return bytes;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_TRUE(f);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

int CountEntries(const std::wstring& dir) {
    int n = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(std::filesystem::path(dir), error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++n;
    return n;
}

}  // namespace pelkary::test

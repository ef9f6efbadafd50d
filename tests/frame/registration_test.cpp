// Registration written and removed by the module's own exports, read back from the registry;
// and what a client sees while parts of it are missing. Every test leaves the server registered.
#include <algorithm>
#include <map>

#include "support/test_support.h"

namespace pelkary::test {
namespace {

const wchar_t* const kNames[] = {L"MXMessage", L"MXFolder", L"MXFolderManager"};
const CLSID* const kClasses[] = {&CLSID_MXMessage, &CLSID_MXFolder, &CLSID_MXFolderManager};

std::wstring Braced(const GUID& guid) {
    const std::string text = GuidText(guid);
    return std::wstring(text.begin(), text.end());
}

// Every key under `path` with its values ("name(type)=data;..."), depth first.
void DumpKey(const std::wstring& path, std::map<std::wstring, std::wstring>& out) {
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    std::wstring& values = out[path];
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD name_size = 256, type = 0;
        BYTE data[2048];
        DWORD data_size = sizeof data;
        if (RegEnumValueW(key.get(), i, name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS) break;
        values += std::wstring(name) + L"(" + std::to_wstring(type) + L")=" +
                  std::wstring(reinterpret_cast<wchar_t*>(data), data_size / sizeof(wchar_t)) + L";";
    }
    for (DWORD i = 0, size = 256; RegEnumKeyExW(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                                  ERROR_SUCCESS;
         ++i, size = 256)
        DumpKey(path + L"\\" + name, out);
}

// Everything pelkary's registration can touch.
std::map<std::wstring, std::wstring> DumpRegistration() {
    std::map<std::wstring, std::wstring> out;
    for (int i = 0; i < 3; ++i) {
        DumpKey(L"CLSID\\" + Braced(*kClasses[i]), out);
        DumpKey(std::wstring(L"PELKARY.") + kNames[i], out);
    }
    DumpKey(L"TypeLib\\" + Braced(LIBID_PELKARY), out);
    for (const IID* iid : {&IID_IMXMessage, &IID_IMXFolder, &IID_IMXFolderManager, &DIID_IMXFolderEvents,
                           &DIID_IMXFolderManagerEvents})
        DumpKey(L"Interface\\" + Braced(*iid), out);
    return out;
}

bool TypeLibraryRegistered() {
    com_ptr<ITypeLib> library;
    return SUCCEEDED(LoadRegisteredLibrary(library.put()));
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(module_.loaded()); }
    void TearDown() override {
        RegDeleteKeyW(HKEY_CLASSES_ROOT, L"PELKARY.MXFolder");  // the volatile blocker, if left
        EXPECT_HR(S_OK, module_.RegisterServer()) << "could not restore the registration";
    }

    ComApartment apartment_;
    TempStore store_;
    ServerModule module_;
};

TEST_F(RegistrationTest, WritesExactlyTheClassKeysAndTheTypeLibraryOnceHoweverOftenCalled) {
    ASSERT_HR(S_OK, module_.UnregisterServer());
    ASSERT_HR(S_OK, module_.RegisterServer());
    EXPECT_TRUE(TypeLibraryRegistered());
    const auto once = DumpRegistration();
    std::map<std::wstring, std::wstring> expected;
    for (int i = 0; i < 3; ++i) {
        const std::wstring key = L"CLSID\\" + Braced(*kClasses[i]), prog_id = std::wstring(L"PELKARY.") + kNames[i];
        auto value = [](const std::wstring& data) { return L"(1)=" + data + std::wstring(1, L'\0') + L";"; };
        expected[key] = value(kNames[i]);
        expected[key + L"\\InprocServer32"] = value(module_.path()) + L"ThreadingModel" + value(L"Apartment");
        expected[key + L"\\TypeLib"] = value(Braced(LIBID_PELKARY));
        expected[key + L"\\ProgID"] = value(prog_id);
        expected[prog_id] = value(kNames[i]);
        expected[prog_id + L"\\CLSID"] = value(Braced(*kClasses[i]));
    }
    std::map<std::wstring, std::wstring> classes;
    for (const auto& [path, values] : once)
        if (path.rfind(L"TypeLib\\", 0) != 0 && path.rfind(L"Interface\\", 0) != 0) classes[path] = values;
    EXPECT_EQ(classes, expected) << "no versioned ProgID, CurVer, LocalServer32 or Programmable";

    ASSERT_HR(S_OK, module_.RegisterServer());
    EXPECT_EQ(DumpRegistration(), once) << "registering twice leaves what registering once leaves";
}

// What unregistering leaves and what a registration that fails half-way leaves are the same: nothing.
TEST_F(RegistrationTest, UnregisteringAndAFailedWriteLeaveNoKey) {
    auto expect_nothing_left = [](const char* after) {
        const auto left = DumpRegistration();
        EXPECT_TRUE(left.empty()) << after << " left: " << Narrow(left.empty() ? L"" : left.begin()->first);
        EXPECT_FALSE(TypeLibraryRegistered()) << after;
    };
    ASSERT_HR(S_OK, module_.UnregisterServer());
    expect_nothing_left("unregistering");
    EXPECT_HR(S_OK, module_.UnregisterServer()) << "quiet when nothing is there";
    // A volatile "PELKARY.MXFolder" refuses the lasting "CLSID" subkey that registration creates
    // under it, half-way through the second class (ERROR_CHILD_MUST_BE_VOLATILE).
    unique_hkey blocker;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, L"PELKARY.MXFolder", 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, blocker.put(), nullptr));
    blocker.reset();
    SetErrorInfo(0, nullptr);
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE), module_.RegisterServer());
    // Only what the exception carries: a bare code has no source and no description.
    ErrorRecord record = ErrorInfoOf();
    EXPECT_TRUE(record.present);
    EXPECT_TRUE(record.source.empty()) << Narrow(record.source);
    EXPECT_TRUE(record.description.empty()) << Narrow(record.description);
    expect_nothing_left("a failed write");
}

TEST_F(RegistrationTest, WithoutTheTypeLibraryDispatchAnswersNotImplementedUntilItIsBack) {
    ASSERT_HR(S_OK, module_.UnregisterServer());
    com_ptr<ITypeLib> probe;
    const HRESULT load_failure = LoadRegisteredLibrary(probe.put());
    ASSERT_TRUE(FAILED(load_failure));
    com_ptr<IClassFactory> factory;
    ASSERT_HR(S_OK, module_.GetClassObject(CLSID_MXMessage, IID_IClassFactory, factory.put_void()));
    com_ptr<IMXMessage> message;
    ASSERT_HR(S_OK, factory->CreateInstance(nullptr, IID_IMXMessage, message.put_void()));

    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_HR(E_NOTIMPL, message->GetTypeInfo(0, 0, &info));
    EXPECT_EQ(info, nullptr);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"GetID")};
    DISPID id = 0;
    EXPECT_HR(E_NOTIMPL, message->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
    com_ptr<IProvideClassInfo> provide = message.try_query<IProvideClassInfo>();
    ASSERT_TRUE(provide);
    info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_HR(load_failure, provide->GetClassInfo(&info));
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(-1, Ask(message.get(), &IMXMessage::GetID)) << "the early-bound path needs no library";

    // A failure is not remembered: once registered, the same object serves IDispatch.
    ASSERT_HR(S_OK, module_.RegisterServer());
    EXPECT_HR(S_OK, message->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
    EXPECT_EQ(id, 0x60020000);
}

}  // namespace
}  // namespace pelkary::test

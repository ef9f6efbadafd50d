// Registration written and removed by the module's own exports, read back from the registry;
// and what a client sees while parts of it are missing. Every test leaves the server registered.
#include <map>

#include "support/test_support.h"

namespace pelkary::test {
namespace {

const wchar_t* const kProgIds[] = {L"PELKARY.MXMessage", L"PELKARY.MXFolder", L"PELKARY.MXFolderManager"};
const CLSID* const kClasses[] = {&CLSID_MXMessage, &CLSID_MXFolder, &CLSID_MXFolderManager};
const IID* const kInterfaces[] = {&IID_IMXMessage, &IID_IMXFolder, &IID_IMXFolderManager, &DIID_IMXFolderEvents,
                                  &DIID_IMXFolderManagerEvents};

std::wstring Braced(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Every key under `path` with its values, one entry per key ("path" -> "name=data;...").
void DumpKey(const std::wstring& path, std::map<std::wstring, std::wstring>& out) {
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    std::wstring values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD name_size = 256, type = 0;
        BYTE data[2048];
        DWORD data_size = sizeof data;
        if (RegEnumValueW(key.get(), i, name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS) break;
        values += std::wstring(name) + L"(" + std::to_wstring(type) + L")=" +
                  std::wstring(reinterpret_cast<wchar_t*>(data), data_size / sizeof(wchar_t)) + L";";
    }
    out[path] = values;
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD size = 256;
        if (RegEnumKeyExW(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.push_back(name);
    }
    for (const std::wstring& child : children) DumpKey(path + L"\\" + child, out);
}

// Everything pelkary's registration can touch.
std::map<std::wstring, std::wstring> DumpRegistration() {
    std::map<std::wstring, std::wstring> out;
    for (const CLSID* clsid : kClasses) DumpKey(L"CLSID\\" + Braced(*clsid), out);
    for (const wchar_t* prog_id : kProgIds) DumpKey(prog_id, out);
    DumpKey(L"TypeLib\\" + Braced(LIBID_PELKARY), out);
    for (const IID* iid : kInterfaces) DumpKey(L"Interface\\" + Braced(*iid), out);
    return out;
}

std::wstring DefaultValue(const std::wstring& path, const wchar_t* name = nullptr) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"(missing)";
    return value;
}

// Loads the registered library as the server does: neutral locale first, then the library's own.
HRESULT LoadRegisteredLibrary(ITypeLib** library) {
    HRESULT hr = LoadRegTypeLib(LIBID_PELKARY, 2, 3, 0, library);
    return FAILED(hr) ? LoadRegTypeLib(LIBID_PELKARY, 2, 3, 0x409, library) : hr;
}

bool TypeLibraryRegistered() {
    com_ptr<ITypeLib> library;
    return SUCCEEDED(LoadRegisteredLibrary(library.put()));
}

bool UnderKey(const std::wstring& path, const std::wstring& key) {
    return path == key || path.rfind(key + L"\\", 0) == 0;
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

TEST_F(RegistrationTest, WritesTheClassKeysAndTheTypeLibrary) {
    ASSERT_HR(S_OK, module_.UnregisterServer());
    ASSERT_HR(S_OK, module_.RegisterServer());
    EXPECT_TRUE(TypeLibraryRegistered());
    const wchar_t* const names[] = {L"MXMessage", L"MXFolder", L"MXFolderManager"};
    auto dump = DumpRegistration();
    for (int i = 0; i < 3; ++i) {
        const std::wstring key = L"CLSID\\" + Braced(*kClasses[i]);
        SCOPED_TRACE(Narrow(key));
        EXPECT_EQ(DefaultValue(key), names[i]);
        EXPECT_EQ(DefaultValue(key + L"\\InprocServer32"), module_.path());
        EXPECT_EQ(DefaultValue(key + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
        EXPECT_EQ(DefaultValue(key + L"\\TypeLib"), Braced(LIBID_PELKARY));
        EXPECT_EQ(DefaultValue(key + L"\\ProgID"), kProgIds[i]);
        EXPECT_EQ(DefaultValue(kProgIds[i]), names[i]);
        EXPECT_EQ(DefaultValue(std::wstring(kProgIds[i]) + L"\\CLSID"), Braced(*kClasses[i]));
        // Exactly these keys: no versioned ProgID, CurVer, LocalServer32 or Programmable.
        std::vector<std::wstring> keys;
        for (const auto& [path, values] : dump)
            if (UnderKey(path, key) || UnderKey(path, kProgIds[i])) keys.push_back(path);
        std::vector<std::wstring> expected = {key, key + L"\\InprocServer32", key + L"\\ProgID", key + L"\\TypeLib",
                                              kProgIds[i], std::wstring(kProgIds[i]) + L"\\CLSID"};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(keys, expected);
    }
    // The version-independent ProgIDs lead clients to the classes.
    CLSID clsid;
    EXPECT_HR(S_OK, CLSIDFromProgID(L"PELKARY.MXFolderManager", &clsid));
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_MXFolderManager));
}

TEST_F(RegistrationTest, RegisteringTwiceLeavesWhatRegisteringOnceLeaves) {
    ASSERT_HR(S_OK, module_.UnregisterServer());
    ASSERT_HR(S_OK, module_.RegisterServer());
    auto once = DumpRegistration();
    ASSERT_HR(S_OK, module_.RegisterServer());
    auto twice = DumpRegistration();
    EXPECT_EQ(once, twice);
    EXPECT_GE(once.size(), 3u * 6u + 1u);
}

TEST_F(RegistrationTest, UnregisteringRemovesEveryKeyAndStaysQuietWhenNothingIsThere) {
    ASSERT_HR(S_OK, module_.RegisterServer());
    EXPECT_HR(S_OK, module_.UnregisterServer());
    auto left = DumpRegistration();
    EXPECT_TRUE(left.empty()) << "left behind: " << (left.empty() ? "" : Narrow(left.begin()->first));
    EXPECT_FALSE(TypeLibraryRegistered());
    CLSID clsid;
    EXPECT_HR(CO_E_CLASSSTRING, CLSIDFromProgID(L"PELKARY.MXFolder", &clsid));
    EXPECT_HR(S_OK, module_.UnregisterServer());
}

TEST_F(RegistrationTest, AFailedWriteRollsBackEverything) {
    ASSERT_HR(S_OK, module_.UnregisterServer());
    // A volatile "PELKARY.MXFolder" refuses the lasting "CLSID" subkey that registration creates
    // under it, half-way through the second class (ERROR_CHILD_MUST_BE_VOLATILE).
    unique_hkey blocker;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, L"PELKARY.MXFolder", 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, blocker.put(), nullptr));
    blocker.reset();
    ClearErrorInfo();
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE), module_.RegisterServer());
    ErrorRecord record = ErrorInfoOf();
    EXPECT_TRUE(record.present);
    // Only what the exception carries: a bare code has no source and no description. (The
    // GUID is left unset; this runtime does not clear an unset GUID, so it is not read here.)
    EXPECT_TRUE(record.source_null) << Narrow(record.source);
    EXPECT_TRUE(record.description.empty()) << Narrow(record.description);

    auto left = DumpRegistration();
    EXPECT_TRUE(left.empty()) << "left behind: " << (left.empty() ? "" : Narrow(left.begin()->first));
    EXPECT_FALSE(TypeLibraryRegistered());
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

    UINT count = 0;
    EXPECT_HR(S_OK, message->GetTypeInfoCount(&count));
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_HR(E_NOTIMPL, message->GetTypeInfo(0, 0, &info));
    EXPECT_EQ(info, nullptr);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"GetID")};
    DISPID id;
    EXPECT_HR(E_NOTIMPL, message->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
    DISPPARAMS none = {};
    EXPECT_HR(E_NOTIMPL, message->Invoke(0x60020000, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
    com_ptr<IProvideClassInfo> provide = message.try_query<IProvideClassInfo>();
    ASSERT_TRUE(provide);
    ITypeInfo* class_info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_HR(load_failure, provide->GetClassInfo(&class_info));
    EXPECT_EQ(class_info, nullptr);
    // The early-bound path does not need the library.
    long message_id = 0;
    EXPECT_HR(S_OK, message->GetID(&message_id));

    // A failure is not remembered: once registered, the same object serves IDispatch.
    ASSERT_HR(S_OK, module_.RegisterServer());
    com_ptr<ITypeInfo> now;
    EXPECT_HR(S_OK, message->GetTypeInfo(0, 0, now.put()));
    EXPECT_TRUE(now);
    EXPECT_HR(S_OK, message->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
    EXPECT_EQ(id, 0x60020000);
}

TEST_F(RegistrationTest, FolderClassMissingFailsTheManagersCallWithAnErrorObject) {
    com_ptr<IMXFolderManager> manager = CreateManager();
    ASSERT_TRUE(manager);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + Braced(CLSID_MXFolder)).c_str()));
    ClearErrorInfo();
    MXFolder* folder = reinterpret_cast<MXFolder*>(1);
    EXPECT_HR(REGDB_E_CLASSNOTREG, manager->GetInboxFolder(&folder));
    EXPECT_EQ(folder, nullptr);
    ErrorRecord record = ErrorInfoOf();
    ASSERT_TRUE(record.present);
    EXPECT_EQ(record.source, L"MXFolderManager.GetInboxFolder");
    EXPECT_TRUE(IsEqualGUID(record.guid, IID_IMXFolderManager)) << GuidText(record.guid);
    EXPECT_TRUE(record.description.empty()) << Narrow(record.description);

    // A null out-pointer is refused before anything else and sets no error object.
    SetMarkerErrorInfo(L"marker");
    EXPECT_HR(E_POINTER, manager->GetInboxFolder(nullptr));
    EXPECT_EQ(ErrorInfoOf().source, L"marker");
}

}  // namespace
}  // namespace pelkary::test

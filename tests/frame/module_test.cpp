// The module's exports called directly on the registered pelkary.dll (the same module instance the
// COM runtime uses): its class objects, the module lock that every object and class-object
// reference holds, and the shape of every object's QueryInterface; the registration its exports
// write and remove, read back from the registry, and what a client sees while parts of it are
// missing; and the type library as the registry gives it, with IDispatch and IProvideClassInfo as
// a late-bound client meets them: every member of every class is found by name and called through
// Invoke with arguments made from the types the library declares, so the library and the vtables
// cannot drift apart.
#include <algorithm>
#include <map>

#include "pelkary_scripting.h"
#include "support/test_support.h"

namespace pelkary::test {
namespace {

const wchar_t* const kNames[] = {L"MXMessage", L"MXFolder", L"MXFolderManager"};
const CLSID* const kClasses[] = {&CLSID_MXMessage, &CLSID_MXFolder, &CLSID_MXFolderManager};

// Nothing of pelkary's is alive between tests, and every test leaves the server registered.
class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.loaded());
        ASSERT_HR(S_OK, module_.CanUnloadNow()) << "nothing of pelkary's is alive between tests";
    }
    void TearDown() override {
        EXPECT_HR(S_OK, module_.CanUnloadNow()) << "a test left a module lock behind";
        RegDeleteKeyW(HKEY_CLASSES_ROOT, L"CLSID\\{CF358939-0DDE-42DE-B5CF-911B04316FC1}");  // the volatile blocker, if left
        EXPECT_HR(S_OK, module_.RegisterServer()) << "could not restore the registration";
    }

    com_ptr<IClassFactory> Factory(REFCLSID clsid) {
        com_ptr<IClassFactory> factory;
        EXPECT_HR(S_OK, module_.GetClassObject(clsid, IID_IClassFactory, factory.put_void()));
        return factory;
    }

    ComApartment apartment_;
    TempStore store_;
    ServerModule module_;
};

TEST_F(ModuleTest, GetClassObjectServesTheThreeClassesOnly) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_HR(CLASS_E_CLASSNOTAVAILABLE, module_.GetClassObject(IID_IMXFolder, IID_IClassFactory, &out));
    EXPECT_EQ(out, nullptr);
    for (const CLSID* clsid : kClasses) {
        com_ptr<IUnknown> unknown;
        EXPECT_HR(S_OK, module_.GetClassObject(*clsid, IID_IUnknown, unknown.put_void()));
        EXPECT_TRUE(unknown);
        out = reinterpret_cast<void*>(1);
        EXPECT_HR(E_NOINTERFACE, module_.GetClassObject(*clsid, IID_IDispatch, &out));
        EXPECT_EQ(out, nullptr);
        EXPECT_HR(E_POINTER, module_.GetClassObject(*clsid, IID_IClassFactory, nullptr));
    }
}

TEST_F(ModuleTest, ClassObjectReferencesAndServerLocksAreModuleLocks) {
    com_ptr<IClassFactory> factory = Factory(CLSID_MXFolder);
    ASSERT_TRUE(factory);
    EXPECT_HR(S_FALSE, module_.CanUnloadNow());
    // No count of its own: AddRef answers 2 and Release 1, whatever is held.
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_HR(S_OK, factory->LockServer(TRUE));
    EXPECT_HR(S_OK, factory->LockServer(TRUE));
    EXPECT_HR(S_OK, factory->LockServer(FALSE));
    factory = nullptr;
    EXPECT_HR(S_FALSE, module_.CanUnloadNow()) << "one LockServer(TRUE) is still outstanding";
    EXPECT_HR(S_OK, Factory(CLSID_MXMessage)->LockServer(FALSE));
}

TEST_F(ModuleTest, CreateInstanceRefusals) {
    com_ptr<IClassFactory> factory = Factory(CLSID_MXMessage);
    ASSERT_TRUE(factory);
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_HR(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory.get(), IID_IUnknown, &out));
    EXPECT_EQ(out, reinterpret_cast<void*>(0x1234)) << "refused before the out-pointer is touched";
    EXPECT_HR(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IConnectionPointContainer, &out));
    EXPECT_EQ(out, nullptr);  // and the object built and thrown away leaves no lock (TearDown)
}

// Another server's class object, registered in this process under one of pelkary's class ids, and
// the object it makes: it claims pelkary's interfaces as any object under that id would, but is
// not pelkary's. Static, uncounted.
struct ForeignClass : IClassFactory {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        const bool claimed = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory) ||
                             IsEqualIID(riid, IID_IMXMessage) || IsEqualIID(riid, IID_IMXFolder);
        *ppv = claimed ? this : nullptr;
        return claimed ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
        return QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// pelkary makes its messages and folders through the runtime by class id; what comes back under
// the id of another server is refused with a clear error, never taken for pelkary's own.
TEST_F(ModuleTest, AForeignObjectUnderAClassIdIsRefusedWithAClearError) {
    com_ptr<IMXFolderManager> manager = CreateManager();
    ASSERT_TRUE(manager);
    com_ptr<IMXFolder> inbox;
    ASSERT_HR(S_OK, manager->GetInboxFolder(reinterpret_cast<::MXFolder**>(inbox.put())));
    ASSERT_TRUE(inbox);
    static ForeignClass foreign;
    for (const CLSID* clsid : {&CLSID_MXMessage, &CLSID_MXFolder}) {
        DWORD cookie = 0;
        ASSERT_HR(S_OK, CoRegisterClassObject(*clsid, &foreign, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
        SetErrorInfo(0, nullptr);
        const wchar_t* expected_source = nullptr;
        IUnknown* made = reinterpret_cast<IUnknown*>(1);
        if (clsid == &CLSID_MXMessage) {
            EXPECT_HR(E_NOINTERFACE, inbox->CreateMessage(B(L"Subject: s\r\n\r\nbody\r\n").get(),
                                                          reinterpret_cast<::MXMessage**>(&made)));
            expected_source = L"MXFolder.CreateMessage";
        } else {
            EXPECT_HR(E_NOINTERFACE, manager->GetInboxFolder(reinterpret_cast<::MXFolder**>(&made)));
            expected_source = L"MXFolderManager.GetInboxFolder";
        }
        CoRevokeClassObject(cookie);
        EXPECT_EQ(made, nullptr);
        const ErrorRecord record = ErrorInfoOf();
        EXPECT_EQ(record.source, expected_source);
        EXPECT_NE(record.description.find(L"is not pelkary's own"), std::wstring::npos) << Narrow(record.description);
    }
    com_ptr<IMXFolder> again;
    EXPECT_HR(S_OK, manager->GetInboxFolder(reinterpret_cast<::MXFolder**>(again.put())));
    EXPECT_TRUE(again) << "pelkary's own class serves again once the other is revoked";
}

// One identity and one count behind every interface of an object.
void CheckIdentity(IUnknown* main, REFIID main_iid) {
    const bool has_event_source = !IsEqualIID(main_iid, IID_IMXMessage);
    std::vector<IID> served = {IID_IUnknown, IID_IDispatch, main_iid, IID_IProvideClassInfo, IID_ISupportErrorInfo};
    if (has_event_source) served.push_back(IID_IConnectionPointContainer);
    for (const IID& iid : served) {
        com_ptr<IUnknown> sub, back;
        ASSERT_HR(S_OK, main->QueryInterface(iid, sub.put_void())) << GuidText(iid);
        if (&iid - served.data() < 3) {
            EXPECT_EQ(sub.get(), main) << "the main interface's pointer";
        }
        EXPECT_HR(S_OK, sub->QueryInterface(IID_IUnknown, back.put_void()));
        EXPECT_EQ(back.get(), main) << "IUnknown through " << GuidText(iid);
        const ULONG via_sub = sub->AddRef();
        EXPECT_EQ(main->AddRef(), via_sub + 1) << "the count of " << GuidText(iid) << " is the object's";
        main->Release();
        sub->Release();
    }
    void* out = reinterpret_cast<void*>(1);
    const IID& unserved = has_event_source ? IID_IClassFactory : IID_IConnectionPointContainer;
    EXPECT_HR(E_NOINTERFACE, main->QueryInterface(unserved, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_HR(E_POINTER, main->QueryInterface(IID_IUnknown, nullptr));
}

// Each object made through the runtime holds a lock of this very module while referenced (and
// leaves none behind: TearDown), and has one identity.
TEST_F(ModuleTest, EveryObjectHoldsAModuleLockAndHasOneIdentity) {
    for (auto [clsid, iid] : {std::pair{&CLSID_MXFolderManager, &IID_IMXFolderManager},
                              std::pair{&CLSID_MXFolder, &IID_IMXFolder},
                              std::pair{&CLSID_MXMessage, &IID_IMXMessage}}) {
        com_ptr<IUnknown> object = CreateObject<IUnknown>(*clsid);
        ASSERT_TRUE(object);
        EXPECT_HR(S_FALSE, module_.CanUnloadNow()) << GuidText(*clsid);
        CheckIdentity(object.get(), *iid);
    }
}

// The registration, as the registry holds it.
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

// The type library's key of this architecture (win32 or win64).
const wchar_t* const kOwnSyskind = sizeof(void*) == 8 ? L"\\win64" : L"\\win32";

// Whether the other architecture's registry view holds pelkary's classes (both are registered).
bool OtherArchitectureRegistered() {
    unique_hkey key;
    const std::wstring path = L"CLSID\\" + Braced(CLSID_MXFolderManager) + L"\\InprocServer32";
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0,
                         KEY_READ | (sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY), key.put()) == ERROR_SUCCESS;
}

// Everything pelkary's registration can touch in this architecture's registry view. The TypeLib
// key is one for both views: while the other architecture's registration is there, only this
// architecture's own key under it counts.
std::map<std::wstring, std::wstring> DumpRegistration() {
    const bool shared = OtherArchitectureRegistered();
    std::map<std::wstring, std::wstring> out;
    for (int i = 0; i < 3; ++i) {
        DumpKey(L"CLSID\\" + Braced(*kClasses[i]), out);
        DumpKey(std::wstring(L"PELKARY.") + kNames[i], out);
    }
    for (const wchar_t* prog_id : {L"PELKARY.MXStore", L"PELKARY.MXStore.1"}) DumpKey(prog_id, out);
    DumpKey(L"CLSID\\" + Braced(CLSID_MXStore), out);
    std::map<std::wstring, std::wstring> library;
    DumpKey(L"TypeLib\\" + Braced(LIBID_PELKARY_SCRIPTING), library);
    DumpKey(L"TypeLib\\" + Braced(LIBID_PELKARY), library);
    for (const auto& key : library)
        if (!shared || key.first.find(kOwnSyskind) != std::wstring::npos) out.insert(key);
    for (const IID* iid : {&IID_IMXMessage, &IID_IMXFolder, &IID_IMXFolderManager, &DIID_IMXFolderEvents,
                           &DIID_IMXFolderManagerEvents})
        DumpKey(L"Interface\\" + Braced(*iid), out);
    return out;
}

// Registered for this architecture: a 64-bit runtime hands out the 32-bit library when only that
// one is registered.
bool TypeLibraryRegistered() {
    com_ptr<ITypeLib> library;
    TLIBATTR* attr = nullptr;
    if (FAILED(LoadRegisteredLibrary(library.put())) || FAILED(library->GetLibAttr(&attr))) return false;
    const bool own = attr->syskind == (sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    library->ReleaseTLibAttr(attr);
    return own;
}

TEST_F(ModuleTest, RegistrationWritesExactlyTheClassKeysAndTheTypeLibraryOnceHoweverOftenCalled) {
    ASSERT_HR(S_OK, module_.UnregisterServer());
    ASSERT_HR(S_OK, module_.RegisterServer());
    EXPECT_TRUE(TypeLibraryRegistered());
    const auto once = DumpRegistration();
    std::map<std::wstring, std::wstring> expected;
    auto value = [](const std::wstring& data) { return L"(1)=" + data + std::wstring(1, L'\0') + L";"; };
    for (int i = 0; i < 3; ++i) {
        const std::wstring key = L"CLSID\\" + Braced(*kClasses[i]), prog_id = std::wstring(L"PELKARY.") + kNames[i];
        expected[key] = value(kNames[i]);
        expected[key + L"\\InprocServer32"] = value(module_.path()) + L"ThreadingModel" + value(L"Apartment");
        expected[key + L"\\TypeLib"] = value(Braced(LIBID_PELKARY));
        expected[key + L"\\ProgID"] = value(prog_id);
        expected[prog_id] = value(kNames[i]);
        expected[prog_id + L"\\CLSID"] = value(Braced(*kClasses[i]));
    }
    // The scripting library's class has a versioned ProgID, which the other names as current.
    const std::wstring store = L"CLSID\\" + Braced(CLSID_MXStore);
    expected[store] = value(L"MXStore");
    expected[store + L"\\InprocServer32"] = value(module_.path()) + L"ThreadingModel" + value(L"Apartment");
    expected[store + L"\\TypeLib"] = value(Braced(LIBID_PELKARY_SCRIPTING));
    expected[store + L"\\ProgID"] = value(L"PELKARY.MXStore.1");
    expected[store + L"\\VersionIndependentProgID"] = value(L"PELKARY.MXStore");
    expected[L"PELKARY.MXStore"] = value(L"MXStore");
    expected[L"PELKARY.MXStore\\CLSID"] = value(Braced(CLSID_MXStore));
    expected[L"PELKARY.MXStore\\CurVer"] = value(L"PELKARY.MXStore.1");
    expected[L"PELKARY.MXStore.1"] = value(L"MXStore");
    expected[L"PELKARY.MXStore.1\\CLSID"] = value(Braced(CLSID_MXStore));
    std::map<std::wstring, std::wstring> classes;
    for (const auto& [path, values] : once)
        if (path.rfind(L"TypeLib\\", 0) != 0 && path.rfind(L"Interface\\", 0) != 0) classes[path] = values;
    EXPECT_EQ(classes, expected) << "no LocalServer32 or Programmable; a versioned ProgID for MXStore alone";

    ASSERT_HR(S_OK, module_.RegisterServer());
    EXPECT_EQ(DumpRegistration(), once) << "registering twice leaves what registering once leaves";
}

// What unregistering leaves and what a registration that fails half-way leaves are the same: nothing.
TEST_F(ModuleTest, UnregisteringAndAFailedRegistrationLeaveNoKey) {
    auto expect_nothing_left = [](const char* after) {
        auto left = DumpRegistration();
        // The ProgIDs and interface keys are one for both views: the other architecture's
        // registration keeps them.
        if (OtherArchitectureRegistered())
            for (auto key = left.begin(); key != left.end();)
                key = key->first.rfind(L"PELKARY.", 0) == 0 || key->first.rfind(L"Interface\\", 0) == 0
                          ? left.erase(key)
                          : std::next(key);
        EXPECT_TRUE(left.empty()) << after << " left: " << Narrow(left.empty() ? L"" : left.begin()->first);
        EXPECT_FALSE(TypeLibraryRegistered()) << after;
    };
    ASSERT_HR(S_OK, module_.UnregisterServer());
    expect_nothing_left("unregistering");
    EXPECT_HR(S_OK, module_.UnregisterServer()) << "quiet when nothing is there";
    // A volatile class key of MXFolder refuses the lasting "InprocServer32" subkey that registration
    // creates under it, half-way through the second class (ERROR_CHILD_MUST_BE_VOLATILE). (The
    // class keys are this view's own; a ProgID may be the other architecture's registration too.)
    unique_hkey blocker;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + Braced(CLSID_MXFolder)).c_str(), 0,
                                             nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, blocker.put(),
                                             nullptr));
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

TEST_F(ModuleTest, WithoutTheTypeLibraryDispatchAnswersNotImplementedUntilItIsBack) {
    ASSERT_HR(S_OK, module_.UnregisterServer());
    com_ptr<ITypeLib> probe;
    const HRESULT load_failure = LoadRegisteredLibrary(probe.put());
    if (SUCCEEDED(load_failure) && sizeof(void*) == 8)
        GTEST_SKIP() << "the 32-bit library is registered too, and a 64-bit runtime falls back to it: "
                        "scripts/test.sh runs this suite before it registers the 32-bit DLLs";
    ASSERT_TRUE(FAILED(load_failure));
    com_ptr<IMXMessage> message;
    ASSERT_HR(S_OK, Factory(CLSID_MXMessage)->CreateInstance(nullptr, IID_IMXMessage, message.put_void()));

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

void InvokeEveryMember(IDispatch* object, const LibraryType& coclass, const LibraryType& main) {
    for (const LibraryMember& member : main.members) {
        SCOPED_TRACE(main.name + "." + member.name);
        std::vector<long> outs;
        VARTYPE result = VT_EMPTY;  // what the [out, retval] parameter comes back as through Invoke
        for (const LibraryParam& p : member.params)
            if (p.retval()) result = p.type == "long*" ? VT_I4 : p.type == "BSTR*" ? VT_BSTR : VT_DISPATCH;
        // On a fresh object every member answers: refusals are results, not errors.
        const Invoked invoked = InvokeByName(object, member, ArgumentsOf(member, 0, nullptr, &outs));
        EXPECT_HR(S_OK, invoked.hr);
        EXPECT_EQ(invoked.result, result);

        // Through the vtable, a null out-pointer is refused before anything else is done.
        std::vector<VARIANT> nulls = ArgumentsOf(member, 0, nullptr, nullptr);
        if (std::none_of(member.params.begin(), member.params.end(), [](auto& p) { return p.out(); })) continue;
        std::vector<VARTYPE> types;
        std::vector<VARIANT*> pointers;
        for (VARIANT& v : nulls) {
            types.push_back(V_VT(&v));
            pointers.push_back(&v);
        }
        SetMarkerErrorInfo(L"marker");
        VARIANT hr;
        VariantInit(&hr);
        ASSERT_HR(S_OK, DispCallFunc(object, member.slot * sizeof(void*), CC_STDCALL, VT_ERROR,
                                     static_cast<UINT>(types.size()), types.data(), pointers.data(), &hr));
        EXPECT_HR(E_POINTER, V_ERROR(&hr));
        EXPECT_EQ(ErrorInfoOf().source, L"marker") << "a refused call leaves the error object alone";
    }
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
    DISPID id = 0;
    EXPECT_HR(DISP_E_UNKNOWNNAME, object->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id));

    UINT count = 0;
    EXPECT_HR(S_OK, object->GetTypeInfoCount(&count));
    EXPECT_EQ(count, 1u);
    com_ptr<ITypeInfo> info, again, class_info;
    EXPECT_HR(S_OK, object->GetTypeInfo(0, 0, info.put()));
    EXPECT_HR(S_OK, object->GetTypeInfo(5, 0x0407, again.put()));
    EXPECT_EQ(info.get(), again.get()) << "index and locale are ignored";
    ASSERT_TRUE(info);
    com_ptr<IProvideClassInfo> provide;
    ASSERT_HR(S_OK, object->QueryInterface(IID_IProvideClassInfo, provide.put_void()));
    ASSERT_HR(S_OK, provide->GetClassInfo(class_info.put()));
    EXPECT_HR(E_POINTER, provide->GetClassInfo(nullptr));
    for (const auto& [described, guid] :
         {std::pair{info.get(), main.guid}, std::pair{class_info.get(), coclass.guid}}) {
        TYPEATTR* attr = nullptr;
        ASSERT_HR(S_OK, described->GetTypeAttr(&attr));
        EXPECT_EQ(GuidText(attr->guid), guid);
        described->ReleaseTypeAttr(attr);
    }
}

// Every type of the registered library with its kind, GUID, flags and help string, and every
// member with its DISPID, vtable slot, parameters and help string, is the checked-in text word for
// word. After an intended change of pelkary.idl, refresh the text (Wine running, servers
// registered) and review its diff before committing it:
//   PELKARY_REFRESH_TYPELIB=1 ctest --test-dir build -R frame_module
// Then each class the library declares, made by its CLSID, against the members of its default
// interface.
TEST_F(ModuleTest, TheTypeLibraryIsTheCheckedInDescriptionAndEveryMemberIsReachableByNameThroughInvoke) {
    com_ptr<ITypeLib> library;
    ASSERT_HR(S_OK, LoadRegisteredLibrary(library.put())) << "the library is not registered";
    ExpectCheckedInDescription(library.get(), PELKARY_SOURCE_DIR "/tests/frame/pelkary.typelib.txt");
    const LibraryDescription description(library.get());
    int classes = 0;
    for (const LibraryType& coclass : description.types()) {
        if (coclass.kind != "coclass") continue;
        ++classes;
        const LibraryType* main = nullptr;
        for (const std::string& base : coclass.bases)
            for (const LibraryType& t : description.types())
                if (base == t.name + " [default]") main = &t;
        ASSERT_TRUE(main) << coclass.name << " has no default interface";
        CLSID clsid;
        std::wstring guid(coclass.guid.begin(), coclass.guid.end());
        ASSERT_HR(S_OK, CLSIDFromString(guid.c_str(), &clsid));
        com_ptr<IDispatch> object = CreateObject<IDispatch>(clsid);
        ASSERT_TRUE(object);
        InvokeEveryMember(object.get(), coclass, *main);
    }
    EXPECT_EQ(classes, 3);
}

}  // namespace
}  // namespace pelkary::test

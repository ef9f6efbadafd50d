// The registered type library read back through LoadRegTypeLib and compared with the published
// contract (interface_contract.h): library attributes, the index order of its types, every
// method's name, DISPID, vtable slot, parameters and help text, the events and classes, and
// every enumeration constant.
#include "interface_contract.h"
#include "support/test_support.h"

namespace pelkary::test {
namespace {

// The library as the registry gives it: by LIBID and version 2.3, for the neutral locale or,
// where the runtime does not fall back from there, for the library's own (0x409).
HRESULT LoadRegisteredLibrary(ITypeLib** library) {
    HRESULT hr = LoadRegTypeLib(LIBID_PELKARY, 2, 3, 0, library);
    if (FAILED(hr)) hr = LoadRegTypeLib(LIBID_PELKARY, 2, 3, 0x409, library);
    return hr;
}

std::wstring Wide(const char* text) { return std::wstring(text, text + strlen(text)); }

class TypeLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_HR(S_OK, LoadRegisteredLibrary(library_.put())); }

    com_ptr<ITypeInfo> InfoOf(REFGUID guid) {
        com_ptr<ITypeInfo> info;
        EXPECT_HR(S_OK, library_->GetTypeInfoOfGuid(guid, info.put())) << GuidText(guid);
        return info;
    }

    ComApartment apartment_;
    com_ptr<ITypeLib> library_;
};

std::wstring HelpOf(ITypeInfo* info, MEMBERID id) {
    unique_bstr help;
    EXPECT_HR(S_OK, info->GetDocumentation(id, nullptr, help.put(), nullptr, nullptr));
    return help ? std::wstring(help.get(), help.length()) : std::wstring();
}

std::wstring NameOf(ITypeInfo* info, MEMBERID id) {
    unique_bstr name;
    EXPECT_HR(S_OK, info->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr));
    return name ? std::wstring(name.get(), name.length()) : std::wstring();
}

// The parameter type as the contract spells it.
std::string TypeText(ITypeInfo* info, const TYPEDESC& type) {
    switch (type.vt) {
        case VT_I4: return "long";
        case VT_BSTR: return "BSTR";
        case VT_HRESULT: return "HRESULT";
        case VT_PTR: return TypeText(info, *type.lptdesc) + "*";
        case VT_USERDEFINED: {
            com_ptr<ITypeInfo> referenced;
            if (FAILED(info->GetRefTypeInfo(type.hreftype, referenced.put()))) return "?";
            return Narrow(NameOf(referenced.get(), MEMBERID_NIL));
        }
        default: return "vt" + std::to_string(type.vt);
    }
}

std::string FlagsText(USHORT flags) {
    std::string text;
    if (flags & PARAMFLAG_FIN) text += "in";
    if (flags & PARAMFLAG_FOUT) text += text.empty() ? "out" : ",out";
    if (flags & PARAMFLAG_FRETVAL) text += ",retval";
    if (flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT | PARAMFLAG_FLCID)) text += ",extra";
    return text;
}

// Compares one function of `info` with its contract; `memid` is the DISPID it must carry.
void CheckFunction(ITypeInfo* info, UINT index, const MethodContract& c, MEMBERID memid, bool vtable) {
    SCOPED_TRACE(c.name);
    FUNCDESC* f = nullptr;
    ASSERT_HR(S_OK, info->GetFuncDesc(index, &f));
    auto release = scope_exit([&] { info->ReleaseFuncDesc(f); });
    EXPECT_EQ(NameOf(info, f->memid), Wide(c.name));
    EXPECT_EQ(static_cast<unsigned long>(f->memid), static_cast<unsigned long>(memid));
    EXPECT_EQ(f->invkind, INVOKE_FUNC);
    EXPECT_EQ(f->cParamsOpt, 0);
    EXPECT_EQ(TypeText(info, f->elemdescFunc.tdesc), "HRESULT");
    if (vtable) {
        EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(f->callconv, CC_STDCALL);
        EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + index) * sizeof(void*))) << "vtable slot";
    } else {
        EXPECT_EQ(f->funckind, FUNC_DISPATCH);
    }
    if (*c.help) {
        EXPECT_EQ(HelpOf(info, f->memid), Wide(c.help));
    }

    ASSERT_EQ(static_cast<size_t>(f->cParams), c.params.size());
    std::vector<BSTR> names(c.params.size() + 1, nullptr);
    UINT got = 0;
    EXPECT_HR(S_OK, info->GetNames(f->memid, names.data(), static_cast<UINT>(names.size()), &got));
    std::vector<unique_bstr> owned;
    for (BSTR n : names) owned.emplace_back(n);
    for (size_t p = 0; p < c.params.size(); ++p) {
        SCOPED_TRACE("parameter " + std::to_string(p));
        EXPECT_EQ(FlagsText(f->lprgelemdescParam[p].paramdesc.wParamFlags), c.params[p].flags);
        EXPECT_EQ(TypeText(info, f->lprgelemdescParam[p].tdesc), c.params[p].type);
        ASSERT_LT(p + 1, got);
        // The IDL compiler names every parameter; a result without a name of its own in the
        // contract is declared as `result`.
        EXPECT_EQ(std::wstring(names[p + 1]), Wide(*c.params[p].name ? c.params[p].name : "result"));
    }
    EXPECT_EQ(got, 1 + c.params.size());
}

TEST_F(TypeLibraryTest, LibraryAttributes) {
    TLIBATTR* attr = nullptr;
    ASSERT_HR(S_OK, library_->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_PELKARY));
    EXPECT_EQ(attr->wMajorVerNum, 2);
    EXPECT_EQ(attr->wMinorVerNum, 3);
    EXPECT_EQ(attr->lcid, 0x409u);
    // No library flags of its own (the runtime adds "has a disk image" for a loaded file).
    EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    library_->ReleaseTLibAttr(attr);
    unique_bstr name, help, help_file;
    DWORD context = 1;
    EXPECT_HR(S_OK, library_->GetDocumentation(-1, name.put(), help.put(), &context, help_file.put()));
    EXPECT_STREQ(name.get(), L"PELKARY");
    EXPECT_GT(help.length(), 0u) << "a one-line description";
    EXPECT_EQ(context, 0u);
    EXPECT_FALSE(help_file);
}

TEST_F(TypeLibraryTest, TypesStandInTheirIndexOrder) {
    struct Entry { const wchar_t* name; TYPEKIND kind; };
    const Entry expected[] = {
        {L"tagNUVAKMSGSTATE", TKIND_ENUM},     {L"IMXMessage", TKIND_INTERFACE},
        {L"tagNUVAKBODYLOCATION", TKIND_ENUM}, {L"tagNUVAKBODYDELFLAGS", TKIND_ENUM},
        {L"tagNUVAKMIMEPROPID", TKIND_ENUM},   {L"MXMessage", TKIND_COCLASS},
        {L"IMXFolder", TKIND_INTERFACE},       {L"MXFolder", TKIND_COCLASS},
        {L"IMXFolderEvents", TKIND_DISPATCH},  {L"IMXFolderManager", TKIND_INTERFACE},
        {L"IMXFolderManagerEvents", TKIND_DISPATCH}, {L"MXFolderManager", TKIND_COCLASS},
    };
    ASSERT_EQ(library_->GetTypeInfoCount(), std::size(expected));
    for (UINT i = 0; i < std::size(expected); ++i) {
        unique_bstr name;
        EXPECT_HR(S_OK, library_->GetDocumentation(i, name.put(), nullptr, nullptr, nullptr));
        EXPECT_STREQ(name.get(), expected[i].name) << "index " << i;
        TYPEKIND kind;
        EXPECT_HR(S_OK, library_->GetTypeInfoType(i, &kind));
        EXPECT_EQ(kind, expected[i].kind) << "index " << i;
    }
}

TEST_F(TypeLibraryTest, CallInterfacesMatchTheContract) {
    struct Interface { const IID* iid; const wchar_t* help; const std::vector<MethodContract>* methods; };
    const Interface interfaces[] = {
        {&IID_IMXFolderManager, L"IMXFolderManager interface", &kMXFolderManagerMethods},
        {&IID_IMXFolder, L"IMXFolder interface", &kMXFolderMethods},
        {&IID_IMXMessage, L"IMXMessage interface", &kMXMessageMethods},
    };
    for (const Interface& i : interfaces) {
        com_ptr<ITypeInfo> info = InfoOf(*i.iid);
        ASSERT_TRUE(info);
        SCOPED_TRACE(Narrow(NameOf(info.get(), MEMBERID_NIL)));
        TYPEATTR* attr = nullptr;
        ASSERT_HR(S_OK, info->GetTypeAttr(&attr));
        auto release = scope_exit([&] { info->ReleaseTypeAttr(attr); });
        EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
        EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FDUAL),
                  TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
        EXPECT_EQ(attr->wMajorVerNum, 0);
        EXPECT_EQ(attr->wMinorVerNum, 0);
        EXPECT_EQ(HelpOf(info.get(), MEMBERID_NIL), i.help);
        // Derived from IDispatch, directly.
        ASSERT_EQ(attr->cImplTypes, 1);
        HREFTYPE base_ref;
        ASSERT_HR(S_OK, info->GetRefTypeOfImplType(0, &base_ref));
        com_ptr<ITypeInfo> base;
        ASSERT_HR(S_OK, info->GetRefTypeInfo(base_ref, base.put()));
        EXPECT_EQ(NameOf(base.get(), MEMBERID_NIL), L"IDispatch");

        ASSERT_EQ(static_cast<size_t>(attr->cFuncs), i.methods->size());
        for (UINT n = 0; n < attr->cFuncs; ++n) {
            const MethodContract& c = (*i.methods)[n];
            ASSERT_EQ(c.index, static_cast<int>(n));
            CheckFunction(info.get(), n, c, 0x60020000 + n, true);
        }
    }
}

TEST_F(TypeLibraryTest, FreelyWordedHelpTextsArePresent) {
    com_ptr<ITypeInfo> manager = InfoOf(IID_IMXFolderManager);
    com_ptr<ITypeInfo> message = InfoOf(IID_IMXMessage);
    ASSERT_TRUE(manager && message);
    EXPECT_FALSE(HelpOf(manager.get(), 0x60020005).empty()) << "GetDraftFolder";
    EXPECT_EQ(HelpOf(message.get(), 0x6002001C).rfind(L"Return TRUE if the body is of the specified content type", 0),
              0u) << "IsBodyContentType";
}

TEST_F(TypeLibraryTest, EventInterfacesMatchTheContract) {
    struct Events { const IID* iid; const wchar_t* help; const std::vector<MethodContract>* events; };
    const Events all[] = {
        {&DIID_IMXFolderEvents, L"IMXFolderEvents Interface", &kMXFolderEvents},
        {&DIID_IMXFolderManagerEvents, L"IMXFolderManagerEvents Interface", &kMXFolderManagerEvents},
    };
    for (const Events& e : all) {
        com_ptr<ITypeInfo> info = InfoOf(*e.iid);
        ASSERT_TRUE(info);
        TYPEATTR* attr = nullptr;
        ASSERT_HR(S_OK, info->GetTypeAttr(&attr));
        auto release = scope_exit([&] { info->ReleaseTypeAttr(attr); });
        EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
        EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FDISPATCHABLE);
        EXPECT_EQ(HelpOf(info.get(), MEMBERID_NIL), e.help);
        // A dispinterface lists IDispatch's own members first; the events follow.
        UINT first = attr->cFuncs - static_cast<UINT>(e.events->size());
        for (UINT n = 0; n < e.events->size(); ++n)
            CheckFunction(info.get(), first + n, (*e.events)[n], (*e.events)[n].index, false);
    }
}

TEST_F(TypeLibraryTest, ClassesListTheirInterfacesInOrder) {
    struct Class {
        const CLSID* clsid;
        const wchar_t* help;
        std::vector<std::pair<const wchar_t*, int>> interfaces;  // name, IMPLTYPEFLAGS
    };
    const Class classes[] = {
        {&CLSID_MXFolderManager, L"MXFolderManager coclass",
         {{L"IMXFolderManagerEvents", IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
          {L"IMXFolderManager", IMPLTYPEFLAG_FDEFAULT}}},
        {&CLSID_MXFolder, L"MXFolder coclass",
         {{L"IMXFolderEvents", IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}, {L"IMXFolder", IMPLTYPEFLAG_FDEFAULT}}},
        {&CLSID_MXMessage, L"MXMessage coclass", {{L"IMXMessage", IMPLTYPEFLAG_FDEFAULT}}},
    };
    for (const Class& c : classes) {
        com_ptr<ITypeInfo> info = InfoOf(*c.clsid);
        ASSERT_TRUE(info);
        TYPEATTR* attr = nullptr;
        ASSERT_HR(S_OK, info->GetTypeAttr(&attr));
        auto release = scope_exit([&] { info->ReleaseTypeAttr(attr); });
        EXPECT_EQ(attr->typekind, TKIND_COCLASS);
        EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE);
        EXPECT_EQ(HelpOf(info.get(), MEMBERID_NIL), c.help);
        ASSERT_EQ(static_cast<size_t>(attr->cImplTypes), c.interfaces.size());
        for (UINT i = 0; i < attr->cImplTypes; ++i) {
            HREFTYPE ref;
            ASSERT_HR(S_OK, info->GetRefTypeOfImplType(i, &ref));
            com_ptr<ITypeInfo> implemented;
            ASSERT_HR(S_OK, info->GetRefTypeInfo(ref, implemented.put()));
            EXPECT_EQ(NameOf(implemented.get(), MEMBERID_NIL), c.interfaces[i].first);
            INT flags = 0;
            EXPECT_HR(S_OK, info->GetImplTypeFlags(i, &flags));
            EXPECT_EQ(flags, c.interfaces[i].second) << Narrow(c.interfaces[i].first);
        }
    }
}

TEST_F(TypeLibraryTest, EnumerationConstantsInOrder) {
    for (const EnumContract& e : kEnumerations) {
        SCOPED_TRACE(e.name);
        com_ptr<ITypeInfo> info;
        MEMBERID id;
        USHORT found = 1;
        std::wstring name = Wide(e.name);
        ASSERT_HR(S_OK, library_->FindName(name.data(), 0, info.put(), &id, &found));
        ASSERT_EQ(found, 1);
        TYPEATTR* attr = nullptr;
        ASSERT_HR(S_OK, info->GetTypeAttr(&attr));
        auto release = scope_exit([&] { info->ReleaseTypeAttr(attr); });
        EXPECT_EQ(attr->typekind, TKIND_ENUM);
        ASSERT_EQ(static_cast<size_t>(attr->cVars), e.constants.size());
        for (UINT v = 0; v < attr->cVars; ++v) {
            VARDESC* var = nullptr;
            ASSERT_HR(S_OK, info->GetVarDesc(v, &var));
            EXPECT_EQ(NameOf(info.get(), var->memid), Wide(e.constants[v].name));
            EXPECT_EQ(V_VT(var->lpvarValue), VT_I4);
            EXPECT_EQ(V_I4(var->lpvarValue), e.constants[v].value) << e.constants[v].name;
            info->ReleaseVarDesc(var);
        }
    }
}

}  // namespace
}  // namespace pelkary::test

// IDispatch and IProvideClassInfo as a late-bound client sees them: DISPIDs by name, the type
// description, and one pass that calls every member of the three interfaces by name through
// Invoke, so that the type library and the vtables cannot drift apart unnoticed.
#include "support/test_support.h"

namespace pelkary::test {
namespace {

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager_ = CreateManager();
        folder_ = CreateFolderObject();
        message_ = CreateMessageObject();
        ASSERT_TRUE(manager_ && folder_ && message_);
    }
    void TearDown() override {
        message_ = nullptr;
        folder_ = nullptr;
        manager_ = nullptr;
    }

    ComApartment apartment_;
    TempStore store_;
    com_ptr<IMXFolderManager> manager_;
    com_ptr<IMXFolder> folder_;
    com_ptr<IMXMessage> message_;
};

DISPID IdOf(IDispatch* object, const wchar_t* name, HRESULT expected = S_OK) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0x7777;
    EXPECT_HR(expected, object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) << Narrow(name);
    return id;
}

TEST_F(DispatchTest, GetIDsOfNamesGivesTheAutomaticDispids) {
    EXPECT_EQ(IdOf(message_.get(), L"GetSubject"), 0x60020002);
    EXPECT_EQ(IdOf(folder_.get(), L"GetMessageCount"), 0x60020017);
    EXPECT_EQ(IdOf(manager_.get(), L"ActivateGlobalNotification"), 0x60020000);
    EXPECT_EQ(IdOf(message_.get(), L"SaveAsFile"), 0x60020035);
    // riid and locale are ignored.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"GetID")};
    DISPID id = 0;
    EXPECT_HR(S_OK, folder_->GetIDsOfNames(IID_IMXMessage, names, 1, 0x0407, &id));
    EXPECT_EQ(id, 0x60020000);
}

TEST_F(DispatchTest, UnknownNameIsTheTypeDescriptionsOwnFailure) {
    IdOf(message_.get(), L"GetSubjectLine", DISP_E_UNKNOWNNAME);
    // Names of another interface are not this one's.
    IdOf(folder_.get(), L"GetSubject", DISP_E_UNKNOWNNAME);
    IdOf(manager_.get(), L"GetMessageCount", DISP_E_UNKNOWNNAME);
}

TEST_F(DispatchTest, TypeInfoIgnoresIndexAndLocale) {
    UINT count = 0;
    EXPECT_HR(S_OK, folder_->GetTypeInfoCount(&count));
    EXPECT_EQ(count, 1u);
    com_ptr<ITypeInfo> first, fifth;
    EXPECT_HR(S_OK, folder_->GetTypeInfo(0, 0, first.put()));
    EXPECT_HR(S_OK, folder_->GetTypeInfo(5, 0x0407, fifth.put()));
    ASSERT_TRUE(first && fifth);
    EXPECT_EQ(first.get(), fifth.get());
    TYPEATTR* attr = nullptr;
    ASSERT_HR(S_OK, first->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IMXFolder));
    first->ReleaseTypeAttr(attr);
    EXPECT_HR(E_POINTER, folder_->GetTypeInfo(0, 0, nullptr));
}

TEST_F(DispatchTest, ClassInfoDescribesTheObjectsOwnClass) {
    const std::pair<IUnknown*, const CLSID*> objects[] = {
        {manager_.get(), &CLSID_MXFolderManager}, {folder_.get(), &CLSID_MXFolder}, {message_.get(), &CLSID_MXMessage}};
    for (const auto& [object, clsid] : objects) {
        com_ptr<IProvideClassInfo> provide;
        ASSERT_HR(S_OK, object->QueryInterface(IID_IProvideClassInfo, provide.put_void()));
        com_ptr<ITypeInfo> info;
        ASSERT_HR(S_OK, provide->GetClassInfo(info.put()));
        TYPEATTR* attr = nullptr;
        ASSERT_HR(S_OK, info->GetTypeAttr(&attr));
        EXPECT_TRUE(IsEqualGUID(attr->guid, *clsid)) << GuidText(attr->guid);
        EXPECT_EQ(attr->typekind, TKIND_COCLASS);
        info->ReleaseTypeAttr(attr);
        EXPECT_HR(E_POINTER, provide->GetClassInfo(nullptr));
    }
}

// Builds arguments for one function from its description and invokes it by the DISPID that
// GetIDsOfNames gives for its name. Numbers are 0, strings empty, [out] longs by reference.
struct Invocation {
    HRESULT hr = S_OK;
    VARTYPE result_type = VT_EMPTY;
};

Invocation InvokeByName(IDispatch* object, ITypeInfo* info, const FUNCDESC& f, const std::wstring& name) {
    Invocation outcome;
    DISPID id = IdOf(object, name.c_str());
    EXPECT_EQ(id, f.memid) << Narrow(name);

    std::vector<VARIANT> args;  // in declaration order; reversed below
    std::vector<long> out_longs(static_cast<size_t>(f.cParams), 0);
    std::vector<unique_bstr> out_strings(static_cast<size_t>(f.cParams));
    bool has_result = false;
    for (SHORT p = 0; p < f.cParams; ++p) {
        const ELEMDESC& e = f.lprgelemdescParam[p];
        USHORT flags = e.paramdesc.wParamFlags;
        if (flags & PARAMFLAG_FRETVAL) {
            has_result = true;
            continue;
        }
        VARIANT v;
        VariantInit(&v);
        if (flags & PARAMFLAG_FOUT) {
            const TYPEDESC& target = *e.tdesc.lptdesc;
            if (target.vt == VT_BSTR) {
                V_VT(&v) = VT_BYREF | VT_BSTR;
                V_BSTRREF(&v) = out_strings[p].put();
            } else {
                V_VT(&v) = VT_BYREF | VT_I4;
                V_I4REF(&v) = &out_longs[p];
            }
        } else if (e.tdesc.vt == VT_BSTR) {
            V_VT(&v) = VT_BSTR;
            V_BSTR(&v) = nullptr;  // an empty string; automation's null BSTR
        } else {
            V_VT(&v) = VT_I4;  // long and the enumerations
            V_I4(&v) = 0;
        }
        args.push_back(v);
    }
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep = {};
    UINT arg_err = 0;
    outcome.hr = object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, has_result ? &result : nullptr,
                                &excep, &arg_err);
    outcome.result_type = V_VT(&result);
    VariantClear(&result);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    (void)info;
    return outcome;
}

// The VARIANT type a successful call must give back for a result declared as `type`.
VARTYPE ExpectedResultType(const TYPEDESC& retval) {
    const TYPEDESC& target = *retval.lptdesc;
    if (target.vt == VT_I4) return VT_I4;
    if (target.vt == VT_BSTR) return VT_BSTR;
    return VT_DISPATCH;  // MXFolder** / MXMessage**: the class's default interface
}

void InvokeEveryMember(IDispatch* object, const char* what) {
    SCOPED_TRACE(what);
    com_ptr<ITypeInfo> info;
    ASSERT_HR(S_OK, object->GetTypeInfo(0, 0, info.put()));
    TYPEATTR* attr = nullptr;
    ASSERT_HR(S_OK, info->GetTypeAttr(&attr));
    const WORD functions = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    ASSERT_GT(functions, 0);
    for (UINT n = 0; n < functions; ++n) {
        FUNCDESC* f = nullptr;
        ASSERT_HR(S_OK, info->GetFuncDesc(n, &f));
        unique_bstr name;
        info->GetDocumentation(f->memid, name.put(), nullptr, nullptr, nullptr);
        const std::wstring method(name.get(), name.length());
        SCOPED_TRACE(Narrow(method));
        Invocation outcome = InvokeByName(object, info.get(), *f, method);
        // Reaching the implementation: no dispatch-level refusal and no missing method.
        for (HRESULT refused : {DISP_E_MEMBERNOTFOUND, DISP_E_TYPEMISMATCH, DISP_E_BADPARAMCOUNT,
                                DISP_E_PARAMNOTFOUND, DISP_E_BADVARTYPE, E_NOTIMPL})
            EXPECT_NE(outcome.hr, refused) << "got " << HrText(outcome.hr);
        // On fresh objects every member answers: refusals are results, not errors.
        EXPECT_HR(S_OK, outcome.hr);
        for (SHORT p = 0; p < f->cParams; ++p) {
            if (SUCCEEDED(outcome.hr) && (f->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) {
                VARTYPE expected = ExpectedResultType(f->lprgelemdescParam[p].tdesc);
                // A null object comes back as an empty dispatch pointer of the same type.
                EXPECT_EQ(outcome.result_type, expected);
            }
        }
        info->ReleaseFuncDesc(f);
    }
}

TEST_F(DispatchTest, EveryMemberIsReachableByNameThroughInvoke) {
    InvokeEveryMember(message_.get(), "IMXMessage");
    InvokeEveryMember(folder_.get(), "IMXFolder");
    InvokeEveryMember(manager_.get(), "IMXFolderManager");
}

}  // namespace
}  // namespace pelkary::test

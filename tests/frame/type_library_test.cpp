// The type library as the registry gives it, and IDispatch and IProvideClassInfo as a late-bound
// client meets them: every member of every class is found by name and called through Invoke with
// arguments made from the types the library declares, so the library and the vtables cannot
// drift apart.
#include <algorithm>

#include "support/test_support.h"

namespace pelkary::test {
namespace {

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
//   PELKARY_REFRESH_TYPELIB=1 ctest --test-dir build -R frame_type_library
// Then each class the library declares, made by its CLSID, against the members of its default
// interface.
TEST(TypeLibrary, IsTheCheckedInDescriptionAndEveryMemberOfEveryClassIsReachableByNameThroughInvoke) {
    ComApartment apartment;
    TempStore store;
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

#include "type_library_model.h"

#include <oleauto.h>

#include <set>

#include "comsupport/holders.h"

namespace pelkary::docs {
namespace {

std::string GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return ToUtf8(text);
}

bool IsDispatchPlumbing(const std::string& name) {
    static const std::set<std::string> plumbing = {"QueryInterface", "AddRef",        "Release",
                                                   "GetTypeInfoCount", "GetTypeInfo", "GetIDsOfNames",
                                                   "Invoke"};
    return plumbing.count(name) != 0;
}

void ReadMembers(ITypeInfo* info, const TYPEATTR& attr, const std::string& owner,
                 std::vector<LibraryMember>* out) {
    for (UINT i = 0; i < attr.cFuncs; ++i) {
        FUNCDESC* func = nullptr;
        if (FAILED(info->GetFuncDesc(i, &func))) continue;
        auto release = scope_exit([&] { info->ReleaseFuncDesc(func); });
        unique_bstr name, help;
        info->GetDocumentation(func->memid, name.put(), help.put(), nullptr, nullptr);
        LibraryMember member;
        member.owner = owner;
        member.name = ToUtf8(name.get());
        member.help = ToUtf8(help.get());
        if (IsDispatchPlumbing(member.name)) continue;
        std::vector<BSTR> names(func->cParams + 1, nullptr);
        UINT got = 0;
        info->GetNames(func->memid, names.data(), static_cast<UINT>(names.size()), &got);
        std::vector<unique_bstr> owned_names;
        for (BSTR n : names) owned_names.emplace_back(n);
        for (SHORT p = 0; p < func->cParams; ++p) {
            const USHORT flags = func->lprgelemdescParam[p].paramdesc.wParamFlags;
            LibraryParameter param;
            param.name = static_cast<UINT>(p + 1) < got ? ToUtf8(names[p + 1]) : std::string();
            param.retval = (flags & PARAMFLAG_FRETVAL) != 0;
            param.out = !param.retval && (flags & PARAMFLAG_FOUT) != 0;
            member.params.push_back(param);
        }
        out->push_back(member);
    }
}

void ReadConstants(ITypeInfo* info, const TYPEATTR& attr, const std::string& enumeration,
                   std::vector<LibraryConstant>* out) {
    for (UINT i = 0; i < attr.cVars; ++i) {
        VARDESC* var = nullptr;
        if (FAILED(info->GetVarDesc(i, &var))) continue;
        auto release = scope_exit([&] { info->ReleaseVarDesc(var); });
        if (var->varkind != VAR_CONST || !var->lpvarValue) continue;
        unique_bstr name;
        info->GetDocumentation(var->memid, name.put(), nullptr, nullptr, nullptr);
        VARIANT value;
        VariantInit(&value);
        if (FAILED(VariantChangeType(&value, var->lpvarValue, 0, VT_I4))) continue;
        out->push_back({enumeration, ToUtf8(name.get()), V_I4(&value)});
    }
}

}  // namespace

std::string ToUtf8(const wchar_t* text) {
    if (!text || !*text) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

HRESULT TypeLibraryModel::Load(const std::wstring& path) {
    com_ptr<ITypeLib> library;
    const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    TLIBATTR* lib_attr = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&lib_attr))) {
        guids_.push_back(GuidText(lib_attr->guid));
        library->ReleaseTLibAttr(lib_attr);
    }
    const UINT count = library->GetTypeInfoCount();
    for (UINT index = 0; index < count; ++index) {
        com_ptr<ITypeInfo> info;
        if (FAILED(library->GetTypeInfo(index, info.put()))) continue;
        TYPEATTR* attr = nullptr;
        if (FAILED(info->GetTypeAttr(&attr))) continue;
        auto release = scope_exit([&] { info->ReleaseTypeAttr(attr); });
        unique_bstr type_name;
        info->GetDocumentation(MEMBERID_NIL, type_name.put(), nullptr, nullptr, nullptr);
        const std::string name = ToUtf8(type_name.get());
        switch (attr->typekind) {
            case TKIND_INTERFACE:
                guids_.push_back(GuidText(attr->guid));
                ReadMembers(info.get(), *attr, name.substr(1), &members_);
                break;
            case TKIND_DISPATCH:
                guids_.push_back(GuidText(attr->guid));
                ReadMembers(info.get(), *attr, name, &members_);
                break;
            case TKIND_COCLASS:
                guids_.push_back(GuidText(attr->guid));
                break;
            case TKIND_ENUM:
                ReadConstants(info.get(), *attr, name, &constants_);
                break;
            default:
                break;
        }
    }
    return S_OK;
}

}  // namespace pelkary::docs

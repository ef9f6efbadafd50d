#include "support/library_description.h"

#include <oleauto.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "comsupport/holders.h"
#include "support/hresult_assertions.h"
#include "support/error_record.h"

namespace pelkary::test {

namespace {

std::string TextOf(const unique_bstr& text) { return text ? Narrow(std::wstring(text.get(), text.length())) : ""; }

std::string Hex(unsigned long value) {
    std::ostringstream out;
    out << "0x" << std::hex << std::uppercase << value;
    return out.str();
}

// The names of the bits set in `flags`, and the hexadecimal rest of any it does not name.
std::string FlagNames(unsigned long flags, std::initializer_list<std::pair<unsigned long, const char*>> names) {
    std::string text;
    for (const auto& [bit, name] : names) {
        if (!(flags & bit)) continue;
        text += (text.empty() ? "" : ", ") + std::string(name);
        flags &= ~bit;
    }
    if (flags) text += (text.empty() ? "" : ", ") + Hex(flags);
    return text;
}

std::string NameOf(ITypeInfo* info, MEMBERID id, std::string* help = nullptr) {
    unique_bstr name, doc;
    info->GetDocumentation(id, name.put(), help ? doc.put() : nullptr, nullptr, nullptr);
    if (help) *help = TextOf(doc);
    return TextOf(name);
}

std::string TypeText(ITypeInfo* info, const TYPEDESC& type) {
    com_ptr<ITypeInfo> referenced;
    switch (type.vt) {
        case VT_I4: return "long";
        case VT_BSTR: return "BSTR";
        case VT_HRESULT: return "HRESULT";
        case VT_PTR: return TypeText(info, *type.lptdesc) + "*";
        case VT_USERDEFINED:
            return SUCCEEDED(info->GetRefTypeInfo(type.hreftype, referenced.put()))
                       ? NameOf(referenced.get(), MEMBERID_NIL)
                       : "?";
        default: return "vt" + std::to_string(type.vt);
    }
}

LibraryMember ReadFunction(ITypeInfo* info, UINT index) {
    LibraryMember member;
    FUNCDESC* f = nullptr;
    if (FAILED(info->GetFuncDesc(index, &f))) return member;
    auto release = scope_exit([&] { info->ReleaseFuncDesc(f); });
    member.name = NameOf(info, f->memid, &member.help);
    member.id = f->memid;
    if (f->funckind == FUNC_PUREVIRTUAL || f->funckind == FUNC_VIRTUAL)
        member.slot = f->oVft / static_cast<int>(sizeof(void*));
    member.kind = f->invkind == INVOKE_FUNC ? "method" : f->invkind == INVOKE_PROPERTYGET ? "propget" : "propput";
    if (f->callconv != CC_STDCALL) member.kind += " callconv " + std::to_string(f->callconv);
    if (f->cParamsOpt) member.kind += " optional " + std::to_string(f->cParamsOpt);
    member.result = TypeText(info, f->elemdescFunc.tdesc);
    std::vector<BSTR> names(static_cast<size_t>(f->cParams) + 1, nullptr);
    UINT got = 0;
    info->GetNames(f->memid, names.data(), static_cast<UINT>(names.size()), &got);
    for (SHORT p = 0; p < f->cParams; ++p) {
        const ELEMDESC& e = f->lprgelemdescParam[p];
        LibraryParam param;
        param.name = static_cast<UINT>(p) + 1 < got ? Narrow(names[p + 1] ? names[p + 1] : L"") : "";
        param.type = TypeText(info, e.tdesc);
        param.flags = FlagNames(e.paramdesc.wParamFlags, {{PARAMFLAG_FIN, "in"}, {PARAMFLAG_FOUT, "out"},
                                                          {PARAMFLAG_FRETVAL, "retval"}, {PARAMFLAG_FLCID, "lcid"},
                                                          {PARAMFLAG_FOPT, "optional"},
                                                          {PARAMFLAG_FHASDEFAULT, "default"}});
        member.params.push_back(param);
    }
    for (BSTR n : names) SysFreeString(n);
    return member;
}

LibraryMember ReadConstant(ITypeInfo* info, UINT index) {
    LibraryMember member;
    VARDESC* v = nullptr;
    if (FAILED(info->GetVarDesc(index, &v))) return member;
    auto release = scope_exit([&] { info->ReleaseVarDesc(v); });
    member.name = NameOf(info, v->memid, &member.help);
    member.kind = v->varkind == VAR_CONST ? "const" : "var";
    if (v->varkind == VAR_CONST && v->lpvarValue) {
        VARIANT value{};
        if (SUCCEEDED(VariantChangeType(&value, v->lpvarValue, 0, VT_I4))) member.id = V_I4(&value);
        member.result = TypeText(info, TYPEDESC{{nullptr}, V_VT(v->lpvarValue)});
    }
    return member;
}

LibraryType ReadType(ITypeInfo* info) {
    LibraryType type;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return type;
    auto release = scope_exit([&] { info->ReleaseTypeAttr(attr); });
    type.name = NameOf(info, MEMBERID_NIL, &type.help);
    static const char* const kinds[] = {"enum", "record", "module", "interface", "dispinterface", "coclass"};
    type.kind = attr->typekind <= TKIND_COCLASS ? kinds[attr->typekind] : "tkind" + std::to_string(attr->typekind);
    type.guid = GuidText(attr->guid);
    type.flags = "version " + std::to_string(attr->wMajorVerNum) + "." + std::to_string(attr->wMinorVerNum);
    const std::string flags =
        FlagNames(attr->wTypeFlags, {{TYPEFLAG_FCANCREATE, "cancreate"}, {TYPEFLAG_FDUAL, "dual"},
                                     {TYPEFLAG_FOLEAUTOMATION, "oleautomation"},
                                     {TYPEFLAG_FDISPATCHABLE, "dispatchable"}, {TYPEFLAG_FHIDDEN, "hidden"},
                                     {TYPEFLAG_FNONEXTENSIBLE, "nonextensible"}});
    if (!flags.empty()) type.flags += ", " + flags;
    if (attr->typekind == TKIND_INTERFACE || attr->typekind == TKIND_DISPATCH)
        type.flags += ", vtable " + std::to_string(attr->cbSizeVft / sizeof(void*));
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        HREFTYPE ref = 0;
        com_ptr<ITypeInfo> base;
        INT impl_flags = 0;
        if (FAILED(info->GetRefTypeOfImplType(i, &ref)) || FAILED(info->GetRefTypeInfo(ref, base.put()))) continue;
        std::string entry = NameOf(base.get(), MEMBERID_NIL);
        if (attr->typekind == TKIND_COCLASS && SUCCEEDED(info->GetImplTypeFlags(i, &impl_flags)))
            entry += " [" + FlagNames(impl_flags, {{IMPLTYPEFLAG_FDEFAULT, "default"},
                                                   {IMPLTYPEFLAG_FSOURCE, "source"},
                                                   {IMPLTYPEFLAG_FRESTRICTED, "restricted"}}) + "]";
        type.bases.push_back(entry);
    }
    for (UINT i = 0; i < attr->cFuncs; ++i) type.members.push_back(ReadFunction(info, i));
    for (UINT i = 0; i < attr->cVars; ++i) type.members.push_back(ReadConstant(info, i));
    return type;
}

}  // namespace

HRESULT LoadRegisteredLibrary(ITypeLib** library, REFGUID libid, WORD major, WORD minor) {
    HRESULT hr = LoadRegTypeLib(libid, major, minor, 0, library);
    return FAILED(hr) ? LoadRegTypeLib(libid, major, minor, 0x409, library) : hr;
}

std::vector<VARIANT> ArgumentsOf(const LibraryMember& member, long number, IDispatch* object, std::vector<long>* outs) {
    std::vector<VARIANT> args;
    if (outs) outs->assign(member.params.size(), 0);
    for (size_t p = 0; p < member.params.size(); ++p) {
        const LibraryParam& param = member.params[p];
        if (param.retval() && outs) continue;
        VARIANT v{};  // all zero: VT_EMPTY, a null string, False
        if (param.out()) {
            V_VT(&v) = VT_BYREF | VT_I4;
            V_I4REF(&v) = outs ? &(*outs)[p] : nullptr;
            EXPECT_TRUE(!outs || param.type == "long*") << "no [out] argument made for " << param.type;
        } else if (param.type == "long" || param.type == "vt12" || param.type.rfind("tagNUVAK", 0) == 0) {
            V_VT(&v) = VT_I4;
            V_I4(&v) = number;
        } else if (param.type == "vt11") {
            V_VT(&v) = VT_BOOL;
        } else if (param.type == "vt9") {
            V_VT(&v) = VT_DISPATCH;
            V_DISPATCH(&v) = object;
        } else {
            V_VT(&v) = VT_BSTR;
            EXPECT_EQ(param.type, "BSTR") << "no argument made for " << param.type;
        }
        args.push_back(v);
    }
    return args;
}

Invoked InvokeByName(IDispatch* object, const LibraryMember& member, const std::vector<VARIANT>& args) {
    std::wstring name(member.name.begin(), member.name.end());
    LPOLESTR names[] = {name.data()};
    DISPID id = 0x7777;
    EXPECT_HR(S_OK, object->GetIDsOfNames(DIID_IMXFolderEvents, names, 1, 0x0407, &id));
    EXPECT_EQ(id, member.id);
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());  // DISPPARAMS hold them last first
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    const bool result_place = member.result != "HRESULT" ||
                              std::any_of(member.params.begin(), member.params.end(), [](auto& p) { return p.retval(); });
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep = {};
    UINT arg_err = 0;
    Invoked invoked;
    invoked.hr = object->Invoke(id, IID_NULL, 0x0407, member.kind == "propget" ? DISPATCH_PROPERTYGET : DISPATCH_METHOD,
                                &params, result_place ? &result : nullptr, &excep, &arg_err);
    invoked.result = V_VT(&result);
    invoked.source = excep.bstrSource ? Narrow(excep.bstrSource) : "";
    VariantClear(&result);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    return invoked;
}

void ExpectCheckedInDescription(ITypeLib* library, const std::string& path) {
    std::string actual = LibraryDescription(library).Text();
    // The checked-in description is the x86-64 library's (SYS_WIN64, 3); the 32-bit build's
    // library differs in its target system alone (SYS_WIN32, 1), the slots of the vtables being
    // counted, not measured.
    if (sizeof(void*) == 4) {
        const size_t at = actual.find(" syskind 1 ");
        EXPECT_NE(std::string::npos, at) << "a 32-bit build's library targets SYS_WIN32";
        if (at != std::string::npos) actual.replace(at, 11, " syskind 3 ");
    }
    const std::string file = "Z:" + path;
    if (std::getenv("PELKARY_REFRESH_TYPELIB")) std::ofstream(file, std::ios::binary) << actual;
    std::ifstream in(file, std::ios::binary);
    std::ostringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(expected.str(), actual) << "the registered library differs from " << path
                                      << "; once the change is intended, refresh it with PELKARY_REFRESH_TYPELIB=1";
}

LibraryDescription::LibraryDescription(ITypeLib* library) {
    unique_bstr name, help, help_file;
    DWORD context = 0;
    library->GetDocumentation(-1, name.put(), help.put(), &context, help_file.put());
    std::ostringstream header;
    header << "library " << TextOf(name);
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attr))) {
        header << " " << GuidText(attr->guid) << " version " << attr->wMajorVerNum << "." << attr->wMinorVerNum
               << " lcid " << Hex(attr->lcid) << " syskind " << attr->syskind << " flags "
               << Hex(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE);
        library->ReleaseTLibAttr(attr);
    }
    header << " helpfile \"" << TextOf(help_file) << "\" context " << context << " \"" << TextOf(help) << "\"";
    header_ = header.str();
    for (UINT i = 0, n = library->GetTypeInfoCount(); i < n; ++i) {
        com_ptr<ITypeInfo> info;
        types_.push_back(SUCCEEDED(library->GetTypeInfo(i, info.put())) ? ReadType(info.get()) : LibraryType{});
    }
}

std::string LibraryDescription::Text() const {
    std::ostringstream out;
    out << header_ << "\n";
    for (size_t i = 0; i < types_.size(); ++i) {
        const LibraryType& t = types_[i];
        out << "\n" << i << " " << t.kind << " " << t.name << " " << t.guid << " " << t.flags << " \"" << t.help
            << "\"\n";
        for (const std::string& base : t.bases) out << "  : " << base << "\n";
        for (const LibraryMember& m : t.members) {
            if (m.kind == "const") {
                out << "  " << m.name << " = " << Hex(static_cast<unsigned long>(m.id)) << " " << m.result;
            } else {
                out << "  " << Hex(static_cast<unsigned long>(m.id));
                if (m.slot >= 0) out << " slot " << m.slot;
                out << " " << m.kind << " " << m.result << " " << m.name << "(";
                for (size_t p = 0; p < m.params.size(); ++p)
                    out << (p ? ", " : "") << "[" << m.params[p].flags << "] " << m.params[p].type << " "
                        << m.params[p].name;
                out << ")";
            }
            out << (m.help.empty() ? "" : " \"" + m.help + "\"") << "\n";
        }
    }
    return out.str();
}

}  // namespace pelkary::test

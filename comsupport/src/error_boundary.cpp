#include "comsupport/error_boundary.h"

#include <exception>
#include <new>

#include "comsupport/com_error.h"
#include "comsupport/text.h"

namespace pelkary {

std::wstring ErrorSource::composed() const {
    if (class_name && *class_name) {
        if (!method_name || !*method_name) return class_name;
        return std::wstring(class_name) + L"." + method_name;
    }
    return method_name ? method_name : L"";
}

HRESULT set_error_object(HRESULT hr, const wchar_t* description, const wchar_t* source, const GUID& guid,
                         const wchar_t* help_file, DWORD help_context) noexcept {
    com_ptr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put())) || !create) return hr;
    create->SetDescription(const_cast<LPOLESTR>(description));
    if (source) create->SetSource(const_cast<LPOLESTR>(source));
    if (!IsEqualGUID(guid, GUID_NULL)) create->SetGUID(guid);
    if (help_file) {
        create->SetHelpFile(const_cast<LPOLESTR>(help_file));
        create->SetHelpContext(help_context);
    }
    com_ptr<IErrorInfo> info = create.try_query<IErrorInfo>();
    if (info) SetErrorInfo(0, info.get());
    return hr;
}

HRESULT translate_current_exception(const ErrorSource& where, HRESULT out_of_memory) noexcept {
    // Composing the source may itself run out of memory: the error object then has none, as it
    // has when `where` names nothing.
    std::wstring composed;
    try {
        composed = where.composed();
    } catch (...) {
    }
    const wchar_t* own_source = composed.empty() ? nullptr : composed.c_str();
    try {
        throw;
    } catch (const com_error& e) {
        try {
            unique_bstr description = e.description();
            unique_bstr source = e.source();
            GUID guid = e.guid();
            unique_bstr help_file = e.help_file();
            return set_error_object(e.hr(), description.get(), source ? source.get() : own_source,
                                    IsEqualGUID(guid, GUID_NULL) ? where.iid : guid, help_file.get(),
                                    e.help_context());
        } catch (...) {
            // Reading the callee's error object failed: report the original code alone.
            return set_error_object(e.hr(), nullptr, own_source, where.iid, nullptr, 0);
        }
    } catch (const std::bad_alloc&) {
        // The text of an allocation failure, whatever the runtime's own wording.
        return set_error_object(out_of_memory, L"bad allocation", own_source, where.iid, nullptr, 0);
    } catch (const std::exception& e) {
        std::wstring description;
        try {
            description = ansi_to_wide(e.what());
        } catch (...) {
        }
        return set_error_object(E_FAIL, description.c_str(), own_source, where.iid, nullptr, 0);
    } catch (...) {
        return set_error_object(E_UNEXPECTED, nullptr, own_source, where.iid, nullptr, 0);
    }
}

}  // namespace pelkary

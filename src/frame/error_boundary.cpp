#include "frame/error_boundary.h"

#include "frame/text.h"

namespace pelkary {

std::wstring ErrorSource::composed() const {
    if (source_override && SysStringLen(source_override) > 0) return source_override;
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

HRESULT translate_current_exception(const ErrorSource& where) {
    try {
        throw;
    } catch (const com_error& e) {
        try {
            unique_bstr description = e.description();
            unique_bstr source = e.source();
            GUID guid = e.guid();
            unique_bstr help_file = e.help_file();
            DWORD help_context = e.help_context();
            std::wstring composed = source ? std::wstring() : where.composed();
            return set_error_object(e.hr(), description.get(), source ? source.get() : composed.c_str(),
                                    IsEqualGUID(guid, GUID_NULL) ? where.iid : guid, help_file.get(),
                                    help_context);
        } catch (const std::exception&) {
            // Reading the callee's error object failed: report the original code alone.
            std::wstring composed = where.composed();
            return set_error_object(e.hr(), nullptr, composed.c_str(), where.iid, nullptr, 0);
        }
    } catch (const std::bad_alloc&) {
        // The text of an allocation failure, whatever the runtime's own wording.
        std::wstring composed = where.composed();
        return set_error_object(E_FAIL, L"bad allocation", composed.c_str(), where.iid, nullptr, 0);
    } catch (const std::exception& e) {
        std::wstring composed = where.composed();
        std::wstring description;
        try {
            description = ansi_to_wide(e.what());
        } catch (...) {
        }
        return set_error_object(E_FAIL, description.c_str(), composed.c_str(), where.iid, nullptr, 0);
    }
}

}  // namespace pelkary

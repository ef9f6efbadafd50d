#include "comsupport/com_error.h"

#include "comsupport/text.h"

namespace pelkary {

com_error::com_error(HRESULT hr, IErrorInfo* info) noexcept
    : std::runtime_error(std::string()), hr_(hr), info_(info) {}

com_error::com_error(const com_error& other) noexcept
    : std::runtime_error(other), hr_(other.hr_), info_(other.info_) {}

com_error& com_error::operator=(const com_error& other) noexcept {
    std::runtime_error::operator=(other);
    hr_ = other.hr_;
    info_ = other.info_;
    message_.clear();
    composed_ = false;
    return *this;
}

com_error::~com_error() = default;

unique_bstr com_error::description() const {
    unique_bstr s;
    if (info_) check_hr(info_->GetDescription(s.put()));
    return s;
}

unique_bstr com_error::source() const {
    unique_bstr s;
    if (info_) check_hr(info_->GetSource(s.put()));
    return s;
}

unique_bstr com_error::help_file() const {
    unique_bstr s;
    if (info_) check_hr(info_->GetHelpFile(s.put()));
    return s;
}

GUID com_error::guid() const {
    GUID g = GUID_NULL;
    if (info_) check_hr(info_->GetGUID(&g));
    return g;
}

DWORD com_error::help_context() const {
    DWORD context = 0;
    if (info_) check_hr(info_->GetHelpContext(&context));
    return context;
}

const char* com_error::what() const noexcept {
    if (composed_) return message_.c_str();
    try {
        std::string text;
        if (info_) {
            unique_bstr d;
            if (SUCCEEDED(info_->GetDescription(d.put())) && d.length() > 0) text = to_ansi(d.get());
        }
        if (text.empty()) {
            char* buffer = nullptr;
            DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, static_cast<DWORD>(hr_), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                     reinterpret_cast<char*>(&buffer), 0, nullptr);
            if (n && buffer) text.assign(buffer, n);
            if (buffer) LocalFree(buffer);
        }
        message_ = std::move(text);
        composed_ = true;
    } catch (...) {
        // Out of memory while composing: no text.
        message_.clear();
    }
    return message_.c_str();
}

HRESULT check_hr(HRESULT hr) {
    if (FAILED(hr)) throw com_error(hr);
    return hr;
}

HRESULT hresult_from_win32(LONG status) noexcept {
    if (status <= 0) return static_cast<HRESULT>(status);
    return static_cast<HRESULT>((static_cast<unsigned long>(status) & 0x0000FFFFul) | 0x80070000ul);
}

void throw_last_error() { throw_win32(static_cast<LONG>(GetLastError())); }

void throw_win32(LONG status) { throw com_error(hresult_from_win32(status)); }

void throw_described(HRESULT hr, const wchar_t* description) {
    com_ptr<ICreateErrorInfo> create;
    com_ptr<IErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(create.put())) && create) {
        create->SetDescription(const_cast<LPOLESTR>(description));
        // Not every runtime starts a new error object with a nil GUID; nil lets the boundary
        // name the failing method's interface.
        create->SetGUID(GUID_NULL);
        info = create.try_query<IErrorInfo>();
    }
    throw com_error(hr, info.get());
}

void throw_callee_failure(IUnknown* callee, REFIID iid, HRESULT hr) {
    com_ptr<ISupportErrorInfo> support;
    if (callee && SUCCEEDED(callee->QueryInterface(IID_ISupportErrorInfo, support.put_void())) && support &&
        support->InterfaceSupportsErrorInfo(iid) == S_OK) {
        com_ptr<IErrorInfo> info;
        if (GetErrorInfo(0, info.put()) == S_OK && info) throw com_error(hr, info.get());
    }
    throw com_error(hr);
}

}  // namespace pelkary

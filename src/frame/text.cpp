#include "frame/text.h"

#include <new>
#include <stdexcept>

#include "frame/com_error.h"

namespace pelkary {

unique_bstr make_bstr(std::wstring_view text) {
    BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!s) throw std::bad_alloc();
    return unique_bstr(s);
}

unique_bstr ansi_to_bstr(const char* ansi, int length) {
    if (!ansi) return unique_bstr();
    if (length == 0) return make_bstr(std::wstring_view());
    int n = MultiByteToWideChar(CP_ACP, 0, ansi, length, nullptr, 0);
    if (n <= 0) throw std::runtime_error("MultiByteToWideChar has failed");
    // A measured NUL-terminated input counts its terminator; the BSTR does not hold it.
    UINT chars = static_cast<UINT>(length == -1 ? n - 1 : n);
    BSTR s = SysAllocStringLen(nullptr, chars);
    if (!s) throw std::bad_alloc();
    unique_bstr result(s);
    if (MultiByteToWideChar(CP_ACP, 0, ansi, length, s, n) <= 0)
        throw std::runtime_error("MultiByteToWideChar has failed");
    return result;
}

std::wstring ansi_to_wide(const char* ansi, int length) {
    unique_bstr b = ansi_to_bstr(ansi, length);
    return std::wstring(b.get() ? b.get() : L"", b.length());
}

std::string to_ansi(const wchar_t* text, int length) {
    if (!text || length == 0 || (length < 0 && !*text)) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) throw_last_error();
    std::string out(static_cast<size_t>(n), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), n, nullptr, nullptr) <= 0) throw_last_error();
    if (length < 0) out.pop_back();  // the terminator that the measurement counted
    return out;
}

}  // namespace pelkary

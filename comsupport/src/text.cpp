#include "comsupport/text.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "comsupport/com_error.h"

namespace pelkary {

namespace {

// The two conversions everything else goes through. `count` -1 means "up to and with the NUL";
// the result's length then counts the terminator.
int wide_length(UINT code_page, const char* text, int count) {
    int n = MultiByteToWideChar(code_page, 0, text, count, nullptr, 0);
    if (n <= 0) throw std::runtime_error("MultiByteToWideChar has failed");
    return n;
}

void widen_into(UINT code_page, const char* text, int count, wchar_t* out, int n) {
    if (MultiByteToWideChar(code_page, 0, text, count, out, n) <= 0)
        throw std::runtime_error("MultiByteToWideChar has failed");
}

std::wstring widen(std::string_view text, UINT code_page) {
    if (text.empty()) return std::wstring();
    const int count = static_cast<int>(text.size());
    const int n = wide_length(code_page, text.data(), count);
    std::wstring out(static_cast<size_t>(n), L'\0');
    widen_into(code_page, text.data(), count, out.data(), n);
    return out;
}

std::string narrow(std::wstring_view text, UINT code_page) {
    if (text.empty()) return std::string();
    const int count = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(code_page, 0, text.data(), count, nullptr, 0, nullptr, nullptr);
    if (n <= 0) throw_last_error();
    std::string out(static_cast<size_t>(n), '\0');
    if (WideCharToMultiByte(code_page, 0, text.data(), count, out.data(), n, nullptr, nullptr) <= 0)
        throw_last_error();
    return out;
}

bool is_ascii(std::string_view text) noexcept {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

unique_bstr make_bstr(std::wstring_view text) {
    BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!s) throw std::bad_alloc();
    return unique_bstr(s);
}

unique_bstr ansi_to_bstr(const char* ansi, int length) {
    if (!ansi) return unique_bstr();
    if (length == 0) return make_bstr(std::wstring_view());
    const int n = wide_length(CP_ACP, ansi, length);
    // A measured NUL-terminated input counts its terminator; the BSTR does not hold it.
    BSTR s = SysAllocStringLen(nullptr, static_cast<UINT>(length == -1 ? n - 1 : n));
    if (!s) throw std::bad_alloc();
    unique_bstr result(s);
    widen_into(CP_ACP, ansi, length, s, n);
    return result;
}

std::wstring ansi_to_wide(const char* ansi, int length) {
    if (!ansi) return std::wstring();
    return widen(length < 0 ? std::string_view(ansi) : std::string_view(ansi, static_cast<size_t>(length)),
                 CP_ACP);
}

std::string to_ansi(const wchar_t* text, int length) {
    if (!text) return std::string();
    return narrow(length < 0 ? std::wstring_view(text) : std::wstring_view(text, static_cast<size_t>(length)),
                  CP_ACP);
}

std::string to_utf8(std::wstring_view text) { return narrow(text, CP_UTF8); }

std::wstring utf8_to_wide(std::string_view utf8) { return widen(utf8, CP_UTF8); }

std::string utf8_to_ansi(std::string_view utf8) {
    if (is_ascii(utf8)) return std::string(utf8);
    return narrow(widen(utf8, CP_UTF8), CP_ACP);
}

std::string ansi_to_utf8(std::string_view ansi) {
    if (is_ascii(ansi)) return std::string(ansi);
    return narrow(widen(ansi, CP_ACP), CP_UTF8);
}

}  // namespace pelkary

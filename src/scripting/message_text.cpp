#include "scripting/message_text.h"

#include <cwctype>

#include "comsupport/com_error.h"
#include "comsupport/text.h"
#include "comsupport/unique_bstr.h"

namespace pelkary {

namespace {

constexpr long kRootBody = -1;
// Deeper trees are not mail that a person wrote; the walk stops there.
constexpr int kMaxBodyDepth = 32;

std::wstring Text(const unique_bstr& text) { return text ? std::wstring(text.get(), text.length()) : std::wstring(); }

std::wstring Lower(std::wstring_view text) {
    if (text.empty()) return std::wstring();
    const int length = static_cast<int>(text.size());
    std::wstring lower(text.size(), L'\0');
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, text.data(), length, lower.data(), length) != length)
        throw_last_error();
    return lower;
}

void CollectText(IMXMessage* message, long body, int depth, std::wstring& out) {
    long child = 0;
    check_callee(message, message->GetBodyHandle(body, MX_IBL_FIRST, &child));
    if (child != 0) {
        if (depth >= kMaxBodyDepth) return;
        for (; child != 0; check_callee(message, message->GetBodyHandle(child, MX_IBL_NEXT, &child)))
            CollectText(message, child, depth + 1, out);
        return;
    }
    unique_bstr primary;
    long attachment = 0;
    check_callee(message, message->GetBodyPrimaryContentType(body, primary.put()));
    if (Lower(Text(primary)) != L"text") return;
    check_callee(message, message->IsBodyAttachment(body, &attachment));
    if (attachment) return;
    unique_bstr text;
    check_callee(message, message->GetBodyText(body, text.put()));
    out += Text(text);
    out += L"\r\n";
}

}  // namespace

std::wstring TextOf(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

std::optional<std::wstring> HeaderValue(IMXMessage* message, const std::wstring& name) {
    unique_bstr wanted = make_bstr(name), value;
    long exist = 0;
    check_callee(message, message->GetBodyPropByName(kRootBody, wanted.get(), &exist, value.put()));
    if (!exist) return std::nullopt;
    return Text(value);
}

std::wstring TextOfBodies(IMXMessage* message) {
    std::wstring text;
    CollectText(message, kRootBody, 0, text);
    return text;
}

bool ContainsIgnoringCase(std::wstring_view text, std::wstring_view part) {
    if (part.empty()) return true;
    return Lower(text).find(Lower(part)) != std::wstring::npos;
}

std::wstring_view BareMessageId(std::wstring_view id) {
    while (!id.empty() && std::iswspace(id.front())) id.remove_prefix(1);
    while (!id.empty() && std::iswspace(id.back())) id.remove_suffix(1);
    if (id.size() >= 2 && id.front() == L'<' && id.back() == L'>') id = id.substr(1, id.size() - 2);
    return id;
}

}  // namespace pelkary

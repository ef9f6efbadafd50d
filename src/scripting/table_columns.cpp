#include "scripting/table_columns.h"

#include <algorithm>
#include <iterator>

namespace pelkary {

namespace {

struct NamedColumn {
    const wchar_t* name;
    TableColumn column;
};

constexpr NamedColumn kColumns[] = {
    {L"id", TableColumn::kId},           {L"folder", TableColumn::kFolder},
    {L"folderid", TableColumn::kFolderId}, {L"subject", TableColumn::kSubject},
    {L"from", TableColumn::kFrom},       {L"fromaddress", TableColumn::kFromAddress},
    {L"to", TableColumn::kTo},           {L"cc", TableColumn::kCc},
    {L"date", TableColumn::kDate},       {L"received", TableColumn::kReceived},
    {L"size", TableColumn::kSize},       {L"unread", TableColumn::kUnread},
    {L"flagged", TableColumn::kFlagged}, {L"attachments", TableColumn::kAttachments},
    {L"messageid", TableColumn::kMessageId},
};

constexpr wchar_t kKnown[] =
    L"id, folder, folderid, subject, from, fromaddress, to, cc, date, received, size, unread, flagged, attachments, "
    L"messageid";

std::wstring_view Trimmed(std::wstring_view text) {
    const auto space = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

bool SameName(std::wstring_view given, const wchar_t* name) {
    const std::wstring_view known(name);
    return given.size() == known.size() &&
           std::equal(given.begin(), given.end(), known.begin(), [](wchar_t a, wchar_t b) {
               return (a >= L'A' && a <= L'Z' ? a - L'A' + L'a' : a) == b;
           });
}

}  // namespace

bool ParseTableColumns(std::wstring_view list, std::vector<TableColumn>* columns, std::wstring* problem) {
    columns->clear();
    for (;;) {
        const size_t comma = list.find(L',');
        const std::wstring_view name = Trimmed(list.substr(0, comma));
        const auto known = std::find_if(std::begin(kColumns), std::end(kColumns),
                                        [&](const NamedColumn& c) { return SameName(name, c.name); });
        if (known == std::end(kColumns)) {
            *problem = name.empty() ? std::wstring(L"A column name is missing in the list of columns")
                                    : L"There is no column \"" + std::wstring(name) + L"\"";
            *problem += std::wstring(L": the columns are ") + kKnown + L", separated by commas.";
            return false;
        }
        columns->push_back(known->column);
        if (comma == std::wstring_view::npos) return true;
        list.remove_prefix(comma + 1);
    }
}

}  // namespace pelkary

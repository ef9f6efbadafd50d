#include "scripting/search_table.h"

#include <algorithm>

#include "comsupport/com_error.h"
#include "comsupport/scope_exit.h"
#include "comsupport/unique_any.h"
#include "scripting/variant_date.h"

namespace pelkary {

namespace {

using unique_safearray = unique_any<SAFEARRAY*, &SafeArrayDestroy>;

// Rows asked of the store at a time: enough to make the calls cheap, few enough to keep the
// page's strings small.
constexpr DWORD kPage = 256;
// The flagged bit of a message's state.
constexpr DWORD kFlaggedState = 0x800;

// The string field of a row that a text column reads; null for the others.
BSTR STORESEARCHROW::*StringOf(TableColumn column) noexcept {
    switch (column) {
        case TableColumn::kSubject: return &STORESEARCHROW::bstrSubject;
        case TableColumn::kFrom: return &STORESEARCHROW::bstrFrom;
        case TableColumn::kFromAddress: return &STORESEARCHROW::bstrFromAddress;
        case TableColumn::kTo: return &STORESEARCHROW::bstrTo;
        case TableColumn::kCc: return &STORESEARCHROW::bstrCc;
        case TableColumn::kMessageId: return &STORESEARCHROW::bstrMessageId;
        default: return nullptr;
    }
}

DWORD BitOf(TableColumn column) noexcept {
    switch (column) {
        case TableColumn::kSubject: return STORESEARCHCOL_SUBJECT;
        case TableColumn::kFrom: return STORESEARCHCOL_FROM;
        case TableColumn::kFromAddress: return STORESEARCHCOL_FROMADDRESS;
        case TableColumn::kTo: return STORESEARCHCOL_TO;
        case TableColumn::kCc: return STORESEARCHCOL_CC;
        case TableColumn::kMessageId: return STORESEARCHCOL_MESSAGEID;
        case TableColumn::kDate: return STORESEARCHCOL_SENT;
        case TableColumn::kReceived: return STORESEARCHCOL_RECEIVED;
        case TableColumn::kSize: return STORESEARCHCOL_SIZE;
        case TableColumn::kUnread:
        case TableColumn::kFlagged: return STORESEARCHCOL_STATE;
        case TableColumn::kAttachments: return STORESEARCHCOL_ATTACHMENTS;
        default: return 0;  // ids and the folder come with every row
    }
}

void PutLong(VARIANT* cell, DWORD value) noexcept {
    V_VT(cell) = VT_I4;
    V_I4(cell) = static_cast<LONG>(std::min<DWORD>(value, 0x7FFFFFFF));
}

void PutBool(VARIANT* cell, bool value) noexcept {
    V_VT(cell) = VT_BOOL;
    V_BOOL(cell) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void FreeStrings(STORESEARCHROW& row) noexcept {
    for (BSTR* text : {&row.bstrSubject, &row.bstrFrom, &row.bstrFromAddress, &row.bstrTo, &row.bstrCc,
                       &row.bstrMessageId})
        SysFreeString(std::exchange(*text, nullptr));
}

// A copy of `text`; throws when memory runs out.
BSTR Copy(BSTR text) {
    if (!text) return nullptr;
    BSTR copy = SysAllocStringLen(text, SysStringLen(text));
    if (!copy) throw com_error(E_OUTOFMEMORY);
    return copy;
}

}  // namespace

SearchTable::SearchTable(IStoreSearch* search, std::vector<TableColumn> columns)
    : search_(search), columns_(std::move(columns)), last_use_(columns_.size(), true) {
    for (size_t i = 0; i < columns_.size(); ++i)
        last_use_[i] = std::find(columns_.begin() + static_cast<std::ptrdiff_t>(i) + 1, columns_.end(), columns_[i]) ==
                       columns_.end();
}

DWORD SearchTable::ColumnBits() const noexcept {
    DWORD bits = 0;
    for (TableColumn column : columns_) bits |= BitOf(column);
    return bits;
}

BSTR SearchTable::FolderPath(STOREFOLDERID id) {
    auto known = folder_paths_.find(id);
    if (known == folder_paths_.end()) {
        unique_bstr path;
        if (FAILED(search_->GetFolderPath(id, path.put()))) path.reset();
        known = folder_paths_.emplace(id, std::move(path)).first;
    }
    return known->second.get();
}

void SearchTable::Put(STORESEARCHROW& row, size_t index, VARIANT* cell) {
    const TableColumn column = columns_[index];
    if (BSTR STORESEARCHROW::*text = StringOf(column)) {
        V_VT(cell) = VT_BSTR;
        V_BSTR(cell) = last_use_[index] ? std::exchange(row.*text, nullptr) : Copy(row.*text);
        return;
    }
    switch (column) {
        case TableColumn::kId: return PutLong(cell, row.idMessage);
        case TableColumn::kFolderId: return PutLong(cell, row.idFolder);
        case TableColumn::kFolder:
            V_VT(cell) = VT_BSTR;
            V_BSTR(cell) = Copy(FolderPath(row.idFolder));
            return;
        case TableColumn::kDate: return WriteDate(row.ftSent, cell);
        case TableColumn::kReceived: return WriteDate(row.ftReceived, cell);
        case TableColumn::kSize: return PutLong(cell, row.cbMessage);
        case TableColumn::kAttachments: return PutLong(cell, row.cAttachments);
        case TableColumn::kUnread: return PutBool(cell, (row.dwState & MSG_UNREAD) != 0);
        case TableColumn::kFlagged: return PutBool(cell, (row.dwState & kFlaggedState) != 0);
        default: return;
    }
}

void SearchTable::Fill(IStoreSearchResult* result, DWORD rows, VARIANT* out) {
    const ULONG width = static_cast<ULONG>(columns_.size());
    // (row, column): the row is the first dimension, which varies fastest in memory.
    SAFEARRAYBOUND bounds[2] = {{rows, 0}, {width, 0}};
    unique_safearray array(SafeArrayCreate(VT_VARIANT, 2, bounds));
    if (!array) throw com_error(E_OUTOFMEMORY);
    VARIANT* cells = nullptr;
    check_hr(SafeArrayAccessData(array.get(), reinterpret_cast<void**>(&cells)));
    auto unlock = scope_exit([&] { SafeArrayUnaccessData(array.get()); });

    const DWORD bits = ColumnBits();
    std::vector<STORESEARCHROW> page(std::min(rows, kPage));
    for (DWORD first = 0; first < rows;) {
        DWORD fetched = 0;
        const DWORD wanted = std::min<DWORD>(rows - first, kPage);
        std::fill(page.begin(), page.end(), STORESEARCHROW{});
        check_hr(result->GetRows(first, wanted, bits, page.data(), &fetched));
        auto free_page = scope_exit([&] {
            for (DWORD i = 0; i < fetched; ++i) FreeStrings(page[i]);
        });
        for (DWORD i = 0; i < fetched; ++i)
            for (ULONG c = 0; c < width; ++c) Put(page[i], c, &cells[static_cast<size_t>(c) * rows + first + i]);
        if (fetched < wanted) break;
        first += fetched;
    }
    unlock.dismiss();
    check_hr(SafeArrayUnaccessData(array.get()));
    V_VT(out) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(out) = array.release();
}

}  // namespace pelkary

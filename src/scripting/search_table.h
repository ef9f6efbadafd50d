// SearchTable: the rows of a search result as the two-dimensional array that MXStore.Table gives
// a script: VARIANTs indexed (row, column) from 0, one row per hit in result order, read from the
// store's result a page at a time and written straight into the array (the strings the store
// hands over go into their cells without a copy), so memory grows with the rows and nothing is
// copied twice. Apartment-threaded like its caller; one use.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <unordered_map>
#include <vector>

#include "comsupport/unique_bstr.h"
#include "scripting/table_columns.h"
#include "store_api.h"

namespace pelkary {

class SearchTable {
public:
    // `search` names folders for the folder column; it must outlive the table.
    SearchTable(IStoreSearch* search, std::vector<TableColumn> columns);

    // The first `rows` hits of `result` as VT_ARRAY | VT_VARIANT in `out` (which must be empty);
    // rows the result no longer gives stay Empty. Throws com_error for a failure of the store or
    // of memory, with nothing left in `out`.
    void Fill(IStoreSearchResult* result, DWORD rows, VARIANT* out);

private:
    // The STORESEARCHCOL_* bits the columns need.
    DWORD ColumnBits() const noexcept;
    // Writes column `index` of `row` into `cell`, taking the row's string when no later column
    // needs it.
    void Put(STORESEARCHROW& row, size_t index, VARIANT* cell);
    // The path of folder `id` (the empty string when it has none), asked once per folder.
    BSTR FolderPath(STOREFOLDERID id);

    IStoreSearch* search_;
    std::vector<TableColumn> columns_;
    std::vector<bool> last_use_;  // per column: no later column reads the same string
    std::unordered_map<STOREFOLDERID, unique_bstr> folder_paths_;
};

}  // namespace pelkary

// The columns a script asks MXStore.Table for: a comma-separated list of the column names of the
// store tool's `search --columns`, read into the columns in the order given. Plain C++17.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelkary {

enum class TableColumn {
    kId, kFolder, kFolderId, kSubject, kFrom, kFromAddress, kTo, kCc,
    kDate, kReceived, kSize, kUnread, kFlagged, kAttachments, kMessageId
};

// The columns of `list` ("subject, from,date"): names without regard to ASCII letter case, white
// space around them ignored, a name may repeat. False with `problem` set to a sentence for the
// script author (naming the unknown column, or saying that there is none). Never throws but for
// memory.
bool ParseTableColumns(std::wstring_view list, std::vector<TableColumn>* columns, std::wstring* problem);

}  // namespace pelkary

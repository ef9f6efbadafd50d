#include "search_commands.h"

#include <cstdio>
#include <map>
#include <vector>

#include "comsupport/com_object.h"
#include "comsupport/com_ptr.h"
#include "comsupport/text.h"
#include "comsupport/unique_bstr.h"
#include "tool_failure.h"
#include "tool_text.h"

namespace mxstore {
namespace {

enum class Column { kId, kFolder, kSubject, kFrom, kFromAddress, kTo, kDate, kReceived, kSize, kUnread,
                    kFlagged, kAttachments, kMessageId };

struct ColumnName {
  const wchar_t* name;
  Column column;
  DWORD needs;  // the STORESEARCHCOL_* bits it is printed from
};

const ColumnName kColumns[] = {
    {L"id", Column::kId, 0},
    {L"folder", Column::kFolder, 0},
    {L"subject", Column::kSubject, STORESEARCHCOL_SUBJECT},
    {L"from", Column::kFrom, STORESEARCHCOL_FROM},
    {L"fromaddress", Column::kFromAddress, STORESEARCHCOL_FROMADDRESS},
    {L"to", Column::kTo, STORESEARCHCOL_TO},
    {L"date", Column::kDate, STORESEARCHCOL_SENT},
    {L"received", Column::kReceived, STORESEARCHCOL_RECEIVED},
    {L"size", Column::kSize, STORESEARCHCOL_SIZE},
    {L"unread", Column::kUnread, STORESEARCHCOL_STATE},
    {L"flagged", Column::kFlagged, STORESEARCHCOL_STATE},
    {L"attachments", Column::kAttachments, STORESEARCHCOL_ATTACHMENTS},
    {L"messageid", Column::kMessageId, STORESEARCHCOL_MESSAGEID},
};

const wchar_t kDefaultColumns[] = L"folder,id,date,from,subject";
constexpr DWORD kFlagged = 0x800;  // the state bit of a flagged message
constexpr DWORD kPage = 256;

// The columns of --columns LIST (names separated by commas); a wrong command line for others.
std::vector<ColumnName> ParseColumns(const std::wstring& list) {
  std::vector<ColumnName> out;
  size_t start = 0;
  for (;;) {
    const size_t comma = list.find(L',', start);
    const std::wstring name = list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
    const ColumnName* found = nullptr;
    for (const ColumnName& c : kColumns)
      if (name == c.name) found = &c;
    if (!found)
      Misuse("no column '" + ToolText::Ansi(name) + "'; the columns are id, folder, subject, from, fromaddress, to, "
             "date, received, size, unread, flagged, attachments and messageid");
    out.push_back(*found);
    if (comma == std::wstring::npos) return out;
    start = comma + 1;
  }
}

// --limit N: 1 to 4294967295.
DWORD ParseLimit(const std::wstring* text) {
  if (!text) return 0;
  if (text->empty() || text->size() > 10 || text->find_first_not_of(L"0123456789") != std::wstring::npos ||
      std::stoull(*text) == 0 || std::stoull(*text) > MAXDWORD)
    Misuse("--limit takes a number of messages from 1, not '" + ToolText::Ansi(*text) + "'");
  return static_cast<DWORD>(std::stoul(*text));
}

// ISO 8601 in UTC ("2024-03-01T09:30:00Z"); empty for no time.
std::string IsoTime(const FILETIME& time) {
  SYSTEMTIME st;
  if ((!time.dwLowDateTime && !time.dwHighDateTime) || !FileTimeToSystemTime(&time, &st)) return "";
  char text[32];
  snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay, st.wHour,
           st.wMinute, st.wSecond);
  return text;
}

// A text column in the tool's code page, with tabs and line ends made spaces so that every
// message stays one line of columns.
std::string Text(BSTR text) {
  std::string out = pelkary::bstr_to_ansi(text);
  for (char& c : out)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return out;
}

class Printer {
 public:
  Printer(IStoreSearch* search, std::vector<ColumnName> columns) : search_(search), columns_(std::move(columns)) {}

  DWORD needs() const {
    DWORD bits = 0;
    for (const ColumnName& c : columns_) bits |= c.needs;
    return bits;
  }

  void Print(const STORESEARCHROW& row) {
    std::string line;
    for (size_t i = 0; i < columns_.size(); ++i) line += (i ? "\t" : "") + Value(columns_[i].column, row);
    printf("%s\n", line.c_str());
  }

 private:
  std::string Value(Column column, const STORESEARCHROW& row) {
    switch (column) {
      case Column::kId: return "#" + std::to_string(row.idMessage);
      case Column::kFolder: return FolderPath(row.idFolder);
      case Column::kSubject: return Text(row.bstrSubject);
      case Column::kFrom: return Text(row.bstrFrom);
      case Column::kFromAddress: return Text(row.bstrFromAddress);
      case Column::kTo: return Text(row.bstrTo);
      case Column::kDate: return IsoTime(row.ftSent);
      case Column::kReceived: return IsoTime(row.ftReceived);
      case Column::kSize: return std::to_string(row.cbMessage);
      case Column::kUnread: return (row.dwState & MSG_UNREAD) ? "1" : "0";
      case Column::kFlagged: return (row.dwState & kFlagged) ? "1" : "0";
      case Column::kAttachments: return std::to_string(row.cAttachments);
      case Column::kMessageId: return Text(row.bstrMessageId);
    }
    return "";
  }

  std::string FolderPath(STOREFOLDERID id) {
    auto it = folders_.find(id);
    if (it != folders_.end()) return it->second;
    pelkary::unique_bstr path;
    search_->GetFolderPath(id, path.put());
    return folders_[id] = pelkary::bstr_to_ansi(path.get());
  }

  IStoreSearch* search_;
  std::vector<ColumnName> columns_;
  std::map<STOREFOLDERID, std::string> folders_;
};

// The rows' strings, freed when the page is done with.
struct PageRows {
  STORESEARCHROW rows[kPage] = {};
  DWORD count = 0;
  ~PageRows() {
    for (DWORD i = 0; i < count; ++i)
      for (BSTR s : {rows[i].bstrSubject, rows[i].bstrFrom, rows[i].bstrFromAddress, rows[i].bstrTo, rows[i].bstrCc,
                     rows[i].bstrMessageId})
        pelkary::unique_bstr freed(s);
  }
};

pelkary::com_ptr<IStoreSearch> SearchOf(StoreClient& client) {
  pelkary::com_ptr<IStoreSearch> search;
  if (FAILED(client.ns()->QueryInterface(IID_IStoreSearch, search.put_void())))
    Fail("this mail store server cannot search; install the one beside the tool");
  return search;
}

// Reindex's progress: "reindexing: N of M (P%)" on standard error, rewritten in place.
class ProgressLine final : public pelkary::ComObject<ProgressLine, IProgressNotify> {
 public:
  static constexpr wchar_t kClassName[] = L"ProgressLine";
  STDMETHODIMP OnProgress(DWORD done, DWORD total, BOOL, BOOL) override {
    total_ = total;
    if (total >= 100 && (done == total || done - shown_ >= total / 100)) {
      fprintf(stderr, "\rreindexing: %lu of %lu (%lu%%)", done, total,
              static_cast<unsigned long>(static_cast<uint64_t>(done) * 100 / total));
      shown_ = done;
      line_ = true;
    }
    return S_OK;
  }
  DWORD total() const { return total_; }
  void End() {
    if (line_) fputc('\n', stderr);
  }

 private:
  DWORD total_ = 0, shown_ = 0;
  bool line_ = false;
};

}  // namespace

void SearchCommands::CheckSearch(const Arguments& a, const std::string& usage) {
  if (a.flag(L"--count") && a.value(L"--columns")) Misuse("--count prints the number alone, without columns; " + usage);
  if (const std::wstring* list = a.value(L"--columns")) ParseColumns(*list);
  ParseLimit(a.value(L"--limit"));
}

int SearchCommands::Search(StoreClient& client, const Arguments& a) {
  std::wstring query;
  for (const std::wstring& word : a.words) query += (query.empty() ? L"" : L" ") + word;
  pelkary::com_ptr<IStoreSearch> search = SearchOf(client);
  const bool count_only = a.flag(L"--count");
  pelkary::com_ptr<IStoreSearchResult> result;
  pelkary::unique_bstr error;
  HRESULT hr = search->Search(query.c_str(), count_only ? STORESEARCH_COUNTONLY : 0, ParseLimit(a.value(L"--limit")),
                              result.put(), error.put());
  if (hr == STORE_E_BADQUERY) Misuse("bad query: " + pelkary::bstr_to_ansi(error.get()));
  if (FAILED(hr)) Fail("cannot search the store (" + ToolText::Hresult(hr) + "); run 'mxstore check'");
  if (count_only) {
    DWORD count = 0;
    result->GetCount(&count);
    printf("%lu\n", count);
    return 0;
  }
  Printer printer(search.get(), ParseColumns(a.value(L"--columns") ? *a.value(L"--columns") : kDefaultColumns));
  for (DWORD first = 0;; first += kPage) {
    PageRows page;
    hr = result->GetRows(first, kPage, printer.needs(), page.rows, &page.count);
    if (FAILED(hr)) Fail("cannot read the messages found (" + ToolText::Hresult(hr) + "); run 'mxstore check'");
    for (DWORD i = 0; i < page.count; ++i) printer.Print(page.rows[i]);
    if (hr == S_FALSE) return 0;
  }
}

int SearchCommands::Reindex(StoreClient& client, const Arguments&) {
  pelkary::com_ptr<IStoreSearch> search = SearchOf(client);
  pelkary::com_ptr<ProgressLine> progress = ProgressLine::Make();
  HRESULT hr = search->Reindex(progress.get());
  progress->End();
  if (FAILED(hr)) Fail("cannot rebuild the search index (" + ToolText::Hresult(hr) + "); run 'mxstore check'");
  printf("rebuilt the search index of %s\n", ToolText::Plural(progress->total(), "message").c_str());
  return 0;
}

}  // namespace mxstore

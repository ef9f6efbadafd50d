#include "store_search.h"

#include <map>

#include "comsupport/error_boundary.h"
#include "comsupport/text.h"
#include "mailsearch/query.h"
#include "store_folder_paths.h"
#include "store_search_result.h"

namespace mailstore_com {
namespace {

// Now, and the local offset from UTC, for the query's relative dates and local days.
mailsearch::QueryContext Now() {
  FILETIME utc, local;
  GetSystemTimeAsFileTime(&utc);
  FileTimeToLocalFileTime(&utc, &local);
  const auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  mailsearch::QueryContext context;
  context.now = ticks(utc);
  context.utc_offset_minutes =
      static_cast<int32_t>((static_cast<int64_t>(ticks(local)) - static_cast<int64_t>(context.now)) / 600000000);
  return context;
}

// Resolves every folder:NAME of |node| into |folders|; the first path that names no folder in
// |missing|.
void ResolveFolders(const mailsearch::QueryNode& node, StoreFolderPaths& paths,
                    std::map<std::string, uint32_t>* folders, std::string* missing) {
  if (node.kind == mailsearch::QueryNode::Kind::kFolderPath && !folders->count(node.text)) {
    const uint32_t id = paths.FindUtf8(node.text);
    if (id == FOLDERID_INVALID || id == FOLDERID_ROOT) {
      if (missing->empty()) *missing = node.text;
    } else {
      (*folders)[node.text] = id;
    }
  }
  for (const auto& child : node.children) ResolveFolders(child, paths, folders, missing);
}

HRESULT BadQuery(const std::string& message, BSTR* error, const wchar_t* source) {
  const std::wstring text = pelkary::utf8_to_wide(message);
  if (error) *error = pelkary::make_bstr(text).release();
  return pelkary::set_error_object(STORE_E_BADQUERY, text.c_str(), source, IID_IStoreSearch, nullptr, 0);
}

}  // namespace

HRESULT StoreSearch::Search(const Connection& conn, LPCWSTR query, DWORD flags, DWORD limit,
                            IStoreSearchResult** result, BSTR* error, const wchar_t* source) {
  const mailsearch::QueryContext context = Now();
  mailsearch::QueryNode root;
  mailsearch::QueryError parse_error;
  if (!mailsearch::ParseQuery(pelkary::to_utf8(query), context, &root, &parse_error))
    return BadQuery(parse_error.message, error, source);
  StoreFolderPaths paths(conn->store());
  std::map<std::string, uint32_t> folders;
  std::string missing;
  ResolveFolders(root, paths, &folders, &missing);
  if (!missing.empty()) return BadQuery("folder:" + missing + " names no folder in the store", error, source);

  mailsearch::SearchOptions options;
  options.context = context;
  options.count_only = (flags & STORESEARCH_COUNTONLY) != 0;
  options.limit = limit;
  options.resolve_folder = [&folders](std::string_view path, uint32_t* folder) {
    auto it = folders.find(std::string(path));
    if (it == folders.end()) return false;
    *folder = it->second;
    return true;
  };
  mailsearch::SearchResult found;
  if (conn->search_index().Search(root, options, &found) != mailsearch::SearchStatus::kOk) return STG_E_READFAULT;
  *result = StoreSearchResult::Make(conn, found.count, std::move(found.hits)).detach();
  return S_OK;
}

HRESULT StoreSearch::GetFolderPath(const Connection& conn, STOREFOLDERID id, BSTR* path) {
  std::wstring text;
  if (!StoreFolderPaths(conn->store()).PathOf(id, &text)) return S_FALSE;
  *path = pelkary::make_bstr(text).release();
  return S_OK;
}

HRESULT StoreSearch::FindFolder(const Connection& conn, LPCWSTR path, STOREFOLDERID* id) {
  const uint32_t found = StoreFolderPaths(conn->store()).Find(path);
  if (found == FOLDERID_INVALID || found == FOLDERID_ROOT) return S_FALSE;
  *id = found;
  return S_OK;
}

HRESULT StoreSearch::Reindex(const Connection& conn, IProgressNotify* progress) {
  const auto report = [progress](uint64_t done, uint64_t total) {
    if (progress)
      progress->OnProgress(static_cast<DWORD>(std::min<uint64_t>(done, MAXDWORD)),
                           static_cast<DWORD>(std::min<uint64_t>(total, MAXDWORD)), TRUE, TRUE);
  };
  return conn->search_index().Reindex(report) == mailsearch::SearchStatus::kOk ? S_OK : STG_E_READFAULT;
}

bool StoreSearch::Check(const std::wstring& directory, std::vector<std::string>* findings) {
  HRESULT hr = S_OK;
  const Connection conn = StoreConnection::Open(directory, false, &hr);
  return !conn || conn->search_index().Check(findings);
}

}  // namespace mailstore_com

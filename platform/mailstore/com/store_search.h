// StoreSearch: the work behind IStoreSearch (see store_api.idl), which the namespace object
// serves; each function runs on the namespace's open connection, inside its error boundary, and
// returns the method's HRESULT. The index is the connection's, one per store and process.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "store_api.h"
#include "store_connection.h"

namespace mailstore_com {

class StoreSearch {
 public:
  using Connection = std::shared_ptr<StoreConnection>;

  // Pointers and flags are checked by the caller. A malformed query (or a folder:NAME that names
  // no folder) gives STORE_E_BADQUERY with the message in *error (when not null) and in the
  // thread's error object, from |source|.
  static HRESULT Search(const Connection& conn, LPCWSTR query, DWORD flags, DWORD limit,
                        IStoreSearchResult** result, BSTR* error, const wchar_t* source);
  static HRESULT GetFolderPath(const Connection& conn, STOREFOLDERID id, BSTR* path);
  static HRESULT FindFolder(const Connection& conn, LPCWSTR path, STOREFOLDERID* id);
  static HRESULT Reindex(const Connection& conn, IProgressNotify* progress);
  // Appends the index's findings (one line each) for the store in |directory|, when the store
  // opens; false when the index is damaged.
  static bool Check(const std::wstring& directory, std::vector<std::string>* findings);
};

}  // namespace mailstore_com

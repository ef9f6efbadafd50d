// StoreClient: the tool's connection to mailstore.dll through its COM
// interfaces: by class id when the server is registered, else straight from
// the mailstore.dll beside the tool.
#pragma once

#include <windows.h>

#include <string>

#include "comsupport/com_ptr.h"
#include "comsupport/unique_any.h"
#include "store_api.h"

namespace mxstore {

class StoreClient {
 public:
  // Connects and initialises the store (|directory| overrides the usual
  // location when not empty). On failure returns false with a one-line
  // message in |error|.
  bool Connect(const std::wstring& directory, std::string* error);

  IStoreNamespace* ns() const { return ns_.get(); }

  // Resolves "Inbox", "Inbox/Sub", "/A/B" (names compared without regard to
  // case) or a numeric id. Returns FOLDERID_INVALID when there is none.
  STOREFOLDERID FindFolder(const std::string& path);
  // The folder's path from the root, for messages.
  std::string FolderPath(STOREFOLDERID id);

 private:
  pelkary::unique_hmodule module_;  // loaded directly when not registered; outlives ns_
  pelkary::com_ptr<IStoreNamespace> ns_;
};

}  // namespace mxstore

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

// The lead-byte test of the ANSI code page, for FolderPath: folder paths on the command line
// and the store's folder names are in that code page.
bool IsAnsiLeadByte(unsigned char c);

class StoreClient {
 public:
  // Connects and initialises the store (|directory| overrides the usual
  // location when not empty); with |initialize| false only connects, for
  // the maintenance of a store that may be damaged. On failure returns
  // false with a one-line message in |error|.
  bool Connect(const std::wstring& directory, std::string* error, bool initialize = true);

  IStoreNamespace* ns() const { return ns_.get(); }

  // Resolves a folder path as FolderPath reads it ("Inbox", "A/B", "#7";
  // names compared without regard to case). A path that is one name of
  // digits names the top-level folder of that name, else (as in older
  // versions) the folder with that id. Returns FOLDERID_ROOT for the top
  // and FOLDERID_INVALID when there is no such folder.
  STOREFOLDERID FindFolder(const std::string& path);
  // The sub-folder of |parent| named |name|, or FOLDERID_INVALID.
  STOREFOLDERID FindChild(STOREFOLDERID parent, const std::string& name);
  // The folder's properties; false when there is no such folder.
  bool GetProps(STOREFOLDERID id, FOLDERPROPS* props);

 private:
  pelkary::unique_hmodule module_;  // loaded directly when not registered; outlives ns_
  pelkary::com_ptr<IStoreNamespace> ns_;
};

}  // namespace mxstore

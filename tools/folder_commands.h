// The store tool's commands on the folder tree: folders, mkdir, and rm and mv of a folder.
#pragma once

#include <string>

#include "arguments.h"
#include "store_client.h"

namespace mxstore {

class FolderCommands {
 public:
  // Each runs one command with the arguments the table checked; the exit code, or ToolFailure.
  static int Folders(StoreClient& client, const Arguments& a);
  static int Mkdir(StoreClient& client, const Arguments& a);
  static int Remove(StoreClient& client, const Arguments& a);  // rm [-r] FOLDER
  static int Move(StoreClient& client, const Arguments& a);    // mv FOLDER NEWPATH

  // The path of folder |id| (escaped as FolderPath reads it), or "" when it is not there.
  static std::string PathOf(IStoreNamespace* ns, STOREFOLDERID id, STOREFOLDERID parent = FOLDERID_ROOT);
};

}  // namespace mxstore

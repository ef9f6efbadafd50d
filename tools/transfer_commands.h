// The store tool's commands that carry mail between files and the store: import and export.
#pragma once

#include "arguments.h"
#include "store_client.h"

namespace mxstore {

class TransferCommands {
 public:
  // Each runs one command with the arguments the table checked; the exit code, or ToolFailure.
  static int Import(StoreClient& client, const Arguments& a);
  static int Export(StoreClient& client, const Arguments& a);
};

}  // namespace mxstore

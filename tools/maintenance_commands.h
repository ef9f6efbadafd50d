// The store tool's commands that look after the store as a whole: check, recover and compact.
#pragma once

#include "arguments.h"
#include "store_client.h"

namespace mxstore {

class MaintenanceCommands {
 public:
  // Each runs one command with the arguments the table checked; the exit code, or ToolFailure.
  // check and recover take a store that is connected but not opened (it may be damaged).
  static int Check(StoreClient& client, const Arguments& a);  // 1 when there are findings
  static int Recover(StoreClient& client, const Arguments& a);
  static int Compact(StoreClient& client, const Arguments& a);
};

}  // namespace mxstore

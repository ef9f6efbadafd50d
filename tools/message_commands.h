// The store tool's commands on messages: list, cat, find, and rm and mv of messages.
#pragma once

#include "arguments.h"
#include "store_client.h"

namespace mxstore {

class MessageCommands {
 public:
  // Each runs one command with the arguments the table checked; the exit code, or ToolFailure.
  static int List(StoreClient& client, const Arguments& a);
  static int Cat(StoreClient& client, const Arguments& a);
  // "FOLDER ID" of the message stored last with that Message-ID; 1 when none has it.
  static int Find(StoreClient& client, const Arguments& a);
  static int Remove(StoreClient& client, const Arguments& a);  // rm FOLDER ID...
  static int Move(StoreClient& client, const Arguments& a);    // mv FOLDER ID... TOFOLDER
};

}  // namespace mxstore

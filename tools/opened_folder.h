// A folder that a command names, opened, with what the tool's messages need to name it and its
// messages; and the message reads that every command checks.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "comsupport/com_ptr.h"
#include "store_api.h"
#include "store_client.h"

namespace mxstore {

// A message as the folder lists it.
struct ListedMessage {
  MESSAGEID id;
  DWORD state;
  DWORD size;
  FILETIME sent;
  std::string from, subject;
};

class OpenedFolder {
 public:
  // Opens the folder |text| names (FolderPath syntax); fails the command when there is no such
  // folder or it is the top of the store.
  static OpenedFolder Open(StoreClient& client, const std::wstring& text);

  // A message id as typed: 1 to 10 digits, below MESSAGEID_INVALID; else a wrong command line.
  static MESSAGEID ParseMessageId(const std::wstring& text);

  IStoreFolder* folder() const { return folder_.get(); }
  const FOLDERPROPS& props() const { return props_; }
  const std::string& arg() const { return arg_; }  // as typed
  // Lets the store delete or rename the folder: no object of it stays open.
  void Close() { folder_ = nullptr; }

  // Every message, in the folder's order; fails the command when the store cannot list them.
  std::vector<ListedMessage> List() const;
  // The ids of |texts|, each checked to be a message of the folder, sorted, without repeats.
  std::vector<MESSAGEID> CheckedIds(const std::vector<std::wstring>& texts) const;
  // The whole source of message |id| into |out|. False when the message is not there (any
  // more); a source that cannot be read whole fails the command with a line naming it.
  bool ReadSource(MESSAGEID id, std::string* out) const;
  // "no message 9 in 'Box'; ..."
  std::string NoMessage(MESSAGEID id) const;
  // "message 9 of 'Box'", for failures about one message.
  std::string Name(MESSAGEID id) const;

 private:
  pelkary::com_ptr<IStoreFolder> folder_;
  FOLDERPROPS props_ = {};
  std::string arg_;
};

}  // namespace mxstore

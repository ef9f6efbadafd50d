#include "message_commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "comsupport/com_ptr.h"
#include "file_bytes.h"
#include "folder_commands.h"
#include "opened_folder.h"
#include "tool_failure.h"
#include "tool_text.h"

namespace mxstore {

int MessageCommands::List(StoreClient& client, const Arguments& a) {
  OpenedFolder f = OpenedFolder::Open(client, a.words[0]);
  for (const auto& m : f.List()) {
    SYSTEMTIME st = {};
    FileTimeToSystemTime(&m.sent, &st);
    printf("%6lu %c %8lu  %04u-%02u-%02u %02u:%02u  %-24.24s  %s\n", m.id, (m.state & MSG_UNREAD) ? 'U' : ' ',
           m.size, st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, m.from.c_str(), m.subject.c_str());
  }
  return 0;
}

int MessageCommands::Cat(StoreClient& client, const Arguments& a) {
  OpenedFolder f = OpenedFolder::Open(client, a.words[0]);
  MESSAGEID id = OpenedFolder::ParseMessageId(a.words[1]);
  std::string source;
  if (!f.ReadSource(id, &source)) Fail(f.NoMessage(id));
  // Straight to the handle: the C library's stream reports a failed write to some devices as done.
  if (FileBytes::WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), source) != source.size())
    Fail("cannot write " + f.Name(id) + " to standard output whole; check where it goes (a full disk?)");
  return 0;
}

int MessageCommands::Find(StoreClient& client, const Arguments& a) {
  const std::string message_id = ToolText::Ansi(a.words[0]);
  pelkary::com_ptr<IStoreIndex> index;
  if (FAILED(client.ns()->QueryInterface(IID_IStoreIndex, index.put_void())))
    Fail("this mail store server keeps no Message-ID index; install the one beside the tool");
  STOREFOLDERID folder = FOLDERID_INVALID;
  MESSAGEID id = MESSAGEID_INVALID;
  HRESULT hr = index->FindMessageId(message_id.c_str(), &folder, &id);
  if (FAILED(hr)) Fail("cannot search the store (" + ToolText::Hresult(hr) + "); check the disk");
  if (hr == S_FALSE) {
    fprintf(stderr, "mxstore: no message has the Message-ID '%s'\n", message_id.c_str());
    return 1;
  }
  printf("%s %lu\n", FolderCommands::PathOf(client.ns(), folder).c_str(), id);
  return 0;
}

int MessageCommands::Remove(StoreClient& client, const Arguments& a) {
  OpenedFolder f = OpenedFolder::Open(client, a.words[0]);
  std::vector<MESSAGEID> ids = f.CheckedIds(a.rest(1));
  MESSAGEIDLIST list = {sizeof(list), static_cast<DWORD>(ids.size()), ids.data()};
  HRESULT hr = f.folder()->DeleteMessages(&list, 0, nullptr);
  if (FAILED(hr))
    Fail("cannot delete from '" + f.arg() + "' (" + ToolText::Hresult(hr) + "); nothing was deleted");
  if (f.props().sfType == FOLDER_DELETED) {
    printf("deleted %s for good\n", ToolText::Plural(ids.size(), "message").c_str());
  } else {
    FOLDERPROPS bin = {};
    pelkary::com_ptr<IStoreFolder> deleted;
    bin.cbSize = sizeof(bin);
    if (SUCCEEDED(client.ns()->OpenSpecialFolder(FOLDER_DELETED, 0, deleted.put())))
      deleted->GetFolderProps(0, &bin);
    printf("moved %s into %s\n", ToolText::Plural(ids.size(), "message").c_str(), bin.szName);
  }
  return 0;
}

int MessageCommands::Move(StoreClient& client, const Arguments& a) {
  OpenedFolder from = OpenedFolder::Open(client, a.words.front());
  OpenedFolder dest = OpenedFolder::Open(client, a.words.back());
  std::vector<MESSAGEID> ids =
      from.CheckedIds(std::vector<std::wstring>(a.words.begin() + 1, a.words.end() - 1));
  if (from.props().dwFolderId == dest.props().dwFolderId)
    Fail("the messages are in '" + dest.arg() + "' already; name another folder to move them to");
  MESSAGEIDLIST list = {sizeof(list), static_cast<DWORD>(ids.size()), ids.data()};
  HRESULT hr = client.ns()->CopyMoveMessages(from.folder(), dest.folder(), &list, CMF_MOVE, 0, nullptr);
  if (FAILED(hr)) Fail("cannot move the messages (" + ToolText::Hresult(hr) + "); nothing was moved");
  printf("moved %s into %s\n", ToolText::Plural(ids.size(), "message").c_str(), dest.props().szName);
  return 0;
}

}  // namespace mxstore

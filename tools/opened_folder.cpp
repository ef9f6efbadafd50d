#include "opened_folder.h"

#include <algorithm>

#include "comsupport/stream_io.h"
#include "comsupport/unique_henumstore.h"
#include "tool_failure.h"
#include "tool_text.h"

namespace mxstore {

OpenedFolder OpenedFolder::Open(StoreClient& client, const std::wstring& text) {
  OpenedFolder f;
  f.arg_ = ToolText::Ansi(text);
  STOREFOLDERID id = client.FindFolder(f.arg_);
  if (id == FOLDERID_INVALID || id == FOLDERID_ROOT || !client.GetProps(id, &f.props_))
    Fail("no folder '" + f.arg_ + "' in the store; 'mxstore folders' lists them");
  HRESULT hr = client.ns()->OpenFolder(id, 0, f.folder_.put());
  if (FAILED(hr))
    Fail("cannot open folder '" + f.arg_ + "' (" + ToolText::Hresult(hr) + "); check the store");
  return f;
}

MESSAGEID OpenedFolder::ParseMessageId(const std::wstring& text) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of(L"0123456789") != std::wstring::npos ||
      std::stoull(text) >= MESSAGEID_INVALID)
    Misuse("'" + ToolText::Ansi(text) + "' is not a message id; use the numbers 'mxstore list FOLDER' shows");
  return static_cast<MESSAGEID>(std::stoul(text));
}

std::vector<ListedMessage> OpenedFolder::List() const {
  std::vector<ListedMessage> out;
  MESSAGEPROPS p = {};
  p.cbSize = sizeof(p);
  pelkary::unique_henumstore<IStoreFolder> e;
  HRESULT hr = folder_->GetFirstMessage(0, 0, MESSAGEID_FIRST, &p, e.put(folder_.get()));
  while (hr == S_OK) {
    out.push_back({p.dwMessageId, p.dwState, p.cbMessage, p.ftSent,
                   p.pszDisplayFrom ? p.pszDisplayFrom : "", p.pszSubject ? p.pszSubject : ""});
    folder_->FreeMessageProps(&p);
    hr = folder_->GetNextMessage(e.get(), 0, &p);
  }
  if (FAILED(hr))
    Fail("cannot list the messages of '" + arg_ + "' (" + ToolText::Hresult(hr) +
         "); run 'mxstore check'");
  return out;
}

std::vector<MESSAGEID> OpenedFolder::CheckedIds(const std::vector<std::wstring>& texts) const {
  std::vector<MESSAGEID> ids;
  for (const auto& t : texts) ids.push_back(ParseMessageId(t));
  for (MESSAGEID id : ids) {
    MESSAGEPROPS p = {};
    p.cbSize = sizeof(p);
    if (FAILED(folder_->GetMessageProps(id, MSGPROPS_FAST, &p))) Fail(NoMessage(id));
    folder_->FreeMessageProps(&p);
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

bool OpenedFolder::ReadSource(MESSAGEID id, std::string* out) const {
  out->clear();
  pelkary::com_ptr<IStream> stream;
  HRESULT hr = folder_->OpenMessage(id, IID_IStream, stream.put_void());
  if (hr == HRESULT_FROM_WIN32(ERROR_NOT_FOUND)) return false;
  if (SUCCEEDED(hr)) hr = pelkary::read_to_end(stream.get(), out);
  if (SUCCEEDED(hr)) {
    // A read cut short by the disk ends like a whole one: only the size the store recorded
    // tells them apart.
    STATSTG st = {};
    if (SUCCEEDED(stream->Stat(&st, STATFLAG_NONAME)) && st.cbSize.QuadPart != out->size())
      hr = STG_E_READFAULT;
  }
  if (FAILED(hr))
    Fail("cannot read " + Name(id) + " (" + ToolText::Hresult(hr) + "); nothing of it was written; run "
         "'mxstore check'");
  return true;
}

std::string OpenedFolder::NoMessage(MESSAGEID id) const {
  return "no message " + std::to_string(id) + " in '" + arg_ + "'; 'mxstore list " + arg_ + "' shows the ids";
}

std::string OpenedFolder::Name(MESSAGEID id) const {
  return "message " + std::to_string(id) + " of '" + arg_ + "'";
}

}  // namespace mxstore

#include "store_folder.h"

#include <cstring>

#include "comsupport/com_ptr.h"
#include "comsupport/stream_io.h"
#include "comsupport/unique_cotaskmem.h"
#include "enum_handles.h"
#include "message_stream.h"
#include "mime_api.h"
#include "record_builder.h"

namespace mailstore_com {
namespace {

using pelkary::com_ptr;

EnumHandles<mailstore::MessageRecordPtr>& MessageWalks() {
  static auto* walks = new EnumHandles<mailstore::MessageRecordPtr>();
  return *walks;
}

// The largest source the store keeps: its size is 32-bit.
constexpr size_t kLargestSource = 0xFFFFFFF0u;

// The four strings of a record share one task-memory block that starts at
// pszSubject; FreeMessageProps frees that block.
bool AllocRecordStrings(const mailstore::MessageRecord& r, MESSAGEPROPS* out) {
  std::string_view parts[4] = {r.subject(), r.display_to(), r.display_from(), r.normalized_subject()};
  size_t total = 0;
  for (auto part : parts) total += part.size() + 1;
  auto* block = static_cast<char*>(CoTaskMemAlloc(total));
  if (!block) return false;
  LPSTR* slots[4] = {&out->pszSubject, &out->pszDisplayTo, &out->pszDisplayFrom, &out->pszNormalSubject};
  char* at = block;
  for (int i = 0; i < 4; ++i) {
    memcpy(at, parts[i].data(), parts[i].size());
    at[parts[i].size()] = '\0';
    *slots[i] = at;
    at += parts[i].size() + 1;
  }
  return true;
}

FILETIME ToFiletime(uint64_t ticks) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

HRESULT FillMessageProps(const mailstore::MessageRecord& r, MESSAGEPROPS* p) {
  MESSAGEPROPS out = {};
  out.cbSize = sizeof(MESSAGEPROPS);
  out.dwMessageId = r.id;
  out.dwState = r.flags;
  // The record's flags are the message's state: a copy made with the complement of them as the
  // flags to remove keeps exactly the state the message had.
  out.dwFlags = r.flags;
  out.cbMessage = r.size;
  out.priority = static_cast<IMSGPRIORITY>(r.priority);
  out.ftReceived = ToFiletime(r.received_time);
  out.ftSent = ToFiletime(r.sent_time ? r.sent_time : r.received_time);
  if (!AllocRecordStrings(r, &out)) return E_OUTOFMEMORY;
  *p = out;
  return S_OK;
}

// Every byte of a stream that is not ours, from its start.
HRESULT ReadWholeStream(IStream* stream, std::string* out) {
  LARGE_INTEGER zero = {};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  return pelkary::read_to_end(stream, out, kLargestSource);
}

}  // namespace

HRESULT FillFolderProps(const mailstore::FolderInfo& info, FOLDERPROPS* props) {
  if (!props) return E_POINTER;
  if (props->cbSize != sizeof(FOLDERPROPS)) return E_INVALIDARG;
  props->dwFolderId = info.id;
  props->cSubFolders = info.subfolder_count;
  props->sfType = static_cast<SPECIALFOLDER>(info.special);
  props->cUnread = info.unread_count;
  props->cMessage = info.message_count;
  size_t n = std::min<size_t>(info.name.size(), CCHMAX_FOLDER_NAME - 1);
  memcpy(props->szName, info.name.data(), n);
  props->szName[n] = '\0';
  return S_OK;
}

bool ReadIdList(const MESSAGEIDLIST* list, std::vector<uint32_t>* ids) {
  // Callers fill cbSize with the record's size on their own target; accept
  // the 32-bit layout's 12 as well. The layout of the fields is the same.
  if (!list || (list->cbSize != sizeof(MESSAGEIDLIST) && list->cbSize != 12)) return false;
  if (list->cMsgs && !list->prgdwMsgId) return false;
  if (list->cMsgs > 10000000) return false;
  ids->assign(list->prgdwMsgId, list->prgdwMsgId + list->cMsgs);
  return true;
}

StoreFolder::StoreFolder(std::shared_ptr<StoreConnection> conn, uint32_t folder)
    : conn_(std::move(conn)), folder_(folder) {}

StoreFolder::~StoreFolder() { conn_->UnregisterAll(this); }

STDMETHODIMP StoreFolder::GetFolderProps(DWORD, FOLDERPROPS* pProps) {
  if (!pProps) return E_POINTER;
  return Guard(L"GetFolderProps", [&]() -> HRESULT {
    mailstore::FolderInfo info;
    mailstore::Status s = conn_->store().GetFolder(folder_, &info);
    if (s != mailstore::Status::kOk) return StatusToHresult(s);
    return FillFolderProps(info, pProps);
  });
}

STDMETHODIMP StoreFolder::GetMessageProps(MESSAGEID dwMessageId, DWORD, MESSAGEPROPS* pProps) {
  if (!pProps) return E_POINTER;
  if (pProps->cbSize != sizeof(MESSAGEPROPS)) return E_INVALIDARG;
  return Guard(L"GetMessageProps", [&]() -> HRESULT {
    mailstore::MessageRecordPtr r;
    mailstore::Status s = conn_->store().FindMessage(folder_, dwMessageId, &r);
    if (s != mailstore::Status::kOk) return StatusToHresult(s);
    return FillMessageProps(*r, pProps);
  });
}

STDMETHODIMP StoreFolder::FreeMessageProps(MESSAGEPROPS* pProps) {
  if (!pProps) return E_POINTER;
  if (pProps->cbSize != sizeof(MESSAGEPROPS)) return E_INVALIDARG;
  pelkary::unique_cotaskmem<char> block(pProps->pszSubject);
  pProps->pszSubject = pProps->pszDisplayTo = pProps->pszDisplayFrom = pProps->pszNormalSubject = nullptr;
  return S_OK;
}

STDMETHODIMP StoreFolder::DeleteMessages(MESSAGEIDLIST* pMsgIdList, DWORD, IProgressNotify*) {
  return Guard(L"DeleteMessages", [&]() -> HRESULT {
    std::vector<uint32_t> ids;
    if (!ReadIdList(pMsgIdList, &ids)) return E_INVALIDARG;
    mailstore::Status s = conn_->store().DeleteMessages(folder_, ids);
    if (s == mailstore::Status::kOk) conn_->SignalChange();
    return StatusToHresult(s);
  });
}

STDMETHODIMP StoreFolder::SetLanguage(DWORD, DWORD, MESSAGEIDLIST*) { return E_NOTIMPL; }

STDMETHODIMP StoreFolder::MarkMessagesAsRead(BOOL fRead, DWORD, MESSAGEIDLIST* pMsgIdList) {
  return ChangeFlags(L"MarkMessagesAsRead", pMsgIdList, fRead ? 0 : MSG_UNREAD, MSG_UNREAD, nullptr);
}

STDMETHODIMP StoreFolder::SetFlags(MESSAGEIDLIST* pMsgIdList, DWORD dwState, DWORD dwStatemask,
                                   DWORD* prgdwNewFlags) {
  return ChangeFlags(L"SetFlags", pMsgIdList, dwState, dwStatemask, prgdwNewFlags);
}

HRESULT StoreFolder::ChangeFlags(const wchar_t* method, const MESSAGEIDLIST* list, DWORD state, DWORD mask,
                                 DWORD* new_flags) {
  return Guard(method, [&]() -> HRESULT {
    std::vector<uint32_t> ids, flags;
    if (!ReadIdList(list, &ids)) return E_INVALIDARG;
    mailstore::Status s = conn_->store().SetFlags(folder_, ids, state, mask, new_flags ? &flags : nullptr);
    if (s != mailstore::Status::kOk) return StatusToHresult(s);
    conn_->SignalChange();
    for (size_t i = 0; i < flags.size(); ++i) new_flags[i] = flags[i];
    return S_OK;
  });
}

STDMETHODIMP StoreFolder::OpenMessage(MESSAGEID dwMessageId, REFIID riid, void** ppvObject) {
  if (!ppvObject) return E_POINTER;
  *ppvObject = nullptr;
  return Guard(L"OpenMessage", [&]() -> HRESULT {
    mailstore::MessageRecordPtr r;
    mailstore::Status s = conn_->store().FindMessage(folder_, dwMessageId, &r);
    if (s != mailstore::Status::kOk) return StatusToHresult(s);

    if (riid == IID_IStream || riid == IID_ISequentialStream || riid == IID_IUnknown)
      return MessageStream::Source(conn_, r)->QueryInterface(riid, ppvObject);
    if (riid != IID_IMimeMessage) return E_NOINTERFACE;

    com_ptr<IMimeMessage> message;
    HRESULT hr = CoCreateInstance(CLSID_IMimeMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeMessage,
                                  message.put_void());
    if (FAILED(hr)) return hr;
    com_ptr<MessageStream> stream;
    hr = MessageStream::Bound(conn_, folder_, r, &stream);
    if (FAILED(hr)) return hr;
    // The message keeps the stream as its storage; its commit with
    // COMMIT_REUSESTORAGE writes back through MessageStream::Commit.
    hr = message->Load(stream.get());
    if (FAILED(hr)) return hr;
    *ppvObject = message.detach();
    return S_OK;
  });
}

HRESULT StoreFolder::StoreSource(uint32_t id, const std::string& source, DWORD flags, MESSAGEID* out) {
  uint32_t new_id = mailstore::kInvalidId;
  mailstore::Status s =
      conn_->store().AddMessage(folder_, id, source, flags, BuildRecordFields(source), &new_id);
  if (s != mailstore::Status::kOk) return StatusToHresult(s);
  conn_->SignalChange();
  if (out) *out = new_id;
  return S_OK;
}

STDMETHODIMP StoreFolder::SaveMessage(REFIID riid, void* pvObject, DWORD dwMsgFlags,
                                      MESSAGEID* pdwMessageId) {
  if (!pvObject) return E_INVALIDARG;
  return Guard(L"SaveMessage", [&]() -> HRESULT {
    std::string source;
    if (riid == IID_IStream) {
      HRESULT hr = ReadWholeStream(static_cast<IStream*>(pvObject), &source);
      if (FAILED(hr)) return hr;
    } else if (riid == IID_IMimeMessage) {
      com_ptr<IPersistStreamInit> persist;
      HRESULT hr = static_cast<IUnknown*>(pvObject)->QueryInterface(IID_IPersistStreamInit, persist.put_void());
      if (FAILED(hr)) return hr;
      com_ptr<IStream> buffer;
      hr = CreateStreamOnHGlobal(nullptr, TRUE, buffer.put());
      if (FAILED(hr)) return hr;
      hr = persist->Save(buffer.get(), FALSE);
      if (FAILED(hr)) return hr;
      hr = ReadWholeStream(buffer.get(), &source);
      if (FAILED(hr)) return hr;
    } else {
      return E_NOINTERFACE;
    }
    return StoreSource(mailstore::kInvalidId, source, dwMsgFlags, pdwMessageId);
  });
}

STDMETHODIMP StoreFolder::BatchLock(DWORD, HBATCHLOCK* phBatchLock) {
  if (!phBatchLock) return E_POINTER;
  // Every call is its own transaction; the handle only pairs the calls.
  *phBatchLock = reinterpret_cast<HBATCHLOCK>(this);
  return S_OK;
}

STDMETHODIMP StoreFolder::BatchFlush(DWORD, HBATCHLOCK) { return S_OK; }
STDMETHODIMP StoreFolder::BatchUnlock(DWORD, HBATCHLOCK) { return S_OK; }

STDMETHODIMP StoreFolder::CreateStream(HBATCHLOCK, DWORD, IStream** ppStream, MESSAGEID* pdwMessageId) {
  if (!ppStream || !pdwMessageId) return E_POINTER;
  *ppStream = nullptr;
  return Guard(L"CreateStream", [&]() -> HRESULT {
    uint32_t id;
    mailstore::Status s = conn_->store().ReserveMessageId(folder_, &id);
    if (s != mailstore::Status::kOk) return StatusToHresult(s);
    *ppStream = MessageStream::New(folder_, id).detach();
    *pdwMessageId = id;
    return S_OK;
  });
}

STDMETHODIMP StoreFolder::CommitStream(HBATCHLOCK, DWORD dwFlags, DWORD dwMsgFlags, IStream* pStream,
                                       MESSAGEID dwMessageId, IMimeMessage*) {
  if (!pStream) return E_INVALIDARG;
  if (dwFlags & COMMITSTREAM_REVERT) return S_OK;
  return Guard(L"CommitStream", [&]() -> HRESULT {
    com_ptr<IStream> ours;
    if (SUCCEEDED(pStream->QueryInterface(IID_MessageStreamPrivate, ours.put_void()))) {
      auto* stream = static_cast<MessageStream*>(ours.get());
      if (stream->kind() != MessageStream::Kind::kNew || stream->folder() != folder_ ||
          stream->message_id() != dwMessageId)
        return E_INVALIDARG;
      return StoreSource(dwMessageId, stream->buffer(), dwMsgFlags, nullptr);
    }
    std::string source;
    HRESULT hr = ReadWholeStream(pStream, &source);
    if (FAILED(hr)) return hr;
    return StoreSource(dwMessageId, source, dwMsgFlags, nullptr);
  });
}

STDMETHODIMP StoreFolder::RegisterNotification(DWORD, HWND hwnd) {
  if (!hwnd || !IsWindow(hwnd)) return E_INVALIDARG;
  return Guard(L"RegisterNotification", [&]() -> HRESULT {
    conn_->Register(this, folder_, hwnd);
    return S_OK;
  });
}

STDMETHODIMP StoreFolder::UnregisterNotification(DWORD, HWND hwnd) {
  return Guard(L"UnregisterNotification", [&]() -> HRESULT {
    return conn_->Unregister(this, hwnd) ? S_OK : E_INVALIDARG;
  });
}

STDMETHODIMP StoreFolder::Compact(DWORD) {
  // The folders share one data file: compacting one compacts them all.
  return Guard(L"Compact", [&]() -> HRESULT { return StatusToHresult(conn_->store().Compact()); });
}

STDMETHODIMP StoreFolder::GetFirstMessage(DWORD, DWORD, MESSAGEID dwMsgIdFirst, MESSAGEPROPS* pProps,
                                          HENUMSTORE* phEnum) {
  if (!pProps || !phEnum) return E_POINTER;
  *phEnum = nullptr;
  if (pProps->cbSize != sizeof(MESSAGEPROPS)) return E_INVALIDARG;
  return Guard(L"GetFirstMessage", [&]() -> HRESULT {
    std::vector<mailstore::MessageRecordPtr> records;
    uint32_t first = dwMsgIdFirst == MESSAGEID_FIRST ? 0 : dwMsgIdFirst;
    mailstore::Status s = conn_->store().ListMessages(folder_, first, &records);
    if (s != mailstore::Status::kOk) return StatusToHresult(s);
    if (records.empty()) return S_FALSE;
    HRESULT hr = FillMessageProps(*records[0], pProps);
    if (FAILED(hr)) return hr;
    *phEnum = MessageWalks().Open(std::move(records));
    return S_OK;
  });
}

STDMETHODIMP StoreFolder::GetNextMessage(HENUMSTORE hEnum, DWORD, MESSAGEPROPS* pProps) {
  if (!pProps) return E_POINTER;
  if (pProps->cbSize != sizeof(MESSAGEPROPS)) return E_INVALIDARG;
  return Guard(L"GetNextMessage", [&]() -> HRESULT {
    mailstore::MessageRecordPtr r;
    HRESULT hr = MessageWalks().Next(hEnum, &r);
    return hr == S_OK ? FillMessageProps(*r, pProps) : hr;
  });
}

STDMETHODIMP StoreFolder::GetMessageClose(HENUMSTORE hEnum) {
  if (!hEnum) return S_OK;
  return Guard(L"GetMessageClose", [&] { return MessageWalks().Close(hEnum); });
}

}  // namespace mailstore_com

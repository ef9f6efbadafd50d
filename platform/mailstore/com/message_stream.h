// MessageStream: the IStream the store hands out for a message.
//
//  - kSource:  read-only view of a stored source, read from disk on demand.
//  - kNew:     an in-memory stream from CreateStream; CommitStream stores it.
//  - kBound:   a read/write copy of a stored source; IStream::Commit stores
//              its current bytes back under the same message id (this is how
//              a MIME object loaded from the store saves its changes).
// Each stream is used by one thread at a time, like any stream. Every method
// that does any work runs inside the error boundary ("MessageStream.Method").
#pragma once

#include <windows.h>
#include <objidl.h>

#include <memory>
#include <string>

#include "comsupport/com_object.h"
#include "comsupport/com_ptr.h"
#include "mailstore/store.h"

namespace mailstore_com {

class StoreConnection;

// {6C4B0E52-7A1D-4E4B-9C0B-2B5F7E1D3A11}: asks a stream whether it is one of ours.
extern const IID IID_MessageStreamPrivate;

class MessageStream final : public pelkary::ComObject<MessageStream, IStream> {
 public:
  static constexpr wchar_t kClassName[] = L"MessageStream";
  enum class Kind { kSource, kNew, kBound };

  static pelkary::com_ptr<MessageStream> Source(std::shared_ptr<StoreConnection> conn,
                                                mailstore::MessageRecordPtr record);
  static pelkary::com_ptr<MessageStream> New(uint32_t folder, uint32_t reserved_id);
  // STG_E_READFAULT when the stored source cannot be read.
  static HRESULT Bound(std::shared_ptr<StoreConnection> conn, uint32_t folder,
                       mailstore::MessageRecordPtr record, pelkary::com_ptr<MessageStream>* out);

  explicit MessageStream(Kind kind) : kind_(kind) {}

  Kind kind() const { return kind_; }
  uint32_t folder() const { return folder_; }
  uint32_t message_id() const { return message_id_; }
  const std::string& buffer() const { return buffer_; }

  // IUnknown: IStream, ISequentialStream and IID_MessageStreamPrivate.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  // ISequentialStream
  STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override;
  STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
  // IStream
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newpos) override;
  STDMETHODIMP SetSize(ULARGE_INTEGER size) override;
  STDMETHODIMP CopyTo(IStream* dest, ULARGE_INTEGER cb, ULARGE_INTEGER* read,
                      ULARGE_INTEGER* written) override;
  STDMETHODIMP Commit(DWORD flags) override;
  STDMETHODIMP Revert() override;
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
  STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override;
  STDMETHODIMP Clone(IStream** out) override;

 private:
  ~MessageStream() override = default;
  uint64_t size() const;

  Kind kind_;
  std::shared_ptr<StoreConnection> conn_;
  mailstore::MessageRecordPtr record_;  // kSource
  std::unique_ptr<mailstore::Store::SourceReader> reader_;  // kSource, opened on first read
  uint32_t folder_ = mailstore::kInvalidId;
  uint32_t message_id_ = mailstore::kInvalidId;
  std::string buffer_;  // kNew, kBound
  uint64_t position_ = 0;
};

}  // namespace mailstore_com

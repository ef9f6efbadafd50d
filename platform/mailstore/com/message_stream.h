// MessageStream: the IStream the store hands out for a message.
//
//  - kSource:  read-only view of a stored source, read from disk on demand.
//  - kNew:     an in-memory stream from CreateStream; CommitStream stores it.
//  - kBound:   a read/write copy of a stored source; IStream::Commit stores
//              its current bytes back under the same message id (this is how
//              a MIME object loaded from the store saves its changes).
// Each stream is used by one thread at a time, like any stream.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <memory>
#include <string>

#include "mailstore/store.h"

namespace mailstore_com {

class StoreConnection;

// {6C4B0E52-7A1D-4E4B-9C0B-2B5F7E1D3A11}: asks a stream whether it is one of ours.
extern const IID IID_MessageStreamPrivate;

class MessageStream final : public IStream {
 public:
  enum class Kind { kSource, kNew, kBound };

  // Each returns a stream with one reference.
  static MessageStream* CreateSource(std::shared_ptr<StoreConnection> conn,
                                     mailstore::MessageRecordPtr record);
  static MessageStream* CreateNew(uint32_t folder, uint32_t reserved_id);
  static HRESULT CreateBound(std::shared_ptr<StoreConnection> conn, uint32_t folder,
                             mailstore::MessageRecordPtr record, MessageStream** out);

  Kind kind() const { return kind_; }
  uint32_t folder() const { return folder_; }
  uint32_t message_id() const { return message_id_; }
  const std::string& buffer() const { return buffer_; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
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
  explicit MessageStream(Kind kind);
  ~MessageStream();
  uint64_t size() const;

  LONG refs_ = 1;
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

#include "message_stream.h"

#include <algorithm>
#include <cstring>

#include "comsupport/com_ptr.h"
#include "record_builder.h"
#include "store_connection.h"

namespace mailstore_com {

const IID IID_MessageStreamPrivate = {
    0x6c4b0e52, 0x7a1d, 0x4e4b, {0x9c, 0x0b, 0x2b, 0x5f, 0x7e, 0x1d, 0x3a, 0x11}};

namespace {
// A source's size is 32-bit.
constexpr uint64_t kLargestSource = 0xFFFFFFF0u;
}  // namespace

pelkary::com_ptr<MessageStream> MessageStream::Source(std::shared_ptr<StoreConnection> conn,
                                                     mailstore::MessageRecordPtr record) {
  auto s = Make(Kind::kSource);
  s->conn_ = std::move(conn);
  s->message_id_ = record->id;
  s->record_ = std::move(record);
  return s;
}

pelkary::com_ptr<MessageStream> MessageStream::New(uint32_t folder, uint32_t reserved_id) {
  auto s = Make(Kind::kNew);
  s->folder_ = folder;
  s->message_id_ = reserved_id;
  return s;
}

HRESULT MessageStream::Bound(std::shared_ptr<StoreConnection> conn, uint32_t folder,
                             mailstore::MessageRecordPtr record, pelkary::com_ptr<MessageStream>* out) {
  std::string bytes(record->size, '\0');
  if (record->size &&
      conn->store().ReadSource(*record, 0, &bytes[0], bytes.size()) != static_cast<int64_t>(bytes.size()))
    return STG_E_READFAULT;
  auto s = Make(Kind::kBound);
  s->conn_ = std::move(conn);
  s->folder_ = folder;
  s->message_id_ = record->id;
  s->buffer_ = std::move(bytes);
  *out = std::move(s);
  return S_OK;
}

uint64_t MessageStream::size() const {
  return kind_ == Kind::kSource ? record_->size : buffer_.size();
}

STDMETHODIMP MessageStream::QueryInterface(REFIID riid, void** ppv) {
  IStream* self = this;
  return pelkary::query_interface(riid, ppv, {{IID_IUnknown, self},
                                              {IID_ISequentialStream, self},
                                              {IID_IStream, self},
                                              {IID_MessageStreamPrivate, self}});
}

STDMETHODIMP MessageStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
  if (pcbRead) *pcbRead = 0;
  if (!pv && cb) return STG_E_INVALIDPOINTER;
  return Guard(L"Read", [&]() -> HRESULT {
    uint64_t total = size();
    if (position_ >= total || cb == 0) return S_OK;
    ULONG n = static_cast<ULONG>(std::min<uint64_t>(cb, total - position_));
    if (kind_ == Kind::kSource) {
      if (!reader_) {
        auto reader = std::make_unique<mailstore::Store::SourceReader>();
        if (reader->Open(conn_->store(), record_)) reader_ = std::move(reader);
      }
      int64_t got = reader_ ? reader_->ReadAt(position_, pv, n)
                            : conn_->store().ReadSource(*record_, position_, pv, n);
      if (got < 0) return STG_E_READFAULT;
      n = static_cast<ULONG>(got);
    } else {
      memcpy(pv, buffer_.data() + position_, n);
    }
    position_ += n;
    if (pcbRead) *pcbRead = n;
    return S_OK;
  });
}

STDMETHODIMP MessageStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  if (kind_ == Kind::kSource) return STG_E_ACCESSDENIED;
  if (!pv && cb) return STG_E_INVALIDPOINTER;
  if (position_ + cb > kLargestSource) return STG_E_MEDIUMFULL;
  return Guard(L"Write", [&]() -> HRESULT {
    if (buffer_.size() < position_ + cb) buffer_.resize(static_cast<size_t>(position_ + cb));
    if (cb) memcpy(&buffer_[static_cast<size_t>(position_)], pv, cb);
    position_ += cb;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
  });
}

STDMETHODIMP MessageStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newpos) {
  int64_t base;
  switch (origin) {
    case STREAM_SEEK_SET: base = 0; break;
    case STREAM_SEEK_CUR: base = static_cast<int64_t>(position_); break;
    case STREAM_SEEK_END: base = static_cast<int64_t>(size()); break;
    default: return STG_E_INVALIDFUNCTION;
  }
  int64_t target = base + move.QuadPart;
  if (target < 0) return STG_E_INVALIDFUNCTION;
  position_ = static_cast<uint64_t>(target);
  if (newpos) newpos->QuadPart = position_;
  return S_OK;
}

STDMETHODIMP MessageStream::SetSize(ULARGE_INTEGER new_size) {
  if (kind_ == Kind::kSource) return STG_E_ACCESSDENIED;
  if (new_size.QuadPart > kLargestSource) return STG_E_MEDIUMFULL;
  return Guard(L"SetSize", [&]() -> HRESULT {
    buffer_.resize(static_cast<size_t>(new_size.QuadPart));
    return S_OK;
  });
}

STDMETHODIMP MessageStream::CopyTo(IStream* dest, ULARGE_INTEGER cb, ULARGE_INTEGER* read,
                                   ULARGE_INTEGER* written) {
  if (!dest) return STG_E_INVALIDPOINTER;
  return Guard(L"CopyTo", [&]() -> HRESULT {
    uint64_t done_read = 0, done_written = 0;
    std::string chunk(65536, '\0');
    while (done_read < cb.QuadPart) {
      ULONG want = static_cast<ULONG>(std::min<uint64_t>(chunk.size(), cb.QuadPart - done_read));
      ULONG got = 0;
      HRESULT hr = Read(&chunk[0], want, &got);
      if (FAILED(hr)) return hr;
      if (got == 0) break;
      done_read += got;
      ULONG put = 0;
      hr = dest->Write(chunk.data(), got, &put);
      done_written += put;
      if (FAILED(hr)) return hr;
    }
    if (read) read->QuadPart = done_read;
    if (written) written->QuadPart = done_written;
    return S_OK;
  });
}

STDMETHODIMP MessageStream::Commit(DWORD) {
  if (kind_ != Kind::kBound) return S_OK;
  return Guard(L"Commit", [&]() -> HRESULT {
    mailstore::Status s = conn_->store().ReplaceSource(folder_, message_id_, buffer_,
                                                       BuildRecordFields(buffer_));
    if (s == mailstore::Status::kOk) conn_->SignalChange();
    return StatusToHresult(s);
  });
}

STDMETHODIMP MessageStream::Revert() { return S_OK; }
STDMETHODIMP MessageStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}
STDMETHODIMP MessageStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}

STDMETHODIMP MessageStream::Stat(STATSTG* stat, DWORD) {
  if (!stat) return STG_E_INVALIDPOINTER;
  memset(stat, 0, sizeof(*stat));
  stat->type = STGTY_STREAM;
  stat->cbSize.QuadPart = size();
  stat->grfMode = kind_ == Kind::kSource ? STGM_READ : STGM_READWRITE;
  return S_OK;
}

STDMETHODIMP MessageStream::Clone(IStream** out) {
  if (!out) return STG_E_INVALIDPOINTER;
  *out = nullptr;
  if (kind_ != Kind::kSource) return E_NOTIMPL;
  return Guard(L"Clone", [&]() -> HRESULT {
    pelkary::com_ptr<MessageStream> copy = Source(conn_, record_);
    copy->position_ = position_;
    *out = copy.detach();
    return S_OK;
  });
}

}  // namespace mailstore_com

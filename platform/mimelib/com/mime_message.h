// The message object (CLSID_IMimeMessage): IMimeMessage, IMimeMessageTree,
// IPersistStreamInit over one mimeengine::Message. Calls are serialised by
// the object's lock, so it may be used from any thread (ThreadingModel Both).
// Every method that does any work runs inside the error boundary
// ("MimeMessage.Method").
#pragma once

#include <mutex>

#include "comsupport/com_object.h"
#include "comsupport/com_ptr.h"
#include "conversions.h"

namespace mimelib {

class MimeMessage final
    : public pelkary::ComObject<MimeMessage, IMimeMessage, IMimeMessageTree, IPersistStreamInit, IPersist> {
 public:
  static constexpr wchar_t kClassName[] = L"MimeMessage";

  std::recursive_mutex& lock() { return lock_; }
  mimeengine::Message& engine() { return engine_; }

  // IPersist / IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(IStream* stream) override;
  STDMETHODIMP Save(IStream* stream, BOOL clear_dirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override;

  // IMimeMessageTree
  STDMETHODIMP GetMessageSource(IStream** stream, DWORD flags) override;
  STDMETHODIMP GetMessageSize(ULONG* size, DWORD flags) override;
  STDMETHODIMP LoadOffsetTable(IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP SaveOffsetTable(IStream*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetFlags(DWORD* flags) override;
  STDMETHODIMP Commit(DWORD flags) override;
  STDMETHODIMP HandsOffStorage() override;
  STDMETHODIMP BindToObject(const HBODY body, REFIID riid, void** ppv) override;
  STDMETHODIMP SaveBody(HBODY, DWORD, IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP InsertBody(BODYLOCATION location, HBODY pivot, LPHBODY body) override;
  STDMETHODIMP GetBody(BODYLOCATION location, HBODY pivot, LPHBODY body) override;
  STDMETHODIMP DeleteBody(HBODY body, DWORD flags) override;
  STDMETHODIMP MoveBody(HBODY, BODYLOCATION) override { return E_NOTIMPL; }
  STDMETHODIMP CountBodies(HBODY parent, boolean recurse, ULONG* count) override;
  STDMETHODIMP FindFirst(LPFINDBODY find, LPHBODY body) override;
  STDMETHODIMP FindNext(LPFINDBODY find, LPHBODY body) override;
  STDMETHODIMP ResolveURL(HBODY, LPCSTR, LPCSTR, DWORD, LPHBODY) override { return E_NOTIMPL; }
  STDMETHODIMP ToMultipart(HBODY, LPCSTR, LPHBODY) override { return E_NOTIMPL; }
  STDMETHODIMP GetBodyOffsets(HBODY, LPBODYOFFSETS) override { return E_NOTIMPL; }
  STDMETHODIMP GetCharset(LPHCHARSET) override { return E_NOTIMPL; }
  STDMETHODIMP SetCharset(HCHARSET, CSETAPPLYTYPE) override { return E_NOTIMPL; }
  STDMETHODIMP IsBodyType(HBODY body, IMSGBODYTYPE type) override;
  STDMETHODIMP IsContentType(HBODY body, LPCSTR pri, LPCSTR sub) override;
  STDMETHODIMP QueryBodyProp(HBODY, LPCSTR, LPCSTR, boolean, boolean) override { return E_NOTIMPL; }
  STDMETHODIMP GetBodyProp(HBODY body, LPCSTR name, DWORD flags, LPPROPVARIANT value) override;
  STDMETHODIMP SetBodyProp(HBODY body, LPCSTR name, DWORD flags, LPCPROPVARIANT value) override;
  STDMETHODIMP DeleteBodyProp(HBODY body, LPCSTR name) override;
  STDMETHODIMP SetOption(const TYPEDID, LPCPROPVARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP GetOption(const TYPEDID, LPPROPVARIANT) override { return E_NOTIMPL; }

  // IMimeMessage
  STDMETHODIMP CreateWebPage(IStream*, void*, IUnknown*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetProp(LPCSTR name, DWORD flags, LPPROPVARIANT value) override;
  STDMETHODIMP SetProp(LPCSTR name, DWORD flags, LPCPROPVARIANT value) override;
  STDMETHODIMP DeleteProp(LPCSTR name) override;
  STDMETHODIMP QueryProp(LPCSTR, LPCSTR, boolean, boolean) override { return E_NOTIMPL; }
  STDMETHODIMP GetTextBody(DWORD, ENCODINGTYPE, IStream**, LPHBODY) override { return E_NOTIMPL; }
  STDMETHODIMP SetTextBody(DWORD, ENCODINGTYPE, HBODY, IStream*, LPHBODY) override { return E_NOTIMPL; }
  STDMETHODIMP AttachObject(REFIID, void*, LPHBODY) override { return E_NOTIMPL; }
  STDMETHODIMP AttachFile(LPCSTR path, IStream* file, LPHBODY body) override;
  STDMETHODIMP AttachURL(LPCSTR, LPCSTR, DWORD, IStream*, LPSTR*, LPHBODY) override { return E_NOTIMPL; }
  STDMETHODIMP GetAttachments(ULONG* count, LPHBODY* bodies) override;
  STDMETHODIMP GetAddressTable(IUnknown**) override { return E_NOTIMPL; }
  STDMETHODIMP GetSender(void*) override { return E_NOTIMPL; }
  STDMETHODIMP GetAddressTypes(DWORD, DWORD, void*) override { return E_NOTIMPL; }
  STDMETHODIMP GetAddressFormat(DWORD, DWORD, LPSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAddressTypes(DWORD, DWORD, IUnknown**) override { return E_NOTIMPL; }
  STDMETHODIMP SplitMessage(ULONG, IUnknown**) override { return E_NOTIMPL; }
  STDMETHODIMP GetRootMoniker(IMoniker**) override { return E_NOTIMPL; }

 private:
  ~MimeMessage() override = default;
  // Commits the engine, noting whether the storage stream fell behind.
  void CommitEngine();
  // Inside the boundary and under the lock, runs the engine `call` that yields a body handle
  // and hands that handle out through `body`.
  template <typename Call>
  HRESULT FindBody(const wchar_t* method, LPHBODY body, Call&& call);

  std::recursive_mutex lock_;
  mimeengine::Message engine_;
  pelkary::com_ptr<IStream> storage_;  // the stream Load read, for COMMIT_REUSESTORAGE
  bool storage_stale_ = false;         // committed changes not yet written into storage_
};

}  // namespace mimelib

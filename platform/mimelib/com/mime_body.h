// A body of a message bound through BindToObject: IMimeBody and
// IMimePropertySet over one body handle. It keeps its message alive and
// works under the message's lock; once the body is deleted from the tree its
// methods answer MIME_E_INVALID_HANDLE. Every method that does any work runs
// inside the error boundary ("MimeBody.Method"), or forwards to one of the
// message's, which does.
#pragma once

#include "mime_message.h"  // and with it the object base and the conversions

namespace mimelib {

class MimeBody final : public pelkary::ComObject<MimeBody, IMimeBody, IMimePropertySet, IPersistStreamInit, IPersist> {
 public:
  static constexpr wchar_t kClassName[] = L"MimeBody";

  MimeBody(MimeMessage* message, mimeengine::BodyHandle handle) : message_(message), handle_(handle) {}

  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP IsDirty() override { return E_NOTIMPL; }
  STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP InitNew() override { return E_NOTIMPL; }

  STDMETHODIMP GetPropInfo(LPCSTR, LPMIMEPROPINFO) override { return E_NOTIMPL; }
  STDMETHODIMP SetPropInfo(LPCSTR, LPCMIMEPROPINFO) override { return E_NOTIMPL; }
  STDMETHODIMP GetProp(LPCSTR name, DWORD flags, LPPROPVARIANT value) override;
  STDMETHODIMP SetProp(LPCSTR name, DWORD flags, LPCPROPVARIANT value) override;
  STDMETHODIMP AppendProp(LPCSTR, DWORD, LPPROPVARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP DeleteProp(LPCSTR name) override;
  STDMETHODIMP CopyProps(ULONG, LPCSTR*, IMimePropertySet*) override { return E_NOTIMPL; }
  STDMETHODIMP MoveProps(ULONG, LPCSTR*, IMimePropertySet*) override { return E_NOTIMPL; }
  STDMETHODIMP DeleteExcept(ULONG, LPCSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryProp(LPCSTR, LPCSTR, boolean, boolean) override { return E_NOTIMPL; }
  STDMETHODIMP GetCharset(LPHCHARSET) override { return E_NOTIMPL; }
  STDMETHODIMP SetCharset(HCHARSET, CSETAPPLYTYPE) override { return E_NOTIMPL; }
  STDMETHODIMP GetParameters(LPCSTR, ULONG*, LPMIMEPARAMINFO*) override { return E_NOTIMPL; }
  STDMETHODIMP IsContentType(LPCSTR pri, LPCSTR sub) override;
  STDMETHODIMP BindToObject(REFIID riid, void** ppv) override { return QueryInterface(riid, ppv); }
  STDMETHODIMP Clone(IMimePropertySet**) override { return E_NOTIMPL; }
  STDMETHODIMP SetOption(const TYPEDID, LPCPROPVARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP GetOption(const TYPEDID, LPPROPVARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP EnumProps(DWORD flags, IMimeEnumProperties** out) override;

  STDMETHODIMP IsType(IMSGBODYTYPE type) override;
  STDMETHODIMP SetDisplayName(LPCSTR name) override;
  STDMETHODIMP GetDisplayName(LPSTR* name) override;
  STDMETHODIMP GetOffsets(LPBODYOFFSETS) override { return E_NOTIMPL; }
  STDMETHODIMP GetCurrentEncoding(ENCODINGTYPE* encoding) override;
  STDMETHODIMP SetCurrentEncoding(ENCODINGTYPE) override { return E_NOTIMPL; }
  STDMETHODIMP GetEstimatedSize(ENCODINGTYPE encoding, ULONG* size) override;
  STDMETHODIMP GetDataHere(ENCODINGTYPE encoding, IStream* stream) override;
  STDMETHODIMP GetData(ENCODINGTYPE encoding, IStream** stream) override;
  STDMETHODIMP SetData(ENCODINGTYPE encoding, LPCSTR pri, LPCSTR sub, REFIID riid, void* object) override;
  STDMETHODIMP EmptyData() override;
  STDMETHODIMP CopyTo(IMimeBody*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTransmitInfo(LPTRANSMITINFO) override { return E_NOTIMPL; }
  STDMETHODIMP SaveToFile(ENCODINGTYPE encoding, LPCSTR path) override;
  STDMETHODIMP GetHandle(LPHBODY body) override;

 private:
  ~MimeBody() override = default;
  // The body's data in `encoding` (see GetData).
  HRESULT Data(ENCODINGTYPE encoding, std::string* out);
  // Inside the boundary, reads the body's data in `encoding` and hands `use` the result and the
  // data; `use` returns the method's HRESULT.
  template <typename Use>
  HRESULT WithData(const wchar_t* method, ENCODINGTYPE encoding, Use&& use);

  pelkary::com_ptr<MimeMessage> message_;
  mimeengine::BodyHandle handle_;
};

}  // namespace mimelib

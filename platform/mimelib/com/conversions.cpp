#include "conversions.h"

#include <oleauto.h>

#include <cstring>

#include "comsupport/com_ptr.h"
#include "comsupport/stream_io.h"
#include "comsupport/text.h"

namespace mimelib {

char* CoTaskStrDup(std::string_view s) {
  auto* p = static_cast<char*>(CoTaskMemAlloc(s.size() + 1));
  if (!p) return nullptr;
  std::memcpy(p, s.data(), s.size());
  p[s.size()] = '\0';
  return p;
}

mimeengine::BodyHandle ToEngineHandle(HBODY h) {
  const auto v = reinterpret_cast<ULONG_PTR>(h);
  if (v == static_cast<ULONG_PTR>(-1) || v == 0xFFFFFFFFu) return mimeengine::kRootAlias;
  if (v > 0xFFFFFFFFu) return mimeengine::kNoBody;
  return static_cast<mimeengine::BodyHandle>(v);
}

bool PropertyName(LPCSTR name, std::string* utf8) {
  if (!name) return false;
  if (ISPIDSTR(name)) {
    *utf8 = mimeengine::PropertyRegistry::Instance().NameOf(STRTOPID(name));
    return !utf8->empty();
  }
  *utf8 = pelkary::ansi_to_utf8(name);
  return true;
}

HRESULT ToHresult(mimeengine::Status s) {
  switch (s) {
    case mimeengine::Status::kOk: return S_OK;
    case mimeengine::Status::kNotFound: return MIME_E_NOT_FOUND;
    case mimeengine::Status::kInvalidHandle: return MIME_E_INVALID_HANDLE;
    case mimeengine::Status::kInvalidArg: return E_INVALIDARG;
    case mimeengine::Status::kReadOnly: return E_ACCESSDENIED;
    case mimeengine::Status::kTooDeep: return E_OUTOFMEMORY;
  }
  return E_FAIL;
}

HRESULT MakeStream(std::string_view bytes, IStream** out) {
  *out = nullptr;
  pelkary::com_ptr<IStream> s;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, s.put());
  if (SUCCEEDED(hr)) hr = pelkary::write_all(s.get(), bytes);
  LARGE_INTEGER zero{};
  if (SUCCEEDED(hr)) hr = s->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (FAILED(hr)) return hr;
  *out = s.detach();
  return S_OK;
}

HRESULT TextToPropVariant(std::string_view utf8, PROPVARIANT* value) {
  const VARTYPE wanted = value->vt;
  PropVariantInit(value);
  if (wanted == VT_LPWSTR) {
    const std::wstring w = pelkary::utf8_to_wide(utf8);
    auto* p = static_cast<wchar_t*>(CoTaskMemAlloc((w.size() + 1) * sizeof(wchar_t)));
    if (!p) return E_OUTOFMEMORY;
    std::memcpy(p, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
    value->vt = VT_LPWSTR;
    value->pwszVal = p;
    return S_OK;
  }
  char* p = CoTaskStrDup(pelkary::utf8_to_ansi(utf8));
  if (!p) return E_OUTOFMEMORY;
  value->vt = VT_LPSTR;
  value->pszVal = p;
  return S_OK;
}

HRESULT PropVariantToText(const PROPVARIANT* value, std::string* utf8) {
  if (!value) return E_INVALIDARG;
  switch (value->vt) {
    case VT_LPSTR: *utf8 = value->pszVal ? pelkary::ansi_to_utf8(value->pszVal) : std::string(); return S_OK;
    case VT_LPWSTR: *utf8 = value->pwszVal ? pelkary::to_utf8(value->pwszVal) : std::string(); return S_OK;
    case VT_BSTR:
      *utf8 = value->bstrVal
                  ? pelkary::to_utf8(std::wstring_view(value->bstrVal, SysStringLen(value->bstrVal)))
                  : std::string();
      return S_OK;
    default: return MIME_E_INVALID_PROP_FLAGS;
  }
}

}  // namespace mimelib

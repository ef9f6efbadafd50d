#include "com_support.h"

#include <oleauto.h>

#include <cstring>

#include "frame/holders.h"
#include "mimeengine/charset.h"

namespace mimelib {
namespace {
LONG g_module_refs = 0;

std::wstring Widen(UINT cp, std::string_view s) {
  if (s.empty()) return std::wstring();
  const int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Narrow(UINT cp, std::wstring_view w) {
  if (w.empty()) return std::string();
  const int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}
}  // namespace

void ModuleAddRef() { InterlockedIncrement(&g_module_refs); }
void ModuleRelease() { InterlockedDecrement(&g_module_refs); }
bool ModuleIdle() { return InterlockedCompareExchange(&g_module_refs, 0, 0) == 0; }

std::string AnsiToUtf8(const char* ansi) {
  if (!ansi) return std::string();
  return Narrow(CP_UTF8, Widen(CP_ACP, ansi));
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (mimeengine::is_ascii(utf8)) return std::string(utf8);
  return Narrow(CP_ACP, Widen(CP_UTF8, utf8));
}

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
  *utf8 = AnsiToUtf8(name);
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

HRESULT ReadAll(IStream* stream, std::string* out) {
  out->clear();
  if (!stream) return E_INVALIDARG;
  char buf[65536];
  for (;;) {
    ULONG got = 0;
    const HRESULT hr = stream->Read(buf, sizeof(buf), &got);
    if (FAILED(hr)) return hr;
    out->append(buf, got);
    if (got == 0 || hr == S_FALSE) return S_OK;
  }
}

HRESULT MakeStream(const void* bytes, size_t size, IStream** out) {
  *out = nullptr;
  pelkary::com_ptr<IStream> s;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, s.put());
  if (FAILED(hr)) return hr;
  const char* p = static_cast<const char*>(bytes);
  while (size > 0 && SUCCEEDED(hr)) {
    const ULONG chunk = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
    ULONG written = 0;
    hr = s->Write(p, chunk, &written);
    p += written;
    size -= written;
    if (written == 0) hr = E_FAIL;
  }
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
    const std::wstring w = Widen(CP_UTF8, utf8);
    auto* p = static_cast<wchar_t*>(CoTaskMemAlloc((w.size() + 1) * sizeof(wchar_t)));
    if (!p) return E_OUTOFMEMORY;
    std::memcpy(p, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
    value->vt = VT_LPWSTR;
    value->pwszVal = p;
    return S_OK;
  }
  char* p = CoTaskStrDup(Utf8ToAnsi(utf8));
  if (!p) return E_OUTOFMEMORY;
  value->vt = VT_LPSTR;
  value->pszVal = p;
  return S_OK;
}

HRESULT PropVariantToText(const PROPVARIANT* value, std::string* utf8) {
  if (!value) return E_INVALIDARG;
  switch (value->vt) {
    case VT_LPSTR: *utf8 = AnsiToUtf8(value->pszVal); return S_OK;
    case VT_LPWSTR: *utf8 = value->pwszVal ? Narrow(CP_UTF8, value->pwszVal) : std::string(); return S_OK;
    case VT_BSTR:
      *utf8 = value->bstrVal ? Narrow(CP_UTF8, std::wstring_view(value->bstrVal, SysStringLen(value->bstrVal)))
                             : std::string();
      return S_OK;
    default: return MIME_E_INVALID_PROP_FLAGS;
  }
}

}  // namespace mimelib

#include "mime_body.h"

#include <new>

#include "enum_properties.h"
#include "mimeengine/charset.h"

namespace mimelib {

using Guard = std::lock_guard<std::recursive_mutex>;

MimeBody::MimeBody(MimeMessage* message, mimeengine::BodyHandle handle)
    : message_(message), handle_(handle) {
  ModuleAddRef();
}

MimeBody::~MimeBody() { ModuleRelease(); }

HRESULT MimeBody::Create(MimeMessage* message, mimeengine::BodyHandle handle, REFIID riid, void** ppv) {
  auto* b = new (std::nothrow) MimeBody(message, handle);
  if (!b) return E_OUTOFMEMORY;
  const auto holder = pelkary::com_ptr<MimeBody>::attach(b);
  return b->QueryInterface(riid, ppv);
}

STDMETHODIMP MimeBody::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPersist) ||
      IsEqualIID(riid, IID_IPersistStreamInit) || IsEqualIID(riid, IID_IMimePropertySet) ||
      IsEqualIID(riid, IID_IMimeBody)) {
    *ppv = static_cast<IMimeBody*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) MimeBody::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) MimeBody::Release() {
  const LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

STDMETHODIMP MimeBody::GetProp(LPCSTR name, DWORD flags, LPPROPVARIANT value) {
  return message_->GetBodyProp(ToHbody(handle_), name, flags, value);
}

STDMETHODIMP MimeBody::SetProp(LPCSTR name, DWORD flags, LPCPROPVARIANT value) {
  return message_->SetBodyProp(ToHbody(handle_), name, flags, value);
}

STDMETHODIMP MimeBody::DeleteProp(LPCSTR name) { return message_->DeleteBodyProp(ToHbody(handle_), name); }

STDMETHODIMP MimeBody::IsContentType(LPCSTR pri, LPCSTR sub) {
  return message_->IsContentType(ToHbody(handle_), pri, sub);
}

STDMETHODIMP MimeBody::EnumProps(DWORD, IMimeEnumProperties** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    Guard g(message_->lock());
    auto& engine = message_->engine();
    if (!engine.IsValid(handle_)) return MIME_E_INVALID_HANDLE;
    std::vector<EnumProperties::Entry> entries;
    for (auto& name : engine.PropertyNames(handle_)) {
      const uint32_t id = mimeengine::PropertyRegistry::Instance().IdOf(name);
      entries.push_back(EnumProperties::Entry{Utf8ToAnsi(name), id});
    }
    return EnumProperties::Create(std::move(entries), out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP MimeBody::IsType(IMSGBODYTYPE type) { return message_->IsBodyType(ToHbody(handle_), type); }

STDMETHODIMP MimeBody::SetDisplayName(LPCSTR name) {
  if (!name) return E_INVALIDARG;
  try {
    Guard g(message_->lock());
    return ToHresult(message_->engine().SetDisplayName(handle_, AnsiToUtf8(name)));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP MimeBody::GetDisplayName(LPSTR* name) {
  if (!name) return E_POINTER;
  *name = nullptr;
  try {
    Guard g(message_->lock());
    auto& engine = message_->engine();
    if (!engine.IsValid(handle_)) return MIME_E_INVALID_HANDLE;
    *name = CoTaskStrDup(Utf8ToAnsi(engine.DisplayName(handle_)));
    return *name ? S_OK : E_OUTOFMEMORY;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP MimeBody::GetCurrentEncoding(ENCODINGTYPE* encoding) {
  if (!encoding) return E_POINTER;
  try {
    Guard g(message_->lock());
    std::string cte;
    const auto s = message_->engine().GetProp(handle_, "Content-Transfer-Encoding", &cte);
    if (s == mimeengine::Status::kInvalidHandle) return MIME_E_INVALID_HANDLE;
    for (auto& c : cte) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    *encoding = cte == "base64" ? IET_BASE64
                : cte == "quoted-printable" ? IET_QP
                : cte == "8bit" ? IET_8BIT
                : cte == "binary" ? IET_BINARY
                : IET_7BIT;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// IET_BINARY (and IET_INETCSET): the decoded bytes. IET_UNICODE: for a text
// body, UTF-16LE text converted from its charset; for any other body the
// decoded bytes unchanged, so binary content never gets mangled.
HRESULT MimeBody::Data(ENCODINGTYPE encoding, std::string* out) {
  Guard g(message_->lock());
  auto& engine = message_->engine();
  if (!engine.IsValid(handle_)) return MIME_E_INVALID_HANDLE;
  if (encoding == IET_BINARY || encoding == IET_INETCSET || encoding == IET_CURRENT ||
      encoding == IET_8BIT || encoding == IET_7BIT) {
    return ToHresult(engine.GetContent(handle_, out));
  }
  if (encoding == IET_UNICODE) {
    if (engine.PrimaryType(handle_) != "text") return ToHresult(engine.GetContent(handle_, out));
    std::string utf8;
    const auto s = engine.GetText(handle_, &utf8);
    if (s != mimeengine::Status::kOk) return ToHresult(s);
    const std::u16string w = mimeengine::utf8_to_utf16(utf8);
    out->assign(reinterpret_cast<const char*>(w.data()), w.size() * 2);
    return S_OK;
  }
  return MIME_E_INVALID_ENCTYPE;
}

STDMETHODIMP MimeBody::GetEstimatedSize(ENCODINGTYPE encoding, ULONG* size) {
  if (!size) return E_POINTER;
  try {
    std::string data;
    const HRESULT hr = Data(encoding, &data);
    *size = static_cast<ULONG>(data.size());
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP MimeBody::GetDataHere(ENCODINGTYPE encoding, IStream* stream) {
  if (!stream) return E_INVALIDARG;
  try {
    std::string data;
    HRESULT hr = Data(encoding, &data);
    size_t done = 0;
    while (SUCCEEDED(hr) && done < data.size()) {
      ULONG written = 0;
      hr = stream->Write(data.data() + done, static_cast<ULONG>(std::min<size_t>(data.size() - done, 1u << 30)),
                         &written);
      if (SUCCEEDED(hr) && written == 0) hr = STG_E_MEDIUMFULL;
      done += written;
    }
    return FAILED(hr) ? hr : S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP MimeBody::GetData(ENCODINGTYPE encoding, IStream** stream) {
  if (!stream) return E_POINTER;
  *stream = nullptr;
  try {
    std::string data;
    const HRESULT hr = Data(encoding, &data);
    if (FAILED(hr)) return hr;
    return MakeStream(data.data(), data.size(), stream);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// The stream is read from its start. IET_UNICODE data is UTF-16LE text
// (trailing NUL units dropped); IET_BINARY data is taken as decoded bytes.
STDMETHODIMP MimeBody::SetData(ENCODINGTYPE encoding, LPCSTR pri, LPCSTR sub, REFIID riid, void* object) {
  if (!object) return E_INVALIDARG;
  try {
    pelkary::com_ptr<IStream> stream;
    HRESULT hr = static_cast<IUnknown*>(object)->QueryInterface(IID_IStream, stream.put_void());
    if (FAILED(hr) || !(IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_IUnknown))) {
      return E_INVALIDARG;
    }
    LARGE_INTEGER zero{};
    hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    std::string bytes;
    if (SUCCEEDED(hr)) hr = ReadAll(stream.get(), &bytes);
    if (FAILED(hr)) return hr;
    const std::string p = pri ? AnsiToUtf8(pri) : std::string();
    const std::string s = sub ? AnsiToUtf8(sub) : std::string();
    Guard g(message_->lock());
    auto& engine = message_->engine();
    if (!engine.IsValid(handle_)) return MIME_E_INVALID_HANDLE;
    if (encoding == IET_UNICODE) {
      std::u16string text(bytes.size() / 2, u'\0');
      if (!text.empty()) memcpy(&text[0], bytes.data(), text.size() * 2);
      while (!text.empty() && text.back() == u'\0') text.pop_back();
      return ToHresult(engine.SetText(handle_, mimeengine::utf16_to_utf8(text), p, s));
    }
    if (encoding == IET_BINARY || encoding == IET_8BIT || encoding == IET_7BIT || encoding == IET_INETCSET) {
      return ToHresult(engine.SetContent(handle_, std::move(bytes), p, s));
    }
    return MIME_E_INVALID_ENCTYPE;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP MimeBody::EmptyData() {
  try {
    Guard g(message_->lock());
    return ToHresult(message_->engine().EmptyContent(handle_));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP MimeBody::SaveToFile(ENCODINGTYPE encoding, LPCSTR path) {
  if (!path) return E_INVALIDARG;
  try {
    std::string data;
    const HRESULT hr = Data(encoding, &data);
    if (FAILED(hr)) return hr;
    pelkary::unique_hfile f(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) return HRESULT_FROM_WIN32(GetLastError());
    size_t done = 0;
    while (done < data.size()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
      if (!WriteFile(f.get(), data.data() + done, chunk, &written, nullptr) || written == 0) {
        return HRESULT_FROM_WIN32(GetLastError());
      }
      done += written;
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP MimeBody::GetHandle(LPHBODY body) {
  if (!body) return E_POINTER;
  *body = ToHbody(handle_);
  return S_OK;
}

}  // namespace mimelib

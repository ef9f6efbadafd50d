#include "mime_body.h"

#include <algorithm>

#include "comsupport/com_ptr.h"
#include "comsupport/stream_io.h"
#include "comsupport/text.h"
#include "comsupport/unique_any.h"
#include "enum_properties.h"
#include "mimeengine/charset.h"
#include "mimeengine/codec.h"

namespace mimelib {

using Locked = std::lock_guard<std::recursive_mutex>;

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

STDMETHODIMP MimeBody::IsType(IMSGBODYTYPE type) { return message_->IsBodyType(ToHbody(handle_), type); }

STDMETHODIMP MimeBody::EnumProps(DWORD, IMimeEnumProperties** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guard(L"EnumProps", [&]() -> HRESULT {
    Locked g(message_->lock());
    auto& engine = message_->engine();
    if (!engine.IsValid(handle_)) return MIME_E_INVALID_HANDLE;
    std::vector<EnumProperties::Entry> entries;
    for (auto& name : engine.PropertyNames(handle_)) {
      const uint32_t id = mimeengine::PropertyRegistry::Instance().IdOf(name);
      entries.push_back(EnumProperties::Entry{pelkary::utf8_to_ansi(name), id});
    }
    *out = EnumProperties::Make(std::move(entries), 0).detach();
    return S_OK;
  });
}

STDMETHODIMP MimeBody::SetDisplayName(LPCSTR name) {
  if (!name) return E_INVALIDARG;
  return Guard(L"SetDisplayName", [&] {
    Locked g(message_->lock());
    return ToHresult(message_->engine().SetDisplayName(handle_, pelkary::ansi_to_utf8(name)));
  });
}

STDMETHODIMP MimeBody::GetDisplayName(LPSTR* name) {
  if (!name) return E_POINTER;
  *name = nullptr;
  return Guard(L"GetDisplayName", [&]() -> HRESULT {
    Locked g(message_->lock());
    auto& engine = message_->engine();
    if (!engine.IsValid(handle_)) return MIME_E_INVALID_HANDLE;
    *name = CoTaskStrDup(pelkary::utf8_to_ansi(engine.DisplayName(handle_)));
    return *name ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP MimeBody::GetCurrentEncoding(ENCODINGTYPE* encoding) {
  if (!encoding) return E_POINTER;
  return Guard(L"GetCurrentEncoding", [&]() -> HRESULT {
    Locked g(message_->lock());
    std::string cte;
    const auto s = message_->engine().GetProp(handle_, "Content-Transfer-Encoding", &cte);
    if (s == mimeengine::Status::kInvalidHandle) return MIME_E_INVALID_HANDLE;
    for (auto& c : cte) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    *encoding = cte == "base64" ? IET_BASE64
                : cte == "quoted-printable" ? IET_QP
                : mimeengine::is_uuencode_label(cte) ? IET_UUENCODE
                : cte == "8bit" ? IET_8BIT
                : cte == "binary" ? IET_BINARY
                : IET_7BIT;
    return S_OK;
  });
}

// IET_BINARY (and IET_INETCSET): the decoded bytes. IET_UNICODE: for a text
// body, UTF-16LE text converted from its charset; for any other body the
// decoded bytes unchanged, so binary content never gets mangled.
HRESULT MimeBody::Data(ENCODINGTYPE encoding, std::string* out) {
  Locked g(message_->lock());
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

template <typename Use>
HRESULT MimeBody::WithData(const wchar_t* method, ENCODINGTYPE encoding, Use&& use) {
  return Guard(method, [&]() -> HRESULT {
    std::string data;
    const HRESULT hr = Data(encoding, &data);
    return use(hr, data);
  });
}

STDMETHODIMP MimeBody::GetEstimatedSize(ENCODINGTYPE encoding, ULONG* size) {
  if (!size) return E_POINTER;
  return WithData(L"GetEstimatedSize", encoding, [&](HRESULT hr, const std::string& data) {
    *size = static_cast<ULONG>(data.size());
    return hr;
  });
}

STDMETHODIMP MimeBody::GetDataHere(ENCODINGTYPE encoding, IStream* stream) {
  if (!stream) return E_INVALIDARG;
  return WithData(L"GetDataHere", encoding, [&](HRESULT hr, const std::string& data) {
    return FAILED(hr) ? hr : pelkary::write_all(stream, data);
  });
}

STDMETHODIMP MimeBody::GetData(ENCODINGTYPE encoding, IStream** stream) {
  if (!stream) return E_POINTER;
  *stream = nullptr;
  return WithData(L"GetData", encoding, [&](HRESULT hr, const std::string& data) {
    return FAILED(hr) ? hr : MakeStream(data, stream);
  });
}

// The stream is read from its start. IET_UNICODE data is UTF-16LE text
// (trailing NUL units dropped); IET_BINARY data is taken as decoded bytes.
STDMETHODIMP MimeBody::SetData(ENCODINGTYPE encoding, LPCSTR pri, LPCSTR sub, REFIID riid, void* object) {
  if (!object) return E_INVALIDARG;
  return Guard(L"SetData", [&]() -> HRESULT {
    pelkary::com_ptr<IStream> stream;
    HRESULT hr = static_cast<IUnknown*>(object)->QueryInterface(IID_IStream, stream.put_void());
    if (FAILED(hr) || !(IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_IUnknown))) {
      return E_INVALIDARG;
    }
    LARGE_INTEGER zero{};
    hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    std::string bytes;
    if (SUCCEEDED(hr)) hr = pelkary::read_to_end(stream.get(), &bytes);
    if (FAILED(hr)) return hr;
    const std::string p = pri ? pelkary::ansi_to_utf8(pri) : std::string();
    const std::string s = sub ? pelkary::ansi_to_utf8(sub) : std::string();
    Locked g(message_->lock());
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
  });
}

STDMETHODIMP MimeBody::EmptyData() {
  return Guard(L"EmptyData", [&] {
    Locked g(message_->lock());
    return ToHresult(message_->engine().EmptyContent(handle_));
  });
}

STDMETHODIMP MimeBody::SaveToFile(ENCODINGTYPE encoding, LPCSTR path) {
  if (!path) return E_INVALIDARG;
  return WithData(L"SaveToFile", encoding, [&](HRESULT hr, const std::string& data) -> HRESULT {
    if (FAILED(hr)) return hr;
    pelkary::unique_hfile f(
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
  });
}

STDMETHODIMP MimeBody::GetHandle(LPHBODY body) {
  if (!body) return E_POINTER;
  *body = ToHbody(handle_);
  return S_OK;
}

}  // namespace mimelib

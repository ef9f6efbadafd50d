#include "mime_message.h"

#include "comsupport/com_ptr.h"
#include "comsupport/stream_io.h"
#include "comsupport/text.h"
#include "comsupport/unique_any.h"
#include "mime_body.h"

namespace mimelib {

using mimeengine::BodyHandle;
using mimeengine::kNoBody;
using mimeengine::Location;
using Locked = std::lock_guard<std::recursive_mutex>;

namespace {

// A type name from an ANSI argument; null gives "" (any).
std::string TypeName(LPCSTR ansi) { return ansi ? pelkary::ansi_to_utf8(ansi) : std::string(); }

}  // namespace

void MimeMessage::CommitEngine() {
  if (engine_.IsDirty()) storage_stale_ = true;
  engine_.Commit();
}

STDMETHODIMP MimeMessage::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_IMimeMessage;
  return S_OK;
}

STDMETHODIMP MimeMessage::IsDirty() {
  return Guard(L"IsDirty", [&] {
    Locked g(lock_);
    return engine_.IsDirty() ? S_OK : S_FALSE;
  });
}

STDMETHODIMP MimeMessage::Load(IStream* stream) {
  if (!stream) return E_INVALIDARG;
  return Guard(L"Load", [&]() -> HRESULT {
    std::string source;
    const HRESULT hr = pelkary::read_to_end(stream, &source);
    if (FAILED(hr)) return hr;
    Locked g(lock_);
    engine_.Load(std::move(source));
    storage_ = pelkary::com_ptr<IStream>(stream);
    storage_stale_ = false;
    return S_OK;
  });
}

STDMETHODIMP MimeMessage::Save(IStream* stream, BOOL) {
  if (!stream) return E_INVALIDARG;
  return Guard(L"Save", [&] {
    Locked g(lock_);
    CommitEngine();
    return pelkary::write_all(stream, engine_.source());
  });
}

STDMETHODIMP MimeMessage::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  return Guard(L"GetSizeMax", [&]() -> HRESULT {
    Locked g(lock_);
    size->QuadPart = engine_.IsDirty() ? engine_.Serialize().size() : engine_.source().size();
    return S_OK;
  });
}

STDMETHODIMP MimeMessage::InitNew() {
  return Guard(L"InitNew", [&]() -> HRESULT {
    Locked g(lock_);
    engine_.Load(std::string());
    storage_ = nullptr;
    storage_stale_ = false;
    return S_OK;
  });
}

STDMETHODIMP MimeMessage::GetMessageSource(IStream** stream, DWORD) {
  if (!stream) return E_POINTER;
  *stream = nullptr;
  return Guard(L"GetMessageSource", [&] {
    Locked g(lock_);
    CommitEngine();
    return MakeStream(engine_.source(), stream);
  });
}

STDMETHODIMP MimeMessage::GetMessageSize(ULONG* size, DWORD) {
  if (!size) return E_POINTER;
  ULARGE_INTEGER s{};
  const HRESULT hr = GetSizeMax(&s);
  *size = static_cast<ULONG>(s.QuadPart);
  return hr;
}

STDMETHODIMP MimeMessage::GetFlags(DWORD* flags) {
  if (!flags) return E_POINTER;
  return Guard(L"GetFlags", [&]() -> HRESULT {
    Locked g(lock_);
    DWORD f = 0;
    const BodyHandle root = engine_.root();
    std::string v;
    if (engine_.GetProp(root, "MIME-Version", &v) == mimeengine::Status::kOk) f |= IMF_MIME;
    if (engine_.IsMultipart(root)) f |= IMF_MULTIPART;
    if (!engine_.GetAttachments().empty()) f |= IMF_ATTACHMENTS;
    if (engine_.FindNext(kNoBody, "text", "html") != kNoBody) f |= IMF_HTML;
    if (engine_.FindNext(kNoBody, "text", "plain") != kNoBody) f |= IMF_PLAIN;
    if (engine_.FindNext(kNoBody, "text", "") != kNoBody) f |= IMF_TEXT;
    *flags = f;
    return S_OK;
  });
}

STDMETHODIMP MimeMessage::Commit(DWORD flags) {
  return Guard(L"Commit", [&]() -> HRESULT {
    Locked g(lock_);
    CommitEngine();
    if ((flags & COMMIT_REUSESTORAGE) && storage_ && storage_stale_) {
      // Write the new source back into the stream the message came from
      // (an unchanged message leaves the storage alone).
      LARGE_INTEGER zero{};
      HRESULT hr = storage_->Seek(zero, STREAM_SEEK_SET, nullptr);
      if (SUCCEEDED(hr)) hr = storage_->SetSize(ULARGE_INTEGER{});
      if (SUCCEEDED(hr)) hr = pelkary::write_all(storage_.get(), engine_.source());
      if (SUCCEEDED(hr)) hr = storage_->Commit(STGC_DEFAULT);
      if (FAILED(hr)) return hr;
      storage_stale_ = false;
    }
    return S_OK;
  });
}

STDMETHODIMP MimeMessage::HandsOffStorage() {
  return Guard(L"HandsOffStorage", [&]() -> HRESULT {
    Locked g(lock_);
    storage_ = nullptr;  // the source is held in memory already
    return S_OK;
  });
}

STDMETHODIMP MimeMessage::BindToObject(const HBODY body, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return Guard(L"BindToObject", [&]() -> HRESULT {
    Locked g(lock_);
    const BodyHandle h = ToEngineHandle(body);
    if (!engine_.IsValid(h)) return MIME_E_INVALID_HANDLE;
    const BodyHandle resolved = h == mimeengine::kRootAlias ? engine_.root() : h;
    return MimeBody::Make(this, resolved)->QueryInterface(riid, ppv);
  });
}

template <typename Call>
HRESULT MimeMessage::FindBody(const wchar_t* method, LPHBODY body, Call&& call) {
  return Guard(method, [&]() -> HRESULT {
    Locked g(lock_);
    BodyHandle out = kNoBody;
    const auto s = call(&out);
    if (s != mimeengine::Status::kOk) return ToHresult(s);
    *body = ToHbody(out);
    return S_OK;
  });
}

STDMETHODIMP MimeMessage::InsertBody(BODYLOCATION location, HBODY pivot, LPHBODY body) {
  if (!body) return E_POINTER;
  *body = nullptr;
  return FindBody(L"InsertBody", body, [&](BodyHandle* out) {
    return engine_.InsertBody(static_cast<Location>(location), ToEngineHandle(pivot), out);
  });
}

STDMETHODIMP MimeMessage::GetBody(BODYLOCATION location, HBODY pivot, LPHBODY body) {
  if (!body) return E_POINTER;
  *body = nullptr;
  if (static_cast<int>(location) < IBL_ROOT || location > IBL_PREVIOUS) return E_INVALIDARG;
  return FindBody(L"GetBody", body, [&](BodyHandle* out) {
    return engine_.GetBody(static_cast<Location>(location), ToEngineHandle(pivot), out);
  });
}

STDMETHODIMP MimeMessage::DeleteBody(HBODY body, DWORD flags) {
  return Guard(L"DeleteBody", [&] {
    Locked g(lock_);
    const auto s = engine_.DeleteBody(ToEngineHandle(body), flags);
    return s == mimeengine::Status::kInvalidArg ? MIME_E_INVALID_DELETE_TYPE : ToHresult(s);
  });
}

STDMETHODIMP MimeMessage::CountBodies(HBODY parent, boolean recurse, ULONG* count) {
  if (!count) return E_POINTER;
  return Guard(L"CountBodies", [&]() -> HRESULT {
    Locked g(lock_);
    const BodyHandle h = ToEngineHandle(parent);
    if (!engine_.IsValid(h)) return MIME_E_INVALID_HANDLE;
    *count = static_cast<ULONG>(engine_.CountBodies(h, recurse != 0));
    return S_OK;
  });
}

// FINDBODY::dwReserved carries the walk's position: the last handle found.
STDMETHODIMP MimeMessage::FindFirst(LPFINDBODY find, LPHBODY body) {
  if (!find || !body) return E_POINTER;
  find->dwReserved = 0;
  return FindNext(find, body);
}

STDMETHODIMP MimeMessage::FindNext(LPFINDBODY find, LPHBODY body) {
  if (!find || !body) return E_POINTER;
  *body = nullptr;
  return Guard(L"FindNext", [&]() -> HRESULT {
    Locked g(lock_);
    const BodyHandle after = static_cast<BodyHandle>(find->dwReserved);
    if (after != kNoBody && !engine_.IsValid(after)) return MIME_E_NOT_FOUND;
    const BodyHandle h = engine_.FindNext(after, TypeName(find->pszPriType), TypeName(find->pszSubType));
    if (h == kNoBody) return MIME_E_NOT_FOUND;
    find->dwReserved = h;
    *body = ToHbody(h);
    return S_OK;
  });
}

STDMETHODIMP MimeMessage::IsBodyType(HBODY body, IMSGBODYTYPE type) {
  return Guard(L"IsBodyType", [&]() -> HRESULT {
    Locked g(lock_);
    const BodyHandle h = ToEngineHandle(body);
    if (!engine_.IsValid(h)) return MIME_E_INVALID_HANDLE;
    bool yes = false;
    switch (type) {
      case IBT_ATTACHMENT: yes = engine_.IsAttachment(h); break;
      case IBT_EMPTY: yes = engine_.IsEmpty(h); break;
      case IBT_CSETTAGGED: yes = engine_.HasCharset(h); break;
      case IBT_SECURE:
      case IBT_AUTOATTACH: yes = false; break;
      default: return MIME_E_INVALID_BODYTYPE;
    }
    return yes ? S_OK : S_FALSE;
  });
}

STDMETHODIMP MimeMessage::IsContentType(HBODY body, LPCSTR pri, LPCSTR sub) {
  return Guard(L"IsContentType", [&]() -> HRESULT {
    Locked g(lock_);
    const BodyHandle h = ToEngineHandle(body);
    if (!engine_.IsValid(h)) return MIME_E_INVALID_HANDLE;
    return engine_.IsContentType(h, TypeName(pri), TypeName(sub)) ? S_OK : S_FALSE;
  });
}

STDMETHODIMP MimeMessage::GetBodyProp(HBODY body, LPCSTR name, DWORD, LPPROPVARIANT value) {
  if (!value) return E_POINTER;
  return Guard(L"GetBodyProp", [&]() -> HRESULT {
    std::string prop, text;
    if (!PropertyName(name, &prop)) return MIME_E_NOT_FOUND;
    Locked g(lock_);
    const auto s = engine_.GetProp(ToEngineHandle(body), prop, &text);
    if (s != mimeengine::Status::kOk) return ToHresult(s);
    return TextToPropVariant(text, value);
  });
}

STDMETHODIMP MimeMessage::SetBodyProp(HBODY body, LPCSTR name, DWORD, LPCPROPVARIANT value) {
  return Guard(L"SetBodyProp", [&]() -> HRESULT {
    std::string prop, text;
    if (!PropertyName(name, &prop)) return E_INVALIDARG;
    const HRESULT hr = PropVariantToText(value, &text);
    if (FAILED(hr)) return hr;
    Locked g(lock_);
    return ToHresult(engine_.SetProp(ToEngineHandle(body), prop, text));
  });
}

STDMETHODIMP MimeMessage::DeleteBodyProp(HBODY body, LPCSTR name) {
  return Guard(L"DeleteBodyProp", [&]() -> HRESULT {
    std::string prop;
    if (!PropertyName(name, &prop)) return MIME_E_NOT_FOUND;
    Locked g(lock_);
    return ToHresult(engine_.DeleteProp(ToEngineHandle(body), prop));
  });
}

STDMETHODIMP MimeMessage::GetProp(LPCSTR name, DWORD flags, LPPROPVARIANT value) {
  return GetBodyProp(HBODY_ROOT, name, flags, value);
}

STDMETHODIMP MimeMessage::SetProp(LPCSTR name, DWORD flags, LPCPROPVARIANT value) {
  return SetBodyProp(HBODY_ROOT, name, flags, value);
}

STDMETHODIMP MimeMessage::DeleteProp(LPCSTR name) { return DeleteBodyProp(HBODY_ROOT, name); }

STDMETHODIMP MimeMessage::AttachFile(LPCSTR path, IStream* file, LPHBODY body) {
  if (!body) return E_POINTER;
  *body = nullptr;
  if (!path) return E_INVALIDARG;
  return Guard(L"AttachFile", [&]() -> HRESULT {
    std::string data;
    if (file) {
      LARGE_INTEGER zero{};
      HRESULT hr = file->Seek(zero, STREAM_SEEK_SET, nullptr);
      if (SUCCEEDED(hr)) hr = pelkary::read_to_end(file, &data);
      if (FAILED(hr)) return hr;
    } else {
      pelkary::unique_hfile f(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!f) return HRESULT_FROM_WIN32(GetLastError());
      char buf[65536];
      DWORD got = 0;
      while (ReadFile(f.get(), buf, sizeof(buf), &got, nullptr) && got > 0) data.append(buf, got);
    }
    std::string name = pelkary::ansi_to_utf8(path);
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    return FindBody(L"AttachFile", body,
                    [&](BodyHandle* out) { return engine_.AttachFile(name, std::move(data), out); });
  });
}

STDMETHODIMP MimeMessage::GetAttachments(ULONG* count, LPHBODY* bodies) {
  if (!count || !bodies) return E_POINTER;
  *count = 0;
  *bodies = nullptr;
  return Guard(L"GetAttachments", [&]() -> HRESULT {
    Locked g(lock_);
    const auto list = engine_.GetAttachments();
    if (list.empty()) return S_OK;
    auto* array = static_cast<HBODY*>(CoTaskMemAlloc(list.size() * sizeof(HBODY)));
    if (!array) return E_OUTOFMEMORY;
    for (size_t i = 0; i < list.size(); ++i) array[i] = ToHbody(list[i]);
    *count = static_cast<ULONG>(list.size());
    *bodies = array;
    return S_OK;
  });
}

}  // namespace mimelib

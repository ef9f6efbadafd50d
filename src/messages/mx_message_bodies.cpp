// MXMessage: the MIME body tree, body content in and out of strings and files, and attachments.
// Every operation is a thin use of the MIME object; changes live there until Commit or Send.
// Strings from the client reach the library in the ANSI code page (an empty one as "", never
// null); strings from the library are converted back from it. File names are the exception: they
// go to the system and to the library's file-name properties as UTF-16, so a name that the code
// page cannot hold (写真.png under 1252) is read, saved and attached whole.

#include <algorithm>

#include "comsupport/com_ptr.h"
#include "comsupport/text.h"
#include "comsupport/unique_any.h"
#include "comsupport/unique_cotaskmem.h"
#include "messages/ansi_lead_bytes.h"
#include "messages/attachment_file_name.h"
#include "messages/body_handle.h"
#include "messages/mx_message.h"

namespace pelkary {

namespace {

constexpr ULONG kTextReadBytes = 4094;     // into a 4096-byte buffer: room for a zero unit
constexpr ULONG kOtherReadBytes = 2047;    // into a 2048-byte buffer: room for a NUL
constexpr DWORD kFileCopyPiece = 4096;
constexpr ULONG kSaveToFilePiece = 16384;

std::wstring_view ViewOf(BSTR text) noexcept {
    return text ? std::wstring_view(text, SysStringLen(text)) : std::wstring_view();
}

// The part of a client's file name after its last backslash or slash, or all of it. The name is
// UTF-16, so a double-byte character whose second byte is 0x5C is never taken for a separator.
std::wstring_view LastPathComponent(std::wstring_view path) {
    const size_t at = path.find_last_of(L"\\/");
    return at == std::wstring_view::npos ? path : path.substr(at + 1);
}

unique_hfile OpenForReading(BSTR filename) {
    if (!filename || !*filename) return unique_hfile();
    return unique_hfile(CreateFileW(filename, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Copies the whole file into `stream`; false when a read or a write fails.
bool CopyFileToStream(HANDLE file, IStream* stream) {
    char buffer[kFileCopyPiece];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) return false;
        if (got == 0) return true;
        ULONG written = 0;
        if (FAILED(stream->Write(buffer, got, &written)) || written != got) return false;
    }
}

// The first body of the given type, or 0 (not found, S_FALSE, failure).
long FindFirstBody(IMimeMessage* message, const char* primary, const char* secondary) {
    char pri[16];
    char sec[16];
    lstrcpynA(pri, primary, sizeof pri);
    lstrcpynA(sec, secondary, sizeof sec);
    FINDBODY find{};
    find.pszPriType = pri;
    find.pszSubType = sec;
    HBODY body = nullptr;
    return message->FindFirst(&find, &body) == S_OK && body ? FromHBody(body) : 0;
}

}  // namespace

com_ptr<IMimeBody> MXMessage::BindBody(long body_handle) noexcept {
    com_ptr<IMimeBody> body;
    if (!EnsureMimeMessage() ||
        FAILED(mimeMessage_->BindToObject(ToHBody(body_handle), IID_IMimeBody, body.put_void())))
        body.reset();
    return body;
}

std::pair<std::wstring, std::wstring> MXMessage::ContentTypeHalves(long body_handle) {
    std::optional<std::wstring> value = ReadBodyPropertyWide(body_handle, PropertyIdAsName(MX_PID_HDR_CNTTYPE));
    if (!value) return {};
    const std::wstring& type = *value;
    const size_t slash = type.find(L'/');
    if (slash == std::wstring::npos) return {};
    return {type.substr(0, slash), type.substr(slash + 1)};
}

bool MXMessage::IsAttachment(long body_handle) noexcept {
    return mimeMessage_ && mimeMessage_->IsBodyType(ToHBody(body_handle), IBT_ATTACHMENT) == S_OK;
}

// Replaces the body's content from `stream`. One empty type half is enough to keep the body's
// current type (both halves are then taken from the body).
bool MXMessage::SetBodyData(long body_handle, IStream* stream, BSTR primary, BSTR secondary,
                            ENCODINGTYPE encoding) {
    com_ptr<IMimeBody> body = BindBody(body_handle);
    if (!body) return false;
    std::string pri = bstr_to_ansi(primary);
    std::string sec = bstr_to_ansi(secondary);
    if (pri.empty() || sec.empty()) {
        auto [current_pri, current_sec] = ContentTypeHalves(body_handle);
        pri = to_ansi(current_pri.c_str());
        sec = to_ansi(current_sec.c_str());
    }
    return SUCCEEDED(body->SetData(encoding, pri.c_str(), sec.c_str(), IID_IStream, stream));
}

HRESULT MXMessage::FirstTextBody(const wchar_t* method, const char* secondary, long* result) {
    return Guard(method, [&] {
        *result = EnsureMimeMessage() ? FindFirstBody(mimeMessage_.get(), "text", secondary) : 0;
    }, result);
}

HRESULT MXMessage::GetHTMLBody(long *result) { return FirstTextBody(L"GetHTMLBody", "html", result); }

HRESULT MXMessage::GetPlainBody(long *result) { return FirstTextBody(L"GetPlainBody", "plain", result); }

HRESULT MXMessage::GetBodyHandle(long prevBodyHandle, enum tagNUVAKBODYLOCATION bodyLoc, long *result) {
    return Guard(L"GetBodyHandle", [&] {
        *result = 0;
        if (!EnsureMimeMessage()) return;
        HBODY body = nullptr;
        if (mimeMessage_->GetBody(static_cast<BODYLOCATION>(bodyLoc), ToHBody(prevBodyHandle), &body) == S_OK)
            *result = FromHBody(body);
    }, result);
}

HRESULT MXMessage::InsertBody(long bodyHandle, enum tagNUVAKBODYLOCATION bodyLoc, long *newBodyHandle) {
    return Guard(L"InsertBody", [&] {
        *newBodyHandle = 0;
        if (!EnsureMimeMessage()) return;
        HBODY body = nullptr;
        if (SUCCEEDED(mimeMessage_->InsertBody(static_cast<BODYLOCATION>(bodyLoc), ToHBody(bodyHandle), &body)))
            *newBodyHandle = FromHBody(body);
    }, newBodyHandle);
}

HRESULT MXMessage::DeleteBody(long bodyHandle, enum tagNUVAKBODYDELFLAGS flags, long *success) {
    return Guard(L"DeleteBody", [&] {
        *success = EnsureMimeMessage() &&
                   SUCCEEDED(mimeMessage_->DeleteBody(ToHBody(bodyHandle), static_cast<DWORD>(flags))) ? 1 : 0;
    }, success);
}

HRESULT MXMessage::IsBodyContentType(long bodyHandle, BSTR priContentType, BSTR secContentType, long *result) {
    return Guard(L"IsBodyContentType", [&] {
        *result = 0;
        if (!EnsureMimeMessage()) return;
        std::string pri = bstr_to_ansi(priContentType);
        std::string sec = bstr_to_ansi(secContentType);
        *result = mimeMessage_->IsContentType(ToHBody(bodyHandle), pri.c_str(), sec.c_str()) == S_OK ? 1 : 0;
    }, result);
}

HRESULT MXMessage::GetBodyPrimaryContentType(long bodyHandle, BSTR *priConType) {
    return Guard(L"GetBodyPrimaryContentType", [&] {
        if (!EnsureMimeMessage()) return;
        *priConType = make_bstr(ContentTypeHalves(bodyHandle).first).release();
    }, priConType);
}

HRESULT MXMessage::GetBodySecondaryContentType(long bodyHandle, BSTR *secConType) {
    return Guard(L"GetBodySecondaryContentType", [&] {
        if (!EnsureMimeMessage()) return;
        *secConType = make_bstr(ContentTypeHalves(bodyHandle).second).release();
    }, secConType);
}

HRESULT MXMessage::GetBodyDisplayName(long bodyHandle, BSTR *result) {
    return Guard(L"GetBodyDisplayName", [&] {
        com_ptr<IMimeBody> body = BindBody(bodyHandle);
        if (!body) return;
        unique_cotaskmem<char> name;
        if (FAILED(body->GetDisplayName(name.put())) || !name) return;
        *result = ansi_to_bstr(name.get()).release();
    }, result);
}

// Reads the body's decoded content as text. Both kinds of body are asked for in the Unicode text
// encoding; a text body (primary type exactly "text") is read as UTF-16 units, any other as ANSI
// bytes. A NUL in the content becomes U+FFFD, so the text after it is kept and a script still sees
// that something was there (the bytes that SaveBodyToFile writes stay exact).
HRESULT MXMessage::GetBodyText(long bodyHandle, BSTR *result) {
    return Guard(L"GetBodyText", [&] {
        com_ptr<IMimeBody> body = BindBody(bodyHandle);
        if (!body) return;
        const bool is_text = ContentTypeHalves(bodyHandle).first == L"text";
        com_ptr<IStream> data;
        if (FAILED(body->GetData(IET_UNICODE, data.put())) || !data) return;
        std::wstring text;
        if (is_text) {
            wchar_t buffer[2048];
            for (;;) {
                ULONG got = 0;
                if (FAILED(data->Read(buffer, kTextReadBytes, &got)) || got == 0) break;
                text.append(buffer, got / sizeof(wchar_t));
            }
        } else {
            // One byte in front for a lead byte carried over from the last piece (see
            // AnsiLeadBytes): no piece is converted with half a character at its end.
            char buffer[2049];
            size_t carried = 0;
            const AnsiLeadBytes& lead_bytes = AnsiLeadBytes::Get();
            for (;;) {
                ULONG got = 0;
                if (FAILED(data->Read(buffer + carried, kOtherReadBytes, &got)) || got == 0) {
                    if (carried) text.append(ansi_to_wide(buffer, 1));
                    break;
                }
                size_t count = carried + got;
                carried = 0;
                char lead = 0;
                if (got == kOtherReadBytes && lead_bytes.any() && lead_bytes.EndsOpen(buffer, count)) {
                    carried = 1;
                    lead = buffer[--count];
                }
                text.append(ansi_to_wide(buffer, static_cast<int>(count)));
                buffer[0] = lead;
            }
        }
        std::replace(text.begin(), text.end(), L'\0', L'\xFFFD');
        *result = make_bstr(text).release();
    }, result);
}

template <typename Fill>
long MXMessage::SetBodyFromStream(long body_handle, BSTR primary, BSTR secondary, ENCODINGTYPE encoding,
                                  Fill&& fill) {
    com_ptr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) || !stream) return 0;
    if (!fill(stream.get()) || FAILED(stream->Commit(STGC_DEFAULT))) return 0;
    return SetBodyData(body_handle, stream.get(), primary, secondary, encoding) ? 1 : 0;
}

// The text goes to the library as UTF-16 with a terminating zero unit, in a memory stream that is
// handed over without being rewound (the library reads it from its start).
HRESULT MXMessage::SetBodyText(long bodyHandle, BSTR bodyText, BSTR priContentType, BSTR secContentType,
                               long *success) {
    return Guard(L"SetBodyText", [&] {
        *success = 0;
        *success = SetBodyFromStream(bodyHandle, priContentType, secContentType, IET_UNICODE, [&](IStream* stream) {
            std::wstring_view text = ViewOf(bodyText);
            const ULONG bytes = static_cast<ULONG>((text.size() + 1) * sizeof(wchar_t));
            std::wstring terminated(text);
            ULONG written = 0;
            return SUCCEEDED(stream->Write(terminated.c_str(), bytes, &written)) && written == bytes;
        });
    }, success);
}

// Replaces the body's content with the bytes of a file and names the body after the file's last
// path component.
HRESULT MXMessage::SetBodyFromFile(long bodyHandle, BSTR filename, BSTR priContentType, BSTR secContentType,
                                   long *success) {
    return Guard(L"SetBodyFromFile", [&] {
        *success = 0;
        *success = SetBodyFromStream(bodyHandle, priContentType, secContentType, IET_BINARY, [&](IStream* stream) {
            LARGE_INTEGER zero{};
            if (FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr))) return false;
            unique_hfile file = OpenForReading(filename);
            return file && CopyFileToStream(file.get(), stream);
        });
        if (*success)
            WriteBodyPropertyWide(bodyHandle, PropertyIdAsName(MX_PID_PAR_FILENAME),
                                  std::wstring(LastPathComponent(ViewOf(filename))));
    }, success);
}

// Writes the body's decoded bytes into a file. With useDefaultName the path names a directory and
// the file takes the body's file-name property; that name comes from the mail, so only a safe leaf
// of it is used (SafeAttachmentFileName) and anything else is refused with nothing written, as is
// an empty directory. A path that the client gives whole is used as given.
//
// The body and its data are had before the file is opened, so an unknown handle or a body without
// data leaves no file behind and never empties an existing one.
HRESULT MXMessage::SaveBodyToFile(long bodyHandle, BSTR path, long useDefaultName, long *success) {
    return Guard(L"SaveBodyToFile", [&] {
        *success = 0;
        if (!EnsureMimeMessage()) return;
        std::wstring target(ViewOf(path));
        if (useDefaultName) {
            // An empty directory would put the file at the root of the current drive.
            if (target.empty()) return;
            std::optional<std::wstring> name =
                ReadBodyPropertyWide(bodyHandle, PropertyIdAsName(MX_PID_PAR_FILENAME));
            if (!name) return;
            std::optional<std::wstring> leaf = SafeAttachmentFileName(*name);
            if (!leaf) return;
            if (target.back() != L'\\') target.push_back(L'\\');
            target.append(*leaf);
        }
        if (target.empty()) return;

        com_ptr<IMimeBody> body = BindBody(bodyHandle);
        if (!body) return;
        com_ptr<IStream> data;
        if (FAILED(body->GetData(IET_BINARY, data.put())) || !data) return;

        unique_hfile file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return;
        std::unique_ptr<char[]> buffer(new char[kSaveToFilePiece]);
        for (;;) {
            ULONG got = 0;
            if (FAILED(data->Read(buffer.get(), kSaveToFilePiece, &got)) || got == 0) break;
            DWORD written = 0;
            if (!WriteFile(file.get(), buffer.get(), got, &written, nullptr) || written != got) return;
        }
        *success = 1;
    }, success);
}

HRESULT MXMessage::IsBodyAttachment(long bodyHandle, long *isAttach) {
    return Guard(L"IsBodyAttachment", [&] {
        *isAttach = EnsureMimeMessage() && IsAttachment(bodyHandle) ? 1 : 0;
    }, isAttach);
}

// Takes a snapshot of the message's attachments: the library's list, keeping only the bodies that
// the library calls attachments, in the library's order.
HRESULT MXMessage::GetFirstAttachment(long *bodyHandle) {
    return Guard(L"GetFirstAttachment", [&] {
        *bodyHandle = 0;
        attachmentHandles_.reset();
        attachmentCount_ = 0;
        attachmentIndex_ = 0;
        if (!EnsureMimeMessage()) return;
        ULONG count = 0;
        unique_cotaskmem<HBODY> handles;
        if (FAILED(mimeMessage_->GetAttachments(&count, handles.put())) || !handles) return;
        ULONG kept = 0;
        for (ULONG i = 0; i < count; ++i)
            if (IsAttachment(FromHBody(handles[i]))) handles[kept++] = handles[i];
        attachmentHandles_ = std::move(handles);
        attachmentCount_ = kept;
        if (kept == 0) return;
        attachmentIndex_ = 1;
        *bodyHandle = FromHBody(attachmentHandles_[0]);
    }, bodyHandle);
}

HRESULT MXMessage::GetNextAttachment(long *bodyHandle) {
    if (!bodyHandle) return E_POINTER;
    if (attachmentIndex_ >= attachmentCount_ || !attachmentHandles_) {
        attachmentHandles_.reset();
        *bodyHandle = 0;
        return S_OK;
    }
    *bodyHandle = FromHBody(attachmentHandles_[attachmentIndex_++]);
    return S_OK;
}

HRESULT MXMessage::GetFilename(long bodyHandle, BSTR *filename) {
    return Guard(L"GetFilename", [&] {
        if (!EnsureMimeMessage()) return;
        if (auto name = ReadBodyPropertyWide(bodyHandle, PropertyIdAsName(MX_PID_PAR_FILENAME)))
            *filename = make_bstr(*name).release();
    }, filename);
}

// The file is read here, through its UTF-16 name, and handed to the library as a stream; the
// library names the new body after the ANSI form of the name, so the body's name parameters are
// then set again in UTF-16 when that form lost characters.
HRESULT MXMessage::AttachFile(BSTR filename, long *bodyHandle) {
    return Guard(L"AttachFile", [&] {
        *bodyHandle = 0;
        if (!EnsureMimeMessage()) return;
        unique_hfile file = OpenForReading(filename);
        if (!file) return;
        com_ptr<IStream> stream;
        if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) || !stream) return;
        if (!CopyFileToStream(file.get(), stream.get())) return;
        file.reset();
        const std::string path = bstr_to_ansi(filename);
        HBODY body = nullptr;
        if (FAILED(mimeMessage_->AttachFile(path.c_str(), stream.get(), &body)) || !body) return;
        *bodyHandle = FromHBody(body);
        const std::wstring leaf(LastPathComponent(ViewOf(filename)));
        if (ansi_to_wide(path.c_str()) != ViewOf(filename)) {
            WriteBodyPropertyWide(*bodyHandle, PropertyIdAsName(MX_PID_PAR_FILENAME), leaf);
            WriteBodyPropertyWide(*bodyHandle, "par:content-type:name", leaf);
        }
    }, bodyHandle);
}

}  // namespace pelkary

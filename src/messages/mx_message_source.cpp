// MXMessage: reading the raw source through one read position (the source cursor), and the split
// into header and body at the first empty line, made on the raw text without the MIME library.
//
// Every piece read is taken as bytes in the ANSI code page and converted to UTF-16; the
// conversion of a piece stops at its first NUL byte. Under a double-byte code page (932, 936,
// 949, 950) a piece never ends inside a character: a lead byte at its end is carried to the next.
// Positions and lengths of header and body are counted in characters of the converted text, the
// source size in bytes.

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "comsupport/scope_exit.h"
#include "comsupport/text.h"
#include "comsupport/unique_any.h"
#include "comsupport/unique_bstr.h"
#include "messages/ansi_lead_bytes.h"
#include "messages/mx_message.h"

namespace pelkary {

namespace {

constexpr wchar_t kHeaderSeparator[] = L"\r\n\r\n";
constexpr size_t kSeparatorLength = 4;

constexpr long kHeaderSearchPiece = 100;
constexpr long kWholeBodyPiece = 1024;
constexpr long kSaveAsFilePiece = 4096;

// Searches `text` for the separator, starting where a separator that ends in the newly appended
// part could start. Keeps the header search linear in the length of the source.
size_t FindSeparator(const std::wstring& text, size_t appended_from) {
    size_t from = appended_from >= kSeparatorLength - 1 ? appended_from - (kSeparatorLength - 1) : 0;
    return text.find(kHeaderSeparator, from, kSeparatorLength);
}

// Larger read buffers are not kept between reads (a whole-source read of a big message).
constexpr size_t kKeptReadBuffer = 1 << 20;
// The largest piece asked for explicitly that is served when it also exceeds the whole source.
constexpr long long kLargestPiece = 64ll << 20;

// The characters of a single-byte ANSI code page, one per byte value, read once from the system.
// Such a code page converts every byte on its own, so a piece converts by lookup; bytes below
// 0x80 are ASCII in every ANSI code page and are widened sixteen at a time.
struct SingleByteCodePage {
    bool usable = false;
    bool ascii_identity = true;
    wchar_t characters[256] = {};

    SingleByteCodePage() {
        CPINFO info{};
        if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return;
        char all[256];
        for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
        if (MultiByteToWideChar(CP_ACP, 0, all, 256, characters, 256) != 256) return;
        for (int i = 0; i < 128; ++i) ascii_identity = ascii_identity && characters[i] == i;
        usable = true;
    }

    void Convert(const unsigned char* bytes, size_t count, wchar_t* out) const noexcept {
        size_t i = 0;
#ifdef __SSE2__
        if (ascii_identity) {
            const __m128i zero = _mm_setzero_si128();
            for (; i + 16 <= count; i += 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
                if (_mm_movemask_epi8(v) != 0) {
                    for (size_t k = i; k < i + 16; ++k) out[k] = characters[bytes[k]];
                    continue;
                }
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
            }
        }
#endif
        for (; i < count; ++i) out[i] = characters[bytes[i]];
    }
};

// The number of bytes before the first NUL (or `count`). The C runtime's strnlen goes byte by
// byte, which made it cost more than the conversion itself.
size_t LengthBeforeNul(const char* bytes, size_t count) noexcept {
    size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)) != 0) break;
    }
#endif
    while (i < count && bytes[i] != '\0') ++i;
    return i;
}

// The bytes of a piece up to its first NUL, converted from the ANSI code page, straight into the
// result when the code page has one character per byte.
unique_bstr PieceToBstr(const char* bytes, size_t count) {
    const size_t length = LengthBeforeNul(bytes, count);
    static const SingleByteCodePage code_page;
    if (!code_page.usable || length == 0) return ansi_to_bstr(bytes, static_cast<int>(length));
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (!text) throw std::bad_alloc();
    unique_bstr result(text);
    code_page.Convert(reinterpret_cast<const unsigned char*>(bytes), length, text);
    return result;
}

std::wstring_view View(const unique_bstr& text) noexcept {
    return text ? std::wstring_view(text.get(), text.length()) : std::wstring_view();
}

}  // namespace

bool MXMessage::OpenSourceCursor() noexcept {
    if (sourceCursor_) return true;
    if (!IsStored() || !storeFolder_) return false;
    if (FAILED(storeFolder_->OpenMessage(record_->dwMessageId, IID_IStream, sourceCursor_.put_void())))
        sourceCursor_.reset();
    return static_cast<bool>(sourceCursor_);
}

// Reads the next piece of at most `count` bytes from the read position; -1 means the recorded
// size + 1. A read that delivers nothing (the end, a failure, a count of 0) closes the cursor, so
// the next read starts at offset 0 again.
//
// The buffer is never larger than the recorded source size + 1: a count beyond that reads at most
// that much (the rest of the source, for a source that has not grown), so no count can make the
// object ask for gigabytes. A negative count other than -1 names no buffer at all and behaves as a
// failed read: an empty result with the position reset. An allocation failure does the same.
unique_bstr MXMessage::ReadSourceChunk(long count) {
    if (!IsStored()) return unique_bstr();
    const unsigned long long whole = static_cast<unsigned long long>(record_->cbMessage) + 1;
    long long n = count == -1 ? static_cast<long long>(whole) : count;

    if (!OpenSourceCursor()) return unique_bstr();

    // Zero, a negative count other than -1, and a huge count all ask for a buffer that is not had:
    // a huge count (past both the source and kLargestPiece) is refused rather than allocated, so a
    // script's GetSource(2147483647) can never make the process reach for gigabytes.
    if (n <= 0 || (static_cast<unsigned long long>(n) > whole && n > kLargestPiece)) {
        ResetSourceCursor();
        return unique_bstr();
    }
    const ULONG want = static_cast<ULONG>(
        std::min<unsigned long long>({static_cast<unsigned long long>(n), whole, 0xFFFFFFFEull}));
    // Room in front for a carried lead byte, and behind for the trail byte of a piece that is a
    // lone lead byte.
    try {
        if (readBuffer_.size() < static_cast<size_t>(want) + 2) readBuffer_.resize(static_cast<size_t>(want) + 2);
    } catch (const std::bad_alloc&) {
        readBuffer_ = std::vector<char>();
        ResetSourceCursor();
        return unique_bstr();
    }
    auto trim_buffer = scope_exit([&] {
        if (readBuffer_.size() > kKeptReadBuffer) readBuffer_ = std::vector<char>();
    });
    const int carried = carriedLeadByte_;
    carriedLeadByte_ = -1;
    char* const piece = readBuffer_.data() + (carried >= 0 ? 0 : 1);
    if (carried >= 0) readBuffer_[0] = static_cast<char>(carried);
    ULONG got = 0;
    HRESULT hr = sourceCursor_->Read(readBuffer_.data() + 1, want, &got);
    if (FAILED(hr) || got == 0) {
        // The source ended after a lead byte: it is a piece of its own.
        if (SUCCEEDED(hr) && carried >= 0) return PieceToBstr(piece, 1);
        ResetSourceCursor();
        return unique_bstr();
    }
    size_t length = std::min<ULONG>(got, want) + (carried >= 0 ? 1 : 0);
    const AnsiLeadBytes& lead_bytes = AnsiLeadBytes::Get();
    // A short read reached the end: a lead byte there has no trail byte to wait for.
    if (got >= want && lead_bytes.any() && LengthBeforeNul(piece, length) == length &&
        lead_bytes.EndsOpen(piece, length)) {
        if (length > 1) {
            carriedLeadByte_ = static_cast<unsigned char>(piece[--length]);
        } else {
            ULONG trail = 0;  // a lone lead byte takes its trail byte along rather than read as empty
            if (SUCCEEDED(sourceCursor_->Read(piece + 1, 1, &trail))) length += trail;
        }
    }
    return PieceToBstr(piece, length);
}

void MXMessage::FindHeader() {
    if (!headerCache_.empty()) return;
    ResetSourceCursor();
    for (;;) {
        unique_bstr piece = ReadSourceChunk(kHeaderSearchPiece);
        if (!piece || piece.length() == 0) return;
        const size_t appended_from = headerCache_.size();
        headerCache_.append(View(piece));
        const size_t at = FindSeparator(headerCache_, appended_from);
        if (at != std::wstring::npos) {
            headerCache_.resize(at);
            return;
        }
    }
}

// The first `maxBytesToRead` characters of the body (-1: all of it). Always starts over at offset
// 0 and rebuilds the header cache on the way. The piece size is set once the separator is found
// and not recomputed afterwards, so a short read before the end lets the body grow past the limit,
// up to the end of the source.
std::wstring MXMessage::ReadBody(long maxBytesToRead) {
    std::wstring body;
    if (!IsStored()) return body;
    long piece_size = maxBytesToRead == -1 ? kWholeBodyPiece : maxBytesToRead;
    ResetSourceCursor();
    headerCache_.clear();
    bool found = false;
    for (;;) {
        unique_bstr piece = ReadSourceChunk(piece_size);
        if (!piece || piece.length() == 0) break;
        if (!found) {
            const size_t appended_from = headerCache_.size();
            headerCache_.append(View(piece));
            const size_t at = FindSeparator(headerCache_, appended_from);
            if (at == std::wstring::npos) continue;
            found = true;
            body.assign(headerCache_, at + kSeparatorLength, std::wstring::npos);
            headerCache_.resize(at);
            if (maxBytesToRead != -1) piece_size = maxBytesToRead - static_cast<long>(body.size());
        } else {
            body.append(View(piece));
            if (maxBytesToRead != -1 && body.size() == static_cast<size_t>(maxBytesToRead)) break;
        }
    }
    return body;
}

HRESULT MXMessage::GetSourceLength(long *result) {
    return Answer(result, IsStored() ? static_cast<long>(record_->cbMessage) : 0L);
}

HRESULT MXMessage::GetAllSource(BSTR *result) {
    return Guard(L"GetAllSource", [&] {
        ResetSourceCursor();
        *result = ReadSourceChunk(-1).release();
    }, result);
}

HRESULT MXMessage::GetSource(long maxBytesToRead, BSTR *result) {
    return Guard(L"GetSource", [&] { *result = ReadSourceChunk(maxBytesToRead).release(); }, result);
}

HRESULT MXMessage::GetContentReset() {
    ResetSourceCursor();
    return S_OK;
}

HRESULT MXMessage::GetHeaderLength(long *result) {
    return Guard(L"GetHeaderLength", [&] {
        FindHeader();
        *result = static_cast<long>(std::min<size_t>(headerCache_.size(), LONG_MAX));
    }, result);
}

HRESULT MXMessage::GetHeader(BSTR *result) {
    return Guard(L"GetHeader", [&] {
        FindHeader();
        *result = make_bstr(headerCache_).release();
    }, result);
}

HRESULT MXMessage::GetBodyLength(long *result) {
    return Guard(L"GetBodyLength", [&] {
        FindHeader();
        // A source that cannot be had (the message is gone) has no body, whatever its record says.
        if (headerCache_.empty() && !OpenSourceCursor()) {
            *result = 0;
            return;
        }
        const long long size = IsStored() ? static_cast<long long>(record_->cbMessage) : 0;
        const long long length = size - static_cast<long long>(headerCache_.size()) - 4;
        *result = length < 0 ? 0 : static_cast<long>(std::min<long long>(length, LONG_MAX));
    }, result);
}

HRESULT MXMessage::GetBody(long maxBytesToRead, BSTR *result) {
    return Guard(L"GetBody", [&] { *result = make_bstr(ReadBody(maxBytesToRead)).release(); }, result);
}

HRESULT MXMessage::GetAllBody(BSTR *result) {
    return Guard(L"GetAllBody", [&] { *result = make_bstr(ReadBody(-1)).release(); }, result);
}

// Appends the stored bytes, from the current read position on (no reset first), to the file
// unchanged: no cut at NUL bytes and no pass through the code page, so the file is the message
// as the store keeps it. The source is opened before the file, so a message that is gone leaves
// no file behind. A failed read or write ends the loop with 0; what was written stays.
HRESULT MXMessage::SaveAsFile(BSTR filename, long *error) {
    return Guard(L"SaveAsFile", [&] {
        *error = 0;
        if (gone_ || (IsStored() && !OpenSourceCursor())) return;
        unique_hfile file(CreateFileW(filename ? filename : L"", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return;
        SetFilePointer(file.get(), 0, nullptr, FILE_END);
        if (!sourceCursor_) {
            *error = 1;  // an unsaved message has no source: nothing to write
            return;
        }
        if (readBuffer_.size() < static_cast<size_t>(kSaveAsFilePiece)) readBuffer_.resize(kSaveAsFilePiece);
        if (carriedLeadByte_ >= 0) {  // read from the source already, not yet handed out
            const char lead = static_cast<char>(carriedLeadByte_);
            carriedLeadByte_ = -1;
            DWORD written = 0;
            if (!WriteFile(file.get(), &lead, 1, &written, nullptr) || written != 1) return;
        }
        for (;;) {
            ULONG got = 0;
            if (FAILED(sourceCursor_->Read(readBuffer_.data(), kSaveAsFilePiece, &got))) {
                ResetSourceCursor();
                return;
            }
            if (got == 0) break;
            DWORD written = 0;
            if (!WriteFile(file.get(), readBuffer_.data(), got, &written, nullptr) || written != got) return;
        }
        ResetSourceCursor();
        *error = 1;
    }, error);
}

}  // namespace pelkary

#include "comsupport/stream_io.h"

#include <algorithm>

namespace pelkary {

HRESULT read_to_end(IStream* stream, std::string* out, std::size_t limit) {
    char chunk[65536];
    for (;;) {
        ULONG got = 0;
        const HRESULT hr = stream->Read(chunk, sizeof(chunk), &got);
        if (FAILED(hr)) return hr;
        if (got > limit - std::min(limit, out->size())) return STG_E_MEDIUMFULL;
        out->append(chunk, got);
        if (got == 0 || hr == S_FALSE) return S_OK;
    }
}

HRESULT write_all(IStream* stream, std::string_view bytes) noexcept {
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    while (!bytes.empty()) {
        ULONG written = 0;
        const HRESULT hr = stream->Write(bytes.data(), static_cast<ULONG>(std::min(bytes.size(), kPiece)), &written);
        if (FAILED(hr)) return hr;
        if (written == 0) return STG_E_MEDIUMFULL;
        bytes.remove_prefix(written);
    }
    return S_OK;
}

}  // namespace pelkary

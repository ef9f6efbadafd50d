#include "messages/ansi_lead_bytes.h"

#include <windows.h>

namespace pelkary {

const AnsiLeadBytes& AnsiLeadBytes::Get() {
    static const AnsiLeadBytes table;
    return table;
}

AnsiLeadBytes::AnsiLeadBytes() {
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 2) return;
    for (int r = 0; r + 1 < MAX_LEADBYTES && info.LeadByte[r] != 0; r += 2)
        for (int b = info.LeadByte[r]; b <= info.LeadByte[r + 1]; ++b) lead_[b] = any_ = true;
}

// A byte that cannot lead ends a character (alone or as a trail byte), so the run of lead-byte
// values after it pairs up from its start: an odd run leaves its last byte open.
bool AnsiLeadBytes::EndsOpen(const char* bytes, size_t count) const noexcept {
    size_t run = 0;
    while (run < count && lead_[static_cast<unsigned char>(bytes[count - 1 - run])]) ++run;
    return run % 2 == 1;
}

}  // namespace pelkary

// The lead bytes of the process's ANSI code page, for code that cuts ANSI text into pieces: under
// a double-byte code page (932, 936, 949, 950) a piece must not end between the two bytes of a
// character. Read once from the system; the ANSI code page of a process never changes.
#pragma once

#include <cstddef>

namespace pelkary {

class AnsiLeadBytes {
public:
    // The table of this process; thread-safe.
    static const AnsiLeadBytes& Get();

    // False under a single-byte code page: no byte ever opens a character.
    bool any() const noexcept { return any_; }

    // True when the last of `count` bytes opens a character that the bytes do not finish.
    bool EndsOpen(const char* bytes, size_t count) const noexcept;

private:
    AnsiLeadBytes();
    bool any_ = false;
    bool lead_[256] = {};
};

}  // namespace pelkary

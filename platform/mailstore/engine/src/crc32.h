// CRC-32 (the reflected 0xEDB88320 polynomial), eight bytes per step.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mailstore {

// |previous| is the CRC of the bytes before |data|, so a long source is
// checked in pieces: Crc32(b, nb, Crc32(a, na)) == Crc32(ab, na + nb).
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t previous = 0);

}  // namespace mailstore

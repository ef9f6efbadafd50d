// CRC-32 (the reflected 0xEDB88320 polynomial), eight bytes per step.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mailstore {

uint32_t Crc32(const uint8_t* data, size_t size);

}  // namespace mailstore

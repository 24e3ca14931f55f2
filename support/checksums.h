// The two checksums of the message buffer: Adler-32 over each packet and CRC-32C (Castagnoli)
// over each message. Both continue a running value, so a checksum can be taken piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brindle_export.h"

namespace brindle {

// Start with 1 for a whole Adler-32.
BRINDLE_EXPORT uint32_t adler32(uint32_t adler, const void* data, size_t length);
// The reflected CRC-32C with the usual inversions inside; start with 0 for a whole CRC.
BRINDLE_EXPORT uint32_t crc32c(uint32_t crc, const void* data, size_t length);
// The table-driven CRC-32C that crc32c falls back to where the processor has no CRC instruction.
uint32_t crc32c_tables(uint32_t crc, const void* data, size_t length);

}  // namespace brindle

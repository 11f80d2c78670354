#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 (reflected polynomial 0xEDB88320) continued from crc over the buffer, without the
// usual initial and final inversion: book checksums start from 0, and "abc" gives 0xCA6598D0.
// A null buffer or zero length returns crc unchanged.
uint32_t Crc32Update(uint32_t crc, const void* buffer, size_t length);

// The value Crc32Update(0, data) has for data whose standard CRC-32 (as ZIP archives store it)
// is zipCrc and whose length is length: no need to read the data again.
uint32_t Crc32FromStandard(uint32_t zipCrc, uint64_t length);

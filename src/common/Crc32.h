#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 (reflected polynomial 0xEDB88320) continued from crc over the buffer, without the
// usual initial and final inversion: book checksums start from 0, and "abc" gives 0xCA6598D0.
// A null buffer or zero length returns crc unchanged.
uint32_t Crc32Update(uint32_t crc, const void* buffer, size_t length);

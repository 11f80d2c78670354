#include "common/Crc32.h"

#include <libdeflate.h>
#include <zlib.h>

uint32_t Crc32Update(uint32_t crc, const void* buffer, size_t length) {
    if (!buffer || length == 0) return crc;
    // The standard CRC inverts the value on entry and on exit; undoing both gives the plain
    // table walk. libdeflate computes it with carry-less multiplication, several times zlib's speed.
    return ~libdeflate_crc32(~crc, buffer, length);
}

uint32_t Crc32FromStandard(uint32_t zipCrc, uint64_t length) {
    // The CRC register is affine in its start value: plain(0, d) = plain(~0, d) ^ plain(~0, 0^n),
    // and the standard CRC is ~plain(~0, d). So plain(0, d) = zipCrc ^ standard(0^n), where
    // standard(0^n), the CRC of n zero bytes, is built by doubling with crc32_combine.
    uLong zeros = 0;                                                  // standard CRC of the zero bytes taken so far
    uLong power = crc32(0, reinterpret_cast<const Bytef*>("\0"), 1);  // of 2^k zero bytes
    uint64_t powerLength = 1;
    for (uint64_t n = length; n; n >>= 1) {
        if (n & 1) zeros = crc32_combine(zeros, power, static_cast<z_off_t>(powerLength));
        power = crc32_combine(power, power, static_cast<z_off_t>(powerLength));
        powerLength *= 2;
    }
    return zipCrc ^ static_cast<uint32_t>(zeros);
}

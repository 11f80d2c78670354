#include "common/Crc32.h"

#include <zlib.h>

uint32_t Crc32Update(uint32_t crc, const void* buffer, size_t length) {
    if (!buffer || length == 0) return crc;
    // zlib inverts the value on entry and on exit; undoing both gives the plain table walk.
    return ~static_cast<uint32_t>(crc32_z(~crc & 0xFFFFFFFFu, static_cast<const Bytef*>(buffer), length));
}

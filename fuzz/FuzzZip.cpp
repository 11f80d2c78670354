// The archive reader on arbitrary bytes: open, list, and read every member (inner archives too).
#include <cstdint>
#include <vector>

#include "common/Error.h"
#include "scan/Packer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TPacker packer;
    try {
        if (!packer.OpenBytes(std::vector<uint8_t>(data, data + size), "fuzz.zip")) return 0;
        for (const TArcFileInfoRec& member : packer.List()) {
            if (member.IsFolder() || member.Encrypted) continue;
            try {
                packer.Extract(member.Path);
            } catch (const EShelvaraError&) {
            }
        }
    } catch (const EShelvaraError&) {
    }
    return 0;
}

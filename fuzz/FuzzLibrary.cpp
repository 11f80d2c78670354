// The library file reader on arbitrary bytes.
#include <cstdint>
#include <vector>

#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto stream = TSVDStream::FromBytes(std::vector<uint8_t>(data, data + size));
        TSVD svd;
        svd.LoadFromStream(*stream);
        TSVDStream out({}, false);
        svd.SaveToStream(out, true);
    } catch (const EShelvaraError&) {
    }
    return 0;
}

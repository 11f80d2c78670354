// The XML parser and the FB2 model on arbitrary bytes, with the cover scanner on the same text.
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/Error.h"
#include "fb2/FBCover.h"
#include "fb2/FBParser.h"
#include "fb2/MyStream.h"
#include "fb2/XMLPars.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (int keep : {int{kKeepDescription}, int{kKeepAll}}) {
        TFictionBook book;
        try {
            if (book.LoadFromBytes(data, size, keep))
                if (TSimpleType* body = book.FindBody()) (void)GetText(*body);
        } catch (const EShelvaraError&) {
        }
    }
    TMyMemStream stream;
    stream.Write(data, static_cast<int32_t>(size));
    (void)GetCover(stream);
    return 0;
}

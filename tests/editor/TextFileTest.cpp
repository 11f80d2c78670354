#include "editor/TextFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Encoding.h"
#include "fb2/Recoder.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// Every encoding reads as the same engine text and writes back byte for byte.
TEST(TextFileTest, EncodingsAreFoundAndWrittenBackAsTheyWere) {
    const std::string ansi = Utf8ToAnsi("Съешь же ещё этих мягких французских булок,\r\nда выпей чаю.\n");
    std::string koi8 = ansi, dos = ansi;
    ConvertCodePage(reinterpret_cast<uint8_t*>(koi8.data()), koi8.size(), cpWindows, cpKoi8);
    ConvertCodePage(reinterpret_cast<uint8_t*>(dos.data()), dos.size(), cpWindows, cpDos);
    const std::string utf8 = AnsiToUtf8(ansi);
    struct Case {
        std::string bytes;
        TTextEncoding encoding;
        bool bom;
    };
    for (const Case& c : std::vector<Case>{{ansi, TTextEncoding::Windows1251, false},
                                           {koi8, TTextEncoding::Koi8, false},
                                           {dos, TTextEncoding::Dos, false},
                                           {utf8, TTextEncoding::Utf8, false},
                                           {"\xEF\xBB\xBF" + utf8, TTextEncoding::Utf8, true},
                                           {"plain ASCII\n", TTextEncoding::Windows1251, false}}) {
        const TDecodedText decoded = DecodeTextFile(Bytes(c.bytes));
        EXPECT_EQ(decoded.Encoding, c.encoding) << EncodingName(c.encoding);
        EXPECT_EQ(decoded.Bom, c.bom);
        if (c.bytes != "plain ASCII\n") {
            EXPECT_EQ(decoded.Text, ansi) << EncodingName(c.encoding);
        }
        EXPECT_TRUE(decoded.Lossless);
        EXPECT_EQ(EncodeTextFile(decoded.Text, decoded.Encoding, decoded.Bom), Bytes(c.bytes));
    }
}

// UTF-8 characters that Windows-1251 lacks are kept through the engine text and written back.
TEST(TextFileTest, CharactersOutsideTheCodePageSurviveARoundTrip) {
    const TDecodedText decoded = DecodeTextFile(Bytes("Σ and 漢字, ё"));
    EXPECT_EQ(decoded.Encoding, TTextEncoding::Utf8);
    EXPECT_TRUE(decoded.Lossless);
    EXPECT_EQ(EncodeTextFile(decoded.Text + "!", decoded.Encoding, false), Bytes("Σ and 漢字, ё!"));
}

}  // namespace

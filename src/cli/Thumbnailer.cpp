#include "cli/Thumbnailer.h"

#include <charconv>
#include <filesystem>
#include <ostream>

#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/TextUtils.h"
#include "fb2/FBCover.h"
#include "fb2/MyStream.h"
#include "fb2/Picture.h"
#include "scan/Packer.h"

namespace {

// A book file bigger than this is no FB2 a thumbnail is worth reading for.
constexpr uintmax_t kMaxBookFile = uintmax_t{256} << 20;

bool EndsWith(const std::string& text, const char* end) {
    const std::string lower = AnsiLowerCase(text), tail(end);
    return lower.size() >= tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
}

// The FB2 text of the input: the file itself, or the first FB2 member of a ZIP.
std::vector<uint8_t> BookBytes(const std::filesystem::path& input) {
    const uintmax_t size = std::filesystem::file_size(input);
    if (size > kMaxBookFile) RaiseFixedError("the file is too big for a book");
    std::vector<uint8_t> bytes = ReadWholeFile(input);
    if (bytes.size() < 4 || bytes[0] != 'P' || bytes[1] != 'K') return bytes;
    TPacker zip;
    if (!zip.OpenBytes(std::move(bytes), "book.zip")) RaiseFixedError("not a readable ZIP archive");
    std::string member;
    for (const TArcFileInfoRec& m : zip.List())
        if (!m.IsFolder() && (member.empty() || (EndsWith(m.Path, ".fb2") && !EndsWith(member, ".fb2"))))
            member = m.Path;
    if (member.empty()) RaiseFixedError("the archive holds no book");
    return zip.Extract(member);
}

}  // namespace

int RunThumbnailer(const std::vector<std::string>& args, std::ostream& err) {
    std::vector<std::string> files;
    int size = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-s" && i + 1 < args.size()) {
            const std::string& text = args[++i];
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
            if (error != std::errc() || end != text.data() + text.size()) size = 0;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2 || size < 1 || size > 4096) {
        err << "Usage: " << kThumbnailerUsage << "\n" << kThumbnailerSummary << "\n";
        return 2;
    }
    const std::filesystem::path input = files[0], output = files[1];
    try {
        std::vector<uint8_t> book = BookBytes(input);
        TMyMemStream stream;
        stream.Write(book.data(), static_cast<int32_t>(std::min<size_t>(book.size(), INT32_MAX - 1)));
        const uint8_t zero = 0;
        stream.Write(&zero, 1);  // the cover finder reads text followed by a zero byte
        stream.SetSize(stream.Size() - 1);
        book = {};
        // The reader's caps hold: a picture declared beyond them is refused before decoding.
        const std::unique_ptr<TBitmap> cover = GetCover(stream);
        if (!cover || cover->Width <= 0 || cover->Height <= 0) {
            err << "shelvara-thumbnailer: " << input.string() << ": no cover picture\n";
            return 1;
        }
        const std::vector<uint8_t> png = EncodePng(ScaledToFit(*cover, size, size), /*fast=*/true);
        if (png.empty()) RaiseFixedError("the picture cannot be written as PNG");
        ReplaceFile(output, png.data(), png.size());
        return 0;
    } catch (const std::exception& e) {
        err << "shelvara-thumbnailer: " << input.string() << ": " << e.what() << "\n";
        return 1;
    }
}

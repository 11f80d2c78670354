#include "scan/Packing.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "common/TextUtils.h"
#include "scan/Packer.h"

std::vector<TBookInfo*> PackBooks(const std::vector<TBookInfo*>& books, std::vector<std::string>& warnings,
                                  IProgressSink* sink) {
    std::vector<TBookInfo*> packed;
    for (size_t i = books.size(); i-- > 0;) {
        if (sink && sink->Cancelled()) break;
        TBookInfo* book = books[i];
        if (sink)
            sink->Progress(static_cast<int64_t>(books.size() - 1 - i), static_cast<int64_t>(books.size()),
                           book->FullPath());
        const std::string path = TrimBlanks(book->FullPath());
        auto warn = [&](const std::string& why) { warnings.push_back(AnsiToUtf8(path) + ": " + why); };
        if (book->IsLost() || book->Packed || book->GetFileType() == kFileZip || book->IsReadOnly()) continue;
        if (!book->CheckExists()) continue;
        const size_t slash = path.find_last_of('/');
        const size_t dot = path.find_last_of('.');
        const std::string stem =
            dot != std::string::npos && (slash == std::string::npos || dot > slash) ? path.substr(0, dot) : path;
        const std::string archive = stem + ".zip";
        const std::string member = slash == std::string::npos ? path : path.substr(slash + 1);
        try {
            const std::vector<uint8_t> source = ReadWholeFile(AnsiToPath(path));
            TPacker packer;
            if (!packer.Open(archive, true)) {
                warn("cannot open " + AnsiToUtf8(archive));
                continue;
            }
            if (!packer.AddFromBytes(member, source, book->FileDate, 0x20, false)) {
                warn("the archive already holds " + AnsiToUtf8(member) + "; the file stays");
                continue;
            }
            packer.Close();  // written completely, or raises
            TPacker check;
            if (!check.Open(archive, false) || check.Extract(member) != source) {
                warn("the archive does not read back; the file stays");
                continue;
            }
        } catch (const EShelvaraError& e) {
            warn(AnsiToUtf8(e.what()));
            continue;
        }
        if (!RemoveFile(AnsiToPath(path))) {
            warn("packed into " + AnsiToUtf8(archive) + ", but the file could not be removed: " + std::strerror(errno));
            continue;
        }
        {
            TCatalogueGuard guard;
            book->Packed = true;
            const size_t archiveSlash = archive.find_last_of('/');
            book->SetNames(archiveSlash == std::string::npos ? archive : archive.substr(archiveSlash + 1), member);
        }
        packed.push_back(book);
    }
    return packed;
}

void WriteBookContent(const std::string& fullPath, bool packed, const std::string& entryName,
                      const std::vector<uint8_t>& bytes) {
    if (!packed) {
        ReplaceFile(AnsiToPath(fullPath), bytes.data(), bytes.size());
        return;
    }
    TPacker packer;
    if (!packer.Open(fullPath, false)) RaiseError(rsErrCannotOpenArchive, {fullPath});
    packer.AddFromBytes(entryName, bytes, 0, 0, true);
    packer.Close();
}

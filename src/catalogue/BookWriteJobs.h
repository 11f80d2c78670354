#pragma once

#include <cstddef>
#include <memory>
#include <vector>

class TBookFolder;
class TBookInfo;
class TSVDStream;

// The folders and books of a large library, written on every core: the output is cut into
// runs of about a thousand books (the books of a big folder, or neighbouring folders with all
// below them), each written into a part of the stream of its own; the parts join in order, so
// the bytes are those of a one-thread write.
class TBookWriteJobs final {
public:
    // threads: 0 for every core.
    explicit TBookWriteJobs(bool withImages, unsigned threads = 0) : withImages_(withImages), threads_(threads) {}

    // A folder's books, and its sub-folders: written now when they are few, else handed out.
    void WriteBooks(TSVDStream& stream, const std::vector<std::unique_ptr<TBookInfo>>& books);
    void WriteFolders(TSVDStream& stream, const std::vector<std::unique_ptr<TBookFolder>>& folders);
    // Writes everything handed out; the first error of any thread is raised here.
    void Run();

private:
    struct TJob {
        TSVDStream* Part = nullptr;
        const std::unique_ptr<TBookInfo>* Books = nullptr;
        size_t BookCount = 0;
        std::vector<TBookFolder*> Folders;
    };
    void AddFolders(TSVDStream& stream, std::vector<TBookFolder*>& group, size_t books);

    bool withImages_;
    unsigned threads_;
    std::vector<TJob> jobs_;
};

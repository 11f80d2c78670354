#pragma once

#include <string>
#include <vector>

#include "common/Progress.h"

class TBookInfo;

// Packs each book into its own ZIP archive next to it (x.fb2 -> x.zip holding x.fb2). A source
// file is deleted only after its archive was written completely and read back with the same
// content; lost, packed, read-only and ZIP books are left alone, and so is a book whose archive
// already holds a member of its name. Returns the books packed; problems go to warnings (UTF-8).
// Stops before the next book once the sink asks.
std::vector<TBookInfo*> PackBooks(const std::vector<TBookInfo*>& books, std::vector<std::string>& warnings,
                                  IProgressSink* sink = nullptr);

// Writes new content for a book file: a packed book's member is replaced in its archive (which is
// written back whole), a plain file is replaced; both through the atomic replace, so the old
// file stays until the new one is complete. Raises when the archive cannot be opened or written.
void WriteBookContent(const std::string& fullPath, bool packed, const std::string& entryName,
                      const std::vector<uint8_t>& bytes);

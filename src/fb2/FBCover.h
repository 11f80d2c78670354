#pragma once

#include <memory>
#include <vector>

#include "fb2/Picture.h"

class TMyMemStream;

// The cover picture of an FB2 file, found in its raw text (the coverpage's image reference and
// the binary with that id) without parsing the document; null when there is none or it cannot
// be decoded. The stream's content must be followed by a zero byte.
std::unique_ptr<TBitmap> GetCover(TMyMemStream& stream);
// The cover picture's bytes as the file holds them, and their format; false when there is none.
bool GetCoverBytes(TMyMemStream& stream, std::vector<uint8_t>& bytes, TPictureFormat& format);

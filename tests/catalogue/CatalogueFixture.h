#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/SVD.h"

// A 2 x 2 pixel, 24-bit Windows BMP file image.
std::vector<uint8_t> TinyBitmap();

// Fills an empty catalogue with everything a library file can hold: genres (built-in and
// added), authors with several spellings, nested series, two mount points (under root) with
// nested folders, plain and packed books with all four description parts, lost books and
// duplicate pairs, one of them naming a packed book.
void BuildFullCatalogue(TSVD& svd, const std::string& root);

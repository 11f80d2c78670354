#pragma once

#include <cstdint>

class TSVD;

// Fills a catalogue with a synthetic library of the given number of books: one mount point,
// folders of 1000 books, about one author per five books (named in several spellings), one
// series per ten books, built-in genres. Names and lookups go through the same calls an
// import makes, so the time it takes is that of matching authors and series. Rich books also
// carry what a scanned real book does (annotation, keywords, co-authors, translators,
// publisher, document history): about as many bytes a book as a scanned library stores.
void GenerateLibrary(TSVD& svd, int books, uint32_t seed = 1, bool rich = true);

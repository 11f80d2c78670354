#pragma once

#include <QString>

// A library to look around in at the first start, made by the program itself under folder:
// books/ with a few hundred FB2 books (covers, series, several spellings of one author's name,
// some packed in ZIP archives, a pair with the same text) and demo.sv2, catalogued, with one book
// whose file has gone. Returns the library file; an existing one is kept and returned as it is.
// Raises when the folder cannot be written.
QString MakeDemoLibrary(const QString& folder);

// The folder the program keeps the user's own data in (the demo, a first library).
QString UserDataFolder();

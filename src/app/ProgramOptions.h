#pragma once

// The desktop program's command line: --help prints it and the manual page is made from it.
struct TProgramOption {
    const char* Name;       // without the dashes
    const char* ValueName;  // empty for a switch
    const char* Description;
};

inline constexpr const char* kProgramDescription = "Catalogue manager for FB2 book libraries";
inline constexpr const char* kProgramArgumentName = "library";
inline constexpr const char* kProgramArgumentDescription =
    "The library file (.sv2 or .svd) to open, or a book (an FB2 file, or a ZIP archive holding one) to read on "
    "its own.";

inline constexpr TProgramOption kProgramOptions[] = {
    {"screenshots", "DIR", "Save a picture of every tab, the book panels and the settings window into DIR, then end."},
    {"edit", "FILE", "Open a text file in the program's editor."},
    {"render", "BOOK",
     "Draw pages of a book as PNG pictures, without a display: --render BOOK [--entry MEMBER] [--width PX] "
     "[--height PX] [--pages N] --out DIR."},
};

#pragma once

#include <QStringList>

// shelvara --render BOOK [--entry MEMBER] [--width PX] [--height PX] [--pages N] --out DIR:
// the first N screens of a book as PNG files, painted by the book view itself, without a
// display. Prints the time to load, lay out and paint. Returns the exit status.
int RunRenderCommand(const QStringList& arguments);

// True when the command line asks for it (the offscreen platform must be chosen before the
// application object exists).
bool IsRenderCommand(int argc, char** argv);

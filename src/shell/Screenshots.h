#pragma once

#include <QString>

class TProgram;

// Pictures every tab of the first main window, the book panels docked, tabbed and floating on a
// book with a cover, and the settings window, into dir; then ends the event loop.
void TakeScreenshots(TProgram& program, const QString& dir);

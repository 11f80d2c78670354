#pragma once

#include <QString>

class TSVMainForm;

// Pictures every tab of the first main window, the book panels docked, tabbed and floating on a
// book with a cover, and the settings window, into dir; then ends the event loop.
void TakeScreenshots(TSVMainForm& hub, const QString& dir);

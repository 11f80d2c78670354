#pragma once

class QBoxLayout;
class QDialog;
class QPushButton;
class TIniPlacement;

// The OK and Cancel buttons at the right of a dialog's bottom row, closing it with accept and
// reject.
void AddOkCancelRow(QDialog* dialog, QBoxLayout* layout, QPushButton*& ok, QPushButton*& cancel);

// Saves a window's placement when it goes, unless already saved; a settings file that cannot be
// written is not worth a box while a window closes.
void SavePlacementQuietly(TIniPlacement* placement) noexcept;

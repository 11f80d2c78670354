#pragma once

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <vector>

#include "editor/TextFile.h"

class QAction;
class QLabel;
class TEditorCommands;
class TMyMemo;
class TSettingsStore;

// A text file (plain, HTML, an FB2 file's source) in the program's editor, with find and
// replace, the formatter, and saving back in the file's own encoding and line ends.
class TEditorWindow final : public QMainWindow {
    Q_OBJECT

public:
    explicit TEditorWindow(TSettingsStore& store, QWidget* parent = nullptr);

    TMyMemo* Memo;
    TEditorCommands* Commands;
    QAction* SaveAction;
    QAction* RevertAction;
    QAction* WrapAction;

    // Reads a file into the editor; false (with the reason shown) when it cannot be read.
    bool OpenFile(const QString& path);
    // Writes the text back in the encoding and with the line ends it was read with; false (with
    // the reason shown) when it could not be written.
    bool Save();
    // Reads the file again, dropping the edits.
    bool Revert();
    bool Modified() const { return modified_; }
    const QString& FileName() const { return file_; }
    TTextEncoding Encoding() const { return encoding_; }
    // Pending edits saved after asking; false when the user cancelled or the save failed.
    bool SaveEdits();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void UpdateTitle();
    // What the file on disk was when read or last written: another program's change shows.
    struct TDiskStamp {
        int64_t Size = -1;
        int64_t Time = 0;  // modification time, nanoseconds
        uint32_t Crc = 0;
        bool operator==(const TDiskStamp&) const = default;
    };
    static TDiskStamp StampOf(const std::vector<uint8_t>& bytes, const QString& path);
    // True when the file may be written: unchanged on disk since read, or the user chose to
    // overwrite another program's change. Reloads it when the user chose that.
    bool MayOverwrite();
    TDiskStamp stamp_;

    QString file_;
    TTextEncoding encoding_ = TTextEncoding::Windows1251;
    bool bom_ = false;
    bool modified_ = false;
    bool loading_ = false;
    QLabel* status_;
};

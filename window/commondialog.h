#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// What a command asks the file dialog for.
struct FileRequest
{
    enum class Mode { Open, Save };

    Mode mode = Mode::Open;
    int flags = 0;
    QString filter;   // "desc|pattern|desc|pattern"
    QString fileName; // the name the dialog starts with
    QString folder;   // where the dialog starts; none: where fileName is
};

// Who answers a file dialog: the system's own dialog, or a test.
class FileChooser
{
public:
    virtual ~FileChooser() = default;
    // The chosen files' paths in the order the dialog returns them; none for a cancel.
    virtual std::optional<QStringList> choose(QWidget *parent, const FileRequest &request) = 0;
};

// The system's file dialogs.
FileChooser &systemFileChooser();

// The window's one file dialog: its settings outlast each use, and the open
// and save commands set what they need just before showing it.
class CommonDialog
{
public:
    // The flag bits the commands use.
    enum Flag : int {
        OverwritePrompt = 0x2,
        AllowMultiSelect = 0x200,
        NoReadOnlyReturn = 0x8000,
        Explorer = 0x80000, // the look of the system's dialog
    };

    explicit CommonDialog(FileChooser &chooser = systemFileChooser()) : m_chooser(chooser) {}

    // A cancelled dialog raises AppError 32755 when set.
    bool CancelError = false;
    int Flags = 0;
    // Description and pattern alternating: "NES Roms (*.nes)|*.nes|...".
    QString Filter;
    // The chosen file's full path, with native separators; the next dialog starts from it.
    QString FileName;
    // Every chosen file's full path, in the order the dialog returned them.
    QStringList FileNames;

    void ShowOpen(QWidget *parent);
    void ShowSave(QWidget *parent);

    // Keeps path's folder in the settings: the next dialog of that mode
    // starts there, in this run and the next.
    static void rememberFolder(FileRequest::Mode mode, const QString &path);

private:
    void show(QWidget *parent, FileRequest::Mode mode);

    FileChooser &m_chooser;
};

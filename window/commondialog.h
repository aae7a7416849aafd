#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

class QWidget;

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

    // A cancelled dialog raises AppError 32755 when set.
    bool CancelError = false;
    int Flags = 0;
    // Description and pattern alternating: "NES Roms (*.nes)|*.nes|...".
    QString Filter;
    // The chosen file's full path, with native separators; the next dialog starts from it.
    QString FileName;
    // The chosen file's name without its directory.
    QString FileTitle;
    // Every chosen file's full path, in the order the dialog returned them.
    QStringList FileNames;

    void ShowOpen(QWidget *parent);
    void ShowSave(QWidget *parent);

    // Test seam: the next ShowOpen or ShowSave answers with these paths
    // (std::nullopt for a cancel) instead of opening a dialog.
    void scriptNextAnswer(std::optional<QStringList> paths) { m_scripted.push_back(std::move(paths)); }

private:
    enum class Mode { Open, Save };
    void show(QWidget *parent, Mode mode);
    std::optional<QStringList> ask(QWidget *parent, Mode mode) const;

    std::deque<std::optional<QStringList>> m_scripted;
};

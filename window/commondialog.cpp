#include "commondialog.h"

#include "apperror.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#ifdef Q_OS_WIN
#include <QWidget>

#include <cwchar>
#include <vector>

#include <windows.h>
#include <commdlg.h>
#else
#include <QFileDialog>
#include <QMessageBox>
#endif

namespace {

QString folderKey(FileRequest::Mode mode)
{
    return mode == FileRequest::Mode::Open ? QStringLiteral("dialogs/romFolder")
                                           : QStringLiteral("dialogs/outputFolder");
}

#ifndef Q_OS_WIN
// "desc|pattern|desc|pattern" into Qt's "desc (pattern)" entries. Where
// names need not hold a dot, "*.*" would hide files without one: "*" it is.
QStringList nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QString pattern = parts[i + 1].trimmed();
        if (pattern == QStringLiteral("*.*"))
            pattern = QStringLiteral("*");
        pattern.replace(u';', u' ');
        const qsizetype open = description.lastIndexOf(u'(');
        if (open > 0 && description.endsWith(u')'))
            description = description.left(open).trimmed();
        filters << QStringLiteral("%1 (%2)").arg(description, pattern);
    }
    return filters;
}

// The checks the flag word asks for that the toolkit's dialog does not make itself.
bool acceptable(QWidget *parent, int flags, const QString &path)
{
    const QFileInfo file(path);
    if ((flags & CommonDialog::NoReadOnlyReturn)
        && (file.exists() ? !file.isWritable() : !QFileInfo(file.absolutePath()).isWritable())) {
        QMessageBox::warning(
                parent, parent->windowTitle(),
                QStringLiteral("%1\nis write-protected. Choose another file.").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    return true;
}
#endif

class SystemFileChooser : public FileChooser
{
public:
    std::optional<QStringList> choose(QWidget *parent, const FileRequest &request) override;
};

} // namespace

FileChooser &systemFileChooser()
{
    static SystemFileChooser chooser;
    return chooser;
}

void CommonDialog::ShowOpen(QWidget *parent)
{
    show(parent, FileRequest::Mode::Open);
}

void CommonDialog::ShowSave(QWidget *parent)
{
    show(parent, FileRequest::Mode::Save);
}

void CommonDialog::rememberFolder(FileRequest::Mode mode, const QString &path)
{
    QSettings().setValue(folderKey(mode), QFileInfo(QDir::fromNativeSeparators(path)).absolutePath());
}

void CommonDialog::show(QWidget *parent, FileRequest::Mode mode)
{
    const QString folder = QSettings().value(folderKey(mode)).toString();
    const std::optional<QStringList> chosen = m_chooser.choose(parent, {mode, Flags, Filter, FileName, folder});
    if (!chosen || chosen->isEmpty()) {
        if (CancelError)
            throw AppError::dialogCancelled();
        return;
    }
    FileNames.clear();
    for (const QString &path : std::as_const(*chosen))
        FileNames << QDir::toNativeSeparators(path);
    FileName = FileNames.first();
}

#ifdef Q_OS_WIN
// The system's own dialog, which takes the commands' flag bits as they are.
std::optional<QStringList> SystemFileChooser::choose(QWidget *parent, const FileRequest &request)
{
    const bool open = request.mode == FileRequest::Mode::Open;
    // "desc|pattern|..." with each part ended by a NUL and the list by one more.
    const std::wstring filter = (QString(request.filter).replace(u'|', QChar()) + QString(2, QChar())).toStdWString();
    // Room for a long multi-selection: "dir\0name\0name\0\0".
    std::vector<wchar_t> file(64 * 1024);
    QDir::toNativeSeparators(request.fileName).left(qsizetype(file.size()) - 1).toWCharArray(file.data());
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    // Qt's offscreen platform has no system window to own the dialog.
    const HWND owner = parent ? HWND(parent->window()->winId()) : nullptr;
    dialog.hwndOwner = IsWindow(owner) ? owner : nullptr;
    dialog.lpstrFilter = filter.c_str();
    const std::wstring folder = QDir::toNativeSeparators(request.folder).toStdWString();
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = DWORD(file.size());
    // Explorer: the multi-selection form above. The current folder stays: one
    // left in the chosen folder could not be removed while the program runs.
    // A game must be a file that exists, as off Windows. No default extension
    // (lpstrDefExt): a name typed without one is used as typed.
    dialog.Flags = DWORD(request.flags) | OFN_EXPLORER | OFN_NOCHANGEDIR | (open ? OFN_FILEMUSTEXIST : 0);
    if (!(open ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog))) {
        if (const DWORD failure = CommDlgExtendedError())
            throw AppError(int(failure),
                           QStringLiteral("The file dialog failed (0x%1)").arg(failure, 4, 16, QChar(u'0')),
                           AppError::Domain::Windows);
        return std::nullopt;
    }
    QStringList parts;
    for (const wchar_t *part = file.data(); *part; part += wcslen(part) + 1)
        parts << QString::fromWCharArray(part);
    if (parts.size() > 1) {
        const QString folder = parts.takeFirst();
        for (QString &name : parts)
            name = folder + u'\\' + name;
    }
    return parts;
}
#else
std::optional<QStringList> SystemFileChooser::choose(QWidget *parent, const FileRequest &request)
{
    const bool open = request.mode == FileRequest::Mode::Open;
    const int flags = request.flags;
    QFileDialog dialog(parent);
    dialog.setNameFilters(nameFilters(request.filter));
    if (open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode((flags & CommonDialog::AllowMultiSelect) ? QFileDialog::ExistingFiles
                                                                    : QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !(flags & CommonDialog::OverwritePrompt));
    }
    const QFileInfo last(request.fileName);
    if (!request.folder.isEmpty() || !request.fileName.isEmpty())
        dialog.setDirectory(request.folder.isEmpty() ? last.absolutePath() : request.folder);
    if (!request.fileName.isEmpty())
        dialog.selectFile(last.fileName());
    while (dialog.exec() == QDialog::Accepted) {
        const QStringList chosen = dialog.selectedFiles();
        if (std::all_of(chosen.begin(), chosen.end(), [&](const QString &p) { return acceptable(&dialog, flags, p); }))
            return chosen;
    }
    return std::nullopt;
}
#endif

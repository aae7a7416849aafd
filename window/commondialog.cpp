#include "commondialog.h"

#include "apperror.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

// "desc|pattern|desc|pattern" into Qt's "desc (pattern)" entries. Where
// names need not hold a dot, "*.*" would hide files without one: "*" it is.
QStringList nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QString pattern = parts[i + 1].trimmed();
#ifndef Q_OS_WIN
        if (pattern == QStringLiteral("*.*"))
            pattern = QStringLiteral("*");
#endif
        pattern.replace(u';', u' ');
        const qsizetype open = description.lastIndexOf(u'(');
        if (open > 0 && description.endsWith(u')'))
            description = description.left(open).trimmed();
        filters << QStringLiteral("%1 (%2)").arg(description, pattern);
    }
    return filters;
}

} // namespace

void CommonDialog::ShowOpen(QWidget *parent)
{
    show(parent, Mode::Open);
}

void CommonDialog::ShowSave(QWidget *parent)
{
    show(parent, Mode::Save);
}

void CommonDialog::show(QWidget *parent, Mode mode)
{
    std::optional<QStringList> chosen;
    if (!m_scripted.empty()) {
        chosen = std::move(m_scripted.front());
        m_scripted.pop_front();
    } else {
        chosen = ask(parent, mode);
    }
    if (!chosen || chosen->isEmpty()) {
        if (CancelError)
            throw AppError::dialogCancelled();
        return;
    }
    FileNames.clear();
    for (const QString &path : std::as_const(*chosen))
        FileNames << QDir::toNativeSeparators(path);
    FileName = FileNames.first();
    FileTitle = QFileInfo(chosen->first()).fileName();
}

std::optional<QStringList> CommonDialog::ask(QWidget *parent, Mode mode) const
{
    QFileDialog dialog(parent);
    dialog.setNameFilters(nameFilters(Filter));
    if (mode == Mode::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode((Flags & AllowMultiSelect) ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !(Flags & OverwritePrompt));
    }
    if (!FileName.isEmpty()) {
        const QFileInfo last(FileName);
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    while (dialog.exec() == QDialog::Accepted) {
        const QStringList chosen = dialog.selectedFiles();
        if (std::all_of(chosen.begin(), chosen.end(), [&](const QString &p) { return acceptable(&dialog, p); }))
            return chosen;
    }
    return std::nullopt;
}

// The checks the flag word asks for that the toolkit's dialog does not make itself.
bool CommonDialog::acceptable(QWidget *parent, const QString &path) const
{
    const QFileInfo file(path);
    if ((Flags & NoReadOnlyReturn)
        && (file.exists() ? !file.isWritable() : !QFileInfo(file.absolutePath()).isWritable())) {
        QMessageBox::warning(
                parent, parent->windowTitle(),
                QStringLiteral("%1\nis write-protected. Choose another file.").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    return true;
}

#include "startfolder.h"

#include "apperror.h"
#include "systemcalls.h"

void enterStartFolder(const QStringList &arguments)
{
    if (arguments.size() > 2)
        throw AppError::invalidArgument(QStringLiteral("Usage: tamblinvx-lofter [FOLDER]"));
    if (arguments.size() < 2)
        return;
    QString folder = arguments.at(1);
#ifdef Q_OS_WIN
    // The shell hands a drive's root over as "C:\", and the command line's
    // rules read that backslash as escaping the quote: C:" arrives. No folder
    // name holds a quote.
    if (folder.endsWith(u'"')) {
        folder.chop(1);
        folder += u'\\';
    }
#endif
    setCurrentDirectory(folder);
}

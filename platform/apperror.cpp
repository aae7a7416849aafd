#include "apperror.h"

#include <cstring>
#include <limits>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

AppError::AppError(int number, QString text)
    : m_number(number), m_text(std::move(text)), m_what(m_text.toUtf8())
{
}

AppError AppError::invalidArgument()
{
    return invalidArgument(QStringLiteral("Invalid procedure call or argument"));
}

AppError AppError::invalidArgument(const QString &text)
{
    return AppError(InvalidArgument, text);
}

AppError AppError::overflow()
{
    return AppError(Overflow, QStringLiteral("Overflow"));
}

AppError AppError::outOfRange()
{
    return AppError(OutOfRange, QStringLiteral("Subscript out of range"));
}

AppError AppError::dialogCancelled()
{
    return AppError(DialogCancelled, QStringLiteral("Cancel was selected."));
}

AppError AppError::fromErrno(int errorNumber)
{
    // Not qt_error_string: on Windows it reads the number as a Windows error code.
#ifdef Q_OS_WIN
    return AppError(errorNumber, QString::fromWCharArray(_wcserror(errorNumber)));
#else
    return AppError(errorNumber, QString::fromLocal8Bit(std::strerror(errorNumber)));
#endif
}

#ifdef Q_OS_WIN
AppError AppError::fromLastWindowsError()
{
    const DWORD code = GetLastError();
    wchar_t *message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t *>(&message), 0, nullptr);
    QString text = length ? QString::fromWCharArray(message, int(length)).trimmed()
                          : QStringLiteral("Unknown error 0x%1").arg(code, 0, 16);
    LocalFree(message);
    return AppError(int(code), text);
}
#endif

qint16 checkedInt16(int value)
{
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        throw AppError::overflow();
    return static_cast<qint16>(value);
}

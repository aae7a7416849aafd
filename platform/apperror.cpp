#include "apperror.h"

#include <cstring>
#include <iterator>
#include <limits>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// The system's message, then the file or folder it concerns where one is known.
QString naming(const QString &text, const QString &path)
{
    return path.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, path);
}

} // namespace

AppError::AppError(int number, QString text, Domain domain)
    : m_code{domain, number}, m_text(std::move(text)), m_what(m_text.toUtf8())
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

AppError AppError::fromErrno(int errorNumber, const QString &path)
{
    // Not qt_error_string: on Windows it reads the number as a Windows error code.
#ifdef Q_OS_WIN
    wchar_t message[256];
    _wcserror_s(message, std::size(message), errorNumber);
    const QString text = QString::fromWCharArray(message);
#else
    const QString text = QString::fromLocal8Bit(std::strerror(errorNumber));
#endif
    return AppError(errorNumber, naming(text, path), Domain::CLibrary);
}

#ifdef Q_OS_WIN
AppError AppError::fromLastWindowsError(const QString &path)
{
    const DWORD code = GetLastError();
    wchar_t *message = nullptr;
    const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t *>(&message), 0, nullptr);
    const QString text = length ? QString::fromWCharArray(message, int(length)).trimmed()
                                : QStringLiteral("Unknown error 0x%1").arg(code, 0, 16);
    LocalFree(message);
    return AppError(int(code), naming(text, path), Domain::Windows);
}
#endif

qint16 checkedInt16(int value)
{
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        throw AppError::overflow();
    return static_cast<qint16>(value);
}

#include "apperror.h"

#include <limits>

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
    return AppError(errorNumber, qt_error_string(errorNumber));
}

AppError AppError::fromErrno(int errorNumber, const QString &path)
{
    return AppError(errorNumber, QStringLiteral("%1 (%2)").arg(qt_error_string(errorNumber), path));
}

qint16 checkedInt16(int value)
{
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        throw AppError::overflow();
    return static_cast<qint16>(value);
}

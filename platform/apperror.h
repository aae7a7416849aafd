#pragma once

#include <QString>
#include <exception>

// The one error type of the program: a number and a text, as the error report
// shows them. Small numbers are the program's own; file and directory failures
// carry the operating system's error number and message.
class AppError : public std::exception
{
public:
    enum Number : int {
        InvalidArgument = 5,
        Overflow = 6,
        OutOfRange = 9,
        DialogCancelled = 32755,
        // An exception that is not one of the program's own (std::bad_alloc and the like).
        Internal = 51,
    };

    AppError(int number, QString text);

    int number() const noexcept { return m_number; }
    const QString &text() const noexcept { return m_text; }
    const char *what() const noexcept override { return m_what.constData(); }

    static AppError invalidArgument();
    static AppError invalidArgument(const QString &text);
    static AppError overflow();
    static AppError outOfRange();
    static AppError dialogCancelled();
    // A C runtime failure: errno and the runtime's own message for it, then
    // the file or folder it concerns where one is given.
    static AppError fromErrno(int errorNumber, const QString &path = {});
#ifdef Q_OS_WIN
    // A Windows API failure: GetLastError() and the system's message for it,
    // then the file or folder it concerns where one is given.
    static AppError fromLastWindowsError(const QString &path = {});
#endif

private:
    int m_number;
    QString m_text;
    QByteArray m_what;
};

// 16-bit signed arithmetic with the overflow check that index steps need.
qint16 checkedInt16(int value);

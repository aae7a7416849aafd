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

    static AppError invalidArgument();
    static AppError invalidArgument(const QString &text);
    static AppError overflow();
    static AppError outOfRange();
    static AppError dialogCancelled();
    // A C runtime errno: its number and the runtime's message for it.
    static AppError fromErrno(int errorNumber);
    // The same, naming the file or folder that failed after the message.
    static AppError fromErrno(int errorNumber, const QString &path);

    int number() const noexcept { return m_number; }
    const QString &text() const noexcept { return m_text; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_text;
    QByteArray m_what;
};

// 16-bit signed arithmetic with the overflow check that index steps need.
qint16 checkedInt16(int value);

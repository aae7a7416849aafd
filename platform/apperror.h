#pragma once

#include <QString>
#include <exception>

// The one error type of the program: a number and a text, as the error report
// shows them, and where the number comes from. Small numbers are the
// program's own; file and directory failures carry the operating system's
// error number and message.
class AppError : public std::exception
{
public:
    // Who gave the number its meaning: the same number means different things
    // in each (5 is the program's invalid argument, the C library's EIO and
    // Windows' access denied).
    enum class Domain {
        Program,
        CLibrary, // errno
        Windows,  // GetLastError() and the codes of Windows' other APIs
    };

    // The program's own numbers.
    enum Number : int {
        InvalidArgument = 5,
        Overflow = 6,
        OutOfRange = 9,
        InvalidFileFormat = 321, // an archive that cannot be read
        DialogCancelled = 32755,
        // An exception that is not one of the program's own (std::bad_alloc and the like).
        Internal = 51,
    };

    // A number together with its domain: what tells two errors apart.
    struct Code
    {
        Domain domain = Domain::Program;
        int number = 0;

        bool operator==(const Code &) const = default;
    };

    AppError(int number, QString text, Domain domain = Domain::Program);

    int number() const noexcept { return m_code.number; }
    Domain domain() const noexcept { return m_code.domain; }
    Code code() const noexcept { return m_code; }
    const QString &text() const noexcept { return m_text; }
    const char *what() const noexcept override { return m_what.constData(); }
    // The same error told with another text, such as this one in context.
    AppError withText(QString text) const { return AppError(m_code.number, std::move(text), m_code.domain); }

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
    Code m_code;
    QString m_text;
    QByteArray m_what;
};

// 16-bit signed arithmetic with the overflow check that index steps need.
qint16 checkedInt16(int value);

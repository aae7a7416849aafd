#include "buildscript.h"

#include "apperror.h"
#include "buildfiles.h"
#include "codepage.h"
#include "romlist.h"
#include "systemcalls.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

bool hasUnsafeCharacter(const QString &path)
{
    for (const QChar c : path) {
        if (c == u'"' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

namespace {

// The command interpreter splits a bare path at a blank and reads the other
// characters here as operators; such a path goes in double quotes.
QByteArray scriptPath(const QString &path, const ScriptForm &form)
{
    const bool quote =
            std::any_of(path.begin(), path.end(), [](QChar c) { return QStringView(u" +&|<>^(),;=%!").contains(c); });
    if (!form.windows) {
        const QByteArray bytes = QFile::encodeName(path);
        return quote ? '"' + bytes + '"' : bytes;
    }
    // "copy" reads a "/" as a switch. Inside quotes the interpreter still
    // expands %...%; a doubled % is a plain one.
    QString text = QString(path).replace(u'/', u'\\');
    if (quote)
        text = u'"' + text.replace(u'%', QStringLiteral("%%")) + u'"';
    const std::optional<std::string> bytes = encodeInCodePage(
            std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), std::size_t(text.size())),
            form.codePage);
    if (!bytes)
        throw AppError::invalidArgument(
                QStringLiteral("The path \"%1\" holds a character that code page %2 cannot hold "
                               "and cannot be written into the build script.")
                        .arg(path)
                        .arg(form.codePage));
    return QByteArray::fromStdString(*bytes);
}

std::filesystem::path filesystemPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString qtPath(const std::filesystem::path &path)
{
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

// A path spelled as it would be once it exists: the folders that exist now
// resolved (links, "..", case), the rest as written.
QString resolvedSpelling(const std::filesystem::path &path)
{
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    return QDir::cleanPath(qtPath(error ? path : resolved));
}

// Whether output, once written, would be the file input: by identity where
// both exist (links, other spellings, case-insensitive file systems count),
// by resolved spelling where neither does yet. One that exists and one that
// does not are different files.
class SameFileCheck
{
public:
    explicit SameFileCheck(std::filesystem::path output)
        : m_output(std::move(output)), m_outputExists(std::filesystem::exists(m_output, m_error))
    {
    }

    bool operator()(const std::filesystem::path &input)
    {
        if (m_outputExists)
            return std::filesystem::equivalent(m_output, input, m_error);
        if (std::filesystem::exists(input, m_error))
            return false;
        if (m_outputSpelling.isNull())
            m_outputSpelling = resolvedSpelling(m_output);
        const Qt::CaseSensitivity sensitivity = QDir::separator() == u'\\' ? Qt::CaseInsensitive : Qt::CaseSensitive;
        return resolvedSpelling(input).compare(m_outputSpelling, sensitivity) == 0;
    }

private:
    std::filesystem::path m_output;
    std::error_code m_error;
    bool m_outputExists;
    QString m_outputSpelling;
};

} // namespace

void checkBuildPaths(const QString &startDir, const QString &outputPath, const RomList &roms)
{
    const qint16 games = roms.upperBound();
    const auto refuseUnsafe = [](const QString &path) {
        if (hasUnsafeCharacter(path))
            throw AppError::invalidArgument(
                    QStringLiteral("The path \"%1\" holds a double quote or a control character "
                                   "and cannot be written into the build script.")
                            .arg(path));
    };
    refuseUnsafe(startDir);
    refuseUnsafe(outputPath);
    for (qint16 i = 0; i < games; ++i)
        refuseUnsafe(roms.at(i).RomPath);

    const QDir base(startDir);
    const auto absolute = [&](const QString &path) { return filesystemPath(base.absoluteFilePath(path)); };
    SameFileCheck isOutput(absolute(outputPath));
    const auto refuseOverwrite = [&](const QString &input) {
        if (isOutput(absolute(input)))
            throw AppError::invalidArgument(QStringLiteral("The output file \"%1\" is one of the build's inputs "
                                                           "and would be destroyed.")
                                                    .arg(outputPath));
    };
    for (const QString &file : {BuildFiles::EmulatorImage, BuildFiles::Menu, BuildFiles::Script})
        refuseOverwrite(file);
    for (qint16 i = 0; i < games; ++i)
        refuseOverwrite(roms.at(i).RomPath);
}

ScriptForm ScriptForm::platform()
{
#ifdef Q_OS_WIN
    return windowsIn(oemCodePage());
#else
    return batrun();
#endif
}

QByteArray buildScriptBytes(const QString &startDir, const QString &outputPath, const RomList &roms,
                            const ScriptForm &form)
{
    const QByteArray output = scriptPath(outputPath, form);
    QByteArray out;
    out += "cd " + scriptPath(startDir, form) + "\r\n";
    out += "copy /b " + scriptPath(BuildFiles::EmulatorImage, form) + '+' + scriptPath(BuildFiles::Menu, form) + ' '
            + output + "\r\n";
    const qint16 games = roms.upperBound();
    out.reserve(out.size() + qsizetype(games) * (2 * output.size() + 64));
    for (qint16 i = 0; i < games; ++i) {
        out += "copy /b ";
        out += output;
        out += '+';
        out += scriptPath(roms.at(i).RomPath, form);
        out += ' ';
        out += output;
        out += "\r\n";
    }
    return out;
}

void WriteBuildScript(const QByteArray &script)
{
    OutputFile file(BuildFiles::Script);
    file.write(script);
    file.commit();
}

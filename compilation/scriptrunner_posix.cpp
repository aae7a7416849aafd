// The runner where batrun runs the script: batrun takes the start folder's
// lock over from the build and shows what goes wrong in its own window; the
// runner learns when the join ends, to say so when the image is whole.

#include "scriptrunner.h"

#include "buildfiles.h"
#include "spawn.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <utility>

namespace {

// A file by device and inode: a join puts a new file in place, and one that
// failed leaves the previous image as it was.
struct FileIdentity
{
    dev_t dev = 0;
    ino_t ino = 0;
    qint64 size = -1; // -1: no regular file there

    bool operator==(const FileIdentity &other) const { return dev == other.dev && ino == other.ino; }
};

FileIdentity identify(const QString &path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return {st.st_dev, st.st_ino, qint64(st.st_size)};
}

// Follows one started join to its end without waiting for it: batrun holds
// the write end of a pipe until it exits, and the read end then sees end of file.
class JoinWatch : public QObject
{
public:
    JoinWatch(int joinEnd, const QString &image, qint64 expectedSize, ScriptRunner *runner)
        : QObject(runner), m_joinEnd(joinEnd), m_notifier(joinEnd, QSocketNotifier::Read), m_image(image),
          m_expectedSize(expectedSize), m_before(identify(image))
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &JoinWatch::readable);
    }
    ~JoinWatch() override { ::close(m_joinEnd); }

private:
    void readable()
    {
        char byte;
        if (retryOnInterrupt([&] { return ::read(m_joinEnd, &byte, 1); }) != 0)
            return; // nothing to read but the end
        m_notifier.setEnabled(false);
        deleteLater();
        const FileIdentity after = identify(m_image);
        const qint64 found = after == m_before ? -1 : after.size;
        if (!joinedImageReport(m_image, m_expectedSize, found, 0))
            emit static_cast<ScriptRunner *>(parent())->joinSucceeded(m_image, found);
    }

    int m_joinEnd;
    QSocketNotifier m_notifier;
    QString m_image;
    qint64 m_expectedSize;
    FileIdentity m_before;
};

} // namespace

struct ScriptRunner::Hold
{
    QString interpreter;
    int folderLock = -1;
};

ScriptRunner::ScriptRunner() : ScriptRunner(besideProgram()) {}

ScriptRunner::ScriptRunner(const QString &interpreter, const ScriptForm &form)
    : m_form(form), m_hold(std::make_unique<Hold>(Hold{interpreter}))
{
}

QString ScriptRunner::besideProgram()
{
    // The folder of the executable's own file, links resolved: the installed
    // command on the path is a link to the program beside batrun.
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("batrun"));
}

ScriptRunner::~ScriptRunner()
{
    releaseStartFolder();
}

void ScriptRunner::holdStartFolder(const QString &startDir)
{
    // batrun's own lock on the folder: a batrun started by hand waits for it,
    // and one the build starts takes this one over.
    releaseStartFolder();
    m_hold->folderLock = ::open(QFile::encodeName(startDir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_hold->folderLock < 0)
        throw AppError::fromErrno(errno, startDir);
    if (::flock(m_hold->folderLock, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        releaseStartFolder();
        if (error == EWOULDBLOCK)
            refuseBusyFolder(AppError::fromErrno(error), startDir);
        throw AppError::fromErrno(error, startDir);
    }
}

void ScriptRunner::releaseStartFolder()
{
    if (m_hold->folderLock >= 0)
        ::close(m_hold->folderLock);
    m_hold->folderLock = -1;
}

void ScriptRunner::start(const QString &startDir, const QString &output, qint64 expectedSize)
{
    // batrun inherits the held folder as its lock and its working directory,
    // and the write end of joinEnd, which it holds until it exits.
    const int lock = m_hold->folderLock;
    int joinEnd[2];
    if (::pipe2(joinEnd, O_CLOEXEC) != 0)
        throw AppError::fromErrno(errno, m_hold->interpreter);
    ::fcntl(joinEnd[0], F_SETFL, O_NONBLOCK);
    const QString image = QDir::cleanPath(QDir(startDir).absoluteFilePath(output));
    auto watch = std::make_unique<JoinWatch>(joinEnd[0], image, expectedSize, this);

    const QByteArray program = QFile::encodeName(m_hold->interpreter);
    const QByteArray locked = "--locked=" + QByteArray::number(lock);
    const QByteArray script = QFile::encodeName(BuildFiles::Script);
    char *const argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(locked.constData()),
                          const_cast<char *>("--window"), const_cast<char *>(script.constData()), nullptr};
    const std::array inherited = {lock, joinEnd[1]};
    const std::optional<SpawnFailure> failure = spawnDetached(argv, lock, inherited);
    ::close(joinEnd[1]);
    // batrun holds the lock from here, on its own copy of the descriptor.
    releaseStartFolder();
    if (failure)
        throw AppError::fromErrno(failure->error,
                                  failure->step == SpawnFailure::Folder ? startDir : m_hold->interpreter);
    watch.release(); // owned by the runner until the join ends
}

#include "plan.h"

#include "failure.h"
#include "temporaryname.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <variant>

namespace batrun {

namespace {

// Descriptors left for everything else while sources are held open from
// planning to joining.
constexpr rlim_t SpareDescriptors = 64;

std::pair<std::string, std::string> splitPath(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// What the process has open already (a window has its own), which the
// descriptors held for sources must leave room for.
rlim_t openDescriptors()
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return SpareDescriptors;
    rlim_t count = 0;
    while (::readdir(dir))
        ++count;
    ::closedir(dir);
    return count;
}

} // namespace

Planner::Planner(Fd startDir)
{
    m_plan.dirs.push_back(std::move(startDir));
    // Holding each source open from planning to joining costs one descriptor
    // per game, as many as the process may open (batrun raises its limit).
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        const rlim_t used = openDescriptors() + SpareDescriptors;
        m_sparePieces = limit.rlim_cur > used ? limit.rlim_cur - used : 0;
    }
}

Planner::~Planner()
{
    for (const Chain &chain : m_plan.chains) {
        if (!chain.namedTemp.empty())
            ::unlinkat(m_plan.dirs[std::size_t(chain.dir)].get(), chain.namedTemp.c_str(), 0);
    }
}

void Planner::add(const Line &line)
{
    if (const auto *cd = std::get_if<Cd>(&line.command)) {
        Fd dir(::openat(currentDir(), cd->dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!dir)
            failErrno(cd->dir);
        m_current = m_plan.dirs.size();
        m_plan.dirs.push_back(std::move(dir));
        m_plan.steps.push_back(Step{line.place, -1, {}});
        return;
    }
    const Copy &copy = std::get<Copy>(line.command);
    Step step{line.place, -1, {}};
    const FileKey dest = destinationKey(copy.dest);
    const auto written = m_plan.written.find(dest);
    // The chain's own output, spelled as its destination, needs no lookup.
    const bool appends = written != m_plan.written.end() && copy.sources.front() == copy.dest;
    for (std::size_t i = appends ? 1 : 0; i < copy.sources.size(); ++i)
        step.pieces.push_back(source(copy.sources[i], i == 0 ? nullptr : &dest));
    if (appends || (written != m_plan.written.end() && step.pieces.front().key == dest)) {
        step.chain = written->second;
        if (!appends)
            step.pieces.erase(step.pieces.begin());
    } else {
        step.chain = startChain(copy.dest);
        m_plan.written[dest] = step.chain;
    }
    Chain &chain = m_plan.chains[std::size_t(step.chain)];
    for (const Piece &piece : step.pieces)
        chain.size += piece.size;
    chain.lastStep = m_plan.steps.size();
    m_plan.steps.push_back(std::move(step));
}

std::uint64_t Plan::bytes() const
{
    std::uint64_t total = 0;
    for (const Step &step : steps) {
        for (const Piece &piece : step.pieces)
            total += piece.size;
    }
    return total;
}

bool Planner::isLink(const std::string &name) const
{
    struct stat st = {};
    return ::fstatat(currentDir(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

FileKey Planner::newFileKey(std::string_view name)
{
    const auto [folder, base] = splitPath(std::string(name));
    struct stat st = {};
    if (::fstatat(currentDir(), folder.c_str(), &st, 0) != 0)
        failErrno(name);
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        failErrno(name);
    }
    return FileKey{st.st_dev, st.st_ino, base};
}

FileKey Planner::destinationKey(const std::string &name)
{
    if (m_lastDest.first == m_current && m_lastDest.second == name)
        return m_lastDestKey;
    struct stat st = {};
    const bool exists = ::fstatat(currentDir(), name.c_str(), &st, 0) == 0;
    if (!exists && errno != ENOENT)
        failErrno(name);
    if (exists && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        failErrno(name);
    }
    if (exists && !S_ISREG(st.st_mode))
        fail(name + ": not a regular file");
    FileKey key{st.st_dev, st.st_ino, {}};
    if (!exists || isLink(name)) {
        // A link under the output's name is replaced, never written
        // through: the file it names stays as it is.
        key = newFileKey(name);
        m_linkReplaced = m_linkReplaced || exists;
    }
    if (exists)
        m_plan.earlier.try_emplace(key, name);
    m_lastDest = {m_current, name};
    m_lastDestKey = key;
    return key;
}

std::vector<std::string> Plan::keptFiles(const std::function<bool(int chain)> &inPlace) const
{
    std::vector<std::string> kept;
    for (const auto &[key, name] : earlier) {
        const auto chain = written.find(key);
        if (chain == written.end() || !inPlace(chain->second))
            kept.push_back(name);
    }
    return kept;
}

Piece Planner::source(const std::string &name, const FileKey *dest)
{
    Piece piece;
    piece.name = name;
    piece.dir = int(m_current);
    struct stat st = {};
    bool found = false;
    // Opened without blocking, so a FIFO is refused, not waited on.
    if (m_heldPieces < m_sparePieces) {
        piece.file = Fd(::openat(currentDir(), name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        found = piece.file && ::fstat(piece.file.get(), &st) == 0;
        m_heldPieces += found;
    } else {
        found = ::fstatat(currentDir(), name.c_str(), &st, 0) == 0;
    }
    if (!found && errno != ENOENT)
        failErrno(piece.name);
    piece.key = found ? FileKey{st.st_dev, st.st_ino, {}} : newFileKey(name);
    if (found && m_linkReplaced && m_plan.written.contains(newFileKey(name)))
        piece.key = newFileKey(name); // the path of a link this script replaces
    if (dest && piece.key == *dest)
        fail("destination is also a source");
    if (const auto written = m_plan.written.find(piece.key); written != m_plan.written.end()) {
        piece.chain = written->second;
        piece.size = m_plan.chains[std::size_t(piece.chain)].size;
        piece.file.close();
    } else if (!found) {
        errno = ENOENT;
        failErrno(name);
    } else if (!S_ISREG(st.st_mode)) {
        fail(name + ": not a regular file");
    } else {
        piece.size = std::uint64_t(st.st_size);
    }
    return piece;
}

int Planner::startChain(const std::string &shown)
{
    Chain chain;
    chain.shown = shown;
    struct stat st = {};
    const bool replacesFile =
            ::fstatat(currentDir(), shown.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
    const auto [folder, base] = splitPath(shown);
    chain.name = base;
    chain.dir = int(m_current);
    if (folder != ".") {
        Fd folderFd(::openat(currentDir(), folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folderFd)
            failErrno(shown);
        chain.dir = int(m_plan.dirs.size());
        m_plan.dirs.push_back(std::move(folderFd));
    }
    const int dir = m_plan.dirs[std::size_t(chain.dir)].get();
    chain.out = Fd(::openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (!chain.out && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // No unnamed files here: a named one, removed unless it is put in place.
        chain.namedTemp = makeUnderTemporaryName(base, [&](const std::filesystem::path &name) {
                              chain.out = Fd(::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
                              return bool(chain.out);
                          }).native();
    }
    if (!chain.out)
        failErrno(shown);
    if (replacesFile)
        ::fchmod(chain.out.get(), st.st_mode & 07777);
    m_plan.chains.push_back(std::move(chain));
    return int(m_plan.chains.size()) - 1;
}

} // namespace batrun

#include "windowloader.h"

#include <dlfcn.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// A remote display that drops what we send must not hold up the join.
constexpr int ConnectTimeoutMs = 2000;

std::string_view environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

// Whether a stream socket at the address takes a connection.
bool answers(const sockaddr *address, socklen_t length)
{
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool connected = ::connect(fd, address, length) == 0;
    if (!connected && (errno == EINPROGRESS || errno == EAGAIN)) {
        pollfd wait = {fd, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        connected = ::poll(&wait, 1, ConnectTimeoutMs) == 1
                && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    ::close(fd);
    return connected;
}

// A socket in the file system, or with `abstract` in Linux's abstract namespace.
bool localAnswers(std::string_view path, bool abstract = false)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const std::size_t start = abstract ? 1 : 0;
    if (path.empty() || start + path.size() >= sizeof address.sun_path)
        return false;
    path.copy(address.sun_path + start, path.size());
    return answers(reinterpret_cast<const sockaddr *>(&address),
                   socklen_t(offsetof(sockaddr_un, sun_path) + start + path.size()));
}

bool tcpAnswers(const std::string &host, int port)
{
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    bool any = false;
    for (const addrinfo *address = found; address && !any; address = address->ai_next)
        any = answers(address->ai_addr, address->ai_addrlen);
    ::freeaddrinfo(found);
    return any;
}

// DISPLAY is [PROTOCOL/][HOST]:NUMBER[.SCREEN]: no host (or "unix") is the
// local server's socket, any other host its TCP port 6000 + NUMBER. As the
// X library does, no host at all also tries that port on this machine.
bool xServerAnswers()
{
    std::string_view display = environment("DISPLAY");
    const std::size_t colon = display.rfind(':');
    if (colon == std::string_view::npos)
        return false;
    std::string_view host = display.substr(0, colon);
    if (const std::size_t slash = host.find('/'); slash != std::string_view::npos)
        host.remove_prefix(slash + 1);
    const std::string number(display.substr(colon + 1, display.find('.', colon) - colon - 1));
    char *end = nullptr;
    const long n = std::strtol(number.c_str(), &end, 10);
    if (number.empty() || *end || n < 0 || n > 65535 - 6000)
        return false;
    if (host.empty() || host == "unix") {
        const std::string socket = "/tmp/.X11-unix/X" + number;
        return localAnswers(socket, true) || localAnswers(socket)
                || (host.empty() && tcpAnswers("localhost", 6000 + int(n)));
    }
    return tcpAnswers(std::string(host), 6000 + int(n));
}

// WAYLAND_DISPLAY is a socket's path, or its name in XDG_RUNTIME_DIR.
bool waylandAnswers()
{
    const std::string_view name = environment("WAYLAND_DISPLAY");
    if (name.starts_with('/'))
        return localAnswers(name);
    const std::string_view folder = environment("XDG_RUNTIME_DIR");
    return !name.empty() && !folder.empty() && localAnswers(std::string(folder) + "/" + std::string(name));
}

// A platform as QT_QPA_PLATFORM names one ("xcb", "wayland-egl",
// "vnc:size=800x600"): those of a display server only when it answers,
// the others as named.
bool canShow(std::string_view platform)
{
    platform = platform.substr(0, platform.find(':'));
    if (platform == "xcb")
        return xServerAnswers();
    if (platform.starts_with("wayland"))
        return waylandAnswers();
    return !platform.empty();
}

// The platforms the window may use: those named in QT_QPA_PLATFORM, or the
// display servers of the session, that can show it; empty when none can.
std::string usablePlatforms()
{
    std::string_view named = environment("QT_QPA_PLATFORM");
    if (named.empty())
        named = "xcb;wayland";
    std::string usable;
    while (!named.empty()) {
        const std::size_t end = named.find(';');
        const std::string_view platform = named.substr(0, end);
        named.remove_prefix(end == std::string_view::npos ? named.size() : end + 1);
        if (canShow(platform))
            (usable += usable.empty() ? "" : ";") += platform;
    }
    return usable;
}

} // namespace

WindowMain loadScriptWindow()
{
    // Decided before the toolkit starts, which would end the process, join and
    // all, on a display that does not answer.
    const std::string platforms = usablePlatforms();
    if (platforms.empty())
        return nullptr;
    // A display that answers may still refuse us: then the toolkit goes on
    // without showing, and the window ends with the script.
    ::setenv("QT_QPA_PLATFORM", (platforms + ";offscreen").c_str(), 1);
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self);
    if (length <= 0 || length == ssize_t(sizeof self))
        return nullptr;
    std::string path(self, std::size_t(length));
    path.replace(path.rfind('/') + 1, std::string::npos, BATRUN_WINDOW);
    void *library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "batrun: no window: %s\n", ::dlerror());
        return nullptr;
    }
    return reinterpret_cast<WindowMain>(::dlsym(library, "batrunWindowMain"));
}

#include "windowloader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool hasDisplay()
{
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

} // namespace

WindowMain loadScriptWindow()
{
    if (!hasDisplay())
        return nullptr;
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

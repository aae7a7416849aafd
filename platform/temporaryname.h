#pragma once

// A file replaced whole is written under a temporary name beside it and
// renamed over it once complete. Plain C++: batrun's interpreter has no Qt.

#include <filesystem>
#include <functional>

// Offers make() fresh temporary names beside target (".NAME.1f3a9c0e.tmp" in
// target's folder) until it makes a file under one and returns true, at most
// 100 names: a name already taken (EEXIST) is someone else's file. Returns the
// name made; when none was, an empty path and errno as make() left it.
std::filesystem::path makeUnderTemporaryName(const std::filesystem::path &target,
                                             const std::function<bool(const std::filesystem::path &name)> &make);

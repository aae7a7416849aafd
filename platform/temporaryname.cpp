#include "temporaryname.h"

#include <cerrno>
#include <cstdint>
#include <random>
#include <string>

namespace {

constexpr int Tries = 100;

std::string randomTag()
{
    thread_local std::mt19937 generator{std::random_device{}()};
    constexpr char Digits[] = "0123456789abcdef";
    std::uint32_t bits = std::uint32_t(generator());
    std::string tag(8, '0');
    for (char &digit : tag) {
        digit = Digits[bits & 15];
        bits >>= 4;
    }
    return tag;
}

} // namespace

std::filesystem::path makeUnderTemporaryName(const std::filesystem::path &target,
                                             const std::function<bool(const std::filesystem::path &name)> &make)
{
    for (int attempt = 0; attempt < Tries; ++attempt) {
        std::filesystem::path leaf = ".";
        leaf += target.filename();
        leaf += "." + randomTag() + ".tmp";
        std::filesystem::path name = target.parent_path() / leaf;
        if (make(name))
            return name;
        if (errno != EEXIST)
            break;
    }
    return {};
}

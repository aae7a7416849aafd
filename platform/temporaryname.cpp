#include "temporaryname.h"

#include <cerrno>
#include <cstdint>
#include <random>
#include <string>

namespace {

constexpr int Tries = 100;

// ".1f3a9c0e.tmp", eight random hexadecimal digits.
std::string randomSuffix()
{
    thread_local std::mt19937 generator{std::random_device{}()};
    constexpr char Digits[] = "0123456789abcdef";
    std::uint32_t bits = std::uint32_t(generator());
    std::string suffix = ".00000000.tmp";
    for (std::size_t i = 1; i <= 8; ++i, bits >>= 4)
        suffix[i] = Digits[bits & 15];
    return suffix;
}

} // namespace

std::filesystem::path makeUnderTemporaryName(const std::filesystem::path &target,
                                             const std::function<bool(const std::filesystem::path &name)> &make)
{
    for (int attempt = 0; attempt < Tries; ++attempt) {
        std::filesystem::path leaf = ".";
        leaf += target.filename();
        leaf += randomSuffix();
        std::filesystem::path name = target.parent_path() / leaf;
        if (make(name))
            return name;
        if (errno != EEXIST)
            break;
    }
    return {};
}

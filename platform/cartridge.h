#pragma once

// The cartridge a finished image must fit, and how the program and batrun
// tell the player about it. Plain C++: batrun's interpreter has no Qt.

#include <cstdint>
#include <string>
#include <string_view>

// The most a Game Boy Advance cartridge can address.
constexpr std::uint64_t CartridgeLimit = std::uint64_t{32} << 20;

// bytes in MiB with one decimal, a half rounded up: "3.4".
inline std::string mebibytes(std::uint64_t bytes)
{
    constexpr std::uint64_t MiB = std::uint64_t{1} << 20;
    std::uint64_t whole = bytes / MiB;
    std::uint64_t tenths = (bytes % MiB * 10 + MiB / 2) / MiB;
    if (tenths == 10)
        ++whole, tenths = 0;
    return std::to_string(whole) + '.' + char('0' + tenths);
}

// What the player reads of a whole image too big for a cartridge; image: its
// path as shown, in UTF-8.
inline std::string tooBigForCartridge(std::string_view image, std::uint64_t bytes)
{
    return "Done, but the image " + std::string(image) + " is " + mebibytes(bytes) + " MiB, more than the "
            + std::to_string(CartridgeLimit >> 20)
            + " MiB a Game Boy Advance cartridge can address. The image was kept.";
}

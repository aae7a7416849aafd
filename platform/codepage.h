#pragma once

// Kept free of Qt so that it can be built and run on its own with a Windows
// compiler.

#include <optional>
#include <string>
#include <string_view>

// text in the bytes of a Windows code page (437, 850, 1252, 65001, ...). No
// value when a character has no byte of its own there: a look-alike or a
// default character would send a path to another file, or to none.
std::optional<std::string> encodeInCodePage(std::u16string_view text, unsigned codePage);

// bytes of a Windows code page as text. No value when a byte has no
// character there.
std::optional<std::u16string> decodeFromCodePage(std::string_view bytes, unsigned codePage);

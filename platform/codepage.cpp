#include "codepage.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <bit>
#endif

#ifdef _WIN32

std::optional<std::string> encodeInCodePage(std::u16string_view text, unsigned codePage)
{
    if (text.empty())
        return std::string();
    const auto *wide = reinterpret_cast<const wchar_t *>(text.data());
    const int length = int(text.size());
    // UTF-8 and GB18030 hold every character and take neither the best-fit
    // flag nor a default character; they refuse a lone surrogate by failing.
    const bool unicode = codePage == CP_UTF8 || codePage == 54936;
    const DWORD flags = unicode ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefaultChar = FALSE;
    BOOL *usedDefault = unicode ? nullptr : &usedDefaultChar;
    const int size = WideCharToMultiByte(codePage, flags, wide, length, nullptr, 0, nullptr, usedDefault);
    if (size <= 0 || usedDefaultChar)
        return std::nullopt;
    std::string bytes(std::size_t(size), '\0');
    if (WideCharToMultiByte(codePage, flags, wide, length, bytes.data(), size, nullptr, usedDefault) != size
        || usedDefaultChar)
        return std::nullopt;
    return bytes;
}

std::optional<std::u16string> decodeFromCodePage(std::string_view bytes, unsigned codePage)
{
    if (bytes.empty())
        return std::u16string();
    const int length = int(bytes.size());
    const int size = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    std::u16string text(std::size_t(size), u'\0');
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length,
                            reinterpret_cast<wchar_t *>(text.data()), size)
        != size)
        return std::nullopt;
    return text;
}

#else

namespace {

// glibc names the Windows code pages "CP437", "CP850", ...; iconv without
// "//TRANSLIT" fails on a character the target cannot hold.
std::string iconvName(unsigned codePage)
{
    return codePage == 65001 ? std::string("UTF-8") : "CP" + std::to_string(codePage);
}

const char *const Utf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

std::optional<std::string> convert(std::string_view bytes, const std::string &from, const std::string &to)
{
    const iconv_t converter = iconv_open(to.c_str(), from.c_str());
    if (converter == iconv_t(-1))
        return std::nullopt;
    std::string converted(bytes.size() * 4, '\0');
    char *in = const_cast<char *>(bytes.data());
    std::size_t inLeft = bytes.size();
    char *out = converted.data();
    std::size_t outLeft = converted.size();
    const bool complete = iconv(converter, &in, &inLeft, &out, &outLeft) != std::size_t(-1)
            && iconv(converter, nullptr, nullptr, &out, &outLeft) != std::size_t(-1);
    iconv_close(converter);
    if (!complete)
        return std::nullopt;
    converted.resize(converted.size() - outLeft);
    return converted;
}

} // namespace

std::optional<std::string> encodeInCodePage(std::u16string_view text, unsigned codePage)
{
    return convert(std::string_view(reinterpret_cast<const char *>(text.data()), text.size() * sizeof(char16_t)), Utf16,
                   iconvName(codePage));
}

std::optional<std::u16string> decodeFromCodePage(std::string_view bytes, unsigned codePage)
{
    const std::optional<std::string> text = convert(bytes, iconvName(codePage), Utf16);
    if (!text)
        return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t *>(text->data()), text->size() / sizeof(char16_t));
}

#endif

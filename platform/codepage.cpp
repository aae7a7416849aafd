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

unsigned oemCodePage()
{
    return GetOEMCP();
}

#else

// glibc names the Windows code pages "CP437", "CP850", ...; iconv without
// "//TRANSLIT" fails on a character the target cannot hold.
std::optional<std::string> encodeInCodePage(std::u16string_view text, unsigned codePage)
{
    const std::string target = codePage == 65001 ? std::string("UTF-8") : "CP" + std::to_string(codePage);
    const char *source = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
    const iconv_t converter = iconv_open(target.c_str(), source);
    if (converter == iconv_t(-1))
        return std::nullopt;
    std::string bytes(text.size() * 4, '\0');
    char *in = const_cast<char *>(reinterpret_cast<const char *>(text.data()));
    std::size_t inLeft = text.size() * sizeof(char16_t);
    char *out = bytes.data();
    std::size_t outLeft = bytes.size();
    const bool complete = iconv(converter, &in, &inLeft, &out, &outLeft) != std::size_t(-1)
            && iconv(converter, nullptr, nullptr, &out, &outLeft) != std::size_t(-1);
    iconv_close(converter);
    if (!complete)
        return std::nullopt;
    bytes.resize(bytes.size() - outLeft);
    return bytes;
}

#endif

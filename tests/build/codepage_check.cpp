// Built with a Windows compiler and run there (or under wine) by
// scripts/check-windows: the code-page encoder against the system's own tables.
// With --oem-code-page it prints the code page the command interpreter reads.

#include "codepage.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

struct Case
{
    const char *name;
    std::u16string text;
    unsigned codePage;
    std::optional<std::string> bytes; // no value: refused
};

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--oem-code-page") == 0) {
        std::printf("%u\n", oemCodePage());
        return 0;
    }
    const Case cases[] = {
            {"ASCII path in 437", u"C:\\roms\\a b.nes", 437, "C:\\roms\\a b.nes"},
            {"e acute in 850", u"Caf\u00e9", 850, "Caf\x82"},
            {"e acute in 437", u"Caf\u00e9", 437, "Caf\x82"},
            {"O stroke refused by 437", u"\u00d8", 437, std::nullopt},
            {"a macron not fitted to a in 437", u"\u0101", 437, std::nullopt},
            {"CJK in UTF-8", u"\u4e16", 65001, "\xe4\xb8\x96"},
    };
    int failed = 0;
    for (const Case &c : cases) {
        const bool ok = encodeInCodePage(c.text, c.codePage) == c.bytes;
        failed += ok ? 0 : 1;
        std::printf("%s: %s\n", ok ? "pass" : "FAIL", c.name);
    }
    return failed == 0 ? 0 : 1;
}

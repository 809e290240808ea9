// Translations of the program's texts: the input is one translation, checked against each of a
// set of texts (SameFormatArguments, as Tr does before it uses a translation); every one the
// check accepts is given to printf with the arguments the program gives that text. A check that
// lets a wrong directive through makes printf read an argument as what it is not, or write
// through one (%n), which the sanitizers or the fault that follows report.
#include "FuzzCommon.h"

#include "base/Language.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#pragma clang diagnostic ignored "-Wformat-nonliteral"

namespace {

// The translation, if the check accepts it for `source`, printed with the arguments given.
void PrintIfAccepted(const char* source, const char* translation, ...) {
    const bool accepted = pictavo::SameFormatArguments(source, translation);
    // The check compares the two the same way round or the other.
    FUZZ_CHECK(accepted == pictavo::SameFormatArguments(translation, source));
    if (!accepted) return;
    char out[256];
    va_list args;
    va_start(args, translation);
    std::vsnprintf(out, sizeof out, translation, args);
    va_end(args);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A catalog's texts end at their first NUL, as printf reads them.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const char* text = bytes.c_str();

    static char name[] = "name";
    PrintIfAccepted("", text);
    PrintIfAccepted("未知命令 %s", text, name);
    PrintIfAccepted("无法打开文件 \"%s\". %s", text, name, name);
    PrintIfAccepted("图像 %d x %d - %dbit 无法解码", text, 16, 16, 32);
    PrintIfAccepted("(%d 个图像)", text, 3);
    PrintIfAccepted("%u 字节", text, 3u);
    PrintIfAccepted("%lu", text, 3ul);
    PrintIfAccepted("%zu %lld", text, size_t{3}, 3ll);
    PrintIfAccepted("%hhd %hd %c", text, 1, 2, 'x');
    PrintIfAccepted("%*d", text, 4, 3);
    PrintIfAccepted("%.*s", text, 2, name);
    PrintIfAccepted("%s %d", text, name, 3);
    PrintIfAccepted("%1.2f 秒", text, 1.5);
    PrintIfAccepted("%Lf", text, 1.5L);
    PrintIfAccepted("%p %ls", text, static_cast<void*>(name), L"wide");
    return 0;
}

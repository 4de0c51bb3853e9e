// The names tarnel-elf2obj -d gives a symbol plus an offset that another
// module refers to: the symbol, then `+0x` or `-0x` and lower-case hex digits
// (`squares+0x20`, `table-0x8`). The converter refuses a global symbol of
// this form, so a name of it is an alias and never a symbol of the program;
// tarnel-elf leaves aliases out of the ELF symbol table.
#pragma once

#include <string_view>

namespace tarnel {

inline bool hasAliasForm(std::string_view name) {
    auto hexDigit = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
    size_t digits = 0;
    while (digits < name.size() && hexDigit(name[name.size() - 1 - digits])) ++digits;
    std::string_view before = name.substr(0, name.size() - digits);
    return digits > 0 && (before.ends_with("+0x") || before.ends_with("-0x"));
}

}  // namespace tarnel

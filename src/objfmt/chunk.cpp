#include "objfmt/chunk.hpp"

#include <cstring>

namespace tarnel {

namespace {

constexpr const char* kTagNames[kTagCount] = {
    "header", "object", "library", "processor", "name", "version", "company", "author",
    "comment", "date", "reserved", "reserved", "reserved", "reserved", "reserved", "reserved",
    "code", "data", "bss", "lib", "link", "reloc32", "reloc16", "reloc8",
    "drel32", "drel16", "drel8", "symbol", "debug", "reserved", "reserved", "end",
};

struct SectionNames {
    const char* name;
    const char* display;
};

constexpr SectionNames kSections[kSectionCount] = {
    {"code", "code"}, {"data", "data"}, {"bss", "bss "}, {"base", "base"}, {"bssb", "bssb"},
};

constexpr const char* kAccessDisplay[11] = {
    "absolute    8-bit", "absolute   16-bit", "absolute   32-bit", "",
    "pcrelative  8-bit", "pcrelative 16-bit", "pcrelative 32-bit", "",
    "relative    8-bit", "relative   16-bit", "relative   32-bit",
};

}  // namespace

const char* chunkTagName(uint32_t tagNumber) {
    return tagNumber < kTagCount ? kTagNames[tagNumber] : nullptr;
}

int chunkTagByName(std::string_view name) {
    for (uint32_t i = 0; i < kTagCount; ++i)
        if (name == kTagNames[i]) return int(i);
    return -1;
}

const char* sectionName(uint32_t section) {
    return section < kSectionCount ? kSections[section].name : "unknown";
}

const char* sectionDisplay(uint32_t section) {
    return section < kSectionCount ? kSections[section].display : "????";
}

const char* accessDisplay(uint32_t type) { return type <= 10 ? kAccessDisplay[type] : ""; }

std::string_view textOf(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return {};
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    size_t length = nul ? size_t(static_cast<const uint8_t*>(nul) - bytes.data()) : bytes.size();
    return {reinterpret_cast<const char*>(bytes.data()), length};
}

}  // namespace tarnel

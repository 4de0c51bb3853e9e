#include "objfmt/chunk.hpp"

#include <climits>
#include <cstring>

#include "objfmt/bytes.hpp"

namespace tarnel {

namespace {

// Each tag's name and payload rule, by tag number.
struct TagRow {
    const char* name;
    PayloadRule rule;
};

constexpr PayloadRule kAny{0, false, false};
constexpr TagRow kTags[kTagCount] = {
    {"header", {8, false, false}},  // dropped unread by the linker
    {"object", kAny},
    {"library", kAny},
    {"processor", {8, false, true}},
    {"name", kAny},
    {"version", kAny},
    {"company", kAny},
    {"author", kAny},
    {"comment", kAny},
    {"date", kAny},
    {"reserved", kAny},
    {"reserved", kAny},
    {"reserved", kAny},
    {"reserved", kAny},
    {"reserved", kAny},
    {"reserved", kAny},
    {"code", {4, false, true}},     // block type, bytes
    {"data", {4, false, true}},     // block type, bytes
    {"bss", {8, false, true}},      // block type, size
    {"lib", kAny},
    {"link", kAny},
    {"reloc32", {8, true, true}},   // from, to, offsets
    {"reloc16", {8, true, true}},   // from, to, offsets
    {"reloc8", kAny},
    {"drel32", kAny},
    {"drel16", {4, true, true}},    // block type, offsets
    {"drel8", kAny},
    {"symbol", kAny},
    {"debug", kAny},
    {"reserved", kAny},
    {"reserved", kAny},
    {"end", kAny},
};

struct SectionNames {
    const char* name;
    const char* display;
};

constexpr SectionNames kSections[kSectionCount] = {
    {"code", "code"}, {"data", "data"}, {"bss", "bss "}, {"base", "base"}, {"bssb", "bssb"},
};

constexpr const char* kByteOutOfRange = "Byte relative out of range for reference %s in %s\n";
constexpr const char* kWordOutOfRange = "Word relative out of range for reference %s in %s\n";
constexpr int32_t kMin = INT32_MIN, kMax = INT32_MAX;

using V = AccessValue;
constexpr AccessRule kIgnored = {"", V::none, 0, 0, kMin, kMax, nullptr, nullptr, false, false};
constexpr AccessRule kAccessRules[11] = {
    {"absolute    8-bit", V::none, 1, 1, kMin, kMax, nullptr, nullptr, false, false},
    {"absolute   16-bit", V::absolute, 2, 0, kMin, kMax, nullptr, "Error in LINK_ABS16\n", false, true},
    {"absolute   32-bit", V::absolute, 4, 0, kMin, kMax, nullptr, "Error in LINK_ABS32 (btype = %ld)\n", false, true},
    kIgnored,
    {"pcrelative  8-bit", V::pcRelative, 1, 1, -128, 127, kByteOutOfRange, nullptr, false, false},
    {"pcrelative 16-bit", V::pcRelative, 2, 0, -32768, 32767, kWordOutOfRange, nullptr, false, false},
    {"pcrelative 32-bit", V::pcRelative, 4, 0, kMin, kMax, nullptr, nullptr, false, false},
    kIgnored,
    {"relative    8-bit", V::baseRelative, 1, 1, -128, 127, kByteOutOfRange, "Error in LINK_REL8\n", false, false},
    {"relative   16-bit", V::baseRelative, 2, 0, -32768, 32767, kWordOutOfRange,
     "Can not perform LINK_REL16. Index addressing incorrect?\n", true, false},
    {"relative   32-bit", V::baseRelative, 4, 0, kMin, kMax, nullptr, "Error in LINK_REL32\n", false, false},
};
// a row's place is its type byte: every xref type but LINK_ABS8 computes a value
static_assert([] {
    for (uint32_t t = 0; t <= 10; ++t)
        if ((kAccessRules[t].value != V::none) != (isXrefType(t) && t != LINK_ABS8)) return false;
    return kAccessRules[LINK_PCREL8].value == V::pcRelative && kAccessRules[LINK_REL16].width == 2;
}());

}  // namespace

ChunkHead chunkHead(uint32_t tag, uint32_t length, std::initializer_list<uint32_t> words) {
    ChunkHead head{};
    writeWordBE(head.bytes, tag);
    writeWordBE(head.bytes + 4, length);
    head.size = 8;
    // at most a block type and a size word follow the header
    for (uint32_t w : words) {
        if (head.size == sizeof head.bytes) break;
        writeWordBE(head.bytes + head.size, w);
        head.size += 4;
    }
    return head;
}

const char* chunkTagName(uint32_t tagNumber) {
    return tagNumber < kTagCount ? kTags[tagNumber].name : nullptr;
}

const PayloadRule& payloadRule(ChunkTag tag) {
    return uint32_t(tag) < kTagCount ? kTags[uint32_t(tag)].rule : kAny;
}

int chunkTagByName(std::string_view name) {
    for (uint32_t i = 0; i < kTagCount; ++i)
        if (name == kTags[i].name) return int(i);
    return -1;
}

const char* sectionName(uint32_t section) {
    return section < kSectionCount ? kSections[section].name : "unknown";
}

const char* sectionDisplay(uint32_t section) {
    return section < kSectionCount ? kSections[section].display : "????";
}

const AccessRule& accessRule(uint32_t type) { return type <= 10 ? kAccessRules[type] : kIgnored; }

std::string_view textOf(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return {};
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    size_t length = nul ? size_t(static_cast<const uint8_t*>(nul) - bytes.data()) : bytes.size();
    return {reinterpret_cast<const char*>(bytes.data()), length};
}

}  // namespace tarnel

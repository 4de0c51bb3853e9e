// The chunk format shared by object modules, executables, embedded objects and
// libraries: a chunk is a 32-bit tag 0xC0DECF00 + n, a 32-bit payload length
// and the payload. This header is the one definition of the tags, the section
// and access-type numbering, the minimum payload of each tag, the walk over a
// file's top-level chunks and the walk over a `link` chunk's entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace tarnel {

constexpr uint32_t kTagBase = 0xC0DECF00;
constexpr uint32_t kTagCount = 32;
constexpr uint32_t kChunkHeaderSize = 8;
constexpr uint32_t kLinkTerminator = 0xFF000000;

// Tag numbers (the low byte of the tag word).
enum class ChunkTag : uint8_t {
    header = 0x00, object = 0x01, library = 0x02, processor = 0x03,
    name = 0x04, version = 0x05, company = 0x06, author = 0x07,
    comment = 0x08, date = 0x09,
    code = 0x10, data = 0x11, bss = 0x12, lib = 0x13, link = 0x14,
    reloc32 = 0x15, reloc16 = 0x16, reloc8 = 0x17, drel32 = 0x18,
    drel16 = 0x19, drel8 = 0x1A, symbol = 0x1B, debug = 0x1C,
    end = 0x1F,
};

constexpr uint32_t tagWord(ChunkTag t) { return kTagBase + uint32_t(t); }

// A chunk header with up to two fixed words after it (a block type, a size),
// big-endian, as every writer puts it out in one piece.
struct ChunkHead {
    uint8_t bytes[16];
    uint32_t size;  // 8, 12 or 16
};
ChunkHead chunkHead(uint32_t tag, uint32_t length, std::initializer_list<uint32_t> words = {});
inline ChunkHead chunkHead(ChunkTag tag, uint32_t length, std::initializer_list<uint32_t> words = {}) {
    return chunkHead(tagWord(tag), length, words);
}

// The end tag as the linker writes it: the tag word alone, no length word.
inline constexpr uint8_t kEndTag[4] = {0xC0, 0xDE, 0xCF, 0x1F};
static_assert(kEndTag[3] == uint8_t(ChunkTag::end) && kEndTag[0] == uint8_t(kTagBase >> 24));

// True when the word is one of the 32 tags 0xC0DECF00..0xC0DECF1F.
constexpr bool isKnownTag(uint32_t word) { return word - kTagBase < kTagCount; }

// Name of tag number 0..31 ("code", "reserved", ...); nullptr outside.
const char* chunkTagName(uint32_t tagNumber);

// Tag number of a tag name, or -1 ("reserved" names 0x0A, the first of them).
int chunkTagByName(std::string_view name);

// The smallest payload a tag's layout needs, and whether its length must be a
// multiple of 4 (whole words beyond the minimum). The linker refuses a payload
// that breaks its rule only for the chunks it reads (checkedOnRead); a chunk it
// drops unread is never refused, though the dump still notes it.
struct PayloadRule {
    uint32_t minimum;
    bool wordMultiple;
    bool checkedOnRead;

    constexpr bool fits(size_t length) const { return length >= minimum && (!wordMultiple || length % 4 == 0); }
};

const PayloadRule& payloadRule(ChunkTag tag);

// The five sections; the values are block types and section numbers on file.
enum class SectionKind : uint8_t { code = 0, data = 1, bss = 2, base = 3, bssb = 4 };
constexpr uint32_t kSectionCount = 5;

// "code", "data", "bss", "base", "bssb"; "unknown" outside 0..4.
const char* sectionName(uint32_t section);
// The four-character column text of the map: "code", "data", "bss ", ...
const char* sectionDisplay(uint32_t section);

// The (from, to) section pairs an executable's relocation chunks carry, in
// their fixed order: from code, data and base, each to code, data, base and
// bss. bss is never a source, and bssb neither a source nor a target.
struct RelocPair {
    uint8_t from, to;
};
inline constexpr uint32_t kRelocPairCount = 12;
inline constexpr RelocPair kRelocPairs[kRelocPairCount] = {
    {0, 0}, {0, 1}, {0, 3}, {0, 2}, {1, 0}, {1, 1}, {1, 3}, {1, 2}, {3, 0}, {3, 1}, {3, 3}, {3, 2},
};
// Where a pair comes among them; -1 for a pair no chunk carries.
constexpr int relocPairIndex(uint32_t from, uint32_t to) {
    constexpr int kFrom[5] = {0, 1, -1, 2, -1};
    constexpr int kTo[5] = {0, 1, 3, 2, -1};
    if (from >= 5 || to >= 5 || kFrom[from] < 0 || kTo[to] < 0) return -1;
    return kFrom[from] * 4 + kTo[to];
}
static_assert([] {
    for (uint32_t p = 0; p < kRelocPairCount; ++p)
        if (relocPairIndex(kRelocPairs[p].from, kRelocPairs[p].to) != int(p)) return false;
    return true;
}());

// How an xref uses its symbol: the type byte of its `link` entry.
enum AccessType : uint8_t {
    LINK_ABS8 = 0, LINK_ABS16 = 1, LINK_ABS32 = 2,
    LINK_PCREL8 = 4, LINK_PCREL16 = 5, LINK_PCREL32 = 6,
    LINK_REL8 = 8, LINK_REL16 = 9, LINK_REL32 = 10,
};

// What an access type computes for its field, with A, C and Q as resolution
// names them: A the definition's address, C its code address, Q the field's.
enum class AccessValue : uint8_t {
    none,          // the reference is ignored, not even looked up
    absolute,      // A + romStart
    pcRelative,    // C - Q
    baseRelative,  // A, added to what the field holds
};

// One row per access type: how its field is patched and what it reports.
struct AccessRule {
    const char* display;       // the map's 17-character text; "" for 3, 7 and above 10
    AccessValue value;
    uint8_t width;             // bytes patched: 1, 2 or 4
    uint8_t at;                // where they start in the field: 8-bit kinds patch the byte after its first
    int32_t lo, hi;            // the range the value is checked against, when rangeMessage is set
    const char* rangeMessage;  // the reference's name and its module's file fill it in
    // A definition in no section 0..4 gives A = 0 and this diagnostic, with
    // the section number when it takes one; an error only where marked.
    const char* badSectionMessage;
    bool badSectionIsError;
    bool makesRecord;          // absolute references stay relocatable: the executable records them
};

// The rule of a type byte; types 3, 7 and above 10 are ignored like LINK_ABS8.
const AccessRule& accessRule(uint32_t type);

// The 17-character map text of an access type 0..10; "" for 3, 7 and above 10.
inline const char* accessDisplay(uint32_t type) { return accessRule(type).display; }

constexpr bool isXrefType(uint32_t type) { return type <= 10 && (type & 3) != 3; }
constexpr bool isXdefType(uint32_t type) { return type >= 0x80 && type <= 0x84; }

// Name field length written for a name: the name, a NUL, zeros to a multiple of 4.
constexpr uint32_t nameFieldLength(uint32_t nameLength) { return (nameLength + 4) & ~3u; }

// The text of a name field or text payload: its bytes up to the first NUL,
// or all of them when there is none.
std::string_view textOf(std::span<const uint8_t> bytes);

// One entry of a `link` chunk as the walk meets it.
struct LinkEntry {
    enum class Kind { xref, xdef, other } kind;
    uint32_t offset;          // of the entry word within the payload
    uint8_t type;             // the type byte
    uint32_t fieldLength;     // N, the low 24 bits of the entry word
    uint32_t value;           // xdef: its value; xref: its count C
    std::string_view name;    // xref and xdef: the name, up to its NUL
    const uint8_t* offsets;   // xref: C big-endian offset words
};

// One top-level chunk as the walk meets it.
struct Chunk {
    size_t offset;                     // of its tag word in the file
    uint32_t tag;
    uint32_t length;                   // 0 for an end tag without its length word
    bool hasLengthWord;
    std::span<const uint8_t> payload;  // length bytes after the header
};

// How a walk over the top-level chunks ended.
enum class ChunkWalkStatus {
    end,         // after an end chunk with its length word
    endTagAlone, // after an end tag with fewer than 4 bytes behind it
    fileEnded,   // at the end of the file, between chunks, before any end tag
    headerCut,   // fewer than 8 bytes left, and they are not an end tag
    payloadCut,  // the length word runs past the end of the file
};

struct ChunkWalkEnd {
    ChunkWalkStatus status;
    // end, endTagAlone: just after the end chunk; otherwise where the bytes
    // that are not a whole chunk begin
    size_t offset;
    uint32_t tag, length;  // payloadCut: the header of the cut chunk
};

// Walks the chunks of a file from the one at start (the first chunk's header
// alone, when its length word is not used, is the caller's), calling onChunk
// for each whole chunk, the end chunk included; never reads outside bytes.
// A start past the end of the file is a cut header at its end.
template <class OnChunk>
ChunkWalkEnd walkChunks(std::span<const uint8_t> bytes, size_t start, OnChunk&& onChunk);

enum class LinkWalkStatus { ok, malformed };

// Walks the entries of a `link` payload up to its terminator, calling
// onEntry for each; never reads outside the payload. An entry whose count,
// value, name field or offsets run past the payload, or a payload that ends
// before the terminator, ends the walk as malformed; entries before it stand.
template <class OnEntry>
LinkWalkStatus walkLinkChunk(std::span<const uint8_t> payload, OnEntry&& onEntry);

// One entry of a library's symbol table (the `library` chunk's payload) as the
// walk meets it: a name field length N, the name field, zeros up to a
// multiple of 4, and the defining module's number.
struct LibraryTableEntry {
    uint32_t offset;                 // of the entry within the table
    uint32_t fieldLength;            // N
    std::span<const uint8_t> field;  // the name field with its padding
    std::string_view name;           // the name, up to its NUL within the N bytes
    uint32_t module;
};

struct LibraryTableEnd {
    bool whole;     // every entry fit; otherwise the bytes from offset on are no entry
    size_t offset;  // where the walk stopped
};

// Walks the entries of a library's symbol table, calling onEntry for each;
// never reads outside the table.
template <class OnEntry>
LibraryTableEnd walkLibraryTable(std::span<const uint8_t> table, OnEntry&& onEntry);

}  // namespace tarnel

#include "objfmt/chunk_walk.inl"

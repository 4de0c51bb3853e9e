#include "convert.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "objfmt/bytes.hpp"
#include "objfmt/chunk_builder.hpp"

namespace tarnel::elf2obj {
namespace {

using namespace elf;

constexpr uint32_t kPieceAlign = 4;
// the largest part whose size, rounded up to kPieceAlign, is still a 32-bit word
constexpr uint64_t kMaxPartSize = UINT32_MAX - (kPieceAlign - 1);
uint32_t roundUp(uint32_t n) { return (n + kPieceAlign - 1) & ~(kPieceAlign - 1); }

// Which ELF sections make up which part of the module, in the order they are
// laid out; a prefix rule takes every section whose name starts with it.
struct PartRule {
    std::string_view name;
    bool prefix;
    SectionKind part;
    uint32_t sectionType;
};
constexpr PartRule kPartRules[] = {
    {".text", false, SectionKind::code, SHT_PROGBITS},  {".text.", true, SectionKind::code, SHT_PROGBITS},
    {".rodata", false, SectionKind::code, SHT_PROGBITS}, {".rodata.", true, SectionKind::code, SHT_PROGBITS},
    {".data", false, SectionKind::data, SHT_PROGBITS},  {".data.", true, SectionKind::data, SHT_PROGBITS},
    {".bss", false, SectionKind::bss, SHT_NOBITS},      {".bss.", true, SectionKind::bss, SHT_NOBITS},
};

bool matches(const PartRule& rule, std::string_view name) {
    return rule.prefix ? name.size() > rule.name.size() && name.starts_with(rule.name) : name == rule.name;
}

// What each relocation type becomes. A reference to another module becomes
// an xref of `xrefType` when its addend is `xrefAddend`; the xref names the
// field `xrefBack` bytes before the relocated place: an 8-bit pc-relative
// xref names the extension word whose second byte holds the displacement,
// and gas marks that byte with addend +1 because the displacement counts
// from the extension word. A module-local absolute reference becomes a
// relocation record; a module-local pc-relative one is resolved here.
struct RelocRule {
    uint8_t type;
    uint32_t width;  // bytes of the field
    bool pcRelative;
    AccessType xrefType;
    int32_t xrefAddend;
    uint32_t xrefBack;
};
constexpr RelocRule kRelocRules[] = {
    {R_68K_32, 4, false, LINK_ABS32, 0, 0},   {R_68K_16, 2, false, LINK_ABS16, 0, 0},
    {R_68K_8, 1, false, LINK_ABS8, 0, 0},     {R_68K_PC32, 4, true, LINK_PCREL32, 0, 0},
    {R_68K_PC16, 2, true, LINK_PCREL16, 0, 0}, {R_68K_PC8, 1, true, LINK_PCREL8, 1, 1},
};

const RelocRule* relocRule(uint8_t type) {
    for (const RelocRule& r : kRelocRules)
        if (r.type == type) return &r;
    return nullptr;
}

// Where an ELF section landed in the module.
struct Placement {
    bool placed = false;
    bool refused = false;  // already reported
    SectionKind part = SectionKind::code;
    uint32_t offset = 0;  // of the section's first byte within the part
};

struct XrefKey {
    uint32_t type;
    std::string name;
    bool operator==(const XrefKey&) const = default;
};

class Converter {
public:
    Converter(const File& file, const ConvertOptions& options) : file_(file), options_(options) {}

    Conversion run() {
        placeSections();
        exportSymbols();
        for (const RelocSection& rs : file_.relocations) convertRelocations(rs);
        if (result_.refusals.empty()) writeModule();
        return std::move(result_);
    }

private:
    // Lays the sections out rule by rule; every other allocated section with
    // contents has no place in the module.
    void placeSections() {
        placements_.resize(file_.sections.size());
        for (const PartRule& rule : kPartRules) {
            for (uint32_t i = 0; i < file_.sections.size(); ++i) {
                const Section& s = file_.sections[i];
                if (placements_[i].placed || !matches(rule, s.name)) continue;
                if (s.type != rule.sectionType) {
                    refuse(s.name, 0, s.name, "section of an unexpected type for its name");
                    placements_[i].refused = true;
                    continue;
                }
                uint32_t& size = partSize(rule.part);
                // a part's size and every offset in it are 32-bit words
                if (uint64_t(roundUp(size)) + s.size > kMaxPartSize) {
                    refuse(s.name, 0, s.name, "section makes its part 4 GiB or larger");
                    placements_[i].refused = true;
                    continue;
                }
                Placement& p = placements_[i];
                p.placed = true;
                p.part = rule.part;
                p.offset = roundUp(size);
                size = p.offset + s.size;
                if (rule.part != SectionKind::bss) {
                    auto& bytes = partBytes(rule.part);
                    bytes.resize(p.offset);
                    bytes.insert(bytes.end(), s.bytes.begin(), s.bytes.end());
                }
            }
        }
        for (uint32_t i = 0; i < file_.sections.size(); ++i) {
            const Section& s = file_.sections[i];
            if (!placements_[i].placed && !placements_[i].refused && (s.flags & SHF_ALLOC) && s.size != 0)
                refuse(s.name, 0, s.name, "section with contents that is not code, rodata, data or bss");
        }
        for (SectionKind part : {SectionKind::code, SectionKind::data, SectionKind::bss}) {
            partSize(part) = roundUp(partSize(part));
            if (part != SectionKind::bss) partBytes(part).resize(partSize(part));
        }
    }

    // Every global symbol defined in a converted section becomes an xdef.
    void exportSymbols() {
        for (const Symbol& sym : file_.symbols) {
            if (sym.shndx == SHN_COMMON) {
                refuse("*COM*", 0, sym.name, "common symbol; define it in .bss instead");
                continue;
            }
            if (sym.bind == STB_LOCAL || sym.shndx == SHN_UNDEF) continue;
            if (sym.type == STT_SECTION || sym.type == STT_FILE) continue;
            if (sym.shndx == SHN_ABS) {
                refuse("*ABS*", sym.value, sym.name, "absolute symbol cannot be exported");
                continue;
            }
            if (sym.shndx >= placements_.size() || !placements_[sym.shndx].placed) {
                refuse(sectionName(sym.shndx), sym.value, sym.name, "global symbol outside code, data and bss");
                continue;
            }
            if (!nameFits(sym.name)) {
                refuseLongName(sectionName(sym.shndx), sym.value, sym.name);
                continue;
            }
            const Placement& p = placements_[sym.shndx];
            link_.xdef(p.part, p.offset + sym.value, sym.name);
            hasXdefs_ = true;
        }
    }

    void convertRelocations(const RelocSection& rs) {
        const Section& target = file_.sections[rs.target];
        if (!placements_[rs.target].placed) return;  // debugging information and the like
        if (!rs.withAddends) {
            refuse(target.name, 0, file_.sections[rs.index].name, "relocations without addends");
            return;
        }
        for (const Rela& r : rs.entries) convertRelocation(rs.target, r);
    }

    void convertRelocation(uint32_t sectionIndex, const Rela& r) {
        const Section& section = file_.sections[sectionIndex];
        const Placement& place = placements_[sectionIndex];
        const Symbol& sym = file_.symbols[r.symbol];
        std::string_view name = symbolName(sym);
        auto refuseHere = [&](const std::string& why) { refuse(section.name, r.offset, name, why); };

        if (r.type == R_68K_NONE) return;
        const RelocRule* rule = relocRule(r.type);
        if (!rule) return refuseHere(relocTypeName(r.type) + " cannot be converted");
        if (place.part == SectionKind::bss) return refuseHere("relocation in a section without contents");
        if (uint64_t(r.offset) + rule->width > section.size)
            return refuseHere("relocated field runs past the end of the section");
        if (!rule->pcRelative && rule->width == 1) return refuseHere("8-bit absolute reference");
        if (sym.shndx == SHN_COMMON) return;  // refused with the symbol

        uint32_t at = place.offset + r.offset;  // the field's offset within its part
        if (sym.shndx == SHN_UNDEF) {
            if (sym.bind == STB_WEAK) return refuseHere("weak undefined symbol");
            if (place.part != SectionKind::code) return refuseHere("external reference from a data section");
            if (rule->type == R_68K_PC8 && r.addend == -1)
                return refuseHere("short branch (bra.s, bsr.s) to another module; use the .w form");
            if (r.addend != rule->xrefAddend)
                return refuseHere("external reference with addend " + signedHex(r.addend));
            if (at < rule->xrefBack) return refuseHere("8-bit pc-relative field without an extension word");
            return addXref(rule->xrefType, sym.name, at - rule->xrefBack, section.name, r.offset);
        }
        if (sym.shndx >= placements_.size() || !placements_[sym.shndx].placed)
            return refuseHere("reference to a symbol outside code, data and bss");
        // A global defined here is linked by name where an xref can say it
        // (from code, no addend, pc-relative only to code); otherwise it is
        // resolved within the module like a local symbol.
        const Placement& dest = placements_[sym.shndx];
        if (sym.bind != STB_LOCAL && place.part == SectionKind::code && r.addend == rule->xrefAddend &&
            (!rule->pcRelative || dest.part == SectionKind::code))
            return addXref(rule->xrefType, sym.name, at - rule->xrefBack, section.name, r.offset);

        uint32_t value = dest.offset + sym.value + uint32_t(r.addend);  // within the target's part
        if (rule->pcRelative) {
            if (place.part != SectionKind::code) return refuseHere("pc-relative reference from a data section");
            if (dest.part != SectionKind::code) return refuseHere("pc-relative reference to data or bss");
            int32_t displacement = int32_t(value - at);
            int64_t limit = int64_t(1) << (rule->width * 8 - 1);
            if (rule->width < 4 && (displacement < -limit || displacement >= limit))
                return refuseHere("pc-relative displacement " + signedHex(displacement) + " out of range");
            writeField(place.part, at, rule->width, uint32_t(displacement));
            return;
        }
        writeField(place.part, at, rule->width, value);
        ChunkTag tag = rule->width == 4 ? ChunkTag::reloc32 : ChunkTag::reloc16;
        relocs_[{tag, place.part, dest.part}].push_back(at);
    }

    // One xref entry per name and access type, its places gathered in it.
    // The entries are found by name through an index, so that many names cost
    // no more than one lookup each.
    void addXref(uint32_t type, std::string_view name, uint32_t at, std::string_view section, uint32_t offset) {
        if (!nameFits(name)) return refuseLongName(section, offset, name);
        auto [it, added] = xrefIndex_.try_emplace({type, std::string(name)}, xrefs_.size());
        if (added) xrefs_.push_back({XrefKey{type, std::string(name)}, {}});
        xrefs_[it->second].second.push_back(at);
    }

    void writeField(SectionKind part, uint32_t at, uint32_t width, uint32_t value) {
        uint8_t* field = partBytes(part).data() + at;
        if (width == 4)
            writeWordBE(field, value);
        else if (width == 2)
            writeHalfBE(field, value);
        else
            *field = uint8_t(value);
    }

    void writeModule() {
        ByteBuilder out;
        out.chunk(ChunkTag::object, {});
        ByteBuilder name;
        name.text(moduleName()).zeros(1);
        out.chunk(ChunkTag::name, name.bytes());
        if (options_.processorId) {
            ByteBuilder p;
            p.word(*options_.processorId).word(0);
            out.chunk(ChunkTag::processor, p.bytes());
        }
        if (codeSize_) sectionChunk(out, ChunkTag::code, 0, code_);
        if (dataSize_) sectionChunk(out, ChunkTag::data, 1, data_);
        if (bssSize_) {
            ByteBuilder p;
            p.word(2).word(bssSize_);
            out.chunk(ChunkTag::bss, p.bytes());
        }
        // References in the order first met, each with its places in ascending order.
        for (auto& [key, offsets] : xrefs_) {
            std::sort(offsets.begin(), offsets.end());
            link_.xref(key.type, key.name, offsets);
        }
        if (hasXdefs_ || !xrefs_.empty()) out.chunk(ChunkTag::link, link_.finish());
        for (auto& [key, offsets] : relocs_) {
            auto [tag, from, to] = key;
            std::sort(offsets.begin(), offsets.end());
            ByteBuilder p;
            p.word(uint32_t(from)).word(uint32_t(to));
            for (uint32_t o : offsets) p.word(o);
            out.chunk(tag, p.bytes());
        }
        out.endTag();
        result_.object = std::move(out.bytes());
    }

    static void sectionChunk(ByteBuilder& out, ChunkTag tag, uint32_t blockType, const std::vector<uint8_t>& bytes) {
        ByteBuilder p;
        p.word(blockType).raw(bytes);
        out.chunk(tag, p.bytes());
    }

    // The source file the object was made from, as its FILE symbol names it.
    std::string moduleName() const {
        for (const Symbol& sym : file_.symbols)
            if (sym.type == STT_FILE && !sym.name.empty()) return std::string(sym.name);
        return options_.fallbackName;
    }

    // A section symbol is named after its section.
    std::string_view symbolName(const Symbol& sym) const {
        if (sym.type == STT_SECTION) return sectionName(sym.shndx);
        return sym.name;
    }

    std::string_view sectionName(uint32_t index) const {
        if (index == SHN_ABS) return "*ABS*";
        if (index == SHN_UNDEF) return "*UND*";
        if (index < file_.sections.size()) return file_.sections[index].name;
        return "*unknown*";
    }

    void refuse(std::string_view section, uint32_t offset, std::string_view symbol, const std::string& why) {
        char where[32];
        std::snprintf(where, sizeof where, "+0x%x: '", offset);
        result_.refusals.push_back(std::string(section) + where + std::string(symbol) + "': " + why);
    }

    // A name and its NUL, padded to a multiple of 4, fit the 24-bit field
    // length of a link chunk entry.
    static bool nameFits(std::string_view name) { return uint64_t(name.size()) + 4 <= 0xFFFFFF; }

    // The refusal shows the name's first bytes only.
    void refuseLongName(std::string_view section, uint32_t offset, std::string_view name) {
        refuse(section, offset, std::string(name.substr(0, 32)) + "...",
               "name of " + std::to_string(name.size()) + " bytes, too long for the 24-bit name field");
    }

    static std::string signedHex(int32_t v) {
        char buf[16];
        uint32_t magnitude = v < 0 ? 0u - uint32_t(v) : uint32_t(v);
        std::snprintf(buf, sizeof buf, "%c0x%x", v < 0 ? '-' : '+', magnitude);
        return buf;
    }

    uint32_t& partSize(SectionKind part) {
        return part == SectionKind::code ? codeSize_ : part == SectionKind::data ? dataSize_ : bssSize_;
    }
    std::vector<uint8_t>& partBytes(SectionKind part) { return part == SectionKind::code ? code_ : data_; }

    const File& file_;
    const ConvertOptions& options_;
    Conversion result_;
    std::vector<Placement> placements_;
    std::vector<uint8_t> code_, data_;
    uint32_t codeSize_ = 0, dataSize_ = 0, bssSize_ = 0;
    LinkPayloadBuilder link_;
    bool hasXdefs_ = false;
    std::vector<std::pair<XrefKey, std::vector<uint32_t>>> xrefs_;
    std::map<std::pair<uint32_t, std::string>, size_t> xrefIndex_;
    std::map<std::tuple<ChunkTag, SectionKind, SectionKind>, std::vector<uint32_t>> relocs_;
};

}  // namespace

Conversion convertObject(const File& file, const ConvertOptions& options) { return Converter(file, options).run(); }

std::optional<uint32_t> processorIdFor(std::string_view model) {
    if (model.size() != 4) return std::nullopt;
    uint32_t id = 0;
    for (char c : model) {
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return std::nullopt;
        id = id << 4 | uint32_t(digit);
    }
    return id << 16;
}

}  // namespace tarnel::elf2obj

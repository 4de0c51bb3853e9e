#include "convert.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include "alias_name.hpp"
#include "debug_chunks.hpp"
#include "layout.hpp"
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

// Loaded sections dropped like the debugging information: the unwind
// tables, which only an unwinder reads (to throw a C++ exception or walk the
// stack), and a program of tarnel modules has none.
struct DroppedSection {
    std::string_view name;
    bool prefix;
};
constexpr DroppedSection kDroppedSections[] = {
    {".eh_frame", false},
    {".eh_frame_hdr", false},
    {".gcc_except_table", false},
    {".gcc_except_table.", true},
};

template <typename Rule>
bool matches(const Rule& rule, std::string_view name) {
    return rule.prefix ? name.size() > rule.name.size() && name.starts_with(rule.name) : name == rule.name;
}

bool isDroppedSection(std::string_view name) {
    return std::ranges::any_of(kDroppedSections, [&](const DroppedSection& d) { return matches(d, name); });
}

// What each relocation type becomes. A reference to another module becomes
// an xref of `xrefType` when its addend is `xrefAddend`; the access type's
// row gives the field's width, whether it is pc-relative, and where its
// patched bytes start: an 8-bit pc-relative xref names the extension word
// whose second byte holds the displacement (the relocated place), and gas
// marks that byte with addend +1 because the displacement counts from the
// extension word. A module-local absolute reference becomes a relocation
// record; a module-local pc-relative one is resolved here.
struct RelocRule {
    uint8_t type;
    AccessType xrefType;
    int32_t xrefAddend;

    const AccessRule& access() const { return accessRule(xrefType); }
    uint32_t width() const { return access().width; }  // bytes of the field
    bool pcRelative() const { return access().value == AccessValue::pcRelative; }
    uint32_t xrefBack() const { return access().at; }   // from the xref's field to the relocated place
};
constexpr RelocRule kRelocRules[] = {
    {R_68K_32, LINK_ABS32, 0},   {R_68K_16, LINK_ABS16, 0},   {R_68K_8, LINK_ABS8, 0},
    {R_68K_PC32, LINK_PCREL32, 0}, {R_68K_PC16, LINK_PCREL16, 0}, {R_68K_PC8, LINK_PCREL8, 1},
};

const RelocRule* relocRule(uint8_t type) {
    for (const RelocRule& r : kRelocRules)
        if (r.type == type) return &r;
    return nullptr;
}

// One alias per referenced symbol and addend: `sym+0x20` names the address
// sym + 0x20. No C identifier and no unquoted assembler symbol holds a `+`
// or a `-`, and a quoted one of an alias's form is refused, so the name
// cannot clash with a symbol of the program.
using AliasKey = std::pair<std::string, int32_t>;
using AliasSet = std::set<AliasKey>;  // sorted by symbol, then addend

std::string signedHex(int32_t v) {
    char buf[16];
    uint32_t magnitude = v < 0 ? 0u - uint32_t(v) : uint32_t(v);
    std::snprintf(buf, sizeof buf, "%c0x%x", v < 0 ? '-' : '+', magnitude);
    return buf;
}

std::string aliasName(const AliasKey& alias) { return alias.first + signedHex(alias.second); }

// The global symbols that the objects of a whole-program conversion define,
// each with the object whose definition the linker is to take: the first
// strong definition or, without one, the first weak one. The others' weak
// definitions are not exported.
struct Definer {
    size_t object;
    bool strong;
};
using ProgramSymbols = std::map<std::string, Definer, std::less<>>;

// A symbol that defines a name for the whole program.
bool isDefinition(const Symbol& sym) {
    return sym.bind != STB_LOCAL && sym.shndx != SHN_UNDEF && sym.shndx != SHN_COMMON && sym.type != STT_SECTION &&
           sym.type != STT_FILE;
}

struct XrefKey {
    uint32_t type;
    std::string name;
    bool operator==(const XrefKey&) const = default;
};

class Converter {
public:
    // `self` numbers the object among those converted together.
    Converter(const File& file, const ConvertOptions& options, size_t self)
        : file_(file), options_(options), self_(self), dropped_(file.symbols.size()) {}

    // The conversion runs in steps, so that a whole program can be converted
    // together: lay the sections out (and enter the definitions in the
    // program's symbols), export the symbols and convert the references
    // (which may use aliases that other modules define), then define the
    // aliases this module holds and write it.
    void layOut() {
        refuseAliasNames();
        placeSections();
    }
    void addDefinitions(ProgramSymbols& program) const {
        for (const Symbol& sym : file_.symbols) {
            if (!isDefinition(sym)) continue;
            const bool strong = sym.bind != STB_WEAK;
            auto [it, added] = program.try_emplace(std::string(sym.name), Definer{self_, strong});
            if (!added && strong && !it->second.strong) it->second = {self_, true};
        }
    }
    void convert(const ProgramSymbols* program) {
        program_ = program;
        exportSymbols();
        for (const RelocSection& rs : file_.relocations) convertRelocations(rs);
        if (options_.keepDebug && hasDebugSections(file_))
            debug_ = convertDebugInfo(file_, placements_, moduleName(),
                                      [this](std::string_view section, uint32_t offset, std::string_view symbol,
                                             const std::string& why) { refuse(section, offset, symbol, why); });
    }
    Conversion finish(const AliasSet& used) {
        defineAliases(used);
        if (result_.refusals.empty()) writeModule();
        return std::move(result_);
    }

    const AliasSet& aliasUses() const { return aliasUses_; }

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
                    refuse(s.name, 0, s.name,
                           "section of an unexpected type for its name; give .bss sections @nobits and the others "
                           "@progbits");
                    placements_[i].refused = true;
                    continue;
                }
                // placed all the same, so that what lies in it is checked too
                if (s.align > kPieceAlign)
                    refuse(s.name, 0, s.name,
                           "section aligned to " + std::to_string(s.align) +
                               " bytes; the linker places module parts at multiples of 4 only: align it to at most "
                               "4 (in C: drop the aligned attribute or lower it to 4)");
                uint32_t& size = partSize(rule.part);
                // a part's size and every offset in it are 32-bit words
                if (uint64_t(roundUp(size)) + s.size > kMaxPartSize) {
                    refuse(s.name, 0, s.name, "section makes its part 4 GiB or larger; make the program smaller");
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
            if (!placements_[i].placed && !placements_[i].refused && (s.flags & SHF_ALLOC) && s.size != 0 &&
                !isDroppedSection(s.name))
                refuse(s.name, 0, s.name,
                       "section with contents that is not code, rodata, data or bss; put it in .text, .rodata, "
                       ".data or .bss (in C: drop the section attribute or the option that makes it)");
        }
        for (SectionKind part : {SectionKind::code, SectionKind::data, SectionKind::bss}) {
            partSize(part) = roundUp(partSize(part));
            if (part != SectionKind::bss) partBytes(part).resize(partSize(part));
        }
    }

    // A global symbol an alias could name would be taken for the alias.
    void refuseAliasNames() {
        for (const Symbol& sym : file_.symbols)
            if (sym.bind != STB_LOCAL && sym.type != STT_SECTION && sym.type != STT_FILE && hasAliasForm(sym.name))
                refuse(sectionName(sym.shndx), sym.value, sym.name,
                       "name of the form of an alias, which -d gives to a symbol plus an offset (sym+0x4); rename "
                       "it");
    }

    // Every global symbol defined in a converted section becomes an xdef,
    // but for a weak one that another object's definition wins over: its
    // body stays in the module, unexported, and the module's references to
    // its name go to the winner.
    void exportSymbols() {
        for (uint32_t i = 0; i < file_.symbols.size(); ++i) {
            const Symbol& sym = file_.symbols[i];
            if (sym.shndx == SHN_COMMON) {
                refuse("*COM*", 0, sym.name,
                       "common symbol; define it in .bss instead (in C: compile with -fno-common)");
                continue;
            }
            if (!isDefinition(sym)) continue;
            if (sym.bind == STB_WEAK && program_ && program_->find(sym.name)->second.object != self_) {
                dropped_[i] = true;
                continue;
            }
            if (sym.shndx == SHN_ABS) {
                refuse("*ABS*", sym.value, sym.name,
                       "absolute symbol cannot be exported; keep it local, or define the value in .rodata");
                continue;
            }
            if (sym.shndx >= placements_.size() || !placements_[sym.shndx].placed) {
                refuse(sectionName(sym.shndx), sym.value, sym.name,
                       "global symbol outside code, data and bss; define it in .text, .rodata, .data or .bss");
                continue;
            }
            if (!nameFits(sym.name)) {
                refuseLongName(sectionName(sym.shndx), sym.value, sym.name);
                continue;
            }
            const Placement& p = placements_[sym.shndx];
            link_.xdef(p.part, p.offset + sym.value, sym.name);
            exported_.try_emplace(std::string(sym.name), p.part, p.offset + sym.value);
            hasXdefs_ = true;
        }
    }

    // Each alias of a symbol this module exports is an xdef in the symbol's
    // section at the symbol's value plus the addend. The value may lie
    // outside the module's part, below it or past its end: the linker adds
    // the part's start, modulo 2^32, which gives the address sym + addend
    // all the same. Every module that exports the symbol defines the alias,
    // so that the definition the linker takes for the symbol (the first) is
    // also the one it takes for its aliases.
    void defineAliases(const AliasSet& used) {
        for (const AliasKey& alias : used) {
            auto it = exported_.find(alias.first);
            if (it == exported_.end()) continue;
            std::string name = aliasName(alias);
            if (!nameFits(name)) continue;  // refused where it is referenced
            auto [part, value] = it->second;
            link_.xdef(part, value + uint32_t(alias.second), name);
            hasXdefs_ = true;
        }
    }

    void convertRelocations(const RelocSection& rs) {
        const Section& target = file_.sections[rs.target];
        if (!placements_[rs.target].placed) return;  // debugging information and the like
        if (!rs.withAddends) {
            refuse(target.name, 0, file_.sections[rs.index].name,
                   "relocations without addends; build the object with the GNU m68k tools, which write RELA "
                   "relocations");
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
        if (!rule)
            return refuseHere(relocTypeName(r.type) +
                              " cannot be converted; build without -fpic/-fPIC and reach the symbol with a 16- "
                              "or 32-bit address");
        if (place.part == SectionKind::bss)
            return refuseHere("relocation in a section without contents; put initialised values in .data");
        if (uint64_t(r.offset) + rule->width() > section.size)
            return refuseHere("relocated field runs past the end of the section; the object is damaged, rebuild it");
        if (!rule->pcRelative() && rule->width() == 1)
            return refuseHere("8-bit absolute reference; use a 16- or 32-bit address (.w or .l)");
        if (sym.shndx == SHN_COMMON) return;  // refused with the symbol

        uint32_t at = place.offset + r.offset;  // the field's offset within its part
        if (sym.shndx == SHN_UNDEF || dropped_[r.symbol]) {
            // a weak reference resolves as an ordinary one where a given
            // object defines the name; there is no address 0 for a missing one
            if (sym.shndx == SHN_UNDEF && sym.bind == STB_WEAK && !program_)
                return refuseHere(
                    "weak undefined symbol; convert this module with -d together with the one that defines it, "
                    "or drop the weak");
            if (sym.shndx == SHN_UNDEF && sym.bind == STB_WEAK && !program_->contains(sym.name))
                return refuseHere(
                    "weak undefined symbol that no given object defines; define it in one of the program's "
                    "modules or drop the weak");
            if (place.part != SectionKind::code)
                return refuseHere(
                    "external reference from a data section; keep the pointer in the module that "
                    "defines its target, or set it from code at run time");
            if (rule->type == R_68K_PC8 && r.addend == -1)
                return refuseHere("short branch (bra.s, bsr.s) to another module; use the .w form");
            if (at < rule->xrefBack())
                return refuseHere("8-bit pc-relative field without an extension word; the object is damaged, "
                                  "rebuild it");
            if (r.addend == rule->xrefAddend)
                return void(addXref(rule->xrefType, sym.name, at - rule->xrefBack(), section.name, r.offset));
            // sym + addend becomes a reference to the alias that the module
            // defining sym is given; what the xref adds by itself is not part
            // of the alias
            AliasKey alias{std::string(sym.name), int32_t(uint32_t(r.addend) - uint32_t(rule->xrefAddend))};
            if (!program_)
                return refuseHere("external reference with addend " + signedHex(r.addend) +
                                  "; convert the module defining it together with this one (-d DIR A.o B.o ...)");
            if (!program_->contains(sym.name))
                return refuseHere("external reference with addend " + signedHex(r.addend) +
                                  " to a symbol that no given object defines; convert the module defining it in "
                                  "the same -d run");
            if (addXref(rule->xrefType, aliasName(alias), at - rule->xrefBack(), section.name, r.offset))
                aliasUses_.insert(std::move(alias));
            return;
        }
        if (sym.shndx >= placements_.size() || !placements_[sym.shndx].placed)
            return refuseHere(
                "reference to a symbol outside code, data and bss; define it in .text, .rodata, .data or "
                ".bss, or use a constant as an immediate (#)");
        // A global defined here is linked by name where an xref can say it
        // (from code, no addend, pc-relative only to code); otherwise it is
        // resolved within the module like a local symbol.
        const Placement& dest = placements_[sym.shndx];
        if (sym.bind != STB_LOCAL && place.part == SectionKind::code && r.addend == rule->xrefAddend &&
            (!rule->pcRelative() || dest.part == SectionKind::code))
            return void(addXref(rule->xrefType, sym.name, at - rule->xrefBack(), section.name, r.offset));

        uint32_t value = dest.offset + sym.value + uint32_t(r.addend);  // within the target's part
        if (rule->pcRelative()) {
            if (place.part != SectionKind::code)
                return refuseHere("pc-relative reference from a data section; store an absolute address (.long)");
            if (dest.part != SectionKind::code)
                return refuseHere(
                    "pc-relative reference to data or bss; address data absolutely (in C: -fno-pic; in "
                    "assembly: sym, not sym(%pc))");
            int32_t displacement = int32_t(value - at);
            int64_t limit = int64_t(1) << (rule->width() * 8 - 1);
            if (rule->width() < 4 && (displacement < -limit || displacement >= limit))
                return refuseHere("pc-relative displacement " + signedHex(displacement) +
                                  " out of range; use the .w or .l form");
            writeField(place.part, at, rule->width(), uint32_t(displacement));
            return;
        }
        writeField(place.part, at, rule->width(), value);
        ChunkTag tag = rule->width() == 4 ? ChunkTag::reloc32 : ChunkTag::reloc16;
        relocs_[{tag, place.part, dest.part}].push_back(at);
    }

    // One xref entry per name and access type, its places gathered in it.
    // The entries are found by name through an index, so that many names cost
    // no more than one lookup each.
    // Returns false when the name was refused.
    bool addXref(uint32_t type, std::string_view name, uint32_t at, std::string_view section, uint32_t offset) {
        if (!nameFits(name)) {
            refuseLongName(section, offset, name);
            return false;
        }
        auto [it, added] = xrefIndex_.try_emplace({type, std::string(name)}, xrefs_.size());
        if (added) xrefs_.push_back({XrefKey{type, std::string(name)}, {}});
        xrefs_[it->second].second.push_back(at);
        return true;
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
        if (debug_) {
            out.chunk(ChunkTag::symbol, debug_->symbols);
            out.chunk(ChunkTag::debug, debug_->debug);
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

    std::string_view symbolName(const Symbol& sym) const { return symbolNameIn(file_, sym); }
    std::string_view sectionName(uint32_t index) const { return sectionNameIn(file_, index); }

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
               "name of " + std::to_string(name.size()) + " bytes, too long for the 24-bit name field; shorten it");
    }

    uint32_t& partSize(SectionKind part) {
        return part == SectionKind::code ? codeSize_ : part == SectionKind::data ? dataSize_ : bssSize_;
    }
    std::vector<uint8_t>& partBytes(SectionKind part) { return part == SectionKind::code ? code_ : data_; }

    const File& file_;
    const ConvertOptions& options_;
    Conversion result_;
    std::vector<Placement> placements_;
    std::optional<DebugChunks> debug_;  // the symbols and debugging information, when kept
    std::vector<uint8_t> code_, data_;
    uint32_t codeSize_ = 0, dataSize_ = 0, bssSize_ = 0;
    LinkPayloadBuilder link_;
    bool hasXdefs_ = false;
    const size_t self_;
    const ProgramSymbols* program_ = nullptr;  // set in a whole-program conversion
    std::vector<bool> dropped_;                // by symbol: a weak definition another object's wins over
    std::map<std::string, std::pair<SectionKind, uint32_t>, std::less<>> exported_;  // xdefs: part, value
    AliasSet aliasUses_;
    std::vector<std::pair<XrefKey, std::vector<uint32_t>>> xrefs_;
    std::map<std::pair<uint32_t, std::string>, size_t> xrefIndex_;
    std::map<std::tuple<ChunkTag, SectionKind, SectionKind>, std::vector<uint32_t>> relocs_;
};

}  // namespace

Conversion convertObject(const File& file, const ConvertOptions& options) {
    Converter c(file, options, 0);
    c.layOut();
    c.convert(nullptr);
    return c.finish({});
}

std::vector<Conversion> convertProgram(std::span<const File> files, std::span<const ConvertOptions> options) {
    std::vector<Converter> converters;
    converters.reserve(files.size());
    ProgramSymbols program;
    for (size_t i = 0; i < files.size(); ++i) {
        converters.emplace_back(files[i], options[i], i);
        converters.back().layOut();
        converters.back().addDefinitions(program);
    }
    AliasSet used;
    for (Converter& c : converters) {
        c.convert(&program);
        used.insert(c.aliasUses().begin(), c.aliasUses().end());
    }
    std::vector<Conversion> results;
    for (Converter& c : converters) results.push_back(c.finish(used));
    return results;
}

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

#include "debug_chunks.hpp"

#include <algorithm>
#include <map>

#include "objfmt/bytes.hpp"
#include "objfmt/chunk_builder.hpp"
#include "objfmt/debug_chunk.hpp"

namespace tarnel::elf2obj {

using namespace elf;

namespace {

constexpr const char* kRemedy = "; compile without -g, or convert with --strip-debug";
constexpr uint32_t kFieldWidth = 4;  // every relocated field of debugging information is a 32-bit address

class DebugConverter {
public:
    DebugConverter(const File& file, std::span<const Placement> placements, const Refuse& refuse)
        : file_(file), placements_(placements), refuse_(refuse), chunkIndex_(file.sections.size(), kNone) {}

    // The debugging sections in the object's order, each with its bytes.
    void collectSections() {
        for (uint32_t i = 0; i < file_.sections.size(); ++i) {
            const Section& s = file_.sections[i];
            if (!isDebugSection(s)) continue;
            // the relocations of a section whose bytes are not there as
            // written are not looked at: what they patch is missing
            bool patchable = false;
            if ((s.flags & SHF_COMPRESSED) || s.name.starts_with(".zdebug"))
                refuse_(s.name, 0, s.name,
                        "compressed debugging section; compile without -gz, or convert with --strip-debug");
            else if (s.type != SHT_PROGBITS)
                refuse_(s.name, 0, s.name, "debugging section without contents; the object is damaged, rebuild it");
            else
                patchable = true;
            if (patchable && !debugAlignmentValid(std::max<uint32_t>(s.align, 1)))
                refuse_(s.name, 0, s.name,
                        "debugging section aligned to " + std::to_string(s.align) +
                            " bytes; the linker takes 0 or a power of two up to " + std::to_string(kDebugAlignLimit) +
                            kRemedy);
            chunkIndex_[i] = uint32_t(sections_.size());
            sections_.push_back({i, patchable, std::vector<uint8_t>(s.bytes.begin(), s.bytes.end()), {}});
        }
    }

    void convertRelocations() {
        for (const RelocSection& rs : file_.relocations) {
            if (chunkIndex_[rs.target] == kNone) continue;
            Piece& piece = sections_[chunkIndex_[rs.target]];
            if (!piece.patchable) continue;
            const Section& section = file_.sections[rs.target];
            if (!rs.withAddends) {
                refuse_(section.name, 0, file_.sections[rs.index].name,
                        std::string("relocations without addends; build the object with the GNU m68k tools, which "
                                    "write RELA relocations, or convert with --strip-debug"));
                continue;
            }
            for (const Rela& r : rs.entries) convertRelocation(piece, section, r);
        }
    }

    std::vector<uint8_t> symbolPayload(std::string_view fileName) const {
        SymbolPayloadBuilder b(fileName);
        for (size_t i = 1; i < file_.symbols.size(); ++i) {
            const Symbol& sym = file_.symbols[i];
            if (sym.type == STT_SECTION || sym.type == STT_FILE || sym.name.empty()) continue;
            if (sym.shndx == SHN_ABS) {
                b.symbol(kAbsoluteSymbol, SymbolBinding(sym.bind), sym.type, sym.value, sym.size, sym.name);
            } else if (const Placement* p = placed(sym.shndx)) {
                b.symbol(uint8_t(p->part), SymbolBinding(sym.bind), sym.type, p->offset + sym.value, sym.size,
                         sym.name);
            }
            // undefined and common symbols define nothing here; symbols in the
            // sections the module does not hold name nothing it holds
        }
        return b.finish();
    }

    std::vector<uint8_t> debugPayload() const {
        DebugPayloadBuilder b;
        for (const std::string& name : names_) b.name(name);
        for (const Piece& piece : sections_) {
            const Section& s = file_.sections[piece.index];
            b.section(s.name, std::max<uint32_t>(s.align, 1), piece.bytes, piece.relocs);
        }
        return b.finish();
    }

private:
    static constexpr uint32_t kNone = UINT32_MAX;

    struct Piece {
        uint32_t index;  // of the ELF section
        bool patchable;  // its bytes are there, uncompressed
        std::vector<uint8_t> bytes;
        std::vector<DebugPayloadBuilder::Reloc> relocs;
    };

    const Placement* placed(uint32_t shndx) const {
        return shndx < placements_.size() && placements_[shndx].placed ? &placements_[shndx] : nullptr;
    }

    // A field of a debugging section gets the address of what the symbol
    // names plus the addend: a place in the module's parts or in its
    // debugging sections, or the definition of a global or undefined name,
    // which the link chooses.
    void convertRelocation(Piece& piece, const Section& section, const Rela& r) {
        const Symbol& sym = file_.symbols[r.symbol];
        const std::string_view name = symbolNameIn(file_, sym);
        auto refuseHere = [&](const std::string& why) { refuse_(section.name, r.offset, name, why); };

        if (r.type == R_68K_NONE) return;
        if (r.type != R_68K_32)
            return refuseHere(relocTypeName(r.type) +
                              " in debugging information, where the object format keeps 32-bit addresses only" +
                              kRemedy);
        // the field lies in the bytes the section holds
        if (uint64_t(r.offset) + kFieldWidth > piece.bytes.size())
            return refuseHere("relocated field runs past the end of the section; the object is damaged, rebuild it");
        if (sym.shndx == SHN_COMMON) return;  // refused with the symbol
        const uint32_t addend = uint32_t(r.addend);
        if (sym.shndx == SHN_ABS) {
            // a number is known now: the field takes it, and no relocation is left
            writeWordBE(piece.bytes.data() + r.offset, sym.value + addend);
            return;
        }
        if (sym.shndx < chunkIndex_.size() && chunkIndex_[sym.shndx] != kNone) {
            piece.relocs.push_back(
                {r.offset, debugTargetWord(DebugTarget::debugSection, chunkIndex_[sym.shndx]), sym.value + addend});
            return;
        }
        const Placement* p = placed(sym.shndx);
        if (p && (sym.bind == STB_LOCAL || sym.type == STT_SECTION)) {
            piece.relocs.push_back(
                {r.offset, debugTargetWord(DebugTarget::part, uint32_t(p->part)), p->offset + sym.value + addend});
            return;
        }
        if ((p || sym.shndx == SHN_UNDEF) && !sym.name.empty()) {
            // by name, as the code reaches it: a weak definition another
            // module's wins over describes the winner's address
            const uint32_t index = nameIndex(sym.name);
            if (index >= kDebugIndexLimit)
                return refuseHere("more names in debugging information than a relocation's 24-bit index counts" +
                                  std::string(kRemedy));
            piece.relocs.push_back({r.offset, debugTargetWord(DebugTarget::name, index), addend});
            return;
        }
        refuseHere("reference from debugging information to " + std::string(sectionNameIn(file_, sym.shndx)) +
                   ", which the module does not hold" + kRemedy);
    }

    uint32_t nameIndex(std::string_view name) {
        auto [it, added] = nameIndex_.try_emplace(std::string(name), uint32_t(names_.size()));
        if (added) names_.emplace_back(name);
        return it->second;
    }

    const File& file_;
    std::span<const Placement> placements_;
    const Refuse& refuse_;
    std::vector<uint32_t> chunkIndex_;  // by ELF section: its place among the debugging sections, or kNone
    std::vector<Piece> sections_;
    std::vector<std::string> names_;
    std::map<std::string, uint32_t, std::less<>> nameIndex_;
};

}  // namespace

bool isDebugSection(const Section& section) {
    return !(section.flags & SHF_ALLOC) && (section.name.starts_with(".debug_") || section.name.starts_with(".zdebug_"));
}

bool hasDebugSections(const File& file) { return std::ranges::any_of(file.sections, isDebugSection); }

DebugChunks convertDebugInfo(const File& file, std::span<const Placement> placements, std::string_view fileName,
                             const Refuse& refuse) {
    DebugConverter c(file, placements, refuse);
    c.collectSections();
    c.convertRelocations();
    DebugChunks chunks{c.symbolPayload(fileName), c.debugPayload()};
    // a chunk's length is a 32-bit word
    if (chunks.debug.size() > UINT32_MAX || chunks.symbols.size() > UINT32_MAX)
        refuse(".debug_info", 0, ".debug_info",
               std::string("debugging information of 4 GiB or more") + kRemedy);
    return chunks;
}

}  // namespace tarnel::elf2obj

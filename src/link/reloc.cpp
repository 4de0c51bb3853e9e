#include "link/reloc.hpp"

#include "driver/diag.hpp"
#include "link/fields.hpp"
#include "link/layout.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"

namespace tarnel {

void reportFieldOutside(LinkState& state, uint32_t offset, uint32_t section, uint32_t module) {
    const Module& m = state.modules[module];
    reportError(state, "Relocation at $%08lx outside %s section in %s\n", (unsigned long)offset,
                sectionName(section), m.fileName ? m.fileName->c_str() : "-");
}

namespace {

// What a record adds at its field: the start of the target module's part of
// the target section. In ROM mode the start is an address in the ROM, and the
// base region is placed after all code and data.
uint32_t relocAddend(const LinkState& state, uint32_t toSection, uint32_t toModule) {
    if (toSection >= kSectionCount || toModule >= state.modules.size()) return 0;
    uint32_t start = sectionStart(state, toModule, toSection);
    bool baseRegion = toSection == uint32_t(SectionKind::base) || toSection == uint32_t(SectionKind::bssb);
    if (!state.romMode) return baseRegion ? start + uint32_t(LinkState::baseBias) : start;
    if (baseRegion) start += state.codeTotal + state.dataTotal;
    return start + state.romStart;
}

template <uint32_t Width>
void applyRelocs(LinkState& state, RelocList& list) {
    for (RelocEntry& r : list) {
        uint8_t* field = nullptr;
        if (r.fromModule < state.modules.size())
            field = fieldAt(sectionBytes(state.modules[r.fromModule], r.fromSection), r.offset, Width);
        if (!field) {
            reportFieldOutside(state, r.offset, r.fromSection, r.fromModule);
            continue;
        }
        uint32_t addend = relocAddend(state, r.toSection, r.toModule);
        if constexpr (Width == 2) {
            r.value = uint16_t(readHalfBE(field) + addend);
            writeHalfBE(field, r.value);
        } else {
            r.value = readWordBE(field) + addend;
            writeWordBE(field, r.value);
        }
    }
}

}  // namespace

void applyReloc16(LinkState& state, RelocList& list) { applyRelocs<2>(state, list); }
void applyReloc32(LinkState& state, RelocList& list) { applyRelocs<4>(state, list); }

void applyDrel16(LinkState& state) {
    for (uint32_t m = 0; m < state.moduleCount; ++m) {
        Module& module = state.modules[m];
        for (std::span<uint8_t> chunk : module.drel16List) {
            uint32_t numoff = uint32_t(chunk.size() / 4 - 1);
            uint32_t block = readWordBE(chunk.data());
            uint32_t delta;
            switch (block) {
            case 1: delta = module.dataAddr; break;
            case 2: delta = module.bssAddr; break;
            case 3: delta = module.baseAddr + uint32_t(LinkState::baseBias); break;
            case 4: delta = module.bssbAddr + uint32_t(LinkState::baseBias); break;
            default:
                say(state, "numoff %ld blk = %ld\n", long(numoff), long(block));
                continue;  // delta 0: the fields keep their content
            }
            // the fields always lie in the module's code, whatever the block
            std::span<uint8_t> code = sectionBytes(module, uint32_t(SectionKind::code));
            for (uint32_t i = 0; i < numoff; ++i) {
                uint32_t offset = readWordBE(chunk.data() + 4 + 4 * i);
                uint8_t* field = fieldAt(code, offset, 2);
                if (!field) {
                    reportFieldOutside(state, offset, uint32_t(SectionKind::code), m);
                    continue;
                }
                writeHalfBE(field, readHalfBE(field) + delta);
            }
        }
        module.drel16List.clear();
    }
}

uint32_t writeRelocChunk(LinkState& state, uint32_t fromSection, uint32_t toSection, OutputFile& file,
                         uint32_t tag, RelocList& list) {
    std::vector<uint8_t> chunk(16);
    for (RelocEntry& r : list) {
        if (r.fromSection != fromSection || r.toSection != toSection) continue;
        // written offsets count from the start of the merged from-section
        r.offset += sectionStart(state, r.fromModule, r.fromSection);
        uint8_t word[4];
        writeWordBE(word, r.offset);
        chunk.insert(chunk.end(), word, word + 4);
    }
    if (chunk.size() == 16) return 0;  // no empty chunk is ever written
    writeWordBE(&chunk[0], tag);
    writeWordBE(&chunk[4], uint32_t(chunk.size() - 8));
    writeWordBE(&chunk[8], fromSection);
    writeWordBE(&chunk[12], toSection);
    file.write(chunk.data(), chunk.size());
    return uint32_t(chunk.size());
}

uint32_t writeRelocChunks(LinkState& state, OutputFile& file) {
    using S = SectionKind;
    // bss is never a source, and bssb neither a source nor a target
    static constexpr S kPairs[12][2] = {
        {S::code, S::code}, {S::code, S::data}, {S::code, S::base}, {S::code, S::bss},
        {S::data, S::code}, {S::data, S::data}, {S::data, S::base}, {S::data, S::bss},
        {S::base, S::code}, {S::base, S::data}, {S::base, S::base}, {S::base, S::bss},
    };
    uint32_t written = 0;
    for (auto [from, to] : kPairs)
        written += writeRelocChunk(state, uint32_t(from), uint32_t(to), file, tagWord(ChunkTag::reloc16),
                                   state.reloc16List);
    for (auto [from, to] : kPairs)
        written += writeRelocChunk(state, uint32_t(from), uint32_t(to), file, tagWord(ChunkTag::reloc32),
                                   state.reloc32List);
    return written;
}

}  // namespace tarnel

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

namespace {

// Where a (from, to) pair's chunk comes among the twelve a list may have:
// from code, data, base; to code, data, base, bss. -1 for the pairs no
// chunk carries (bss is never a source, and bssb neither a source nor a
// target); their records are neither written nor converted.
int pairIndex(uint32_t from, uint32_t to) {
    static constexpr int kFrom[kSectionCount] = {0, 1, -1, 2, -1};
    static constexpr int kTo[kSectionCount] = {0, 1, 3, 2, -1};
    if (from >= kSectionCount || to >= kSectionCount || kFrom[from] < 0 || kTo[to] < 0) return -1;
    return kFrom[from] * 4 + kTo[to];
}

// The chunks of one list in pair order, each with its records in list order:
// the records are counted per pair, then each offset is converted and put in
// its pair's place, so the list is walked twice however many pairs it holds.
uint32_t writeRelocChunksOf(LinkState& state, OutputFile& file, uint32_t tag, RelocList& list) {
    constexpr int kPairs = 12;
    size_t count[kPairs] = {}, at[kPairs];
    for (const RelocEntry& r : list)
        if (int p = pairIndex(r.fromSection, r.toSection); p >= 0) ++count[p];
    size_t total = 0;
    for (int p = 0; p < kPairs; ++p) {
        at[p] = total;
        total += count[p];
    }
    std::vector<uint8_t, HugePageAllocator<uint8_t>> words(total * 4);
    for (RelocEntry& r : list) {
        int p = pairIndex(r.fromSection, r.toSection);
        if (p < 0) continue;
        // written offsets count from the start of the merged from-section
        r.offset += sectionStart(state, r.fromModule, r.fromSection);
        writeWordBE(&words[4 * at[p]++], r.offset);
    }
    uint32_t written = 0;
    size_t begin = 0;
    for (int p = 0; p < kPairs; ++p) {
        if (count[p] == 0) continue;  // no empty chunk is ever written
        const uint32_t from = uint32_t(p / 4), toOrder = uint32_t(p % 4);
        static constexpr uint32_t kSectionOf[4] = {0, 1, 3, 2};
        uint8_t head[16];
        writeWordBE(head, tag);
        writeWordBE(head + 4, uint32_t(8 + 4 * count[p]));
        writeWordBE(head + 8, kSectionOf[from]);
        writeWordBE(head + 12, kSectionOf[toOrder]);
        file.write(head, sizeof head);
        file.write(words.data() + 4 * begin, 4 * count[p]);
        written += uint32_t(16 + 4 * count[p]);
        begin += count[p];
    }
    return written;
}

}  // namespace

uint32_t writeRelocChunks(LinkState& state, OutputFile& file) {
    return writeRelocChunksOf(state, file, tagWord(ChunkTag::reloc16), state.reloc16List) +
           writeRelocChunksOf(state, file, tagWord(ChunkTag::reloc32), state.reloc32List);
}

}  // namespace tarnel

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "harness.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "workload.hpp"

namespace tarnel::test {
namespace {

using bench::WorkloadSize;

std::vector<Bytes> generate(const WorkloadSize& size, uint64_t seed) {
    std::vector<Bytes> modules;
    bench::generateWorkload(size, seed, [&](uint32_t index, const Bytes& bytes) {
        EXPECT_EQ(index, modules.size());
        modules.push_back(bytes);
    });
    return modules;
}

// What a generated module holds, read back with the chunk walker.
struct ReadModule {
    std::span<const uint8_t> code;
    uint32_t dataSize = 0, bssSize = 0;
    std::vector<std::pair<uint32_t, std::vector<uint32_t>>> reloc32;  // to-section, offsets
    std::vector<LinkEntry> entries;
    Bytes link;
};

ReadModule readModule(const Bytes& file) {
    ReadModule m;
    EXPECT_EQ(readWordBE(file.data()), tagWord(ChunkTag::object));
    const ChunkWalkEnd end = walkChunks(file, kChunkHeaderSize, [&](const Chunk& chunk) {
        const uint32_t tag = chunk.tag, length = chunk.length;
        std::span<const uint8_t> payload = chunk.payload;
        if (tag == tagWord(ChunkTag::code)) m.code = payload.subspan(4);
        if (tag == tagWord(ChunkTag::data)) m.dataSize = length - 4;
        if (tag == tagWord(ChunkTag::bss)) m.bssSize = readWordBE(payload.data() + 4);
        if (tag == tagWord(ChunkTag::link)) m.link.assign(payload.begin(), payload.end());
        if (tag == tagWord(ChunkTag::reloc32)) {
            EXPECT_EQ(readWordBE(payload.data()), 0u);  // from code
            std::vector<uint32_t> offsets;
            for (uint32_t i = 8; i < length; i += 4) offsets.push_back(readWordBE(payload.data() + i));
            m.reloc32.push_back({readWordBE(payload.data() + 4), offsets});
        }
    });
    // the end tag alone closes the file
    EXPECT_EQ(end.status, ChunkWalkStatus::endTagAlone);
    EXPECT_EQ(end.offset, file.size());
    EXPECT_EQ(walkLinkChunk(m.link, [&](const LinkEntry& e) { m.entries.push_back(e); }), LinkWalkStatus::ok);
    return m;
}

TEST(BenchWorkload, SameSeedSameBytesOtherSeedOtherBytes) {
    const WorkloadSize& small = *bench::findWorkloadSize("small");
    std::vector<Bytes> a = generate(small, 7), b = generate(small, 7), c = generate(small, 8);
    ASSERT_EQ(a.size(), 16u);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(bench::findWorkloadSize("huge"), nullptr);
}

// Every reference resolves to a unique name, pc-relative sites point at code
// within reach, and no patched field leaves the code or overlaps another.
TEST(BenchWorkload, SmallWorkloadHoldsWhatItPromises) {
    const WorkloadSize& size = *bench::findWorkloadSize("small");
    std::vector<Bytes> files = generate(size, 1);
    std::vector<ReadModule> modules;
    std::vector<uint32_t> codeAddr;
    uint32_t running = 0;
    for (const Bytes& f : files) {
        modules.push_back(readModule(f));
        codeAddr.push_back(running);
        running += uint32_t(modules.back().code.size());
    }

    struct Def { uint32_t module, section, value; };
    std::map<std::string, Def> defs;
    size_t sharedPrefix = 0;
    for (uint32_t m = 0; m < modules.size(); ++m)
        for (const LinkEntry& e : modules[m].entries)
            if (e.kind == LinkEntry::Kind::xdef) {
                EXPECT_TRUE(defs.emplace(std::string(e.name), Def{m, e.type - 0x80u, e.value}).second) << e.name;
                EXPECT_GE(e.name.size(), 5u);
                EXPECT_LE(e.name.size(), 50u);
                sharedPrefix += e.name.starts_with("tarnel_bench_common_long_prefix_");
            }
    EXPECT_EQ(defs.size(), size.definitions);
    EXPECT_EQ(sharedPrefix, size.definitions / 4);

    std::map<uint32_t, uint32_t> sitesByType;
    uint32_t relocations = 0;
    for (uint32_t m = 0; m < modules.size(); ++m) {
        const ReadModule& mod = modules[m];
        std::vector<bool> used(mod.code.size());
        auto claim = [&](uint32_t offset, uint32_t width) {
            ASSERT_LE(uint64_t(offset) + width, mod.code.size());
            for (uint32_t i = offset; i < offset + width; ++i) {
                EXPECT_FALSE(used[i]) << "module " << m << " offset " << offset;
                used[i] = true;
            }
        };
        for (const LinkEntry& e : mod.entries) {
            if (e.kind != LinkEntry::Kind::xref) continue;
            auto def = defs.find(std::string(e.name));
            ASSERT_NE(def, defs.end()) << e.name;
            for (uint32_t i = 0; i < e.value; ++i) {
                uint32_t offset = readWordBE(e.offsets + 4 * i);
                sitesByType[e.type]++;
                claim(offset, e.type == LINK_PCREL16 ? 2 : 4);
                if (e.type == LINK_ABS32) continue;
                EXPECT_EQ(def->second.section, 0u) << "pc-relative to a non-code name";
                int64_t displacement = int64_t(codeAddr[def->second.module]) + def->second.value -
                                       (int64_t(codeAddr[m]) + offset);
                if (e.type == LINK_PCREL16) {
                    EXPECT_GE(displacement, -32768);
                    EXPECT_LE(displacement, 32767);
                }
            }
        }
        for (const auto& [to, offsets] : mod.reloc32) {
            uint32_t limit = to == 0 ? uint32_t(mod.code.size()) : to == 1 ? mod.dataSize : mod.bssSize;
            ASSERT_LE(to, 2u);
            for (uint32_t offset : offsets) {
                claim(offset, 4);
                EXPECT_LT(readWordBE(mod.code.data() + offset), limit);
                ++relocations;
            }
        }
    }
    EXPECT_EQ(sitesByType[LINK_ABS32], size.references * 8 / 10);
    EXPECT_EQ(sitesByType[LINK_PCREL32], size.references / 10);
    EXPECT_EQ(sitesByType[LINK_PCREL16], size.references / 10);
    EXPECT_EQ(sitesByType.size(), 3u);
    EXPECT_EQ(relocations, size.relocations);
}

// The peer linker is timed on the same content: each ELF file carries the
// module's code and data bytes unchanged and one relocation per reference
// site and local relocation.
TEST(BenchWorkload, ElfModulesCarryTheSameContent) {
    const WorkloadSize& size = *bench::findWorkloadSize("small");
    std::vector<Bytes> chunks = generate(size, 5), elfs;
    bench::generateWorkload(size, 5, [&](uint32_t, const Bytes& b) { elfs.push_back(b); }, bench::ObjectFormat::elf);
    ASSERT_EQ(elfs.size(), chunks.size());
    for (size_t i = 0; i < elfs.size(); ++i) {
        const Bytes& elf = elfs[i];
        ASSERT_EQ(readWordBE(elf.data()), 0x7F454C46u);  // "\x7FELF"
        ASSERT_EQ(readHalfBE(elf.data() + 18), 4u);      // m68k
        // section headers: [1] .text, [2] .data, [4] .rela.text
        auto section = [&](uint32_t s) {
            const uint8_t* h = elf.data() + readWordBE(elf.data() + 32) + 40 * s;
            return std::span<const uint8_t>(elf.data() + readWordBE(h + 16), readWordBE(h + 20));
        };
        ReadModule m = readModule(chunks[i]);
        std::span<const uint8_t> text = section(1);
        EXPECT_TRUE(std::equal(text.begin(), text.end(), m.code.begin(), m.code.end())) << "module " << i;
        EXPECT_EQ(section(2).size(), m.dataSize);
        size_t fields = 0;
        for (const LinkEntry& e : m.entries) fields += e.kind == LinkEntry::Kind::xref ? e.value : 0;
        for (const auto& r : m.reloc32) fields += r.second.size();
        EXPECT_EQ(section(4).size(), 12 * fields);
    }
}

// The generator's promise seen from the linker: the small workload links
// with no error and the executable is written.
TEST(BenchWorkload, SmallWorkloadLinksWithoutErrors) {
    ScratchDir dir;
    std::vector<std::string> args;
    for (const Bytes& module : generate(*bench::findWorkloadSize("small"), 3))
        args.push_back(dir.write(bench::moduleFileName(uint32_t(args.size())), module));
    args.push_back("-o");
    args.push_back(dir.path("prog"));
    RunResult r = runLinker(dir, args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("error"), std::string::npos) << r.out;
    EXPECT_TRUE(dir.exists("prog"));
}

}  // namespace
}  // namespace tarnel::test

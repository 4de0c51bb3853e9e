#include "workload.hpp"

#include "workload_plan.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <unordered_set>

#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/chunk_builder.hpp"

namespace tarnel::bench {
namespace {

constexpr std::array<WorkloadSize, 4> kSizes{{
    {"small", 16, 16 * 1024, 200, 400, 400},
    {"medium", 128, 64 * 1024, 2000, 4000, 4000},
    {"large", 512, 256 * 1024, 10000, 20000, 20000},
    {"symbols", 512, 16 * 1024, 200000, 400000, 100000},
}};

// A quarter of the names begin with this, so that name comparison cannot
// decide on the first bytes.
constexpr std::string_view kSharedPrefix = "tarnel_bench_common_long_prefix_";
constexpr uint32_t kShortestName = 5;
constexpr uint32_t kLongestName = 50;
constexpr uint32_t kProcessorId = 0x52060020;
// A pc-relative 16-bit site lies at most this far from its target, both even.
constexpr uint32_t kPcrel16Reach = 32766;
// Tries at random places before a field is sought elsewhere.
constexpr int kPlacementTries = 32;

// splitmix64: the same sequence on every host. Draws use a multiply-shift,
// not the standard distributions, whose results differ between libraries.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n), n > 0.
    uint32_t below(uint32_t n) { return uint32_t(((next() >> 32) * n) >> 32); }
    // Uniform in [lo, hi].
    uint32_t between(uint32_t lo, uint32_t hi) { return lo + below(hi - lo + 1); }
    // x varied by up to 25 % either way.
    uint32_t vary(uint32_t x) { return x - x / 4 + below(x / 2 + 1); }
    void fill(std::vector<uint8_t>& bytes) {
        size_t i = 0;
        for (; i + 8 <= bytes.size(); i += 8) {
            uint64_t r = next();
            for (int k = 0; k < 8; ++k) bytes[i + k] = uint8_t(r >> (8 * k));
        }
        for (uint64_t r = next(); i < bytes.size(); ++i, r >>= 8) bytes[i] = uint8_t(r);
    }

private:
    uint64_t state_;
};

// The whole workload decided before any byte is built: section sizes, names,
// which module defines what, and where every patched field lies.
class Planner {
public:
    Planner(const WorkloadSize& size, uint64_t seed) : size_(size), rng_(seed) {}

    void plan() {
        planSections();
        planDefinitions();
        planReferences();
        planRelocations();
    }

    WorkloadPlan take() { return {std::move(modules_), std::move(defs_)}; }

private:
    void planSections() {
        modules_.resize(size_.modules);
        uint32_t codeAddr = 0;
        for (ModulePlan& m : modules_) {
            m.codeSize = std::max(64u, rng_.vary(size_.codeBytes)) & ~3u;
            m.dataSize = std::max(16u, rng_.vary(size_.codeBytes / 8)) & ~3u;
            m.bssSize = std::max(16u, rng_.vary(size_.codeBytes / 16)) & ~3u;
            m.codeAddr = codeAddr;
            codeAddr += m.codeSize;
            m.taken.assign(m.codeSize / 2, false);
            codeStarts_.push_back(m.codeAddr);
        }
        codeTotal_ = codeAddr;
    }

    std::string randomName(uint32_t index) {
        static constexpr std::string_view kFirst = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
        static constexpr std::string_view kRest = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
        std::string s;
        uint32_t length;
        if (index % 4 == 0) {
            s = kSharedPrefix;
            length = rng_.between(uint32_t(kSharedPrefix.size()) + 4, kLongestName);
        } else {
            s.push_back(kFirst[rng_.below(uint32_t(kFirst.size()))]);
            length = rng_.between(kShortestName, kLongestName);
        }
        while (s.size() < length) s.push_back(kRest[rng_.below(uint32_t(kRest.size()))]);
        return s;
    }

    // Definitions [0, codeDefs_) are in code, then data, then bss; the first
    // 1 % of each kind are the popular ones.
    void planDefinitions() {
        uint32_t d = size_.definitions;
        codeDefs_ = d * 7 / 10;
        dataDefs_ = d * 2 / 10;
        std::unordered_set<std::string> seen;
        seen.reserve(d);
        for (uint32_t i = 0; i < d; ++i) {
            std::string name;
            do name = randomName(i);
            while (!seen.insert(name).second);

            SectionKind section = i < codeDefs_ ? SectionKind::code
                                  : i < codeDefs_ + dataDefs_ ? SectionKind::data
                                                              : SectionKind::bss;
            uint32_t module = rng_.below(size_.modules);
            ModulePlan& m = modules_[module];
            uint32_t value = section == SectionKind::code   ? 2 * rng_.below(m.codeSize / 2)
                             : section == SectionKind::data ? 4 * rng_.below(m.dataSize / 4)
                                                            : 4 * rng_.below(m.bssSize / 4);
            m.definitions.push_back(i);
            defs_.push_back({std::move(name), section, module, value});
        }
        auto addPopular = [&](uint32_t first, uint32_t count) {
            for (uint32_t i = 0; i < std::max(1u, count / 100) && i < count; ++i) popularAll_.push_back(first + i);
        };
        addPopular(0, codeDefs_);
        popularCode_ = uint32_t(popularAll_.size());
        addPopular(codeDefs_, dataDefs_);
        addPopular(codeDefs_ + dataDefs_, d - codeDefs_ - dataDefs_);
    }

    uint32_t pickTarget(bool popular, bool codeOnly) {
        if (codeOnly) return popular ? popularAll_[rng_.below(popularCode_)] : rng_.below(codeDefs_);
        return popular ? popularAll_[rng_.below(uint32_t(popularAll_.size()))] : rng_.below(size_.definitions);
    }

    static bool claim(ModulePlan& m, uint32_t offset, uint32_t width) {
        if (offset % 2 != 0 || offset + width > m.codeSize) return false;
        for (uint32_t u = offset / 2; u < (offset + width) / 2; ++u)
            if (m.taken[u]) return false;
        for (uint32_t u = offset / 2; u < (offset + width) / 2; ++u) m.taken[u] = true;
        return true;
    }

    // A free field of the width in a module chosen at random: its module and offset.
    std::pair<uint32_t, uint32_t> claimAnywhere(uint32_t width) {
        for (uint32_t round = 0; round < 1000; ++round) {
            uint32_t module = rng_.below(size_.modules);
            ModulePlan& m = modules_[module];
            for (int t = 0; t < kPlacementTries; ++t) {
                uint32_t offset = 2 * rng_.below((m.codeSize - width) / 2 + 1);
                if (claim(m, offset, width)) return {module, offset};
            }
        }
        throw std::runtime_error("workload too dense: no free place for a field");
    }

    // A free 2-byte field within reach of the code address c: its module and offset.
    std::optional<std::pair<uint32_t, uint32_t>> claimNear(uint32_t c) {
        uint32_t lo = c > kPcrel16Reach ? c - kPcrel16Reach : 0;
        uint32_t hi = std::min(c + kPcrel16Reach, codeTotal_ - 2);
        for (int t = 0; t < kPlacementTries; ++t) {
            uint32_t q = lo + 2 * rng_.below((hi - lo) / 2 + 1);
            uint32_t module = uint32_t(std::upper_bound(codeStarts_.begin(), codeStarts_.end(), q) - codeStarts_.begin()) - 1;
            if (claim(modules_[module], q - codeStarts_[module], 2)) return std::pair{module, q - codeStarts_[module]};
        }
        return std::nullopt;
    }

    // 80 % absolute 32-bit, 10 % pc-relative 32-bit, 10 % pc-relative 16-bit;
    // within each kind the first 30 % go to the popular names.
    void planReferences() {
        uint32_t r = size_.references;
        const std::array<std::pair<uint8_t, uint32_t>, 3> kinds{{
            {LINK_ABS32, r * 8 / 10}, {LINK_PCREL32, r / 10}, {LINK_PCREL16, r - r * 8 / 10 - r / 10}}};
        for (auto [type, count] : kinds) {
            for (uint32_t j = 0; j < count; ++j) {
                bool popular = j < count * 3 / 10;
                if (type != LINK_PCREL16) {
                    uint32_t target = pickTarget(popular, type == LINK_PCREL32);
                    auto [module, offset] = claimAnywhere(fieldWidth(type));
                    modules_[module].sites.push_back({target, type, offset});
                    continue;
                }
                // The target of a pc-relative reference is a code address;
                // a 16-bit one must be placed near it.
                for (;;) {
                    uint32_t target = pickTarget(popular, true);
                    const Definition& d = defs_[target];
                    if (auto place = claimNear(modules_[d.module].codeAddr + d.value)) {
                        modules_[place->first].sites.push_back({target, type, place->second});
                        break;
                    }
                }
            }
        }
    }

    // 60 % to the module's code, 30 % to its data, 10 % to its bss.
    void planRelocations() {
        uint32_t l = size_.relocations;
        for (uint32_t j = 0; j < l; ++j) {
            SectionKind to = j < l * 6 / 10 ? SectionKind::code : j < l * 9 / 10 ? SectionKind::data : SectionKind::bss;
            auto [module, offset] = claimAnywhere(4);
            const ModulePlan& m = modules_[module];
            uint32_t target = to == SectionKind::code   ? 2 * rng_.below(m.codeSize / 2)
                              : to == SectionKind::data ? 4 * rng_.below(m.dataSize / 4)
                                                        : 4 * rng_.below(m.bssSize / 4);
            modules_[module].relocs.push_back({to, offset, target});
        }
    }

    const WorkloadSize& size_;
    Rng rng_;
    std::vector<ModulePlan> modules_;
    std::vector<uint32_t> codeStarts_;
    uint32_t codeTotal_ = 0;
    std::vector<Definition> defs_;
    uint32_t codeDefs_ = 0, dataDefs_ = 0;
    std::vector<uint32_t> popularAll_;  // popular code, then data, then bss
    uint32_t popularCode_ = 0;
};

std::vector<uint8_t> textPayload(std::string_view text) {
    ByteBuilder p;
    p.nameField(text);
    return p.bytes();
}

std::vector<uint8_t> buildModule(uint32_t index, const WorkloadPlan& plan, uint64_t seed) {
    const ModulePlan& m = plan.modules[index];
    const std::vector<Definition>& defs = plan.definitions;
    auto [code, data] = sectionBytes(index, m, seed);

    ByteBuilder file;
    file.chunk(ChunkTag::object, {});
    file.chunk(ChunkTag::processor, ByteBuilder().word(kProcessorId).word(0).bytes());
    char name[16];
    std::snprintf(name, sizeof name, "m%03u", unsigned(index));
    file.chunk(ChunkTag::name, textPayload(name));
    file.chunk(ChunkTag::version, textPayload("1.0"));
    file.chunk(ChunkTag::date, textPayload("31-May-2004"));
    file.chunk(ChunkTag::code, ByteBuilder().word(uint32_t(SectionKind::code)).raw(code).bytes());
    file.chunk(ChunkTag::data, ByteBuilder().word(uint32_t(SectionKind::data)).raw(data).bytes());
    file.chunk(ChunkTag::bss, ByteBuilder().word(uint32_t(SectionKind::bss)).word(m.bssSize).bytes());

    for (SectionKind to : {SectionKind::code, SectionKind::data, SectionKind::bss}) {
        std::vector<uint32_t> offsets;
        for (const LocalReloc& r : m.relocs)
            if (r.to == to) offsets.push_back(r.offset);
        if (offsets.empty()) continue;
        std::sort(offsets.begin(), offsets.end());
        ByteBuilder p;
        p.word(uint32_t(SectionKind::code)).word(uint32_t(to));
        for (uint32_t o : offsets) p.word(o);
        file.chunk(ChunkTag::reloc32, p.bytes());
    }

    // The sites of one name and access type share one xref entry.
    LinkPayloadBuilder link;
    for (uint32_t d : m.definitions) link.xdef(defs[d].section, defs[d].value, defs[d].name);
    std::vector<Site> sites = m.sites;
    std::sort(sites.begin(), sites.end(), [](const Site& a, const Site& b) {
        return std::tie(a.definition, a.type, a.offset) < std::tie(b.definition, b.type, b.offset);
    });
    for (size_t i = 0; i < sites.size();) {
        std::vector<uint32_t> offsets;
        size_t j = i;
        for (; j < sites.size() && sites[j].definition == sites[i].definition && sites[j].type == sites[i].type; ++j)
            offsets.push_back(sites[j].offset);
        link.xref(sites[i].type, defs[sites[i].definition].name, offsets);
        i = j;
    }
    file.chunk(ChunkTag::link, link.finish());
    file.endTag();
    return std::move(file.bytes());
}

}  // namespace

SectionBytes sectionBytes(uint32_t index, const ModulePlan& m, uint64_t seed) {
    // Section contents come from a stream of their own per module.
    Rng rng(seed ^ (0xD1B54A32D192ED03ull * (index + 1)));
    SectionBytes b{std::vector<uint8_t>(m.codeSize), std::vector<uint8_t>(m.dataSize)};
    rng.fill(b.code);
    rng.fill(b.data);
    for (const Site& s : m.sites) std::fill_n(b.code.begin() + s.offset, fieldWidth(s.type), 0);
    for (const LocalReloc& r : m.relocs) writeWordBE(b.code.data() + r.offset, r.target);
    return b;
}

std::span<const WorkloadSize> workloadSizes() { return kSizes; }

const WorkloadSize* findWorkloadSize(std::string_view name) {
    for (const WorkloadSize& s : kSizes)
        if (s.name == name) return &s;
    return nullptr;
}

std::string moduleFileName(uint32_t index) {
    char name[16];
    std::snprintf(name, sizeof name, "m%03u.o", unsigned(index));
    return name;
}

void generateWorkload(const WorkloadSize& size, uint64_t seed, const ModuleSink& sink, ObjectFormat format) {
    Planner planner(size, seed);
    planner.plan();
    WorkloadPlan plan = planner.take();
    for (uint32_t i = 0; i < size.modules; ++i)
        sink(i, format == ObjectFormat::chunk ? buildModule(i, plan, seed) : buildElfModule(i, plan, seed));
}

}  // namespace tarnel::bench

// Deterministic link workloads for the benchmark: M object modules with code,
// data and bss parts, D definitions, R reference sites and L local 32-bit
// relocations, all drawn from one seed. Every reference resolves, every
// pc-relative 16-bit displacement is within range, and no two patched fields
// of a module overlap, so a correct link of a workload reports no error.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::bench {

struct WorkloadSize {
    std::string_view name;
    uint32_t modules;
    uint32_t codeBytes;    // mean code bytes per module; data is an eighth, bss a sixteenth
    uint32_t definitions;  // 70 % code, 20 % data, 10 % bss
    uint32_t references;   // 80 % absolute 32-bit, 10 % pc-relative 32-bit, 10 % pc-relative 16-bit
    uint32_t relocations;  // code fields holding an offset into the module's code, data or bss
};

// small, medium, large and symbols.
std::span<const WorkloadSize> workloadSizes();
// The named size, or nullptr.
const WorkloadSize* findWorkloadSize(std::string_view name);

// One module as it is handed out: its index in load order and its file bytes.
using ModuleSink = std::function<void(uint32_t index, const std::vector<uint8_t>& bytes)>;

// The linker's chunk format, or ELF relocatable files of the same content
// for timing the m68k GNU linker on it.
enum class ObjectFormat { chunk, elf };

// Plans the whole workload from the seed, then builds the modules one at a
// time and hands each to the sink in load order. The same size and seed give
// the same bytes on every host.
void generateWorkload(const WorkloadSize& size, uint64_t seed, const ModuleSink& sink,
                      ObjectFormat format = ObjectFormat::chunk);

// The file name of module i: "m000.o", "m001.o", ...
std::string moduleFileName(uint32_t index);

}  // namespace tarnel::bench

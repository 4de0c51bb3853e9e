// tarnel-benchgen: writes one benchmark workload, m000.o, m001.o, ..., into a
// folder, the same bytes for the same size and seed.
//
//   tarnel-benchgen [--elf] SIZE FOLDER [SEED]     SIZE: small, medium, large, symbols
//
// With --elf the modules are ELF relocatable files of the same content, for
// timing the m68k GNU linker.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "workload.hpp"

namespace {

int usage(const char* program) {
    std::fprintf(stderr, "usage: %s [--elf] SIZE FOLDER [SEED]\nsizes:", program);
    for (const tarnel::bench::WorkloadSize& s : tarnel::bench::workloadSizes())
        std::fprintf(stderr, " %.*s", int(s.name.size()), s.name.data());
    std::fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = argv[0];
    auto format = tarnel::bench::ObjectFormat::chunk;
    if (argc > 1 && std::string(argv[1]) == "--elf") {
        format = tarnel::bench::ObjectFormat::elf;
        --argc;
        ++argv;
    }
    if (argc < 3 || argc > 4) return usage(program);
    const tarnel::bench::WorkloadSize* size = tarnel::bench::findWorkloadSize(argv[1]);
    if (!size) return usage(program);
    std::filesystem::path folder = argv[2];
    uint64_t seed = argc == 4 ? std::strtoull(argv[3], nullptr, 0) : 1;

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    uint64_t total = 0;
    try {
        tarnel::bench::generateWorkload(*size, seed, [&](uint32_t index, const std::vector<uint8_t>& bytes) {
            std::string path = (folder / tarnel::bench::moduleFileName(index)).string();
            std::FILE* f = std::fopen(path.c_str(), "wb");
            if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
                throw std::runtime_error("cannot write " + path);
            total += bytes.size();
        }, format);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarnel-benchgen: %s\n", e.what());
        return 1;
    }
    std::printf("%s: %u modules, %llu bytes, %u definitions, %u references, %u relocations\n", argv[1],
                unsigned(size->modules), (unsigned long long)total, unsigned(size->definitions),
                unsigned(size->references), unsigned(size->relocations));
    return 0;
}

// Where the linked program's parts lie: the one home of every address and of
// the image layout. The loader gives each module part its offset within its
// merged section (a Module's *Addr fields, which keep that meaning for the
// whole run); the layout's totals and the options decide the rest.
//
// The program's own address space, counted from romStart: code first; in ROM
// mode data follows all code and bss all data, else each counts from 0. With
// the data in RAM (--ram, ROM mode only), data, bss, base and bssb follow one
// another from the RAM's start instead. The base region holds all base data,
// then all bssb, counted from its own start; a base register loaded with
// `_base` reaches its byte X at displacement X - 0x8000.
//
// A ROM image holds, from romStart on and with nothing between them: all
// code, all data, the bss fill, all base data, the bssb fill. The fills are
// zero bytes, left out with -b, and never there with the data in RAM.
//
// How each reader places the base region, and why:
//
// | reader                       | code, data, bss     | base, bssb                                      |
// |------------------------------|---------------------|-------------------------------------------------|
// | resolution (A), drel16       | program offset      | region offset - 0x8000: what `_base` reaches it at |
// | absolute references, the map | the same + romStart | the same + romStart                             |
// | records, relocatable output  | program offset      | region offset - 0x8000: a loader adds the       |
// |                              |                     | region's address, as the record's section says  |
// | records, ROM image           | the same + romStart | romStart + all code and data + region offset:   |
// |                              |                     | the records list the fields as the image would  |
// |                              |                     | hold the region without the bss fill            |
// | build information            | the same + romStart | region offset - 0x8000, never romStart          |
// | `_base`, its run address     |                     | ROM: after all code, data and bss; else at 0:   |
// |                              |                     | the region sits behind the bss fill, -b or not  |
// | the image, S-records, ELF    | image offset        | after the data and the bss fill (-b: right      |
// |                              |                     | after the data)                                 |
// | every reader, data in RAM    | where it runs       | where it runs, behind data and bss in RAM;      |
// |                              |                     | resolution (A) keeps the region offset - 0x8000 |
// | the record, the size report  | where it runs       | where it runs: behind the bss fill in ROM, at   |
// |                              |                     | the region's start (0) otherwise, unbiased      |
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "objfmt/state.hpp"

namespace tarnel {

// Whether data, bss, base and bssb run in RAM (--ram with -r or -s).
bool inRam(const LinkState& state);

// A module's start in a merged section, in the program's own address space:
// without the base bias or romStart; 0 for a section number outside 0..4.
uint32_t sectionStart(const LinkState& state, uint32_t module, uint32_t section);
// The same with the base bias added for base and bssb.
uint32_t biasedStart(const LinkState& state, uint32_t module, uint32_t section);

// Who asks for an address: the readers differ only in how they place the
// base region (the table above).
enum class AddressView {
    program,     // absolute references and the map: the biased start plus romStart
    relocation,  // a record's addend
    buildInfo,   // code, data and bss with romStart; the base region as biased offsets
    run,         // the record and the size report: where the part's first byte runs
};

// The final address of a module's part of a section as that reader sees it.
// A section number outside 0..4 starts at 0 (a record's addend is then 0).
uint32_t partAddress(const LinkState& state, uint32_t module, uint32_t section, AddressView view);

// Each module part's start as resolution reads it, by module slot, worked out
// once by the rules above for a pass that asks for hundreds of thousands.
struct PartStarts {
    uint32_t biased[5];   // biasedStart: what A counts from
    uint32_t program[5];  // partAddress, program view: what an absolute reference counts from
};
std::vector<PartStarts> partStarts(const LinkState& state);

// Where `_base` puts the base region in the program's own address space.
uint32_t baseRegionStart(const LinkState& state);

// Where a merged section 0..4 runs: the address of its first byte.
uint32_t runAddress(const LinkState& state, uint32_t section);

// Where a merged section lies in a ROM image.
struct SectionPlace {
    uint32_t size;         // the merged section's size
    uint32_t imageOffset;  // of its bytes, or its zero fill, from the image's start
    bool inImage;          // code, data and base always; the fills unless -b or the data is in RAM
    uint32_t loadAddress;  // romStart + imageOffset: where the image puts it
    uint32_t runAddress;   // where the program reaches it
};

// The ROM image: each section's place, indexed by SectionKind, and the
// image's size. The image holds the sections in that order.
struct ImageLayout {
    SectionPlace section[5];
    uint32_t size;
};

ImageLayout imageLayout(const LinkState& state);

// What the sections that run in RAM take there: data, bss, base and bssb.
uint64_t ramUsed(const LinkState& state);

// A region of the target's memory, as the overflow check, the usage table
// and the link record see it.
struct RegionUsage {
    const char* name;  // "ROM" or "RAM"
    uint32_t start;
    uint64_t used;
    std::optional<uint64_t> size;  // when the options give it
};

// The regions the link places things in, ROM first: the ROM holds the image
// (in ROM mode), the RAM the sections that run there (with --ram).
std::vector<RegionUsage> regionUsage(const LinkState& state);

}  // namespace tarnel

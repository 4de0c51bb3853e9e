#include "link/resolve.hpp"

#include <string>

#include "driver/diag.hpp"
#include "link/fields.hpp"
#include "link/xdef_index.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"

namespace tarnel {

namespace {

// The xdef a lookup found, with its use counted; reports the name when
// the lookup found none.
LinkSymbol* findXdef(LinkState& state, uint32_t found, std::string_view name) {
    if (found == XdefIndex::npos) {
        reportError(state, "reference %s not found\n", std::string(name).c_str());
        return nullptr;
    }
    LinkSymbol& xdef = state.xdefList[found];
    xdef.useCount += 1;
    return &xdef;
}

// Field width in bytes and where the patched bytes start: the 8-bit kinds
// write the byte after the field's first byte.
struct FieldShape {
    uint32_t width;
    uint32_t at;
};

FieldShape fieldShape(uint32_t type) {
    switch (type & 3) {
    case 0: return {1, 1};
    case 1: return {2, 0};
    default: return {4, 0};
    }
}

bool fitsSigned(uint32_t value, int32_t lo, int32_t hi) {
    int32_t v = int32_t(value);
    return v >= lo && v <= hi;
}

// A for an xdef whose section is outside 0..4: reported as each access
// type's own diagnostic, and taken as 0.
void reportBadSection(LinkState& state, uint32_t type, const LinkSymbol& xdef) {
    switch (type) {
    case LINK_REL8: say(state, "Error in LINK_REL8\n"); break;
    case LINK_REL16: reportError(state, "Can not perform LINK_REL16. Index addressing incorrect?\n"); break;
    case LINK_REL32: say(state, "Error in LINK_REL32\n"); break;
    case LINK_ABS16: say(state, "Error in LINK_ABS16\n"); break;
    case LINK_ABS32: say(state, "Error in LINK_ABS32 (btype = %ld)\n", long(xdef.section)); break;
    default: break;
    }
}

bool isResolved(uint32_t type) {
    switch (type) {
    case LINK_ABS16: case LINK_ABS32: case LINK_PCREL8: case LINK_PCREL16:
    case LINK_PCREL32: case LINK_REL8: case LINK_REL16: case LINK_REL32:
        return true;
    default: return false;  // LINK_ABS8 and unknown kinds are ignored without a lookup
    }
}

using HashList = std::vector<uint64_t, HugePageAllocator<uint64_t>>;
using FoundList = std::vector<uint32_t, HugePageAllocator<uint32_t>>;

void hashNames(const SymbolList& xrefs, HashList& hashes) {
    for (size_t i = 0; i < xrefs.size(); ++i) {
        const LinkSymbol& x = xrefs[i];  // the places of one xref entry share its name
        hashes[i] = i > 0 && x.name.data() == xrefs[i - 1].name.data() ? hashes[i - 1] : XdefIndex::hash(x.name);
    }
}

// Looks up the names of xrefs into found; each lookup's slot and name are
// already being loaded a few xrefs ahead.
void lookUpNames(const XdefIndex& index, const SymbolList& xrefs, const HashList& hashes, FoundList& found) {
    constexpr size_t kSlotsAhead = 32, kNamesAhead = 16;
    const size_t end = xrefs.size();
    for (size_t i = 0; i < end; ++i) {
        if (i + kSlotsAhead < end) index.prefetch(hashes[i + kSlotsAhead]);
        if (i + kNamesAhead < end) index.prefetchName(hashes[i + kNamesAhead]);
        found[i] = isResolved(xrefs[i].type) ? index.find(xrefs[i].name, hashes[i]) : XdefIndex::npos;
    }
}

void resolveOne(LinkState& state, const LinkSymbol& xref, uint32_t found) {
    const uint32_t type = xref.type;
    LinkSymbol* xdef = findXdef(state, found, xref.name);
    if (!xdef) return;

    const uint32_t m = uint32_t(xref.module), d = uint32_t(xdef->module), s = uint32_t(uint16_t(xdef->section));
    Module& module = state.modules[m];
    FieldShape shape = fieldShape(type);
    uint8_t* f = fieldAt(sectionBytes(module, uint32_t(SectionKind::code)), xref.value, shape.at + shape.width);
    if (!f) {
        reportFieldOutside(state, xref.value, uint32_t(SectionKind::code), m);
        return;
    }
    f += shape.at;

    uint32_t A = 0, absolute = state.options.romStart;
    if (s < kSectionCount) {
        A = biasedStart(state, d, s) + xdef->value;
        absolute = partAddress(state, d, s, AddressView::program) + xdef->value;
    } else {
        reportBadSection(state, type, *xdef);
    }
    uint32_t C = sectionStart(state, d, uint32_t(SectionKind::code)) + xdef->value;
    const uint32_t Q = sectionStart(state, m, uint32_t(SectionKind::code)) + xref.value;
    const bool pcRelative = type == LINK_PCREL8 || type == LINK_PCREL16 || type == LINK_PCREL32;
    if (pcRelative && (s == uint32_t(SectionKind::data) || s == uint32_t(SectionKind::bss))) {
        // data and bss lie at a fixed distance from the code only in a ROM image
        if (!state.options.romMode) {
            reportError(state, "Pc-relative reference %s to %s section in %s needs -r or -s\n",
                        std::string(xref.name).c_str(), sectionName(s), module.fileName->c_str());
            return;
        }
        C = A;
    }

    auto outOfRange = [&](const char* format) {
        reportError(state, format, std::string(xref.name).c_str(), module.fileName->c_str());
    };
    switch (type) {
    case LINK_ABS16: writeHalfBE(f, absolute); break;
    case LINK_ABS32: writeWordBE(f, absolute); break;
    case LINK_PCREL8:
        if (!fitsSigned(C - Q, -128, 127)) return outOfRange("Byte relative out of range for reference %s in %s\n");
        *f = uint8_t(C - Q);
        break;
    case LINK_PCREL16:
        if (!fitsSigned(C - Q, -32768, 32767))
            return outOfRange("Word relative out of range for reference %s in %s\n");
        writeHalfBE(f, C - Q);
        break;
    case LINK_PCREL32: writeWordBE(f, C - Q); break;
    case LINK_REL8:
        if (!fitsSigned(A, -128, 127)) return outOfRange("Byte relative out of range for reference %s in %s\n");
        *f = uint8_t(*f + A);
        break;
    case LINK_REL16:
        if (!fitsSigned(A, -32768, 32767)) return outOfRange("Word relative out of range for reference %s in %s\n");
        writeHalfBE(f, readHalfBE(f) + A);
        break;
    case LINK_REL32: writeWordBE(f, readWordBE(f) + A); break;
    default: return;
    }
    // absolute references stay relocatable: the executable records them
    if (type == LINK_ABS16 || type == LINK_ABS32) {
        RelocEntry record{xref.value, absolute, uint8_t(SectionKind::code), recordSection(s), uint16_t(m),
                          uint16_t(d)};
        (type == LINK_ABS16 ? state.reloc16List : state.reloc32List).push_back(record);
    }
}

void resolveAll(LinkState& state, const FoundList& found) {
    const SymbolList& xrefs = state.xrefList;
    constexpr size_t kAhead = 8;
    const size_t end = xrefs.size();
    for (size_t i = 0; i < end; ++i) {
        if (i + kAhead < end && found[i + kAhead] != XdefIndex::npos) __builtin_prefetch(&state.xdefList[found[i + kAhead]]);
        if (isResolved(xrefs[i].type)) resolveOne(state, xrefs[i], found[i]);
    }
}

}  // namespace

// The names are hashed and looked up first, then the references patched, the
// use counts, the records and the messages made in the order of the xref list.
void resolveXrefs(LinkState& state) {
    const SymbolList& xrefs = state.xrefList;
    const size_t n = xrefs.size();
    // every absolute reference adds a relocation record
    size_t abs16 = 0, abs32 = 0;
    for (const LinkSymbol& x : xrefs) {
        abs16 += x.type == LINK_ABS16;
        abs32 += x.type == LINK_ABS32;
    }
    state.reloc16List.reserve(state.reloc16List.size() + abs16);
    state.reloc32List.reserve(state.reloc32List.size() + abs32);

    HashList hashes(n);
    FoundList found(n);
    hashNames(xrefs, hashes);
    const XdefIndex index(state.xdefList);
    lookUpNames(index, xrefs, hashes, found);
    resolveAll(state, found);
}

}  // namespace tarnel

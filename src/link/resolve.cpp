#include "link/resolve.hpp"

#include <future>
#include <optional>
#include <string>

#include "driver/diag.hpp"
#include "link/fields.hpp"
#include "link/second_thread.hpp"
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

bool fitsSigned(uint32_t value, int32_t lo, int32_t hi) {
    int32_t v = int32_t(value);
    return v >= lo && v <= hi;
}

bool isResolved(uint32_t type) { return accessRule(type).value != AccessValue::none; }

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
void lookUpNames(const XdefIndex& index, const SymbolList& xrefs, const HashList& hashes, FoundList& found,
                 size_t begin, size_t end) {
    constexpr size_t kSlotsAhead = 32, kNamesAhead = 16;
    for (size_t i = begin; i < end; ++i) {
        if (i + kSlotsAhead < end) index.prefetch(hashes[i + kSlotsAhead]);
        if (i + kNamesAhead < end) index.prefetchName(hashes[i + kNamesAhead]);
        found[i] = isResolved(xrefs[i].type) ? index.find(xrefs[i].name, hashes[i]) : XdefIndex::npos;
    }
}

// The value a reference's access type asks for, with A, C and Q as in the
// table of access types; none, with the reason reported, when there is none.
std::optional<uint32_t> computeValue(LinkState& state, const std::vector<PartStarts>& starts, const AccessRule& rule,
                                     const LinkSymbol& xref, const LinkSymbol& xdef) {
    const uint32_t m = uint32_t(xref.module), d = uint32_t(xdef.module), s = uint32_t(uint16_t(xdef.section));
    const bool inSection = s < kSectionCount;
    if (!inSection && rule.badSectionMessage) {
        // the definition names no section: A is taken as 0
        if (rule.badSectionIsError)
            reportError(state, rule.badSectionMessage, long(xdef.section));
        else
            say(state, rule.badSectionMessage, long(xdef.section));
    }
    const uint32_t A = inSection ? starts[d].biased[s] + xdef.value : 0;
    switch (rule.value) {
    case AccessValue::absolute: return inSection ? starts[d].program[s] + xdef.value : state.options.romStart;
    case AccessValue::baseRelative: return A;
    case AccessValue::pcRelative: {
        // the target of a pc-relative reference is taken as a code address
        constexpr uint32_t code = uint32_t(SectionKind::code);  // code starts are never biased
        uint32_t C = starts[d].biased[code] + xdef.value;
        const uint32_t Q = starts[m].biased[code] + xref.value;
        if (s == uint32_t(SectionKind::data) || s == uint32_t(SectionKind::bss)) {
            // data and bss lie at a fixed distance from the code only in a ROM image
            if (!state.options.romMode) {
                reportError(state, "Pc-relative reference %s to %s section in %s needs -r or -s\n",
                            std::string(xref.name).c_str(), sectionName(s), state.modules[m].fileName->c_str());
                return std::nullopt;
            }
            C = A;
        }
        return C - Q;
    }
    case AccessValue::none: break;
    }
    return std::nullopt;
}

// Replaces the field's bytes with the value's low bytes, or adds the value to
// them, big-endian.
void writeField(uint8_t* field, const AccessRule& rule, uint32_t value) {
    const bool adds = rule.value == AccessValue::baseRelative;
    switch (rule.width) {
    case 1: *field = uint8_t(adds ? *field + value : value); break;
    case 2: writeHalfBE(field, adds ? readHalfBE(field) + value : value); break;
    default: writeWordBE(field, adds ? readWordBE(field) + value : value); break;
    }
}

// Compute, check, write, record.
void resolveOne(LinkState& state, const std::vector<PartStarts>& starts, const LinkSymbol& xref, uint32_t found) {
    const AccessRule& rule = accessRule(xref.type);
    LinkSymbol* xdef = findXdef(state, found, xref.name);
    if (!xdef) return;
    const uint32_t m = uint32_t(xref.module);
    Module& module = state.modules[m];
    uint8_t* field = fieldAt(sectionBytes(module, uint32_t(SectionKind::code)), xref.value, rule.at + rule.width);
    if (!field) {
        reportFieldOutside(state, xref.value, uint32_t(SectionKind::code), m);
        return;
    }
    const std::optional<uint32_t> value = computeValue(state, starts, rule, xref, *xdef);
    if (!value) return;
    if (rule.rangeMessage && !fitsSigned(*value, rule.lo, rule.hi)) {
        // out of range: the field is left as it was
        reportError(state, rule.rangeMessage, std::string(xref.name).c_str(), module.fileName->c_str());
        return;
    }
    writeField(field + rule.at, rule, *value);
    if (rule.makesRecord) {
        const RelocEntry record{xref.value, *value, uint8_t(SectionKind::code), recordSection(uint16_t(xdef->section)),
                                uint16_t(m), uint16_t(xdef->module)};
        (rule.width == 2 ? state.reloc16List : state.reloc32List).push_back(record);
    }
}

void resolveRange(LinkState& state, const std::vector<PartStarts>& starts, const FoundList& found, size_t begin,
                  size_t end) {
    const SymbolList& xrefs = state.xrefList;
    constexpr size_t kAhead = 8;
    for (size_t i = begin; i < end; ++i) {
        if (i + kAhead < end && found[i + kAhead] != XdefIndex::npos) __builtin_prefetch(&state.xdefList[found[i + kAhead]]);
        if (isResolved(xrefs[i].type)) resolveOne(state, starts, xrefs[i], found[i]);
    }
}

// Below this many places one thread does it all: starting a second costs
// more than it saves. The second thread pays on a link of hundreds of
// thousands of places (docs/benchmark.md).
constexpr size_t kTwoThreadsFrom = 32768;

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

    // The lookups only read the index and the names, so with many places a
    // second thread hashes the names while the index is built, then looks up
    // the second half while this one looks up and resolves the first. The
    // patching, the use counts, the records and the messages stay on this
    // thread, in the order of the xref list.
    const bool twoThreads = n >= kTwoThreadsFrom;
    HashList hashes(n);
    FoundList found(n);
    std::future<void> hashing;
    if (twoThreads)
        hashing = startOrRunHere([&] { hashNames(xrefs, hashes); });
    else
        hashNames(xrefs, hashes);
    const XdefIndex index(state.xdefList);
    if (twoThreads) hashing.get();

    const size_t mid = twoThreads ? n / 2 : n;
    std::future<void> lookingUp;
    if (twoThreads) lookingUp = startOrRunHere([&] { lookUpNames(index, xrefs, hashes, found, mid, n); });
    lookUpNames(index, xrefs, hashes, found, 0, mid);
    const std::vector<PartStarts> starts = partStarts(state);
    resolveRange(state, starts, found, 0, mid);
    if (twoThreads) lookingUp.get();
    resolveRange(state, starts, found, mid, n);
    // which definition each reference took, for the link record
    static_assert(XdefIndex::npos == kNoDefinition);
    state.xrefTargets.assign(found.begin(), found.end());
}

}  // namespace tarnel

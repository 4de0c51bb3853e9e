// The link record, version 1 (docs/record.md; the schema is
// docs/record.schema.json). For example, shortened:
//
//   {
//   "format": "tarnel link record",
//   "version": 1,
//   "status": 0,
//   "errors": [],
//   "options": {"output": "hello.rom", "mode": "rom", "rom_start": 1073741824, ...},
//   "processor": "5208",
//   "sections": [
//     {"name": "code", "address": 1073741824, "size": 424, "load_address": 1073741824},
//     ...],
//   "regions": [],
//   "totals": {"code": 424, "data": 8, "bss": 1028, "base": 0, "bssb": 0, "code_size": 1460, "file_size": 1460},
//   "modules": [
//     {"file": "start.o", "name": "start.s", "version": null, "date": null, "processor": "5208", "library": null,
//      "parts": [{"section": "code", "address": 1073741824, "size": 60}]},
//     ...],
//   "library_pulls": [],
//   "definitions": [
//     {"name": "_start", "module": 0, "section": "code", "offset": 0, "address": 1073741824, "size": 60, "size_from": "next"},
//     ...],
//   "references": [
//     {"name": "main", "module": 0, "offset": 14, "access": "pcrelative 16-bit", "definition": 5},
//     ...]
//   }
//
// One entry of a list per line, so two records compare line by line.
#include "report/record.hpp"

#include <algorithm>

#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"
#include "objfmt/symbol_sizes.hpp"
#include "report/json.hpp"
#include "report/text.hpp"

namespace tarnel {

namespace {

// The model and variant digits of a processor id, as the build information
// shows them: "5206", "52071".
std::string processorText(uint32_t id) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (int shift = 28; shift >= 16; shift -= 4) text += kDigits[(id >> shift) & 0xF];
    if ((id & 0xF) != 0) text += kDigits[id & 0xF];
    return text;
}

// An access type's map text with its alignment spaces taken out:
// "absolute 32-bit".
std::string accessText(uint32_t type) {
    std::string text;
    for (const char* p = accessDisplay(type); *p; ++p)
        if (*p != ' ' || (!text.empty() && text.back() != ' ')) text += *p;
    return text;
}

const char* modeOf(const LinkOptions& o) {
    if (o.libraryMode) return "library";
    if (o.srecMode) return "srecords";
    if (o.romMode) return "rom";
    return o.embeddedMode ? "embedded" : "executable";
}

// Writes "key": before a value, after a comma when it is not the first.
class Fields {
public:
    explicit Fields(PieceWriter& w) : w_(w) {}
    PieceWriter& operator()(std::string_view key) {
        w_ << (first_ ? "\"" : ", \"") << key << "\": ";  // keys are plain words
        first_ = false;
        return w_;
    }

private:
    PieceWriter& w_;
    bool first_ = true;
};

void number(PieceWriter& w, std::optional<uint64_t> value) {
    if (value)
        appendJsonNumber(w, *value);
    else
        w << "null";
}

void text(PieceWriter& w, const std::optional<std::string>& value) {
    if (value)
        appendJsonString(w, *value);
    else
        w << "null";
}

// The elements of a list, one a line, each written by `element` between its
// braces.
template <class Element>
void list(PieceWriter& w, std::string_view key, size_t count, Element&& element) {
    w << ",\n\"" << key << "\": [";
    for (size_t i = 0; i < count; ++i) {
        w << (i == 0 ? "\n  {" : ",\n  {");
        element(i);
        w << '}';
    }
    w << (count == 0 ? "]" : "\n]");
}

}  // namespace

void writeRecord(const LinkState& state, const WrittenOutput& output, const DefinitionTable& definitions,
                 PieceWriter& w) {
    const LinkOptions& o = state.options;
    const bool linked = !o.libraryMode;
    w << "{\n\"format\": \"tarnel link record\",\n\"version\": 1,\n\"status\": "
      << (state.errorStatus != 0 ? '1' : '0') << ",\n\"errors\": [";
    for (size_t i = 0; i < state.errors.size(); ++i) {
        w << (i == 0 ? "\n  " : ",\n  ");
        appendJsonString(w, state.errors[i]);
    }
    w << (state.errors.empty() ? "]" : "\n]");

    w << ",\n\"options\": {";
    {
        Fields f(w);
        appendJsonString(f("output"), o.outputName);
        appendJsonString(f("mode"), modeOf(o));
        number(f("rom_start"), o.romMode ? std::optional<uint64_t>(o.romStart) : std::nullopt);
        number(f("ram_start"), o.ramStart);
        number(f("rom_size"), o.romSize);
        number(f("ram_size"), o.ramSize);
        f("bss_in_rom") << (o.bssInRom ? "true" : "false");
        text(f("embedded_label"), o.embeddedMode ? std::optional<std::string>(o.embeddedLabel) : std::nullopt);
    }
    w << "},\n\"processor\": ";
    appendJsonString(w, processorText(state.processorId));

    // the merged sections: where each runs and where the image holds it
    const ImageLayout image = imageLayout(state);
    list(w, "sections", linked ? kSectionCount : 0, [&](size_t s) {
        const SectionPlace& place = image.section[s];
        Fields f(w);
        appendJsonString(f("name"), sectionName(uint32_t(s)));
        appendJsonNumber(f("address"), place.runAddress);
        appendJsonNumber(f("size"), place.size);
        const bool loaded = o.romMode && place.inImage;
        number(f("load_address"), loaded ? std::optional<uint64_t>(place.loadAddress) : std::nullopt);
    });
    const std::vector<RegionUsage> regions = linked ? regionUsage(state) : std::vector<RegionUsage>();
    list(w, "regions", regions.size(), [&](size_t i) {
        Fields f(w);
        appendJsonString(f("name"), regions[i].name);
        appendJsonNumber(f("start"), regions[i].start);
        number(f("size"), regions[i].size);
        appendJsonNumber(f("used"), regions[i].used);
    });
    w << ",\n\"totals\": {";
    {
        Fields f(w);
        const uint32_t codeSize = summaryCodeSize(state, output);
        appendJsonNumber(f("code"), state.layout.codeTotal);
        appendJsonNumber(f("data"), state.layout.dataTotal);
        appendJsonNumber(f("bss"), state.layout.bssTotal);
        appendJsonNumber(f("base"), state.layout.baseTotal);
        appendJsonNumber(f("bssb"), state.layout.bssbTotal);
        appendJsonNumber(f("code_size"), codeSize);
        appendJsonNumber(f("file_size"), o.romMode ? codeSize : output.bytes);
    }
    w << '}';

    // every slot taken, loaded or not, so that module numbers are the slots
    std::vector<const LibraryPull*> pullOf(state.moduleCount, nullptr);
    for (const LibraryPull& p : state.libraryPulls)
        if (p.module < pullOf.size()) pullOf[p.module] = &p;
    list(w, "modules", state.moduleCount, [&](size_t m) {
        const Module& module = state.modules[m];
        Fields f(w);
        text(f("file"), module.fileName);
        text(f("name"), module.moduleName);
        text(f("version"), module.version);
        text(f("date"), module.date);
        text(f("processor"),
             module.processorId ? std::optional<std::string>(processorText(*module.processorId)) : std::nullopt);
        if (const LibraryPull* pull = pullOf[m]) {
            appendJsonString(f("library") << "{\"file\": ", pull->library);
            appendJsonNumber(w << ", \"number\": ", pull->number);
            w << '}';
        } else {
            f("library") << "null";
        }
        f("parts") << '[';
        bool first = true;
        for (uint32_t s = 0; s < kSectionCount; ++s) {
            if ((module.*kSectionFields[s].chunk).empty()) continue;
            w << (first ? "{" : ", {");
            first = false;
            Fields part(w);
            appendJsonString(part("section"), sectionName(s));
            const uint32_t address = partAddress(state, uint32_t(m), s, AddressView::run);
            number(part("address"), linked ? std::optional<uint64_t>(address) : std::nullopt);
            appendJsonNumber(part("size"), module.*kSectionFields[s].size);
            w << '}';
        }
        w << ']';
    });
    list(w, "library_pulls", state.libraryPulls.size(), [&](size_t i) {
        const LibraryPull& p = state.libraryPulls[i];
        Fields f(w);
        appendJsonNumber(f("module"), p.module);
        appendJsonString(f("member"), p.member);
        appendJsonString(f("symbol"), p.symbol);
        appendJsonString(f("referenced_by"), p.referencedBy);
    });

    // The two long lists: their keys written as whole pieces of text, the
    // section and access texts made once.
    // each definition where it runs, and what it takes up to the next one
    const SymbolList& xdefs = state.xdefList;
    const std::vector<uint32_t>& address = definitions.address;
    const std::vector<uint32_t>& sizes = definitions.size;
    std::string section[kSectionCount + 1];
    for (uint32_t s = 0; s <= kSectionCount; ++s) appendJsonString(section[s], sectionName(s));
    list(w, "definitions", xdefs.size(), [&](size_t i) {
        const LinkSymbol& s = xdefs[i];
        appendJsonString(w << "\"name\": ", s.name);
        appendJsonNumber(w << ", \"module\": ", uint16_t(s.module));
        w << ", \"section\": " << section[std::min<uint32_t>(uint16_t(s.section), kSectionCount)];
        appendJsonNumber(w << ", \"offset\": ", s.value);
        appendJsonNumber(w << ", \"address\": ", address[i]);
        appendJsonNumber(w << ", \"size\": ", sizes[i]);
        static constexpr const char* kFrom[] = {", \"size_from\": \"next\"", ", \"size_from\": \"object\"",
                                                ", \"size_from\": \"linker\""};
        w << kFrom[uint32_t(definitions.from[i])];
    });
    const SymbolList& xrefs = state.xrefList;
    std::string access[11];
    for (uint32_t type = 0; type <= 10; ++type) appendJsonString(access[type], accessText(type));
    list(w, "references", xrefs.size(), [&](size_t i) {
        const LinkSymbol& s = xrefs[i];
        appendJsonString(w << "\"name\": ", s.name);
        appendJsonNumber(w << ", \"module\": ", uint16_t(s.module));
        appendJsonNumber(w << ", \"offset\": ", s.value);
        w << ", \"access\": " << access[s.type <= 10 ? s.type : 3] << ", \"definition\": ";
        const uint32_t target = i < state.xrefTargets.size() ? state.xrefTargets[i] : kNoDefinition;
        number(w, target == kNoDefinition ? std::nullopt : std::optional<uint64_t>(target));
    });
    w << "\n}\n";
}

}  // namespace tarnel

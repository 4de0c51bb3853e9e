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

#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"
#include "objfmt/symbol_sizes.hpp"
#include "report/json.hpp"

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

// Appends "key": before a value, after a comma when it is not the first.
class Fields {
public:
    explicit Fields(std::string& out) : out_(out) {}
    std::string& operator()(std::string_view key) {
        if (!first_) out_ += ", ";
        first_ = false;
        appendJsonString(out_, key);
        out_ += ": ";
        return out_;
    }

private:
    std::string& out_;
    bool first_ = true;
};

void number(std::string& out, std::optional<uint64_t> value) {
    if (value)
        appendJsonNumber(out, *value);
    else
        out += "null";
}

void text(std::string& out, const std::optional<std::string>& value) {
    if (value)
        appendJsonString(out, *value);
    else
        out += "null";
}

// The elements of a list, one a line, each written by `element`.
template <class Element>
void list(std::string& out, std::string_view key, size_t count, Element&& element) {
    out += ",\n";
    appendJsonString(out, key);
    out += ": [";
    for (size_t i = 0; i < count; ++i) {
        out += i == 0 ? "\n  {" : ",\n  {";
        Fields fields(out);
        element(i, fields);
        out += '}';
    }
    out += count == 0 ? "]" : "\n]";
}

}  // namespace

void writeRecord(const LinkState& state, const WrittenOutput& output, std::string& out) {
    const LinkOptions& o = state.options;
    const bool linked = !o.libraryMode;
    out += "{\n\"format\": \"tarnel link record\",\n\"version\": 1,\n\"status\": ";
    out += state.errorStatus != 0 ? '1' : '0';
    out += ",\n\"errors\": [";
    for (size_t i = 0; i < state.errors.size(); ++i) {
        out += i == 0 ? "\n  " : ",\n  ";
        appendJsonString(out, state.errors[i]);
    }
    out += state.errors.empty() ? "]" : "\n]";

    out += ",\n\"options\": {";
    {
        Fields f(out);
        appendJsonString(f("output"), o.outputName);
        appendJsonString(f("mode"), modeOf(o));
        number(f("rom_start"), o.romMode ? std::optional<uint64_t>(o.romStart) : std::nullopt);
        number(f("ram_start"), o.ramStart);
        number(f("rom_size"), o.romSize);
        number(f("ram_size"), o.ramSize);
        f("bss_in_rom") += o.bssInRom ? "true" : "false";
        text(f("embedded_label"), o.embeddedMode ? std::optional<std::string>(o.embeddedLabel) : std::nullopt);
    }
    out += "},\n\"processor\": ";
    appendJsonString(out, processorText(state.processorId));

    // the merged sections: where each runs and where the image holds it
    const ImageLayout image = imageLayout(state);
    list(out, "sections", linked ? kSectionCount : 0, [&](size_t s, Fields& f) {
        const SectionPlace& place = image.section[s];
        appendJsonString(f("name"), sectionName(uint32_t(s)));
        appendJsonNumber(f("address"), place.runAddress);
        appendJsonNumber(f("size"), place.size);
        const bool loaded = o.romMode && place.inImage;
        number(f("load_address"), loaded ? std::optional<uint64_t>(place.loadAddress) : std::nullopt);
    });
    const std::vector<RegionUsage> regions = linked ? regionUsage(state) : std::vector<RegionUsage>();
    list(out, "regions", regions.size(), [&](size_t i, Fields& f) {
        appendJsonString(f("name"), regions[i].name);
        appendJsonNumber(f("start"), regions[i].start);
        number(f("size"), regions[i].size);
        appendJsonNumber(f("used"), regions[i].used);
    });
    out += ",\n\"totals\": {";
    {
        Fields f(out);
        const uint32_t codeSize = summaryCodeSize(state, output);
        appendJsonNumber(f("code"), state.layout.codeTotal);
        appendJsonNumber(f("data"), state.layout.dataTotal);
        appendJsonNumber(f("bss"), state.layout.bssTotal);
        appendJsonNumber(f("base"), state.layout.baseTotal);
        appendJsonNumber(f("bssb"), state.layout.bssbTotal);
        appendJsonNumber(f("code_size"), codeSize);
        appendJsonNumber(f("file_size"), o.romMode ? codeSize : output.bytes);
    }
    out += '}';

    // every slot taken, loaded or not, so that module numbers are the slots
    std::vector<const LibraryPull*> pullOf(state.moduleCount, nullptr);
    for (const LibraryPull& p : state.libraryPulls)
        if (p.module < pullOf.size()) pullOf[p.module] = &p;
    list(out, "modules", state.moduleCount, [&](size_t m, Fields& f) {
        const Module& module = state.modules[m];
        text(f("file"), module.fileName);
        text(f("name"), module.moduleName);
        text(f("version"), module.version);
        text(f("date"), module.date);
        text(f("processor"),
             module.processorId ? std::optional<std::string>(processorText(*module.processorId)) : std::nullopt);
        if (const LibraryPull* pull = pullOf[m]) {
            std::string& library = f("library");
            library += "{\"file\": ";
            appendJsonString(library, pull->library);
            library += ", \"number\": ";
            appendJsonNumber(library, pull->number);
            library += '}';
        } else {
            f("library") += "null";
        }
        std::string& parts = f("parts");
        parts += '[';
        bool first = true;
        for (uint32_t s = 0; s < kSectionCount; ++s) {
            if ((module.*kSectionFields[s].chunk).empty()) continue;
            parts += first ? "{" : ", {";
            first = false;
            Fields part(parts);
            appendJsonString(part("section"), sectionName(s));
            const uint32_t address = partAddress(state, uint32_t(m), s, AddressView::run);
            number(part("address"), linked ? std::optional<uint64_t>(address) : std::nullopt);
            appendJsonNumber(part("size"), module.*kSectionFields[s].size);
            parts += '}';
        }
        parts += ']';
    });
    list(out, "library_pulls", state.libraryPulls.size(), [&](size_t i, Fields& f) {
        const LibraryPull& p = state.libraryPulls[i];
        appendJsonNumber(f("module"), p.module);
        appendJsonString(f("member"), p.member);
        appendJsonString(f("symbol"), p.symbol);
        appendJsonString(f("referenced_by"), p.referencedBy);
    });

    // each definition where it runs, and what it takes up to the next one
    const SymbolList& xdefs = state.xdefList;
    const std::vector<uint32_t> address = definitionAddresses(state, AddressView::run);
    const std::vector<uint32_t> sizes = definitionSizes(state);
    list(out, "definitions", xdefs.size(), [&](size_t i, Fields& f) {
        const LinkSymbol& s = xdefs[i];
        appendJsonString(f("name"), s.name);
        appendJsonNumber(f("module"), uint64_t(uint16_t(s.module)));
        appendJsonString(f("section"), sectionName(uint32_t(uint16_t(s.section))));
        appendJsonNumber(f("offset"), s.value);
        appendJsonNumber(f("address"), address[i]);
        appendJsonNumber(f("size"), sizes[i]);
        appendJsonString(f("size_from"), "next");
    });
    const SymbolList& xrefs = state.xrefList;
    std::string access[11];
    for (uint32_t type = 0; type <= 10; ++type) access[type] = accessText(type);
    list(out, "references", xrefs.size(), [&](size_t i, Fields& f) {
        const LinkSymbol& s = xrefs[i];
        appendJsonString(f("name"), s.name);
        appendJsonNumber(f("module"), uint64_t(uint16_t(s.module)));
        appendJsonNumber(f("offset"), s.value);
        appendJsonString(f("access"), access[s.type <= 10 ? s.type : 3]);
        const uint32_t target = i < state.xrefTargets.size() ? state.xrefTargets[i] : kNoDefinition;
        number(f("definition"), target == kNoDefinition ? std::nullopt : std::optional<uint64_t>(target));
    });
    out += "\n}\n";
}

}  // namespace tarnel

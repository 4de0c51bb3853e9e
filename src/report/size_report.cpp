// The size report: the page template (size_report.html, with its style and
// script; report/size_report_page.hpp) with each slot, {{name}}, filled. The
// texts and the plain tables, which the page shows without JavaScript, are
// HTML; the data the script reads is one JSON object in a script element,
// every string escaped so that no name can end the element. For the example:
//
//   {"output":"hello.rom","status":0,"errors":[],
//    "totals":{"code":424,"data":8,"bss":1028,"base":0,"bssb":0,"code_size":1460,"file_size":1460},
//    "sections":[["code",1073741824,424,1073741824],...],   name, runs at, size, held at (or null)
//    "regions":[["ROM",1073741824,65536,432],...],          name, start, size (or null), used
//    "memories":[{"name":"ROM","start":1073741824,"pieces":[[0,1073741824,424,0],...]},...],
//                each piece: section, address in that memory, size, 1 for a zero fill
//    "modules":[["start.o","start.s"],...],                 file and name, null when not loaded
//    "parts":[[0,0,0,60,0,1],...],   module, section, offset in the merged section (null in a
//                                    library), size, bytes no definition covers, definitions
//    "names":["_start",...],"offsets":[0,...],"sizes":[60,...],
//    "aliases":[]}                   [definition, the one at its offset that counts its bytes]
//
// The definitions are listed part by part, each part's in the order loaded,
// so that each part's count says which are its own; those in no part come
// last, an address in place of the offset. The numbers are the record's:
// placement and the definition sizes. What lies in a memory follows the
// sections: the ROM holds each section the image holds (code, the bytes of
// data and base, the bss and bssb fills unless -b or --ram), the RAM data,
// bss, base and bssb; a link without ROM has one memory of its five sections.
#include "report/size_report.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"
#include "objfmt/symbol_sizes.hpp"
#include "report/json.hpp"
#include "report/regions.hpp"
#include "report/size_report_page.hpp"

namespace tarnel {

namespace {

constexpr size_t kLargestShown = 50;  // rows of the plain table of symbols

// A module's part of a section, with what its definitions cover.
struct Part {
    uint32_t module;
    uint32_t section;
    uint32_t rest;  // the bytes no definition covers
    size_t count;   // its definitions
};

// The link as the page shows it.
struct SizeModel {
    const DefinitionTable& definitions;
    std::vector<Part> parts;  // module by module, section by section
    // The definitions as the page lists them: part by part, each part's in
    // the order loaded (the order their names lie in memory), then those in
    // no part.
    std::vector<uint32_t> listed;
    size_t inParts = 0;
    // By place in the xdef list: whether a definition lies at the offset of
    // one before it in its part, whose bytes it shares and which counts them.
    std::vector<bool> alias;
    // Each alias and the definition that counts its bytes, as places in listed.
    std::vector<std::pair<uint32_t, uint32_t>> aliases;
};

SizeModel sizeModel(const LinkState& state, const DefinitionTable& definitions) {
    const SymbolList& xdefs = state.xdefList;
    const std::vector<uint32_t>& byPart = definitions.byPart;
    SizeModel model{definitions, {}, {}, 0, std::vector<bool>(xdefs.size(), false), {}};
    // the parts, what their definitions cover and which share bytes, in
    // offset order
    std::vector<uint32_t> partOf(xdefs.size(), UINT32_MAX);
    std::vector<std::pair<uint32_t, uint32_t>> aliasPlaces;
    size_t k = 0;
    for (uint32_t m = 0; m < state.moduleCount; ++m) {
        const Module& module = state.modules[m];
        for (uint32_t s = 0; s < kSectionCount; ++s) {
            const auto mine = [&](size_t at) {
                const LinkSymbol& d = xdefs[byPart[at]];
                return uint32_t(d.module) == m && uint32_t(d.section) == s;
            };
            const size_t first = k;
            uint64_t covered = 0;
            uint32_t counting = 0;  // the first definition at the current offset
            for (; k < byPart.size() && mine(k); ++k) {
                const uint32_t i = byPart[k];
                partOf[i] = uint32_t(model.parts.size());
                if (k > first && xdefs[counting].value == xdefs[i].value) {
                    model.alias[i] = true;
                    aliasPlaces.emplace_back(i, counting);
                } else {
                    counting = i;
                    covered += definitions.size[i];
                }
            }
            const uint32_t size = module.*kSectionFields[s].size;
            if ((module.*kSectionFields[s].chunk).empty() && k == first) continue;
            model.parts.push_back({m, s, covered < size ? uint32_t(size - covered) : 0, k - first});
        }
    }
    // listed part by part, each part's in load order
    std::vector<size_t> next(model.parts.size() + 1, 0);
    for (size_t p = 0; p < model.parts.size(); ++p) next[p + 1] = next[p] + model.parts[p].count;
    model.inParts = next.back();
    model.listed.resize(xdefs.size());
    size_t loose = model.inParts;
    std::vector<uint32_t> listedAt(xdefs.size());
    for (uint32_t i = 0; i < xdefs.size(); ++i) {
        const size_t at = partOf[i] == UINT32_MAX ? loose++ : next[partOf[i]]++;
        model.listed[at] = i;
        listedAt[i] = uint32_t(at);
    }
    for (const auto& [alias, counting] : aliasPlaces) model.aliases.emplace_back(listedAt[alias], listedAt[counting]);
    return model;
}

// The places of the largest definitions, largest first; of an alias, the
// first at its offset.
std::vector<uint32_t> largest(const SizeModel& model) {
    const std::vector<uint32_t>& size = model.definitions.size;
    std::vector<uint32_t> candidates;
    for (uint32_t i : model.definitions.byPart)
        if (!model.alias[i] && size[i] > 0) candidates.push_back(i);
    const size_t shown = std::min(candidates.size(), kLargestShown);
    std::partial_sort(candidates.begin(), candidates.begin() + ptrdiff_t(shown), candidates.end(), [&](uint32_t a, uint32_t b) {
        return size[a] != size[b] ? size[a] > size[b] : a < b;
    });
    candidates.resize(shown);
    return candidates;
}

// A memory of the target and the sections it holds.
struct Piece {
    uint32_t section;
    uint32_t address;  // where the memory holds it
    uint32_t size;
    bool fill;  // zero fill: bss and bssb
};
struct Memory {
    const char* name;
    uint32_t start;
    std::vector<Piece> pieces;
};

std::vector<Memory> memories(const LinkState& state) {
    const LinkOptions& o = state.options;
    if (o.libraryMode) return {};
    const ImageLayout image = imageLayout(state);
    const auto fill = [](uint32_t s) { return s == uint32_t(SectionKind::bss) || s == uint32_t(SectionKind::bssb); };
    std::vector<Memory> list;
    if (!o.romMode) {
        // a relocatable output: its sections, each counting from 0
        list.push_back({"Sections", 0, {}});
        for (uint32_t s = 0; s < kSectionCount; ++s)
            list.back().pieces.push_back({s, image.section[s].runAddress, image.section[s].size, fill(s)});
        return list;
    }
    list.push_back({"ROM", o.romStart, {}});
    for (uint32_t s = 0; s < kSectionCount; ++s)
        if (image.section[s].inImage)
            list.back().pieces.push_back({s, image.section[s].loadAddress, image.section[s].size, fill(s)});
    if (inRam(state)) {
        list.push_back({"RAM", *o.ramStart, {}});
        for (uint32_t s = uint32_t(SectionKind::data); s < kSectionCount; ++s)
            list.back().pieces.push_back({s, image.section[s].runAddress, image.section[s].size, fill(s)});
    }
    return list;
}

// "$4000003c", as the build information shows addresses.
std::string hexAddress(uint32_t address) {
    std::string text = "$";
    for (int shift = 24; shift >= 0; shift -= 8) text.append(kHex.lower[(address >> shift) & 0xFF], 2);
    return text;
}

std::string_view moduleLabel(const Module& module) {
    if (module.moduleName) return *module.moduleName;
    return module.fileName ? std::string_view(*module.fileName) : std::string_view("-");
}

// Writes the template with each {{slot}} replaced by what `fill` writes.
template <class Fill>
void fillTemplate(PieceWriter& w, std::string_view page, Fill&& fill) {
    size_t at = 0;
    for (size_t open; (open = page.find("{{", at)) != std::string_view::npos;) {
        const size_t close = page.find("}}", open);
        if (close == std::string_view::npos) break;
        w << page.substr(at, open - at);
        fill(page.substr(open + 2, close - open - 2));
        at = close + 2;
    }
    w << page.substr(at);
}

class PageWriter {
public:
    PageWriter(const LinkState& state, const WrittenOutput& output, const DefinitionTable& definitions, PieceWriter& w)
        : state_(state), o_(state.options), output_(output), w_(w), model_(sizeModel(state, definitions)),
          memories_(memories(state)), regions_(o_.libraryMode ? std::vector<RegionUsage>() : regionUsage(state)),
          largest_(largest(model_)) {}

    void slot(std::string_view name) {
        if (name == "version") w_ << TARNEL_VERSION;
        else if (name == "output") appendHtmlText(w_, o_.outputName);
        else if (name == "style") w_ << kSizeReportStyle;
        else if (name == "script") w_ << kSizeReportScript;
        else if (name == "summary") summary();
        else if (name == "errors") errors();
        else if (name == "regions") regions();
        else if (name == "sections") sections();
        else if (name == "sections-total") appendJsonNumber(w_, sectionsTotal());
        else if (name == "parts") parts();
        else if (name == "parts-total") appendJsonNumber(w_, partsTotal());
        else if (name == "symbols") largestSymbols();
        else if (name == "symbols-shown") symbolsShown();
        else if (name == "data") data();
        else throw std::logic_error("the size report's page has an unknown slot " + std::string(name));
    }

private:
    std::string_view modeText() const {
        if (o_.libraryMode) return "Library";
        if (o_.srecMode) return "S-records of a ROM image at ";
        if (o_.romMode) return "ROM image at ";
        return o_.embeddedMode ? "Embedded object exporting " : "Relocatable executable";
    }

    // The mode, the summary's two figures, and whether the link failed.
    void summary() {
        w_ << "<span class=\"mode\">" << modeText();
        if (o_.romMode) w_ << hexAddress(o_.romStart);
        if (o_.embeddedMode) appendHtmlText(w_, o_.embeddedLabel);
        if (inRam(state_)) w_ << ", data in RAM at " << hexAddress(*o_.ramStart);
        const uint32_t codeSize = summaryCodeSize(state_, output_);
        w_ << "</span> &middot; Maximum code size <b id=\"summary-code-size\">";
        appendJsonNumber(w_, codeSize);
        w_ << "</b> bytes &middot; Maximum file size <b id=\"summary-file-size\">";
        appendJsonNumber(w_, o_.romMode ? codeSize : output_.bytes);
        w_ << "</b> bytes";
        if (state_.errorStatus != 0) {
            w_ << " &middot; <b class=\"failed\">";
            appendJsonNumber(w_, state_.errors.size());
            w_ << (state_.errors.size() == 1 ? " error" : " errors");
            w_ << (output_.created ? "</b>" : ", no output written</b>");
        }
    }

    void errors() {
        if (state_.errors.empty()) return;
        w_ << "<ul class=\"errors\">\n";
        for (const std::string& e : state_.errors) {
            w_ << "<li>error: ";
            appendHtmlText(w_, e);
            w_ << "</li>\n";
        }
        w_ << "</ul>";
    }

    // Each region's use, and a bar where its size is given.
    void regions() {
        for (const RegionUsage& r : regions_) {
            const bool over = r.size && r.used > *r.size;
            w_ << "<div class=\"region" << (over ? " over" : "") << "\" data-region=\"" << r.name << "\" data-used=\"";
            appendJsonNumber(w_, r.used);
            w_ << "\"><div class=\"region-head\"><b>" << r.name << "</b> <span class=\"addr\">" << hexAddress(r.start)
               << "</span> <span class=\"use\">";
            appendJsonNumber(w_, r.used);
            if (!r.size) {
                w_ << " bytes</span></div></div>\n";
                continue;
            }
            const uint64_t hundredths = usedHundredths(r);
            std::string percent = std::to_string(hundredths / 100) + "." + char('0' + hundredths % 100 / 10) +
                                  char('0' + hundredths % 10) + "%";
            w_ << " of ";
            appendJsonNumber(w_, *r.size);
            w_ << " bytes, " << percent << "</span></div>\n<div class=\"bar\"><div style=\"width: "
               << (over ? std::string("100%") : percent) << "\"></div></div></div>\n";
        }
    }

    // The merged sections: where each runs, where the image holds it.
    void sections() {
        if (o_.libraryMode) return;
        const ImageLayout image = imageLayout(state_);
        for (uint32_t s = 0; s < kSectionCount; ++s) {
            const SectionPlace& place = image.section[s];
            w_ << "<tr><td>" << sectionName(s) << "</td><td class=\"addr\">" << hexAddress(place.runAddress)
               << "</td><td class=\"addr\">"
               << (o_.romMode && place.inImage ? hexAddress(place.loadAddress) : std::string("-"))
               << "</td><td class=\"n\">";
            appendJsonNumber(w_, place.size);
            w_ << "</td></tr>\n";
        }
    }

    // What the rows of the plain tables add up to.
    uint64_t sectionsTotal() const {
        uint64_t total = 0;
        if (o_.libraryMode) return total;
        const ImageLayout image = imageLayout(state_);
        for (const SectionPlace& place : image.section) total += place.size;
        return total;
    }
    uint64_t partsTotal() const {
        uint64_t total = 0;
        for (const Part& p : model_.parts) total += state_.modules[p.module].*kSectionFields[p.section].size;
        return total;
    }

    void parts() {
        for (const Part& p : model_.parts) {
            const Module& module = state_.modules[p.module];
            const uint32_t size = module.*kSectionFields[p.section].size;
            w_ << "<tr><td>";
            appendHtmlText(w_, moduleLabel(module));
            w_ << "</td><td>";
            appendHtmlText(w_, module.fileName ? std::string_view(*module.fileName) : "-");
            w_ << "</td><td>" << sectionName(p.section) << "</td><td class=\"addr\">"
               << (o_.libraryMode ? std::string("-")
                                  : hexAddress(partAddress(state_, p.module, p.section, AddressView::run)))
               << "</td><td class=\"n\">";
            appendJsonNumber(w_, size);
            w_ << "</td></tr>\n";
        }
    }

    void largestSymbols() {
        for (uint32_t i : largest_) {
            const LinkSymbol& s = state_.xdefList[i];
            w_ << "<tr><td>";
            appendHtmlText(w_, s.name);
            w_ << "</td><td>";
            appendHtmlText(w_, moduleLabel(state_.modules[uint32_t(s.module)]));
            w_ << "</td><td>" << sectionName(uint32_t(uint16_t(s.section))) << "</td><td class=\"addr\">"
               << hexAddress(model_.definitions.address[i]) << "</td><td class=\"n\">";
            appendJsonNumber(w_, model_.definitions.size[i]);
            w_ << "</td></tr>\n";
        }
    }

    void symbolsShown() {
        w_ << "the ";
        appendJsonNumber(w_, largest_.size());
        w_ << " largest of ";
        appendJsonNumber(w_, state_.xdefList.size());
        w_ << " definitions";
    }

    // The data the script reads.
    void json(std::string_view text) { appendJsonString(w_, text, JsonIn::script); }
    void jsonOrNull(const std::optional<std::string>& text) {
        if (text)
            json(*text);
        else
            w_ << "null";
    }
    void number(std::optional<uint64_t> value) {
        if (value)
            appendJsonNumber(w_, *value);
        else
            w_ << "null";
    }
    template <class Each>
    void array(size_t count, Each&& each) {
        w_ << '[';
        for (size_t i = 0; i < count; ++i) {
            if (i != 0) w_ << ',';
            each(i);
        }
        w_ << ']';
    }

    void data() {
        const SymbolList& xdefs = state_.xdefList;
        w_ << "{\"output\":";
        json(o_.outputName);
        w_ << ",\"status\":" << (state_.errorStatus != 0 ? '1' : '0') << ",\"errors\":";
        array(state_.errors.size(), [&](size_t i) { json(state_.errors[i]); });

        const uint32_t codeSize = summaryCodeSize(state_, output_);
        w_ << ",\n\"totals\":{";
        for (uint32_t s = 0; s < kSectionCount; ++s) {
            w_ << '"' << sectionName(s) << "\":";
            appendJsonNumber(w_, sectionTotal(state_, s));
            w_ << ',';
        }
        w_ << "\"code_size\":";
        appendJsonNumber(w_, codeSize);
        w_ << ",\"file_size\":";
        appendJsonNumber(w_, o_.romMode ? codeSize : output_.bytes);
        w_ << '}';

        const ImageLayout image = imageLayout(state_);
        w_ << ",\n\"sections\":";
        array(o_.libraryMode ? 0 : kSectionCount, [&](size_t s) {
            const SectionPlace& place = image.section[s];
            w_ << "[\"" << sectionName(uint32_t(s)) << "\",";
            appendJsonNumber(w_, place.runAddress);
            w_ << ',';
            appendJsonNumber(w_, place.size);
            w_ << ',';
            number(o_.romMode && place.inImage ? std::optional<uint64_t>(place.loadAddress) : std::nullopt);
            w_ << ']';
        });
        w_ << ",\n\"regions\":";
        array(regions_.size(), [&](size_t i) {
            const RegionUsage& r = regions_[i];
            w_ << "[\"" << r.name << "\",";
            appendJsonNumber(w_, r.start);
            w_ << ',';
            number(r.size);
            w_ << ',';
            appendJsonNumber(w_, r.used);
            w_ << ']';
        });
        w_ << ",\n\"memories\":";
        array(memories_.size(), [&](size_t i) {
            const Memory& m = memories_[i];
            w_ << "{\"name\":\"" << m.name << "\",\"start\":";
            appendJsonNumber(w_, m.start);
            w_ << ",\"pieces\":";
            array(m.pieces.size(), [&](size_t k) {
                const Piece& p = m.pieces[k];
                w_ << '[';
                appendJsonNumber(w_, p.section);
                w_ << ',';
                appendJsonNumber(w_, p.address);
                w_ << ',';
                appendJsonNumber(w_, p.size);
                w_ << (p.fill ? ",1]" : ",0]");
            });
            w_ << '}';
        });
        w_ << ",\n\"modules\":";
        array(state_.moduleCount, [&](size_t m) {
            w_ << '[';
            jsonOrNull(state_.modules[m].fileName);
            w_ << ',';
            jsonOrNull(state_.modules[m].moduleName);
            w_ << ']';
        });
        w_ << ",\n\"parts\":";
        array(model_.parts.size(), [&](size_t k) {
            const Part& p = model_.parts[k];
            const Module& module = state_.modules[p.module];
            w_ << '[';
            appendJsonNumber(w_, p.module);
            w_ << ',';
            appendJsonNumber(w_, p.section);
            w_ << ',';
            number(o_.libraryMode ? std::nullopt : std::optional<uint64_t>(module.*kSectionFields[p.section].addr));
            w_ << ',';
            appendJsonNumber(w_, module.*kSectionFields[p.section].size);
            w_ << ',';
            appendJsonNumber(w_, p.rest);
            w_ << ',';
            appendJsonNumber(w_, p.count);
            w_ << ']';
        });

        // the definitions as listed; in no part, an address for the offset
        const std::vector<uint32_t>& listed = model_.listed;
        w_ << ",\n\"names\":";
        array(listed.size(), [&](size_t n) { json(xdefs[listed[n]].name); });
        w_ << ",\n\"offsets\":";
        array(listed.size(), [&](size_t n) {
            appendJsonNumber(w_, n < model_.inParts ? xdefs[listed[n]].value : model_.definitions.address[listed[n]]);
        });
        w_ << ",\n\"sizes\":";
        array(listed.size(), [&](size_t n) { appendJsonNumber(w_, model_.definitions.size[listed[n]]); });
        w_ << ",\n\"aliases\":";
        array(model_.aliases.size(), [&](size_t n) {
            w_ << '[';
            appendJsonNumber(w_, model_.aliases[n].first);
            w_ << ',';
            appendJsonNumber(w_, model_.aliases[n].second);
            w_ << ']';
        });
        w_ << "}";
    }

    const LinkState& state_;
    const LinkOptions& o_;
    const WrittenOutput& output_;
    PieceWriter& w_;
    const SizeModel model_;
    const std::vector<Memory> memories_;
    const std::vector<RegionUsage> regions_;
    const std::vector<uint32_t> largest_;
};

}  // namespace

void writeSizeReport(const LinkState& state, const WrittenOutput& output, const DefinitionTable& definitions,
                     PieceWriter& w) {
    PageWriter page(state, output, definitions, w);
    fillTemplate(w, kSizeReportTemplate, [&](std::string_view slot) { page.slot(slot); });
}

}  // namespace tarnel

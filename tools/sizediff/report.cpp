// The text form, for example:
//
//   Size changes from old.json to new.json
//   Regions: 2 changed
//     changed        5460        5488          +28  ROM, 1.05% of 524288
//     changed         344         352           +8  RAM
//   Modules: 1 added, 1 changed; total +28
//     added             -          20          +20  net.o: code +12, data +8
//     changed         100         108           +8  main.o: code +8
//   Symbols: 2 added, 1 changed, 1 moved; total +28
//     added             -          12          +12  net_rx (code, net.o)
//     changed          16          24           +8  main (code, main.o)
//     and 2 more, total +8
//
// Columns: 3-9 the change, 11-21 the old size, 23-33 the new size (`-` where
// the thing is not), 35-46 the difference, then from 49 what it is.
#include "report.hpp"

#include <charconv>

namespace tarnel::sizediff {

namespace {

std::string number(uint64_t value) {
    char digits[24];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

std::string size(const std::optional<uint64_t>& value) { return value ? number(*value) : "-"; }

std::string signedNumber(int64_t value) {
    if (value == 0) return "0";
    return (value > 0 ? "+" : "-") + number(value > 0 ? uint64_t(value) : uint64_t(0) - uint64_t(value));
}

// used as a percentage of size in hundredths, rounded half up, as tarnel's
// usage table shows it
std::string percent(uint64_t used, uint64_t size) {
    const uint64_t hundredths = (used * 10000 + size / 2) / size;
    const uint64_t fraction = hundredths % 100;
    return number(hundredths / 100) + "." + (fraction < 10 ? "0" : "") + number(fraction) + "%";
}

// A name as printed: control bytes as \xNN, the empty name as "".
void appendName(std::string& out, std::string_view name) {
    static constexpr char kHex[] = "0123456789abcdef";
    if (name.empty()) out += "\"\"";
    for (char c : name) {
        const uint8_t byte = uint8_t(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
}

// A name in a Markdown code span, which shows every character as it is: the
// fence one backtick longer than the longest run inside, and in a table
// cell a bar escaped, which would end the cell.
void appendCode(std::string& out, std::string_view name, bool inTable = true) {
    std::string shown;
    appendName(shown, name);
    size_t longest = 0, run = 0;
    for (char c : shown) {
        run = c == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    const std::string fence(longest + 1, '`');
    const bool padded = shown.front() == '`' || shown.back() == '`';
    out += fence;
    if (padded) out += ' ';
    for (char c : shown) {
        if (c == '|' && inTable) out += '\\';
        out += c;
    }
    if (padded) out += ' ';
    out += fence;
}

void pad(std::string& out, std::string_view text, size_t width, bool right) {
    const size_t fill = text.size() < width ? width - text.size() : 0;
    if (!right) out += text;
    out.append(fill, ' ');
    if (right) out += text;
}

// The heading's counts: "1 added, 2 changed", and the total where it means
// something (regions share their sections, so they have none).
template <class R>
std::string counts(const RowList<R>& list, bool withTotal) {
    std::string text;
    for (size_t c = 0; c < kChangeNames.size(); ++c) {
        if (list.count[c] == 0) continue;
        if (!text.empty()) text += ", ";
        text += number(list.count[c]) + " " + std::string(kChangeNames[c]);
    }
    if (withTotal) text += "; total " + signedNumber(list.total);
    return text;
}

std::string areaSize(const AreaRow& r) {
    const bool removed = r.change == Change::removed;
    const std::optional<uint64_t>& size = removed ? r.sizeBefore : r.sizeAfter;
    std::string text;
    if (size) text = percent(*(removed ? r.before : r.after), *size) + " of " + number(*size);
    if (r.change == Change::changed && r.sizeBefore != r.sizeAfter)
        text += std::string(text.empty() ? "" : " ") + "(size was " + (r.sizeBefore ? number(*r.sizeBefore) : "not given") + ")";
    return text;
}

std::string sectionDeltas(const ModuleRow& r) {
    std::string text;
    for (size_t s = 0; s < kSections; ++s) {
        if (r.partDelta[s] == 0) continue;
        if (!text.empty()) text += ", ";
        text += std::string(kSectionNames[s]) + " " + signedNumber(r.partDelta[s]);
    }
    return text;
}

std::string sectionChange(const SymbolRow& r, std::string_view arrow) {
    std::string text(kSectionNames[size_t(r.sectionBefore)]);
    if (r.sectionAfter != r.sectionBefore) text += std::string(arrow) + std::string(kSectionNames[size_t(r.sectionAfter)]);
    return text;
}

class Writer {
public:
    Writer(const ReportOptions& options, std::string& out) : o_(options), out_(out) {}

    void write(const SizeDiff& diff) {
        if (o_.markdown) {
            out_ += "### Size changes from ";
            appendCode(out_, o_.before, false);
            out_ += " to ";
            appendCode(out_, o_.after, false);
        } else {
            out_ += "Size changes from ";
            appendName(out_, o_.before);
            out_ += " to ";
            appendName(out_, o_.after);
        }
        if (diff.unchanged()) {
            out_ += o_.markdown ? "\n\nNone.\n" : ": none\n";
            return;
        }
        out_ += '\n';
        const char* areas = diff.bySection ? "Sections" : "Regions";
        list(diff.areas, areas, !diff.bySection ? std::string(" | Size") : std::string(), diff.bySection,
             [&](const AreaRow& r) { areaRow(r, !diff.bySection); });
        list(diff.modules, "Modules", " | By section", true, [&](const ModuleRow& r) { moduleRow(r); });
        list(diff.symbols, "Symbols", " | Section | Module", true, [&](const SymbolRow& r) { symbolRow(r); });
    }

private:
    template <class R, class Each>
    void list(const RowList<R>& list, const char* title, const std::string& columns, bool withTotal, Each&& each) {
        if (list.rows.empty()) return;
        const size_t shown = o_.limit == 0 ? list.rows.size() : std::min(o_.limit, list.rows.size());
        if (o_.markdown) {
            out_ += std::string("\n**") + title + "**: " + counts(list, withTotal) + "\n\n";
            std::string name = title;
            name.pop_back();  // "Modules": a module
            out_ += "| | " + name + " | Old | New | Change" + columns + " |\n|---|---|---:|---:|---:";
            for (char c : columns)
                if (c == '|') out_ += "|---";
            out_ += "|\n";
        } else {
            out_ += std::string(title) + ": " + counts(list, withTotal) + "\n";
        }
        int64_t shownTotal = 0;
        for (size_t i = 0; i < shown; ++i) {
            const R& r = list.rows[i];
            shownTotal += r.delta;
            if (o_.markdown) {
                out_ += "| ";
                out_ += kChangeNames[size_t(r.change)];
                out_ += " | ";
            } else {
                out_ += "  ";
                pad(out_, kChangeNames[size_t(r.change)], 7, false);
                out_ += ' ';
                pad(out_, size(r.before), 11, true);
                out_ += ' ';
                pad(out_, size(r.after), 11, true);
                out_ += ' ';
                pad(out_, signedNumber(r.delta), 12, true);
                out_ += "  ";
            }
            each(r);
        }
        if (shown < list.rows.size()) {
            const std::string more = "and " + number(list.rows.size() - shown) + " more, total " +
                                     signedNumber(list.total - shownTotal) + "\n";
            out_ += o_.markdown ? "\n" + more : "  " + more;
        }
    }

    // the sizes and change of a Markdown row, after its name
    void numbers(const Row& r) {
        out_ += " | " + size(r.before) + " | " + size(r.after) + " | " + signedNumber(r.delta);
    }

    void areaRow(const AreaRow& r, bool regions) {
        const std::string detail = regions ? areaSize(r) : std::string();
        out_ += r.name;
        if (o_.markdown) {
            numbers(r);
            if (regions) out_ += " | " + (detail.empty() ? "-" : detail);
            out_ += " |\n";
        } else {
            if (!detail.empty()) out_ += (detail.front() == '(' ? " " : ", ") + detail;
            out_ += '\n';
        }
    }

    void moduleRow(const ModuleRow& r) {
        const std::string sections = sectionDeltas(r);
        if (o_.markdown) {
            appendCode(out_, r.file);
            if (r.fileBefore) {
                out_ += " (was ";
                appendCode(out_, *r.fileBefore);
                out_ += ')';
            }
            numbers(r);
            out_ += " | " + sections + " |\n";
        } else {
            appendName(out_, r.file);
            if (r.fileBefore) {
                out_ += " (was ";
                appendName(out_, *r.fileBefore);
                out_ += ')';
            }
            if (!sections.empty()) out_ += ": " + sections;
            out_ += '\n';
        }
    }

    void module(std::string_view file, bool linkerMade) {
        if (linkerMade)
            out_ += "made by the linker";
        else if (o_.markdown)
            appendCode(out_, file);
        else
            appendName(out_, file);
    }

    void symbolRow(const SymbolRow& r) {
        const bool moved = r.moduleBefore != r.moduleAfter;
        const char* arrow = o_.markdown ? " → " : " -> ";
        if (o_.markdown) {
            appendCode(out_, r.name);
            numbers(r);
            out_ += " | " + sectionChange(r, arrow) + " | ";
        } else {
            appendName(out_, r.name);
            out_ += " (" + sectionChange(r, arrow) + ", ";
        }
        if (moved) {
            module(r.moduleBefore, false);
            out_ += arrow;
        }
        module(r.moduleAfter, r.linkerMade);
        out_ += o_.markdown ? " |\n" : ")\n";
    }

    const ReportOptions& o_;
    std::string& out_;
};

}  // namespace

void writeReport(const SizeDiff& diff, const ReportOptions& options, std::string& out) { Writer(options, out).write(diff); }

}  // namespace tarnel::sizediff

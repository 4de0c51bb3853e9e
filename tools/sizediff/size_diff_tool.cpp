// The command line of tarnel-size-diff. The diff goes to standard output;
// complaints about the command line and the records, and the regions that
// grew past --max-growth, go to standard error.
#include "size_diff_tool.hpp"

#include <charconv>
#include <new>
#include <optional>

#include "input_file.hpp"
#include "json_reader.hpp"
#include "link_record.hpp"
#include "report.hpp"
#include "size_diff.hpp"
#include "tool_main.hpp"

namespace tarnel::sizediff {

namespace {

constexpr const char* kProgram = "tarnel-size-diff";
constexpr size_t kDefaultLimit = 20;

constexpr const char* kHelp =
    "Usage: tarnel-size-diff [options] OLD.json NEW.json\n"
    "Shows what grew and shrank from one link to another, read from the link\n"
    "records that tarnel --record=FILE writes: by memory region (ROM, RAM; by\n"
    "section when a record has no regions), by module and by symbol. Each list\n"
    "shows growth first, then shrinkage, the largest first, with its total.\n"
    "\n"
    "Modules are matched by file, as the command line named it, so that a module\n"
    "named twice is two modules; one left over is matched by its module name when\n"
    "that name is left over once in each link, so that a module built in another\n"
    "folder is still the same module. Symbols are matched by name within matched\n"
    "modules; a name left over once in each link has moved between modules. The\n"
    "linker's own symbols are matched by name alone.\n"
    "\n"
    "Options:\n"
    "      --markdown          Markdown tables, for a pull-request comment\n"
    "      --limit=N           at most N rows per list (default 20; 0: every row)\n"
    "      --max-growth=BYTES  fail when a region grew by more than BYTES (decimal,\n"
    "                          0x hex, or with a K or M suffix of 1024s)\n"
    "  -h, --help              show this help and exit\n"
    "      --version           show the version and exit\n"
    "\n"
    "Exit status: 0 when the diff was shown, 1 when a region grew by more than\n"
    "--max-growth (each is named on standard error), 2 when a record cannot be\n"
    "read or is not a link record of version 1, standard output cannot be\n"
    "written, or the command line is wrong.\n";

int usageError(std::ostream& err, const std::string& message) {
    err << kProgram << ": " << message << "\nTry '" << kProgram << " --help'.\n";
    return kExitTrouble;
}

std::optional<uint64_t> decimal(std::string_view text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A byte count: decimal, or hexadecimal after 0x or 0X, with an optional K
// or M suffix of 1024s, as tarnel's sizes are written; 0 allowed.
std::optional<uint64_t> byteCount(std::string_view text) {
    uint64_t unit = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) unit = 1024;
    if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) unit = 1024 * 1024;
    if (unit != 1) text.remove_suffix(1);
    uint64_t value = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
        if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    } else if (const std::optional<uint64_t> d = decimal(text)) {
        value = *d;
    } else {
        return std::nullopt;
    }
    if (value > UINT64_MAX / unit) return std::nullopt;
    return value * unit;
}

// Reads the record at path into record, kept in input; on failure says why.
bool load(const std::string& path, tools::InputFile& input, LinkRecord& record, std::ostream& err) {
    std::string reason;
    if (!input.open(path, reason)) {
        err << kProgram << ": cannot open " << path << ": " << reason << "\n";
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(input.bytes().data()), input.bytes().size());
    try {
        readLinkRecord(text, record);
    } catch (const json::Error& e) {
        const json::Position at = json::positionOf(text, e.offset());
        err << kProgram << ": " << path << ":" << at.line << ":" << at.column << ": " << e.what() << "\n";
        return false;
    }
    return true;
}

int sizeDiff(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ReportOptions options;
    options.limit = kDefaultLimit;
    std::optional<uint64_t> maxGrowth;
    std::vector<std::string> files;
    bool optionsEnd = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            files.push_back(a);
        } else if (a == "--") {
            optionsEnd = true;
        } else if (a == "-h" || a == "--help") {
            out << kHelp;
            return 0;
        } else if (a == "--version") {
            tools::printVersion(out, kProgram);
            return 0;
        } else if (a == "--markdown") {
            options.markdown = true;
        } else if (a.starts_with("--limit=")) {
            const std::optional<uint64_t> n = decimal(std::string_view(a).substr(8));
            if (!n || *n > SIZE_MAX) return usageError(err, "invalid row count in '" + a + "'");
            options.limit = size_t(*n);
        } else if (a.starts_with("--max-growth=")) {
            maxGrowth = byteCount(std::string_view(a).substr(13));
            if (!maxGrowth) return usageError(err, "invalid byte count in '" + a + "'");
        } else {
            return usageError(err, "unknown option '" + a + "'");
        }
    }
    if (files.size() != 2)
        return usageError(err, files.empty() ? "no records named" : "two records are compared, " + std::to_string(files.size()) + " named");

    tools::InputFile beforeFile, afterFile;
    LinkRecord before, after;
    if (!load(files[0], beforeFile, before, err) || !load(files[1], afterFile, after, err)) return kExitTrouble;

    const SizeDiff diff = diffRecords(before, after, options.limit);
    options.before = files[0];
    options.after = files[1];
    std::string text;
    writeReport(diff, options, text);
    out << text;

    int status = 0;
    if (maxGrowth) {
        for (const AreaRow& r : diff.areas.rows) {
            if (r.delta <= 0 || uint64_t(r.delta) <= *maxGrowth) continue;
            err << kProgram << ": " << r.name << " grew by " << r.delta << " bytes, more than the " << *maxGrowth
                << " of --max-growth\n";
            status = kExitGrowth;
        }
    }
    return status;
}

}  // namespace

int runSizeDiff(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        return sizeDiff(args, out, err);
    } catch (const std::bad_alloc&) {
        err << kProgram << ": out of memory\n";
    }
    return kExitTrouble;
}

}  // namespace tarnel::sizediff

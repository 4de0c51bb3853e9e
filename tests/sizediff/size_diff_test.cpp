// tarnel-size-diff, golden: two links made in-process with --record, or
// records written by hand, and everything the tool prints for them, with its
// exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "golden.hpp"
#include "size_diff_tool.hpp"

namespace tarnel::test {
namespace {

using S = SectionKind;

struct ToolRun {
    int status;
    std::string out, err;
};

// Runs tarnel-size-diff in the scratch folder, so that the records' names
// are shown as given.
ToolRun runTool(const ScratchDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "tarnel-size-diff");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path(""));
    std::ostringstream out, err;
    const int status = sizediff::runSizeDiff(args, out, err);
    std::filesystem::current_path(previous);
    return {status, out.str(), err.str()};
}

// One build: its files, then tarnel's runs; the last run writes the record.
struct Build {
    std::vector<InputFile> files;
    std::vector<std::vector<std::string>> runs;
};

struct DiffCase {
    const char* title;
    Build before, after;
    std::vector<std::string> options;
    std::string out;
    std::string err = "";
    int status = 0;
};

void build(const ScratchDir& dir, const Build& b, const std::string& record) {
    for (const InputFile& f : b.files) {
        std::filesystem::create_directories(std::filesystem::path(dir.path(f.name)).parent_path());
        dir.write(f.name, f.bytes);
    }
    for (size_t i = 0; i < b.runs.size(); ++i) {
        std::vector<std::string> args = b.runs[i];
        if (i + 1 == b.runs.size()) args.push_back("--record=" + record);
        const RunResult r = runLinker(dir, args);
        ASSERT_EQ(r.status, 0) << r.out;
    }
}

void check(const DiffCase& c) {
    SCOPED_TRACE(c.title);
    ScratchDir dir;
    build(dir, c.before, "old.json");
    build(dir, c.after, "new.json");
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"old.json", "new.json"});
    const ToolRun r = runTool(dir, args);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, c.status);
}

Bytes module(const char* name, uint32_t code, std::initializer_list<std::pair<uint32_t, const char*>> defs,
             uint32_t data = 0, std::initializer_list<std::pair<uint32_t, const char*>> dataDefs = {}) {
    ModuleBuilder m;
    m.name(name).code(Bytes(code, 0x4E));
    if (data != 0) m.data(Bytes(data, 1));
    for (const auto& [offset, def] : defs) m.xdef(S::code, offset, def);
    for (const auto& [offset, def] : dataDefs) m.xdef(S::data, offset, def);
    return m.end();
}

// a firmware image of three modules, then one grown, one added, one removed
const InputFile kB = {
    "b.o", ModuleBuilder().name("b").code(Bytes(8, 0x4E)).bss(16).xdef(S::code, 0, "b_init").xdef(S::bss, 0, "b_buffer").end()};
const Build kFirmware = {
    {{"a.o", module("a", 16, {{0, "a_main"}}, 4, {{0, "a_table"}})}, kB, {"c.o", module("c", 4, {{0, "c_spare"}})}},
    {{"-r0", "--ram=1000", "--rom-size=1K", "a.o", "b.o", "c.o", "-o", "out.rom"}}};
const Build kFirmwareChanged = {
    {{"a.o", module("a", 24, {{0, "a_main"}}, 4, {{0, "a_table"}})}, kB, {"d.o", module("d", 12, {{0, "d_net"}}, 8, {{0, "d_state"}})}},
    {{"-r0", "--ram=1000", "--rom-size=1K", "a.o", "b.o", "d.o", "-o", "out.rom"}}};

const char* const kFirmwareText =
    "Size changes from old.json to new.json\n"
    "Regions: 2 changed\n"
    "  changed          32          56          +24  ROM, 5.47% of 1024\n"
    "  changed          20          28           +8  RAM\n"
    "Modules: 1 added, 1 removed, 1 changed; total +24\n"
    "  added             -          20          +20  d.o: code +12, data +8\n"
    "  changed          20          28           +8  a.o: code +8\n"
    "  removed           4           -           -4  c.o: code -4\n"
    "Symbols: 2 added, 1 removed, 1 changed; total +24\n"
    "  added             -          12          +12  d_net (code, d.o)\n"
    "  changed          16          24           +8  a_main (code, a.o)\n"
    "  added             -           8           +8  d_state (data, d.o)\n"
    "  removed           4           -           -4  c_spare (code, c.o)\n";

TEST(SizeDiff, Golden) {
    const DiffCase cases[] = {
        {"the same link twice", kFirmware, kFirmware, {}, "Size changes from old.json to new.json: none\n"},
        {"a module grown, one added, one removed", kFirmware, kFirmwareChanged, {}, kFirmwareText},
        {"the same in Markdown",
         kFirmware,
         kFirmwareChanged,
         {"--markdown"},
         "### Size changes from `old.json` to `new.json`\n"
         "\n"
         "**Regions**: 2 changed\n"
         "\n"
         "| | Region | Old | New | Change | Size |\n"
         "|---|---|---:|---:|---:|---|\n"
         "| changed | ROM | 32 | 56 | +24 | 5.47% of 1024 |\n"
         "| changed | RAM | 20 | 28 | +8 | - |\n"
         "\n"
         "**Modules**: 1 added, 1 removed, 1 changed; total +24\n"
         "\n"
         "| | Module | Old | New | Change | By section |\n"
         "|---|---|---:|---:|---:|---|\n"
         "| added | `d.o` | - | 20 | +20 | code +12, data +8 |\n"
         "| changed | `a.o` | 20 | 28 | +8 | code +8 |\n"
         "| removed | `c.o` | 4 | - | -4 | code -4 |\n"
         "\n"
         "**Symbols**: 2 added, 1 removed, 1 changed; total +24\n"
         "\n"
         "| | Symbol | Old | New | Change | Section | Module |\n"
         "|---|---|---:|---:|---:|---|---|\n"
         "| added | `d_net` | - | 12 | +12 | code | `d.o` |\n"
         "| changed | `a_main` | 16 | 24 | +8 | code | `a.o` |\n"
         "| added | `d_state` | - | 8 | +8 | data | `d.o` |\n"
         "| removed | `c_spare` | 4 | - | -4 | code | `c.o` |\n"},
        {"nothing changed, in Markdown", kFirmware, kFirmware, {"--markdown"},
         "### Size changes from `old.json` to `new.json`\n\nNone.\n"},
        {"growth up to --max-growth passes", kFirmware, kFirmwareChanged, {"--max-growth=24"}, kFirmwareText},
        {"growth past --max-growth fails", kFirmware, kFirmwareChanged, {"--max-growth=23"}, kFirmwareText,
         "tarnel-size-diff: ROM grew by 24 bytes, more than the 23 of --max-growth\n", 1},
        {"each region past --max-growth is named", kFirmware, kFirmwareChanged, {"--max-growth=0x7"}, kFirmwareText,
         "tarnel-size-diff: ROM grew by 24 bytes, more than the 7 of --max-growth\n"
         "tarnel-size-diff: RAM grew by 8 bytes, more than the 7 of --max-growth\n",
         1},
        {"--max-growth in K", kFirmware, kFirmwareChanged, {"--max-growth=1K"}, kFirmwareText},
        {"shrinking never fails --max-growth", kFirmwareChanged, kFirmware, {"--max-growth=0", "--limit=1"},
         "Size changes from old.json to new.json\n"
         "Regions: 2 changed\n"
         "  changed          56          32          -24  ROM, 3.13% of 1024\n"
         "  and 1 more, total -8\n"
         "Modules: 1 added, 1 removed, 1 changed; total -24\n"
         "  added             -           4           +4  c.o: code +4\n"
         "  and 2 more, total -28\n"
         "Symbols: 1 added, 2 removed, 1 changed; total -24\n"
         "  added             -           4           +4  c_spare (code, c.o)\n"
         "  and 3 more, total -28\n"},

        {"symbols added, removed, changed, moved and moved between sections",
         {{{"m1.o", module("m1", 16, {{0, "f"}, {8, "g"}})},
           {"m2.o", ModuleBuilder().name("m2").code(Bytes(8, 0)).data({1, 2, 3, 4}).xdef(S::code, 0, "h").xdef(S::data, 0, "tab").end()}},
          {{"m1.o", "m2.o"}}},
         {{{"m1.o", module("m1", 24, {{0, "f"}, {4, "g"}, {16, "h"}})},
           {"m2.o", ModuleBuilder().name("m2").code(Bytes(8, 0)).bss(4).xdef(S::code, 0, "h2").xdef(S::bss, 0, "tab").end()}},
          {{"m1.o", "m2.o"}}},
         {},
         "Size changes from old.json to new.json\n"
         "Sections: 3 changed; total +8\n"
         "  changed          24          32           +8  code\n"
         "  changed           0           4           +4  bss\n"
         "  changed           4           0           -4  data\n"
         "Modules: 2 changed; total +8\n"
         "  changed          16          24           +8  m1.o: code +8\n"
         "  changed          12          12            0  m2.o: data -4, bss +4\n"
         "Symbols: 1 added, 3 changed, 1 moved; total +8\n"
         "  added             -           8           +8  h2 (code, m2.o)\n"
         "  changed           8          12           +4  g (code, m1.o)\n"
         "  changed           8           4           -4  f (code, m1.o)\n"
         "  moved             8           8            0  h (code, m2.o -> m1.o)\n"
         "  changed           4           4            0  tab (data -> bss, m2.o)\n"},

        // init is x.o's and y.o's: each is matched in its own module; dup
        // leaves two modules for two others, which is no move
        {"a name defined in several modules",
         {{{"x.o", module("x", 8, {{0, "init"}, {4, "x_run"}})},
           {"y.o", module("y", 8, {{0, "init"}})},
           {"p.o", module("p", 4, {{0, "dup"}})},
           {"q.o", module("q", 4, {{0, "dup"}})}},
          {{"x.o", "y.o", "p.o", "q.o"}}},
         {{{"x.o", module("x", 12, {{0, "init"}, {8, "x_run"}})},
           {"r.o", module("r", 4, {{0, "dup"}})},
           {"s.o", module("s", 4, {{0, "dup"}})}},
          {{"x.o", "y.o", "r.o", "s.o"}}},
         {},
         "Size changes from old.json to new.json\n"
         "Sections: 1 changed; total +4\n"
         "  changed          24          28           +4  code\n"
         "Modules: 2 added, 2 removed, 1 changed; total +4\n"
         "  added             -           4           +4  r.o: code +4\n"
         "  added             -           4           +4  s.o: code +4\n"
         "  changed           8          12           +4  x.o: code +4\n"
         "  removed           4           -           -4  p.o: code -4\n"
         "  removed           4           -           -4  q.o: code -4\n"
         "Symbols: 2 added, 2 removed, 1 changed; total +4\n"
         "  added             -           4           +4  dup (code, r.o)\n"
         "  added             -           4           +4  dup (code, s.o)\n"
         "  changed           4           8           +4  init (code, x.o)\n"
         "  removed           4           -           -4  dup (code, p.o)\n"
         "  removed           4           -           -4  dup (code, q.o)\n"},

        // __bss_start is made no more; _end is still made, though module 0,
        // whose slot the linker's symbols take, is another module now
        {"the linker's own symbols",
         {{{"s.o", ModuleBuilder().name("s").code(Bytes(8, 0)).bss(16).xdef(S::code, 0, "_start")
                       .xref(LINK_ABS32, "__bss_start", {0}).xref(LINK_ABS32, "_end", {4}).end()}},
          {{"s.o"}}},
         {{{"s.o", ModuleBuilder().name("s").code(Bytes(8, 0)).bss(16).xdef(S::code, 0, "_start")
                       .xref(LINK_ABS32, "_end", {4}).end()},
           {"t.o", module("t", 4, {{0, "t_fn"}})}},
          {{"t.o", "s.o"}}},
         {},
         "Size changes from old.json to new.json\n"
         "Sections: 1 changed; total +4\n"
         "  changed           8          12           +4  code\n"
         "Modules: 1 added; total +4\n"
         "  added             -           4           +4  t.o: code +4\n"
         "Symbols: 1 added, 1 removed; total +4\n"
         "  added             -           4           +4  t_fn (code, t.o)\n"
         "  removed           0           -            0  __bss_start (bss, made by the linker)\n"},

        // a module that defines _end itself, then leaves it to the linker:
        // the linker's is not the module's, moved
        {"a module's own symbol, then the linker's",
         {{{"s.o", ModuleBuilder().name("s").code(Bytes(8, 0)).xdef(S::code, 0, "_start").xref(LINK_ABS32, "_end", {4}).end()},
           {"e.o", ModuleBuilder().name("e").bss(8).xdef(S::bss, 0, "_end").end()}},
          {{"s.o", "e.o"}}},
         {{{"e.o", ModuleBuilder().name("e").bss(8).end()}}, {{"s.o", "e.o"}}},
         {},
         "Size changes from old.json to new.json\n"
         "Symbols: 1 added, 1 removed; total -8\n"
         "  removed           8           -           -8  _end (bss, e.o)\n"
         "  added             -           0            0  _end (bss, made by the linker)\n"},

        // a file named twice is two modules, each matched with its own
        {"a file named twice",
         {{{"a.o", module("a", 16, {{0, "a_main"}})}}, {{"a.o", "a.o"}}},
         {{{"a.o", module("a", 20, {{0, "a_main"}})}}, {{"a.o", "a.o"}}},
         {},
         "Size changes from old.json to new.json\n"
         "Sections: 1 changed; total +8\n"
         "  changed          32          40           +8  code\n"
         "Modules: 2 changed; total +8\n"
         "  changed          16          20           +4  a.o: code +4\n"
         "  changed          16          20           +4  a.o: code +4\n"
         "Symbols: 2 changed; total +8\n"
         "  changed          16          20           +4  a_main (code, a.o)\n"
         "  changed          16          20           +4  a_main (code, a.o)\n"},

        // util is member 0 of the library, then member 1: a member is known
        // by its library and number, so it went and another came, and its
        // definition moved between them
        {"a library member renumbered",
         {{{"main.o", ModuleBuilder().name("main").code(Bytes(8, 0)).xdef(S::code, 0, "main").xref(LINK_ABS32, "util", {0}).end()},
           {"util.o", module("util", 4, {{0, "util"}})},
           {"spare.o", module("spare", 2, {{0, "spare"}})}},
          {{"-g", "util.o", "spare.o", "-o", "lib.lib"}, {"-r0", "main.o", "lib.lib", "-o", "out.rom"}}},
         {{{"util.o", module("util", 8, {{0, "util"}})}, {"extra.o", module("extra", 2, {{0, "extra"}})}},
          {{"-g", "extra.o", "util.o", "spare.o", "-o", "lib.lib"}, {"-r0", "main.o", "lib.lib", "-o", "out.rom"}}},
         {},
         "Size changes from old.json to new.json\n"
         "Regions: 1 changed\n"
         "  changed          12          16           +4  ROM\n"
         "Modules: 1 added, 1 removed; total +4\n"
         "  added             -           8           +8  lib.lib(1): code +8\n"
         "  removed           4           -           -4  lib.lib(0): code -4\n"
         "Symbols: 1 moved; total +4\n"
         "  moved             4           8           +4  util (code, lib.lib(0) -> lib.lib(1))\n"},

        // the same modules built in another folder: the module names match
        // them, the one named twice stays apart
        {"modules built in another folder",
         {{{"old/a.o", module("a", 16, {{0, "a_main"}})}, {"old/b.o", module("b", 4, {{0, "b1"}})}, {"old/c.o", module("b", 4, {{0, "b2"}})}},
          {{"old/a.o", "old/b.o", "old/c.o"}}},
         {{{"new/a.o", module("a", 20, {{0, "a_main"}})}, {"new/b.o", module("b", 4, {{0, "b1"}})}, {"new/c.o", module("b", 4, {{0, "b2"}})}},
          {{"new/a.o", "new/b.o", "new/c.o"}}},
         {},
         "Size changes from old.json to new.json\n"
         "Sections: 1 changed; total +4\n"
         "  changed          24          28           +4  code\n"
         "Modules: 2 added, 2 removed, 1 changed; total +4\n"
         "  changed          16          20           +4  new/a.o (was old/a.o): code +4\n"
         "  added             -           4           +4  new/b.o: code +4\n"
         "  added             -           4           +4  new/c.o: code +4\n"
         "  removed           4           -           -4  old/b.o: code -4\n"
         "  removed           4           -           -4  old/c.o: code -4\n"
         "Symbols: 1 changed, 2 moved; total +4\n"
         "  changed          16          20           +4  a_main (code, old/a.o -> new/a.o)\n"
         "  moved             4           4            0  b1 (code, old/b.o -> new/b.o)\n"
         "  moved             4           4            0  b2 (code, old/c.o -> new/c.o)\n"},

        // each region's size given or not, and changed with nothing else
        {"regions with and without sizes",
         {{{"a.o", module("a", 16, {{0, "a_main"}}, 4, {{0, "a_table"}})}},
          {{"-r0", "--ram=1000", "--rom-size=1K", "a.o", "-o", "out.rom"}}},
         {{}, {{"-r0", "--ram=1000", "--rom-size=2K", "--ram-size=512", "a.o", "-o", "out.rom"}}},
         {},
         "Size changes from old.json to new.json\n"
         "Regions: 2 changed\n"
         "  changed           4           4            0  RAM, 0.78% of 512 (size was not given)\n"
         "  changed          20          20            0  ROM, 0.98% of 2048 (size was 1024)\n"},

        // an executable has sections, no regions: both records are compared
        // by section when either has none
        {"from a ROM image to an executable",
         {{{"a.o", module("a", 16, {{0, "a_main"}}, 4, {{0, "a_table"}})}}, {{"-r0", "a.o", "-o", "out.rom"}}},
         {{}, {{"a.o", "-o", "a.out"}}},
         {},
         "Size changes from old.json to new.json: none\n"},
    };
    for (const DiffCase& c : cases) check(c);
}

TEST(SizeDiff, TheLimit) {
    ModuleBuilder many;
    many.name("n").code(Bytes(88, 0));
    for (uint32_t i = 0; i < 22; ++i) many.xdef(S::code, 4 * i, "s" + std::to_string(100 + i));
    const Build before = {{{"a.o", module("a", 4, {{0, "a"}})}}, {{"a.o"}}};
    const Build after = {{{"n.o", many.end()}}, {{"a.o", "n.o"}}};
    const std::string head =
        "Size changes from old.json to new.json\n"
        "Sections: 1 changed; total +88\n"
        "  changed           4          92          +88  code\n"
        "Modules: 1 added; total +88\n"
        "  added             -          88          +88  n.o: code +88\n"
        "Symbols: 22 added; total +88\n";
    // the rows of s100 to s100 + n - 1
    auto rows = [](int n) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += "  added             -           4           +4  s" + std::to_string(100 + i) + " (code, n.o)\n";
        return text;
    };
    const DiffCase cases[] = {
        {"20 rows by default", before, after, {}, head + rows(20) + "  and 2 more, total +8\n"},
        {"--limit=2", before, after, {"--limit=2"}, head + rows(2) + "  and 20 more, total +80\n"},
        {"--limit=0: every row", before, after, {"--limit=0"}, head + rows(22)},
        {"--limit=22: every row, no line for none left", before, after, {"--limit=22"}, head + rows(22)},
    };
    for (const DiffCase& c : cases) check(c);
}

// A record written by hand, valid, for the cases that change one piece.
const std::string kRecord = R"({
"format": "tarnel link record",
"version": 1,
"status": 0,
"errors": [],
"options": {"output": "a.out", "mode": "executable", "rom_start": null, "ram_start": null, "rom_size": null, "ram_size": null, "bss_in_rom": true, "embedded_label": null},
"processor": "5206",
"sections": [
  {"name": "code", "address": 0, "size": 4, "load_address": null},
  {"name": "data", "address": 0, "size": 0, "load_address": null},
  {"name": "bss", "address": 0, "size": 0, "load_address": null},
  {"name": "base", "address": 0, "size": 0, "load_address": null},
  {"name": "bssb", "address": 0, "size": 0, "load_address": null}
],
"regions": [],
"totals": {"code": 4, "data": 0, "bss": 0, "base": 0, "bssb": 0, "code_size": 4, "file_size": 60},
"modules": [
  {"file": "a.o", "name": "a", "version": null, "date": null, "processor": null, "library": null, "parts": [{"section": "code", "address": 0, "size": 4}]}
],
"library_pulls": [],
"definitions": [
  {"name": "f", "module": 0, "section": "code", "offset": 0, "address": 0, "size": 4, "size_from": "next"}
],
"references": [
  {"name": "f", "module": 0, "offset": 0, "access": "absolute 32-bit", "definition": 0}
]
}
)";

std::string edited(const std::string& from, const std::string& to) {
    std::string text = kRecord;
    const size_t at = text.find(from);
    if (at == std::string::npos) return "the record holds no " + from;
    return text.replace(at, from.size(), to);
}

// Records that are refused: not JSON, not a record, another version, or a
// record with a member missing, unknown, of the wrong type or out of range.
TEST(SizeDiff, RefusedRecords) {
    const struct {
        const char* what;
        std::string text;
        const char* message;  // after "tarnel-size-diff: new.json:"
    } cases[] = {
        {"an empty file", "", "1:1: expected an object, found the end of the text"},
        {"not JSON", "format: tarnel link record\n", "1:1: expected an object, found 'f'"},
        {"cut short", kRecord.substr(0, 300), "9:19: sections: expected a string key, found the end of the text"},
        {"another kind of JSON", "{\"name\": \"tarnel\", \"version\": \"2.32\"}",
         "1:2: not a tarnel link record: it has a member \"name\""},
        {"a JSON array", "[]", "1:1: expected an object, found '['"},
        {"another format", edited("\"tarnel link record\"", "\"tarnel link map\""),
         "2:11: not a tarnel link record: its format is not \"tarnel link record\""},
        {"version 2", edited("\"version\": 1", "\"version\": 2"), "3:12: a link record of version 2; this reads version 1 only"},
        {"a version as text", edited("\"version\": 1", "\"version\": \"1\""), "3:12: a link record whose version is not a number"},
        {"a version past 64 bits", edited("\"version\": 1", "\"version\": 123456789012345678901234567890"),
         "3:12: version: expected an integer from 0 to 18446744073709551615, found 123456789012345678901234..."},
        {"no definitions", edited("\"definitions\": [", "\"definitions_\": ["), "21:1: unknown member \"definitions_\" in the record"},
        {"a member twice", edited("\"status\": 0,", "\"status\": 0, \"status\": 0,"), "4:14: member \"status\" given twice in the record"},
        {"a member missing", edited("\"status\": 0,\n", ""), "1:1: no member \"status\" in the record"},
        {"a size past 32 bits", edited("\"size\": 4, \"size_from\"", "\"size\": 4294967296, \"size_from\""),
         "22:84: definitions[0].size: expected an integer from 0 to 4294967295, found 4294967296"},
        {"a negative size", edited("\"section\": \"code\", \"address\": 0, \"size\": 4}]", "\"section\": \"code\", \"address\": 0, \"size\": -4}]"),
         "18:151: modules[0].parts[0].size: expected an integer from 0 to 4294967295, found -4"},
        {"a module that is not there", edited("\"module\": 0, \"section\"", "\"module\": 1, \"section\""),
         "22:27: definitions[0].module: no module 1 among the record's 1 modules"},
        {"a module past 511", edited("\"module\": 0, \"section\"", "\"module\": 512, \"section\""),
         "22:27: definitions[0].module: expected an integer from 0 to 511, found 512"},
        {"an unknown section", edited("\"section\": \"code\", \"offset\"", "\"section\": \"text\", \"offset\""),
         "22:41: definitions[0].section: unknown section \"text\""},
        {"a region of another name", edited("\"regions\": []", "\"regions\": [{\"name\": \"EEPROM\", \"start\": 0, \"size\": null, \"used\": 0}]"),
         "15:22: regions[0].name: unknown region \"EEPROM\""},
        {"a region's size of 0", edited("\"regions\": []", "\"regions\": [{\"name\": \"ROM\", \"start\": 0, \"size\": 0, \"used\": 0}]"),
         "15:49: regions[0].size: expected an integer from 1 to 4294967296 or null, found 0"},
        {"a section twice", edited("{\"name\": \"data\"", "{\"name\": \"code\""), "10:3: sections[1]: a second section code"},
        {"a file that is a number", edited("{\"file\": \"a.o\"", "{\"file\": 7"), "18:12: modules[0].file: expected a string, found '7'"},
        {"options of the wrong type", edited("\"options\": {\"output\"", "\"options\": [{\"output\""),
         "6:12: options: expected an object, found an array"},
        {"references nested too deep", edited("\"references\": [", "\"references\": [" + std::string(70, '[')),
         "24:78: references: values nested deeper than 64 levels"},
        {"a broken reference", edited("\"definition\": 0}", "\"definition\": 0,}"),
         "25:88: references: expected a string key, found '}'"},
        {"text after the record", kRecord + "{}", "28:1: expected the end of the text, found '{'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        dir.writeText("old.json", kRecord);
        dir.writeText("new.json", c.text);
        const ToolRun r = runTool(dir, {"old.json", "new.json"});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string("tarnel-size-diff: new.json:") + c.message + "\n");
    }
}

// The hand-written record is valid: diffed with itself it shows nothing, and
// with its members in another order and its names spelled with escapes it
// is the same record.
TEST(SizeDiff, HandWrittenRecords) {
    ScratchDir dir;
    dir.writeText("old.json", kRecord);
    dir.writeText("new.json", kRecord);
    EXPECT_EQ(runTool(dir, {"old.json", "new.json"}).out, "Size changes from old.json to new.json: none\n");

    std::string reordered = edited("\"format\": \"tarnel link record\",\n\"version\": 1,\n", "");
    reordered.replace(reordered.rfind('}'), 1, ",\"version\": 1, \"format\": \"tarnel link r\\u0065cord\"}");
    const size_t name = reordered.find("{\"name\": \"f\"");
    reordered.replace(name, 12, "{\"name\": \"\\u0066\"");
    dir.writeText("new.json", reordered);
    const ToolRun r = runTool(dir, {"old.json", "new.json"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Size changes from old.json to new.json: none\n");
}

// Names of any bytes are shown without a control byte, and in Markdown
// without breaking the table or the code span.
TEST(SizeDiff, NamesOfAnyBytes) {
    ScratchDir dir;
    dir.writeText("old.json", kRecord);
    dir.writeText("new.json", edited("{\"name\": \"f\"", "{\"name\": \"a|b`c\\u0001\\u00e9\""));
    const ToolRun text = runTool(dir, {"old.json", "new.json"});
    EXPECT_EQ(text.out,
              "Size changes from old.json to new.json\n"
              "Symbols: 1 added, 1 removed; total 0\n"
              "  added             -           4           +4  a|b`c\\x01\xC3\xA9 (code, a.o)\n"
              "  removed           4           -           -4  f (code, a.o)\n");
    const ToolRun markdown = runTool(dir, {"--markdown", "old.json", "new.json"});
    EXPECT_NE(markdown.out.find("| added | ``a\\|b`c\\x01\xC3\xA9`` | - | 4 | +4 | code | `a.o` |\n"), std::string::npos)
        << markdown.out;
    dir.writeText("new.json", edited("{\"name\": \"f\"", "{\"name\": \"`f\""));
    EXPECT_NE(runTool(dir, {"--markdown", "old.json", "new.json"}).out.find("| added | `` `f `` |"), std::string::npos);
    // a bar is escaped in a table only
    dir.writeText("old|1.json", kRecord);
    EXPECT_TRUE(runTool(dir, {"--markdown", "old|1.json", "new.json"}).out.starts_with("### Size changes from `old|1.json` to `new.json`\n"));
}

TEST(SizeDiff, CommandLine) {
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{}, "tarnel-size-diff: no records named\n"},
        {{"old.json"}, "tarnel-size-diff: two records are compared, 1 named\n"},
        {{"old.json", "new.json", "third.json"}, "tarnel-size-diff: two records are compared, 3 named\n"},
        {{"--colour", "old.json", "new.json"}, "tarnel-size-diff: unknown option '--colour'\n"},
        {{"--limit=", "old.json", "new.json"}, "tarnel-size-diff: invalid row count in '--limit='\n"},
        {{"--limit=-1", "old.json", "new.json"}, "tarnel-size-diff: invalid row count in '--limit=-1'\n"},
        {{"--limit=20x", "old.json", "new.json"}, "tarnel-size-diff: invalid row count in '--limit=20x'\n"},
        {{"--max-growth=", "old.json", "new.json"}, "tarnel-size-diff: invalid byte count in '--max-growth='\n"},
        {{"--max-growth=0x", "old.json", "new.json"}, "tarnel-size-diff: invalid byte count in '--max-growth=0x'\n"},
        {{"--max-growth=12G", "old.json", "new.json"}, "tarnel-size-diff: invalid byte count in '--max-growth=12G'\n"},
        {{"--max-growth=99999999999999999999", "old.json", "new.json"},
         "tarnel-size-diff: invalid byte count in '--max-growth=99999999999999999999'\n"},
        {{"--max-growth=18014398509481984M", "old.json", "new.json"},
         "tarnel-size-diff: invalid byte count in '--max-growth=18014398509481984M'\n"},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        const ToolRun r = runTool(dir, c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err + "Try 'tarnel-size-diff --help'.\n");
    }
    // a file that cannot be read is named with the reason
    dir.writeText("old.json", kRecord);
    ToolRun r = runTool(dir, {"old.json", "missing.json"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarnel-size-diff: cannot open missing.json: No such file or directory\n");
    r = runTool(dir, {".", "old.json"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarnel-size-diff: cannot open .: Is a directory\n");
    // after --, a name that begins with - is a record
    dir.writeText("-new.json", kRecord);
    r = runTool(dir, {"--", "old.json", "-new.json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Size changes from old.json to -new.json: none\n");
}

}  // namespace
}  // namespace tarnel::test

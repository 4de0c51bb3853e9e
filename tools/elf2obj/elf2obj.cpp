#include "elf2obj.hpp"

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>

#include "convert.hpp"
#include "elf_file.hpp"
#include "input_file.hpp"
#include "output/outfile.hpp"
#include "tool_main.hpp"

namespace tarnel::elf2obj {
namespace {

constexpr const char* kProgram = "tarnel-elf2obj";
constexpr const char* kUsage =
    "usage: tarnel-elf2obj IN.o -o OUT.o [--cpu MODEL] [--strip-debug]\n"
    "       tarnel-elf2obj -d DIR A.o B.o ... [--cpu MODEL] [--strip-debug]\n";
constexpr const char* kHelp =
    "Converts ColdFire ELF relocatable objects (m68k, 32-bit, big-endian) into\n"
    "tarnel object modules.\n"
    "\n"
    "Options:\n"
    "  -o OUT.o      write the module converted from IN.o to OUT.o\n"
    "  -d DIR        convert one program's objects together and write DIR/A.o ...;\n"
    "                references to sym+offset across them become aliases\n"
    "  --cpu MODEL   name the processor model in the module, four hex digits\n"
    "                such as 5208 (without it the module names none)\n"
    "  --strip-debug leave out the symbols and debugging information that an\n"
    "                object compiled with -g carries (kept by default)\n"
    "  -h, --help    show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Exit status: 0 when every output was written, 1 otherwise; an input that\n"
    "cannot be converted is refused with the reason and its remedy. Outputs are\n"
    "written whole or not at all, and with -d all of them or none.\n";

struct Arguments {
    bool answered = false;  // --help or --version: nothing to convert
    std::vector<std::string> inputs;
    std::string output, dir;
    std::optional<uint32_t> processorId;
    bool stripDebug = false;
};

// Reads the arguments; on a mistake prints it and the usage text.
std::optional<Arguments> parseArguments(const std::vector<std::string>& args, std::ostream& out,
                                       std::ostream& err) {
    Arguments a;
    auto bad = [&](const std::string& why) {
        err << kProgram << ": " << why << "\n" << kUsage;
        return std::nullopt;
    };
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool hasValue = i + 1 < args.size();
        if (arg == "-h" || arg == "--help" || arg == "--version") {
            // help and version are answered whatever else the line holds
            if (arg == "--version")
                tools::printVersion(out, kProgram);
            else
                out << kUsage << "\n" << kHelp;
            a.answered = true;
            return a;
        } else if (arg == "-o") {
            if (!hasValue) return bad("-o needs a file name");
            a.output = args[++i];
        } else if (arg == "-d") {
            if (!hasValue) return bad("-d needs a folder name");
            a.dir = args[++i];
        } else if (arg == "--cpu") {
            if (!hasValue) return bad("--cpu needs a model number");
            a.processorId = processorIdFor(args[++i]);
            if (!a.processorId) return bad("--cpu takes a model number of four hex digits, such as 5208");
        } else if (arg == "--strip-debug") {
            a.stripDebug = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return bad("unknown option " + arg);
        } else {
            a.inputs.push_back(arg);
        }
    }
    if (!a.dir.empty()) {
        if (!a.output.empty()) return bad("-o and -d do not go together; -d writes DIR/IN.o for each IN.o");
        if (a.inputs.empty()) return bad("-d DIR needs the input files");
        return a;
    }
    if (a.inputs.size() > 1) return bad("more than one input file; convert several with -d DIR");
    if (a.inputs.empty() || a.output.empty()) return bad("an input file and -o OUT are needed");
    return a;
}

// One input read and parsed; `file` points into `input`'s bytes.
struct LoadedObject {
    tools::InputFile input;
    elf::File file;
};

bool load(const std::string& path, LoadedObject& object, std::ostream& err) {
    std::string prefix = std::string(kProgram) + ": " + path + ": ";
    std::string reason;
    if (!object.input.open(path, reason)) {
        err << prefix << "cannot be opened\n";
        return false;
    }
    std::string error;
    if (!elf::readFile(object.input.bytes(), object.file, error)) {
        err << prefix << error << "\n";
        return false;
    }
    return true;
}

ConvertOptions optionsFor(const std::string& input, const Arguments& a) {
    ConvertOptions options;
    options.fallbackName = std::filesystem::path(input).filename().string();
    options.processorId = a.processorId;
    options.keepDebug = !a.stripDebug;
    return options;
}

// Prints the refusals of one input; returns whether there were any.
bool reportRefusals(const std::string& input, const Conversion& result, std::ostream& err) {
    if (result.refusals.empty()) return false;
    std::string prefix = std::string(kProgram) + ": " + input + ": ";
    for (const std::string& r : result.refusals) err << prefix << r << "\n";
    err << prefix << "not converted: the object format cannot express the above\n";
    return true;
}

// Where a conversion goes: OUT for the single-file form, DIR/NAME for each
// input of the whole-program form, NAME being the input's file name.
std::vector<std::string> outputPaths(const Arguments& a) {
    if (a.dir.empty()) return {a.output};
    std::vector<std::string> paths;
    for (const std::string& input : a.inputs)
        paths.push_back((std::filesystem::path(a.dir) / std::filesystem::path(input).filename()).string());
    return paths;
}

// An output may not replace an input: checked before anything is read or written.
bool outputsSpareTheInputs(const Arguments& a, const std::vector<std::string>& outputs, std::ostream& err) {
    for (const std::string& output : outputs)
        for (const std::string& input : a.inputs)
            if (tools::wouldReplace(output, input)) {
                err << kProgram << ": " << output << " is the input " << input << " itself; name another "
                    << (a.dir.empty() ? "output file" : "folder") << "\n";
                return false;
            }
    return true;
}

// Writes every module or none: each goes to a temporary file beside its
// name, and the temporary files are renamed over the names only once all of
// them were written and closed. On failure the temporary files are removed
// and every name keeps what it held.
bool writeAll(const std::vector<std::string>& paths, const std::vector<const std::vector<uint8_t>*>& modules,
              std::ostream& err) {
    std::vector<std::unique_ptr<OutputFile>> files;
    auto failed = [&](const std::string& path, const char* what, const OutputFile& file) {
        err << kProgram << ": " << path << ": " << what << ": " << std::strerror(file.error()) << "\n";
        return false;
    };
    for (size_t i = 0; i < paths.size(); ++i) {
        OutputFile& file = *files.emplace_back(std::make_unique<OutputFile>());
        if (!file.create(paths[i])) return failed(paths[i], "cannot be created", file);
        file.write(modules[i]->data(), modules[i]->size());
        if (!file.finish()) return failed(paths[i], "cannot be written", file);
    }
    for (size_t i = 0; i < paths.size(); ++i)
        if (!files[i]->publish()) return failed(paths[i], "cannot be written", *files[i]);
    return true;
}

int convertFile(const Arguments& a, std::ostream& err) {
    const std::string& input = a.inputs.front();
    if (!outputsSpareTheInputs(a, {a.output}, err)) return 1;
    LoadedObject object;
    if (!load(input, object, err)) return 1;
    Conversion result = convertObject(object.file, optionsFor(input, a));
    if (reportRefusals(input, result, err)) return 1;
    return writeAll({a.output}, {&result.object}, err) ? 0 : 1;
}

// The folders missing on the way to `dir`, the innermost first.
std::vector<std::filesystem::path> missingFolders(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> missing;
    std::error_code ec;
    for (std::filesystem::path p = dir; !p.empty() && !std::filesystem::exists(p, ec); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    return missing;
}

// Converts the inputs together and writes DIR/NAME for each, NAME being the
// input's file name; nothing is written when any input is refused or any
// module cannot be written, and a folder made for the run is removed again.
int convertProgramFiles(const Arguments& a, std::ostream& err) {
    std::map<std::string, const std::string*> byName;
    for (const std::string& input : a.inputs) {
        std::string name = std::filesystem::path(input).filename().string();
        auto [it, added] = byName.try_emplace(name, &input);
        if (!added) {
            err << kProgram << ": " << *it->second << " and " << input << " would both be written to "
                << (std::filesystem::path(a.dir) / name).string() << "; rename one of them\n";
            return 1;
        }
    }
    const std::vector<std::string> paths = outputPaths(a);
    if (!outputsSpareTheInputs(a, paths, err)) return 1;
    std::vector<std::unique_ptr<LoadedObject>> objects;
    std::vector<elf::File> files;
    std::vector<ConvertOptions> options;
    for (const std::string& input : a.inputs) {
        objects.push_back(std::make_unique<LoadedObject>());
        if (!load(input, *objects.back(), err)) return 1;
        files.push_back(objects.back()->file);
        options.push_back(optionsFor(input, a));
    }
    std::vector<Conversion> results = convertProgram(files, options);
    bool refused = false;
    for (size_t i = 0; i < results.size(); ++i) refused |= reportRefusals(a.inputs[i], results[i], err);
    if (refused) return 1;

    const std::vector<std::filesystem::path> made = missingFolders(a.dir);
    std::error_code ec;
    std::filesystem::create_directories(a.dir, ec);
    std::vector<const std::vector<uint8_t>*> modules;
    for (const Conversion& c : results) modules.push_back(&c.object);
    if (!ec && writeAll(paths, modules, err)) return 0;
    if (ec) err << kProgram << ": " << a.dir << ": folder cannot be created: " << ec.message() << "\n";
    for (const std::filesystem::path& folder : made) std::filesystem::remove(folder, ec);
    return 1;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    auto a = parseArguments(args, out, err);
    if (!a) return 1;
    if (a->answered) return 0;
    return a->dir.empty() ? convertFile(*a, err) : convertProgramFiles(*a, err);
}

}  // namespace

// No exception leaves the converter: running out of memory and any other
// failure are reported with exit status 1.
int runElf2obj(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        return run(args, out, err);
    } catch (const std::bad_alloc&) {
        err << kProgram << ": out of memory\n";
    } catch (const std::exception& e) {
        err << kProgram << ": " << e.what() << "\n";
    } catch (...) {
        err << kProgram << ": unexpected failure\n";
    }
    return 1;
}

}  // namespace tarnel::elf2obj

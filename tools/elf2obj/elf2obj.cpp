#include "elf2obj.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <optional>
#include <stdexcept>

#include "convert.hpp"
#include "elf_file.hpp"
#include "input_file.hpp"

namespace tarnel::elf2obj {
namespace {

constexpr const char* kProgram = "tarnel-elf2obj";
constexpr const char* kUsage = "usage: tarnel-elf2obj IN.o -o OUT.o [--cpu MODEL]\n";

struct Arguments {
    std::string input, output;
    std::optional<uint32_t> processorId;
};

// Reads the arguments; on a mistake prints it and the usage text.
std::optional<Arguments> parseArguments(const std::vector<std::string>& args, std::ostream& err) {
    Arguments a;
    auto bad = [&](const std::string& why) {
        err << kProgram << ": " << why << "\n" << kUsage;
        return std::nullopt;
    };
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool hasValue = i + 1 < args.size();
        if (arg == "-o") {
            if (!hasValue) return bad("-o needs a file name");
            a.output = args[++i];
        } else if (arg == "--cpu") {
            if (!hasValue) return bad("--cpu needs a model number");
            a.processorId = processorIdFor(args[++i]);
            if (!a.processorId) return bad("--cpu takes a model number of four hex digits, such as 5208");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return bad("unknown option " + arg);
        } else if (a.input.empty()) {
            a.input = arg;
        } else {
            return bad("more than one input file");
        }
    }
    if (a.input.empty() || a.output.empty()) return bad("an input file and -o OUT are needed");
    return a;
}

int convertFile(const std::vector<std::string>& args, std::ostream& err) {
    auto a = parseArguments(args, err);
    if (!a) return 1;
    std::string prefix = std::string(kProgram) + ": " + a->input + ": ";

    tools::InputFile input;
    std::string reason;
    if (!input.open(a->input, reason)) {
        err << prefix << "cannot be opened\n";
        return 1;
    }

    elf::File file;
    std::string error;
    if (!elf::readFile(input.bytes(), file, error)) {
        err << prefix << error << "\n";
        return 1;
    }
    ConvertOptions options;
    options.fallbackName = std::filesystem::path(a->input).filename().string();
    options.processorId = a->processorId;
    Conversion result = convertObject(file, options);
    if (!result.refusals.empty()) {
        for (const std::string& r : result.refusals) err << prefix << r << "\n";
        err << prefix << "not converted: the object format cannot express the above\n";
        return 1;
    }

    std::ofstream out(a->output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(result.object.data()), std::streamsize(result.object.size()));
    out.close();
    if (!out) {
        err << kProgram << ": " << a->output << ": cannot be written\n";
        std::error_code ec;
        std::filesystem::remove(a->output, ec);
        return 1;
    }
    return 0;
}

}  // namespace

// No exception leaves the converter: running out of memory and any other
// failure are reported with exit status 1.
int runElf2obj(const std::vector<std::string>& args, std::ostream& err) {
    try {
        return convertFile(args, err);
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

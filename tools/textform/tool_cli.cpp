// The command lines of tarnel-dump and tarnel-mkobj. The text goes to
// standard output; complaints about files and options go to standard error,
// so that a dump can be piped or saved and built back unchanged.
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>

#include "input_file.hpp"
#include "output/outfile.hpp"
#include "textform/textform.hpp"
#include "tool_main.hpp"

namespace tarnel::textform {

namespace {

constexpr int kExitMalformed = 1;
constexpr int kExitTrouble = 2;  // a file cannot be opened, read or written, or a wrong command line

constexpr const char* kDumpHelp =
    "Usage: tarnel-dump [options] FILE...\n"
    "Shows the chunks of object modules, executables, embedded objects and libraries\n"
    "in the text form that tarnel-mkobj builds back into the same file.\n"
    "\n"
    "Options:\n"
    "      --bytes=full  show section bytes in full, as hex lines (the default)\n"
    "  -s, --bytes=size  show only how many section bytes there are; such a text\n"
    "                    cannot be built back with tarnel-mkobj\n"
    "  -h, --help        show this help and exit\n"
    "      --version     show the version and exit\n"
    "\n"
    "Exit status: 0 when every file is well formed, 1 when any is malformed (each\n"
    "fault is marked \"# malformed:\" where it is), 2 when a file cannot be opened\n"
    "or read, standard output cannot be written, or the command line is wrong.\n";

constexpr const char* kMkobjHelp =
    "Usage: tarnel-mkobj TEXT -o FILE\n"
    "Builds the chunk file that TEXT describes, in the text form that tarnel-dump\n"
    "prints. The text \"-\" is standard input. For every file F, tarnel-mkobj of\n"
    "tarnel-dump F gives back the bytes of F exactly.\n"
    "\n"
    "Options:\n"
    "  -o FILE           write the file built to FILE (required)\n"
    "  -h, --help        show this help and exit\n"
    "      --version     show the version and exit\n"
    "\n"
    "Exit status: 0 when FILE was written, 1 when TEXT has errors (each named by\n"
    "its line; FILE is then not written), 2 when TEXT cannot be read, FILE or\n"
    "standard output cannot be written, FILE is TEXT itself, or the command line\n"
    "is wrong. A FILE that is not written keeps what it held.\n";

int usageError(std::ostream& err, const char* program, const std::string& message) {
    err << program << ": " << message << "\nTry '" << program << " --help'.\n";
    return kExitTrouble;
}

// Runs a tool so that no exception leaves it: running out of memory and any
// other failure are reported as the tool's error, with exit status 1.
template <typename Run>
int guarded(const char* program, std::ostream& err, Run&& run) {
    try {
        return run();
    } catch (const std::bad_alloc&) {
        err << program << ": out of memory\n";
    } catch (const std::exception& e) {
        err << program << ": " << e.what() << "\n";
    } catch (...) {
        err << program << ": unexpected failure\n";
    }
    return kExitMalformed;
}

int dumpTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const char* program = "tarnel-dump";
    DumpOptions options;
    std::vector<std::string> files;
    bool optionsEnd = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnd || a.empty() || a[0] != '-' || a == "-") {
            files.push_back(a);
        } else if (a == "--") {
            optionsEnd = true;
        } else if (a == "-h" || a == "--help") {
            out << kDumpHelp;
            return 0;
        } else if (a == "--version") {
            tools::printVersion(out, "tarnel-dump");
            return 0;
        } else if (a == "--bytes=full") {
            options.sectionBytesInFull = true;
        } else if (a == "--bytes=size" || a == "-s") {
            options.sectionBytesInFull = false;
        } else {
            return usageError(err, program, "unknown option '" + a + "'");
        }
    }
    if (files.empty()) return usageError(err, program, "no file named");

    int status = 0;
    bool first = true;
    for (const std::string& path : files) {
        tools::InputFile input;
        std::string reason;
        if (!input.open(path, reason)) {
            err << program << ": cannot open " << path << ": " << reason << "\n";
            status = kExitTrouble;
            continue;
        }
        if (!first) out << "\n";
        first = false;
        if (!dumpChunkFile(input.bytes(), path, options, out) && status == 0) status = kExitMalformed;
    }
    return status;
}

int mkobjTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    const char* program = "tarnel-mkobj";
    std::string textPath, outputPath;
    bool haveText = false, haveOutput = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            out << kMkobjHelp;
            return 0;
        } else if (a == "--version") {
            tools::printVersion(out, "tarnel-mkobj");
            return 0;
        } else if (a == "-o" || (a.starts_with("-o") && a.size() > 2)) {
            if (haveOutput) return usageError(err, program, "-o given twice");
            if (a == "-o" && i + 1 == args.size()) return usageError(err, program, "-o needs a file name");
            outputPath = a == "-o" ? args[++i] : a.substr(2);
            haveOutput = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError(err, program, "unknown option '" + a + "'");
        } else {
            if (haveText) return usageError(err, program, "more than one text named");
            textPath = a;
            haveText = true;
        }
    }
    if (!haveText) return usageError(err, program, "no text named");
    if (!haveOutput) return usageError(err, program, "no output file named (-o FILE)");

    if (textPath != "-" && tools::wouldReplace(outputPath, textPath)) {
        err << program << ": " << outputPath << " is the text " << textPath
            << " itself; name another output file\n";
        return kExitTrouble;
    }

    std::string stdinText;
    tools::InputFile input;
    std::string_view text;
    if (textPath == "-") {
        stdinText.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        text = stdinText;
    } else {
        std::string reason;
        if (!input.open(textPath, reason)) {
            err << program << ": cannot open " << textPath << ": " << reason << "\n";
            return kExitTrouble;
        }
        text = {reinterpret_cast<const char*>(input.bytes().data()), input.bytes().size()};
    }

    std::vector<uint8_t> file;
    std::vector<TextError> errors;
    if (!buildFromText(text, file, errors)) {
        const std::string shownPath = textPath == "-" ? "<stdin>" : textPath;
        // the errors come in line order: one pass over the text finds each line
        uint32_t lineNumber = 1;
        size_t start = 0;
        for (const TextError& e : errors) {
            err << shownPath << ":" << e.line << ": " << e.message << "\n";
            // the line itself, so the reader sees what was meant
            for (; lineNumber < e.line && start != std::string_view::npos; ++lineNumber) {
                start = text.find('\n', start);
                if (start != std::string_view::npos) ++start;
            }
            if (start != std::string_view::npos && start <= text.size()) {
                size_t stop = text.find('\n', start);
                err << "    " << text.substr(start, stop == std::string_view::npos ? std::string_view::npos : stop - start)
                    << "\n";
            }
        }
        return kExitMalformed;
    }

    // the file goes to a temporary file renamed over the name once written
    // whole, so a failed or killed run leaves what the name held
    OutputFile output;
    if (!output.create(outputPath)) {
        err << program << ": cannot create " << outputPath << ": " << std::strerror(output.error()) << "\n";
        return kExitTrouble;
    }
    output.write(file.data(), file.size());
    if (!output.close()) {
        err << program << ": cannot write " << outputPath << ": " << std::strerror(output.error()) << "\n";
        return kExitTrouble;
    }
    return 0;
}

}  // namespace

int runDumpTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return guarded("tarnel-dump", err, [&] { return dumpTool(args, out, err); });
}

int runMkobjTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    return guarded("tarnel-mkobj", err, [&] { return mkobjTool(args, in, out, err); });
}

}  // namespace tarnel::textform

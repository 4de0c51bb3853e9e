#include "driver/tarnel.hpp"

#include <exception>
#include <new>

#include "driver/cmdline.hpp"
#include "driver/diag.hpp"
#include "driver/link_driver.hpp"

namespace tarnel {

int runTarnel(const std::vector<std::string>& args, std::ostream& out, const LinkHooks& hooks) {
    LinkState state(out);
    try {
        linkerStartup(state);
        printBanner(state);
        if (args.size() < 2) {
            printUsage(state, args.empty() ? std::string() : args[0]);
            linkerTeardown(state);
            return 0;
        }
        // every object file is loaded while its argument is handled
        handleArguments(state, args);
        if (hooks.afterArguments && !hooks.afterArguments(state)) {
            linkerTeardown(state);
            return 1;
        }
        runLink(state, hooks.writeOutput, hooks.beforeOutput);
        linkerTeardown(state);
    } catch (const std::bad_alloc&) {
        reportError(state, "Out of memory\n");
        return 1;
    } catch (const std::exception& e) {
        // no failure may end the process: it is reported like any other
        reportError(state, "Internal error: %s\n", e.what());
        return 1;
    }
    return state.errorStatus != 0 ? 1 : 0;
}

}  // namespace tarnel

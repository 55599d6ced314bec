// qorwctl: the QOR / QORW Utility for scripts and batch work.
#include <cstdio>
#include <string>
#include <vector>

#include "app/utility_dlg.h"
#include "cli/cli_app.h"
#include "cli/cli_options.h"
#include "model/random_seed.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    CliOptions options;
    std::string error;
    if (!ParseCliOptions(args, options, error)) return Usage(error);
    if (options.bashCompletion) {
        std::fputs(BashCompletionScript().c_str(), stdout);
        return kExitOk;
    }
    if (options.help) {
        std::fputs(CliHelpText(options.command).c_str(), stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("qorwctl (%s)\n", CUtilityDlg::kAboutVersion);
        return kExitOk;
    }
    SeedRandomFromTicks();
    return RunCli(options);
}

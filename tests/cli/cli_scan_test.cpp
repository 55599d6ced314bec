// qorwctl scan as a script runs it, against simulated modules on pseudo-terminals.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <map>
#include <spawn.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/utility_dlg.h"
#include "files/temp_dir.h"
#include "fleet/fleet_ui_host.h"
#include "qorsim/sim_module.h"
#include "support/qorwctl_process.h"

extern char** environ;

namespace {

struct CtlRun {
    int status = -1;
    std::string out;
};

// qorwctl with args in an empty folder, with no QORW_COM<n> but those given.
CtlRun Ctl(const std::vector<std::string>& args,
           const std::vector<std::string>& comVariables = {}) {
    TempDir dir;
    std::vector<std::string> env = comVariables;
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind("QORW_COM", 0) != 0) env.push_back(*e);
    }
    std::vector<std::string> argText = {QOR_BINARY_DIR "/qorwctl"};
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& a : argText)
        argv.push_back(a.data());
    for (auto& e : env)
        envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    std::string out = dir.File("out");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, dir.Path().c_str());
    pid_t pid;
    CtlRun run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadFileBytes(out);
    return run;
}

struct Sim {
    explicit Sim(SimOptions options) : sim(options) { EXPECT_TRUE(sim.Start()); }
    SimModule sim;
    const std::string& Path() const { return sim.SlavePath(); }
};

SimOptions AtRate(uint32_t rate) {
    SimOptions o;
    o.rate = rate;
    return o;
}

TEST(QorwctlScan, EveryPresentPortAsJsonLines) {
    Sim module(AtRate(19200));
    CtlRun run =
        Ctl({"scan", "--json"}, {"QORW_COM4=" + module.Path(), "QORW_COM5=/nonexistent/qorw-tty"});
    EXPECT_EQ(run.status, 0) << run.out;
    std::istringstream lines(run.out);
    std::string line;
    int ours = 0;
    while (std::getline(lines, line)) {
        nlohmann::json j = nlohmann::json::parse(line);  // every line one object
        if (j["device"] != module.Path()) continue;
        ++ours;
        EXPECT_EQ(j["adapter"], "QORW_COM4");
        EXPECT_EQ(j["result"], "found");
        EXPECT_EQ(j["rate"], 19200);
        EXPECT_EQ(j["ratesTried"], nlohmann::json({38400, 57600, 19200}));
        EXPECT_EQ(j["firmware"], "03.12");
        EXPECT_EQ(j["series"], "B/C");
        EXPECT_EQ(j["web"], true);
        EXPECT_EQ(j["hardwareAddress"], "00:00:BC:1A:2B:3C");
    }
    EXPECT_EQ(ours, 1);
    EXPECT_EQ(run.out.find("nonexistent"), std::string::npos);  // a name without a device
}

TEST(QorwctlScan, TableAndExitStatusByWhatWasFound) {
    SimOptions silent;
    silent.silent = true;
    Sim module(AtRate(57600)), empty(silent);

    CtlRun found = Ctl(
        {"scan", "--baud", "57600", "--port", module.Path(), "--port", "/nonexistent/qorw-tty"});
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(found.out.rfind("DEVICE", 0), 0u) << found.out;
    EXPECT_TRUE(std::regex_search(
        found.out, std::regex(module.Path() +
                              R"( +- +57600 +03\.12 +B/C +yes +00:00:BC:1A:2B:3C +QORW RS-232)")))
        << found.out;
    EXPECT_NE(found.out.find("cannot open: /nonexistent/qorw-tty: No such file or directory"),
              std::string::npos);

    CtlRun none = Ctl({"scan", "--port", empty.Path()});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.out.find("no module (tried 38400 57600 19200 9600 4800 2400 1200)"),
              std::string::npos)
        << none.out;

    EXPECT_EQ(Ctl({"scan", "--port", "/nonexistent/qorw-tty"}).status, 3);
    EXPECT_EQ(Ctl({"upload", "x.txt", "--json"}).status, 2);
}

TEST(QorwctlScan, OnePortNamedTwiceIsAUsageErrorForScanAndProvision) {
    Sim module(AtRate(57600));
    TempDir dir;
    const std::string link = dir.File("module-link");
    ASSERT_EQ(::symlink(module.Path().c_str(), link.c_str()), 0);
    {
        FleetUiHost ui;
        CUtilityDlg defaults(ui);
        defaults.Start();
        ASSERT_TRUE(defaults.SaveTextFile(dir.File("site.txt")));
    }
    dir.Write("units.csv", "IPAddress\n10.1.2.3\n");
    const std::string provision[] = {"provision", "--template", "site.txt", "--units", "units.csv"};
    struct Case {
        std::vector<std::string> ports;
        std::string first, second;
    } cases[] = {
        {{module.Path(), module.Path()}, module.Path(), module.Path()},
        {{module.Path(), "/dev/null", link}, module.Path(), link},
        {{"COM7", link}, "COM7", link},
    };
    const std::map<std::string, std::string> com7 = {{"QORW_COM7", module.Path()}};
    for (const Case& c : cases) {
        for (bool scan : {true, false}) {
            std::vector<std::string> args;
            if (scan) {
                args = {"scan"};
            } else {
                args.assign(std::begin(provision), std::end(provision));
            }
            for (const std::string& p : c.ports) {
                args.push_back("--port");
                args.push_back(p);
            }
            QorwctlProcess run(dir, args, com7);
            // Refused at once: nothing is scanned or provisioned.
            EXPECT_EQ(run.Wait(std::chrono::seconds(5)), 2) << args[0] << " " << c.ports.back();
            EXPECT_EQ(run.Err().substr(0, run.Err().find('\n')),
                      "qorwctl: \"" + c.first + "\" and \"" + c.second + "\" name the same port");
        }
    }
    EXPECT_TRUE(module.sim.Requests().empty());
}

}  // namespace

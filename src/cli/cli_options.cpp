#include "cli/cli_options.h"

#include "cli/cli_provision.h"

#include <cctype>
#include <map>


namespace {

struct CommandShape {
    size_t args;
    const char* usage;
};

const std::map<std::string, CommandShape>& Commands() {
    static const std::map<std::string, CommandShape> commands = {
        {"defaults", {1, "defaults OUT"}},
        {"convert", {2, "convert IN OUT"}},
        {"check", {1, "check IN"}},
        {"upload", {1, "upload OUT"}},
        {"download", {1, "download IN [--rom] [--all]"}},
        {"verify", {1, "verify IN"}},
        {"diff", {2, "diff A B"}},
        {"reset", {1, "reset power|oob|oob-ip"}},
        {"info", {0, "info"}},
        {"ports", {0, "ports"}},
        {"scan", {0, "scan [--port P]... [--json]"}},
    };
    return commands;
}

std::optional<int> BaudIndexOf(const std::string& text) {
    static const char* const kRates[] = {"57600", "38400", "19200", "9600",
                                         "4800",  "2400",  "1200"};
    for (int i = 0; i < 7; ++i) {
        if (text == kRates[i]) return i;
    }
    return std::nullopt;
}

}  // namespace

// "COM" and digits, in any case: meant as a COM number, right or wrong.
bool LooksLikeComNumber(const std::string& text) {
    if (text.size() < 4) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (i < 3 ? std::toupper(c) != "COM"[i] : !std::isdigit(c)) return false;
    }
    return true;
}

std::optional<int> ComNumberOf(const std::string& text) {
    if (text.size() < 4 || text.size() > 5) return std::nullopt;
    for (int i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i]) return std::nullopt;
    }
    int n = 0;
    for (size_t i = 3; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
        n = n * 10 + (text[i] - '0');
    }
    if (text[3] == '0' || n < 1 || n > 32) return std::nullopt;
    return n;
}

bool ParseCliOptions(const std::vector<std::string>& argv, CliOptions& options,
                     std::string& error) {
    // provision and ledger read their own options.
    if (auto fleet = FleetCommandOf(argv)) {
        options.command = *fleet;
        options.args = argv;
        return true;
    }
    std::vector<std::string> positional;
    bool optionsEnd = false;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (size_t eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        auto takeValue = [&]() -> bool {
            if (value) return true;
            if (i + 1 >= argv.size()) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto noValue = [&]() -> bool {
            if (!value) return true;
            error = name + " takes no value";
            return false;
        };
        if (name == "--port") {
            if (!takeValue()) return false;
            if (value->empty() || (LooksLikeComNumber(*value) && !ComNumberOf(*value))) {
                error = "--port wants COM1 to COM32, a device path or a by-id name, not \"" +
                        *value + "\"";
                return false;
            }
            options.port = *value;
            options.ports.push_back(*value);
        } else if (name == "--baud") {
            if (!takeValue()) return false;
            options.baudIndex = BaudIndexOf(*value);
            if (!options.baudIndex) {
                error = "--baud wants 57600, 38400, 19200, 9600, 4800, 2400 or 1200, not \"" +
                        *value + "\"";
                return false;
            }
        } else if (name == "--quiet" || name == "-q") {
            if (!noValue()) return false;
            options.quiet = true;
        } else if (name == "--trace") {
            if (!noValue()) return false;
            options.trace = true;
        } else if (name == "--rom") {
            if (!noValue()) return false;
            options.rom = true;
        } else if (name == "--all") {
            if (!noValue()) return false;
            options.all = true;
        } else if (name == "--json") {
            if (!noValue()) return false;
            options.json = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    if (options.help || options.version) return true;
    if (positional.empty()) {
        error = "no command given";
        return false;
    }
    options.command = positional.front();
    options.args.assign(positional.begin() + 1, positional.end());
    auto it = Commands().find(options.command);
    if (it == Commands().end()) {
        error = "unknown command \"" + options.command + "\"";
        return false;
    }
    if (options.args.size() != it->second.args) {
        error = std::string("usage: qorwctl [options] ") + it->second.usage;
        return false;
    }
    if ((options.rom || options.all) && options.command != "download") {
        error = "--rom and --all belong to download";
        return false;
    }
    if (options.ports.size() > 1 && options.command != "scan") {
        error = "a second --port belongs to scan";
        return false;
    }
    if (options.json && options.command != "scan" && options.command != "info" &&
        options.command != "verify" && options.command != "diff") {
        error = "--json belongs to scan, info, verify, diff, provision and ledger";
        return false;
    }
    if (options.command == "reset") {
        const std::string& kind = options.args[0];
        if (kind != "power" && kind != "oob" && kind != "oob-ip") {
            error = "reset wants power, oob or oob-ip, not \"" + kind + "\"";
            return false;
        }
    }
    return true;
}

const char* CliHelpText() {
    return R"(usage: qorwctl [--port COMn|DEVICE] [--baud RATE] [--quiet] [--trace] COMMAND ARGS

The QOR / QORW Utility without a window: the same pages, checks, messages and files.

Commands:
  defaults OUT            write the default configuration to OUT (.dcf or .txt, by extension)
  convert IN OUT          load IN as "File Load" / "Text..." do, then save OUT
  check IN                load IN and report the first error; exit 0 when it loads
  upload OUT              full upload from the module, then save OUT
  download IN [--rom] [--all]
                          load IN, then write it into the module's RAM; with --rom also
                          store and reset, wait for the module and upload it again;
                          --all writes every parameter, else only those not known to be
                          equal in the module ("Modified")
  verify IN [--json]      full upload, then compare with IN; print every parameter that
                          differs; exit 0 when equal
  diff A B [--json]       compare two configuration files (.dcf or .txt) the same way
  reset power|oob|oob-ip  power cycle, out-of-box, or out-of-box keeping the IP address;
                          then wait for the module and upload it
  info [--json]           identification text, hardware address, firmware revision and
                          whether the web parameters are supported
  ports                   every COM number with a device behind it, one a line, tab-separated:
                          COM number, device, adapter, stable name, and how the number
                          came to it (automatic, pinned, or QORW_COMn)
  scan [--port P]... [--json]
                          find the module: every rate (--baud or the saved rate first) on
                          the named ports (--port again for each) or on every port present,
                          all ports at once; a table, or with --json one JSON object per
                          port, a line each; exit 0 when a module was found, 1 when none,
                          3 when no port could be opened
  provision --template FILE --units FILE.csv [--port P]... [--ledger FILE] [--ram]
            [--watch] [--wait SECONDS] [--dry-run] [--force] [--correct] [--json]
                          one configuration per row of the units file into the modules on
                          all ports at once, recorded in a ledger (qorwctl provision --help)
  ledger FILE [--csv|--json]
                          the provisioning ledger's report

Options:
  --port COMn|DEVICE      COM1..COM32 as the window numbers them (see "ports"), a device
                          path, or a by-id name (usb-FTDI_..., as under
                          /dev/serial/by-id); default: the port in QORWUTIL.CFG in the
                          current directory, else COM1
  --baud RATE             57600, 38400, 19200, 9600, 4800, 2400 or 1200; default: the rate in
                          QORWUTIL.CFG, else 38400. Neither option rewrites QORWUTIL.CFG.
  --quiet                 no progress line and no echo of confirmations
  --trace                 every frame and link control sequence as a time-stamped hex line
  --help, --version

Differences (verify, diff) go to stdout, one a line, tab-separated:
  page, key, value in the file (or A), value in the module (or B).
With --json, info prints one JSON object and verify and diff one object per difference
({"page", "key", "file", "module"} or {"page", "key", "a", "b"}), one a line.
Messages go to stderr, one a block, followed by an empty line.

Exit status: 0 success; 1 a file or a value was refused, or verify/diff found differences;
2 usage error; 3 link failure.

Example, one configuration into the modules on three adapters:
  for p in /dev/ttyUSB0 /dev/ttyUSB1 /dev/ttyUSB2; do
      qorwctl --port "$p" download --rom site.dcf && qorwctl --port "$p" verify site.dcf \
          || echo "$p failed" >&2
  done

See qorwctl(1).
)";
}

#include "cli/cli_options.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {

constexpr int kMaxWaitSeconds = 24 * 3600;
constexpr size_t kHelpColumn = 26;
constexpr size_t kUsageWidth = 94;

// The commands that talk to a module, read files or find ports: all but the ledger's report.
constexpr const char* kLinkCommands =
    "defaults convert check upload download verify diff reset info ports scan provision";
constexpr const char* kDcfOrText = "dcf|txt";

std::vector<std::string> Words(const char* list) {
    std::vector<std::string> words;
    std::istringstream in(list ? list : "");
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

bool InList(const char* list, const std::string& word) {
    std::vector<std::string> words = Words(list);
    return std::find(words.begin(), words.end(), word) != words.end();
}

// "a, b and c"; "a, b or c".
std::string Joined(const std::vector<std::string>& words, const char* last) {
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) text += i + 1 == words.size() ? std::string(" ") + last + " " : ", ";
        text += words[i];
    }
    return text;
}

std::optional<int> BaudIndexOf(const std::string& text) {
    static const char* const kRates[] = {"57600", "38400", "19200", "9600", "4800", "2400", "1200"};
    for (int i = 0; i < 7; ++i) {
        if (text == kRates[i]) return i;
    }
    return std::nullopt;
}

bool SetPort(CliOptions& o, const std::string& v, std::string& error) {
    if (v.empty() || (LooksLikeComNumber(v) && !ComNumberOf(v))) {
        error = "--port wants COM1 to COM32, a device path or a by-id name, not \"" + v + "\"";
        return false;
    }
    o.port = v;
    o.ports.push_back(v);
    return true;
}

bool SetBaud(CliOptions& o, const std::string& v, std::string& error) {
    o.baudIndex = BaudIndexOf(v);
    if (o.baudIndex) return true;
    error = "--baud wants 57600, 38400, 19200, 9600, 4800, 2400 or 1200, not \"" + v + "\"";
    return false;
}

bool SetTraceRow(CliOptions& o, const std::string& v, std::string& error) {
    char* end = nullptr;
    long row = v.empty() ? 0 : std::strtol(v.c_str(), &end, 10);
    if (row < 1 || row > INT_MAX || *end) {
        error = "--trace wants a row number from 1, not \"" + v + "\"";
        return false;
    }
    o.traceRow = static_cast<int>(row);
    return true;
}

bool SetWait(CliOptions& o, const std::string& v, std::string& error) {
    char* end = nullptr;
    long seconds = v.empty() ? -1 : std::strtol(v.c_str(), &end, 10);
    if (seconds < 0 || seconds > kMaxWaitSeconds || *end) {
        error = "--wait wants a number of seconds, 0 to " + std::to_string(kMaxWaitSeconds) +
                ", not \"" + v + "\"";
        return false;
    }
    o.waitSeconds = static_cast<int>(seconds);
    return true;
}

}  // namespace

const std::vector<CliOption>& CliOptionTable() {
    using O = CliOptions;
    using V = CliValue;
    static const std::vector<CliOption> table = {
        {.name = "--port",
         .value = V::Port,
         .valueName = "COMn|DEVICE",
         .commands = kLinkCommands,
         .repeatsIn = "scan provision",
         .general = true,
         .help = "COM1..COM32 as the window numbers them (see \"ports\"), a device "
                 "path, or a by-id name (usb-FTDI_..., as under "
                 "/dev/serial/by-id); default: the port in QORWUTIL.CFG in the "
                 "current directory, else COM1; scan and provision take it again "
                 "for each port (default: every serial port present)",
         .apply = SetPort},
        {.name = "--baud",
         .value = V::Rate,
         .valueName = "RATE",
         .commands = kLinkCommands,
         .general = true,
         .help = "57600, 38400, 19200, 9600, 4800, 2400 or 1200; default: the rate in "
                 "QORWUTIL.CFG, else 38400. Neither option rewrites QORWUTIL.CFG.",
         .apply = SetBaud},
        {.name = "--quiet",
         .shortName = "-q",
         .commands = kLinkCommands,
         .general = true,
         .help = "no progress line and no echo of confirmations",
         .flag = &O::quiet},
        {.name = "--trace",
         .commands = "defaults convert check upload download verify diff reset info ports scan",
         .general = true,
         .help = "every frame and link control sequence as a time-stamped hex line",
         .flag = &O::trace},
        {.name = "--rom",
         .commands = "download",
         .help = "also store in ROM and reset, wait for the module and upload it "
                 "again",
         .flag = &O::rom},
        {.name = "--all",
         .commands = "download",
         .help = "write every parameter, else only those not known to be equal in "
                 "the module (\"Modified\")",
         .flag = &O::all},
        {.name = "--template",
         .value = V::File,
         .valueName = "FILE",
         .extensions = kDcfOrText,
         .commands = "provision",
         .requiredIn = "provision",
         .help = "the configuration every unit starts from (.dcf or .txt)",
         .text = &O::templatePath},
        {.name = "--units",
         .value = V::File,
         .valueName = "FILE.csv",
         .extensions = "csv",
         .commands = "provision",
         .requiredIn = "provision",
         .help = "one row per unit; its header names text-file keys",
         .text = &O::unitsPath},
        {.name = "--ledger",
         .value = V::File,
         .valueName = "FILE|URI",
         .extensions = "db",
         .commands = "provision",
         .help = "the ledger: an SQLite file (default: provision.db beside the units file), "
                 "or a line's PostgreSQL server as postgresql://[user@]host[:port]/database",
         .text = &O::ledgerPath},
        {.name = "--batch",
         .value = V::Name,
         .valueName = "NAME",
         .commands = "provision ledger",
         .help = "the batch on a server (default for provision: the units file's name "
                 "without extension; for ledger: every batch)",
         .text = &O::batch},
        {.name = "--station",
         .value = V::Name,
         .valueName = "NAME",
         .commands = "provision",
         .help = "the name the ledger records for this station (default: the host name)",
         .text = &O::station},
        {.name = "--ram",
         .commands = "provision",
         .help = "write RAM only (no store and reset)",
         .flag = &O::ram},
        {.name = "--watch",
         .commands = "provision",
         .help = "keep each port going, module after module, until every row is "
                 "done or Ctrl+C",
         .flag = &O::watch},
        {.name = "--wait",
         .value = V::Seconds,
         .valueName = "SECONDS",
         .commands = "provision",
         .help = "give up on a port where no module answers after SECONDS (default "
                 "30; without --watch)",
         .apply = SetWait},
        {.name = "--dry-run",
         .commands = "provision",
         .help = "check the inputs and show the row each present module would get",
         .flag = &O::dryRun},
        {.name = "--force",
         .commands = "provision",
         .help = "provision again what the ledger records as done",
         .flag = &O::force},
        {.name = "--correct",
         .commands = "provision",
         .help = "take the changed rows as corrections of the units bound to them",
         .flag = &O::correct},
        {.name = "--json",
         .commands = "scan info ports verify diff provision ledger",
         .help = "one JSON object per port, difference, event or row, a line each "
                 "(info: one object)",
         .flag = &O::json},
        {.name = "--csv", .commands = "ledger", .help = "CSV with a header line", .flag = &O::csv},
        {.name = "--trace",
         .value = V::Row,
         .valueName = "ROW",
         .commands = "ledger",
         .help = "print the link trace of the row's last finished attempt instead",
         .apply = SetTraceRow},
        {.name = "--help",
         .shortName = "-h",
         .help = "this text; after a command, that command's part",
         .flag = &O::help},
        {.name = "--version", .help = "the version", .flag = &O::version},
        // The completion script, generated from this table when qorwctl is built.
        {.name = "--bash-completion", .flag = &O::bashCompletion},
    };
    return table;
}

const std::vector<CliCommand>& CliCommandTable() {
    static const std::vector<CliCommand> table = {
        {"defaults", "OUT", 1, kDcfOrText, nullptr,
         "write the default configuration to OUT (.dcf or .txt, by extension)"},
        {"convert", "IN OUT", 2, kDcfOrText, nullptr,
         "load IN as \"File Load\" / \"Text...\" do, then save OUT"},
        {"check", "IN", 1, kDcfOrText, nullptr,
         "load IN and report the first error; exit 0 when it loads"},
        {"upload", "OUT", 1, kDcfOrText, nullptr, "full upload from the module, then save OUT"},
        {"download", "IN", 1, kDcfOrText, nullptr, "load IN, then write it into the module's RAM"},
        {"verify", "IN", 1, kDcfOrText, nullptr,
         "full upload, then compare with IN; print every parameter that "
         "differs; exit 0 when equal"},
        {"diff", "A B", 2, kDcfOrText, nullptr,
         "compare two configuration files (.dcf or .txt) the same way"},
        {"reset", "power|oob|oob-ip", 1, nullptr, "power oob oob-ip",
         "power cycle, out-of-box, or out-of-box keeping the IP address; "
         "then wait for the module and upload it"},
        {"info", "", 0, nullptr, nullptr,
         "identification text, hardware address, firmware revision and "
         "whether the web parameters are supported"},
        {"ports", "", 0, nullptr, nullptr,
         "every COM number with a device behind it, one a line, tab-separated: "
         "COM number, device, adapter, stable name, and how the number came to "
         "it (automatic, pinned, or QORW_COMn); with --json one object a port: "
         "COM number, device, by-id and by-path names, adapter, serial number, "
         "pinned or not, present or not"},
        {"scan", "", 0, nullptr, nullptr,
         "find the module: every rate (--baud or the saved rate first) on "
         "the named ports or on every port present, all ports at once; a "
         "table, or one JSON object per port; exit 0 when a module was found, "
         "1 when none, 3 when no port could be opened"},
        {"provision", "", 0, nullptr, nullptr,
         "one configuration per row of the units file (the template with the "
         "row's values), each into the module on a port, all ports at once; "
         "the ledger records which module got which row. A table that "
         "disagrees with the ledger about a row already given to a module is "
         "refused before any port is opened. Exit status: 0 every unit done, "
         "1 some failed (or an input was refused), 2 usage, 3 a port could "
         "not be opened or no module answered on it, 130 stopped by Ctrl+C"},
        {"ledger", "FILE|URI", 1, "db", nullptr,
         "the provisioning ledger's report, as a table, CSV or one JSON object "
         "per row; on a server, a batch across every station, with a count per "
         "station (without --batch: the batches)"},
    };
    return table;
}

bool OptionBelongsTo(const CliOption& option, const std::string& command) {
    return !option.commands || InList(option.commands, command);
}

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

namespace {

const CliCommand* CommandNamed(const std::string& name) {
    for (const CliCommand& c : CliCommandTable()) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

bool Named(const CliOption& o, const std::string& name) {
    return name == o.name || (o.shortName && name == o.shortName);
}

// The option a name stands for in command: the one that belongs to it, else the first.
const CliOption* OptionNamed(const std::string& name, const std::string& command) {
    const CliOption* first = nullptr;
    for (const CliOption& o : CliOptionTable()) {
        if (!Named(o, name)) continue;
        if (OptionBelongsTo(o, command)) return &o;
        if (!first) first = &o;
    }
    return first;
}

std::string BelongsTo(const CliOption& o) {
    return std::string(o.name) + " belongs to " + Joined(Words(o.commands), "and");
}

// Whether the option named takes a value: always, never, or only in some commands.
enum class Takes { Nothing, Value, Depends };
Takes WhatNameTakes(const std::string& name) {
    bool flag = false, valued = false;
    for (const CliOption& o : CliOptionTable()) {
        if (Named(o, name)) (o.value == CliValue::None ? flag : valued) = true;
    }
    return flag && valued ? Takes::Depends : valued ? Takes::Value : Takes::Nothing;
}

// The command word of a command line, found before its options are read: an option that takes
// a value only in some commands is taken to have one unless a command follows it.
std::string CommandWord(const std::vector<std::string>& argv) {
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg == "--") return i + 1 < argv.size() ? argv[i + 1] : std::string();
        if (arg.size() < 2 || arg[0] != '-') return arg;
        if (arg.find('=') != std::string::npos) continue;
        Takes takes = WhatNameTakes(arg);
        if (takes == Takes::Value ||
            (takes == Takes::Depends && i + 1 < argv.size() && !CommandNamed(argv[i + 1])))
            ++i;
    }
    return {};
}

// What one option shows in a usage line: "--json", "--port P", "--units FILE.csv".
std::string OptionUsage(const CliOption& o) {
    return std::string(o.name) + (o.valueName ? std::string(" ") + o.valueName : "");
}

// The command and its words, then its own options: "download IN [--rom] [--all]". The link
// options every command takes stand in the first line of the usage instead.
std::string CommandUsage(const CliCommand& c) {
    std::string usage = c.name;
    if (*c.words) usage += std::string(" ") + c.words;
    for (const CliOption& o : CliOptionTable()) {
        if (InList(o.requiredIn, c.name)) usage += " " + OptionUsage(o);
    }
    for (const CliOption& o : CliOptionTable()) {
        if (!o.help || !o.commands || !InList(o.commands, c.name)) continue;
        bool repeats = InList(o.repeatsIn, c.name);
        if (!InList(o.requiredIn, c.name) && (repeats || !o.general)) {
            usage += " [" + (o.value == CliValue::Port ? std::string("--port P") : OptionUsage(o)) +
                     "]" + (repeats ? "..." : "");
        }
    }
    return usage;
}

// Breaks a usage before an option where it would run past the width.
std::string Wrapped(const std::string& usage, size_t firstColumn, size_t indent) {
    std::string text, line(firstColumn, ' ');
    for (size_t at = 0; at < usage.size();) {
        size_t next = usage.find(" [", at + 1);
        std::string piece = usage.substr(at, next == std::string::npos ? next : next - at);
        if (!line.empty() && line.size() + piece.size() > kUsageWidth) {
            text += line + "\n";
            line = std::string(indent, ' ') + piece.substr(1);
        } else {
            line += piece;
        }
        at = next == std::string::npos ? usage.size() : next;
    }
    return (text + line).substr(firstColumn);
}

// The words of text in lines of at most kUsageWidth, each but the first indented.
std::string Reflowed(const std::string& text, size_t firstColumn, size_t indent) {
    std::string out;
    size_t column = firstColumn;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        if (column > indent && column + 1 + word.size() > kUsageWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (column > indent) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out;
}

// "  name                    help", the help beneath it when the name is long.
std::string HelpEntry(const std::string& name, const std::string& help) {
    std::string text = "  " + name;
    if (text.size() + 2 > kHelpColumn) {
        text += "\n" + std::string(kHelpColumn, ' ');
    } else {
        text += std::string(kHelpColumn - text.size(), ' ');
    }
    return text + Reflowed(help, kHelpColumn, kHelpColumn) + "\n";
}

std::string OptionHelp(const CliOption& o) {
    std::string name = o.shortName ? OptionUsage(o) + ", " + o.shortName : OptionUsage(o);
    std::string help = o.help;
    if (o.commands && !o.general) help = Joined(Words(o.commands), "and") + ": " + help;
    return HelpEntry(name, help);
}

constexpr const char* kAbout =
    "The QOR / QORW Utility without a window: the same pages, checks, messages and files.\n";

constexpr const char* kHelpTail = R"(
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

}  // namespace

bool ParseCliOptions(const std::vector<std::string>& argv, CliOptions& options,
                     std::string& error) {
    std::vector<std::string> positional;
    std::map<const CliOption*, int> given;
    bool optionsEnd = false;
    const std::string commandWord = CommandWord(argv);
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
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
        const CliOption* option = OptionNamed(name, commandWord);
        if (!option) {
            error = "unknown option " + name;
            return false;
        }
        // Whether a value follows depends on the command: one it does not belong to says so first.
        if (WhatNameTakes(name) == Takes::Depends && CommandNamed(commandWord) &&
            !OptionBelongsTo(*option, commandWord)) {
            error = BelongsTo(*option);
            return false;
        }
        if (option->value == CliValue::None && value) {
            error = name + " takes no value";
            return false;
        }
        if (option->value != CliValue::None && !value) {
            if (i + 1 >= argv.size()) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (option->flag) {
            options.*option->flag = true;
        } else if (option->text) {
            options.*option->text = *value;
        } else if (!option->apply(options, *value, error)) {
            return false;
        }
        ++given[option];
    }
    if (options.help || options.version || options.bashCompletion) {
        if (!positional.empty()) options.command = positional.front();
        return true;
    }
    if (positional.empty()) {
        error = "no command given";
        return false;
    }
    options.command = positional.front();
    options.args.assign(positional.begin() + 1, positional.end());
    const CliCommand* command = CommandNamed(options.command);
    if (!command) {
        error = "unknown command \"" + options.command + "\"";
        return false;
    }
    for (const auto& [option, count] : given) {
        if (!OptionBelongsTo(*option, command->name)) {
            error = BelongsTo(*option);
            return false;
        }
        // Elsewhere the last one given counts.
        if (count > 1 && option->repeatsIn && !InList(option->repeatsIn, command->name)) {
            error = std::string("a second ") + option->name + " belongs to " +
                    Joined(Words(option->repeatsIn), "and");
            return false;
        }
    }
    for (const CliOption& option : CliOptionTable()) {
        if (InList(option.requiredIn, command->name) && !given.count(&option)) {
            error = std::string(command->name) + " needs " + OptionUsage(option);
            return false;
        }
    }
    if (options.args.size() != command->wordCount) {
        error = "usage: qorwctl [options] " + CommandUsage(*command);
        return false;
    }
    if (command->choices && !InList(command->choices, options.args[0])) {
        error = std::string(command->name) + " wants " + Joined(Words(command->choices), "or") +
                ", not \"" + options.args[0] + "\"";
        return false;
    }
    return true;
}

std::string CliHelpText(const std::string& command) {
    if (const CliCommand* c = CommandNamed(command)) {
        std::string text = "usage: qorwctl [options] " + Wrapped(CommandUsage(*c), 25, 25) + "\n\n";
        text += Reflowed(std::string(c->help) + ".", 0, 0) + "\n\nOptions:\n";
        for (const CliOption& o : CliOptionTable()) {
            if (o.help && OptionBelongsTo(o, c->name)) text += OptionHelp(o);
        }
        return text;
    }
    std::string text = "usage: qorwctl";
    for (const CliOption& o : CliOptionTable()) {
        if (o.general) text += " [" + OptionUsage(o) + "]";
    }
    text += std::string(" COMMAND ARGS\n\n") + kAbout + "\nCommands:\n";
    for (const CliCommand& c : CliCommandTable())
        text += HelpEntry(Wrapped(CommandUsage(c), 2, 12), c.help);
    text += "\nOptions:\n";
    for (const CliOption& o : CliOptionTable()) {
        if (o.help) text += OptionHelp(o);
    }
    return text + kHelpTail;
}

namespace {

constexpr const char* kCompletionHead =
    R"(# bash completion for qorwctl, the QOR / QORW Utility for scripts.
# Written by "qorwctl --bash-completion" from the program's own option table.

_qorwctl_ports() {
    local p ports=()
    for p in /dev/serial/by-id/* /dev/ttyUSB* /dev/ttyACM*; do
        [ -e "$p" ] && ports+=("$p")
    done
    ports+=(COM{1..32})
    COMPREPLY=($(compgen -W "${ports[*]}" -- "$cur"))
}

_qorwctl_files() {
    # Files by extension, in any case, and folders to walk into.
    local f re="\\.($1)\$"
    COMPREPLY=()
    while IFS= read -r f; do
        if [ -d "$f" ] || [[ ${f,,} =~ $re ]]; then
            COMPREPLY+=("$f")
        fi
    done < <(compgen -f -- "$cur")
}

_qorwctl() {
    local cur prev words cword
    _init_completion 2>/dev/null || {
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    }
)";

std::string Quoted(const std::string& words) {
    return "\"" + words + "\"";
}

// What completion offers for a value or a command's words.
std::string CompletionOf(CliValue kind, const char* extensions, const char* choices) {
    if (kind == CliValue::Port) return "_qorwctl_ports";
    if (kind == CliValue::Rate)
        return "COMPREPLY=($(compgen -W \"57600 38400 19200 9600 4800 2400 1200\" -- \"$cur\"))";
    if (extensions) return "_qorwctl_files " + Quoted(extensions);
    if (choices) return "COMPREPLY=($(compgen -W " + Quoted(choices) + " -- \"$cur\"))";
    return "COMPREPLY=()";
}

// Words other than options: what the command's words are, unless an option is being typed.
std::string Offer(const std::string& completion) {
    return "[[ $cur == -* ]] || {\n            " + completion + "\n            return\n        }\n";
}

}  // namespace

std::string BashCompletionScript() {
    std::string valued, depends, commands, everywhere, general;
    for (const CliOption& o : CliOptionTable()) {
        if (o.value != CliValue::None) {
            // A name that takes a value only in some commands: a command after it is no value.
            std::string& list = WhatNameTakes(o.name) == Takes::Value ? valued : depends;
            list += std::string(list.empty() ? "" : " | ") + o.name;
        }
        if (o.help && !o.commands) everywhere += std::string(" ") + o.name;
        if (o.general) general += std::string(" ") + o.name;
    }
    for (const CliCommand& c : CliCommandTable())
        commands += std::string(commands.empty() ? "" : " ") + c.name;

    std::string s = kCompletionHead;
    s += "    local command=\"\" i\n"
         "    for ((i = 1; i < cword; i++)); do\n"
         "        case ${words[i]} in\n"
         "        " +
         valued + ") ((i++)) ;;\n";
    if (!depends.empty()) {
        s += "        " + depends + ")\n            [[ \" " + commands +
             " \" == *\" ${words[i + 1]} \"* ]] || ((i++))\n            ;;\n";
    }
    s += "        -*) ;;\n"
         "        *)\n"
         "            command=${words[i]}\n"
         "            break\n"
         "            ;;\n"
         "        esac\n"
         "    done\n\n"
         "    case $prev in\n";
    for (const CliOption& o : CliOptionTable()) {
        if (o.value == CliValue::None) continue;
        std::string value = CompletionOf(o.value, o.extensions, nullptr);
        if (WhatNameTakes(o.name) == Takes::Depends) {
            // Elsewhere the name is a flag: the options follow it.
            std::string commandsOf = o.commands;
            std::replace(commandsOf.begin(), commandsOf.end(), ' ', '|');
            value = "case $command in\n        " + commandsOf + ")\n            " + value +
                    "\n            return\n            ;;\n        esac\n";
        } else {
            value += "\n        return\n";
        }
        s += "    " + std::string(o.name) + ")\n        " + value + "        ;;\n";
    }
    s += "    esac\n\n"
         "    local options=" +
         Quoted(everywhere.substr(1)) +
         "\n"
         "    case $command in\n"
         "    \"\")\n"
         "        options+=" +
         Quoted(general) +
         "\n"
         "        " +
         Offer("COMPREPLY=($(compgen -W " + Quoted(commands) + " -- \"$cur\"))") + "        ;;\n";
    for (const CliCommand& c : CliCommandTable()) {
        std::string own;
        for (const CliOption& o : CliOptionTable()) {
            if (o.help && o.commands && InList(o.commands, c.name))
                own += std::string(" ") + o.name;
        }
        s += "    " + std::string(c.name) + ")\n        options+=" + Quoted(own) + "\n";
        if (c.wordCount > 0)
            s += "        " + Offer(CompletionOf(CliValue::None, c.extensions, c.choices));
        s += "        ;;\n";
    }
    s += "    *) return ;;\n"
         "    esac\n"
         "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
         "}\n\n"
         "complete -F _qorwctl qorwctl\n";
    return s;
}

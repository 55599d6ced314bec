// qorwctl's option table: what it parses, what it refuses, and what the completion built from
// it offers, walked command by command.
#include "cli/cli_options.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <set>
#include <sstream>

#include "files/temp_dir.h"

namespace {

constexpr const char* kCompletion = QOR_BINARY_DIR "/qorwctl.bash-completion";

std::set<std::string> Split(const std::string& text) {
    std::set<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.insert(w);
    return words;
}

// A value the option takes, as a user would type it.
std::string SampleValue(const CliOption& o) {
    switch (o.value) {
        case CliValue::Port:
            return "COM2";
        case CliValue::Rate:
            return "9600";
        case CliValue::Seconds:
            return "5";
        case CliValue::Row:
            return "3";
        case CliValue::Name:
            return "bench-2";
        case CliValue::File:
            return std::string("x.") + *Split(o.extensions).begin();
        case CliValue::None:
            break;
    }
    return {};
}

// A command line of command that parses: its words and the options it cannot go without.
std::vector<std::string> Usable(const CliCommand& c) {
    std::vector<std::string> argv = {c.name};
    for (size_t i = 0; i < c.wordCount; ++i)
        argv.push_back(c.choices ? *Split(c.choices).begin() : "a." + *Split(c.extensions).begin());
    for (const CliOption& o : CliOptionTable()) {
        if (o.requiredIn && Split(o.requiredIn).count(c.name))
            argv.insert(argv.end(), {o.name, SampleValue(o)});
    }
    return argv;
}

// The completion's offer for the words typed so far, the last one being completed.
std::set<std::string> Offered(std::vector<std::string> words) {
    TempDir dir;
    std::string script = std::string("source '") + kCompletion + "'\nCOMP_WORDS=(qorwctl";
    for (const std::string& w : words)
        script += " '" + w + "'";
    script += ")\nCOMP_CWORD=" + std::to_string(words.size()) +
              "\n_qorwctl\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
    dir.Write("complete.sh", script);
    std::string command = "cd '" + dir.Path() + "' && bash --norc --noprofile complete.sh";
    FILE* out = ::popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    for (size_t n; out && (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
        text.append(buffer, n);
    EXPECT_TRUE(out && ::pclose(out) == 0) << script;
    return Split(text);
}

// Whether an option of that name (there may be two) belongs to the command.
bool NameBelongsTo(const std::string& name, const std::string& command) {
    for (const CliOption& o : CliOptionTable()) {
        if (o.name == name && OptionBelongsTo(o, command)) return true;
    }
    return false;
}

TEST(CliOptionTable, EachOptionParsesWhereItBelongsAndIsRefusedElsewhere) {
    for (const CliCommand& c : CliCommandTable()) {
        std::string error;
        CliOptions plain;
        ASSERT_TRUE(ParseCliOptions(Usable(c), plain, error)) << c.name << ": " << error;
        for (const CliOption& o : CliOptionTable()) {
            if (!o.help) continue;
            std::vector<std::string> argv = Usable(c);
            std::vector<std::string> given = {o.name};
            if (o.value != CliValue::None) given.push_back(SampleValue(o));
            // Before the command, after it, and as --name=value.
            for (int form = 0; form < 3; ++form) {
                std::vector<std::string> line = argv;
                if (form == 0) line.insert(line.begin(), given.begin(), given.end());
                if (form == 1) line.insert(line.end(), given.begin(), given.end());
                if (form == 2)
                    line.push_back(given.size() > 1 ? given[0] + "=" + given[1] : given[0]);
                CliOptions options;
                error.clear();
                bool ok = ParseCliOptions(line, options, error);
                std::string where = std::string(c.name) + " " + o.name + " form " +
                                    std::to_string(form) + ": " + error;
                if (OptionBelongsTo(o, c.name)) {
                    EXPECT_TRUE(ok) << where;
                } else if (!NameBelongsTo(o.name, c.name)) {
                    EXPECT_FALSE(ok) << where;
                    EXPECT_EQ(error.rfind(std::string(o.name) + " belongs to ", 0), 0u) << where;
                }
            }
            // Given twice: only where it may repeat, when it says where.
            if (o.repeatsIn && OptionBelongsTo(o, c.name)) {
                std::vector<std::string> twice = argv;
                for (int i = 0; i < 2; ++i)
                    twice.insert(twice.end(), given.begin(), given.end());
                CliOptions options;
                EXPECT_EQ(ParseCliOptions(twice, options, error),
                          Split(o.repeatsIn).count(c.name) == 1)
                    << c.name << " " << o.name;
            }
        }
    }
}

TEST(CliOptionTable, RefusalsNameWhatIsWanted) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--json", "defaults", "a.dcf"},
         "--json belongs to scan, info, ports, verify, diff, provision and ledger"},
        {{"--trace", "provision", "--template", "t.txt", "--units", "u.csv"},
         "--trace belongs to defaults, convert, check, upload, download, verify, diff, reset, "
         "info, ports and scan"},
        {{"info", "--port", "COM1", "--port", "COM2"},
         "a second --port belongs to scan and provision"},
        {{"provision", "--template", "t.txt"}, "provision needs --units FILE.csv"},
        {{"provision", "--units", "u.csv", "--template", "t.txt", "--wait", "-1"},
         "--wait wants a number of seconds, 0 to 86400, not \"-1\""},
        {{"ledger"}, "usage: qorwctl [options] ledger FILE|URI [--batch NAME] [--json] [--csv] [--trace ROW]"},
        {{"ledger", "a.db", "--trace", "0"}, "--trace wants a row number from 1, not \"0\""},
        {{"reset", "hard"}, "reset wants power, oob or oob-ip, not \"hard\""},
        {{"--quiet=yes", "info"}, "--quiet takes no value"},
        {{"info", "--baud"}, "--baud needs a value"},
    };
    for (const auto& [argv, message] : cases) {
        CliOptions options;
        std::string error;
        EXPECT_FALSE(ParseCliOptions(argv, options, error)) << message;
        EXPECT_EQ(error, message);
    }
    // After "--" every word is the command's, even one that looks like an option.
    CliOptions options;
    std::string error;
    ASSERT_TRUE(ParseCliOptions({"-q", "check", "--", "-x.dcf"}, options, error)) << error;
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.args, std::vector<std::string>{"-x.dcf"});
}

TEST(CliOptionTable, TheCompletionOffersExactlyEachCommandsOptions) {
    std::set<std::string> commands, before;
    for (const CliCommand& c : CliCommandTable())
        commands.insert(c.name);
    for (const CliOption& o : CliOptionTable()) {
        if (o.help && (o.general || !o.commands)) before.insert(o.name);
    }
    EXPECT_EQ(Offered({""}), commands);
    EXPECT_EQ(Offered({"-"}), before);
    for (const CliCommand& c : CliCommandTable()) {
        std::set<std::string> own;
        for (const CliOption& o : CliOptionTable()) {
            if (o.help && OptionBelongsTo(o, c.name)) own.insert(o.name);
        }
        // Options given before the command, and their values, do not hide it.
        EXPECT_EQ(Offered({"--baud", "9600", c.name, "-"}), own) << c.name;
        if (c.choices) {
            EXPECT_EQ(Offered({c.name, ""}), Split(c.choices)) << c.name;
        }
    }
    EXPECT_EQ(Offered({"info", "--baud", ""}), Split("57600 38400 19200 9600 4800 2400 1200"));
    // --trace is a flag before a command, ledger's takes a row.
    EXPECT_EQ(Offered({"--trace", "check", ""}), std::set<std::string>{});
    EXPECT_EQ(Offered({"--trace", "check", "-"}), Offered({"check", "-"}));
    EXPECT_EQ(Offered({"ledger", "a.db", "--trace", "-"}), std::set<std::string>{});
}

}  // namespace

#include "fleet/ledger_rules.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace ledger_rules {

namespace {

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

std::string ProcessIdentity(int64_t pid) {
    std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
    size_t paren = stat.rfind(')');
    if (paren == std::string::npos) return {};
    std::istringstream fields(stat.substr(paren + 1));
    std::string field;
    // After the command: state is field 3, the start time field 22.
    for (int i = 3; i <= 22 && (fields >> field); ++i) {
    }
    std::string boot = ReadSmallFile("/proc/sys/kernel/random/boot_id");
    boot.erase(std::remove(boot.begin(), boot.end(), '\n'), boot.end());
    return boot + "/" + field;
}

std::string ValuesText(const UnitConfig& unit) {
    std::vector<std::pair<std::string, std::string>> values = unit.values;
    std::sort(values.begin(), values.end());
    std::string text;
    for (const auto& [column, value] : values)
        text += column + ": " + value + "\n";
    return text;
}

std::string RowText(int row) {
    return "row " + std::to_string(row);
}

}  // namespace ledger_rules

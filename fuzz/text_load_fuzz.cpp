// A whole text configuration load of arbitrary bytes through the window's Text load command:
// the reader and every page's section reader, with every message box answered by its default
// button. The line reader alone must deliver the same lines whatever its chunk size and lose
// no character; a file that loads must save, and the saved file must load and save again to the
// same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/utility_dlg.h"
#include "files/config_text.h"
#include "fuzz_host.h"

namespace {

std::vector<std::string> AllLines(UiHost& ui, const std::string& path, int chunk) {
    CConfigTextReader reader(ui, chunk);
    FUZZ_CHECK(reader.OpenFile(path));
    std::vector<std::string> lines;
    std::string line;
    unsigned last = 0;
    while (unsigned n = reader.ReadLine(line)) {
        FUZZ_CHECK(n > last);
        last = n;
        FUZZ_CHECK(!line.empty());
        FUZZ_CHECK(line.size() <= CConfigTextReader::kLineLimit - 1);
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        lines.push_back(line);
        FUZZ_CHECK(lines.size() <= 1 + static_cast<size_t>(reader.FileSize()));
    }
    FUZZ_CHECK(line.empty());
    return lines;
}

// Loads path into a fresh window; on success saves it to out and returns true.
bool LoadAndSave(FuzzUiHost& ui, const std::string& path, const std::string& out) {
    CUtilityDlg dlg(ui);
    dlg.Start();
    std::string error;
    if (dlg.LoadTextFile(path, error) != CUtilityDlg::TextLoadResult::Loaded) {
        // What the command does next with a content error: the defaults come back.
        dlg.OnDefaults();
        return false;
    }
    dlg.StoreAllPages();
    dlg.ValidatePages();
    FUZZ_CHECK(dlg.SaveTextFile(out));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFile input(".txt"), first(".1.txt"), second(".2.txt");
    if (size > 64 * 1024)
        return 0;
    input.Write(data, size);
    FuzzUiHost ui;

    std::vector<std::string> lines = AllLines(ui, input.Path(), CConfigTextReader::kChunkSize);
    size_t chars = 0;
    for (const auto& l : lines)
        chars += l.size();
    size_t expected = 0;
    for (size_t i = 0; i < size; ++i)
        expected += data[i] != '\r' && data[i] != '\n';
    FUZZ_CHECK(chars == expected);
    const int small = 1 + static_cast<int>(size % 13);
    FUZZ_CHECK(AllLines(ui, input.Path(), small) == lines);

    if (!LoadAndSave(ui, input.Path(), first.Path()))
        return 0;
    FUZZ_CHECK(LoadAndSave(ui, first.Path(), second.Path()));
    FUZZ_CHECK(ReadFile(first.Path()) == ReadFile(second.Path()));
    return 0;
}

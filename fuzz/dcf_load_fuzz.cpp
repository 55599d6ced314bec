// A .dcf load of arbitrary bytes through the window's File load procedure, every message box
// answered by its default button. A file that loads must save, and the saved file must load
// and save again to the same bytes, and its text file must load back to the same document. The
// archive's own readers are driven over the same bytes in an order the input chooses; each either
// yields a value or throws its failure, and never takes more memory than the bytes could hold.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/utility_dlg.h"
#include "files/dcf_archive.h"
#include "fuzz_host.h"

namespace {

// Every parameter of the window's document.
std::vector<std::string> Parameters(CUtilityDlg& dlg) {
    std::vector<std::string> values;
    for (int id = 0; id < QorDoc::kParamCount; ++id)
        values.push_back(dlg.Doc().GET(id));
    return values;
}

bool LoadAndSave(FuzzUiHost& ui, const std::string& path, const std::string& out,
                 const std::string* text = nullptr) {
    CUtilityDlg dlg(ui);
    dlg.Start();
    if (!dlg.LoadDcfFile(path)) return false;
    dlg.StoreAllPages();
    dlg.ValidatePages();
    FUZZ_CHECK(dlg.SaveDcfFile(out));
    if (text) {
        // What a .dcf carries, its text file carries back.
        FUZZ_CHECK(dlg.SaveTextFile(*text));
        CUtilityDlg back(ui);
        back.Start();
        std::string error;
        FUZZ_CHECK(back.LoadTextFile(*text, error) == CUtilityDlg::TextLoadResult::Loaded);
        back.StoreAllPages();
        FUZZ_CHECK(Parameters(back) == Parameters(dlg));
    }
    return true;
}

void DriveArchive(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    auto ar = CDcfArchive::ForLoading(bytes);
    // The order of the reads comes from the bytes themselves, so each input is one run.
    size_t consumed = 0;
    for (size_t step = 0; step < 64; ++step) {
        uint8_t pick = data[step % size];
        try {
            switch (pick % 4) {
                case 0:
                    ar.ReadInt32();
                    consumed += 4;
                    break;
                case 1:
                    ar.ReadByte();
                    consumed += 1;
                    break;
                case 2: {
                    std::string t = ar.ReadText();
                    FUZZ_CHECK(t.size() <= size);
                    consumed += t.size() + 1;
                    break;
                }
                default:
                    ar.ReadAddress();
                    consumed += 4;
                    break;
            }
        } catch (const CDcfArchive::Failure&) {
            return;
        }
        FUZZ_CHECK(consumed <= size);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFile input(".dcf"), first(".1.dcf"), second(".2.dcf"), text(".txt");
    if (size == 0 || size > 64 * 1024) return 0;
    DriveArchive(data, size);

    input.Write(data, size);
    FuzzUiHost ui;
    const std::string textPath = text.Path();
    if (!LoadAndSave(ui, input.Path(), first.Path(), &textPath)) return 0;
    FUZZ_CHECK(LoadAndSave(ui, first.Path(), second.Path()));
    FUZZ_CHECK(ReadFile(first.Path()) == ReadFile(second.Path()));
    return 0;
}

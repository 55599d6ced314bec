// The settings file reader fed arbitrary bytes. What it reports lies in range; whatever it
// read, written back and read again gives the same values; and the page that reads the file at
// start-up comes up with a port and baud rate it offers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/utility_dlg.h"
#include "files/settings_file.h"
#include "fuzz_host.h"

namespace {

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFile input(".cfg"), again(".2.cfg");
    if (size > 4096)
        return 0;
    input.Write(data, size);

    CSettingsFile::ReadResult r = CSettingsFile::Read(input.Path());
    if (r.port)
        FUZZ_CHECK(*r.port >= 1 && *r.port <= 32);
    if (!r.ok)
        return 0;
    // A port outside 1..32 is ignored alone: the rate still counts.
    const int port = r.port.value_or(1);
    FUZZ_CHECK(r.baudIndex >= 0 && r.baudIndex <= 6);
    FUZZ_CHECK(CSettingsFile::IndexOfRate(CSettingsFile::RateOfIndex(r.baudIndex)) == r.baudIndex);

    FUZZ_CHECK(CSettingsFile::Write(port, r.baudIndex, again.Path()));
    FUZZ_CHECK(ReadFile(again.Path()) == CSettingsFile::Format(port, r.baudIndex));
    CSettingsFile::ReadResult back = CSettingsFile::Read(again.Path());
    FUZZ_CHECK(back.ok && back.port == port && back.baudIndex == r.baudIndex);

    // The window's start reads the file from the current directory under its own name.
    static bool inCwd = [] {
        std::FILE* probe = std::fopen(CSettingsFile::kFileName, "ab");
        if (probe != nullptr)
            std::fclose(probe);
        return probe != nullptr;
    }();
    if (inCwd) {
        std::FILE* f = std::fopen(CSettingsFile::kFileName, "wb");
        if (f == nullptr)
            return 0;
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        FuzzUiHost ui;
        CUtilityDlg dlg(ui);
        dlg.Start();
        if (r.port)
            FUZZ_CHECK(dlg.Link().comPort == *r.port);
        FUZZ_CHECK(dlg.Link().pcBaudIndex == r.baudIndex);
    }
    return 0;
}

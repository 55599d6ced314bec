#pragma once

#include <string>

#include "app/utility_dlg.h"
#include "files/temp_dir.h"
#include "support/scripted_ui_host.h"

class CGridCtrl;

// A started window with a scripted user and a folder of its own, and the window's own file
// commands on real files there (the file dialogs answered with the names given).
struct StartedWindow {
    ScriptedUiHost ui;
    TempDir dir;
    CUtilityDlg dlg{ui};

    StartedWindow() { dlg.Start(); }

    // "Text..." / "File Save" into name in the folder; returns the bytes written.
    std::string SaveText(const std::string& name = "saved.txt");
    std::string SaveDcf(const std::string& name = "saved.dcf");
    // "Text..." / "File Load" of the file at path.
    void LoadText(const std::string& path);
    void LoadDcf(const std::string& path);
    // The same of bytes written into a file of the folder first.
    void LoadTextBytes(const std::string& bytes) { LoadText(dir.Write("load.txt", bytes)); }
    void LoadDcfBytes(const std::string& bytes) { LoadDcf(dir.Write("load.dcf", bytes)); }
    bool AnyPageDiffers();
};

// The user selects all of a cell's in-place edit, types text over it and presses Enter; the
// edit opens as the key opens it (F2, or a key that starts with an empty edit).
void EditCell(CGridCtrl& grid, int row, int col, const std::string& text, int openKey);

// text with the line that starts with key replaced by line.
std::string ReplaceLine(std::string text, const std::string& key, const std::string& line);

#include "support/started_window.h"

#include <gtest/gtest.h>

#include "controls/grid_ctrl.h"

std::string StartedWindow::SaveText(const std::string& name) {
    const std::string path = dir.File(name);
    ui.QueueSaveName(path);
    dlg.OnTextSave();
    return ReadFileBytes(path);
}

std::string StartedWindow::SaveDcf(const std::string& name) {
    const std::string path = dir.File(name);
    ui.QueueSaveName(path);
    dlg.OnFileSave();
    return ReadFileBytes(path);
}

void StartedWindow::LoadText(const std::string& path) {
    ui.QueueOpenName(path);
    dlg.OnTextLoad();
}

void StartedWindow::LoadDcf(const std::string& path) {
    ui.QueueOpenName(path);
    dlg.OnFileLoad();
}

bool StartedWindow::AnyPageDiffers() {
    for (int i = 0; i < CUtilityDlg::kPageCount; ++i) {
        if (dlg.Page(i).DiffersFromDocument(dlg.Doc())) return true;
    }
    return false;
}

void EditCell(CGridCtrl& grid, int row, int col, const std::string& text, int openKey) {
    grid.SetFocusCell(row, col);
    ASSERT_TRUE(grid.StartEdit(row, col, openKey));
    CInPlaceEditor* editor = grid.GetEditor();
    ASSERT_NE(editor, nullptr);
    editor->SetSel(0, static_cast<int>(editor->Text().size()));
    editor->ReplaceSel(text);
    editor->KeyDown(kKeyEnter, false, false);
}

std::string ReplaceLine(std::string text, const std::string& key, const std::string& line) {
    size_t at = text.find("\r\n" + key);
    EXPECT_NE(at, std::string::npos) << key;
    if (at == std::string::npos) return text;
    size_t end = text.find("\r\n", at + 2);
    return text.replace(at + 2, end - at - 2, line);
}

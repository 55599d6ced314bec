#include "controls/grid_cell.h"

#include "controls/grid_ctrl.h"

bool CellClassRecord::IsDerivedFrom(const CellClassRecord& other) const {
    for (const CellClassRecord* r = this; r; r = r->base) {
        if (r == &other) return true;
    }
    return false;
}

const CellClassRecord CGridCellBase::kClass{"CGridCellBase", nullptr, nullptr};
const CellClassRecord CGridCell::kClass{"CGridCell", &CGridCell::Create, &CGridCellBase::kClass};
const CellClassRecord CGridDefaultCell::kClass{"CGridDefaultCell", &CGridDefaultCell::Create,
                                               &CGridCell::kClass};

std::unique_ptr<CGridCellBase> CGridCell::Create() { return std::make_unique<CGridCell>(); }

std::unique_ptr<CGridCellBase> CGridDefaultCell::Create() {
    return std::make_unique<CGridDefaultCell>();
}

void CGridCellBase::CopyFrom(const CGridCellBase& other) {
    if (&other == this) return;
    SetText(other.GetText());
    SetImage(other.GetImage());
    SetData(other.GetData());
    SetState(other.GetState());
    SetFormat(other.GetFormat());
    SetTextColour(other.GetTextColour());
    SetBackColour(other.GetBackColour());
    SetFont(other.GetFont());
    SetMargin(other.GetMargin());
    TakeEdit(other.IsEditing(), other.GetEditor());
}

bool CGridCell::OpenEditor(CGridCtrl& grid, int row, int col, const GridRect& rect, unsigned id,
                           int firstKey) {
    editing_ = true;
    editor_ = grid.CreateEditor(row, col, rect, id, text_, format_, firstKey);
    return true;
}

bool CGridCell::CheckEntry(UiHost&, const std::string&) const { return true; }

void CGridCell::CloseEditor() {
    if (editor_) editor_->KillFocus();
}

void CGridCell::EndEdit() {
    editing_ = false;
    editor_ = nullptr;
}

#include "controls/grid_cell_checks.h"

#include "host/ui_host.h"
#include "controls/ip_addr_edit.h"

namespace {

constexpr const char* kNoSpaces = "Spaces not allowed.";
constexpr const char* kAtRequired = "\"@\" symbol IS required.";
constexpr const char* kMax45 = "Length cannot exceed 45 characters.";
constexpr const char* kMax8 = "Length cannot exceed 8 characters.";
constexpr const char* kNoControls = "Control characters not allowed.";

bool Refuse(UiHost& ui, const std::string& message) {
    ui.Message(message, UiHost::Icon::Exclamation);
    return false;
}

bool HasSpace(const std::string& text) {
    return text.find(' ') != std::string::npos;
}

}  // namespace

// A control character such as a line break or NUL would reach the module as it is, break the
// text file's lines or cut the value where it is saved; a TAB breaks neither file, and files
// holding one load as they did.
bool CheckTextCharacters(UiHost& ui, const std::string& text) {
    for (unsigned char c : text) {
        if ((c < 0x20 && c != '\t') || c == 0x7F) return Refuse(ui, kNoControls);
    }
    return true;
}

#define QOR_CELL_CLASS(Cls)                                                    \
    const CellClassRecord Cls::kClass{#Cls, &Cls::Create, &CGridCell::kClass}; \
    std::unique_ptr<CGridCellBase> Cls::Create() {                             \
        return std::make_unique<Cls>();                                        \
    }

QOR_CELL_CLASS(CGridCellEmailDstn)
QOR_CELL_CLASS(CGridCellIPAddr)
QOR_CELL_CLASS(CGridCellWebPassword)
QOR_CELL_CLASS(CGridCellWebURL)
QOR_CELL_CLASS(CGridCellWebDefault)

#undef QOR_CELL_CLASS

bool CGridCellEmailDstn::CheckEntry(UiHost& ui, const std::string& text) const {
    if (!CheckTextCharacters(ui, text)) return false;
    if (text.empty()) return true;
    if (HasSpace(text)) return Refuse(ui, kNoSpaces);
    if (text.find('@') == std::string::npos) return Refuse(ui, kAtRequired);
    if (text.size() > 45) return Refuse(ui, kMax45);
    return true;
}

bool CGridCellIPAddr::CheckEntry(UiHost& ui, const std::string& text) const {
    // Only digits and points pass, so a control character always meets a digit message.
    const AddressCheck check = CheckAddressText(text, IpFieldKind::HostAddress);
    if (check.ok) return true;
    return Refuse(ui, AddressCheckMessage(check.code));
}

bool CGridCellWebPassword::CheckEntry(UiHost& ui, const std::string& text) const {
    if (!CheckTextCharacters(ui, text)) return false;
    if (text.empty()) return true;
    if (HasSpace(text)) return Refuse(ui, kNoSpaces);
    if (text.size() > 8) return Refuse(ui, kMax8);
    return true;
}

bool CGridCellWebURL::CheckEntry(UiHost& ui, const std::string& text) const {
    if (!CheckTextCharacters(ui, text)) return false;
    if (text.empty()) return true;
    if (HasSpace(text)) return Refuse(ui, kNoSpaces);
    if (text.size() > 45) return Refuse(ui, kMax45);
    return true;
}

bool CGridCellWebDefault::CheckEntry(UiHost& ui, const std::string& text) const {
    if (!CheckTextCharacters(ui, text)) return false;
    if (text.size() > 45) return Refuse(ui, kMax45);
    return true;
}

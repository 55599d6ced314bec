#pragma once

#include "controls/grid_cell.h"

// The validating cells: ordinary text cells that each check a proposed text their own way.
// They hold nothing beyond a CGridCell, so one can replace a CGridCell in place.

class UiHost;

// Whether a text may stand in a module's text value: no control character but TAB. Shows the
// message when it refuses.
bool CheckTextCharacters(UiHost& ui, const std::string& text);

// An e-mail destination address: empty, or no spaces, an '@' and at most 45 characters.
class CGridCellEmailDstn : public CGridCell {
public:
    static const CellClassRecord kClass;
    static std::unique_ptr<CGridCellBase> Create();
    const CellClassRecord& GetRuntimeClass() const override { return kClass; }
    bool CheckEntry(UiHost& ui, const std::string& text) const override;
};

// A route's IP address: the host-address rules of the IP address entry.
class CGridCellIPAddr : public CGridCell {
public:
    static const CellClassRecord kClass;
    static std::unique_ptr<CGridCellBase> Create();
    const CellClassRecord& GetRuntimeClass() const override { return kClass; }
    bool CheckEntry(UiHost& ui, const std::string& text) const override;
};

// A web page password: empty, or no spaces and at most 8 characters.
class CGridCellWebPassword : public CGridCell {
public:
    static const CellClassRecord kClass;
    static std::unique_ptr<CGridCellBase> Create();
    const CellClassRecord& GetRuntimeClass() const override { return kClass; }
    bool CheckEntry(UiHost& ui, const std::string& text) const override;
};

// A link URL: empty, or no spaces and at most 45 characters.
class CGridCellWebURL : public CGridCell {
public:
    static const CellClassRecord kClass;
    static std::unique_ptr<CGridCellBase> Create();
    const CellClassRecord& GetRuntimeClass() const override { return kClass; }
    bool CheckEntry(UiHost& ui, const std::string& text) const override;
};

// Free text such as a title or a name: at most 45 characters.
class CGridCellWebDefault : public CGridCell {
public:
    static const CellClassRecord kClass;
    static std::unique_ptr<CGridCellBase> Create();
    const CellClassRecord& GetRuntimeClass() const override { return kClass; }
    bool CheckEntry(UiHost& ui, const std::string& text) const override;
};

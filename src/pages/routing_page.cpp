#include "pages/routing_page.h"

#include <cstdio>
#include <new>

#include "pages/page_host.h"
#include "host/ui_host.h"
#include "controls/grid_cell_checks.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "model/qor_doc.h"

namespace {

constexpr const char* kOutOfMemory = "Out of memory";

constexpr uint32_t kCellFormat =
    CellFormat::kCenter | CellFormat::kVCenter | CellFormat::kSingleLine | CellFormat::kEndEllipsis;

std::string RouteKey(int d) {
    char key[16];
    std::snprintf(key, sizeof key, "Route%02d: ", d);
    return key;
}

// A route as the module keeps it: four groups of three digits, each at most 255 (the module
// stores one octet a group). Host rules are the typist's help, not the module's: a route read
// from a module, such as 255.255.255.255 or 127.000.000.001, is stored and loaded as it is.
std::optional<std::string> StoredRoute(const std::string& value) {
    std::optional<std::string> route = RegroupAddress(value);
    if (!route || route->size() != 15) return std::nullopt;
    for (size_t at = 0; at < 15; at += 4) {
        if (at > 0 && (*route)[at - 1] != '.') return std::nullopt;
        int octet = 0;
        for (size_t i = at; i < at + 3; ++i) {
            const char c = (*route)[i];
            if (c < '0' || c > '9') return std::nullopt;
            octet = octet * 10 + (c - '0');
        }
        if (octet > 255) return std::nullopt;
    }
    return route;
}

}  // namespace

void BuildNumberedGrid(CGridCtrl& grid, const char* const (&headers)[3], int firstNumber,
                       const CellClassRecord& valueClass) {
    constexpr int kRows = 51, kColumns = 3;
    bool ok = grid.SetRows(kRows) && grid.SetColumns(kColumns) && grid.SetFixedRows(1) &&
              grid.SetFixedColumns(2);
    for (int r = 0; ok && r < kRows; ++r) {
        for (int c = 0; ok && c < kColumns; ++c) {
            GridItem item;
            item.row = r;
            item.col = c;
            item.mask = GridItem::kText | GridItem::kFormat;
            item.format = kCellFormat;
            if (r == 0)
                item.text = headers[c];
            else if (c < 2)
                item.text = std::to_string(r + firstNumber - 1 + 100 * c);
            ok = grid.SetCell(item);
            if (ok && r > 0 && c == 2) ok = grid.SetCellClass(r, c, valueClass);
        }
    }
    if (!ok) {
        grid.Ui().Message(kOutOfMemory);
        throw std::bad_alloc();
    }
    grid.SetEditable(true);
    grid.SetDragAndDrop(true);
    grid.SetListMode(false);
    grid.SetSingleRowSelection(false);
    grid.SetHeaderSort(false);
    grid.SetCellSelection(true);
    grid.SetRowResize(false);
    grid.SetColumnResize(false);
    grid.FitToContents();
    grid.StretchColumn(2);
}

CRoutingPage::CRoutingPage(CPageHost& host) : host_(host), grid_(host.Ui()) {
    grid_.onUserChange = [this] { host_.RefreshStatus(); };
    BuildNumberedGrid(grid_, kHeaders, 0, CGridCellIPAddr::kClass);
}

void CRoutingPage::LoadDefaults() {
    for (int d = 0; d < kRouteCount; ++d)
        grid_.SetCellText(d + 1, kAddressColumn, kDefaultRoute);
    grid_.Repaint();
}

void CRoutingPage::LoadFromDocument(QorDoc& doc) {
    for (int d = 0; d < kRouteCount; ++d)
        grid_.SetCellText(d + 1, kAddressColumn, doc.GET(QorDoc::kIdFirstRoute + d));
    grid_.Repaint();
}

void CRoutingPage::QueueParameters(QorDoc& doc) {
    for (int d = 0; d < kRouteCount; ++d)
        doc.QUEUE(QorDoc::kIdFirstRoute + d);
}

void CRoutingPage::StoreToDocument(QorDoc& doc, bool force) {
    for (int d = 0; d < kRouteCount; ++d)
        doc.UPDATE(QorDoc::kIdFirstRoute + d, Route(d), force);
}

bool CRoutingPage::DiffersFromDocument(QorDoc& doc) {
    for (int d = 0; d < kRouteCount; ++d) {
        if (Route(d) != doc.GET(QorDoc::kIdFirstRoute + d)) return true;
    }
    return false;
}

void CRoutingPage::WriteSection(CTextOutFile& file, QorDoc& doc) {
    (void)doc;
    WriteText(file, "\r\n[Routing]\r\n");
    for (int d = 0; d < kRouteCount; ++d)
        WriteFormat(file, "Route%02d: %s\r\n", d, Route(d).c_str());
}

void CRoutingPage::ReadSection(CConfigTextReader& reader) {
    reader.FindSection(kSection);
    for (int d = 0; d < kRouteCount; ++d) {
        const std::string key = RouteKey(d);
        const std::string value = reader.ReadParam(key);
        const std::optional<std::string> route = StoredRoute(value);
        const int row = d + 1;
        if (!route) {
            // The cell's check names what is wrong with the text before the load aborts.
            grid_.CheckCellText(row, kAddressColumn, RegroupAddress(value).value_or(value));
            throw ZUVException::ParameterInError(key);
        }
        grid_.SetCellText(row, kAddressColumn, *route);
        grid_.MarkModified(true, row, kAddressColumn);
        grid_.RepaintCell(row, kAddressColumn);
    }
}

void CRoutingPage::ExchangeDcf(CDcfArchive& archive) {
    if (archive.IsStoring()) {
        for (int d = 0; d < kRouteCount; ++d)
            archive.WriteText(Route(d));
        return;
    }
    // Routes are kept as stored: only a text that is no address at all makes the file malformed.
    for (int d = 0; d < kRouteCount; ++d) {
        const std::optional<std::string> route = StoredRoute(archive.ReadText());
        if (!route) {
            grid_.Repaint();
            throw CDcfArchive::Failure(CDcfArchive::FailureKind::Generic);
        }
        grid_.SetCellText(d + 1, kAddressColumn, *route);
    }
    grid_.Repaint();
}

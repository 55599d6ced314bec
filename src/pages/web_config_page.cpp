#include "pages/web_config_page.h"

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
constexpr const char* kHeaderSection = "[QorConfiguration]";

constexpr uint32_t kCellFormat =
    CellFormat::kCenter | CellFormat::kVCenter | CellFormat::kSingleLine | CellFormat::kEndEllipsis;

std::vector<CWebGridPage::Row> WebConfigRows() {
    std::vector<CWebGridPage::Row> rows;
    rows.push_back({"Home Page Title", &CGridCellWebDefault::kClass, "QORW Home Page",
                    QorDoc::kIdFirstWebConfig});
    // Row r is identifier r + 100; identifier 101 belongs to no row.
    for (int n = 1; n <= 10; ++n) {
        std::string link = "Link " + std::to_string(n);
        int row = 2 * n;
        rows.push_back({link + " Text", &CGridCellWebDefault::kClass,
                        "User Defined URL " + std::to_string(n), row + 100});
        rows.push_back({link + " URL", &CGridCellWebURL::kClass, "", row + 101});
    }
    for (int p = 1; p <= 4; ++p) {
        std::string page = "Page " + std::to_string(p);
        int row = 2 * p + 20;
        rows.push_back({page + " Title", &CGridCellWebDefault::kClass,
                        "QORW Page " + std::to_string(p) + " of 4", row + 100});
        rows.push_back({page + " Password", &CGridCellWebPassword::kClass, "", row + 101});
    }
    return rows;
}

}  // namespace

CWebGridPage::CWebGridPage(CPageHost& host, const char* header0, const char* header1,
                           std::vector<Row> rows, std::string section, std::string keyPrefix,
                           int queueFirst, int queueLast)
    : host_(host),
      rows_(std::move(rows)),
      section_(std::move(section)),
      keyPrefix_(std::move(keyPrefix)),
      queueFirst_(queueFirst),
      queueLast_(queueLast),
      grid_(host.Ui()) {
    if (!BuildGrid(header0, header1)) host_.Ui().Message(kOutOfMemory);
    grid_.onUserChange = [this] { host_.RefreshStatus(); };
}

bool CWebGridPage::BuildGrid(const char* header0, const char* header1) {
    try {
        if (!grid_.SetRows(RowCount() + 1) || !grid_.SetColumns(2) || !grid_.SetFixedRows(1) ||
            !grid_.SetFixedColumns(1))
            return false;
        auto setCell = [this](int row, int col, const std::string& text) {
            GridItem item;
            item.row = row;
            item.col = col;
            item.mask = GridItem::kText | GridItem::kFormat;
            item.text = text;
            item.format = kCellFormat;
            grid_.SetCell(item);
        };
        setCell(0, 0, header0);
        setCell(0, kValueColumn, header1);
        for (int row = 1; row <= RowCount(); ++row) {
            setCell(row, 0, RowInfo(row).name);
            grid_.SetCellClass(row, kValueColumn, *RowInfo(row).cellClass);
            setCell(row, kValueColumn, std::string());
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    grid_.SetEditable(true);
    grid_.SetDragAndDrop(true);
    grid_.SetListMode(false);
    grid_.SetSingleRowSelection(false);
    grid_.SetHeaderSort(false);
    grid_.SetCellSelection(true);
    grid_.SetRowResize(false);
    grid_.SetColumnResize(false);
    grid_.FitToContents();
    grid_.StretchColumn(kValueColumn);
    return true;
}

std::string CWebGridPage::Key(int row) const {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", row);
    return keyPrefix_ + number + ": ";
}

void CWebGridPage::LoadDefaults() {
    for (int row = 1; row <= RowCount(); ++row)
        grid_.SetCellText(row, kValueColumn, RowInfo(row).defaultValue);
    grid_.Repaint();
}

void CWebGridPage::LoadFromDocument(QorDoc& doc) {
    for (int row = 1; row <= RowCount(); ++row)
        grid_.SetCellText(row, kValueColumn, doc.GET(RowInfo(row).id));
    grid_.Repaint();
}

void CWebGridPage::QueueParameters(QorDoc& doc) {
    for (int id = queueFirst_; id <= queueLast_; ++id)
        doc.QUEUE(id);
}

void CWebGridPage::StoreToDocument(QorDoc& doc, bool force) {
    for (int row = 1; row <= RowCount(); ++row)
        doc.UPDATE(RowInfo(row).id, Value(row), force);
}

bool CWebGridPage::DiffersFromDocument(QorDoc& doc) {
    for (int row = 1; row <= RowCount(); ++row) {
        if (Value(row) != doc.GET(RowInfo(row).id)) return true;
    }
    return false;
}

bool CWebGridPage::TakeControlValues() {
    grid_.EndEditing();
    return true;
}

void CWebGridPage::WriteSection(CTextOutFile& file, QorDoc& doc) {
    (void)doc;
    TakeControlValues();
    WriteText(file, "\r\n" + section_ + "\r\n");
    // Concatenated rather than formatted, so that a value is written whole whatever it holds.
    for (int row = 1; row <= RowCount(); ++row)
        WriteText(file, Key(row) + Value(row) + "\r\n");
}

void CWebGridPage::ReadSection(CConfigTextReader& reader) {
    reader.FindSection(kHeaderSection);
    int version = reader.ReadVersion();
    // Files of versions 1 and 2 come from modules without web pages.
    if (version == 1 || version == 2) return;
    reader.FindSection(section_);
    for (int row = 1; row <= RowCount(); ++row) {
        std::string key = Key(row);
        std::string value = reader.ReadParam(key);
        if (!grid_.CheckCellText(row, kValueColumn, value))
            throw ZUVException::ParameterInError(key);
        grid_.SetCellText(row, kValueColumn, value);
        grid_.MarkModified(true, row, kValueColumn);
        grid_.RepaintCell(row, kValueColumn);
    }
    if (!TakeControlValues()) throw ZUVException::SectionInError(section_);
}

void CWebGridPage::ExchangeDcf(CDcfArchive& archive) {
    if (archive.IsStoring()) {
        TakeControlValues();
        for (int row = 1; row <= RowCount(); ++row)
            archive.WriteText(Value(row));
        return;
    }
    int32_t version = host_.DcfVersion();
    if (version == 1 || version == 2) return;
    // Each text passes the check of a text file load: one the text file could not carry back
    // makes the file malformed, and the page keeps all it showed. A file cut short shows what
    // was read, as every page does.
    std::vector<std::string> values;
    auto take = [this, &values] {
        for (size_t i = 0; i < values.size(); ++i)
            grid_.SetCellText(static_cast<int>(i) + 1, kValueColumn, values[i]);
        grid_.Repaint();
    };
    try {
        for (int row = 1; row <= RowCount(); ++row) {
            std::string value = archive.ReadText();
            if (!grid_.CheckCellText(row, kValueColumn, value))
                throw CDcfArchive::Failure(CDcfArchive::FailureKind::RefusedValue);
            values.push_back(std::move(value));
        }
    } catch (const CDcfArchive::Failure& failure) {
        if (failure.Kind() == CDcfArchive::FailureKind::EndOfFile) take();
        throw;
    }
    take();
}

CWebConfigPage::CWebConfigPage(CPageHost& host)
    : CWebGridPage(host, "Definition", "Value", WebConfigRows(), kSection, "WebConfig",
                   QorDoc::kIdFirstWebConfig, QorDoc::kIdFirstWebDataDesc - 1) {}

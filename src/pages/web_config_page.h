#pragma once

#include <string>
#include <vector>

#include "controls/grid_ctrl.h"
#include "pages/config_page.h"

class CPageHost;
struct CellClassRecord;

// A page that is one grid of named text values: column 0 names the row, column 1 holds its
// value in a validating cell. Each row is one document parameter and one line of the page's
// text section. The two web pages are this with their own tables.
class CWebGridPage : public CConfigPage {
public:
    struct Row {
        std::string name;
        const CellClassRecord* cellClass;
        std::string defaultValue;
        int id;  // document identifier
    };

    static constexpr int kValueColumn = 1;

    CGridCtrl& Grid() { return grid_; }
    const CGridCtrl& Grid() const { return grid_; }
    // Rows count from 1, as in the grid (row 0 is the header).
    int RowCount() const { return static_cast<int>(rows_.size()); }
    const Row& RowInfo(int row) const { return rows_.at(row - 1); }
    std::string Value(int row) const { return grid_.GetCellText(row, kValueColumn); }
    // The text-file key of a row, with its colon and space ("WebConfig03: ").
    std::string Key(int row) const;
    const std::string& Section() const { return section_; }

    void LoadDefaults() override;
    void LoadFromDocument(QorDoc& doc) override;
    void QueueParameters(QorDoc& doc) override;
    void StoreToDocument(QorDoc& doc, bool force) override;
    bool DiffersFromDocument(QorDoc& doc) override;
    void WriteSection(CTextOutFile& file, QorDoc& doc) override;
    void ReadSection(CConfigTextReader& reader) override;
    void ExchangeDcf(CDcfArchive& archive) override;
    // The values live in the cells; an edit still open is ended (and checked) here.
    bool TakeControlValues() override;
    bool EndOpenEdit() override { return grid_.CommitEdit(); }

protected:
    // queueFirst..queueLast are the identifiers the page queues, which may include one that
    // no row shows.
    CWebGridPage(CPageHost& host, const char* header0, const char* header1, std::vector<Row> rows,
                 std::string section, std::string keyPrefix, int queueFirst, int queueLast);

private:
    bool BuildGrid(const char* header0, const char* header1);

    CPageHost& host_;
    std::vector<Row> rows_;
    std::string section_;
    std::string keyPrefix_;
    int queueFirst_;
    int queueLast_;
    CGridCtrl grid_;
};

// The "Web Config" tab: texts, links, titles and passwords of the module's web pages.
class CWebConfigPage : public CWebGridPage {
public:
    static constexpr const char* kSection = "[WebConfig]";

    explicit CWebConfigPage(CPageHost& host);
};

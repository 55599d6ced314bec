#pragma once

#include <optional>
#include <string>

#include "controls/grid_ctrl.h"
#include "pages/config_page.h"

class CPageHost;
struct CellClassRecord;

// The "Message Routing" tab: for each of the 50 message destinations 0..49 the IP address the
// module forwards its messages to. The values live only in the grid's address column.
class CRoutingPage : public CConfigPage {
public:
    static constexpr int kGridId = 1027;
    static constexpr int kRouteCount = 50;
    static constexpr int kAddressColumn = 2;
    static constexpr const char* kHeaders[3] = {"Destn", "Config", "IP Address"};
    static constexpr const char* kDefaultRoute = "000.000.000.000";
    static constexpr const char* kSection = "[Routing]";

    explicit CRoutingPage(CPageHost& host);

    CGridCtrl& Grid() { return grid_; }
    // The address of destination d (0..49), grid row d + 1.
    std::string Route(int d) const { return grid_.GetCellText(d + 1, kAddressColumn); }

    void ExchangeDcf(CDcfArchive& archive) override;
    void LoadDefaults() override;
    void LoadFromDocument(QorDoc& doc) override;
    void QueueParameters(QorDoc& doc) override;
    void StoreToDocument(QorDoc& doc, bool force) override;
    void WriteSection(CTextOutFile& file, QorDoc& doc) override;
    void ReadSection(CConfigTextReader& reader) override;
    bool DiffersFromDocument(QorDoc& doc) override;
    bool EndOpenEdit() override { return grid_.CommitEdit(); }

private:
    CPageHost& host_;
    CGridCtrl grid_;
};

// Builds the numbered 51 x 3 grid of the routing and e-mail pages: one header row with the
// three headers, two header columns numbering the rows (row r shows r + firstNumber - 1 and
// r + firstNumber + 99), the value column made of cells of valueClass, every cell centred on
// one line, and the grid's switches as both pages use them. Shows the out-of-memory message
// and throws std::bad_alloc when the grid cannot be built.
void BuildNumberedGrid(CGridCtrl& grid, const char* const (&headers)[3], int firstNumber,
                       const CellClassRecord& valueClass);

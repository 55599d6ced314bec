#include "pages/web_data_desc_page.h"

#include "controls/grid_cell_checks.h"
#include "model/qor_doc.h"

namespace {

constexpr int kDataPages = 4;
constexpr int kRowsPerPage = 10;

std::vector<CWebGridPage::Row> WebDataDescRows() {
    std::vector<CWebGridPage::Row> rows;
    for (int r = 1; r <= kDataPages * kRowsPerPage; ++r) {
        int page = (r - 1) / kRowsPerPage + 1;
        int n = (r - 1) % kRowsPerPage + 1;
        rows.push_back({"Page " + std::to_string(page) + " Row " + std::to_string(n) + " Name",
                        &CGridCellWebDefault::kClass, "", QorDoc::kIdFirstWebDataDesc - 1 + r});
    }
    return rows;
}

}  // namespace

CWebDataDescPage::CWebDataDescPage(CPageHost& host)
    : CWebGridPage(host, "Location", "Value", WebDataDescRows(), kSection, "WebDataDesc",
                   QorDoc::kIdFirstWebDataDesc,
                   QorDoc::kIdFirstWebDataDesc + kDataPages * kRowsPerPage - 1) {}

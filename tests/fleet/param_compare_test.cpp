// Comparing two configurations names each difference by its page and its text-file key, the
// key a person finds in the file.
#include "fleet/param_compare.h"

#include <gtest/gtest.h>

#include "app/utility_dlg.h"
#include "fleet/fleet_ui_host.h"
#include "model/qor_doc.h"

namespace {

struct Window {
    Window() { dlg.Start(); }
    FleetUiHost ui;
    CUtilityDlg dlg{ui};
};

TEST(ParamCompareTest, ADifferenceNamesThePageAndTheFilesKey) {
    struct Case {
        int id;
        std::string value, page, key, before;
    } cases[] = {
        {QorDoc::kIdFirstWebConfig, "Plant", "Web Config", "WebConfig01", "QORW Home Page"},
        {QorDoc::kIdFirstWebConfig + 2, "Line", "Web Config", "WebConfig02", "User Defined URL 1"},
        {QorDoc::kIdFirstWebConfig + 3, "x.html", "Web Config", "WebConfig03", ""},
        {QorDoc::kIdFirstWebDataDesc, "Flow", "Web Data Desc", "WebDataDesc01", ""},
        {QorDoc::kIdDiagnostics - 1, "Level", "Web Data Desc", "WebDataDesc40", ""},
        {0, "010.000.000.001", "Message Routing", "Route00", "000.000.000.000"},
        {QorDoc::kIdFirstEmailDest, "a@b.c", "Email", "Address50", ""},
        {QorDoc::kIdIpAddress, "010.000.000.009", "QOR IP Addr", "IPAddress", "000.000.000.000"},
        {QorDoc::kIdSmtpAuth, "1", "Email", "SMTP Authentication", "NO"},
    };
    Window a;
    const std::vector<ParamValue> before = ConfigurationOf(a.dlg);
    for (const Case& c : cases) {
        Window b;
        b.dlg.Doc().SET(c.id, c.value);
        std::vector<ParamDifference> d = CompareConfigurations(before, ConfigurationOf(b.dlg));
        ASSERT_EQ(d.size(), 1u) << c.key;
        EXPECT_EQ(d[0].page, c.page);
        EXPECT_EQ(d[0].key, c.key);
        EXPECT_EQ(d[0].first, c.before) << c.key;
        EXPECT_EQ(DifferenceLine(d[0]), c.page + '\t' + c.key + '\t' + c.before + '\t' +
                                            (c.id == QorDoc::kIdSmtpAuth ? "YES" : c.value));
    }
}

TEST(ParamCompareTest, EveryKeyComparedIsOneTheTextFileHolds) {
    Window w;
    const std::string text = w.dlg.ConfigurationText();
    for (const ParamValue& v : ConfigurationOf(w.dlg))
        EXPECT_NE(text.find("\r\n" + v.key + ": "), std::string::npos) << v.key;
}

}  // namespace

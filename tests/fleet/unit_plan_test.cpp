// The units table turned into a plan: each row's values in the module's character set, checked
// by the pages, refusals naming row, column and the check's own message; then the same through
// the real qorwctl against a simulated module.
#include "fleet/unit_plan.h"

#include <gtest/gtest.h>

#include "files/temp_dir.h"
#include "fleet/fleet_sims.h"
#include "support/qorwctl_process.h"

namespace {

class UnitPlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The template: what a module holds, read back (series B/C, Bootp, 010.000.000.100).
        DeviceWindow w(sim.Path());
        ASSERT_TRUE(w.Upload());
        ASSERT_TRUE(w.dlg.SaveTextFile(dir.File("site.txt")));
        sim.sim->ClearRequests();
    }
    PlanResult Build(const std::string& csv) {
        dir.Write("units.csv", csv);
        return BuildUnitPlan(dir.File("site.txt"), dir.File("units.csv"), plan, error);
    }
    // The error without the folder the table is in.
    // The error with the test's folder left out of every line.
    std::string Error() const {
        std::string text = error;
        for (size_t at; (at = text.find(dir.Path() + "/")) != std::string::npos;)
            text.erase(at, dir.Path().size() + 1);
        return text;
    }

    TempDir dir;
    FleetSim sim{1};
    UnitPlan plan;
    std::string error;
};

TEST_F(UnitPlanTest, ValuesReachThePlanInTheModulesCharacterSet) {
    std::string accents;
    for (int i = 0; i < 45; ++i)
        accents += "\xC3\xA9";  // é: 45 characters, 90 bytes of UTF-8
    struct Case {
        std::string csv;
        std::string column, value;  // the first row's first column, as the module gets it
    } cases[] = {
        {"WebConfig01\nCaf\xC3\xA9\n", "WebConfig01", "Caf\xE9"},
        {"\xEF\xBB\xBF"
         "From\nm\xC3\xBCller@plant.example\n",
         "From", "m\xFCller@plant.example"},
        {"WebDataDesc01\n" + accents + "\n", "WebDataDesc01", std::string(45, '\xE9')},
        {"WebConfig01\n\xC2\xA0\xC3\xBF\n", "WebConfig01", "\xA0\xFF"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Build(c.csv), PlanResult::Ok) << c.csv << ": " << error;
        ASSERT_EQ(plan.units.size(), 1u);
        const UnitConfig& u = plan.units[0];
        EXPECT_EQ(u.values,
                  (std::vector<std::pair<std::string, std::string>>{{c.column, c.value}}));
        EXPECT_NE(u.text.find("\r\n" + c.column + ": " + c.value + "\r\n"), std::string::npos)
            << u.text;
    }
    EXPECT_TRUE(sim.sim->Requests().empty());
}

TEST_F(UnitPlanTest, RefusesARowNamingRowColumnAndTheChecksOwnMessage) {
    const std::string row1 = "units.csv: row 1 (line 2), column ";
    struct Case {
        std::string csv;
        PlanResult result;
        std::string error;
    } cases[] = {
        // Encodings: refused before any page sees the value.
        {"WebConfig01\nab\xC3\n", PlanResult::Refused, row1 + "WebConfig01: not valid UTF-8"},
        {"WebConfig01\n\xC0\xAF\n", PlanResult::Refused, row1 + "WebConfig01: not valid UTF-8"},
        {"WebConfig01\n\xED\xA0\x80\n", PlanResult::Refused, row1 + "WebConfig01: not valid UTF-8"},
        {"WebConfig01\nCaf\xE9\n", PlanResult::Refused, row1 + "WebConfig01: not valid UTF-8"},
        {std::string("WebConfig01\nab\0cd\n", 17), PlanResult::Refused,
         row1 + "WebConfig01: a NUL character is not allowed"},
        {"WebConfig01\n10 \xE2\x82\xAC\n", PlanResult::Refused,
         row1 + "WebConfig01: \"\xE2\x82\xAC\" is not in the module's character set (Latin-1)"},
        {"WebDataDesc02\n5 k\xCE\xA9\n", PlanResult::Refused,
         row1 + "WebDataDesc02: \"\xCE\xA9\" is not in the module's character set (Latin-1)"},
        // The pages' checks: an edit field, grid cells, an address field, a list.
        {"From\nnobody\n", PlanResult::Refused,
         row1 + "From (\"nobody\"): \"@\" symbol IS required."},
        {"Address50\na b@c\n", PlanResult::Refused,
         row1 + "Address50 (\"a b@c\"): Spaces not allowed."},
        {"WebConfig01\n" + std::string(46, 'x') + "\n", PlanResult::Refused,
         row1 + "WebConfig01 (\"" + std::string(46, 'x') +
             "\"): Length cannot exceed 45 characters."},
        {"IPAddress\n10.1.2.x\n", PlanResult::Refused,
         row1 + "IPAddress (\"10.1.2.x\"): \"IPAddress: \" parameter in error."},
        {"Baud\n9601\n", PlanResult::Refused,
         row1 + "Baud (\"9601\"): \"Baud: \" parameter in error."},
        // The column named is the one refused, on the row refused.
        {"IPAddress,From\n10.1.2.3,a@b.c\n\"10.1.2.4\",\"c\xC3\xA9\"\n", PlanResult::Refused,
         "units.csv: row 2 (line 3), column From (\"c\xC3\xA9\"): \"@\" symbol IS required."},
        {"From\n\"a@b\nc\"\n", PlanResult::Refused, row1 + "From: a value cannot span lines"},
        {"IPAddress,EthernetAddress\n10.1.2.3,00:20:4A\n", PlanResult::Refused,
         row1 + "EthernetAddress (\"00:20:4A\"): not a hardware address"},
        // Whole-table checks.
        {"IPAddress\n", PlanResult::Usage, "units.csv: the table has no rows"},
        {"\xEF\xBB\xBFIPAddress\r\n\r\n", PlanResult::Usage, "units.csv: the table has no rows"},
        {"IPAddress\n10.1.2.3\n10.1.2.4\n010.001.002.003\n", PlanResult::Refused,
         "units.csv: rows 1 and 3 give the same IP address 010.001.002.003"},
        {"IPAddress,EthernetAddress\n10.1.2.3,00:00:bc:1a:2b:01\n10.1.2.4,0000BC1A2B01\n",
         PlanResult::Refused,
         "units.csv: rows 1 and 2 name the same hardware address "
         "00:00:BC:1A:2B:01"},
        // Every problem of the table, one a line, in row order.
        {"IPAddress,From\nx,a@b.c\n10.1.2.4,nobody\n10.1.2.5,a@b.c\n10.1.2.5,a@b.c\n",
         PlanResult::Refused,
         "units.csv: row 1 (line 2), column IPAddress (\"x\"): \"IPAddress: \" parameter in "
         "error.\n"
         "units.csv: row 2 (line 3), column From (\"nobody\"): \"@\" symbol IS required.\n"
         "units.csv: rows 3 and 4 give the same IP address 010.001.002.005"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Build(c.csv), c.result) << c.csv;
        EXPECT_EQ(Error(), c.error) << c.csv;
    }
    EXPECT_TRUE(sim.sim->Requests().empty());
}

TEST_F(UnitPlanTest, RowsWithoutAnAddressClashWithNothing) {
    // The template's own address is none; rows that leave it, or give none, ask by BOOTP or
    // DHCP, and any number of them make a plan.
    std::string site = ReadFileBytes(dir.File("site.txt"));
    site.replace(site.find("IPAddress: 010.000.000.100"), 26, "IPAddress: 000.000.000.000");
    dir.Write("site.txt", site);
    const std::string tables[] = {
        "From\na@plant.example\nb@plant.example\n",
        "IPAddress,IpConfig\n0.0.0.0,DHCP\n000.000.000.000,Bootp\n10.1.2.3,Bootp\n",
    };
    for (const std::string& csv : tables) {
        EXPECT_EQ(Build(csv), PlanResult::Ok) << csv << ": " << error;
        EXPECT_EQ(plan.units[1].ip, "000.000.000.000");
    }
}

TEST_F(UnitPlanTest, TheTemplatesFingerprintIsTheSha256OfItsConfigurationText) {
    {
        // Read from the module, the .dcf names it; the text file does not when loaded.
        DeviceWindow w(sim.Path());
        ASSERT_TRUE(w.Upload());
        ASSERT_TRUE(w.dlg.SaveDcfFile(dir.File("site.dcf")));
    }
    std::string other = ReadFileBytes(dir.File("site.txt"));
    other.replace(other.find("IPAddress: 010.000.000.100"), 26, "IPAddress: 010.000.000.101");
    dir.Write("other.txt", other);

    // What the text save wrote, less the module's identity, hashed by other programs.
    FILE* out = ::popen(("awk '/^\\[/ { skip = /^\\[(QorConfiguration|Device|Diagnostics)\\]/ } "
                         "!skip' '" +
                         dir.File("site.txt") + "' | sha256sum")
                            .c_str(),
                        "r");
    char sum[13] = {};
    ASSERT_TRUE(out && std::fread(sum, 1, 12, out) == 12);
    ::pclose(out);
    const std::string site = TemplateFingerprint(dir.File("site.txt"), error);
    EXPECT_EQ(site, sum);
    EXPECT_EQ(TemplateFingerprint(dir.File("site.dcf"), error), site);
    EXPECT_NE(TemplateFingerprint(dir.File("other.txt"), error), site);
    ASSERT_EQ(Build("IPAddress\n10.1.2.11\n"), PlanResult::Ok) << error;
    EXPECT_EQ(plan.fingerprint, site);

    error.clear();
    EXPECT_EQ(TemplateFingerprint(dir.File("none.txt"), error), "");
    EXPECT_EQ(error.rfind(dir.File("none.txt") + ": ", 0), 0u) << error;
}

// The same through the real program, and what reaches the module.
TEST_F(UnitPlanTest, QorwctlProvisionsLatin1AndVerifyAgreesWithTheRow) {
    dir.Write("units.csv", "\xEF\xBB\xBFIPAddress,WebConfig01\n10.1.2.11,Caf\xC3\xA9\n");
    QorwctlProcess run(
        dir, {"provision", "--template", "site.txt", "--units", "units.csv", "--port", sim.Path()});
    ASSERT_EQ(run.Wait(), 0) << run.Err();
    {
        // Web text 1 holds one byte for "é".
        DeviceWindow w(sim.Path());
        ASSERT_TRUE(w.Upload());
        EXPECT_EQ(w.dlg.WebConfigPage().Value(1), "Caf\xE9");
    }

    std::string row = ReadFileBytes(dir.File("site.txt"));
    row.replace(row.find("IPAddress: 010.000.000.100"), 26, "IPAddress: 010.001.002.011");
    const std::string title = "WebConfig01: ";
    size_t at = row.find(title) + title.size();
    row.replace(at, row.find("\r\n", at) - at, "Caf\xE9");
    dir.Write("row.txt", row);
    QorwctlProcess verify(dir, {"--port", sim.Path(), "verify", "row.txt"});
    EXPECT_EQ(verify.Wait(), 0) << verify.Out() << verify.Err();
}

TEST_F(UnitPlanTest, QorwctlRefusesBeforeAnyPortIsOpened) {
    const std::pair<std::string, int> cases[] = {
        {"From\nnobody\n", 1},
        {"WebConfig01\n\xE2\x82\xAC 5\n", 1},
        {"IPAddress\n", 2},
    };
    for (const auto& [csv, status] : cases) {
        dir.Write("units.csv", csv);
        QorwctlProcess run(dir, {"provision", "--template", "site.txt", "--units", "units.csv",
                                 "--port", sim.Path()});
        EXPECT_EQ(run.Wait(), status) << csv;
        Build(csv);
        EXPECT_EQ(run.Err().substr(0, run.Err().find('\n')), "qorwctl: " + Error());
    }
    EXPECT_TRUE(sim.sim->Requests().empty());
}

}  // namespace

#include <gtest/gtest.h>

#include "controls/grid_cell_checks.h"
#include "controls/grid_ctrl.h"
#include "support/scripted_ui_host.h"

namespace {

struct CheckCase {
    const CellClassRecord* cls;
    std::string text;
    std::string message;  // empty: accepted
};

std::string Repeat(char c, size_t n) { return std::string(n, c); }

class CellCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CellCheck, AcceptsOrRefusesWithItsMessage) {
    const CheckCase& tc = GetParam();
    ScriptedUiHost ui;
    ui.AllowMessages();
    auto cell = tc.cls->create();
    const bool accepted = cell->CheckEntry(ui, tc.text);
    EXPECT_EQ(accepted, tc.message.empty()) << tc.cls->className << " \"" << tc.text << '"';
    if (tc.message.empty()) {
        EXPECT_TRUE(ui.Messages().empty());
        return;
    }
    ASSERT_EQ(ui.Messages().size(), 1u);
    const auto& shown = ui.Messages()[0];
    EXPECT_EQ(shown.text, tc.message);
    EXPECT_EQ(shown.caption, "QOR / QORW Utility");
    EXPECT_EQ(shown.icon, UiHost::Icon::Exclamation);
    EXPECT_EQ(shown.buttons, UiHost::Buttons::Ok);
}

const std::string kSpaces = "Spaces not allowed.";
const std::string kLong45 = "Length cannot exceed 45 characters.";
const std::string kControls = "Control characters not allowed.";

const CheckCase kCases[] = {
    // e-mail destination
    {&CGridCellEmailDstn::kClass, "", ""},
    {&CGridCellEmailDstn::kClass, "a b@c", kSpaces},
    {&CGridCellEmailDstn::kClass, "abc", "\"@\" symbol IS required."},
    {&CGridCellEmailDstn::kClass, "@", ""},
    {&CGridCellEmailDstn::kClass, "service@example.com", ""},
    {&CGridCellEmailDstn::kClass, Repeat('a', 44) + "@", ""},
    {&CGridCellEmailDstn::kClass, Repeat('a', 45) + "@", kLong45},
    {&CGridCellEmailDstn::kClass, Repeat('a', 46), "\"@\" symbol IS required."},
    // IP address: host rules of the address entry
    {&CGridCellIPAddr::kClass, "010.000.000.001", ""},
    {&CGridCellIPAddr::kClass, "000.000.000.000", ""},
    {&CGridCellIPAddr::kClass, "223.255.255.254", ""},
    {&CGridCellIPAddr::kClass, "10.0.0.1",
     "Please enter 3 digit characters per octet.\nRange of possible correct values are 000 thru 255."},
    {&CGridCellIPAddr::kClass, "", "Missing value in IP address."},
    {&CGridCellIPAddr::kClass, "1", "Missing IP address '.' delimiter."},
    {&CGridCellIPAddr::kClass, "192.168.001.255",
     "255 is a reserved value for the IP address fourth octet.\nPlease specify another value "
     "between 0 and 254 for this field."},
    {&CGridCellIPAddr::kClass, "169.254.000.001",
     "Auto IP values 169.254 and 169.255 are not allowed for the first two IP address "
     "octets.\nPlease specify a value lower than 254 for the second octet."},
    {&CGridCellIPAddr::kClass, "010.000.000.001x", "Extraneous IP address characters."},
    {&CGridCellIPAddr::kClass, "300.000.000.001",
     "300 is not a valid entry.\nPlease specify a value between 0 and 255 for this field."},
    {&CGridCellIPAddr::kClass, "127.000.000.001",
     "127 and greater than 223 are reserved values for the first IP address octet.\nPlease "
     "specify another value between 0 and 223 for this field."},
    {&CGridCellIPAddr::kClass, "000.000.001.000",
     "All IP address octects must be 0 when first one is."},
    {&CGridCellIPAddr::kClass, "255.255.255.000",
     "127 and greater than 223 are reserved values for the first IP address octet.\nPlease "
     "specify another value between 0 and 223 for this field."},
    // password
    {&CGridCellWebPassword::kClass, "", ""},
    {&CGridCellWebPassword::kClass, "12345678", ""},
    {&CGridCellWebPassword::kClass, "123456789", "Length cannot exceed 8 characters."},
    {&CGridCellWebPassword::kClass, "ab cd", kSpaces},
    {&CGridCellWebPassword::kClass, "a b c d e", kSpaces},
    // URL
    {&CGridCellWebURL::kClass, "", ""},
    {&CGridCellWebURL::kClass, Repeat('u', 45), ""},
    {&CGridCellWebURL::kClass, Repeat('u', 46), kLong45},
    {&CGridCellWebURL::kClass, "a b", kSpaces},
    {&CGridCellWebURL::kClass, "http://qor/index.htm", ""},
    // free text
    {&CGridCellWebDefault::kClass, "QORW Home Page", ""},
    {&CGridCellWebDefault::kClass, "", ""},
    {&CGridCellWebDefault::kClass, Repeat(' ', 45), ""},
    {&CGridCellWebDefault::kClass, Repeat('t', 46), kLong45},
    // control characters, tested before everything else (a NUL counts too); a TAB breaks no file
    {&CGridCellEmailDstn::kClass, "a b\r\n@c", kControls},
    {&CGridCellEmailDstn::kClass, std::string("ope\x01\0x@plant.example", 20), kControls},
    {&CGridCellWebPassword::kClass, "pa\tss", ""},
    {&CGridCellWebPassword::kClass, "pa\vss", kControls},
    {&CGridCellWebURL::kClass, "http://qor/\x7F", kControls},
    {&CGridCellWebDefault::kClass, "Title\n" + Repeat('t', 50), kControls},
    {&CGridCellWebDefault::kClass, "Caf\xE9 Home", ""},
    // the address cell's digit messages already refuse them
    {&CGridCellIPAddr::kClass, "010.000.000.001\r\n", "Extraneous IP address characters."},
    {&CGridCellIPAddr::kClass, std::string("010.000.0\0.001", 14),
     "Please enter 3 digit characters per octet.\nRange of possible correct values are 000 thru 255."},
    // the plain cell takes anything
    {&CGridCell::kClass, Repeat(' ', 300), ""},
};

INSTANTIATE_TEST_SUITE_P(Table, CellCheck, ::testing::ValuesIn(kCases));

TEST(CellClassRecord, NamesFactoriesAndDescent) {
    const CellClassRecord* validating[] = {&CGridCellEmailDstn::kClass, &CGridCellIPAddr::kClass,
                                           &CGridCellWebPassword::kClass, &CGridCellWebURL::kClass,
                                           &CGridCellWebDefault::kClass};
    const char* names[] = {"CGridCellEmailDstn", "CGridCellIPAddr", "CGridCellWebPassword",
                           "CGridCellWebURL", "CGridCellWebDefault"};
    for (int i = 0; i < 5; ++i) {
        const CellClassRecord& cls = *validating[i];
        EXPECT_STREQ(cls.className, names[i]);
        EXPECT_EQ(cls.base, &CGridCell::kClass);
        EXPECT_TRUE(cls.IsDerivedFrom(CGridCellBase::kClass));
        EXPECT_FALSE(cls.IsDerivedFrom(CGridDefaultCell::kClass));
        auto cell = cls.create();
        EXPECT_EQ(&cell->GetRuntimeClass(), &cls);
        EXPECT_TRUE(cell->IsKindOf(CGridCell::kClass));
    }
    EXPECT_STREQ(CGridDefaultCell::kClass.className, "CGridDefaultCell");
    EXPECT_EQ(CGridCellBase::kClass.create, nullptr);
    EXPECT_FALSE(CGridCell::kClass.IsDerivedFrom(CGridCellIPAddr::kClass));
}

}  // namespace

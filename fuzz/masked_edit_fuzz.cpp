// The masked edit field fed arbitrary key, character, clipboard and selection sequences. After
// every step the displayed text has one character per mask element, the literals stand where
// the mask put them, every input position holds the prompt or a character it accepts, and the
// caret and the selection lie inside the text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "controls/ip_addr_edit.h"
#include "controls/masked_edit.h"
#include "fuzz_host.h"

namespace {

struct Expected {
    bool input;
    char literal;
};

// The elements a mask should give, worked out here independently of the field.
std::vector<Expected> ExpectedElements(const std::string& mask, const MaskSeparators& sep) {
    std::vector<Expected> out;
    for (size_t i = 0; i < mask.size(); ++i) {
        char m = mask[i];
        switch (m) {
            case '#': case 'A': case '?': case '>': case '<': case '&':
                out.push_back({true, 0});
                break;
            case '.': out.push_back({false, sep.decimal}); break;
            case ',': out.push_back({false, sep.thousands}); break;
            case ':': out.push_back({false, sep.time}); break;
            case '/': out.push_back({false, sep.date}); break;
            case '\\':
                if (i + 1 < mask.size()) {
                    out.push_back({false, mask[++i]});
                    break;
                }
                out.push_back({false, '\\'});  // a lone last backslash: left open, taken as itself
                break;
            default:
                out.push_back({false, m});
                break;
        }
    }
    return out;
}

void CheckInvariants(const CMaskedEdit& f, const std::vector<Expected>& expected) {
    const std::string& text = f.GetText();
    const int len = static_cast<int>(text.size());
    FUZZ_CHECK(f.Anchor() >= 0 && f.Anchor() <= len);
    FUZZ_CHECK(f.Caret() >= 0 && f.Caret() <= len);
    if (!f.HasMask()) {
        FUZZ_CHECK(expected.empty());
        return;
    }
    const auto& el = f.Elements();
    FUZZ_CHECK(el.size() == expected.size());
    FUZZ_CHECK(text.size() == el.size());
    for (size_t i = 0; i < el.size(); ++i) {
        FUZZ_CHECK(text[i] == el[i].ch);
        FUZZ_CHECK(el[i].IsInput() == expected[i].input);
        if (!expected[i].input) {
            FUZZ_CHECK(el[i].ch == expected[i].literal);
        } else if (el[i].ch != f.PromptChar()) {
            FUZZ_CHECK(el[i].Accepts(el[i].ch));
            FUZZ_CHECK(el[i].Stored(el[i].ch) == el[i].ch);
        }
    }
    FUZZ_CHECK(static_cast<int>(f.InputChars().size()) ==
               static_cast<int>(std::count_if(expected.begin(), expected.end(),
                                              [](const Expected& e) { return e.input; })));
}

const char* const kMasks[] = {
    "###.###.###.###", "(###) ###-####", "##/##/####", "##:##", ">?<????", "AAAA-AAAA",
    "&&&&&&&&", "\\#\\\\##", "#,###.##", "\\", "...", "#", "a#b#c", "\\A\\?#",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    FuzzUiHost ui;

    const uint8_t mode = in.Byte() % 4;
    MaskSeparators sep;
    std::unique_ptr<CMaskedEdit> field;
    std::unique_ptr<CIPAddrEdit> subnet;
    std::string mask;
    if (mode == 0) {
        auto ip = std::make_unique<CIPAddrEdit>(ui, static_cast<IpFieldKind>(in.Byte() % 3));
        if (in.Byte() & 1) {
            subnet = std::make_unique<CIPAddrEdit>(ui, IpFieldKind::SubnetMask);
            ip->SetSubnetField(subnet.get());
        }
        mask = CIPAddrEdit::kMask;
        sep = MaskSeparators{'.', '.', '.', '.'};
        field = std::move(ip);
    } else {
        if (mode == 2) {
            mask = in.Text(24);
        } else if (mode == 3) {
            mask = kMasks[in.Byte() % (sizeof kMasks / sizeof kMasks[0])];
        }
        sep.decimal = static_cast<char>(in.Byte());
        sep.thousands = static_cast<char>(in.Byte());
        field = std::make_unique<CMaskedEdit>(ui, mask, sep);
    }
    std::vector<Expected> expected = ExpectedElements(mask, field->Separators());
    CheckInvariants(*field, expected);

    for (int step = 0; step < 256 && !in.Empty(); ++step) {
        const int n = static_cast<int>(field->GetText().size());
        const std::string before = field->GetText();
        bool keepsText = false;
        switch (in.Byte() % 20) {
            case 0: case 1: case 2: {
                uint8_t k = in.Byte();
                auto key = static_cast<CMaskedEdit::Key>(k % 8);
                bool shift = (k & 0x10) != 0, ctrl = (k & 0x20) != 0;
                // Every key but Delete and the clipboard shortcuts only moves the caret.
                keepsText = key != CMaskedEdit::Key::Delete && key != CMaskedEdit::Key::Insert;
                field->KeyDown(key, shift, ctrl);
                break;
            }
            case 3: case 4: case 5: case 6:
                field->Char(static_cast<char>(in.Byte()));
                break;
            case 7:
                field->Char('\b');
                break;
            case 8:
                field->SetSel(in.Int(-2, n + 2), in.Int(-2, n + 2));
                keepsText = true;
                break;
            case 9:
                ui.clipboard = in.Text(40);
                field->Paste();
                break;
            case 10:
                field->Cut();
                break;
            case 11:
                field->Copy();
                keepsText = true;
                break;
            case 12:
                field->Clear();
                break;
            case 13:
                field->SetText(in.Text(40));
                break;
            case 14:
                field->SetPromptChar(static_cast<char>(in.Byte()));
                break;
            case 15: {
                uint8_t f = in.Byte();
                if (f & 1) {
                    field->SetFocus((f & 2) != 0);
                } else if (f & 2) {
                    field->KillFocus();
                    field->Leave();
                } else {
                    field->MouseDown(in.Int(-1, n + 1));
                }
                keepsText = (f & 1) || !(f & 2) || mode != 0;
                break;
            }
            case 16: {
                std::string t = in.Text(30);
                int from = in.Int(-2, 20);
                field->PlaceInput(t, from, (in.Byte() & 1) != 0);
                break;
            }
            case 17: {
                int a = in.Int(-2, n + 2), b = in.Int(-2, n + 2);
                if (in.Byte() & 1) {
                    field->RemoveInput(a, b);
                } else {
                    // OverwriteInput leaves the rewrite to its caller, so it is reached through
                    // Char in overwrite mode only.
                    int at = field->InsertInput(a, static_cast<char>(in.Byte()));
                    FUZZ_CHECK(at == -1 || field->IsInputPos(at));
                }
                break;
            }
            case 18: {
                uint8_t f = in.Byte();
                if (f & 1)
                    field->SetReadOnly((f & 2) != 0);
                else if (f & 4)
                    field->SetPassword((f & 8) != 0);
                else
                    field->SetLimitText(in.Int(-1, 20));
                keepsText = true;
                break;
            }
            case 19: {
                if (mode == 0) {
                    auto* ip = static_cast<CIPAddrEdit*>(field.get());
                    uint8_t octets[4] = {in.Byte(), in.Byte(), in.Byte(), in.Byte()};
                    if (in.Byte() & 1) {
                        ip->SetAddress(octets);
                        FUZZ_CHECK(ip->GetText() == CIPAddrEdit::FormatAddress(octets));
                    } else {
                        uint8_t got[4];
                        if (ip->GetAddress(got))
                            FUZZ_CHECK(CIPAddrEdit::FormatAddress(got) == ip->GetText());
                    }
                } else if (in.Byte() & 1) {
                    mask = in.Text(24);
                    field->ApplyMask(mask);
                    expected = ExpectedElements(mask, field->Separators());
                    FUZZ_CHECK(field->AllInputEmpty());
                }
                break;
            }
        }
        CheckInvariants(*field, expected);
        if (keepsText)
            FUZZ_CHECK(field->GetText() == before);
        if (subnet)
            CheckInvariants(*subnet, ExpectedElements(CIPAddrEdit::kMask, subnet->Separators()));
    }
    return 0;
}

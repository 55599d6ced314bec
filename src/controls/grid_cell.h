#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CGridCellBase;
class CGridCtrl;
class CInPlaceEditor;
class UiHost;

// Run-time class record: lets the grid create cells by class and test descent.
struct CellClassRecord {
    const char* className;
    std::unique_ptr<CGridCellBase> (*create)();  // null for an abstract class
    const CellClassRecord* base;

    // True when this class is other or derives from it.
    bool IsDerivedFrom(const CellClassRecord& other) const;
};

// Cell state bits.
namespace GridState {
constexpr uint32_t kFocused = 0x01;
constexpr uint32_t kSelected = 0x02;
constexpr uint32_t kDropHighlighted = 0x04;
constexpr uint32_t kReadOnly = 0x08;
constexpr uint32_t kFixed = 0x10;
constexpr uint32_t kFixedRow = 0x20;
constexpr uint32_t kFixedColumn = 0x40;
constexpr uint32_t kModified = 0x80;
constexpr uint32_t kPositionBits = kFixed | kFixedRow | kFixedColumn;
}  // namespace GridState

// Cell format bits.
namespace CellFormat {
constexpr uint32_t kLeft = 0x0000;
constexpr uint32_t kCenter = 0x0001;
constexpr uint32_t kRight = 0x0002;
constexpr uint32_t kHorizontalMask = 0x0003;
constexpr uint32_t kVCenter = 0x0004;
constexpr uint32_t kSingleLine = 0x0020;
constexpr uint32_t kEndEllipsis = 0x8000;
}  // namespace CellFormat

// Keys as the grid and its editor take them. Codes 0x20..0xFF are typed characters; the named
// keys lie above them so that no character can be mistaken for a key.
enum GridKey : int {
    kKeyNone = 0,
    kKeyStart = 0x100,  // an edit started by F2 or the mouse: no typed key
    kKeyEnter,
    kKeyEscape,
    kKeyTab,
    kKeyBackspace,
    kKeyDelete,
    kKeyInsert,
    kKeyUp,
    kKeyDown,
    kKeyLeft,
    kKeyRight,
    kKeyPageUp,
    kKeyPageDown,
    kKeyHome,
    kKeyEnd,
    kKeyF2,
    kKeySpace = ' ',
};

// A rectangle in the grid's client coordinates (pixels), right and bottom exclusive.
struct GridRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const GridRect&) const = default;
};

struct CellFont {
    std::string family;
    int pointSize = 0;
    bool bold = false;
    bool italic = false;
    bool operator==(const CellFont&) const = default;
};

// Colour as 0x00RRGGBB; kDefaultColour means the grid's default applies.
constexpr uint32_t kDefaultColour = 0xFFFFFFFFu;

// The abstract cell. Fixed-position bits are kept up to date by the grid.
class CGridCellBase {
public:
    static const CellClassRecord kClass;

    virtual const CellClassRecord& GetRuntimeClass() const = 0;
    virtual ~CGridCellBase() = default;
    virtual CInPlaceEditor* GetEditor() const = 0;
    // Opens the in-place editor over rect; firstKey is a typed character or a GridKey.
    virtual bool OpenEditor(CGridCtrl& grid, int row, int col, const GridRect& rect, unsigned id,
                            int firstKey) = 0;
    // Accepts the proposed text, or shows one warning and refuses it. Changes nothing.
    virtual bool CheckEntry(UiHost& ui, const std::string& text) const = 0;
    // Ends the open edit, committing its text; nothing without one.
    virtual void CloseEditor() = 0;
    // The grid is done with the edit: the cell leaves its editing state.
    virtual void EndEdit() = 0;

    bool IsKindOf(const CellClassRecord& cls) const {
        return GetRuntimeClass().IsDerivedFrom(cls);
    }

    uint32_t GetState() const { return state_; }
    void SetState(uint32_t state) { state_ = state; }
    bool IsFocused() const { return state_ & GridState::kFocused; }
    bool IsSelected() const { return state_ & GridState::kSelected; }
    bool IsReadOnly() const { return state_ & GridState::kReadOnly; }
    bool IsFixed() const { return state_ & GridState::kFixed; }
    bool IsModified() const { return state_ & GridState::kModified; }

    virtual const std::string& GetText() const = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual int GetImage() const = 0;
    virtual void SetImage(int image) = 0;
    virtual uint64_t GetData() const = 0;
    virtual void SetData(uint64_t data) = 0;
    virtual uint32_t GetFormat() const = 0;
    virtual void SetFormat(uint32_t format) = 0;
    virtual uint32_t GetTextColour() const = 0;
    virtual void SetTextColour(uint32_t colour) = 0;
    virtual uint32_t GetBackColour() const = 0;
    virtual void SetBackColour(uint32_t colour) = 0;
    virtual const std::optional<CellFont>& GetFont() const = 0;
    virtual void SetFont(std::optional<CellFont> font) = 0;
    virtual int GetMargin() const = 0;  // -1: the grid's default
    virtual void SetMargin(int margin) = 0;
    virtual bool IsEditing() const = 0;

    // Takes over everything another cell holds, its open edit included.
    virtual void CopyFrom(const CGridCellBase& other);

protected:
    CGridCellBase() = default;
    CGridCellBase(const CGridCellBase&) = default;
    CGridCellBase& operator=(const CGridCellBase&) = default;

    // For CopyFrom across classes.
    virtual void TakeEdit(bool editing, CInPlaceEditor* editor) = 0;

private:
    uint32_t state_ = 0;
};

// The ordinary text cell; accepts every text.
class CGridCell : public CGridCellBase {
public:
    static const CellClassRecord kClass;
    static std::unique_ptr<CGridCellBase> Create();

    const CellClassRecord& GetRuntimeClass() const override { return kClass; }
    CInPlaceEditor* GetEditor() const override { return editor_; }
    bool OpenEditor(CGridCtrl& grid, int row, int col, const GridRect& rect, unsigned id,
                    int firstKey) override;
    bool CheckEntry(UiHost& ui, const std::string& text) const override;
    void CloseEditor() override;
    void EndEdit() override;

    const std::string& GetText() const override { return text_; }
    void SetText(const std::string& text) override { text_ = text; }
    int GetImage() const override { return image_; }
    void SetImage(int image) override { image_ = image; }
    uint64_t GetData() const override { return data_; }
    void SetData(uint64_t data) override { data_ = data; }
    uint32_t GetFormat() const override { return format_; }
    void SetFormat(uint32_t format) override { format_ = format; }
    uint32_t GetTextColour() const override { return textColour_; }
    void SetTextColour(uint32_t colour) override { textColour_ = colour; }
    uint32_t GetBackColour() const override { return backColour_; }
    void SetBackColour(uint32_t colour) override { backColour_ = colour; }
    const std::optional<CellFont>& GetFont() const override { return font_; }
    void SetFont(std::optional<CellFont> font) override { font_ = std::move(font); }
    int GetMargin() const override { return margin_; }
    void SetMargin(int margin) override { margin_ = margin; }
    bool IsEditing() const override { return editing_; }

protected:
    void TakeEdit(bool editing, CInPlaceEditor* editor) override {
        editing_ = editing;
        editor_ = editor;
    }

private:
    std::string text_;
    int image_ = -1;
    uint64_t data_ = 0;
    uint32_t format_ = CellFormat::kLeft | CellFormat::kVCenter | CellFormat::kSingleLine |
                       CellFormat::kEndEllipsis;
    uint32_t textColour_ = kDefaultColour;
    uint32_t backColour_ = kDefaultColour;
    std::optional<CellFont> font_;
    int margin_ = -1;
    bool editing_ = false;
    CInPlaceEditor* editor_ = nullptr;  // owned by the grid
};

// The grid's template for the default appearance of header and ordinary cells; never edited.
class CGridDefaultCell : public CGridCell {
public:
    static const CellClassRecord kClass;
    static std::unique_ptr<CGridCellBase> Create();

    const CellClassRecord& GetRuntimeClass() const override { return kClass; }
    bool OpenEditor(CGridCtrl&, int, int, const GridRect&, unsigned, int) override {
        return false;
    }
};

// CPMIconCombo: the owner-drawn drop-down list of the pages' picture choices
// (orientation, colour mode, trays, staple and punch positions...): every row
// a 32-pixel icon and a label, its item data the setting's value. Filled from
// a table of rows or from the constraint engine's value chain of a setting,
// so that it lists only what the current settings allow.
#pragma once

#include <cstddef>

#include "afxctl.h"
#include "list_helpers.h"

namespace sheetwright {

class CLocalize;
struct KinsokuChainNode;

// A row of the list: label string id, icon id, value, reserved (0). The
// pages' static tables have the same layout as the other combo boxes' rows.
using IconComboRow = ComboRow;
static_assert(sizeof(IconComboRow) == 16);
static_assert(offsetof(IconComboRow, stringId) == 0);
static_assert(offsetof(IconComboRow, iconId) == 4);
static_assert(offsetof(IconComboRow, itemData) == 8);
static_assert(offsetof(IconComboRow, spare) == 12);

// Picks the icon drawn for a row's value (instead of the row's own icon).
using IconChooser = DWORD (*)(LONG value, void* context);

class CPMIconCombo : public CComboBox {
  public:
    // Every item, and the selection field, is this many pixels high.
    static constexpr int kItemHeight = 36;
    // Labels are drawn up to this many characters.
    static constexpr int kLabelChars = 59;
    // More rows than this are refused: the row bytes stay well inside an int.
    static constexpr LONG kMaxRows = 0x7FFFFFF;

    CPMIconCombo() = default;
    ~CPMIconCombo() override;
    CPMIconCombo(const CPMIconCombo&) = delete;
    CPMIconCombo& operator=(const CPMIconCombo&) = delete;

    // Appends a copy of the row: 1, or 0 for a null row.
    BOOL AddItem(const IconComboRow* row);
    // Replaces the rows: 1 when the list holds the rows (unchanged when they
    // were the same), 0 while the list is dropped down (nothing changes) or
    // when no rows are given (the list is then empty). Nothing is selected
    // after a rebuild.
    BOOL SetRows(const IconComboRow* rows, LONG count);
    // The allowed values of a setting. When the rules refuse every value the
    // list is emptied and the control disabled (no stale choice stays on
    // show); it is enabled again by the next chain that allows a value.
    BOOL SetValueChain(const KinsokuChainNode* chain);
    BOOL SelectByData(LONG value);
    LRESULT GetSelData() const;
    const IconComboRow* GetSelRow() const;

    LONG RowCount() const { return count_; }
    const IconComboRow* Rows() const { return rows_; }
    // Where the labels come from (the owner's localisation); the current
    // resource module's string table without one.
    void SetStrings(CLocalize* strings) { strings_ = strings; }

    // Set by the owning page once the control is bound.
    IconChooser m_pfnIconChooser = nullptr;
    void* m_pChooserContext = nullptr;

    void DrawItem(LPDRAWITEMSTRUCT item) override;
    void MeasureItem(LPMEASUREITEMSTRUCT item) override;

  private:
    std::u16string Label(DWORD stringId) const;
    void FreeRows();
    void DrawFocus(HDC dc, const DRAWITEMSTRUCT& item) const;

    IconComboRow* rows_ = nullptr;
    LONG count_ = 0;
    CLocalize* strings_ = nullptr;
    bool disabledByRules_ = false;
};

// Whether visual styles are on: asked of the theme library, loaded by name
// and freed again. The answer is not kept, as the user may switch styles
// while a sheet is open.
BOOL AreVisualStylesActive();

} // namespace sheetwright

// The number and text edits as window objects of the class framework: a page
// binds one to its edit control (DDX_Control or SubclassDlgItem) and the
// edit's typing and pasting then follow the same rules as the plain-window
// edits of number_edits.h and input_edit.h.
#pragma once

#include <string>

#include "afxwin.h"
#include "input_edit.h"
#include "number_edits.h"

namespace sheetwright {

// Decimal numbers in the user's separator (or whole numbers only).
class CDoubleEdit : public CWnd {
  public:
    CDoubleEdit();
    void SetIntegersOnly(BOOL on) { state_.integersOnly = on ? 1 : 0; }
    const std::u16string& Separator() const { return state_.separator; }
    // The text with its separator normalised, read as a number (0 when unreadable).
    double GetValue() const;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    NumberEditState state_;
};

// Whole numbers; a "-" toggles the sign when negative numbers are allowed.
class CIntEdit : public CWnd {
  public:
    CIntEdit();
    void SetNegativeAllowed(BOOL on) { state_.negativeAllowed = on ? 1 : 0; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    NumberEditState state_;
};

// Text whose ANSI length stays within the edit's limit.
class CMultiByteLimitEdit : public CWnd {
  public:
    CMultiByteLimitEdit();

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    NumberEditState state_;
};

// An edit under the input rule; digits only until Setup gives it another rule.
class CMultiCapEdit : public CWnd {
  public:
    CMultiCapEdit();
    // The rule's flags, limit and extra characters set up on the bound window.
    void Setup(DWORD flags, DWORD limit, const char* extra = nullptr);
    const InputRule& Rule() const { return rule_; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    InputRule rule_{};
};

} // namespace sheetwright

#include "edit_classes.h"

namespace sheetwright {
namespace {

// The default rule of a capped edit: digits only, eight characters.
constexpr DWORD kCapEditFlags = kRuleRestricted | kRuleDigits;
constexpr DWORD kCapEditLimit = 8;

NumberEditState StateOf(NumberEditKind kind) {
    NumberEditState s;
    s.kind = kind;
    return s;
}

} // namespace

CDoubleEdit::CDoubleEdit() : state_(StateOf(NumberEditKind::Double)) {
    GetDecimalSeparator(&state_.separator);
}

double CDoubleEdit::GetValue() const {
    return GetDoubleEditValue(m_hWnd, state_.separator);
}

LRESULT CDoubleEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (NumberEditFilter(m_hWnd, state_, message, wParam)) return 0;
    return CWnd::WindowProc(message, wParam, lParam);
}

CIntEdit::CIntEdit() : state_(StateOf(NumberEditKind::Int)) {}

LRESULT CIntEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (NumberEditFilter(m_hWnd, state_, message, wParam)) return 0;
    return CWnd::WindowProc(message, wParam, lParam);
}

CMultiByteLimitEdit::CMultiByteLimitEdit() : state_(StateOf(NumberEditKind::MultiByteLimit)) {}

LRESULT CMultiByteLimitEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (NumberEditFilter(m_hWnd, state_, message, wParam)) return 0;
    return CWnd::WindowProc(message, wParam, lParam);
}

CMultiCapEdit::CMultiCapEdit() {
    FillInputRule(&rule_, kCapEditFlags, kCapEditLimit, nullptr);
}

void CMultiCapEdit::Setup(DWORD flags, DWORD limit, const char* extra) {
    SetupInputEdit(m_hWnd, flags, limit, extra, &rule_);
}

LRESULT CMultiCapEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (InputRuleFilter(m_hWnd, &rule_, message, wParam)) return 0;
    return CWnd::WindowProc(message, wParam, lParam);
}

} // namespace sheetwright

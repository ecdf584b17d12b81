#include "preview_pane.h"

namespace sheetwright {
namespace {

// Dialog units between the pane and the control below it.
constexpr LONG kGapBelowPane = 5;

} // namespace

BOOL CLeftBase::Init(SheetContext* context, int mode, LPVOID) {
    (void)mode; // the document pages' pane is the only one
    context_ = context;
    refreshes_ = 0;
    if (!m_hWnd) return FALSE;
    RECT pane{};
    ::GetWindowRect(m_hWnd, &pane);
    RECT gap{0, 0, 0, kGapBelowPane};
    if (HWND page = ::GetParent(m_hWnd)) ::MapDialogRect(page, &gap);
    verticalOffset_ = static_cast<WORD>(pane.bottom - pane.top + gap.bottom);
    return TRUE;
}

void CLeftBase::Refresh() {
    if (!m_hWnd || !context_) return;
    ++refreshes_;
    Invalidate();
    UpdateWindow();
}

} // namespace sheetwright

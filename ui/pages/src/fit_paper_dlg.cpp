#include "fit_paper_dlg.h"

#include "control_states.h"
#include "devmode_helpers.h"
#include "list_helpers.h"
#include "track_dm.h"
#include "win/resources.h"

namespace sheetwright {

BEGIN_MESSAGE_MAP(CFitOutputPaperDlg, CLayoutDlg)
ON_BN_CLICKED(CFitOutputPaperDlg::kAspectCheck, OnAspect)
END_MESSAGE_MAP()

CFitOutputPaperDlg::~CFitOutputPaperDlg() {
    if (stretched_) DeleteObject(stretched_);
    if (kept_) DeleteObject(kept_);
}

void CFitOutputPaperDlg::PrepareCopy() {
    DEVMODE_IMAGEW& im = Copy();
    PRIVATE_DEVMODE& p = im.priv;
    p.LayoutKind = layoutKind_;
    if (p.OutputPaperId == 0) {
        // No output paper yet: the document's own paper, with its own size
        // when the device mode gives one.
        p.OutputPaperId = static_cast<WORD>(im.dm.dmPaperSize);
        p.OutputPaperWidth = im.dm.dmPaperWidth;
        p.OutputPaperLength = im.dm.dmPaperLength;
        if (im.dm.dmFields & (DM_PAPERLENGTH | DM_PAPERWIDTH))
            p.PrivateFlags |= kOutputPaperOwnSize;
        else
            p.PrivateFlags &= ~kOutputPaperOwnSize;
    }
    if (SheetContext* c = Context()) {
        FixOversizeOutputPaper(c->printer, &c->model, c->userPapers, &im);
        if (c->tracker) c->tracker->Track(&im);
        ApplyRulesAndRefresh(c, &im, FALSE);
    }
}

void CFitOutputPaperDlg::InitControls() {
    // An output paper the list does not hold takes the list's first paper,
    // with that paper's own size and flags.
    HWND combo = Item(kOutputPaperCombo);
    const LRESULT count = combo ? ::SendMessageW(combo, CB_GETCOUNT, 0, 0) : 0;
    if (count > 0 && !SelectComboByData(combo, Copy().priv.OutputPaperId)) {
        const LRESULT first = ::SendMessageW(combo, CB_GETITEMDATA, 0, 0);
        if (first != CB_ERR) SetOutputPaper(Context(), &Copy(), static_cast<WORD>(first));
    }
    stretched_ = LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kStretchedPicture));
    kept_ = LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kKeptPicture));
}

HBITMAP CFitOutputPaperDlg::ShownPicture() const {
    HWND picture = ::GetDlgItem(m_hWnd, kPicture);
    return picture
               ? reinterpret_cast<HBITMAP>(::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0))
               : nullptr;
}

void CFitOutputPaperDlg::OnAspect() {
    const bool keep = ::SendMessageW(Item(kAspectCheck), BM_GETCHECK, 0, 0) == BST_CHECKED;
    Copy().priv.FitMode = keep ? 0 : 1;
    RefreshAll();
}

void CFitOutputPaperDlg::Refresh() {
    SelectOutputPaper();
    const bool keep = !Stretches(Copy().priv.FitMode);
    CheckRadio(kAspectCheck, keep);
    HBITMAP picture = keep ? kept_ : stretched_;
    if (HWND control = Item(kPicture); control && picture && ShownPicture() != picture)
        ::SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
}

} // namespace sheetwright

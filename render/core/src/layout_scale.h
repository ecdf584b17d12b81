// The layout scale of a spool-side job: how much the page layout the spool
// side will apply (pages per sheet, booklet, poster, fit to the output paper,
// zoom) shrinks or enlarges a recorded page, in percent. The recorder uses it
// to keep thin lines visible and big blits in pieces the player can stretch.
#pragma once

#include "devmode_private.h"
#include "win/types.h"

namespace inkforge {

struct PDEV;

constexpr WORD kFullScale = 100;
// The layout flag of the model that keeps a booklet's scale unrounded.
constexpr DWORD kBookletExactScale = 0x80;

// What the layout is computed from, copied from the device mode at the
// first page of the job.
struct LayoutInputs {
    WORD kind = 0;
    WORD pagesPerSheet = 0;
    WORD bindingMargin = 0;
    SHORT zoomPercent = kFullScale;
    WORD posterAcross = 0, posterDown = 0, posterOverlap = 0;
    WORD outputPaperId = 0;
    SHORT outputPaperWidth = 0, outputPaperLength = 0; // 0.1 mm, for a user size
    SHORT orientation = 0;
    WORD nupRotation = 0, bookletRotation = 0;
    DWORD layoutFlags = 0; // the model's booklet and binding layout word
};

// Width and length of a paper in pixels at 600 dpi.
struct PaperPixels {
    LONG width = 0, length = 0;
};

// The inputs of the device's current device mode and model.
LayoutInputs CopyLayoutInputs(PDEV* pdev);

// The job's paper and the layout's output paper; FALSE for a kind without an
// output paper or a paper that cannot be looked up.
BOOL GetPaperRect(PDEV* pdev, const LayoutInputs& in, PaperPixels* job, PaperPixels* output);

// The scale of each layout; turned says that the orientation changed since
// the first page and the layout's rotation field asks to turn the page.
WORD ComputeNupScale(const LayoutInputs& in, PaperPixels job, PaperPixels output, bool turned);
WORD ComputeBookletScale(const LayoutInputs& in, PaperPixels job, PaperPixels output, bool turned);
WORD ComputePosterScale(const LayoutInputs& in, PaperPixels job, PaperPixels output);
WORD ComputeFitScale(PaperPixels job, PaperPixels output);

// The scale of the page being started, from the inputs of the first page
// and the current orientation; 100 where the layout cannot be worked out.
WORD ComputeLayoutScale(PDEV* pdev, const LayoutInputs& in);

} // namespace inkforge

// The path and line hooks: each vector drawing call becomes drawing tokens
// in the printer stream, nothing (a destination-only mix, a page that is not
// printed), or FALSE so that the engine draws it itself (pattern brushes,
// long line styles, rotated geometric pens, and every call of a banded job,
// which the engine draws into the band as it is). On the spool-side road
// each call is recorded into the open page file.
#include "emf_job.h"
#include "emf_recorder.h"
#include "hooks.h"
#include "output_writer.h"
#include "pdev.h"
#include "vector_tokens.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr BYTE kRopDestination = 0xAA;
constexpr BYTE kRopInvert = 0x55;
constexpr BYTE kRopXorPattern = 0x5A;
constexpr ULONG kWhite = 0xFFFFFF;
constexpr ULONG kPatternBrush = 0xFFFFFFFF;
constexpr ULONG kMaxStyleEntries = 8;

enum class Entry { Draw, Record, Done, Fail };

// The checks every hook makes first; `done` is what a call that draws
// nothing answers.
Entry Enter(SURFOBJ* pso, MIX mix, PDEV** out) {
    PDEV* pdev = CheckedPdev(pso);
    if (!pdev) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return Entry::Fail;
    }
    if (pdev->jobFlags & job::Cancelled) return Entry::Fail;
    pdev->pollSurface = nullptr;
    if (!pdev->banding) {
        if (!(pdev->jobFlags & job::PageOpen)) return Entry::Done;
        if ((pdev->firstPageOnly & 1) && pdev->pageCount > 1) return Entry::Done;
    }
    if (kMixRop[mix & 0xF] == kRopDestination) return Entry::Done;
    if (pdev->modeFlags & mode::SpoolSide) {
        if (RecordingPage(pdev)) {
            *out = pdev;
            return Entry::Record;
        }
        return pdev->docStarted ? Entry::Fail : Entry::Done;
    }
    // On the band road the engine draws the call into the band itself.
    if (pdev->banding) return Entry::Fail;
    *out = pdev;
    return Entry::Draw;
}

BOOL Answer(Entry e) {
    return e == Entry::Done ? TRUE : FALSE;
}

bool Solid(const BRUSHOBJ* pbo) {
    return pbo && pbo->iSolidColor != kPatternBrush;
}
bool StyleFits(const LINEATTRS* la) {
    return !la || la->cstyle <= kMaxStyleEntries;
}

// Colour and raster operation of a mix: an inverting mix is a white source
// exclusive-or'ed onto the page.
struct Paint {
    ULONG color;
    DWORD rop;
    bool transparent;
};
Paint PaintOf(const BRUSHOBJ* pbo, MIX mix) {
    BYTE fg = kMixRop[mix & 0xF];
    BYTE bg = kMixRop[(mix >> 8) & 0xF];
    Paint p;
    p.color = fg == kRopInvert ? kWhite : pbo->iSolidColor;
    p.rop = fg == kRopInvert ? kRopXorPattern : fg;
    p.transparent = bg == kRopDestination;
    return p;
}

BOOL Pen(PDEV* pdev, const Paint& p, LINEATTRS* la, XFORMOBJ* pxo) {
    return SetPenColor(pdev, p.color) && SetLineAttributes(pdev, la, pxo) && SetRop(pdev, p.rop);
}

// A stroke paints the path's outline only.
BOOL StrokeTokens(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                  LINEATTRS* la, MIX mix) {
    Paint p = PaintOf(pbo, mix);
    return SetTransferModes(pdev, p.transparent) && SelectNoBrush(pdev) && Pen(pdev, p, la, pxo) &&
           PaintPathInClip(pdev, ppo, pco);
}

BOOL FillTokens(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, MIX mix, FLONG options) {
    Paint p = PaintOf(pbo, mix);
    return SetTransferModes(pdev, p.transparent) && SelectNoPen(pdev) &&
           SetBrushColor(pdev, p.color) && SetFillMode(pdev, options) && SetRop(pdev, p.rop) &&
           PaintPathInClip(pdev, ppo, pco);
}

} // namespace

BOOL APIENTRY DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                            POINTL*, LINEATTRS* plineattrs, MIX mix) {
    PDEV* pdev = nullptr;
    Entry e = Enter(pso, mix, &pdev);
    if (e == Entry::Record) return RecordStrokePath(pdev, ppo, pco, pxo, pbo, plineattrs, mix);
    if (e != Entry::Draw) return Answer(e);
    if (!ppo || !Solid(pbo) || !StyleFits(plineattrs) || !SetPenWidthFromXform(pxo, plineattrs))
        return FALSE;
    return StrokeTokens(pdev, ppo, pco, pxo, pbo, plineattrs, mix) ? TRUE : FALSE;
}

BOOL APIENTRY DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL*, MIX mix,
                          FLONG flOptions) {
    PDEV* pdev = nullptr;
    Entry e = Enter(pso, mix, &pdev);
    if (e == Entry::Record) return RecordFillPath(pdev, ppo, pco, pbo, mix, flOptions);
    if (e != Entry::Draw) return Answer(e);
    if (!ppo || !Solid(pbo)) return FALSE;
    return FillTokens(pdev, ppo, pco, pbo, mix, flOptions) ? TRUE : FALSE;
}

BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                   BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                   POINTL*, MIX mixFill, FLONG flOptions) {
    PDEV* pdev = nullptr;
    Entry e = Enter(pso, mixFill, &pdev);
    if (e == Entry::Record)
        return RecordStrokeAndFillPath(pdev, ppo, pco, pxo, pboStroke, plineattrs, pboFill, mixFill,
                                       flOptions);
    if (e != Entry::Draw) return Answer(e);
    if (!ppo || !Solid(pboStroke) || !Solid(pboFill) || !StyleFits(plineattrs) ||
        !SetPenWidthFromXform(pxo, plineattrs))
        return FALSE;
    // Wide geometric outlines are left to the engine.
    if (plineattrs && (plineattrs->fl & LA_GEOMETRIC) && plineattrs->elWidth.e >= 2.0f)
        return FALSE;
    Paint fill = PaintOf(pboFill, mixFill);
    Paint pen = PaintOf(pboStroke, mixFill);
    if (pdev->modelCaps & caps::StrokeAndFillOnce) {
        bool ok = SetTransferModes(pdev, fill.transparent) &&
                  SetLineAttributes(pdev, plineattrs, pxo) && SetFillMode(pdev, flOptions) &&
                  SetRop(pdev, fill.rop) && SetPenColor(pdev, pen.color) &&
                  SetBrushColor(pdev, fill.color) && PaintPathInClip(pdev, ppo, pco);
        return ok ? TRUE : FALSE;
    }
    if (!FillTokens(pdev, ppo, pco, pboFill, mixFill, flOptions)) return FALSE;
    // The outline over the fill; the brush is dropped first so that painting
    // the same path again does not fill it twice (an inverting fill would
    // undo itself).
    bool ok =
        SetTransferModes(pdev, false) && SelectNoBrush(pdev) && Pen(pdev, pen, plineattrs, pxo);
    if (!ok) return FALSE;
    if (IsComplexClip(pco)) return PaintPathInClip(pdev, ppo, pco) ? TRUE : FALSE;
    return OutputByteList(pdev, {stream::kPaintPath}) ? TRUE : FALSE;
}

BOOL APIENTRY DrvLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2,
                        LONG y2, RECTL*, MIX mix) {
    PDEV* pdev = nullptr;
    Entry e = Enter(pso, mix, &pdev);
    if (e == Entry::Record) return RecordLineTo(pdev, pco, pbo, x1, y1, x2, y2, mix);
    if (e != Entry::Draw) return Answer(e);
    if (!Solid(pbo)) return FALSE;
    Paint p = PaintOf(pbo, mix);
    if (!SetTransferModes(pdev, p.transparent) || !SelectNoBrush(pdev) ||
        !Pen(pdev, p, nullptr, nullptr))
        return FALSE;
    if (!IsComplexClip(pco))
        return ClipToObject(pdev, pco) && EmitLine(pdev, x1, y1, x2, y2) ? TRUE : FALSE;
    // Through a complex clip the line goes out as a path, once per rectangle.
    PATHOBJ* path = EngCreatePath();
    if (!path) return FALSE;
    POINTFIX end{x2 * 16, y2 * 16};
    bool ok = PATHOBJ_bMoveTo(path, POINTFIX{x1 * 16, y1 * 16}) &&
              PATHOBJ_bPolyLineTo(path, &end, 1) && PaintPathInClip(pdev, path, pco);
    EngDeletePath(path);
    return ok ? TRUE : FALSE;
}

} // namespace inkforge

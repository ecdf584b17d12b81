// Job, page and setup commands of the printer stream.
#include "stream_commands.h"
#include "stream_opcodes.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "model/model_queries.h"
#include "model_access.h"
#include "output_writer.h"
#include "pdev.h"
#include "system_access.h"
#include "pjl.h"
#include "render_lookups.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr WORD kAutoSource = 7;
constexpr int kDefaultFinisher = model::kDefaultFinisherId;
// In the finishers' item answers and the output bins' text answers: the
// flags byte (bit 2: the item is offered) and the device's value byte.
constexpr size_t kItemFlagsAt = offsetof(model::FinisherItemTextAnswer, slot3);
constexpr size_t kItemValueAt = offsetof(model::FinisherItemTextAnswer, slot4);
constexpr BYTE kItemOffered = 0x4;
static_assert(kItemFlagsAt == offsetof(model::BinTextAnswer, slot3) &&
              kItemValueAt == offsetof(model::BinTextAnswer, slot4) &&
              kItemValueAt == offsetof(model::FinisherStapleTextAnswer, slot4));
constexpr DWORD kMaxRasterChunk = 0xFFFF - 2;

BOOL Frame8(PDEV* pdev, BYTE opcode, int value) {
    BYTE b = static_cast<BYTE>(value);
    return WriteFrame(pdev, opcode, &b, 1);
}

BOOL Frame16(PDEV* pdev, BYTE opcode, int value) {
    BYTE b[2] = {static_cast<BYTE>(value & 0xFF), static_cast<BYTE>((value >> 8) & 0xFF)};
    return WriteFrame(pdev, opcode, b, 2);
}

// The first n characters of a device-mode text field, zero-padded.
void FieldBytes(const PDEV* pdev, size_t off, BYTE* out, size_t n) {
    std::memset(out, 0, n);
    for (size_t i = 0; i < n && pdev->devmode.priv[off + i]; ++i)
        out[i] = pdev->devmode.priv[off + i];
}

bool DuplexOn(const DEVMODEW& dm) {
    return (dm.dmFields & DM_DUPLEX) && dm.dmDuplex != 1;
}

// Copies collated by the host: each set of TotalSheets device pages is one copy.
bool HostCollation(const PDEV* pdev) {
    return pdev->modeFlags != 0 && pdev->devmode.dm.dmCopies > 1 &&
           PrivU16(pdev->devmode, priv::CollateByDriver) == 1;
}

DWORD SetSize(const PDEV* pdev) {
    return PrivU32(pdev->devmode, priv::TotalSheets);
}

SHORT PagePaper(const DevmodeImage& d) {
    WORD paper = PrivU16(d, priv::OutputPaperId);
    return paper ? static_cast<SHORT>(paper) : d.dm.dmPaperSize;
}

bool SameSheetSettings(const DevmodeImage& a, const DevmodeImage& b) {
    return a.dm.dmOrientation == b.dm.dmOrientation &&
           a.dm.dmDefaultSource == b.dm.dmDefaultSource &&
           PrivU16(a, priv::OutputBin) == PrivU16(b, priv::OutputBin) &&
           a.dm.dmMediaType == b.dm.dmMediaType && PagePaper(a) == PagePaper(b);
}

BOOL BlankSide(PDEV* pdev) {
    pdev->blank.emitted++;
    return WriteFrame(pdev, stream::kPageStart, nullptr, 0) &&
           WriteFrame(pdev, stream::kPageEnd, nullptr, 0);
}

// A new set begins on this device page (the first, or with host collation the
// first of each set).
bool SetStarts(const PDEV* pdev) {
    if (pdev->devicePageCount <= 1) return true;
    DWORD n = SetSize(pdev);
    return HostCollation(pdev) && n && (pdev->devicePageCount - 1) % n == 0;
}

BOOL BlankSideAtPageStart(PDEV* pdev) {
    if (!DuplexOn(pdev->devmode.dm)) return TRUE;
    if (SetStarts(pdev)) {
        pdev->blank.side = 1;
        pdev->blank.emitted = 1;
        return TRUE;
    }
    pdev->blank.side++;
    pdev->blank.emitted++;
    if (pdev->blank.havePrevious && SameSheetSettings(pdev->devmode, pdev->blank.previous))
        return TRUE;
    if (pdev->blank.side % 2 == 0) {
        // The page would land on the back of a sheet whose front had other settings.
        if (!BlankSide(pdev)) return FALSE;
        pdev->blank.side = 1;
    }
    return TRUE;
}

BOOL BlankSideAtPageEnd(PDEV* pdev) {
    pdev->blank.previous = pdev->devmode;
    pdev->blank.havePrevious = true;
    if (!DuplexOn(pdev->devmode.dm)) return TRUE;
    DWORD n = SetSize(pdev);
    if (HostCollation(pdev) && n && pdev->devicePageCount % n == 0 && pdev->blank.side % 2 == 1) {
        if (!BlankSide(pdev)) return FALSE;
        pdev->blank.side = 1;
    }
    return TRUE;
}

BOOL BlankSideAtJobEnd(PDEV* pdev) {
    if (!DuplexOn(pdev->devmode.dm) || HostCollation(pdev) || pdev->devicePageCount == 0)
        return TRUE;
    if (pdev->blank.side % 2 == 1) return BlankSide(pdev);
    return TRUE;
}

// The value byte of an input source's entry, when its flags have bit 0.
bool SourceByte(PDEV* pdev, int source, BYTE* value) {
    BYTE entry[36];
    if (!GetMediaInfo(pdev, source, entry) || !(entry[0] & 1)) return false;
    *value = entry[2];
    return true;
}

// Automatic source: replaced by the one tray that holds the paper and media,
// when the UI library's tray list says which.
SHORT ResolveAutoSource(PDEV* pdev, SHORT paper, DWORD media) {
    DWORD size = 0, count = 0;
    HGLOBAL trays =
        EnumModelInfo(pdev->printer, pdev->sheetwright, pdev->modelData, 12, &size, &count);
    if (!trays) return kAutoSource;
    struct TrayEntry {
        WORD source;
        WORD paper;
    };
    std::vector<TrayEntry> usable;
    const BYTE* p = static_cast<const BYTE*>(trays);
    for (DWORD i = 0; i < size / sizeof(TrayEntry); ++i) {
        TrayEntry e;
        std::memcpy(&e, p + i * sizeof e, sizeof e);
        if (e.source == 4 || e.source == 6 || e.source == 7) continue;
        usable.push_back(e);
    }
    GlobalFree(trays);
    bool anyHolds = false;
    for (const TrayEntry& e : usable)
        anyHolds |= e.paper == static_cast<WORD>(paper);
    if (usable.size() <= 1 || !anyHolds) return kAutoSource;
    HGLOBAL list = nullptr;
    DWORD n = ListSourcesForPaper(pdev, paper, media, &list);
    SHORT found = kAutoSource;
    int matches = 0;
    for (DWORD i = 0; i < n; ++i) {
        WORD source;
        std::memcpy(&source, static_cast<const BYTE*>(list) + i * 2, 2);
        for (const TrayEntry& e : usable)
            if (e.source == source && e.paper == static_cast<WORD>(paper)) {
                ++matches;
                found = static_cast<SHORT>(source);
                break;
            }
    }
    if (list) GlobalFree(list);
    return matches == 1 ? found : kAutoSource;
}

// The output tray byte: the outer finisher's staple entry for the tray when it
// has one, else the tray's own entry of the output bins.
bool OutputTrayValue(PDEV* pdev, BYTE* value) {
    const DevmodeImage& d = pdev->devmode;
    WORD bin = PrivU16(d, priv::OutputBin);
    if (WORD finisher = PrivU16(d, priv::FinisherId)) {
        ModelAnswer staples(pdev, model::kQueryFinishers, finisher,
                            model::layout::kFinisherStapleTexts);
        constexpr size_t kSize = sizeof(model::FinisherStapleTextAnswer);
        for (DWORD i = 0; i < staples.Entries(kSize); ++i) {
            size_t e = static_cast<size_t>(i) * kSize;
            if (Query34IndexToCode(
                    staples.U16(e + offsetof(model::FinisherStapleTextAnswer, itemCode))) == bin &&
                (staples.U8(e + kItemFlagsAt) & kItemOffered)) {
                *value = staples.U8(e + kItemValueAt);
                return true;
            }
        }
    }
    WORD index = CodeToQuery34Index(bin);
    if (!index) return false;
    ModelAnswer tray(pdev, model::kQueryOutputBins, index, model::layout::kBinText);
    if (!tray.ok()) return false;
    *value = tray.U8(kItemValueAt);
    return true;
}

// The staple byte: the outer finisher's fold entry whose code, kept to 1 to 6,
// is the staple mode.
bool StapleValue(PDEV* pdev, BYTE* value) {
    const DevmodeImage& d = pdev->devmode;
    ModelAnswer folds(pdev, model::kQueryFinishers, PrivU16(d, priv::FinisherId),
                      model::layout::kFinisherFoldTwoTexts);
    WORD staple = PrivU16(d, priv::StapleMode);
    constexpr size_t kSize = sizeof(model::FinisherFoldTextsAnswer);
    for (DWORD i = 0; i < folds.Entries(kSize); ++i) {
        size_t e = static_cast<size_t>(i) * kSize;
        if (ClampCodeOneToSix(folds.U16(e + offsetof(model::FinisherItemTextAnswer, itemCode))) ==
            staple) {
            *value = folds.U8(e + kItemValueAt);
            return true;
        }
    }
    return false;
}

} // namespace

BOOL WriteUel(PDEV* pdev) {
    return OutputBytes(pdev, stream::kUel, stream::kUelLength);
}

bool IsPjlKeySupported(PDEV* pdev, int key) {
    ModelAnswer items(pdev, model::kQueryPjlLines, 0, 3);
    for (DWORD i = 0; i < items.Entries(sizeof(PjlItemEntry)); ++i)
        if (static_cast<INT>(items.U32(static_cast<size_t>(i) * sizeof(PjlItemEntry))) == key)
            return true;
    return false;
}

BOOL WriteJobCommands(PDEV* pdev) {
    const DevmodeImage& d = pdev->devmode;
    const DEVMODEW& dm = d.dm;
    DWORD a = PrivU32(d, priv::PrivateFlags), c = PrivU32(d, priv::JobCheckFlags);
    bool ok = OutputBytes(pdev, stream::kJobOpen, sizeof stream::kJobOpen) &&
              Frame8(pdev, stream::kSession, 1) && Frame8(pdev, stream::kJobKind, 16) &&
              Frame8(pdev, stream::kDataKind, 4);
    bool byHost = PrivU16(d, priv::CollateByDriver) == 1;
    if (ok && dm.dmCopies > 1) {
        BYTE collate[2] = {static_cast<BYTE>(dm.dmCollate == 1), static_cast<BYTE>(!byHost)};
        ok = Frame16(pdev, stream::kCopies, byHost ? 1 : dm.dmCopies) &&
             WriteFrame(pdev, stream::kCollate, collate, 2);
    }
    ok = ok && Frame8(pdev, stream::kSkipBlankPages, PrivU16(d, priv::SkipBlankPages) != 0);
    ok = ok && Frame8(pdev, stream::kDuplex, dm.dmDuplex == 2 ? 1 : dm.dmDuplex == 3 ? 2 : 0);
    bool margin = (dm.dmDuplex == 2 || dm.dmDuplex == 3) && PrivI16(d, priv::DuplexMargin) > 0 &&
                  Bit(PrivU32(d, priv::DuplexMarginFlags), 0);
    ok = ok && Frame8(pdev, stream::kDuplexMargin, margin);
    if (ok && (Bit(a, 9) || Bit(c, 4))) {
        bool notice =
            Bit(c, 4) && (dm.dmFields & DM_DUPLEX) && dm.dmDuplex != 1 &&
            !(Bit(PrivU32(d, priv::FeatureFlags), 2) && PrivU16(d, priv::LayoutKind) == 2) &&
            PrivU16(d, priv::DuplexNotice) != 0;
        ok = Frame8(pdev, stream::kDuplexNotice, notice);
    }
    WORD finisher = PrivU16(d, priv::FinisherId);
    BYTE value = 0;
    if (ok && OutputTrayValue(pdev, &value)) ok = Frame8(pdev, stream::kOutputTray, value);
    if (ok && Bit(a, 16) && StapleValue(pdev, &value)) ok = Frame8(pdev, stream::kStaple, value);
    if (ok && Bit(a, 18)) {
        ModelAnswer punches(pdev, model::kQueryFinishers, finisher ? finisher : kDefaultFinisher,
                            12);
        WORD punch = PrivU16(d, priv::PunchMode);
        for (DWORD i = 0; i < punches.Entries(48); ++i) {
            size_t e = static_cast<size_t>(i) * 48;
            WORD kind = punches.U16(e + 2);
            WORD mapped = kind == 1 ? 2 : kind == 2 ? 3 : kind == 3 ? 1 : 0;
            if (mapped == punch && (punches.U8(e + 12) & 4)) {
                ok = Frame8(pdev, stream::kPunch, punches.U8(e + 14));
                break;
            }
        }
    }
    if (ok && dm.dmCopies > 1) {
        WORD sort = PrivU16(d, priv::SortMode);
        ok = Frame8(pdev, stream::kSort, sort == 2 ? 2 : sort == 4 ? 1 : 0);
    }
    WORD jobType = PrivU16(d, priv::JobType);
    if (ok && Bit(a, 27) && (PrivU8(d, priv::DeptCounterFlags) & 1) && d.priv[priv::DeptCode] &&
        !IsPjlKeySupported(pdev, 123)) {
        BYTE code[8];
        FieldBytes(pdev, priv::DeptCode, code, 8);
        ok = WriteFrame(pdev, stream::kDepartmentCode, code, 8);
    }
    if (ok && Bit(a, 25) && jobType == 2 && !IsPjlKeySupported(pdev, 17)) {
        BYTE id[8];
        FieldBytes(pdev, priv::MailboxId, id, 8);
        ok = WriteFrame(pdev, stream::kUserId, id, 8);
    }
    if (ok && Bit(a, 26) && jobType == 3 &&
        !(IsPjlKeySupported(pdev, 17) && IsPjlKeySupported(pdev, 18))) {
        BYTE box[12];
        FieldBytes(pdev, priv::SecureBoxId, box, 8);
        FieldBytes(pdev, priv::SecurePassword, box + 8, 4);
        ok = WriteFrame(pdev, stream::kBoxId, box, 12);
    }
    return ok;
}

BOOL WritePageCommands(PDEV* pdev, bool firstPage) {
    if (!BlankSideAtPageStart(pdev)) return FALSE;
    const DevmodeImage& d = pdev->devmode;
    const DEVMODEW& dm = d.dm;
    SHORT paper = PagePaper(d);
    SHORT source = dm.dmDefaultSource;
    DWORD media = dm.dmMediaType;
    if (firstPage && Bit(PrivU32(d, priv::PrivateFlags), 5) &&
        Bit(PrivU32(d, priv::OptionFlags), 2) && PrivU16(d, priv::AltSourceOn)) {
        source = PrivI16(d, priv::AltSource);
        media = PrivU16(d, priv::AltMedia);
    } else if (source == kAutoSource && Bit(PrivU32(d, priv::FeatureFlags), 27) &&
               PrivU16(d, priv::AutoTrayResolve)) {
        source = ResolveAutoSource(pdev, paper, media);
    }
    PageCommandState& last = pdev->lastPage;
    bool ok = true;
    if (firstPage || !last.sent || last.source != source) {
        BYTE value = 0, unused = 0;
        if (SourceByte(pdev, source, &value) && SourceByte(pdev, dm.dmDefaultSource, &unused))
            ok = Frame8(pdev, stream::kInputSource, value);
    }
    ok = ok && Frame16(pdev, stream::kResolutionX, dm.dmPrintQuality) &&
         Frame16(pdev, stream::kResolutionY, dm.dmPrintQuality);
    bool crossFeed = (dm.dmOrientation == 1 && pdev->paperHeight < pdev->paperWidth) ||
                     (dm.dmOrientation == 2 && pdev->paperWidth < pdev->paperHeight);
    ok = ok && Frame8(pdev, stream::kFeed, crossFeed ? 2 : 1) &&
         Frame8(pdev, stream::kOrientation, dm.dmOrientation == 2);
    PaperRect rect;
    BYTE paperByte = GetPaperInfo(pdev, paper, 1, 0, &rect, nullptr, nullptr)
                         ? static_cast<BYTE>(rect.id)
                         : static_cast<BYTE>(paper);
    ok = ok && Frame8(pdev, stream::kPaperSize, paperByte);
    if (ok && (firstPage || !last.sent || last.media != media) && media) {
        ModelAnswer m(pdev, model::kQueryMediaTypes, static_cast<int>(media), 5);
        if (m.ok()) ok = Frame8(pdev, stream::kMediaType, m.U8(2));
    }
    if (ok && SetStarts(pdev)) ok = WriteFrame(pdev, stream::kCopySetStart, nullptr, 0);
    ok = ok && WriteFrame(pdev, stream::kPageStart, nullptr, 0);
    last.sent = true;
    last.paper = paper;
    last.source = source;
    last.media = media;
    last.orientation = dm.dmOrientation;
    return ok;
}

BOOL WritePageEnd(PDEV* pdev) {
    bool ok = WriteFrame(pdev, stream::kPageEnd, nullptr, 0) && BlankSideAtPageEnd(pdev);
    DWORD n = SetSize(pdev);
    if (ok && HostCollation(pdev) && n && pdev->devicePageCount % n == 0)
        ok = WriteFrame(pdev, stream::kCopySetEnd, nullptr, 0);
    return FlushOutput(pdev) && ok;
}

BOOL WriteJobFooter(PDEV* pdev) {
    bool ok = BlankSideAtJobEnd(pdev);
    if (ok && !HostCollation(pdev)) ok = WriteFrame(pdev, stream::kCopySetEnd, nullptr, 0);
    ok = ok && OutputBytes(pdev, stream::kJobClose, sizeof stream::kJobClose) && WriteUel(pdev);
    if (ok && (pdev->jobFlags & job::FlushAfterEnd)) ok = FlushOutput(pdev);
    if (ok) WritePjlFooter(pdev);
    // The footer must reach the spooler before the document ends.
    return FlushOutput(pdev) && ok;
}

BOOL WriteRasterChunk(PDEV* pdev, const BYTE* data, DWORD length, bool last, bool finalPlane) {
    if (length > kMaxRasterChunk || (length && !data)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int kind = finalPlane
                   ? (last ? stream::kChunkEndsFinalPlane : stream::kChunkContinuesFinalPlane)
                   : (last ? stream::kChunkEndsPlane : stream::kChunkContinuesPlane);
    DWORD framed = length + 2;
    return OutputByteList(pdev, {stream::kFrameEscape, static_cast<int>(framed & 0xFF),
                                 static_cast<int>(framed >> 8), stream::kRasterChunk, kind}) &&
           (length == 0 || OutputBytes(pdev, data, length));
}

} // namespace inkforge

#include "revise_devmode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "devmode_convert.h"
#include "devmode_corrections.h"
#include "devmode_helpers.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "model/modelsmith.h"
#include "model_codes.h"
#include "model_info.h"
#include "saved_job_info.h"
#include "user_paper.h"
#include "win/base.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

constexpr DWORD kFinisherFeatureBits = 0x70000; // PrivateFlags: the finisher's items
constexpr DWORD kDeptCounterFeature = 1u << 27; // PrivateFlags
constexpr DWORD kCollateFeature = 1u << 20;     // PrivateFlags: sort modes with collation
constexpr BYTE kPriorPrintRequested = 0x08;     // JobCheckFlags byte 0
constexpr WORD kDeptCounterBit = 0x4;           // DeptCounterFlags
constexpr WORD kDuplexNoticeBit = 0x2;          // DeptCounterFlags
constexpr DWORD kDuplexMarginOn = 0x1;          // DuplexMarginFlags
constexpr WORD kDefaultCoverSource = 4;
constexpr size_t kNameBytes = 32;

// Unaligned access to a private field by its offset.
WORD PrivU16(const PRIVATE_DEVMODE& priv, size_t offset) {
    WORD v;
    std::memcpy(&v, reinterpret_cast<const BYTE*>(&priv) + offset, sizeof v);
    return v;
}
void SetPrivU16(PRIVATE_DEVMODE& priv, size_t offset, WORD v) {
    std::memcpy(reinterpret_cast<BYTE*>(&priv) + offset, &v, sizeof v);
}

DWORD TableU32(const ModelBlock* binding, WORD table, DWORD part, size_t offset = 0) {
    CModelInfo info(binding, table, 0, part);
    return info.U32(offset);
}

// The terminators of the private text fields and of the form name.
void TerminateTexts(DEVMODE_IMAGEW* image) {
    static constexpr size_t kLastBytes[] = {159, 191, 223, 255, 455, 519,  595,
                                            659, 719, 839, 887, 919, 1027, 1059};
    image->dm.dmFormName[CCHFORMNAME - 1] = 0;
    auto* priv = reinterpret_cast<BYTE*>(&image->priv);
    for (size_t at : kLastBytes)
        priv[at] = 0;
}

bool NamesEqual(const char* a, const char* b) {
    return strncmp(a, b, kNameBytes) == 0;
}

// The installed-option list of a context: its own, or one made for the call.
struct OptionsFor {
    explicit OptionsFor(ReviseContext* context) {
        if (context->options) {
            pair = context->options;
            return;
        }
        list = std::make_unique<CInstallOption>(context->printer, &context->binding);
        own = {&context->binding, list.get()};
        pair = &own;
    }
    std::unique_ptr<CInstallOption> list;
    ModelOptionPair own{};
    ModelOptionPair* pair = nullptr;
};

// The job tables in the order they are visited, with the feature bit that
// offers each and its job type.
struct JobTable {
    WORD table;
    DWORD featureBit;
    WORD jobType;
    int flagSlot;
};
constexpr JobTable kJobTables[] = {
    {model::kQueryJobType1Rules, model::feature::kAJobType1, 1, 0},
    {model::kQueryJobType4Rules, model::feature::kAJobType4, 4, 1},
    {model::kQueryJobType5Rules, model::feature::kAJobType5, 5, 2},
    {model::kQueryJobType2Rules, model::feature::kAJobType2, 2, 3},
    {model::kQueryJobType3Rules, model::feature::kAJobType3, 3, 4},
};

void ClearText(char* field) {
    std::memset(field, 0, kNameBytes);
}

// A dots length of the duplex margin from the model's measure.
LONG MarginLimit(const ModelBlock* binding, const PRIVATE_DEVMODE& priv) {
    CModelInfo slots(binding, model::kQueryInstallable, 0, model::layout::kInstallableSlots);
    const bool answered = slots.GetData() != nullptr;
    double r = priv.LengthUnitDpi < 1 ? 600 : priv.LengthUnitDpi;
    if (priv.MeasureFlags & kA4Region) {
        double m = answered ? slots.U16(6) : 500;
        return static_cast<LONG>(r * m / 254.0 + 0.5);
    }
    double n = answered ? slots.U16(2) : 200;
    return static_cast<LONG>(r * n / 100.0);
}

} // namespace

// ---------------------------------------------------------------------------
// Loading and storing the caller's device modes.

void StoreDevmodeImage(const DEVMODE_IMAGEW& image, DEVMODEW* devmode) {
    // The header words (spec and driver version, the two sizes) stay the caller's.
    constexpr size_t kHeaderFrom = offsetof(DEVMODEW, dmSpecVersion);
    constexpr size_t kHeaderBytes = offsetof(DEVMODEW, dmFields) - kHeaderFrom;
    const size_t size = devmode->dmSize, extra = devmode->dmDriverExtra;
    auto* bytes = reinterpret_cast<BYTE*>(devmode);
    BYTE header[kHeaderBytes];
    std::memcpy(header, bytes + kHeaderFrom, kHeaderBytes);
    std::memcpy(bytes, &image.dm, std::min(size, sizeof image.dm));
    std::memcpy(bytes + kHeaderFrom, header, kHeaderBytes);
    const auto* priv = reinterpret_cast<const BYTE*>(&image.priv);
    if (extra == PRIVATE_DEVMODE_SIZE_908) {
        std::memcpy(bytes + size, priv, PRIVATE_DEVMODE_908_SHIFT_FROM);
        std::memcpy(bytes + size + PRIVATE_DEVMODE_908_SHIFT_FROM,
                    priv + PRIVATE_DEVMODE_908_SHIFT_FROM + PRIVATE_DEVMODE_908_SHIFT,
                    PRIVATE_DEVMODE_SIZE_908 - PRIVATE_DEVMODE_908_SHIFT_FROM);
    } else if (extra == PRIVATE_DEVMODE_SIZE) {
        std::memcpy(bytes + size, priv, PRIVATE_DEVMODE_SIZE);
    }
    // A private part of another size is another driver's: left as it was.
}

// ---------------------------------------------------------------------------
// The model's revision.

DWORD CallModelReviseDevmode(HMODULE modelsmith, LPCVOID modelData, const DEVMODE_IMAGEW* old,
                             DEVMODE_IMAGEW* devmode, DWORD mode, const CUserPaper* papers) {
    if (!devmode) return ERROR_NOT_ENOUGH_MEMORY;
    if (!modelsmith) return ERROR_DLL_NOT_FOUND;
    auto revise = reinterpret_cast<PFN_mdReviseDevmode>(
        reinterpret_cast<void (*)()>(GetProcAddress(modelsmith, "mdReviseDevmode")));
    if (!revise) return ERROR_PROC_NOT_FOUND;
    auto ansi = std::make_unique<DEVMODE_IMAGEA>();
    auto oldAnsi = std::make_unique<DEVMODE_IMAGEA>();
    if (!DevModeWToA(&devmode->dm, sizeof *devmode, &ansi->dm, sizeof *ansi))
        return ERROR_INVALID_PARAMETER;
    if (old) {
        if (!DevModeWToA(&old->dm, sizeof *old, &oldAnsi->dm, sizeof *oldAnsi))
            return ERROR_INVALID_PARAMETER;
        DEVMODE_IMAGEA defaults = *oldAnsi;
        if (revise(modelData, &oldAnsi->dm, &defaults.dm, kReviseDefaults) == 0) {
            ModelBlock binding{modelsmith, const_cast<LPVOID>(modelData)};
            MatchOldDevmodePaper(&binding, oldAnsi.get(), &defaults, papers);
        }
    }
    DWORD result = revise(modelData, old ? &oldAnsi->dm : nullptr, &ansi->dm, mode);
    if (result != 0) return result;
    DEVMODE_IMAGEW back{};
    if (!DevModeAToW(&ansi->dm, sizeof *ansi, &back.dm, sizeof back)) return ERROR_INVALID_DATA;
    *devmode = back;
    ModelBlock binding{modelsmith, const_cast<LPVOID>(modelData)};
    CModelInfo finishers(&binding, model::kQueryFinishers, 0, model::layout::kFinisherShort);
    if (finishers.GetCount() > 0) devmode->priv.PrivateFlags |= kFinisherFeatureBits;
    return 0;
}

void MatchOldDevmodePaper(const ModelBlock* binding, DEVMODE_IMAGEA* old,
                          const DEVMODE_IMAGEA* defaults, const CUserPaper* given) {
    if (!old || !defaults) return;
    DEVMODEA& dm = old->dm;
    CUserPaper read;
    if (!given) {
        read.SetDefaultPath(binding);
        read.Read();
    }
    const CUserPaper& papers = given ? *given : read;
    auto near = [](LONG a, LONG b) { return std::abs(a - b) <= 3; };
    auto takeDefault = [&] {
        dm.dmPaperSize = static_cast<SHORT>(
            GetDefaultPaperId(binding, (defaults->priv.MeasureFlags & kA4Region) != 0));
        dm.dmDefaultSource = defaults->dm.dmDefaultSource;
        dm.dmMediaType = defaults->dm.dmMediaType;
    };
    const DWORD sizeFlags = DM_PAPERLENGTH | DM_PAPERWIDTH;
    // 1. A size carried with a paper id: the model's paper of that size, or
    // a user paper near it, else the default paper.
    if ((dm.dmFields & DM_PAPERSIZE) && dm.dmPaperSize > SHORT(kCustomSizePaper) &&
        (dm.dmFields & sizeFlags) && dm.dmPaperWidth > 0 && dm.dmPaperLength > 0) {
        WORD id = static_cast<WORD>(dm.dmPaperSize), w = 0, l = 0;
        if (id <= kLastModelPaper && GetModelPaperSize(binding, id, &w, &l) &&
            near(w, dm.dmPaperWidth) && near(l, dm.dmPaperLength)) {
            dm.dmFields &= ~sizeFlags;
            dm.dmPaperWidth = static_cast<SHORT>(w);
            dm.dmPaperLength = static_cast<SHORT>(l);
            return;
        }
        const UserPaperRecord* match = nullptr;
        for (WORD i = 0; i < papers.Count(); ++i) {
            const UserPaperRecord* p = papers.At(i);
            if (!near(p->widthTenthMm, dm.dmPaperWidth) ||
                !near(p->lengthTenthMm, dm.dmPaperLength))
                continue;
            match = p;
            dm.dmPaperWidth = static_cast<SHORT>(p->widthTenthMm);
            dm.dmPaperLength = static_cast<SHORT>(p->lengthTenthMm);
            if (p->paperId == id) break;
        }
        if (match) {
            dm.dmPaperSize = static_cast<SHORT>(match->paperId);
            return;
        }
        takeDefault();
        dm.dmFields &= ~sizeFlags;
    }
    // 2. A user paper without its size: the size from the user's list.
    if ((dm.dmFields & DM_PAPERSIZE) && dm.dmPaperSize >= SHORT(kFirstUserPaper) &&
        !(dm.dmFields & sizeFlags)) {
        if (const UserPaperRecord* p = papers.FindById(static_cast<WORD>(dm.dmPaperSize))) {
            dm.dmPaperWidth = static_cast<SHORT>(p->widthTenthMm);
            dm.dmPaperLength = static_cast<SHORT>(p->lengthTenthMm);
            dm.dmFields |= sizeFlags;
            return;
        }
        takeDefault();
        dm.dmFields &= ~sizeFlags;
        WORD w = 0, l = 0;
        GetModelPaperSize(binding, static_cast<WORD>(dm.dmPaperSize), &w, &l);
        dm.dmPaperWidth = static_cast<SHORT>(w);
        dm.dmPaperLength = static_cast<SHORT>(l);
    }
    if (dm.dmPaperSize == SHORT(kCustomSizePaper)) return;
    if (!(dm.dmFields & DM_PAPERSIZE)) takeDefault();
    WORD w = 0, l = 0;
    if (!GetModelPaperSize(binding, static_cast<WORD>(dm.dmPaperSize), &w, &l)) {
        takeDefault();
        if (!GetModelPaperSize(binding, static_cast<WORD>(dm.dmPaperSize), &w, &l)) return;
    }
    dm.dmPaperWidth = static_cast<SHORT>(w);
    dm.dmPaperLength = static_cast<SHORT>(l);
    dm.dmFields = (dm.dmFields & ~sizeFlags) | DM_PAPERSIZE;
}

// ---------------------------------------------------------------------------
// Job settings.

BOOL ValidateJobInputFields(ReviseContext* context, const DEVMODE_IMAGEW* devmode,
                            JobFieldCheck* record) {
    if (!context || !devmode || !record) return FALSE;
    record->flags = 0;
    record->mask = kJobMaskAll;
    std::fill(std::begin(record->tableFlags), std::end(record->tableFlags), 1u);
    OptionsFor options(context);
    const BOOL result = IsFeatureAvailable(options.pair, 0x1, nullptr);
    WORD found = 0;
    bool answered = false, stopped = false;
    DWORD kept = 0;
    for (const JobTable& t : kJobTables) {
        if (stopped) break;
        if (!(devmode->priv.PrivateFlags & t.featureBit)) continue;
        if (found != 0 && found != record->jobType) continue;
        CModelInfo info(&context->binding, t.table, 0, model::layout::kFixedFirst);
        if (!info.GetData()) continue;
        const BYTE b = info.U8(0);
        const DWORD w = info.U32(0);
        if (b & 0x20) found = t.jobType;
        if (b & 0x10)
            record->tableFlags[t.flagSlot] = 0;
        else
            stopped = true;
        if ((w & 0x180) == 0x180) record->flags |= kJobCheckBothBits;
        if (!(b & 0x40)) {
            if (b & 0x02) kept |= t.table == model::kQueryJobType3Rules ? 0x4 : 0x2;
            if (b & 0x04) kept |= 0x8;
        }
        answered = true;
    }
    if (answered) {
        record->jobType = found;
        if (!stopped) {
            record->mask &= ~0x1u;
            for (DWORD bit : {0x2u, 0x4u, 0x8u})
                if (!(kept & bit)) record->mask &= ~bit;
            if (found) record->mask |= kJobMaskTypeFound;
        }
    }
    return result;
}

BOOL RefreshJobSettings(ReviseContext* context, DEVMODE_IMAGEW* devmode, DWORD mode) {
    if (!context || !devmode) return FALSE;
    PRIVATE_DEVMODE& priv = devmode->priv;
    DWORD key = 0;
    const bool k = FindModelKeyValue(&context->binding, &key) && (key & kKeyJobInfo);
    if (mode == kReviseDefaults) {
        GetComputerNameAnsi(priv.OwnerComputerName);
        GetUserNameAnsi(priv.OwnerUserName);
        const SYSTEMTIME none{};
        if (std::memcmp(&priv.OwnerInstalledTime, &none, sizeof none) == 0)
            ReadInstalledTime(context, &priv.OwnerInstalledTime, TRUE);
        JobFieldCheck record{};
        ValidateJobInputFields(context, devmode, &record);
        priv.JobTypeOptions = (record.flags & kJobCheckBothBits) ? 2 : 0;
        if (record.mask & kJobMaskTypeFound) priv.JobTypeOptions |= 1;
        return TRUE;
    }
    char computer[kNameBytes] = {}, user[kNameBytes] = {};
    GetComputerNameAnsi(computer);
    GetUserNameAnsi(user);
    // The user's installation stamp; zero when the user has none.
    SYSTEMTIME stamp{};
    ReadInstalledTime(context, &stamp, FALSE);
    if (k && (context->flags & kRevisedByPage)) return TRUE;
    if (!k && NamesEqual(priv.OwnerComputerName, computer) &&
        NamesEqual(priv.OwnerUserName, user) &&
        std::memcmp(&priv.OwnerInstalledTime, &stamp, sizeof stamp) == 0)
        return TRUE;
    JobFieldCheck record{};
    const BOOL valid = ValidateJobInputFields(context, devmode, &record);
    DWORD m = valid && record.jobType ? (record.mask & 0xFF) : kJobMaskAll;
    const WORD v = (record.flags & kJobCheckBothBits) ? 2 : 0;
    if ((TableU32(&context->binding, model::kQueryDepartmentPrompt, model::layout::kFixedFirst) &
         0x51) == 0x51)
        m |= kJobMaskCounterState;
    std::memcpy(priv.OwnerComputerName, computer, kNameBytes);
    std::memcpy(priv.OwnerUserName, user, kNameBytes);
    priv.OwnerInstalledTime = stamp;
    if (k) m |= kJobMaskFromSaved;
    if (LoadSavedJobInfo(context, &priv, m)) {
        priv.JobTypeOptions |= v;
        return TRUE;
    }
    // Only the driver's own device mode holds job fields; another driver's
    // bytes at those places are not a password or a mailbox.
    DEVMODE_IMAGEW stored{};
    if ((m & kJobMaskFromSaved) && context->printer &&
        ReadPrinterInfo2(context->printer, &stored) && IsOwnDevmode(&stored.dm)) {
        CopyJobFields(stored.priv, m, v, &priv);
        priv.DeptCounterFlags = (m & 0x80) ? stored.priv.DeptCounterFlags : priv.DeptCounterFlags;
        return TRUE;
    }
    if (m & 0x01) {
        priv.JobType = 0;
        priv.JobTypeOptions = v;
    }
    if (m & 0x10) priv.JobInfoFlags &= ~0x30000u;
    if (m & 0x02) ClearText(priv.MailboxId);
    if (m & 0x04) ClearText(priv.SecureBoxId);
    if (m & 0x08) ClearText(priv.SecurePassword);
    if (m & 0x20) std::memset(priv.UserName, 0, sizeof priv.UserName);
    if (m & 0x40) std::memset(priv.JobName, 0, sizeof priv.JobName);
    if (m & 0x80) {
        ClearText(priv.DeptCode);
        if (m & kJobMaskCounterState)
            priv.DeptCounterFlags |= kDeptCounterBit;
        else
            priv.DeptCounterFlags &= static_cast<WORD>(~kDeptCounterBit);
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Fix-ups of every revision.

BOOL FixupDevmodeFields(ReviseContext* context, DEVMODE_IMAGEW* devmode, DWORD mode) {
    if (!context || !devmode) return FALSE;
    const ModelBlock* binding = &context->binding;
    PRIVATE_DEVMODE& priv = devmode->priv;
    DEVMODEW& dm = devmode->dm;
    // 1.
    priv.DeptCounterFlags |= kDuplexNoticeBit;
    priv.DuplexMarginFlags |= kDuplexMarginOn;
    // 2. The binding margin within the model's largest.
    if (mode == kReviseCarryOver) {
        auto margin = static_cast<SHORT>(priv.DuplexMargin);
        if (margin <= 0)
            priv.DuplexMargin = 0;
        else
            priv.DuplexMargin =
                static_cast<WORD>(std::min<LONG>(margin, MarginLimit(binding, priv)));
    }
    // 3. The department counter the model switches on.
    if (priv.PrivateFlags & kDeptCounterFeature) {
        const BYTE b = static_cast<BYTE>(
            TableU32(binding, model::kQueryDepartmentPrompt, model::layout::kFixedFirst));
        if ((b & 0x50) == 0x50 && (mode == kReviseDefaults || (b & 0x20)))
            priv.DeptCounterFlags |= kDeptCounterBit;
    }
    // 4. Paper and layout rules shared with the pages.
    FixOversizeOutputPaper(context->printer, binding, context->papers, devmode);
    SyncFitToPaperLayout(devmode);
    NormalizePosterGrid(devmode);
    // 5. Zoom within its range.
    DWORD lo, hi;
    if (GetZoomRange(binding, context->papers, devmode,
                     static_cast<DWORD>(dm.dmPrintQuality > 0 ? dm.dmPrintQuality : 0), &lo, &hi)) {
        LONG zoom = priv.ZoomPercent;
        zoom = std::max<LONG>(zoom, static_cast<LONG>(lo));
        zoom = std::min<LONG>(zoom, static_cast<LONG>(hi));
        priv.ZoomPercent = static_cast<SHORT>(zoom);
    }
    // 6. Cover media default to the job's.
    if (priv.FrontCoverMedia == 0) priv.FrontCoverMedia = dm.dmMediaType;
    if (priv.BackCoverMedia == 0) priv.BackCoverMedia = dm.dmMediaType;
    // 7. Defaults of the covers and the overlay.
    constexpr size_t kWatermarkOption = 742;
    if (mode == kReviseDefaults) {
        priv.FrontCoverSource = kDefaultCoverSource;
        priv.BackCoverSource = kDefaultCoverSource;
        priv.OverlayOnTop = 0;
        SetPrivU16(priv, kWatermarkOption, 0);
        if (TableU32(binding, model::kQuerySecondModelFlags, model::layout::kFixedFirst) & 0x400)
            SetPrivU16(priv, kWatermarkOption, 1);
    }
    // 8. Ranges.
    switch (priv.OutputBin) {
    case 0:
    case 1:
    case 2:
    case 257:
    case 258:
    case 513:
    case 514:
    case 769:
    case 770:
    case 771:
        break;
    default:
        priv.OutputBin = 0;
    }
    if (priv.StapleMode > 6) priv.StapleMode = 0;
    if (priv.PunchMode > 3) priv.PunchMode = 0;
    const auto colorMode = static_cast<SHORT>(priv.ColorMode);
    if (colorMode < 1 || colorMode > 3) priv.ColorMode = 2;
    if (priv.ColorMode == 3 && priv.ColorMatching == 3) priv.ColorMatching = 0;
    if (priv.ColorMatching != 0 && priv.ColorMatching != 3) priv.ColorMatching = 0;
    if (priv.ColorMode == 1) {
        priv.ColorModeAlt = 1;
        dm.dmICMMethod = 1;
    } else {
        priv.ColorModeAlt = 0;
        dm.dmICMMethod = priv.ColorMatching == 3 ? 2 : 1;
    }
    constexpr size_t kColorAdjust = offsetof(PRIVATE_DEVMODE, ColorAdjustValues);
    WORD adjust = PrivU16(priv, kColorAdjust);
    if (adjust < 1 || adjust > 3) SetPrivU16(priv, kColorAdjust, 1);
    // 9. The on/off switches of the colour adjustment.
    for (size_t at : {328u, 332u, 336u, 338u}) {
        WORD v = PrivU16(priv, at);
        if (mode == kReviseDefaults || v > 1) SetPrivU16(priv, at, 0);
    }
    for (size_t at : {330u, 334u}) {
        WORD v = PrivU16(priv, at);
        if (mode == kReviseDefaults || v > 1) SetPrivU16(priv, at, 1);
    }
    // 10. One-sided printing has no binding margin.
    if (dm.dmDuplex == DMDUP_SIMPLEX) priv.DuplexMarginFlags &= ~kDuplexMarginOn;
    // 11. The model's default binding margin, in dots at 600 dpi.
    if (mode == kReviseDefaults && priv.DuplexMargin == 0) {
        CModelInfo slots(binding, model::kQueryInstallable, 0, model::layout::kInstallableSlots);
        if (slots.GetData()) {
            double v;
            if (priv.MeasureFlags & kA4Region) {
                v = static_cast<SHORT>(slots.U16(4));
                priv.DuplexMargin =
                    static_cast<WORD>(static_cast<LONG>(600 * (v / 10) / 25.4 + 0.5));
            } else {
                v = static_cast<SHORT>(slots.U16(0));
                priv.DuplexMargin = static_cast<WORD>(static_cast<LONG>(600 * v / 100));
            }
        }
    }
    // 12. Collation by the device takes the sort mode's uncollated twin.
    if ((dm.dmFields & DM_COLLATE) && (priv.PrivateFlags & kCollateFeature) &&
        (priv.SortMode == 1 || priv.SortMode == 3 || priv.SortMode == 5))
        priv.SortMode = static_cast<WORD>(priv.SortMode - 1);
    return TRUE;
}

// ---------------------------------------------------------------------------
// The pipeline.

DWORD ReviseDevmode(ReviseContext* context, DEVMODE_IMAGEW* old, DEVMODE_IMAGEW* devmode,
                    DWORD mode) {
    if (!context || !context->binding.modelsmith || !devmode) return 0;
    const ModelBlock* binding = &context->binding;
    // The option and constraint steps need the driver's own private part.
    const bool own = !context->foreign && IsOwnDevmode(&devmode->dm) != FALSE;
    DWORD result = binding->modelData
                       ? CallModelReviseDevmode(binding->modelsmith, binding->modelData, old,
                                                devmode, mode, context->papers)
                       : ERROR_INVALID_DATA;
    PRIVATE_DEVMODE& priv = devmode->priv;
    if (mode == kReviseDefaults) {
        DWORD key = 0;
        priv.MetafileSpoolingOff = FindModelKeyValue(binding, &key) && !(key & 1) ? 1 : 0;
    }
    JobFieldCheck record{0, 0, kJobMaskAll, {}};
    if (ValidateJobInputFields(context, devmode, &record) && record.jobType &&
        (!(record.mask & 0x1) || mode == kReviseDefaults)) {
        priv.JobType = record.jobType;
        if (!(record.mask & 0x2)) ClearText(priv.MailboxId);
        if (!(record.mask & 0x4)) ClearText(priv.SecureBoxId);
        if (!(record.mask & 0x8)) ClearText(priv.SecurePassword);
    }
    RefreshJobSettings(context, devmode, mode);
    if (own) {
        if (mode != kReviseCarryOver)
            ReviseDevmodeByOptions(context->options, devmode);
        else if (context->options && context->options->options)
            ReviseDevmodeByCapabilities(context->options, nullptr, devmode);
    }
    FixupDevmodeFields(context, devmode, mode);
    // Rules of the model that never settle leave the device mode as it came
    // in, which they refuse: the revision fails rather than pass it on.
    if (mode == kReviseCarryOver && own && context->constraints &&
        context->constraints->Resolve(reinterpret_cast<BYTE*>(devmode), FALSE) != kResolveSettled &&
        result == 0)
        result = ERROR_INVALID_DATA;
    WORD w = 0, l = 0;
    if (GetModelPaperSize(binding, static_cast<WORD>(devmode->dm.dmPaperSize), &w, &l)) {
        devmode->dm.dmPaperWidth = static_cast<SHORT>(w);
        devmode->dm.dmPaperLength = static_cast<SHORT>(l);
    }
    if (priv.PriorPrintOn && (static_cast<BYTE>(priv.JobCheckFlags) & kPriorPrintRequested)) {
        SelPortHolder port{};
        LoadSelPortInfo(binding, context->portName, &port);
        CModelInfo capability(binding, model::kQueryPriorPrint, 0,
                              model::layout::kPortCapabilities);
        const bool has = capability.GetData() && HasPortCapability(&port, capability.U32(0));
        FreeSelPortInfo(&port);
        if (!has) priv.PriorPrintOn = 0;
    }
    DecideSpoolPlayback(&devmode->dm, &priv);
    priv.MetafileSpoolingOff = 1;
    return result;
}

BOOL IsMetricCountry() {
    WCHAR text[8] = {};
    if (!GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_ICOUNTRY, text, 8)) return FALSE;
    long code = 0;
    for (const WCHAR* p = text; *p >= u'0' && *p <= u'9'; ++p)
        code = code * 10 + (*p - u'0');
    return !(code == 1 || code == 2 || (code >= 50 && code <= 59) || (code >= 500 && code <= 599));
}

BOOL StampAndReviseDevmode(HANDLE printer, LPCVOID modelData, DEVMODE_IMAGEW* devmode) {
    if (!modelData || !devmode) return FALSE;
    StampDevmodeHeader(devmode);
    return ReviseDevmodeEx(printer, modelData, nullptr, &devmode->dm, kReviseDefaults) == 0;
}

DWORD ReviseDevmodeEx(HANDLE printer, LPCVOID modelData, const DEVMODEW* oldDevmode,
                      DEVMODEW* devmode, DWORD mode) {
    if (!devmode || (mode == kReviseCarryOver && !oldDevmode)) return ERROR_INVALID_PARAMETER;
    auto image = std::make_unique<DEVMODE_IMAGEW>();
    auto old = std::make_unique<DEVMODE_IMAGEW>();
    if (!LoadDevmodeImage(devmode, DevmodeBytes(devmode), image.get()))
        return ERROR_INVALID_PARAMETER;
    if (oldDevmode && !LoadDevmodeImage(oldDevmode, DevmodeBytes(oldDevmode), old.get()))
        return ERROR_INVALID_PARAMETER;

    ReviseContext context;
    context.printer = printer;
    context.foreign = image->priv.Signature != PRIVATE_DEVMODE_SIGNATURE;
    context.binding.modelData = const_cast<LPVOID>(modelData);
    context.binding.modelsmith = LoadDriverModule(printer, modelData, kSelectModelsmith);
    if (!context.binding.modelsmith) return ERROR_DLL_NOT_FOUND;
    CInstallOption options(printer, &context.binding);
    ModelOptionPair pair{&context.binding, &options};
    context.options = &pair;
    CUserPaper papers;
    std::unique_ptr<CKinsokuList> constraints;
    if (mode == kReviseCarryOver) {
        auto defaults = std::make_unique<DEVMODE_IMAGEW>();
        StampDevmodeHeader(defaults.get());
        if (modelData)
            CallModelReviseDevmode(context.binding.modelsmith, modelData, nullptr, defaults.get(),
                                   kReviseDefaults);
        // A device mode without the driver's own private part starts from
        // the model's.
        if (image->priv.Signature != PRIVATE_DEVMODE_SIGNATURE) image->priv = defaults->priv;
        PRIVATE_DEVMODE& p = image->priv;
        p.PrivateFlags = defaults->priv.PrivateFlags;
        p.FeatureFlags = defaults->priv.FeatureFlags;
        p.JobCheckFlags = defaults->priv.JobCheckFlags;
        p.ReservedFeatures = defaults->priv.ReservedFeatures;
        p.OptionFlags = defaults->priv.OptionFlags;
        p.LengthUnitDpi = defaults->priv.LengthUnitDpi;
        TerminateTexts(image.get());
        TerminateTexts(old.get());
        old->priv.LengthUnitDpi = defaults->priv.LengthUnitDpi;
        papers.SetDefaultPath(&context.binding);
        papers.Read();
        context.papers = &papers;
        constraints = std::make_unique<CKinsokuList>(&context.binding, &papers,
                                                     reinterpret_cast<const BYTE*>(image.get()));
        LoadKinsokuPairs(&context.binding, constraints.get());
        BuildKinsokuRules(&context.binding, constraints.get(), kAllPapers);
        RemoveCustomPaperRules(&context.binding, constraints.get(), &papers);
        BuildModelKinsoku(&pair, constraints.get());
        context.constraints = constraints.get();
    }
    WCHAR port[kPortNameCapacity] = {};
    GetPrinterPortName(printer, port);
    std::memcpy(context.portName, port, sizeof context.portName);
    context.portName[kPortNameChars - 1] = 0;

    DWORD result = ReviseDevmode(&context, oldDevmode ? old.get() : nullptr, image.get(), mode);
    if (result == 0) StoreDevmodeImage(*image, devmode);
    constraints.reset();
    FreeLibrary(context.binding.modelsmith);
    return result;
}

} // namespace sheetwright

// What a profile carries into the current settings, and how profiles of
// older driver versions are adjusted.
#include "profile_apply.h"

#include <cstring>
#include <memory>

#include "devmode_convert.h"
#include "install_option.h"
#include "model/model_queries.h"
#include "model_info.h"
#include "win/base.h"

namespace sheetwright {
namespace {

using profile_format::kCurrentSettingsVersion;

// Settings versions whose profiles need adjusting.
constexpr DWORD kVersionClearsRotations = 0x20000;
constexpr DWORD kVersionSetsColorMatching = 0x80000;
constexpr WORD kMatchingBySystem = 3; // ColorMatching value that asks for ICM by the system
constexpr DWORD kIcmBySystem = 2, kIcmByDevice = 1, kIcmIntentColorimetric = 2, kIcmIntentOld = 4;
// PrivateFlags bits.
constexpr DWORD kFlagCustomOutputSize = 1u << 6;
constexpr DWORD kFlagManualDuplex = 1u << 9;
constexpr DWORD kFlagCopyControl = 1u << 15;
constexpr WORD kOptionDuplexUnit = 25;
constexpr BYTE kCopyControlFixed = 0x4; // query 38, first byte
// Job types and what they carry.
constexpr WORD kJobCheckThenPrint = 1, kJobMailbox = 2, kJobSecureMailbox = 3;
constexpr WORD kDeptCodeOn = 0x1;
constexpr WORD kCoverFront = 0x1, kCoverBack = 0x2;
constexpr DWORD kOverlayMake = 0x1, kOverlayPrint = 0x2;
constexpr DWORD kWatermarkRecord = 0x2;
constexpr DWORD kAskUserName = 0x1, kAskJobName = 0x2;

template <typename T> void Take(T& to, const T& from) {
    std::memcpy(&to, &from, sizeof to);
}

void MergeStandard(bool paper, const DEVMODEW& p, DEVMODEW* c) {
    if (paper) {
        c->dmOrientation = p.dmOrientation;
        c->dmPaperSize = p.dmPaperSize;
        c->dmPaperLength = p.dmPaperLength;
        c->dmPaperWidth = p.dmPaperWidth;
        Take(c->dmFormName, p.dmFormName);
    }
    c->dmScale = p.dmScale;
    c->dmCopies = p.dmCopies;
    c->dmDefaultSource = p.dmDefaultSource;
    c->dmPrintQuality = p.dmPrintQuality;
    c->dmColor = p.dmColor;
    c->dmDuplex = p.dmDuplex;
    c->dmYResolution = p.dmYResolution;
    c->dmTTOption = p.dmTTOption;
    c->dmCollate = p.dmCollate;
    c->dmLogPixels = p.dmLogPixels;
    c->dmICMMethod = p.dmICMMethod;
    c->dmICMIntent = p.dmICMIntent;
    c->dmMediaType = p.dmMediaType;
}

void MergeOutputPaper(const PRIVATE_DEVMODE& p, DEVMODE_IMAGEW* current) {
    PRIVATE_DEVMODE& c = current->priv;
    if (p.LayoutKind != kLayoutNone) {
        c.OutputPaperId = p.OutputPaperId;
        c.OutputPaperWidth = p.OutputPaperWidth;
        c.OutputPaperLength = p.OutputPaperLength;
        return;
    }
    // Without a layout the output paper is the paper itself.
    c.OutputPaperId = 0;
    c.OutputPaperWidth = current->dm.dmPaperWidth;
    c.OutputPaperLength = current->dm.dmPaperLength;
    if (current->dm.dmFields & (DM_PAPERLENGTH | DM_PAPERWIDTH))
        c.PrivateFlags |= kFlagCustomOutputSize;
    else
        c.PrivateFlags &= ~kFlagCustomOutputSize;
}

void MergeJob(const PRIVATE_DEVMODE& p, PRIVATE_DEVMODE* c) {
    c->JobType = p.JobType;
    c->JobTypeOptions = p.JobTypeOptions;
    // A profile never switches department-code entry on or off: that belongs
    // to the user's account, so bit 0 stays the current one.
    c->DeptCounterFlags = static_cast<WORD>((c->DeptCounterFlags & kDeptCodeOn) |
                                            (p.DeptCounterFlags & ~kDeptCodeOn));
    if (c->DeptCounterFlags & kDeptCodeOn) Take(c->DeptCode, p.DeptCode);
    if (p.JobType == kJobCheckThenPrint || p.JobType == kJobMailbox)
        Take(c->MailboxId, p.MailboxId);
    if (p.JobType == kJobSecureMailbox) Take(c->SecureBoxId, p.SecureBoxId);
    // The secure password is not part of a profile (the store never keeps
    // it), so the current one stays.
}

void MergeLayout(const PRIVATE_DEVMODE& p, PRIVATE_DEVMODE* c) {
    c->LayoutKind = p.LayoutKind;
    c->LengthUnitDpi = p.LengthUnitDpi;
    if (p.LayoutKind == kLayoutPagesPerSheet) {
        c->PagesPerSheet = p.PagesPerSheet;
        c->PageOrder = p.PageOrder;
        c->PageBorders = p.PageBorders;
        c->BorderWidth = p.BorderWidth;
        c->NupRotation = p.NupRotation;
    }
    if (p.LayoutKind == kLayoutBooklet) {
        c->BookletKind = p.BookletKind;
        c->BookletSheets = p.BookletSheets;
        c->BindingMargin = p.BindingMargin;
        c->BookletRotation = p.BookletRotation;
    }
    if (p.LayoutKind == kLayoutZoom) {
        c->ZoomPercent = p.ZoomPercent;
        c->ZoomAnchor = p.ZoomAnchor;
    }
    if (p.LayoutKind != kLayoutFitToPaper) c->FitMode = p.FitMode;
    if (p.LayoutKind == kLayoutPoster) {
        Take(c->PosterGrid, p.PosterGrid);
        c->PosterOverlap = p.PosterOverlap;
    }
}

void MergePrivate(bool paper, const PRIVATE_DEVMODE& p, DEVMODE_IMAGEW* current) {
    PRIVATE_DEVMODE& c = current->priv;
    c.DuplexMarginFlags = p.DuplexMarginFlags;
    c.EmfMode = p.EmfMode;
    MergeOutputPaper(p, current);
    if (paper) c.Rotate180 = p.Rotate180;
    c.ResolutionCopy = p.ResolutionCopy;
    c.DuplexType = p.DuplexType;
    c.DuplexMargin = p.DuplexMargin;
    c.Reserved80 = p.Reserved80;
    c.ReverseOrder = p.ReverseOrder;
    c.MirrorImage = p.MirrorImage;
    c.SkipBlankPages = p.SkipBlankPages;
    c.CollateByDriver = p.CollateByDriver;
    c.StapleMode = p.StapleMode;
    c.OutputBin = p.OutputBin;
    c.PunchMode = p.PunchMode;
    c.SortMode = p.SortMode;
    c.CoverFlags = p.CoverFlags;
    if (p.CoverFlags & kCoverFront) {
        c.FrontCoverPrinted = p.FrontCoverPrinted;
        c.FrontCoverSource = p.FrontCoverSource;
        c.FrontCoverMedia = p.FrontCoverMedia;
    }
    if (p.CoverFlags & kCoverBack) {
        c.BackCoverPrinted = p.BackCoverPrinted;
        c.BackCoverSource = p.BackCoverSource;
        c.BackCoverMedia = p.BackCoverMedia;
    }
    MergeJob(p, &c);
    MergeLayout(p, &c);
    c.ColorMode = p.ColorMode;
    c.ColorAdjustOption = p.ColorAdjustOption;
    c.ColorMatching = p.ColorMatching;
    c.ColorModeAlt = p.ColorModeAlt;
    Take(c.ColorAdjustValues, p.ColorAdjustValues);
    c.Density = p.Density;
    c.TextAsBlack = p.TextAsBlack;
    c.ThresholdLevel = p.ThresholdLevel;
    c.ResolutionCode = p.ResolutionCode;
    c.FontMode = p.FontMode;
    c.TonerSaveLevel = p.TonerSaveLevel;
    c.ImageReduction = p.ImageReduction;
    c.GraphicsMode = p.GraphicsMode;
    c.HalftoneKind = p.HalftoneKind;
    c.FinePatterns = p.FinePatterns;
    c.OverlayFlags = p.OverlayFlags;
    if (p.OverlayFlags & kOverlayMake) Take(c.OverlayMakeName, p.OverlayMakeName);
    if (p.OverlayFlags & kOverlayPrint) {
        c.OverlayPages = p.OverlayPages;
        c.OverlayOnTop = p.OverlayOnTop;
        Take(c.OverlayUseName, p.OverlayUseName);
    }
    c.WatermarkFlags = p.WatermarkFlags;
    if (p.WatermarkFlags & kWatermarkRecord) Take(c.WatermarkRecord, p.WatermarkRecord);
    Take(c.ProfileName, p.ProfileName);
    c.JobSetupKind = p.JobSetupKind;
    c.PriorPrintOn = p.PriorPrintOn;
    c.DuplexNotice = p.DuplexNotice;
    c.Reserved848 = p.Reserved848;
    c.JobInfoFlags = p.JobInfoFlags;
    if (p.JobInfoFlags & kAskUserName) Take(c.UserName, p.UserName);
    if (p.JobInfoFlags & kAskJobName) Take(c.JobName, p.JobName);
    Take(c.OwnerUserName, p.OwnerUserName);
    Take(c.OwnerComputerName, p.OwnerComputerName);
    Take(c.OwnerInstalledTime, p.OwnerInstalledTime);
}

bool IsWindows95() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS &&
           version.dwMajorVersion == 4 && version.dwMinorVersion == 0;
}

bool AnyDuplexUnitOn(const CInstallOption& options) {
    for (DWORD i = 0; i < options.Count(); ++i)
        if (options.Entries()[i].optionId == kOptionDuplexUnit && options.Entries()[i].state)
            return true;
    return false;
}

// The parts of the migration that depend on what the printer has.
void MigrateForOptions(ProfileFile* store, DEVMODE_IMAGEW* devmode) {
    std::unique_ptr<CInstallOption> built;
    CInstallOption* options = store->InstalledOptions();
    if (!options) {
        built = std::make_unique<CInstallOption>(store->Printer(), store->Binding());
        options = built.get();
    }
    const ModelOptionPair pair{store->Binding(), options};
    PRIVATE_DEVMODE& priv = devmode->priv;
    if (priv.PrivateFlags & kFlagManualDuplex) {
        const bool unit = IsOption25AInstalled(&pair) != FALSE;
        const bool unitOn = AnyDuplexUnitOn(*options);
        if (priv.DuplexType == 0 && !unit && priv.ManualDuplexOffered > 0 && !unitOn)
            priv.DuplexType = 1;
        else if (priv.DuplexType != 0 && unit && priv.ManualDuplexOffered == 0 && unitOn)
            priv.DuplexType = 0;
    }
    if (priv.PrivateFlags & kFlagCopyControl) {
        CModelInfo copyControl(store->Binding(), model::kQueryCopyControl, 0,
                               model::layout::kFixedFirst);
        const bool answered = copyControl.GetData() && copyControl.Length() > 0;
        if (!answered || !(copyControl.U8(0) & kCopyControlFixed))
            priv.CollateByDriver = IsTable38FeatureAvailable(&pair) ? 0 : 1;
    }
}

// A zeroed wide image of the driver's sizes, the ANSI one widened into it.
bool Widen(const DEVMODE_IMAGEA& ansi, DEVMODE_IMAGEW* wide) {
    std::memset(wide, 0, sizeof *wide);
    return DevModeAToW(&ansi.dm, sizeof ansi, &wide->dm, sizeof *wide) != FALSE;
}

bool Narrow(const DEVMODE_IMAGEW& wide, DEVMODE_IMAGEA* ansi) {
    std::memset(ansi, 0, sizeof *ansi);
    return DevModeWToA(&wide.dm, sizeof wide, &ansi->dm, sizeof *ansi) != FALSE;
}

} // namespace

BOOL MergeProfileSettings(const ProfileEntry* entry, const DEVMODE_IMAGEW* profile,
                          DEVMODE_IMAGEW* current) {
    if (!current) return FALSE;
    if (!profile) return TRUE;
    const bool paper = !entry || !(entry->profileFlags & kProfileKeepsPaper);
    MergeStandard(paper, profile->dm, &current->dm);
    MergePrivate(paper, profile->priv, current);
    return TRUE;
}

BOOL MigrateProfileSettings(ProfileFile* store, DEVMODE_IMAGEW* devmode, DWORD settingsVersion) {
    if (!devmode) return FALSE;
    PRIVATE_DEVMODE& priv = devmode->priv;
    const bool old = settingsVersion != kCurrentSettingsVersion;
    if (old && (settingsVersion & kVersionClearsRotations)) {
        priv.NupRotation = 0;
        priv.BookletRotation = 0;
    }
    if (old && (settingsVersion & kVersionSetsColorMatching)) {
        devmode->dm.dmICMMethod =
            priv.ColorMatching == kMatchingBySystem ? kIcmBySystem : kIcmByDevice;
        devmode->dm.dmICMIntent = kIcmIntentColorimetric;
    }
    if (IsWindows95() && devmode->dm.dmICMIntent == kIcmIntentOld)
        devmode->dm.dmICMIntent = kIcmIntentColorimetric;
    if (store && (store->InstalledOptions() || store->Printer())) MigrateForOptions(store, devmode);
    if (old) {
        DecideSpoolPlayback(&devmode->dm, &priv);
        priv.MetafileSpoolingOff = 1;
    }
    return TRUE;
}

BOOL MigrateAnsiProfile(ProfileFile* store, DEVMODE_IMAGEA* devmode, DWORD settingsVersion) {
    if (!devmode) return FALSE;
    auto wide = std::make_unique<DEVMODE_IMAGEW>();
    DEVMODE_IMAGEA narrowed;
    if (!Widen(*devmode, wide.get()) ||
        !MigrateProfileSettings(store, wide.get(), settingsVersion) || !Narrow(*wide, &narrowed))
        return FALSE;
    *devmode = narrowed;
    return TRUE;
}

BOOL ProfileFile::MigrateProfile(DEVMODE_IMAGEA* devmode, DWORD settingsVersion) {
    return MigrateAnsiProfile(this, devmode, settingsVersion);
}

BOOL ApplyProfileToDevmode(ProfileFile* store, DEVMODE_IMAGEW* current, ProfileEntry* entry) {
    if (!store || !current || !entry) return FALSE;
    DEVMODE_IMAGEA stored{};
    stored.dm.dmSize = DEVMODEA_SIZE;
    stored.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    DWORD version = kCurrentSettingsVersion;
    if (!store->ReadProfile(entry->name, &stored.dm, entry, &version)) return FALSE;
    auto profile = std::make_unique<DEVMODE_IMAGEW>();
    if (!Widen(stored, profile.get())) return FALSE;
    MigrateProfileSettings(store, profile.get(), version);
    return MergeProfileSettings(entry, profile.get(), current);
}

BOOL CopyProfile(ProfileFile* target, ProfileFile* source, ProfileEntry* entry,
                 const ProfileEntry* newEntry, BOOL toTop) {
    if (!target || !source || !entry) return FALSE;
    DEVMODE_IMAGEA stored{};
    stored.dm.dmSize = DEVMODEA_SIZE;
    stored.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    DWORD version = kCurrentSettingsVersion;
    // An entry of the source's own list is read by its place, so that two
    // names differing only in case each copy their own profile.
    const ProfileEntry* list = nullptr;
    DWORD count = 0;
    // An unread list leaves `list` null: the profile is then read by name.
    (void)source->GetProfileList(&list, &count);
    const bool listed = list && entry >= list && entry < list + count;
    const bool read =
        listed ? source->ReadProfileAt(static_cast<DWORD>(entry - list), &stored, nullptr, &version)
               : source->ReadProfile(entry->name, &stored.dm, entry, &version);
    if (!read) return FALSE;
    if (!MigrateAnsiProfile(target, &stored, version)) return FALSE;
    const ProfileEntry* saveAs = entry;
    if (newEntry) {
        SetFieldText(stored.priv.ProfileName, sizeof stored.priv.ProfileName,
                     FieldText(newEntry->name, sizeof newEntry->name));
        saveAs = newEntry;
    }
    return target->SaveProfile(&stored.dm, saveAs, toTop);
}

void MigrateAllProfiles(ProfileFile* store) {
    // Best-effort: a failure stays in the store's error code.
    if (store) (void)store->MigrateStore();
}

} // namespace sheetwright

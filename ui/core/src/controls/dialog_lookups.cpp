#include "dialog_lookups.h"

#include <cstdio>
#include <cstring>
#include <cwctype>

#include "devmode_helpers.h"
#include "localize.h"
#include "number_text.h"
#include "ui_entry_points.h"
#include "user_paper.h"
#include "win/user.h"
#include "win/user_constants.h"
#include "model_codes.h"
#include "model_info.h"

namespace sheetwright {
namespace {

constexpr DWORD kDuplexIconBase = 2110;
constexpr WORD kManualFeedTray = 4, kAutomaticTray = 7;
constexpr DWORD kDefaultInputLimit = 8;
constexpr DWORD kCharFlagsAlways = 0x1000;
constexpr DWORD kCharFlagsDefault = 0x1001;
constexpr DWORD kSearchedRuleBits = 0x10 | 0x20 | 0x80;
// A finisher's staple positions (model table 27, layout 7): 24-byte entries.
constexpr size_t kPositionEntrySize = 24, kPositionCodeAt = 4, kPositionPaperAt = 6,
                 kPositionBitsAt = 8;
// The optional feeders' records (table 26, layout 2) and the output bins'
// (table 34, layout 3).
constexpr size_t kFeederRecordSize = 32, kFeederKindAt = 0, kFeederTrayCountAt = 14,
                 kFeederTrayIdsAt = 24, kFeederMaxTrayIds = 4;
// Feeder kinds: the two kinds of paper feeder unit and the large-capacity tray.
constexpr WORD kFeederUnitA = 1, kFeederUnitB = 2, kFeederLargeCapacity = 5;
constexpr size_t kBinRecordSize = 192, kBinIdAt = 4, kBinFlagsAt = 8, kBinJobFlagsAt = 20;
constexpr DWORD kHalftoneResourceOverride = 0x80000;
constexpr WORD kResourceHalftoneEntry = 20;

WORD JobTable(DWORD kind) {
    switch (kind) {
    case 1:
        return model::kQueryJobType1Rules;
    case 2:
        return model::kQueryJobType2Rules;
    case 3:
        return model::kQueryJobType3Rules;
    case 4:
        return model::kQueryJobType4Rules;
    case 5:
        return model::kQueryJobType5Rules;
    default:
        return 0;
    }
}

// The feeder records of the model, kept by `keep` (of the record's kind),
// each handed to `visit` (the answer, the record's offset, its tray count)
// until it answers true.
template <class Keep, class Visit>
void ForEachFeeder(const ModelBlock* binding, Keep keep, Visit visit) {
    CModelInfo feeders(binding, model::kQueryTrayGroups, 0, model::layout::kFeederRecord);
    for (size_t at = 0; feeders.GetData() && at + kFeederRecordSize <= feeders.Length();
         at += kFeederRecordSize) {
        if (!keep(feeders.U16(at + kFeederKindAt))) continue;
        // The count is signed: a negative one holds no trays.
        const auto count = static_cast<SHORT>(feeders.U16(at + kFeederTrayCountAt));
        if (visit(feeders, at, count > 0 ? static_cast<DWORD>(count) : 0u)) return;
    }
}

template <class Keep> DWORD SumTrays(const ModelBlock* binding, Keep keep) {
    DWORD n = 0;
    ForEachFeeder(binding, keep, [&](CModelInfo&, size_t, DWORD count) {
        n += count;
        return false;
    });
    return n;
}

// The tray at `index` counted over the kept records in order; 0 out of range.
template <class Keep> WORD NthTrayId(const ModelBlock* binding, DWORD index, Keep keep) {
    WORD id = 0;
    ForEachFeeder(binding, keep, [&](CModelInfo& feeders, size_t at, DWORD count) {
        if (index >= count) {
            index -= count;
            return false;
        }
        // A record names at most four trays: one counted beyond them has no
        // id to give, and the next record's bytes are not its ids.
        if (index < kFeederMaxTrayIds) id = feeders.U16(at + kFeederTrayIdsAt + 2 * index);
        return true;
    });
    return id;
}

bool AnyFeeder(WORD) {
    return true;
}
bool MainFeeder(WORD kind) {
    return kind == kFeederUnitA || kind == kFeederUnitB;
}
bool LargeCapacityFeeder(WORD kind) {
    return kind == kFeederLargeCapacity;
}

} // namespace

DWORD GetDuplexIconId(const DEVMODE_IMAGEW* image, SHORT duplex, WORD binding) {
    if (!image) return kDuplexIconBase;
    const PRIVATE_DEVMODE& priv = image->priv;
    SHORT o = image->dm.dmOrientation;
    const WORD n = priv.PagesPerSheet;
    if (priv.LayoutKind == kLayoutBooklet ||
        (priv.LayoutKind == kLayoutPagesPerSheet && (n == 2 || n == 6 || n == 8)))
        o = o == DMORIENT_PORTRAIT ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    const bool portrait = o == DMORIENT_PORTRAIT;
    switch (duplex) {
    case 1:
        return portrait ? 2110 : 2113;
    case 2:
        return binding ? (portrait ? 2116 : 2119) : (portrait ? 2111 : 2114);
    case 3:
        return binding ? (portrait ? 2117 : 2118) : (portrait ? 2112 : 2115);
    default:
        return kDuplexIconBase;
    }
}

DWORD GetPageOrderStringId(SHORT orientation, WORD layoutKind, WORD order) {
    const bool portrait = orientation == DMORIENT_PORTRAIT;
    if (layoutKind == kLayoutBooklet) {
        switch (order) {
        case 0:
            return portrait ? 4608 : 4610;
        case 3:
            return portrait ? 4609 : 4611;
        case 1:
            return 4614;
        case 2:
            return 4615;
        default:
            return 0;
        }
    }
    switch (order) {
    case 0:
        return 4612;
    case 1:
        return 4614;
    case 2:
        return 4615;
    case 3:
        return 4613;
    default:
        return 0;
    }
}

BOOL IsBlankText(LPCWSTR text) {
    if (!text || !text[0]) return FALSE;
    for (const WCHAR* p = text; *p; ++p)
        if (!std::iswspace(static_cast<wint_t>(*p))) return FALSE;
    return TRUE;
}

void SplitFolderAndFileName(const std::u16string& path, std::u16string* folder,
                            std::u16string* file) {
    const size_t slash = path.find_last_of(u"\\/:");
    const size_t cut = slash == std::u16string::npos ? 0 : slash + 1;
    if (folder) *folder = path.substr(0, cut);
    if (file) *file = path.substr(cut);
}

DWORD GetFinishingPositionCode(const ModelBlock* binding, const CInstallOption* options,
                               const DEVMODE_IMAGEW* image, WORD edge) {
    if (!binding || !options || !image) return 0;
    const InstallOptionEntry* finisher = options->FindInstalledFinisher(1);
    if (!finisher || !(finisher->state & kFinisherPunchUnit)) return 0;
    CModelInfo positions(binding, model::kQueryFinishers, finisher->value,
                         model::layout::kFinisherStapleMembersA);
    if (!positions.GetData()) return 0;
    const WORD paper = image->priv.OutputPaperId ? image->priv.OutputPaperId
                                                 : static_cast<WORD>(image->dm.dmPaperSize);
    const DWORD code = UnmapModelCodeNine(image->priv.OutputBin);
    const WORD o = GetEffectiveOrientation(image);
    const bool second = (o == DMORIENT_PORTRAIT && (edge == 2 || edge == 3)) ||
                        (o == DMORIENT_LANDSCAPE && edge == 1);
    const DWORD group = second ? 0x1000 : 0x100;
    DWORD p = 0;
    for (size_t at = 0; at + kPositionEntrySize <= positions.Length(); at += kPositionEntrySize) {
        if (positions.U16(at + kPositionPaperAt) != paper) continue;
        const DWORD bits = positions.U32(at + kPositionBitsAt);
        if (bits & group)
            p = 2;
        else if (bits & (group << 1))
            p = 3;
        else if (bits & (group << 2))
            p = 4;
        if (p && positions.U16(at + kPositionCodeAt) == code) return p;
    }
    return p;
}

BOOL FillJobInputRule(const ModelBlock* binding, DWORD kind, JobInputRule* rule) {
    if (!rule) return FALSE;
    std::memset(rule, 0, sizeof *rule);
    const WORD table = JobTable(kind);
    bool filled = false;
    if (table) {
        CModelInfo rules(binding, table, 0, model::layout::kFixedSecond);
        if (rules.GetData()) {
            rule->flagWord = rules.U32(0);
            rule->firstFlag = (rule->flagWord & 0x2) ? 1 : 0;
            rule->secondFlag = (rule->flagWord & 0x4) ? 1 : 0;
            rule->firstCharFlags = rules.U32(8);
            rule->firstLimit = rules.U16(12);
            rule->secondCharFlags = rules.U32(16);
            rule->secondLimit = rules.U16(20);
            CModelInfo sets(binding, table, 0, model::layout::kFixedThird);
            if (sets.GetData()) {
                for (size_t i = 0; i + 1 < sizeof rule->firstCharSet; ++i) {
                    rule->firstCharSet[i] = static_cast<char>(sets.U8(16 + i));
                    rule->secondCharSet[i] = static_cast<char>(sets.U8(56 + i));
                }
            }
            filled = true;
        }
    }
    if (!filled) {
        for (DWORD k : {1u, 2u, 3u, 4u, 5u}) {
            CModelInfo rules(binding, JobTable(k), 0, model::layout::kFixedSecond);
            if (!rules.GetData() || (rules.U32(0) & kSearchedRuleBits) != kSearchedRuleBits)
                continue;
            rule->flagWord = rules.U32(0);
            rule->firstLimit = rules.U16(12);
            rule->secondLimit = rules.U16(20);
            break;
        }
    }
    for (DWORD* flags : {&rule->firstCharFlags, &rule->secondCharFlags})
        *flags = *flags ? (*flags | kCharFlagsAlways) : kCharFlagsDefault;
    for (DWORD* limit : {&rule->firstLimit, &rule->secondLimit})
        if (!*limit) *limit = kDefaultInputLimit;
    return TRUE;
}

DWORD CountPaperSources(const ModelBlock* binding) {
    CModelInfo trays(binding, model::kQueryPaperSources, 0, model::layout::kTrayList);
    DWORD n = 0;
    for (size_t at = 0; trays.GetData() && at + sizeof(model::IdNameAnswer) <= trays.Length();
         at += sizeof(model::IdNameAnswer)) {
        const WORD kind = trays.U16(at);
        if (kind != kManualFeedTray && kind != kAutomaticTray) ++n;
    }
    return n;
}

DWORD GetTotalTrayCount(const ModelBlock* binding) {
    return SumTrays(binding, AnyFeeder);
}

DWORD CountMainTrays(const ModelBlock* binding) {
    return SumTrays(binding, MainFeeder);
}

WORD GetMainTrayId(const ModelBlock* binding, DWORD index) {
    return NthTrayId(binding, index, MainFeeder);
}

WORD GetKind5TrayId(const ModelBlock* binding, DWORD index) {
    return NthTrayId(binding, index, LargeCapacityFeeder);
}

WORD FindFlaggedOutputBinId(const ModelBlock* binding) {
    CModelInfo bins(binding, model::kQueryOutputBins, 0, model::layout::kBinRecord);
    for (size_t at = 0; bins.GetData() && at + kBinRecordSize <= bins.Length();
         at += kBinRecordSize)
        if ((bins.U8(at + kBinFlagsAt) & 0x1) && (bins.U8(at + kBinJobFlagsAt) & 0x6))
            return bins.U16(at + kBinIdAt);
    return 0;
}

WORD GetModelTable47Value(const ModelBlock* binding, WORD id) {
    if (id == 1) {
        CModelInfo raster(binding, model::kQueryHalftones, 1, model::layout::kHalftoneRaster);
        CModelInfo resources(binding, model::kQueryResourceIds, kResourceHalftoneEntry,
                             model::layout::kEntryList);
        if ((raster.U32(4) & kHalftoneResourceOverride) && resources.U16(2))
            return resources.U16(2);
    }
    CModelInfo entry(binding, model::kQueryHalftones, id, model::layout::kHalftoneShort);
    return entry.GetData() ? entry.U16(2) : 0;
}

BOOL GetPaperName(std::u16string* out, const ModelBlock* binding, HMODULE resources, WORD paper,
                  const CUserPaper* papers) {
    if (!out) return FALSE;
    out->clear();
    CLocalize strings(resources);
    if (paper < kFirstUserPaper) {
        CModelInfo entry(binding, model::kQueryPapers, paper, model::layout::kPaperList);
        strings.LoadString(entry.U16(offsetof(model::IdNameAnswer, nameId)), out);
        return TRUE;
    }
    if (const UserPaperRecord* p = papers ? papers->FindById(paper) : nullptr) {
        *out = AnsiToWide(p->name, strnlen(p->name, sizeof p->name));
        return TRUE;
    }
    strings.LoadString(kStringCustomPaper, out);
    return TRUE;
}

std::u16string FormatPaperSizeText(const ModelBlock* binding, HMODULE resources,
                                   const CUserPaper* papers, WORD paper) {
    CLocalize strings(resources);
    std::u16string name, inches, unit;
    strings.LoadString(kStringInches, &inches);
    double width = 0, length = 0;
    if (paper >= kFirstUserPaper) {
        const UserPaperRecord* p = papers ? papers->FindById(paper) : nullptr;
        if (!p) return {};
        name = AnsiToWide(p->name, strnlen(p->name, sizeof p->name));
        const bool metric = p->Unit() != 0;
        width = metric ? p->widthTenthMm / 10.0 : p->widthHundredthIn / 100.0;
        length = metric ? p->lengthTenthMm / 10.0 : p->lengthHundredthIn / 100.0;
        strings.LoadString(metric ? kStringMillimetres : kStringInches, &unit);
    } else {
        model::PaperRecordAnswer record{};
        if (!GetPaperRecord(binding, papers, paper, &record)) return {};
        strings.LoadString(static_cast<WORD>(record.nameId), &name);
        const bool metric = record.slot2 == 2;
        width = metric ? record.width / 10.0 : record.widthDots / 600.0;
        length = metric ? record.length / 10.0 : record.lengthDots / 600.0;
        strings.LoadString(metric ? kStringMillimetres : kStringInches, &unit);
    }
    if (width <= 0 || length <= 0) return name;
    const char* precision = unit == inches ? "%.2f" : "%.1f";
    char w[32], l[32];
    std::snprintf(w, sizeof w, precision, width);
    std::snprintf(l, sizeof l, precision, length);
    const std::u16string wide[] = {AnsiToWide(w, std::strlen(w)), AnsiToWide(l, std::strlen(l)),
                                   unit};
    const WCHAR* texts[] = {wide[0].c_str(), wide[1].c_str(), wide[2].c_str()};
    std::u16string format;
    strings.LoadString(kStringPaperSize, &format);
    WCHAR size[128];
    DWORD needed = 0;
    FormatResStringTexts(resources, size, 128, &needed, format.c_str(), texts, 3);
    return name + size;
}

BOOL ContainsModelName(const ModelBlock* binding, LPCWSTR text) {
    const std::u16string haystack = text ? text : u"";
    auto contains = [&](const char* name, size_t bytes) {
        return haystack.find(AnsiToWide(name, strnlen(name, bytes))) != std::u16string::npos;
    };
    CModelInfo model(binding, model::kQueryModelName, 0, kTextLayout);
    if (auto* name = static_cast<const char*>(model.GetData()))
        if (contains(name, model.Length())) return TRUE;
    constexpr size_t kOtherNameSize = 24, kOtherNameAt = 8, kOtherNameBytes = 16;
    CModelInfo others(binding, model::kQueryPortModelNames, 0, model::layout::kOtherModelNames);
    auto* data = static_cast<const char*>(others.GetData());
    for (size_t at = 0; data && at + kOtherNameSize <= others.Length(); at += kOtherNameSize)
        if (contains(data + at + kOtherNameAt, kOtherNameBytes)) return TRUE;
    return FALSE;
}

BOOL HasForbiddenCharacters(HMODULE resources, LPCWSTR text) {
    if (!text) return FALSE;
    CLocalize strings(resources);
    std::u16string forbidden;
    strings.LoadString(kStringForbiddenChars, &forbidden);
    return !forbidden.empty() &&
           std::u16string(text).find_first_of(forbidden) != std::u16string::npos;
}

DWORD ValidateInputText(HWND edit, const char* text, const InputRule* rule) {
    if (!text || !text[0]) return kInputEmpty;
    if (!rule) return 0;
    constexpr DWORD kLimitIsMinimum = 0x4;
    if ((rule->flags & kLimitIsMinimum) && rule->limit && std::strlen(text) < rule->limit)
        return kInputTooShort;
    // An unrestricted rule refuses no character, as typing does not.
    if (!rule->restricted) return 0;
    const BOOL singleByte = edit && (GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD);
    for (WCHAR ch : AnsiToWide(text, std::strlen(text)))
        if (!IsCharAllowed(ch, singleByte, rule)) return kInputRefusedChar;
    return 0;
}

namespace {

// The raster flags of the image's halftone (table 47, layout 4), else of its
// resolution mode (table 42, layout 1); 0 unless colour bands are on.
bool RasterFlags(const ModelBlock* binding, const DEVMODE_IMAGEW* image, DWORD* flags) {
    constexpr DWORD kColourBandsFeature = 0x10000;
    if (!image || !(image->priv.FeatureFlags & kColourBandsFeature) ||
        image->priv.GraphicsMode != 1)
        return false;
    CModelInfo halftone(binding, model::kQueryHalftones, image->priv.HalftoneKind,
                        model::layout::kHalftoneRaster);
    if (halftone.GetData()) {
        *flags = halftone.U32(4);
        return true;
    }
    CModelInfo quality(binding, model::kQueryQualityModes, image->priv.ResolutionCode,
                       model::layout::kQualityRecord);
    *flags = quality.U32(16);
    return true;
}

} // namespace

BOOL CheckTable47Bit27(const ModelBlock* binding, const DEVMODE_IMAGEW* image) {
    DWORD flags = 0;
    return RasterFlags(binding, image, &flags) && !(flags & (1u << 27));
}

BOOL CheckTable47Bit18(const ModelBlock* binding, const DEVMODE_IMAGEW* image) {
    DWORD flags = 0;
    return CheckTable47Bit27(binding, image) && RasterFlags(binding, image, &flags) &&
           (flags & (1u << 18));
}

} // namespace sheetwright

#include "ui_entry_points.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devmode_corrections.h"
#include "devmode_helpers.h"
#include "install_option.h"
#include "localize.h"
#include "model/modelsmith.h"
#include "model_codes.h"
#include "model_info.h"
#include "revise_devmode.h"
#include "user_paper.h"
#include "win/base.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

constexpr DWORD kAnswerFromLastError = 0xFFFFFFFF;
constexpr size_t kNameChars = 64;
constexpr size_t kBinNameChars = 24;
constexpr DWORD kQualityHidden = model::kQualityNotListed;
constexpr size_t kQualityFlagsAt = offsetof(model::QualityAnswer, flags);
constexpr BYTE kTraySkippedByAuto = 0x40; // tray record byte 24
constexpr size_t kTrayAutoFlagsAt = 24;
constexpr SHORT kAutoSource = 7;
constexpr WORD kCustomPaperRecordId = 256;
constexpr DWORD kPagesPerSheet[] = {1, 2, 4, 6, 8, 9, 16};
static_assert(sizeof kPagesPerSheet == kEnumPagesPerSheetSize);

// Modelsmith and Resbundle of one call, freed with the object.
struct CallLibraries {
    CallLibraries(HANDLE printer, LPCVOID data, bool withTexts) {
        block.modelData = const_cast<LPVOID>(data);
        if (!data) return;
        block.modelsmith = LoadDriverModule(printer, data, kSelectModelsmith);
        if (withTexts) resbundle = LoadDriverModule(printer, data, kSelectResbundle);
        if (resbundle) texts = std::make_unique<CLocalize>(resbundle);
    }
    ~CallLibraries() {
        texts.reset();
        if (resbundle) FreeLibrary(resbundle);
        if (block.modelsmith) FreeLibrary(block.modelsmith);
    }
    CallLibraries(const CallLibraries&) = delete;
    CallLibraries& operator=(const CallLibraries&) = delete;

    std::u16string Text(DWORD id) const {
        std::u16string s;
        if (texts && id) texts->LoadString(id, &s);
        return s;
    }

    ModelBlock block{};
    HMODULE resbundle = nullptr;
    std::unique_ptr<CLocalize> texts;
};

// Copies text into a slot of `chars` wide characters, NUL-terminated.
void PutName(BYTE* slot, size_t chars, const std::u16string& text) {
    size_t n = std::min(text.size(), chars - 1);
    std::memcpy(slot, text.data(), n * sizeof(WCHAR));
    std::memset(slot + n * sizeof(WCHAR), 0, (chars - n) * sizeof(WCHAR));
}

template <typename T> void Put(BYTE* at, T v) {
    std::memcpy(at, &v, sizeof v);
}

// One model list: its entries as bytes.
struct ModelList {
    ModelList(const ModelBlock* binding, WORD table, WORD id, DWORD layout)
        : info(binding, table, id, layout) {
        data = static_cast<const BYTE*>(info.GetData());
    }
    size_t Entries(size_t size) const { return data ? info.Length() / size : 0; }
    template <typename T> T At(size_t offset) const {
        T v{};
        if (data && offset + sizeof v <= info.Length()) std::memcpy(&v, data + offset, sizeof v);
        return v;
    }
    CModelInfo info;
    const BYTE* data;
};

// The name of a paper: the model's string or the user's paper name.
std::u16string PaperName(const CallLibraries& libs, const CUserPaper& papers, WORD paper) {
    if (paper >= kFirstUserPaper) {
        const UserPaperRecord* p = papers.FindById(paper);
        return p ? AnsiToWide(p->name, strnlen(p->name, sizeof p->name)) : std::u16string();
    }
    CModelInfo entry(&libs.block, model::kQueryPapers, paper, model::layout::kPaperList);
    return libs.Text(entry.U16(offsetof(model::IdNameAnswer, nameId)));
}

// ---- uiEnumMyPrinterInfo lists

DWORD EnumPapers(HANDLE, const CallLibraries& libs, BYTE* buffer, LPDWORD size, LPDWORD count) {
    if (!size || !count) return ERROR_INVALID_PARAMETER;
    ModelList papers(&libs.block, model::kQueryPapers, 0, model::layout::kPaperRecord);
    const size_t modelPapers = papers.Entries(sizeof(model::PaperRecordAnswer));
    CModelInfo custom(&libs.block, model::kQueryCustomPaperLimits, 0, model::layout::kLimitsRecord);
    const bool customSizes = custom.U32(0) != 0;
    CUserPaper user;
    user.SetDefaultPath(&libs.block);
    user.Read();
    const size_t total = modelPapers + (customSizes ? 1 : 0) + user.Count();
    if (!buffer) {
        *size = static_cast<DWORD>(total * kEnumPaperRecordSize);
        return 0;
    }
    const size_t room = *size / kEnumPaperRecordSize;
    size_t written = 0;
    auto record = [&](WORD id, const std::u16string& name, SHORT width, SHORT length) {
        if (written >= room) return;
        BYTE* r = buffer + written * kEnumPaperRecordSize;
        std::memset(r, 0, kEnumPaperRecordSize);
        Put<WORD>(r, id);
        PutName(r + 2, kNameChars, name);
        Put<SHORT>(r + 130, width);
        Put<SHORT>(r + 132, length);
        ++written;
    };
    for (size_t i = 0; i < modelPapers; ++i) {
        const size_t at = i * sizeof(model::PaperRecordAnswer);
        record(papers.At<WORD>(at), libs.Text(papers.At<WORD>(at + 2)),
               papers.At<SHORT>(at + offsetof(model::PaperRecordAnswer, width)),
               papers.At<SHORT>(at + offsetof(model::PaperRecordAnswer, length)));
    }
    if (customSizes) record(kCustomPaperRecordId, libs.Text(kStringCustomSize), 0, 0);
    for (WORD i = 0; i < user.Count(); ++i) {
        const UserPaperRecord* p = user.At(i);
        std::u16string name = AnsiToWide(p->name, strnlen(p->name, sizeof p->name));
        name.resize(std::min<size_t>(name.size(), kNameChars - 1));
        record(p->paperId, name, static_cast<SHORT>(p->widthTenthMm),
               static_cast<SHORT>(p->lengthTenthMm));
    }
    *count = static_cast<DWORD>(written);
    return 0;
}

DWORD EnumMediaTypes(const CallLibraries& libs, BYTE* buffer, LPDWORD size, LPDWORD count) {
    ModelList media(&libs.block, model::kQueryMediaTypes, 0, model::layout::kMediaList);
    const size_t entries = media.Entries(sizeof(model::IdNameAnswer));
    if (!buffer) {
        if (size) *size = static_cast<DWORD>(entries * kEnumMediaRecordSize);
        return 0;
    }
    const size_t n = std::min<size_t>(size ? *size / kEnumMediaRecordSize : 0, entries);
    for (size_t i = 0; i < n; ++i) {
        BYTE* r = buffer + i * kEnumMediaRecordSize;
        const size_t at = i * sizeof(model::IdNameAnswer);
        Put<LONG>(r, media.At<SHORT>(at));
        PutName(r + 4, kNameChars, libs.Text(media.At<WORD>(at + 2)));
    }
    if (count) *count = static_cast<DWORD>(n);
    return 0;
}

DWORD EnumBins(HANDLE printer, const CallLibraries& libs, BYTE* buffer, LPDWORD size,
               LPDWORD count) {
    if (!printer) return ERROR_INVALID_PARAMETER;
    if (!libs.block.modelsmith) return ERROR_FILE_NOT_FOUND;
    CInstallOption options(printer, &libs.block);
    InputTrayNode* chain = nullptr;
    DWORD result = BuildInputTrayChain(&libs.block, options.Entries(), options.Count(), &chain);
    size_t bins = 0;
    for (InputTrayNode* n = chain; n; n = n->next)
        ++bins;
    if (!buffer) {
        if (size) *size = static_cast<DWORD>(bins * kEnumBinRecordSize);
    } else {
        const size_t room = size ? *size / kEnumBinRecordSize : 0;
        size_t i = 0;
        for (InputTrayNode* n = chain; n && i < room; n = n->next, ++i) {
            BYTE* r = buffer + i * kEnumBinRecordSize;
            Put<WORD>(r, n->trayId);
            PutName(r + 2, kBinNameChars, libs.Text(n->displayId));
        }
        if (count) *count = static_cast<DWORD>(i);
    }
    FreeInputTrayChain(chain);
    return bins ? 0 : result;
}

DWORD EnumResolutions(const CallLibraries& libs, BYTE* buffer, LPDWORD size, LPDWORD count) {
    std::vector<std::pair<DWORD, DWORD>> list;
    ModelList quality(&libs.block, model::kQueryQualityModes, 0, model::layout::kQualityRecord);
    if (quality.data) {
        for (size_t i = 0; i < quality.Entries(sizeof(model::QualityAnswer)); ++i) {
            const size_t at = i * sizeof(model::QualityAnswer);
            if (quality.At<DWORD>(at + kQualityFlagsAt) & kQualityHidden) continue;
            list.emplace_back(quality.At<DWORD>(at + offsetof(model::QualityAnswer, x)),
                              quality.At<DWORD>(at + offsetof(model::QualityAnswer, y)));
        }
    } else {
        ModelList res(&libs.block, model::kQueryResolutions, 0, model::layout::kResolutionList);
        for (size_t i = 0; i < res.Entries(sizeof(model::ResolutionAnswer)); ++i) {
            const size_t at = i * sizeof(model::ResolutionAnswer);
            DWORD x = res.At<DWORD>(at + offsetof(model::ResolutionAnswer, x));
            DWORD y = res.At<DWORD>(at + offsetof(model::ResolutionAnswer, y));
            if (x == y) list.emplace_back(x, y);
        }
    }
    if (!buffer) {
        if (size) *size = static_cast<DWORD>(list.size() * kEnumResolutionRecordSize);
        return 0;
    }
    const size_t n = std::min<size_t>(list.size(), size ? *size / kEnumResolutionRecordSize : 0);
    for (size_t i = 0; i < n; ++i) {
        Put<DWORD>(buffer + i * 8, list[i].first);
        Put<DWORD>(buffer + i * 8 + 4, list[i].second);
    }
    if (count) *count = static_cast<DWORD>(n);
    return 0;
}

// The stored device mode's turn of landscape pages.
bool LandscapeTurnedBack(HANDLE printer) {
    auto image = std::make_unique<DEVMODE_IMAGEW>();
    return printer && ReadPrinterInfo2(printer, image.get()) && image->priv.Rotate180 == 1;
}

DWORD EnumCapabilities(HANDLE printer, const CallLibraries& libs, BYTE* buffer, LPDWORD size,
                       LPDWORD count) {
    if (!buffer) {
        if (size) *size = sizeof(CapabilityRecord);
        return 0;
    }
    if (!size || *size < sizeof(CapabilityRecord)) return ERROR_NOT_ENOUGH_MEMORY;
    if (!libs.block.modelsmith) return ERROR_FILE_NOT_FOUND;
    CapabilityRecord r;
    std::memcpy(&r, buffer, sizeof r);
    r.answered = 0;
    bool any = false;
    CInstallOption options(printer, &libs.block);
    ModelOptionPair pair{&libs.block, &options};
    auto table = [&](WORD code, DWORD layout, DWORD* first) {
        CModelInfo info(&libs.block, code, 0, layout);
        if (!info.GetData()) return false;
        if (first) *first = info.U32(0);
        return true;
    };
    auto set = [&](DWORD bit, DWORD* field, DWORD value) {
        *field = value;
        r.answered |= bit;
        any = true;
    };
    DWORD v = 0;
    if ((r.wanted & kCapDuplex) && table(model::kQueryInstallable, 1, nullptr))
        set(kCapDuplex, &r.duplex,
            IsOption25AInstalled(&pair) || IsOption25BInstalled(&pair) ? 1 : 0);
    if ((r.wanted & kCapCopies) && table(model::kQueryCopies, 1, &v)) set(kCapCopies, &r.copies, v);
    if (r.wanted & kCapOrientation)
        set(kCapOrientation, &r.orientation, LandscapeTurnedBack(printer) ? 270 : 90);
    if ((r.wanted & kCapCollate) && table(model::kQueryCopyControl, 1, nullptr))
        set(kCapCollate, &r.collate, 1);
    if ((r.wanted & kCapColorDevice) && table(model::kQueryColor, 1, &v))
        set(kCapColorDevice, &r.colorDevice, v ? 1 : 0);
    if (r.wanted & kCapPrinterMemory) {
        // Reported without its answered bit, as callers read the value itself.
        r.printerMemoryKb = GetInstalledMemorySize(&pair) * 1024;
        any = any || r.printerMemoryKb != 0;
    }
    if ((r.wanted & (kCapPrintRate | kCapPagesPerMinute)) && table(model::kQueryPrintRate, 1, &v)) {
        if (r.wanted & kCapPrintRate) set(kCapPrintRate, &r.printRate, v);
        if (r.wanted & kCapPagesPerMinute) set(kCapPagesPerMinute, &r.pagesPerMinute, v);
    }
    if (r.wanted & kCapPrintRateUnit) set(kCapPrintRateUnit, &r.printRateUnit, PRINTRATEUNIT_PPM);
    if (r.wanted & kCapStaple) {
        // The fitted finisher staples when its record lists staple items;
        // its fold unit bit says nothing about stapling.
        const InstallOptionEntry* finisher = options.FindInstalledFinisher(1);
        DWORD staples = 0;
        if (finisher) {
            CModelInfo record(&libs.block, model::kQueryFinishers, finisher->value,
                              model::layout::kFinisherRecord);
            if (record.GetData() && record.Length() >= sizeof(model::FinisherRecordAnswer))
                staples = record.U16(offsetof(model::FinisherRecordAnswer, stapleCount));
            record.Release();
        }
        set(kCapStaple, &r.staple, staples > 0 ? 1 : 0);
    }
    WORD w = 0, l = 0;
    if ((r.wanted & kCapMinimumExtent) && GetCustomPaperMinimum(&libs.block, &w, &l))
        set(kCapMinimumExtent, &r.minimumExtent, static_cast<DWORD>(l) << 16 | w);
    if ((r.wanted & kCapMaximumExtent) && GetCustomPaperMaximum(&libs.block, &w, &l, FALSE))
        set(kCapMaximumExtent, &r.maximumExtent, static_cast<DWORD>(l) << 16 | w);
    std::memcpy(buffer, &r, sizeof r);
    if (!any) return ERROR_NOT_SUPPORTED;
    if (count) *count = 1;
    return 0;
}

DWORD EnumPagesPerSheet(BYTE* buffer, LPDWORD size, LPDWORD count) {
    if (!buffer) {
        if (size) *size = kEnumPagesPerSheetSize;
        return 0;
    }
    if (!size || *size < kEnumPagesPerSheetSize) return ERROR_NOT_ENOUGH_MEMORY;
    std::memcpy(buffer, kPagesPerSheet, sizeof kPagesPerSheet);
    if (count) *count = static_cast<DWORD>(std::size(kPagesPerSheet));
    return 0;
}

DWORD EnumMediaReady(HANDLE printer, const CallLibraries& libs, BYTE* buffer, LPDWORD size,
                     LPDWORD count) {
    std::vector<WORD> papers;
    for (const FormTrayRecord& r : ReadFormTray(printer))
        if (r.paperId && std::find(papers.begin(), papers.end(), r.paperId) == papers.end())
            papers.push_back(r.paperId);
    if (papers.empty()) papers.push_back(GetDefaultPaperId(&libs.block, IsMetricCountry()));
    if (!buffer) {
        if (size) *size = static_cast<DWORD>(papers.size() * kEnumMediaReadyRecordSize);
        return 0;
    }
    CUserPaper user;
    user.SetDefaultPath(&libs.block);
    user.Read();
    const size_t n = std::min<size_t>(papers.size(), size ? *size / kEnumMediaReadyRecordSize : 0);
    for (size_t i = 0; i < n; ++i)
        PutName(buffer + i * kEnumMediaReadyRecordSize, kNameChars,
                PaperName(libs, user, papers[i]));
    if (count) *count = static_cast<DWORD>(n);
    return 0;
}

} // namespace

DWORD UiGetMyPrinterInfo(HANDLE printer, LPCVOID modelData, WORD table, WORD entry, DWORD layout,
                         LPVOID buffer, LPDWORD size, LPDWORD count) {
    CallLibraries libs(printer, modelData, false);
    BoundModel bound{};
    BindModelInfo(&bound, &libs.block);
    if (!bound.query) {
        // A model library that could not be loaded for want of memory is no
        // missing export: the caller must not take a default for its answer.
        DWORD error = GetLastError();
        return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY
                   ? error
                   : static_cast<DWORD>(ERROR_PROC_NOT_FOUND);
    }
    return bound.query(modelData, table, entry, static_cast<INT>(layout), buffer, size, count);
}

DWORD UiEnumMyPrinterInfo(HANDLE printer, LPCVOID modelData, SHORT code, LPVOID buffer,
                          LPDWORD size, LPDWORD count) {
    if (count) *count = 0;
    if (!buffer && size) *size = 0;
    if (!modelData) return ERROR_INVALID_DATA;
    auto* out = static_cast<BYTE*>(buffer);
    DWORD result;
    switch (code) {
    case kEnumPapers:
    case kEnumMediaTypes:
    case kEnumBins:
    case kEnumMediaReady: {
        CallLibraries libs(printer, modelData, true);
        result = code == kEnumPapers       ? EnumPapers(printer, libs, out, size, count)
                 : code == kEnumMediaTypes ? EnumMediaTypes(libs, out, size, count)
                 : code == kEnumBins       ? EnumBins(printer, libs, out, size, count)
                                           : EnumMediaReady(printer, libs, out, size, count);
        break;
    }
    case kEnumResolutions:
    case kEnumCapabilities: {
        CallLibraries libs(printer, modelData, false);
        result = code == kEnumResolutions ? EnumResolutions(libs, out, size, count)
                                          : EnumCapabilities(printer, libs, out, size, count);
        break;
    }
    case kEnumPagesPerSheet:
        result = EnumPagesPerSheet(out, size, count);
        break;
    case kEnumTrueType:
        result = UiGetMyPrinterInfo(printer, modelData, model::kQueryDeviceFonts, 0,
                                    model::layout::kFontHandling, buffer, size, count);
        break;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    if (result == kAnswerFromLastError && GetLastError() != 0) result = GetLastError();
    return result;
}

// ---------------------------------------------------------------------------
// The message formatter.

namespace {

// The arguments of one message: from the caller's list, or from an array
// that answers an empty text or 0 past its end (a translated template with
// more directives than the message has arguments reads nothing else).
struct VaArgs {
    va_list* args;
    const WCHAR* Text() { return va_arg(*args, const WCHAR*); }
    unsigned Number() { return va_arg(*args, unsigned int); }
};
struct TextArgs {
    const WCHAR* const* texts;
    size_t count;
    size_t next = 0;
    const WCHAR* Text() { return next < count ? texts[next++] : u""; }
    unsigned Number() {
        ++next;
        return 0;
    }
};

template <typename Args>
DWORD Format(HMODULE module, LPWSTR buffer, DWORD capacity, LPDWORD needed, LPCWSTR format,
             Args& args) {
    std::u16string text;
    std::unique_ptr<CLocalize> strings;
    for (const WCHAR* p = format; p && *p; ++p) {
        if (*p != u'%' || !p[1]) {
            text += *p;
            continue;
        }
        char number[32];
        switch (*++p) {
        case u's': {
            const WCHAR* s = args.Text();
            if (s) text += s;
            break;
        }
        case u'd':
            std::snprintf(number, sizeof number, "%ld",
                          static_cast<long>(static_cast<int>(args.Number())));
            text += AnsiToWide(number, std::strlen(number));
            break;
        case u'u':
        case u'x':
        case u'X': {
            const char* f = *p == u'u' ? "%lu" : *p == u'x' ? "%lx" : "%lX";
            std::snprintf(number, sizeof number, f, static_cast<unsigned long>(args.Number()));
            text += AnsiToWide(number, std::strlen(number));
            break;
        }
        case u'c':
            text += static_cast<WCHAR>(args.Number());
            break;
        case u'!': {
            const DWORD id = args.Number();
            if (!strings && module) strings = std::make_unique<CLocalize>(module);
            std::u16string s;
            if (strings) strings->LoadString(id, &s);
            text += s;
            break;
        }
        default:
            text += *p;
        }
    }
    if (needed) *needed = static_cast<DWORD>(text.size() + 1);
    if (!buffer || capacity == 0) return 0;
    const size_t n = std::min<size_t>(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), n * sizeof(WCHAR));
    buffer[n] = 0;
    return static_cast<DWORD>(n);
}

} // namespace

DWORD FormatResStringV(HMODULE module, LPWSTR buffer, DWORD capacity, LPDWORD needed,
                       LPCWSTR format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    VaArgs source{&copy};
    DWORD n = Format(module, buffer, capacity, needed, format, source);
    va_end(copy);
    return n;
}

DWORD FormatResStringTexts(HMODULE module, LPWSTR buffer, DWORD capacity, LPDWORD needed,
                           LPCWSTR format, const WCHAR* const* texts, size_t count) {
    TextArgs source{texts, count};
    return Format(module, buffer, capacity, needed, format, source);
}

DWORD FormatResString(HMODULE module, LPWSTR buffer, DWORD capacity, LPDWORD needed, LPCWSTR format,
                      ...) {
    va_list args;
    va_start(args, format);
    DWORD n = FormatResStringV(module, buffer, capacity, needed, format, args);
    va_end(args);
    return n;
}

// ---------------------------------------------------------------------------
// The print query.

namespace {

bool TraySkippedByAuto(const ModelBlock* binding, WORD tray) {
    CModelInfo record(binding, model::kQueryPaperSources, tray, model::layout::kTrayRecord);
    if (record.GetData()) return (record.U8(kTrayAutoFlagsAt) & kTraySkippedByAuto) != 0;
    CModelInfo feeder(binding, model::kQueryTrayGroups, tray, model::layout::kFeederTrayRecord);
    return (feeder.U8(kTrayAutoFlagsAt) & kTraySkippedByAuto) != 0;
}

BOOL Refuse(PDEVQUERYPRINT_INFO info, DWORD message, WORD paper, WORD media, SHORT source) {
    LPVOID data = LoadDriverDataFile(info->hPrinter);
    if (!data) return FALSE;
    {
        CallLibraries libs(info->hPrinter, data, true);
        if (libs.block.modelsmith && libs.resbundle) {
            CUserPaper papers;
            papers.SetDefaultPath(&libs.block);
            papers.Read();
            const std::u16string templ = libs.Text(message);
            const std::u16string paperName = PaperName(libs, papers, paper);
            const std::u16string mediaName = libs.Text(GetMediaTypeNameId(&libs.block, media));
            const std::u16string binName =
                libs.Text(GetPaperSourceNameId(&libs.block, static_cast<WORD>(source)));
            if (info->pszErrorStr && info->cchErrorStr)
                std::memset(info->pszErrorStr, 0, info->cchErrorStr * sizeof(WCHAR));
            const WCHAR* bin[] = {binName.c_str()};
            const WCHAR* paperMediaBin[] = {paperName.c_str(), mediaName.c_str(), binName.c_str()};
            const bool binOnly = message == kMsgSourceNotSupported;
            DWORD needed = 0;
            FormatResStringTexts(libs.resbundle, info->pszErrorStr, info->cchErrorStr, &needed,
                                 templ.c_str(), binOnly ? bin : paperMediaBin, binOnly ? 1 : 3);
            info->cchNeeded = needed;
        }
    }
    GlobalFree(data);
    return FALSE;
}

} // namespace

BOOL UiDevQueryPrintEx(PDEVQUERYPRINT_INFO info) {
    if (!info || !info->pDevMode) return TRUE;
    const std::vector<FormTrayRecord> table = ReadFormTray(info->hPrinter);
    if (table.empty()) return TRUE;
    // The job's own fields, read within its stated sizes.
    DEVMODE_IMAGEW job{};
    if (!LoadDevmodeImage(info->pDevMode, DevmodeBytes(info->pDevMode), &job)) return TRUE;
    const WORD paper =
        job.priv.OutputPaperId ? job.priv.OutputPaperId : static_cast<WORD>(job.dm.dmPaperSize);
    const WORD media = static_cast<WORD>(job.dm.dmMediaType);
    const SHORT source = job.dm.dmDefaultSource;
    auto paperFits = [&](const FormTrayRecord& r) { return !r.paperId || r.paperId == paper; };
    auto mediaFits = [&](const FormTrayRecord& r) { return !r.mediaId || r.mediaId == media; };
    if (source != kAutoSource) {
        auto r = std::find_if(table.begin(), table.end(), [&](const FormTrayRecord& t) {
            return t.trayId == static_cast<WORD>(source);
        });
        if (r == table.end()) return Refuse(info, kMsgSourceNotSupported, paper, media, source);
        if (!paperFits(*r) || !mediaFits(*r))
            return Refuse(info, kMsgPaperNotInSource, paper, media, source);
        return TRUE;
    }
    LPVOID data = LoadDriverDataFile(info->hPrinter);
    HMODULE modelsmith = data ? LoadDriverModule(info->hPrinter, data, kSelectModelsmith) : nullptr;
    ModelBlock binding{modelsmith, data};
    bool loaded = false;
    for (const FormTrayRecord& r : table) {
        if (TraySkippedByAuto(&binding, r.trayId)) continue;
        if (paperFits(r) && mediaFits(r)) {
            loaded = true;
            break;
        }
    }
    if (modelsmith) FreeLibrary(modelsmith);
    if (data) GlobalFree(data);
    return loaded ? TRUE : Refuse(info, kMsgPaperNotLoaded, paper, media, source);
}

// ---------------------------------------------------------------------------
// Events.

namespace {

constexpr DWORD kAllocatedHere = 0x1; // JobStateBits: the image was allocated by the event
constexpr DWORD kJobStateBits = 0xE;  // JobStateBits 1 to 3: the running job's state
constexpr DWORD kDocumentStarted = 0x2;
constexpr DWORD kPagesPrinted = 0x4;
constexpr DWORD kCarryOnEqualMode = 0x800; // table 79 bit: carry settings on a RESETDC

DEVMODE_IMAGEW* NewImage() {
    auto* image = static_cast<DEVMODE_IMAGEW*>(GlobalAlloc(GPTR, sizeof(DEVMODE_IMAGEW)));
    if (image) StampDevmodeHeader(image);
    return image;
}

// A RESETDC in a running job keeps what the pages printed so far used.
void CarryRunningJob(HANDLE printer, HDC hdc, DEVMODE_IMAGEW* image) {
    DWORD state = 0;
    if (ExtEscape(hdc, kEscapeGetJobState, 0, nullptr, sizeof state,
                  reinterpret_cast<LPSTR>(&state)) <= 0)
        return;
    image->priv.JobStateBits |= state & kJobStateBits;
    if (!(image->priv.JobStateBits & kDocumentStarted)) return;
    auto running = std::make_unique<DEVMODE_IMAGEW>();
    if (ExtEscape(hdc, kEscapeGetDriverDevmode, 0, nullptr, sizeof *running,
                  reinterpret_cast<LPSTR>(running.get())) <= 0 ||
        !IsOwnDevmode(&running->dm))
        return;
    PRIVATE_DEVMODE& to = image->priv;
    const PRIVATE_DEVMODE& from = running->priv;
    if (!(to.JobStateBits & kPagesPrinted)) {
        to.GraphicsMode = from.GraphicsMode;
        return;
    }
    bool carry = from.GraphicsMode != to.GraphicsMode;
    if (!carry) {
        LPVOID data = LoadDriverDataFile(printer);
        HMODULE modelsmith = data ? LoadDriverModule(printer, data, kSelectModelsmith) : nullptr;
        ModelBlock binding{modelsmith, data};
        CModelInfo flags(&binding, model::kQueryFeatureFlags, 0, model::layout::kFixedFirst);
        carry = (flags.U32(0) & kCarryOnEqualMode) != 0;
        flags.Release();
        if (modelsmith) FreeLibrary(modelsmith);
        if (data) GlobalFree(data);
    }
    if (!carry) return;
    image->dm.dmPrintQuality = running->dm.dmPrintQuality;
    image->dm.dmYResolution = running->dm.dmYResolution;
    auto* t = reinterpret_cast<BYTE*>(&to);
    const auto* f = reinterpret_cast<const BYTE*>(&from);
    std::memcpy(t + 296, f + 296, 352 - 296);
    for (size_t at : {352u, 354u, 356u, 360u, 362u, 366u, 372u, 374u, 376u})
        std::memcpy(t + at, f + at, sizeof(WORD));
}

INT DocumentPre(HANDLE printer, HDC hdc, int escape, ULONG inSize, PVOID in, ULONG outSize,
                PVOID out) {
    if (outSize < sizeof(PVOID) || !out) return DOCUMENTEVENT_UNSUPPORTED;
    const DEVMODEW* given = nullptr;
    if (escape == DOCUMENTEVENT_CREATEDCPRE && in && inSize >= sizeof(DOCEVENT_CREATEDCPRE))
        given = static_cast<DOCEVENT_CREATEDCPRE*>(in)->pdm;
    else if (escape == DOCUMENTEVENT_RESETDCPRE && in && inSize >= sizeof(PVOID))
        given = *static_cast<DEVMODEW**>(in);
    LPVOID data = LoadDriverDataFile(printer);
    DEVMODEW* result = nullptr;
    SHORT remembered = 0;
    if (given && IsOwnDevmode(given)) {
        auto* own = reinterpret_cast<DEVMODE_IMAGEW*>(const_cast<DEVMODEW*>(given));
        own->priv.JobStateBits &= ~kJobStateBits;
        if (escape == DOCUMENTEVENT_RESETDCPRE) CarryRunningJob(printer, hdc, own);
    }
    if (given && (given->dmFields & DM_DEFAULTSOURCE) && data) {
        HMODULE modelsmith = LoadDriverModule(printer, data, kSelectModelsmith);
        ModelBlock binding{modelsmith, data};
        CInstallOption options(printer, &binding);
        ModelOptionPair pair{&binding, &options};
        if (IsTrayAvailable(&pair, static_cast<WORD>(given->dmDefaultSource)))
            remembered = given->dmDefaultSource;
        options.FreeEntries();
        if (modelsmith) FreeLibrary(modelsmith);
    }
    if (given && !IsOwnDevmode(given)) {
        DEVMODE_IMAGEW* image = NewImage();
        if (!image) {
            if (data) GlobalFree(data);
            return DOCUMENTEVENT_UNSUPPORTED;
        }
        auto copy = std::make_unique<DEVMODE_IMAGEW>();
        const bool hadOwn = LoadDevmodeImage(given, DevmodeBytes(given), copy.get()) &&
                            copy->priv.Signature == PRIVATE_DEVMODE_SIGNATURE;
        if (data) {
            ReviseDevmodeEx(printer, data, nullptr, &image->dm, kReviseDefaults);
            if (!hadOwn) copy->priv = image->priv;
            ReviseDevmodeEx(printer, data, &copy->dm, &image->dm, kReviseCarryOver);
        }
        image->priv.JobStateBits |= kAllocatedHere;
        result = &image->dm;
    } else if (given) {
        auto* own = reinterpret_cast<DEVMODE_IMAGEW*>(const_cast<DEVMODEW*>(given));
        if (data) {
            auto copy = std::make_unique<DEVMODE_IMAGEW>(*own);
            ReviseDevmodeEx(printer, data, &copy->dm, &own->dm, kReviseCarryOver);
        }
        own->priv.JobStateBits &= ~kAllocatedHere;
        result = &own->dm;
    } else {
        DEVMODE_IMAGEW* image = NewImage();
        if (!image) {
            if (data) GlobalFree(data);
            return DOCUMENTEVENT_UNSUPPORTED;
        }
        if (data && ReviseDevmodeEx(printer, data, nullptr, &image->dm, kReviseDefaults) == 0) {
            auto copy = std::make_unique<DEVMODE_IMAGEW>(*image);
            ReviseDevmodeEx(printer, data, &copy->dm, &image->dm, kReviseCarryOver);
        }
        image->priv.JobStateBits |= kAllocatedHere;
        result = &image->dm;
    }
    if (remembered && result->dmDefaultSource != remembered &&
        result->dmDefaultSource == kAutoSource)
        result->dmDefaultSource = remembered;
    if (data) GlobalFree(data);
    *static_cast<DEVMODEW**>(out) = result;
    return DOCUMENTEVENT_SUCCESS;
}

} // namespace

INT UiDrvDocumentEvent(HANDLE printer, HDC hdc, int escape, ULONG inSize, PVOID in, ULONG outSize,
                       PVOID out) {
    switch (escape) {
    case DOCUMENTEVENT_CREATEDCPOST:
    case DOCUMENTEVENT_RESETDCPOST: {
        if (!in || inSize < sizeof(PVOID)) return DOCUMENTEVENT_SUCCESS;
        auto* dm = *static_cast<DEVMODE_IMAGEW**>(in);
        if (dm && (dm->priv.JobStateBits & kAllocatedHere)) GlobalFree(dm);
        return DOCUMENTEVENT_SUCCESS;
    }
    case DOCUMENTEVENT_CREATEDCPRE:
    case DOCUMENTEVENT_RESETDCPRE:
        return DocumentPre(printer, hdc, escape, inSize, in, outSize, out);
    default:
        return DOCUMENTEVENT_UNSUPPORTED;
    }
}

std::vector<FormTrayRecord> ReadFormTray(HANDLE printer) {
    DWORD type = 0, needed = 0;
    GetPrinterDataW(printer, const_cast<LPWSTR>(kFormTrayValue), &type, nullptr, 0, &needed);
    if (needed < kFormTrayRecordSize) return {};
    std::vector<BYTE> bytes(needed);
    if (GetPrinterDataW(printer, const_cast<LPWSTR>(kFormTrayValue), &type, bytes.data(), needed,
                        &needed) != ERROR_SUCCESS)
        return {};
    std::vector<FormTrayRecord> records(std::min<size_t>(needed, bytes.size()) /
                                        kFormTrayRecordSize);
    if (!records.empty())
        std::memcpy(records.data(), bytes.data(), records.size() * kFormTrayRecordSize);
    return records;
}

} // namespace sheetwright

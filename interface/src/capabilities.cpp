// DrvDeviceCapabilities: header values from a merged device mode, lists and
// numbers from Sheetwright.
#include <algorithm>
#include <cstring>

#include "frontdoor.h"
#include "model/model_queries.h"
#include "win/gdi_text.h"

namespace frontdoor {
namespace {

constexpr DWORD kPaperNameChars = 64, kMediaNameChars = 64, kBinNameChars = 24;
constexpr DWORD kPersonalityChars = 32;
constexpr size_t kPaperWidthAt = 130, kPaperLengthAt = 132;
constexpr size_t kMediaNameAt = 4, kPaperNameAt = 2, kBinNameAt = 2;
constexpr DWORD kPagesPerSheetRecordSize = 4;
constexpr DWORD kTrueTypeAnswerSize = 8;
constexpr BYTE kTrueTypeDownload = 0x3, kTrueTypeBitmap = 0x4;
constexpr DWORD kRotate270 = 270;
constexpr DWORD kRotateBit = 0x2; // in both the private flag words that ask for 270
constexpr size_t kCapabilityValues =
    (sizeof(CapabilityRecord) - offsetof(CapabilityRecord, duplex)) / sizeof(DWORD);

struct Bound {
    HANDLE printer;
    HMODULE ui;
    HMODULE model;
    LPVOID data;
};

template <class T> T Read(const BYTE* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// A list answer: with an output, each record converted by `put`; without,
// the count the size answer gives.
template <class Put>
DWORD ListAnswer(const Bound& b, SHORT code, DWORD recordSize, LPVOID output, Put&& put) {
    DWORD size = 0, count = 0;
    if (!output) {
        if (CallEnumMyPrinterInfo(b.ui, b.model, b.data, b.printer, code, nullptr, &size, &count) !=
            0)
            return 0;
        return size / recordSize;
    }
    auto* list = static_cast<const BYTE*>(
        AllocEnumMyPrinterInfo(b.ui, b.model, b.data, b.printer, code, &size, &count));
    if (!list) return 0;
    // Only whole records within what the library answered are read.
    DWORD entries = size / recordSize;
    if (count < entries) entries = count;
    for (DWORD i = 0; i < entries; ++i)
        put(list + static_cast<size_t>(i) * recordSize, i);
    GlobalFree(const_cast<BYTE*>(list));
    return entries;
}

void CopyName(LPWSTR slot, const BYTE* source, DWORD chars) {
    WCHAR name[kPaperNameChars + 1] = {};
    std::memcpy(name, source, chars * sizeof(WCHAR));
    lstrcpynW(slot, name, static_cast<int>(chars));
}

bool GetCapsRecord(const Bound& b, DWORD bit, DWORD* value) {
    auto ask = Export<PFN_uiEnumMyPrinterInfo>(b.ui, "uiEnumMyPrinterInfo");
    if (!ask || !b.model || !b.data) return false;
    CapabilityRecord record{};
    record.wanted = bit;
    DWORD size = sizeof record, count = 0;
    if (ask(b.printer, b.data, kEnumCapabilities, &record, &size, &count) != 0) return false;
    // The values follow the two masks in the order of their bits.
    const BYTE* values =
        reinterpret_cast<const BYTE*>(&record) + offsetof(CapabilityRecord, duplex);
    for (size_t i = 0; i < kCapabilityValues; ++i)
        if (bit == (1u << i)) std::memcpy(value, values + i * sizeof(DWORD), sizeof(DWORD));
    return true;
}

// The model's personality (model table 14, layout 2) widened into 32 characters.
void GetPersonality(const Bound& b, LPWSTR out) {
    out[0] = 0;
    auto ask = Export<PFN_uiGetMyPrinterInfo>(b.ui, "uiGetMyPrinterInfo");
    if (!ask || !b.data) return;
    DWORD size = 0, count = 0;
    if (ask(b.printer, b.data, model::kQueryFamilyName, 0, model::layout::kPersonality, nullptr,
            &size, &count) != 0 ||
        size == 0)
        return;
    auto* text = static_cast<char*>(GlobalAlloc(GPTR, size + 1));
    if (!text) return;
    DWORD length = size;
    if (ask(b.printer, b.data, model::kQueryFamilyName, 0, model::layout::kPersonality, text,
            &length, &count) == 0) {
        int n = MultiByteToWideChar(CP_ACP, 0, text, -1, out, kPersonalityChars);
        out[n > 0 ? n - 1 : 0] = 0;
        out[kPersonalityChars - 1] = 0;
    }
    GlobalFree(text);
}

// The merged device mode of the indexes that answer header values.
bool NeedsMergedDevmode(WORD index) {
    switch (index) {
    case DC_FIELDS:
    case DC_SIZE:
    case DC_EXTRA:
    case DC_VERSION:
    case DC_DRIVER:
    case DC_TRUETYPE:
    case DC_ORIENTATION:
        return true;
    default:
        return false;
    }
}

bool IsRefused(WORD index) {
    return index < DC_FIELDS || index > DC_MEDIATYPES || index == DC_FILEDEPENDENCIES ||
           index == DC_BINADJUST || index == DC_EMF_COMPLIANT || index == DC_DATATYPE_PRODUCED ||
           index == DC_MANUFACTURER || index == DC_MODEL;
}

DWORD Answer(const Bound& b, WORD index, LPVOID output, DEVMODE_IMAGEW* merged) {
    auto record = [&](DWORD bit, DWORD onFailure) {
        DWORD value = 0;
        return GetCapsRecord(b, bit, &value) ? value : onFailure;
    };
    constexpr DWORD kFailed = GDI_ERROR;
    switch (index) {
    case DC_FIELDS:
        return merged->dm.dmFields;
    case DC_SIZE:
        return merged->dm.dmSize;
    case DC_EXTRA:
        return merged->dm.dmDriverExtra;
    case DC_VERSION:
        return merged->dm.dmSpecVersion;
    case DC_DRIVER:
        return merged->dm.dmDriverVersion;
    case DC_PAPERS:
        return ListAnswer(
            b, kEnumPapers, kEnumPaperRecordSize, output,
            [&](const BYTE* r, DWORD i) { static_cast<WORD*>(output)[i] = Read<WORD>(r); });
    case DC_PAPERSIZE:
        return ListAnswer(b, kEnumPapers, kEnumPaperRecordSize, output,
                          [&](const BYTE* r, DWORD i) {
                              static_cast<POINT*>(output)[i] = {Read<short>(r + kPaperWidthAt),
                                                                Read<short>(r + kPaperLengthAt)};
                          });
    case DC_PAPERNAMES:
        return ListAnswer(b, kEnumPapers, kEnumPaperRecordSize, output,
                          [&](const BYTE* r, DWORD i) {
                              CopyName(static_cast<LPWSTR>(output) + i * kPaperNameChars,
                                       r + kPaperNameAt, kPaperNameChars);
                          });
    case DC_MEDIATYPES:
        return ListAnswer(
            b, kEnumMediaTypes, kEnumMediaRecordSize, output,
            [&](const BYTE* r, DWORD i) { static_cast<DWORD*>(output)[i] = Read<DWORD>(r); });
    case DC_MEDIATYPENAMES:
        return ListAnswer(b, kEnumMediaTypes, kEnumMediaRecordSize, output,
                          [&](const BYTE* r, DWORD i) {
                              CopyName(static_cast<LPWSTR>(output) + i * kMediaNameChars,
                                       r + kMediaNameAt, kMediaNameChars);
                          });
    case DC_BINS:
        return ListAnswer(b, kEnumBins, kEnumBinRecordSize, output, [&](const BYTE* r, DWORD i) {
            static_cast<WORD*>(output)[i] = Read<WORD>(r);
        });
    case DC_BINNAMES:
        return ListAnswer(b, kEnumBins, kEnumBinRecordSize, output, [&](const BYTE* r, DWORD i) {
            CopyName(static_cast<LPWSTR>(output) + i * kBinNameChars, r + kBinNameAt,
                     kBinNameChars);
        });
    case DC_ENUMRESOLUTIONS:
        return ListAnswer(b, kEnumResolutions, kEnumResolutionRecordSize, output,
                          [&](const BYTE* r, DWORD i) {
                              static_cast<LONG*>(output)[2 * i] = Read<LONG>(r);
                              static_cast<LONG*>(output)[2 * i + 1] = Read<LONG>(r + 4);
                          });
    case DC_NUP:
        return ListAnswer(
            b, kEnumPagesPerSheet, kPagesPerSheetRecordSize, output,
            [&](const BYTE* r, DWORD i) { static_cast<DWORD*>(output)[i] = Read<WORD>(r); });
    case DC_MEDIAREADY:
        return ListAnswer(
            b, kEnumMediaReady, kEnumMediaReadyRecordSize, output, [&](const BYTE* r, DWORD i) {
                CopyName(static_cast<LPWSTR>(output) + i * kPaperNameChars, r, kPaperNameChars);
            });
    case DC_TRUETYPE: {
        if (!(merged->dm.dmFields & DM_TTOPTION)) return 0;
        DWORD answer = DCTT_SUBDEV;
        BYTE flags[kTrueTypeAnswerSize] = {};
        DWORD size = sizeof flags, count = 0;
        if (CallEnumMyPrinterInfo(b.ui, b.model, b.data, b.printer, kEnumTrueType, flags, &size,
                                  &count) == 0) {
            if (flags[0] & kTrueTypeDownload) answer += DCTT_DOWNLOAD;
            if (flags[0] & kTrueTypeBitmap) answer += DCTT_BITMAP;
        }
        return answer;
    }
    case DC_ORIENTATION: {
        DWORD value = record(kCapOrientation, 0);
        const PRIVATE_DEVMODE& p = merged->priv;
        if ((p.PrivateFlags & kRotateBit) && (p.OptionFlags & kRotateBit) && p.Rotate180 == 1)
            value = kRotate270;
        return value;
    }
    case DC_MINEXTENT:
        return record(kCapMinimumExtent, kFailed);
    case DC_MAXEXTENT:
        return record(kCapMaximumExtent, kFailed);
    case DC_DUPLEX:
        return record(kCapDuplex, 0);
    case DC_COPIES:
        return record(kCapCopies, 0);
    case DC_COLLATE:
        return record(kCapCollate, kFailed);
    case DC_PRINTRATE:
        return record(kCapPrintRate, kFailed);
    case DC_PRINTRATEUNIT:
        return record(kCapPrintRateUnit, kFailed);
    case DC_PRINTERMEM:
        return record(kCapPrinterMemory, kFailed);
    case DC_STAPLE:
        return record(kCapStaple, 0);
    case DC_PRINTRATEPPM:
        return record(kCapPagesPerMinute, kFailed);
    case DC_COLORDEVICE:
        return record(kCapColorDevice, 0);
    case DC_PERSONALITY:
        if (output) GetPersonality(b, static_cast<LPWSTR>(output));
        return 1;
    default:
        return kFailed;
    }
}

// The device mode the header answers come from: the caller's, or the
// printer's default, merged into a default image.
bool MakeMergedDevmode(HANDLE printer, LPCWSTR deviceName, const DEVMODEW* devmode, LPCVOID data,
                       DEVMODE_IMAGEW* merged) {
    DEVMODE_IMAGEW* printerDefault = nullptr;
    if (!devmode) {
        printerDefault = static_cast<DEVMODE_IMAGEW*>(GlobalAlloc(GPTR, kImageSize));
        if (!printerDefault) return false;
        if (PRINTER_INFO_2W* info = QueryPrinterInfo2(printer)) {
            if (const DEVMODEW* stored = PrinterDevmode(info)) {
                // At most an image's worth is taken; the copy's sizes say what it holds.
                DWORD length = std::min(DevmodeLength(stored), kImageSize);
                std::memcpy(printerDefault, stored, length);
                if (printerDefault->dm.dmSize > length)
                    printerDefault->dm.dmSize = 0;
                else
                    printerDefault->dm.dmDriverExtra =
                        static_cast<WORD>(length - printerDefault->dm.dmSize);
            }
            GlobalFree(info);
        }
        devmode = printerDefault->dm.dmSize ? &printerDefault->dm : nullptr;
    }
    bool ok = MakeDefaultDevmode(data, printer, &merged->dm, deviceName) &&
              MergeDevmode(data, &merged->dm, devmode, printer);
    if (printerDefault) GlobalFree(printerDefault);
    if (!ok) return false;
    FORM_INFO_1W form{};
    WCHAR formName[CCHFORMNAME] = {};
    CheckFormName(printer, &merged->dm, &form, formName);
    return true;
}

} // namespace

DWORD CallEnumMyPrinterInfo(HMODULE ui, HMODULE model, LPCVOID modelData, HANDLE printer,
                            SHORT code, LPVOID buffer, DWORD* size, DWORD* count) {
    if (!ui || !model || !modelData || !size || !count) return ERROR_INVALID_HANDLE;
    auto ask = Export<PFN_uiEnumMyPrinterInfo>(ui, "uiEnumMyPrinterInfo");
    if (!ask) return static_cast<DWORD>(-1);
    return ask(printer, modelData, code, buffer, size, count);
}

LPVOID AllocEnumMyPrinterInfo(HMODULE ui, HMODULE model, LPCVOID modelData, HANDLE printer,
                              SHORT code, DWORD* size, DWORD* count) {
    *size = 0;
    *count = 0;
    DWORD needed = 0, n = 0;
    if (CallEnumMyPrinterInfo(ui, model, modelData, printer, code, nullptr, &needed, &n) != 0 ||
        needed == 0)
        return nullptr;
    LPVOID block = GlobalAlloc(GPTR, needed);
    if (!block) return nullptr;
    DWORD length = needed;
    n = 0;
    if (CallEnumMyPrinterInfo(ui, model, modelData, printer, code, block, &length, &n) != 0) {
        GlobalFree(block);
        return nullptr;
    }
    // What the library says it wrote never goes past the block.
    *size = length <= needed ? length : needed;
    *count = n;
    return block;
}

DWORD DeviceCapabilities(HANDLE printer, LPWSTR deviceName, WORD index, LPVOID output,
                         PDEVMODEW devmode) {
    if (IsRefused(index)) return GDI_ERROR;
    Bound b{printer, nullptr, nullptr, nullptr};
    LoadComponents(printer, &b.ui, &b.model, &b.data);
    DWORD answer = GDI_ERROR;
    DEVMODE_IMAGEW* merged = nullptr;
    if (index == DC_TRUETYPE && devmode && !HasField(devmode, DM_TTOPTION)) {
        // The caller's own device mode decides: the merge would fill in the
        // default's TrueType option that the caller left out.
        answer = 0;
    } else if (NeedsMergedDevmode(index)) {
        merged = static_cast<DEVMODE_IMAGEW*>(GlobalAlloc(GPTR, kImageSize));
        if (merged && MakeMergedDevmode(printer, deviceName, devmode, b.data, merged))
            answer = Answer(b, index, output, merged);
    } else {
        answer = Answer(b, index, output, nullptr);
    }
    if (merged) GlobalFree(merged);
    FreeComponents(b.ui, b.model, b.data);
    return answer;
}

} // namespace frontdoor

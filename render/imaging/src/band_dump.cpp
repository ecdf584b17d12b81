// Debug settings of banding and the BMP dumps of its bands.
#include "band_dump.h"

#include <cstring>
#include <vector>

#include "imaging_state.h"
#include "win/base.h"
#include "win/ini.h"

namespace inkforge {
namespace {

constexpr char16_t kDebugIni[] = u"QRLADGNT.INI";
constexpr char16_t kDebug[] = u"DEBUG";
constexpr char16_t kColor[] = u"COLOR";
constexpr DWORD kMaxDriveChars = 9;
constexpr DWORD kFileHeaderBytes = 14, kInfoHeaderBytes = 40;
constexpr DWORD kHeaderBytes = kFileHeaderBytes + kInfoHeaderBytes;
constexpr DWORD kFileSizeAt = 2, kWidthAt = 18, kImageSizeAt = 34;

LPCWSTR W(const char16_t* s) {
    return reinterpret_cast<LPCWSTR>(s);
}

void Put16(std::vector<BYTE>* b, size_t at, DWORD v) {
    (*b)[at] = static_cast<BYTE>(v);
    (*b)[at + 1] = static_cast<BYTE>(v >> 8);
}
void Put32(std::vector<BYTE>* b, size_t at, DWORD v) {
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
}

// The header of a dump: the sizes stay 0 until the page's last band. The
// rows go top first, so the height is given as negative (a top-down bitmap)
// and the file shows the page the right way up.
std::vector<BYTE> DumpHeader(LONG width, LONG height, WORD bits) {
    const DWORD paletteEntries = bits == 8 ? 256 : bits == 1 ? 2 : 0;
    std::vector<BYTE> h(kHeaderBytes + paletteEntries * 4, 0);
    h[0] = 'B';
    h[1] = 'M';
    Put32(&h, 10, kHeaderBytes + paletteEntries * 4);
    Put32(&h, 14, kInfoHeaderBytes);
    Put32(&h, kWidthAt, static_cast<DWORD>(width));
    Put32(&h, 22, static_cast<DWORD>(-height));
    Put16(&h, 26, 1);
    Put16(&h, 28, bits);
    for (DWORD i = 0; i < paletteEntries; ++i)
        Put32(&h, kHeaderBytes + i * 4, bits == 8 ? i * 0x010101 : i ? 0xFFFFFF : 0);
    return h;
}

bool WriteAll(HANDLE f, const void* p, DWORD n) {
    DWORD done = 0;
    return WriteFile(f, p, n, &done, nullptr) && done == n;
}

void Drop(BandDump* d) {
    if (d->file != INVALID_HANDLE_VALUE) CloseHandle(d->file);
    d->file = INVALID_HANDLE_VALUE;
    d->dropped = true;
}

const char* Prefix(BandDumpKind kind, WORD bits) {
    switch (kind) {
    case kDumpRawBand:
        return bits == 24 ? "Na24_" : "Na8_";
    case kDump24To8:
        return "N24to8_";
    default:
        return "N8to1_";
    }
}

bool Wanted(const BandDebugSettings& s, BandDumpKind kind) {
    return kind == kDumpRawBand ? s.dumpBands : kind == kDump24To8 ? s.dump24To8 : s.dump8To1;
}

} // namespace

BandDebugSettings ReadDebugSettings(const std::u16string& folder) {
    BandDebugSettings s;
    if (folder.empty()) return s;
    const std::u16string ini = folder + kDebugIni;
    auto number = [&](const char16_t* section, const char16_t* key, DWORD dflt) {
        return static_cast<DWORD>(
            GetPrivateProfileIntW(W(section), W(key), static_cast<INT>(dflt), W(ini.c_str())));
    };
    const DWORD pixels = number(kDebug, u"Pixels", s.pixels);
    if (pixels == 24 || pixels == 8) s.pixels = pixels;
    s.dumpBands = number(kDebug, u"OutputBandBitmap", 0) == 1;
    s.dump24To8 = number(kDebug, u"CNV24TO8", 0) == 1;
    s.dump8To1 = number(kDebug, u"CNV8TO1", 0) == 1;
    const DWORD maxBand = number(kDebug, u"MaxBandSize", s.maxBandSize);
    if (maxBand) s.maxBandSize = maxBand;
    s.allTextBlackMode = number(kColor, u"AllTextBlackMode", s.allTextBlackMode);
    WCHAR drive[kMaxDriveChars + 1] = {};
    DWORD n = GetPrivateProfileStringW(W(kDebug), W(u"Driv"), W(u"C"), drive, kMaxDriveChars + 1,
                                       W(ini.c_str()));
    if (n > 0 && n <= kMaxDriveChars) s.drive.assign(reinterpret_cast<const char16_t*>(drive), n);
    return s;
}

std::u16string MakeBandDumpName(const std::u16string& drive, const char* prefix, DWORD number) {
    std::u16string name = drive + u":\\";
    for (const char* p = prefix; *p; ++p)
        name += static_cast<char16_t>(*p);
    for (char c : std::to_string(number))
        name += static_cast<char16_t>(c);
    return name + u".BMP";
}

bool DumpBandBitmap(ImagingState* st, BandDumpKind kind, LONG width, WORD bits) {
    BandDump& d = st->dumps[kind];
    const std::u16string name =
        MakeBandDumpName(st->debug.drive, Prefix(kind, bits), ++st->dumpNumber);
    d.file = CreateFileW(W(name.c_str()), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (d.file == INVALID_HANDLE_VALUE) {
        Drop(&d);
        return false;
    }
    std::vector<BYTE> head = DumpHeader(width, st->pageHeight, bits);
    d.paletteBytes = static_cast<DWORD>(head.size()) - kHeaderBytes;
    d.imageBytes = 0;
    if (!WriteAll(d.file, head.data(), static_cast<DWORD>(head.size()))) {
        Drop(&d);
        return false;
    }
    return true;
}

void AppendBandDump(ImagingState* st, BandDumpKind kind, const BYTE* rows, LONG stride, LONG width,
                    LONG rowCount, WORD bits) {
    if (!Wanted(st->debug, kind) || rowCount <= 0 || stride <= 0) return;
    BandDump& d = st->dumps[kind];
    if (d.dropped) return;
    if (d.file == INVALID_HANDLE_VALUE && !DumpBandBitmap(st, kind, width, bits)) return;
    for (LONG y = 0; y < rowCount; ++y) {
        if (!WriteAll(d.file, rows + static_cast<LONGLONG>(y) * stride, static_cast<DWORD>(stride)))
            return Drop(&d);
        d.imageBytes += static_cast<DWORD>(stride);
    }
}

void FinishBandDumps(ImagingState* st, LONG width) {
    for (int k = 0; k < kBandDumpKinds; ++k) {
        BandDump& d = st->dumps[k];
        if (d.file != INVALID_HANDLE_VALUE) {
            std::vector<BYTE> b(4);
            auto patch = [&](DWORD at, DWORD v) {
                Put32(&b, 0, v);
                return SetFilePointer(d.file, static_cast<LONG>(at), nullptr, FILE_BEGIN) == at &&
                       WriteAll(d.file, b.data(), 4);
            };
            const DWORD headBytes = kHeaderBytes + d.paletteBytes;
            if (patch(kFileSizeAt, headBytes + d.imageBytes) && patch(kImageSizeAt, d.imageBytes) &&
                k != kDumpRawBand)
                patch(kWidthAt, static_cast<DWORD>(width));
            CloseHandle(d.file);
        }
        d = BandDump{};
    }
}

} // namespace inkforge

// Metafile handles: made from a file or from bytes after the whole metafile
// was checked, and their bytes and header handed back.
#include "emf_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "gdi_objects.h"
#include "platform/gdi_ctl.h"
#include "platform/paths.h"
#include "win/errors.h"
#include "win/strings.h"
#include "platform/core.h"

namespace platform::gdi {
namespace {

// A metafile file larger than this is not read.
constexpr off_t kMaxFileSize = off_t{1} << 30;

struct Handles {
    std::unordered_map<ULONG_PTR, std::shared_ptr<const Metafile>> metafiles;
    ULONG_PTR next = 0xe3f0000;
};

Handles& Table() {
    static Handles handles;
    return handles;
}

std::shared_ptr<const Metafile> Fail() {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
}

constexpr const char* kNames[] = {
    "EMR_?",
    "EMR_HEADER",
    "EMR_POLYBEZIER",
    "EMR_POLYGON",
    "EMR_POLYLINE",
    "EMR_POLYBEZIERTO",
    "EMR_POLYLINETO",
    "EMR_POLYPOLYLINE",
    "EMR_POLYPOLYGON",
    "EMR_SETWINDOWEXTEX",
    "EMR_SETWINDOWORGEX",
    "EMR_SETVIEWPORTEXTEX",
    "EMR_SETVIEWPORTORGEX",
    "EMR_SETBRUSHORGEX",
    "EMR_EOF",
    "EMR_SETPIXELV",
    "EMR_SETMAPPERFLAGS",
    "EMR_SETMAPMODE",
    "EMR_SETBKMODE",
    "EMR_SETPOLYFILLMODE",
    "EMR_SETROP2",
    "EMR_SETSTRETCHBLTMODE",
    "EMR_SETTEXTALIGN",
    "EMR_SETCOLORADJUSTMENT",
    "EMR_SETTEXTCOLOR",
    "EMR_SETBKCOLOR",
    "EMR_OFFSETCLIPRGN",
    "EMR_MOVETOEX",
    "EMR_SETMETARGN",
    "EMR_EXCLUDECLIPRECT",
    "EMR_INTERSECTCLIPRECT",
    "EMR_SCALEVIEWPORTEXTEX",
    "EMR_SCALEWINDOWEXTEX",
    "EMR_SAVEDC",
    "EMR_RESTOREDC",
    "EMR_SETWORLDTRANSFORM",
    "EMR_MODIFYWORLDTRANSFORM",
    "EMR_SELECTOBJECT",
    "EMR_CREATEPEN",
    "EMR_CREATEBRUSHINDIRECT",
    "EMR_DELETEOBJECT",
    "EMR_ANGLEARC",
    "EMR_ELLIPSE",
    "EMR_RECTANGLE",
    "EMR_ROUNDRECT",
    "EMR_ARC",
    "EMR_CHORD",
    "EMR_PIE",
    "EMR_SELECTPALETTE",
    "EMR_CREATEPALETTE",
    "EMR_SETPALETTEENTRIES",
    "EMR_RESIZEPALETTE",
    "EMR_REALIZEPALETTE",
    "EMR_EXTFLOODFILL",
    "EMR_LINETO",
    "EMR_ARCTO",
    "EMR_POLYDRAW",
    "EMR_SETARCDIRECTION",
    "EMR_SETMITERLIMIT",
    "EMR_BEGINPATH",
    "EMR_ENDPATH",
    "EMR_CLOSEFIGURE",
    "EMR_FILLPATH",
    "EMR_STROKEANDFILLPATH",
    "EMR_STROKEPATH",
    "EMR_FLATTENPATH",
    "EMR_WIDENPATH",
    "EMR_SELECTCLIPPATH",
    "EMR_ABORTPATH",
    "EMR_?",
    "EMR_GDICOMMENT",
    "EMR_FILLRGN",
    "EMR_FRAMERGN",
    "EMR_INVERTRGN",
    "EMR_PAINTRGN",
    "EMR_EXTSELECTCLIPRGN",
    "EMR_BITBLT",
    "EMR_STRETCHBLT",
    "EMR_MASKBLT",
    "EMR_PLGBLT",
    "EMR_SETDIBITSTODEVICE",
    "EMR_STRETCHDIBITS",
    "EMR_EXTCREATEFONTINDIRECTW",
    "EMR_EXTTEXTOUTA",
    "EMR_EXTTEXTOUTW",
    "EMR_POLYBEZIER16",
    "EMR_POLYGON16",
    "EMR_POLYLINE16",
    "EMR_POLYBEZIERTO16",
    "EMR_POLYLINETO16",
    "EMR_POLYPOLYLINE16",
    "EMR_POLYPOLYGON16",
    "EMR_POLYDRAW16",
    "EMR_CREATEMONOBRUSH",
    "EMR_CREATEDIBPATTERNBRUSHPT",
    "EMR_EXTCREATEPEN",
    "EMR_POLYTEXTOUTA",
    "EMR_POLYTEXTOUTW",
    "EMR_SETICMMODE",
    "EMR_CREATECOLORSPACE",
    "EMR_SETCOLORSPACE",
    "EMR_DELETECOLORSPACE",
    "EMR_GLSRECORD",
    "EMR_GLSBOUNDEDRECORD",
    "EMR_PIXELFORMAT",
    "EMR_DRAWESCAPE",
    "EMR_EXTESCAPE",
    "EMR_?",
    "EMR_SMALLTEXTOUT",
    "EMR_FORCEUFIMAPPING",
    "EMR_NAMEDESCAPE",
    "EMR_COLORCORRECTPALETTE",
    "EMR_SETICMPROFILEA",
    "EMR_SETICMPROFILEW",
    "EMR_ALPHABLEND",
    "EMR_SETLAYOUT",
    "EMR_TRANSPARENTBLT",
    "EMR_?",
    "EMR_GRADIENTFILL",
    "EMR_SETLINKEDUFIS",
    "EMR_SETTEXTJUSTIFICATION",
    "EMR_COLORMATCHTOTARGETW",
    "EMR_CREATECOLORSPACEW",
};
static_assert(sizeof kNames / sizeof kNames[0] == EMR_MAX + 1);

template <class T> T Read(const BYTE* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::vector<BYTE> ReadWholeFile(const std::u16string& path) {
    // Read straight into the bytes: a job plays one file per page. The name
    // is tried as written before it is looked up: a file opened so is the
    // file the look-up would have named. Opened without waiting, so that a
    // named pipe under a document's name is refused below instead of holding
    // the caller until some writer opens it; a plain file reads the same.
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    int fd = ::open(platform::HostPathAsWritten(path).c_str(), kFlags);
    if (fd < 0) fd = ::open(platform::HostPath(path).c_str(), kFlags);
    if (fd < 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return {};
    }
    std::vector<BYTE> bytes;
    struct stat st;
    DWORD error = ERROR_SUCCESS;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
        st.st_size > kMaxFileSize) {
        error = ERROR_INVALID_DATA;
    } else {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        if (done < bytes.size()) error = ERROR_READ_FAULT;
    }
    ::close(fd);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return {};
    }
    return bytes;
}

} // namespace

const char* RecordName(DWORD type) {
    return type <= EMR_MAX ? kNames[type] : kNames[0];
}

namespace {

// The metafile in data[0, size); `owned`, when given, holds those bytes and
// hands them over instead of being copied.
std::shared_ptr<const Metafile> ReadMetafileFrom(const BYTE* data, size_t size,
                                                 std::vector<BYTE>* owned) {
    if (!data || size < ENHMETAHEADER_SIZE_V1) return Fail();
    DWORD type = Read<DWORD>(data), headerRecord = Read<DWORD>(data + 4);
    if (type != EMR_HEADER || headerRecord < ENHMETAHEADER_SIZE_V1 || headerRecord % 4 ||
        headerRecord > size)
        return Fail();
    ENHMETAHEADER h{};
    std::memcpy(&h, data, std::min<size_t>(headerRecord, sizeof h));
    if (h.dSignature != ENHMETA_SIGNATURE || h.nBytes < headerRecord || h.nBytes > size ||
        h.nBytes % 4)
        return Fail();
    // The header's fields end where its record, its description or its pixel
    // format begins.
    size_t fields = std::min<size_t>(headerRecord, sizeof h);
    if (h.nDescription) {
        unsigned long long end = h.offDescription + 2ull * h.nDescription;
        if (h.offDescription < ENHMETAHEADER_SIZE_V1 || end > headerRecord) return Fail();
        fields = std::min<size_t>(fields, h.offDescription);
    }
    if (fields >= ENHMETAHEADER_SIZE_V2 && h.cbPixelFormat) {
        unsigned long long end =
            static_cast<unsigned long long>(h.offPixelFormat) + h.cbPixelFormat;
        if (h.offPixelFormat < ENHMETAHEADER_SIZE_V1 || end > headerRecord) return Fail();
        fields = std::min<size_t>(fields, h.offPixelFormat);
    }
    fields = fields >= sizeof h                ? sizeof h
             : fields >= ENHMETAHEADER_SIZE_V2 ? ENHMETAHEADER_SIZE_V2
                                               : ENHMETAHEADER_SIZE_V1;
    auto mf = std::make_shared<Metafile>();
    std::memset(&mf->header, 0, sizeof mf->header);
    std::memcpy(&mf->header, data, fields);
    mf->headerSize = static_cast<UINT>(fields);
    if (owned) {
        mf->bytes = std::move(*owned); // the same buffer: `data` still points into it
        mf->bytes.resize(h.nBytes);
    } else {
        mf->bytes.assign(data, data + h.nBytes);
    }
    mf->records.push_back(0);
    // Every record lies inside the metafile; the end-of-file record ends it.
    size_t at = headerRecord;
    while (at < h.nBytes) {
        if (h.nBytes - at < sizeof(EMR)) return Fail();
        DWORD rtype = Read<DWORD>(data + at), rsize = Read<DWORD>(data + at + 4);
        if (rsize < sizeof(EMR) || rsize % 4 || rsize > h.nBytes - at) return Fail();
        mf->records.push_back(at);
        at += rsize;
        if (rtype == EMR_EOF) break;
    }
    return mf;
}

} // namespace

std::shared_ptr<const Metafile> ReadMetafile(const BYTE* data, size_t size) {
    return ReadMetafileFrom(data, size, nullptr);
}

std::shared_ptr<const Metafile> ReadMetafile(std::vector<BYTE>&& bytes) {
    return ReadMetafileFrom(bytes.data(), bytes.size(), &bytes);
}

HENHMETAFILE AddMetafile(std::shared_ptr<const Metafile> mf) {
    std::lock_guard lock(GdiLock());
    Handles& t = Table();
    t.next += 0x10;
    t.metafiles[t.next] = std::move(mf);
    return reinterpret_cast<HENHMETAFILE>(t.next);
}

std::shared_ptr<const Metafile> FindMetafile(HENHMETAFILE h) {
    std::lock_guard lock(GdiLock());
    auto it = Table().metafiles.find(reinterpret_cast<ULONG_PTR>(h));
    if (it == Table().metafiles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

} // namespace platform::gdi

using namespace platform::gdi;

namespace platform::test {

long LiveEnhMetaFiles() {
    std::lock_guard lock(GdiLock());
    return static_cast<long>(Table().metafiles.size());
}

} // namespace platform::test

extern "C" {

HENHMETAFILE WINAPI GetEnhMetaFileW(LPCWSTR lpName) {
    PLATFORM_FAULT_POINT("GetEnhMetaFileW", nullptr);
    if (!lpName || !*lpName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A large document is held once: the bytes read become the metafile's.
    std::vector<BYTE> bytes = ReadWholeFile(reinterpret_cast<const char16_t*>(lpName));
    if (bytes.empty()) return nullptr;
    auto mf = ReadMetafile(std::move(bytes));
    return mf ? AddMetafile(std::move(mf)) : nullptr;
}

HENHMETAFILE WINAPI GetEnhMetaFileA(LPCSTR lpName) {
    PLATFORM_FAULT_POINT("GetEnhMetaFileA", nullptr);
    if (!lpName || !*lpName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int n = MultiByteToWideChar(CP_ACP, 0, lpName, -1, nullptr, 0);
    if (n <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string wide(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, lpName, -1, reinterpret_cast<LPWSTR>(wide.data()), n);
    return GetEnhMetaFileW(reinterpret_cast<LPCWSTR>(wide.c_str()));
}

HENHMETAFILE WINAPI SetEnhMetaFileBits(UINT nSize, const BYTE* pb) {
    PLATFORM_FAULT_POINT("SetEnhMetaFileBits", nullptr);
    auto mf = ReadMetafile(pb, nSize);
    return mf ? AddMetafile(std::move(mf)) : nullptr;
}

UINT WINAPI GetEnhMetaFileBits(HENHMETAFILE hEMF, UINT nSize, LPBYTE lpData) {
    PLATFORM_FAULT_POINT("GetEnhMetaFileBits", 0u);
    auto mf = FindMetafile(hEMF);
    if (!mf) return 0;
    UINT size = static_cast<UINT>(mf->bytes.size());
    if (!lpData) return size;
    // A cut-off copy would not be a metafile.
    if (nSize < size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpData, mf->bytes.data(), size);
    return size;
}

UINT WINAPI GetEnhMetaFileHeader(HENHMETAFILE hemf, UINT nSize, LPENHMETAHEADER lpEnhMetaHeader) {
    auto mf = FindMetafile(hemf);
    if (!mf) return 0;
    if (!lpEnhMetaHeader) return mf->headerSize;
    UINT n = std::min(nSize, mf->headerSize);
    std::memcpy(lpEnhMetaHeader, &mf->header, n);
    return n;
}

BOOL WINAPI DeleteEnhMetaFile(HENHMETAFILE hmf) {
    std::shared_ptr<const Metafile> gone;
    std::lock_guard lock(GdiLock());
    auto it = Table().metafiles.find(reinterpret_cast<ULONG_PTR>(hmf));
    if (it == Table().metafiles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    gone = std::move(it->second);
    Table().metafiles.erase(it);
    return TRUE;
}
}

// Fonts added from memory (AddFontMemResourceEx): private to the process,
// found by their family name before the installed fonts, gone with their
// handle. The bytes are handed to the engine once through a file that is
// removed again at once; the engine maps it and keeps it by that unique name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <strings.h>

#include "fonts.h"
#include "platform/core.h"
#include "platform/gdi_ctl.h"
#include "platform/text.h"
#include "win/errors.h"
#include "win/gdi_text.h"

namespace platform::gdi {
namespace {

// Faces a font file may hold (a collection), at most.
constexpr long kMaxFaces = 64;

struct MemoryFace {
    std::u16string family;
    bool bold = false, italic = false;
    std::string path; // the engine's name of the bytes
    long index = 0;
};

std::mutex& Lock() {
    static std::mutex m;
    return m;
}
std::map<uintptr_t, std::vector<MemoryFace>>& Fonts() {
    static std::map<uintptr_t, std::vector<MemoryFace>> fonts;
    return fonts;
}

bool SameName(const std::u16string& a, const std::u16string& b) {
    return strcasecmp(platform::ToUtf8(a).c_str(), platform::ToUtf8(b).c_str()) == 0;
}

// Writes the bytes to a new file at path. Bytes that are a view of a file are
// copied by the system from that file, so that none of them is touched here
// and only the parts the engine reads are ever faulted in; a file cut short
// behind its view gives fewer bytes, and no font.
DWORD CopyFontBytes(const void* bytes, DWORD size, const std::string& path) {
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) return ERROR_NOT_ENOUGH_MEMORY;
    DWORD e = ERROR_SUCCESS;
    size_t done = 0;
    unsigned long long offset = 0;
    const int in = platform::DuplicateFileOfView(bytes, size, &offset);
    if (in >= 0) {
        auto at = static_cast<off_t>(offset);
        while (done < size) {
            ssize_t n = ::copy_file_range(in, &at, out, nullptr, size - done, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) e = ERROR_INVALID_DATA; // the file ends before the view does
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(in);
    }
    // A file the system cannot copy from (or none behind the bytes) is
    // written from memory, as long as it still holds them all.
    if (!e && done < size && in >= 0) {
        struct stat st;
        const int again = platform::DuplicateFileOfView(bytes, size, &offset);
        if (again < 0 || ::fstat(again, &st) != 0 ||
            static_cast<unsigned long long>(st.st_size) < offset + size)
            e = ERROR_INVALID_DATA;
        if (again >= 0) ::close(again);
    }
    while (!e && done < size) {
        ssize_t n = ::write(out, static_cast<const char*>(bytes) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            e = ERROR_NOT_ENOUGH_MEMORY;
        else
            done += static_cast<size_t>(n);
    }
    if (::close(out) != 0 && !e) e = ERROR_NOT_ENOUGH_MEMORY;
    return e;
}

} // namespace

bool FindMemoryFace(const LOGFONTW& lf, FaceChoice* out) {
    const std::u16string name = FaceNameOf(lf);
    if (name.empty()) return false;
    const bool bold = lf.lfWeight >= FW_SEMIBOLD, italic = lf.lfItalic != 0;
    std::lock_guard lock(Lock());
    const MemoryFace* best = nullptr;
    for (const auto& [handle, faces] : Fonts())
        for (const auto& f : faces)
            if (SameName(f.family, name) &&
                (!best || (f.bold == bold && f.italic == italic &&
                           !(best->bold == bold && best->italic == italic))))
                best = &f;
    if (!best) return false;
    out->path = best->path;
    out->index = best->index;
    return true;
}

} // namespace platform::gdi

namespace platform::test {

long LiveMemoryFonts() {
    std::lock_guard lock(platform::gdi::Lock());
    return static_cast<long>(platform::gdi::Fonts().size());
}

} // namespace platform::test

using namespace platform::gdi;

HANDLE WINAPI AddFontMemResourceEx(PVOID pFileView, DWORD cjSize, PVOID, DWORD* pNumFonts) {
    PLATFORM_FAULT_POINT("AddFontMemResourceEx", nullptr);
    if (!pFileView || !cjSize || !pNumFonts) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    static std::atomic<unsigned long> counter{0};
    const unsigned long n = ++counter;
    char name[64];
    std::snprintf(name, sizeof name, "memory-font-%ld-%lu.ttf", static_cast<long>(getpid()), n);
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    if (DWORD e = CopyFontBytes(pFileView, cjSize, path)) {
        std::remove(path.c_str());
        SetLastError(e);
        return nullptr;
    }
    auto file = platform::engine::LoadFontFile(path);
    std::remove(path.c_str());
    std::vector<MemoryFace> faces;
    for (long i = 0; file && i < kMaxFaces; ++i) {
        platform::engine::FaceInfo info;
        if (!platform::engine::QueryFace(*file, i, &info)) break;
        faces.push_back({info.familyName, info.weight >= FW_SEMIBOLD, info.italic, path, i});
    }
    if (faces.empty()) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    *pNumFonts = static_cast<DWORD>(faces.size());
    std::lock_guard lock(Lock());
    Fonts()[n] = std::move(faces);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(n));
}

BOOL WINAPI RemoveFontMemResourceEx(HANDLE h) {
    std::lock_guard lock(Lock());
    if (!Fonts().erase(reinterpret_cast<uintptr_t>(h))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

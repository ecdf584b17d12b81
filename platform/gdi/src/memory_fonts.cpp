// Fonts added from memory (AddFontMemResourceEx): private to the process,
// found by their family name before the installed fonts, gone with their
// handle. The bytes are handed to the engine once through a file that is
// removed again at once; the engine keeps them by that unique name.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
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
    {
        std::ofstream out(path, std::ios::binary);
        out.write(static_cast<const char*>(pFileView), cjSize);
        if (!out) {
            std::remove(path.c_str());
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
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

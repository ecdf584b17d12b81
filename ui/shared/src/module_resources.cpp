// The localisation cache on a loaded module's own resources.
#include <vector>

#include "localize.h"
#include "win/base.h"
#include "win/resources.h"

namespace sheetwright {
namespace {

constexpr int kStringGrowth = 256;

class ModuleResources : public ResourceSource {
  public:
    explicit ModuleResources(HMODULE module) : module_(module) {}

    std::u16string ModulePath() const override {
        WCHAR path[MAX_PATH] = {};
        DWORD n = GetModuleFileNameW(module_, path, MAX_PATH);
        return n > 0 && n < MAX_PATH ? std::u16string(path, n) : std::u16string();
    }

    BOOL Dialog(DWORD id, const BYTE** data, DWORD* size) const override {
        HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), RT_DIALOG);
        if (!found) return FALSE;
        HGLOBAL loaded = LoadResource(module_, found);
        *data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
        *size = SizeofResource(module_, found);
        return *data != nullptr && *size != 0;
    }

    std::u16string String(DWORD id) const override {
        WCHAR probe[2] = {};
        if (LoadStringW(module_, id, probe, 2) == 0) return {};
        std::vector<WCHAR> buf(kStringGrowth);
        for (;;) {
            int n = LoadStringW(module_, id, buf.data(), static_cast<int>(buf.size()));
            if (n + 2 <= static_cast<int>(buf.size()))
                return std::u16string(buf.data(), n > 0 ? n : 0);
            buf.resize(buf.size() + kStringGrowth);
        }
    }

    BOOL ProductVersion(DWORD* ms, DWORD* ls) const override {
        *ms = *ls = 0;
        std::u16string path = ModulePath();
        DWORD handle = 0;
        DWORD size = path.empty() ? 0 : GetFileVersionInfoSizeW(path.c_str(), &handle);
        if (!size) return FALSE;
        std::vector<BYTE> block(size);
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
            !VerQueryValueW(block.data(), u"\\", reinterpret_cast<LPVOID*>(&fixed), &length) ||
            !fixed || length < sizeof(VS_FIXEDFILEINFO))
            return FALSE;
        *ms = fixed->dwProductVersionMS;
        *ls = fixed->dwProductVersionLS;
        return TRUE;
    }

  private:
    HMODULE module_;
};

} // namespace

std::unique_ptr<ResourceSource> ModuleResourceSource(HMODULE module) {
    return std::make_unique<ModuleResources>(module);
}

CLocalize::CLocalize(HMODULE module) : CLocalize(module ? ModuleResourceSource(module) : nullptr) {}

BOOL UpdateRCBFileOfModule(HMODULE module) {
    if (!module) return TRUE;
    CLocalize localize(module);
    return localize.IsCacheCurrent() ? TRUE : localize.BuildCache();
}

} // namespace sheetwright

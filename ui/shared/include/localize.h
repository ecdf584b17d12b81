// CLocalize: a library's dialog templates and strings in another language,
// from a ".RCT" text file and a ".RCP" geometry file beside the library,
// compiled with the library's own templates into the ".RCB" cache and
// answered from it, falling back to the library's own resources.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "localize_format.h"
#include "win/types.h"

namespace sheetwright {

// What the cache is built from: a library's own resources and file.
class ResourceSource {
  public:
    virtual ~ResourceSource() = default;
    // The library's full Windows path; empty when unknown.
    virtual std::u16string ModulePath() const = 0;
    // The template of a dialog id, or FALSE.
    [[nodiscard]] virtual BOOL Dialog(DWORD id, const BYTE** data, DWORD* size) const = 0;
    // The string of an id (empty when there is none).
    virtual std::u16string String(DWORD id) const = 0;
    // The product version of the library's version resource.
    [[nodiscard]] virtual BOOL ProductVersion(DWORD* ms, DWORD* ls) const = 0;
};

// The resources of a loaded module.
std::unique_ptr<ResourceSource> ModuleResourceSource(HMODULE module);

// The three file paths of a library: the cache (base name + ".RCB"), the text
// file (base name cut to six characters + ".RCT") and the geometry file (the
// text file's path ending in "P").
struct LocalizePaths {
    std::u16string rct;
    std::u16string rcb;
    std::u16string rcp;
};
LocalizePaths LocalizePathsOf(const std::u16string& modulePath);

class CLocalize {
  public:
    explicit CLocalize(HMODULE module);
    // On any resource source (the tests' own, or a module's).
    explicit CLocalize(std::unique_ptr<ResourceSource> source);
    ~CLocalize();
    CLocalize(const CLocalize&) = delete;
    CLocalize& operator=(const CLocalize&) = delete;

    BOOL IsCacheCurrent();
    [[nodiscard]] BOOL BuildCache();
    // The template block: from the cache (owned by this object until the
    // next call or its end), else the module's own; null when neither has it.
    [[nodiscard]] const BYTE* LoadDialogTemplate(DWORD id, DWORD* size = nullptr);
    int LoadString(DWORD id, std::u16string* out);
    int CopyString(DWORD id, LPWSTR buffer, int size);

    const LocalizePaths& Paths() const { return paths_; }
    DWORD LanguageId() const { return languageId_; }

  private:
    // The data of the entry of `id` in the string or dialog index of the cache:
    // its header, that index and the data are read, nothing else. FALSE when
    // the cache is missing or damaged, or has no data for the id.
    [[nodiscard]] BOOL ReadCacheEntry(bool isString, DWORD id, std::vector<BYTE>* data) const;

    std::unique_ptr<ResourceSource> source_;
    LocalizePaths paths_;
    DWORD languageId_ = 0;
    BOOL threadCodePage_ = TRUE;
    std::vector<BYTE> lastTemplate_;
};

// Refreshes the cache of a library: 1 when the library is not given or the
// cache is current, else the build's result.
[[nodiscard]] BOOL UpdateRCBFileOfModule(HMODULE module);

} // namespace sheetwright

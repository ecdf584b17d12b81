// ProfileStore: one user's profile store (or an import, export or default
// profile file) for one printer model. It lists, reads, adds, replaces and
// deletes profiles; every change writes the whole file once, through the
// platform's settings-file path (lock, new file beside it, flush, rename),
// so a failure or a kill leaves the old file or the new one.
//
// Profiles the reader cannot take (another model's device-mode layout, a
// record whose head does not fit) are carried byte for byte into every
// rewrite. A file with damaged chunks lists what it can (error 8); a save or
// a delete writes the readable profiles and first keeps the damaged file as
// it was under the store's name + kDamagedStoreSuffix, so nothing is lost
// and the user is not locked out of the store.
//
// A change brings the profiles of older settings versions up to date through
// MigrateProfile, which the job and device pages' ProfileFile gives (it
// needs the device-mode conversions above the shared readers); the store
// alone, as printhost lists it, keeps them as stored.
#pragma once

#include <string>
#include <vector>

#include "driver_env.h"
#include "profile_format.h"
#include "devmode_private.h"

namespace platform {
class SettingsFile;
}

namespace sheetwright {

class CInstallOption;

// Name of the store in the per-user settings folder when the model data's
// component table has no entry 4. The page, the installation and the import
// all take the entry's name first; the extension ".DAT" is that of the
// default files the driver folder holds, ".PRO" only what export proposes.
inline constexpr char16_t kDefaultProfileStoreName[] = u"P00DPR.DAT";
// What a change keeps of a damaged store, beside it.
inline constexpr char16_t kDamagedStoreSuffix[] = u".damaged";

// The user's store of the model: the per-user settings folder and the file
// name of the component table's entry 4 (or the default name). The folder is
// not created here.
[[nodiscard]] BOOL GetProfileStorePath(const ModelBlock* binding, std::u16string* out);

class ProfileStore {
  public:
    ProfileStore(const ModelBlock* binding, std::u16string path);
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;
    virtual ~ProfileStore() = default;

    void SetInstalledOptions(CInstallOption* options) { options_ = options; }
    void SetPrinter(HANDLE printer) { printer_ = printer; }
    CInstallOption* InstalledOptions() const { return options_; }
    HANDLE Printer() const { return printer_; }
    const ModelBlock* Binding() const { return &binding_; }
    const std::u16string& Path() const { return path_; }

    // The accepted profiles in file order (valid until the next change),
    // reloaded first when the file changed. 1 when there was no need to
    // reload or the reload found a profile.
    [[nodiscard]] BOOL GetProfileList(const ProfileEntry** entries, DWORD* count);
    [[nodiscard]] BOOL ReloadProfileList();
    [[nodiscard]] const ProfileEntry* FindProfile(const char* name);
    [[nodiscard]] const ProfileEntry* FindProfileW(LPCWSTR name);

    // Copies the named profile's device mode from the file into `devmode`,
    // whose dmSize and dmDriverExtra the caller has set (the private block
    // goes after the caller's standard part). Fills the comment and flags of
    // `entryOut` and the file's settings version.
    [[nodiscard]] BOOL ReadProfile(const char* name, DEVMODEA* devmode, ProfileEntry* entryOut,
                                   DWORD* settingsVersion);
    // The same for the index-th listed profile, into a whole ANSI image.
    [[nodiscard]] BOOL ReadProfileAt(DWORD index, DEVMODE_IMAGEA* devmode, ProfileEntry* entryOut,
                                     DWORD* settingsVersion);

    // Saves `devmode` (156 + 1100 bytes) under the entry's name, comment and
    // flags: replacing the first profile of that name (any case) in its
    // place, or added last; with toTop the saved profile is written first.
    // The job's secure password is never stored.
    [[nodiscard]] BOOL SaveProfile(const DEVMODEA* devmode, const ProfileEntry* entry, BOOL toTop);
    // Deletes the first profile of the entry's name (any case).
    [[nodiscard]] BOOL DeleteProfile(const ProfileEntry* entry);
    // Makes the file hold exactly this profile (export): one write, whatever
    // the file held before (another model's file or a damaged one included).
    [[nodiscard]] BOOL WriteSingleProfile(const DEVMODEA* devmode, const ProfileEntry* entry);
    // 1 when the file is in the current layout (or is missing); otherwise
    // rewrites it in the current layout with its old settings version.
    [[nodiscard]] BOOL ConvertLegacyProfileFile();
    // Brings every profile to the current settings version, in memory, and
    // writes the file once; a file already current is not written.
    [[nodiscard]] BOOL MigrateStore();

    DWORD ErrorCode() const { return error_; }
    DWORD SystemError() const { return systemError_; }

  protected:
    // Adjusts one profile stored under `settingsVersion` to this driver; 0
    // leaves it as stored.
    virtual BOOL MigrateProfile(DEVMODE_IMAGEA* /*devmode*/, DWORD /*settingsVersion*/) {
        return FALSE;
    }

  private:
    enum class Load { kRead, kMissing, kFailed };
    // Reads and takes apart the file under the lock the caller holds.
    Load LoadImage(platform::SettingsFile& file, StoreImage* image);
    bool CheckPath();
    bool Fail(DWORD error, DWORD systemError);
    bool KeepDamagedCopy(const StoreImage& image);
    void MigrateImage(StoreImage* image);
    // Puts a whole new file in place under the same lock.
    bool Rewrite(platform::SettingsFile& file, const std::vector<const StoredProfile*>& order,
                 DWORD version);
    StoreModelNames Names() const;

    CInstallOption* options_ = nullptr;
    HANDLE printer_ = nullptr;
    ModelBlock binding_;
    std::u16string path_;
    bool stale_ = true;
    std::vector<ProfileEntry> list_;
    DWORD error_ = kProfileOk;
    DWORD systemError_ = 0;
};

} // namespace sheetwright

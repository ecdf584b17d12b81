// The profile store: reading through the one format reader, every change a
// whole new file put in place once under the settings-file lock.
#include "profile_store.h"

#include <cstring>
#include <utility>

#include "model/model_queries.h"
#include "model_data_header.h"
#include "model_info.h"
#include "platform/settings_file.h"
#include "win/base.h"
#include "win/files.h"

namespace sheetwright {
namespace {

using namespace profile_format;

// Other model names (query 51): 24-byte entries, the name at entry offset 8.
constexpr size_t kOtherNameSize = 24, kOtherNameAt = 8, kOtherNameBytes = 16;

// A name in the form a 16-byte field of the file holds it.
std::string StoredForm(const std::string& name) {
    char field[kNameField];
    SetFieldText(field, sizeof field, name);
    return FieldText(field, sizeof field);
}

// The caller's ANSI device mode as the store keeps it: the standard part
// within its own dmSize, the private block behind it, and no password.
bool TakeCallerDevmode(const DEVMODEA* devmode, DEVMODE_IMAGEA* out) {
    if (!devmode) return false;
    const size_t dmSize = devmode->dmSize;
    if (devmode->dmDriverExtra != PRIVATE_DEVMODE_SIZE || dmSize < kSmallestStandardPart ||
        dmSize > DEVMODEA_SIZE)
        return false;
    std::memset(out, 0, sizeof *out);
    std::memcpy(&out->dm, devmode, dmSize);
    std::memcpy(&out->priv, reinterpret_cast<const BYTE*>(devmode) + dmSize, PRIVATE_DEVMODE_SIZE);
    out->dm.dmSize = DEVMODEA_SIZE;
    out->dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    // The secure-print password stays with the job; profiles and export files
    // are readable by anyone who gets the file.
    std::memset(out->priv.SecurePassword, 0, sizeof out->priv.SecurePassword);
    return true;
}

StoredProfile MakeRecord(const ProfileEntry& entry, const DEVMODE_IMAGEA& devmode) {
    StoredProfile record;
    SetFieldText(record.entry.name, sizeof record.entry.name,
                 FieldText(entry.name, sizeof entry.name));
    SetFieldText(record.entry.comment, sizeof record.entry.comment,
                 FieldText(entry.comment, sizeof entry.comment));
    record.entry.profileFlags = entry.profileFlags;
    record.entry.devmodeLength = kDevmodeLength;
    record.accepted = true;
    record.devmode = devmode;
    record.chunk = MakeRecordChunk(record.entry, devmode);
    return record;
}

// The first accepted record of that name, or -1.
int FindRecord(const StoreImage& image, std::string_view name) {
    for (size_t i = 0; i < image.records.size(); ++i)
        if (image.records[i].accepted &&
            SameProfileName(FieldText(image.records[i].entry.name, 64), name))
            return static_cast<int>(i);
    return -1;
}

std::vector<const StoredProfile*> AllOf(const StoreImage& image) {
    std::vector<const StoredProfile*> out;
    for (const StoredProfile& r : image.records)
        out.push_back(&r);
    return out;
}

} // namespace

BOOL GetProfileStorePath(const ModelBlock* binding, std::u16string* out) {
    if (!binding || !out) return FALSE;
    BoundModel bound{};
    BindModelInfo(&bound, binding);
    std::u16string folder;
    if (!bound.query || !GetUserSettingsFolder(bound.query, binding->modelData, &folder))
        return FALSE;
    CModelInfo entry(binding, model::kQueryComponents, model::kComponentProfileA,
                     model::layout::kComponentList);
    auto* answer = static_cast<const model::ComponentAnswer*>(entry.GetData());
    std::u16string name;
    if (answer && entry.Length() >= sizeof *answer)
        name = ComponentFileName(answer->kind, answer->nameTemplate, sizeof answer->nameTemplate);
    *out = folder + (name.empty() ? std::u16string(kDefaultProfileStoreName) : name);
    return TRUE;
}

ProfileStore::ProfileStore(const ModelBlock* binding, std::u16string path)
    : binding_(binding ? *binding : ModelBlock{}), path_(std::move(path)) {}

StoreModelNames ProfileStore::Names() const {
    StoreModelNames names;
    names.model = StoredForm(CModelInfo(&binding_, model::kQueryModelName, 0, kTextLayout).Text());
    names.family =
        StoredForm(CModelInfo(&binding_, model::kQueryFamilyName, 0, kTextLayout).Text());
    CModelInfo others(&binding_, model::kQueryPortModelNames, 0, model::layout::kOtherModelNames);
    auto* data = static_cast<const char*>(others.GetData());
    for (size_t at = 0; data && at + kOtherNameSize <= others.Length(); at += kOtherNameSize)
        names.otherModels.push_back(
            StoredForm(FieldText(data + at + kOtherNameAt, kOtherNameBytes)));
    return names;
}

bool ProfileStore::Fail(DWORD error, DWORD systemError) {
    error_ = error;
    systemError_ = systemError;
    return false;
}

// A store that is a link is not followed: a rename would replace the link and
// a reader would read wherever it points.
bool ProfileStore::CheckPath() {
    if (path_.empty()) return Fail(kProfileCannotOpen, ERROR_INVALID_NAME);
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(path_.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return true; // missing: the first save creates it
    FindClose(find);
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
        return Fail(kProfileRefusedPath, ERROR_ACCESS_DENIED);
    return true;
}

ProfileStore::Load ProfileStore::LoadImage(platform::SettingsFile& file, StoreImage* image) {
    *image = StoreImage{};
    std::string bytes;
    if (!CheckPath()) return Load::kFailed;
    if (!file.locked() || !file.Read(&bytes, profile_format::kMaxStoreSize)) {
        const DWORD e = GetLastError();
        if (file.locked() && e == ERROR_FILE_NOT_FOUND) return Load::kMissing;
        // A file larger than any store is refused unread, as a damaged one.
        Fail(file.locked() && e == ERROR_INVALID_DATA ? kProfileMalformed : kProfileCannotOpen, e);
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? Load::kMissing
                                                                      : Load::kFailed;
    }
    // An empty file holds nothing a rewrite could lose: it is no store yet.
    if (bytes.empty()) return Load::kMissing;
    *image = ParseProfileStore(bytes, Names());
    return Load::kRead;
}

// A change writes the profiles that can still be read; what could not be
// (a record cut short, bytes past the counted records) stays in a copy of
// the file as it was, beside the store.
bool ProfileStore::KeepDamagedCopy(const StoreImage& image) {
    if (!image.damaged) return true;
    const std::u16string copy = path_ + kDamagedStoreSuffix;
    if (!CopyFileW(path_.c_str(), copy.c_str(), FALSE))
        return Fail(kProfileCannotCreate, GetLastError());
    return true;
}

bool ProfileStore::Rewrite(platform::SettingsFile& file,
                           const std::vector<const StoredProfile*>& order, DWORD version) {
    if (!file.locked()) return Fail(kProfileCannotCreate, GetLastError());
    // A read-only store is still the user's to change: the mark goes with
    // the old file, and comes back when the new one cannot be put in place.
    const DWORD attributes = GetFileAttributesW(path_.c_str());
    const bool readOnly =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly) SetFileAttributesW(path_.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    if (!file.Replace(WriteProfileStore(Names(), version, order))) {
        const DWORD error = GetLastError();
        if (readOnly) SetFileAttributesW(path_.c_str(), attributes);
        return Fail(kProfileWriteFailed, error);
    }
    stale_ = true;
    return true;
}

BOOL ProfileStore::ReloadProfileList() {
    error_ = kProfileOk;
    systemError_ = 0;
    list_.clear();
    stale_ = false;
    const bool converted = ConvertLegacyProfileFile() != FALSE;
    if (!converted && (error_ == kProfileRefusedPath || error_ == kProfileCannotOpen)) return FALSE;
    const DWORD conversionError = converted ? kProfileOk : error_;
    const DWORD conversionSystemError = converted ? 0 : systemError_;
    StoreImage image;
    platform::SettingsFile file(path_);
    const Load load = LoadImage(file, &image);
    stale_ = false;
    if (load != Load::kRead) {
        if (load == Load::kMissing) Fail(kProfileCannotOpen, ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    for (const StoredProfile& r : image.records)
        if (r.accepted) list_.push_back(r.entry);
    // An older file that could not be rewritten is still listed; the failure is kept.
    error_ = image.error != kProfileOk ? image.error : conversionError;
    if (error_ == conversionError) systemError_ = conversionSystemError;
    return list_.empty() ? FALSE : TRUE;
}

BOOL ProfileStore::GetProfileList(const ProfileEntry** entries, DWORD* count) {
    BOOL result = TRUE;
    if (stale_) result = ReloadProfileList();
    if (entries) *entries = list_.empty() ? nullptr : list_.data();
    if (count) *count = static_cast<DWORD>(list_.size());
    return result;
}

const ProfileEntry* ProfileStore::FindProfile(const char* name) {
    if (!name) return nullptr;
    // A list left from before the last change would miss what it added.
    // A failed reload leaves the list empty (not found) and its error kept.
    if (stale_) (void)ReloadProfileList();
    const std::string wanted = FieldText(name, 64);
    for (const ProfileEntry& e : list_)
        if (SameProfileName(FieldText(e.name, sizeof e.name), wanted)) return &e;
    return nullptr;
}

const ProfileEntry* ProfileStore::FindProfileW(LPCWSTR name) {
    if (!name) return nullptr;
    char ansi[64];
    SetFieldText(ansi, sizeof ansi, WideToAnsiString(name));
    return FindProfile(ansi);
}

BOOL ProfileStore::ReadProfile(const char* name, DEVMODEA* devmode, ProfileEntry* entryOut,
                               DWORD* settingsVersion) {
    if (!name || !devmode) return FALSE;
    if (devmode->dmDriverExtra != PRIVATE_DEVMODE_SIZE || devmode->dmSize < kSmallestStandardPart)
        return Fail(kProfileForeignDevmode, 0);
    StoreImage image;
    platform::SettingsFile file(path_);
    if (LoadImage(file, &image) != Load::kRead) return FALSE;
    if (image.refused) return Fail(image.error, 0);
    const std::string wanted = FieldText(name, 64);
    for (const StoredProfile& r : image.records) {
        if (!SameProfileName(FieldText(r.entry.name, 64), wanted)) continue;
        if (!r.accepted) return Fail(kProfileForeignDevmode, 0);
        const size_t standard = std::min<size_t>(devmode->dmSize, DEVMODEA_SIZE);
        const WORD callerSize = devmode->dmSize;
        std::memcpy(devmode, &r.devmode.dm, standard);
        devmode->dmSize = callerSize;
        devmode->dmDriverExtra = PRIVATE_DEVMODE_SIZE;
        std::memcpy(reinterpret_cast<BYTE*>(devmode) + callerSize, &r.devmode.priv,
                    PRIVATE_DEVMODE_SIZE);
        if (entryOut) {
            std::memcpy(entryOut->comment, r.entry.comment, sizeof entryOut->comment);
            entryOut->profileFlags = r.entry.profileFlags;
        }
        if (settingsVersion) *settingsVersion = image.settingsVersion;
        return TRUE;
    }
    return FALSE;
}

BOOL ProfileStore::ReadProfileAt(DWORD index, DEVMODE_IMAGEA* devmode, ProfileEntry* entryOut,
                                 DWORD* settingsVersion) {
    if (!devmode) return FALSE;
    StoreImage image;
    platform::SettingsFile file(path_);
    if (LoadImage(file, &image) != Load::kRead) return FALSE;
    if (image.refused) return Fail(image.error, 0);
    DWORD seen = 0;
    for (const StoredProfile& r : image.records) {
        if (!r.accepted || seen++ != index) continue;
        *devmode = r.devmode;
        if (entryOut) *entryOut = r.entry;
        if (settingsVersion) *settingsVersion = image.settingsVersion;
        return TRUE;
    }
    return FALSE;
}

void ProfileStore::MigrateImage(StoreImage* image) {
    if (image->settingsVersion == kCurrentSettingsVersion) return;
    for (StoredProfile& r : image->records) {
        if (!r.accepted) continue;
        DEVMODE_IMAGEA migrated = r.devmode;
        if (!MigrateProfile(&migrated, image->settingsVersion)) continue;
        r = MakeRecord(r.entry, migrated);
    }
    image->settingsVersion = kCurrentSettingsVersion;
}

BOOL ProfileStore::SaveProfile(const DEVMODEA* devmode, const ProfileEntry* entry, BOOL toTop) {
    DEVMODE_IMAGEA taken;
    if (!entry || !TakeCallerDevmode(devmode, &taken)) return Fail(kProfileForeignDevmode, 0);
    StoreImage image;
    platform::SettingsFile file(path_);
    const Load load = LoadImage(file, &image);
    if (load == Load::kFailed) return FALSE;
    if (load == Load::kRead && image.refused) return Fail(image.error, 0);
    if (!KeepDamagedCopy(image)) return FALSE;
    MigrateImage(&image);
    const StoredProfile saved = MakeRecord(*entry, taken);
    const int replaced = FindRecord(image, FieldText(entry->name, sizeof entry->name));
    std::vector<const StoredProfile*> order;
    if (toTop) order.push_back(&saved);
    for (size_t i = 0; i < image.records.size(); ++i) {
        if (static_cast<int>(i) != replaced)
            order.push_back(&image.records[i]);
        else if (!toTop)
            order.push_back(&saved);
    }
    if (!toTop && replaced < 0) order.push_back(&saved);
    if (!Rewrite(file, order, kCurrentSettingsVersion)) return FALSE;
    error_ = kProfileOk;
    systemError_ = 0;
    return TRUE;
}

BOOL ProfileStore::DeleteProfile(const ProfileEntry* entry) {
    if (!entry) return FALSE;
    StoreImage image;
    platform::SettingsFile file(path_);
    if (LoadImage(file, &image) != Load::kRead) return FALSE;
    if (image.refused) return Fail(image.error, 0);
    const int gone = FindRecord(image, FieldText(entry->name, sizeof entry->name));
    if (gone < 0 && !image.legacy) return TRUE; // nothing to change
    if (!KeepDamagedCopy(image)) return FALSE;
    MigrateImage(&image);
    std::vector<const StoredProfile*> order;
    for (size_t i = 0; i < image.records.size(); ++i)
        if (static_cast<int>(i) != gone) order.push_back(&image.records[i]);
    return Rewrite(file, order, image.settingsVersion) ? TRUE : FALSE;
}

BOOL ProfileStore::WriteSingleProfile(const DEVMODEA* devmode, const ProfileEntry* entry) {
    DEVMODE_IMAGEA taken;
    if (!entry || !TakeCallerDevmode(devmode, &taken)) return Fail(kProfileForeignDevmode, 0);
    if (!CheckPath()) return FALSE;
    const StoredProfile saved = MakeRecord(*entry, taken);
    platform::SettingsFile file(path_);
    return Rewrite(file, {&saved}, kCurrentSettingsVersion) ? TRUE : FALSE;
}

BOOL ProfileStore::ConvertLegacyProfileFile() {
    StoreImage image;
    platform::SettingsFile file(path_);
    const Load load = LoadImage(file, &image);
    if (load == Load::kMissing) return TRUE;
    if (load == Load::kFailed) return FALSE;
    if (!image.legacy) return TRUE;
    // A damaged or refused file is left as it is: its records stay readable.
    if (image.refused || image.damaged) return Fail(image.error, 0);
    return Rewrite(file, AllOf(image), image.settingsVersion) ? TRUE : FALSE;
}

BOOL ProfileStore::MigrateStore() {
    StoreImage image;
    platform::SettingsFile file(path_);
    if (LoadImage(file, &image) != Load::kRead) return FALSE;
    if (image.refused || image.damaged)
        return Fail(image.refused ? image.error : kProfileMalformed, 0);
    if (image.settingsVersion == kCurrentSettingsVersion && !image.legacy) return TRUE;
    MigrateImage(&image);
    return Rewrite(file, AllOf(image), image.settingsVersion) ? TRUE : FALSE;
}

} // namespace sheetwright

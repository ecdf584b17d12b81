// Applying a profile to the current settings (only what a profile carries),
// bringing profiles of older driver versions up to date, and copying
// profiles between stores. Device modes here are the 1320-byte wide image.
#pragma once

#include "profile_file.h"
#include "devmode_private.h"

namespace sheetwright {

// Copies the profile-carried fields of `profile` into `current`. With no
// entry, or an entry without the keep-paper flag, paper size and orientation
// are taken too. 0 only when `current` is missing.
BOOL MergeProfileSettings(const ProfileEntry* entry, const DEVMODE_IMAGEW* profile,
                          DEVMODE_IMAGEW* current);

// Adjusts a profile stored under `settingsVersion` to this driver, with the
// store's model binding, installed options and printer. 0 only when the
// device mode is missing.
BOOL MigrateProfileSettings(ProfileFile* store, DEVMODE_IMAGEW* devmode, DWORD settingsVersion);
// The same on the store's ANSI form (widened, migrated, narrowed).
BOOL MigrateAnsiProfile(ProfileFile* store, DEVMODE_IMAGEA* devmode, DWORD settingsVersion);

// Reads the entry's profile (refreshing the entry's comment and flags),
// migrates it and merges it into `current`. 0 when it cannot be read, with
// `current` unchanged.
BOOL ApplyProfileToDevmode(ProfileFile* store, DEVMODE_IMAGEW* current, ProfileEntry* entry);

// Copies the entry's profile from `source` into `target` (migrated with the
// target's binding), under `newEntry`'s name, comment and flags when given
// (its name also written into the profile's ProfileName).
BOOL CopyProfile(ProfileFile* target, ProfileFile* source, ProfileEntry* entry,
                 const ProfileEntry* newEntry, BOOL toTop);

// Brings every profile of the store to the current settings version,
// written once; a current store is not written.
void MigrateAllProfiles(ProfileFile* store);

} // namespace sheetwright

// ProfileFile: the profile store as the job and device pages and the
// installation use it, bringing profiles of older driver versions up to
// date on every change (profile_apply.h).
#pragma once

#include "profile_store.h"

namespace sheetwright {

class ProfileFile : public ProfileStore {
  public:
    using ProfileStore::ProfileStore;

  protected:
    BOOL MigrateProfile(DEVMODE_IMAGEA* devmode, DWORD settingsVersion) override;
};

} // namespace sheetwright

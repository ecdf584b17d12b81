// Whole-file writes and reads of the UI core's settings files.
#include "settings_file.h"

#include <string>
#include <string_view>

#include "platform/settings_file.h"
#include "win/base.h"

namespace sheetwright {

BOOL WriteWholeFile(LPCWSTR path, const void* bytes, DWORD size) {
    if (!path || !path[0] || (!bytes && size)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    platform::SettingsFile file(path);
    if (!file.locked()) return FALSE;
    return file.Replace(std::string_view(static_cast<const char*>(bytes), size)) ? TRUE : FALSE;
}

BOOL ReadWholeFile(LPCWSTR path, DWORD maxSize, std::vector<BYTE>* out) {
    out->clear();
    if (!path || !path[0]) return FALSE;
    platform::SettingsFile file(path);
    std::string bytes;
    if (!file.locked() || !file.Read(&bytes, maxSize)) return FALSE;
    out->assign(bytes.begin(), bytes.end());
    return TRUE;
}

} // namespace sheetwright

// Whole-file writes and reads of the UI core's settings files.
#include "settings_file.h"

#include <string>

#include "win/base.h"

namespace sheetwright {

BOOL WriteWholeFile(LPCWSTR path, const void* bytes, DWORD size) {
    if (!path || !path[0] || (!bytes && size)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string target(path);
    size_t slash = target.rfind(u'\\');
    std::u16string folder =
        slash == std::u16string::npos ? std::u16string(u".") : target.substr(0, slash);
    WCHAR temp[MAX_PATH] = {};
    // A unique name in the same folder, so that the rename stays on one volume.
    if (!GetTempFileNameW(folder.c_str(), u"~sw", 0, temp)) return FALSE;
    HANDLE file =
        CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        DeleteFileW(temp);
        SetLastError(error);
        return FALSE;
    }
    DWORD written = 0;
    BOOL ok = (size == 0 || (WriteFile(file, bytes, size, &written, nullptr) && written == size)) &&
              FlushFileBuffers(file);
    DWORD error = ok ? 0 : GetLastError();
    CloseHandle(file);
    if (ok && !MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = FALSE;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp);
        SetLastError(error ? error : ERROR_WRITE_FAULT);
    }
    return ok;
}

BOOL ReadWholeFile(LPCWSTR path, DWORD maxSize, std::vector<BYTE>* out) {
    out->clear();
    HANDLE file =
        CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD size = GetFileSize(file, nullptr);
    BOOL ok = size != INVALID_FILE_SIZE && size <= maxSize;
    if (ok) {
        out->resize(size);
        DWORD read = 0;
        ok = size == 0 || (ReadFile(file, out->data(), size, &read, nullptr) && read == size);
        if (!ok) out->clear();
    }
    CloseHandle(file);
    return ok;
}

} // namespace sheetwright

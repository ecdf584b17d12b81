#include "watermark_file.h"

#include <algorithm>
#include <cstring>

#include "model_info.h"
#include "overlay_file.h"
#include "settings_file.h"
#include "win/base.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/strings.h"

namespace sheetwright {
namespace {

constexpr WORD kWatermarkNameTable = 6;
constexpr DWORD kTextAnswer = 1;

LPCWSTR W(const std::u16string& s) {
    return reinterpret_cast<LPCWSTR>(s.c_str());
}

// Reads the file with others reading it too; ERROR_FILE_NOT_FOUND and
// ERROR_PATH_NOT_FOUND come back as they are, so that the caller can restore.
DWORD ReadShared(const std::u16string& path, std::vector<BYTE>* bytes) {
    bytes->clear();
    HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    LARGE_INTEGER size{};
    DWORD error = 0;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
        size.QuadPart > static_cast<LONGLONG>(kMaxWatermarkFileSize)) {
        error = ERROR_INVALID_DATA;
    } else {
        bytes->resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        // A read that gives less than the file holds is a failure.
        if (!bytes->empty() &&
            (!ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr) ||
             read != bytes->size()))
            error = ERROR_READ_FAULT;
    }
    CloseHandle(file);
    if (error) bytes->clear();
    return error;
}

} // namespace

std::u16string AnsiField(const CHAR* field, size_t size) {
    return AnsiToWide(field, strnlen(field, size));
}

void PutAnsiField(CHAR* field, size_t size, const std::u16string& text) {
    std::memset(field, 0, size);
    const std::string ansi = WideToAnsiString(text);
    std::memcpy(field, ansi.data(), std::min(ansi.size(), size));
    print_effects::TerminateAnsiField(field, size);
}

std::u16string WithTextArgument(const std::u16string& text, const std::u16string& argument) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 1 < text.size() &&
            (text[i + 1] == u's' || text[i + 1] == u'%')) {
            out += text[i + 1] == u's' ? argument : u"%";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

BOOL SameWatermarkName(const CHAR* a, const CHAR* b) {
    CHAR x[65] = {}, y[65] = {};
    std::memcpy(x, a, strnlen(a, 64));
    std::memcpy(y, b, strnlen(b, 64));
    return lstrcmpiA(x, y) == 0;
}

std::u16string WatermarkFileName(const ModelBlock* model) {
    std::string name;
    if (model && model->modelsmith)
        name = CModelInfo(model, kWatermarkNameTable, 0, kTextAnswer).Text();
    // The name is joined to the user's folder: a folder part or a drive
    // would put the file somewhere else.
    if (name.empty() || name.size() >= MAX_PATH || !print_effects::IsBareOverlayName(name.c_str()))
        name = kDefaultWatermarkFileName;
    return AnsiToWide(name.data(), name.size());
}

std::u16string WatermarkFilePath(const SheetContext* context) {
    if (!context || !context->userFolder[0]) return {};
    std::u16string folder(reinterpret_cast<const char16_t*>(context->userFolder));
    if (folder.back() != u'\\') folder += u'\\';
    return folder + WatermarkFileName(&context->model);
}

void LoadWatermarkList(const SheetContext* context, WatermarkList* list) {
    list->records.clear();
    list->loaded = false;
    const std::u16string path = WatermarkFilePath(context);
    if (path.empty()) return;
    std::vector<BYTE> bytes;
    DWORD error = ReadShared(path, &bytes);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        // The user has none yet: start from the copy shipped with the driver.
        const std::u16string folder(reinterpret_cast<const char16_t*>(context->userFolder));
        const std::u16string driverFolder = GetDriverFolder(context->printer);
        const std::u16string shipped = driverFolder + WatermarkFileName(&context->model);
        // Best-effort: a folder that cannot be made fails the copy below.
        if (error == ERROR_PATH_NOT_FOUND) (void)CreateDirectoryTree(W(folder));
        if (!driverFolder.empty() && CopyFileW(W(shipped), W(path), FALSE))
            error = ReadShared(path, &bytes);
        else if (GetFileAttributesW(W(path)) == INVALID_FILE_ATTRIBUTES) {
            // Nothing to restore: an empty list that may be written.
            list->loaded = true;
            return;
        }
    }
    if (error) return;
    std::string why;
    list->loaded =
        print_effects::ReadWatermarkFile(bytes.data(), bytes.size(), &list->records, &why);
    if (!list->loaded) list->records.clear();
}

BOOL SaveWatermarkList(const SheetContext* context, const WatermarkList& list) {
    if (!list.loaded) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    const std::u16string path = WatermarkFilePath(context);
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const std::u16string folder(reinterpret_cast<const char16_t*>(context->userFolder));
    // Best-effort: a folder that cannot be made fails the write below.
    (void)CreateDirectoryTree(W(folder));
    // A read-only file is the user's own; the new content replaces it anyway.
    const DWORD attributes = GetFileAttributesW(W(path));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(W(path), attributes & ~FILE_ATTRIBUTE_READONLY);
    const std::vector<BYTE> bytes = print_effects::WatermarkFileBytes(list.records);
    return WriteWholeFile(W(path), bytes.data(), static_cast<DWORD>(bytes.size()));
}

} // namespace sheetwright

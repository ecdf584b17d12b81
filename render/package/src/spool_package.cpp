#include "spool_package.h"

#include <cstdio>
#include <cstring>
#include <random>

#include "package_reader.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/strings.h"

namespace spoolpkg {
namespace {

std::u16string Ascii(const char* text) {
    std::u16string s;
    for (; *text; ++text)
        s += static_cast<char16_t>(*text);
    return s;
}

std::u16string Numbered(const char* format, DWORD n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, static_cast<unsigned>(n));
    return Ascii(buf);
}

std::string ToAnsi(const std::u16string& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> Head(uint32_t type, size_t size) {
    std::vector<uint8_t> b(size, 0);
    Put32(b, 0, type);
    Put32(b, 4, static_cast<uint32_t>(size));
    return b;
}

bool ReadWhole(const std::u16string& path, std::vector<uint8_t>* bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart >= 0 && size.QuadPart < (1 << 24);
    if (ok) {
        bytes->resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = bytes->empty() ||
             (ReadFile(h, bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) &&
              got == bytes->size());
    }
    CloseHandle(h);
    return ok;
}

} // namespace

// Creates the folder with whichever of its parents are missing.
bool CreateFolderWithParents(const std::u16string& folder) {
    std::u16string path = folder;
    while (!path.empty() && path.back() == u'\\')
        path.pop_back();
    if (path.empty()) return false;
    if (CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    if (GetLastError() != ERROR_PATH_NOT_FOUND) return false;
    size_t cut = path.rfind(u'\\');
    if (cut == std::u16string::npos || cut == 0 || !CreateFolderWithParents(path.substr(0, cut)))
        return false;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::u16string SpoolFolder(const std::u16string& workingFolder) {
    return workingFolder + u"spool\\";
}
std::u16string IndexPath(const std::u16string& f, DWORD id) {
    return f + Numbered("VLM%05u.SPL", id);
}
std::u16string PageFolder(const std::u16string& f, DWORD id) {
    return f + Numbered("VLM%05u", id);
}
std::u16string PagePath(const std::u16string& f, DWORD id, DWORD page) {
    return PageFolder(f, id) + Numbered("\\EMF%05u.DAT", page);
}
std::u16string FontListPath(const std::u16string& f, DWORD id) {
    return f + Numbered("VLM%05u.FON", id);
}
std::u16string FontFilePath(const std::u16string& f, DWORD id, uint64_t uniqueId) {
    // The id printed as a pointer value: sixteen upper-case hexadecimal digits.
    char buf[40];
    std::snprintf(buf, sizeof buf, "\\F_%016llX.TMP", static_cast<unsigned long long>(uniqueId));
    return PageFolder(f, id) + Ascii(buf);
}

std::vector<uint8_t> DevmodeRecord(const uint8_t (&ansiDevmode)[kAnsiDevmodeSize]) {
    std::vector<uint8_t> b = Head(kRecordDevmode, kDevmodeRecordSize);
    std::memcpy(b.data() + kRecordHeadSize, ansiDevmode, kAnsiDevmodeSize);
    return b;
}

std::vector<uint8_t> NamesRecord(const std::string& printerName, const std::string& documentName) {
    // Names with an inner NUL would end early and misplace the next offset.
    std::string printer = printerName.substr(0, printerName.find('\0'));
    std::string document = documentName.substr(0, documentName.find('\0'));
    size_t docAt = kNamesHeadSize + printer.size() + 1;
    size_t lastAt = docAt + document.size() + 1;
    std::vector<uint8_t> b = Head(kRecordNames, lastAt + 1);
    Put32(b, 8, kNamesHeadSize);
    Put32(b, 12, static_cast<uint32_t>(docAt));
    Put32(b, 16, static_cast<uint32_t>(lastAt));
    std::memcpy(b.data() + kNamesHeadSize, printer.data(), printer.size());
    std::memcpy(b.data() + docAt, document.data(), document.size());
    return b;
}

std::vector<uint8_t> PageRecord(const std::string& pagePath) {
    if (pagePath.empty() || pagePath.size() >= kMaxPagePath ||
        pagePath.find('\0') != std::string::npos)
        return {};
    std::vector<uint8_t> b = Head(kRecordPage, pagePath.size() + kRecordHeadSize + 1);
    std::memcpy(b.data() + kRecordHeadSize, pagePath.data(), pagePath.size());
    return b;
}

std::vector<uint8_t> MarkerRecord(uint32_t type) {
    return Head(type, kRecordHeadSize);
}

PackageWriter::~PackageWriter() {
    Close();
}

void PackageWriter::Close() {
    if (index_) CloseHandle(index_);
    index_ = nullptr;
}

DWORD PackageWriter::Append(const std::vector<uint8_t>& bytes) {
    if (!index_) return ERROR_INVALID_HANDLE;
    DWORD wrote = 0;
    if (!WriteFile(index_, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr))
        return GetLastError();
    return wrote == bytes.size() ? ERROR_SUCCESS : ERROR_DISK_FULL;
}

DWORD PackageWriter::Create(const std::u16string& spoolFolder, DWORD jobId,
                            const uint8_t (&ansiDevmode)[kAnsiDevmodeSize],
                            const std::u16string& printerName, const std::u16string& documentName,
                            const std::u16string& ownerToken) {
    Close();
    folder_ = spoolFolder;
    DWORD id = jobId + kSpoolIdBase;
    bool madeFolder = false;
    for (;;) {
        std::u16string name = IndexPath(folder_, id);
        if (name.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
        HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD e = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (h != INVALID_HANDLE_VALUE) {
            // The page folder is made new with its index: a folder, file or
            // link already standing under its name is somebody else's, and
            // the pages never go through it.
            if (CreateDirectoryW(PageFolder(folder_, id).c_str(), nullptr)) {
                index_ = h;
                // Without its mark the package is only the logon's to sweep.
                if (!ownerToken.empty()) {
                    HANDLE mark =
                        CreateFileW(OwnerMarkPath(folder_, id, ownerToken).c_str(), GENERIC_WRITE,
                                    0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
                    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
                }
                break;
            }
            e = GetLastError();
            CloseHandle(h);
            DeleteFileW(name.c_str());
            if (e != ERROR_ALREADY_EXISTS) return e;
        }
        if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) {
            // Spool ids wrap with the job id; one that comes round again to
            // the first is a folder of nothing but stale packages.
            if (++id == jobId + kSpoolIdBase) return e;
            continue;
        }
        if (e == ERROR_PATH_NOT_FOUND && !madeFolder) {
            madeFolder = true;
            if (!CreateFolderWithParents(folder_)) return GetLastError();
            continue;
        }
        return e;
    }
    spoolId_ = id;
    std::vector<uint8_t> bytes(kIndexHeadSize, 0);
    std::vector<uint8_t> devmode = DevmodeRecord(ansiDevmode);
    std::vector<uint8_t> names = NamesRecord(ToAnsi(printerName), ToAnsi(documentName));
    bytes.insert(bytes.end(), devmode.begin(), devmode.end());
    bytes.insert(bytes.end(), names.begin(), names.end());
    lastDevmode_.assign(ansiDevmode, ansiDevmode + kAnsiDevmodeSize);
    DWORD e = Append(bytes);
    if (e) {
        // A package that could not be started leaves nothing behind.
        Close();
        DeleteFileW(IndexPath(folder_, id).c_str());
        RemoveDirectoryW(PageFolder(folder_, id).c_str());
    }
    return e;
}

DWORD PackageWriter::WriteDevmode(const uint8_t (&ansiDevmode)[kAnsiDevmodeSize]) {
    if (lastDevmode_.size() == kAnsiDevmodeSize &&
        std::memcmp(lastDevmode_.data(), ansiDevmode, kAnsiDevmodeSize) == 0)
        return ERROR_SUCCESS;
    DWORD e = Append(DevmodeRecord(ansiDevmode));
    if (!e) lastDevmode_.assign(ansiDevmode, ansiDevmode + kAnsiDevmodeSize);
    return e;
}

DWORD PackageWriter::AppendPage(DWORD page) {
    std::vector<uint8_t> bytes = PageRecord(ToAnsi(PagePath(folder_, spoolId_, page)));
    if (bytes.empty()) return ERROR_FILENAME_EXCED_RANGE;
    std::vector<uint8_t> end = MarkerRecord(kRecordEndOfPage);
    bytes.insert(bytes.end(), end.begin(), end.end());
    DWORD e = Append(bytes);
    if (e) RemoveJobFolder();
    return e;
}

DWORD PackageWriter::Finish(DWORD pageCount) {
    DWORD e = Append(MarkerRecord(kRecordEndOfJob));
    if (!e) {
        std::vector<uint8_t> count(4);
        Put32(count, 0, pageCount);
        DWORD wrote = 0;
        if (SetFilePointer(index_, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
            !WriteFile(index_, count.data(), 4, &wrote, nullptr))
            e = GetLastError();
        else if (wrote != 4)
            e = ERROR_DISK_FULL;
    }
    Close();
    return e;
}

void PackageWriter::RemoveJobFolder() {
    Close();
    RemoveDirectoryW(PageFolder(folder_, spoolId_).c_str());
}

DWORD DeleteSpoolPackage(const std::u16string& spoolFolder, DWORD spoolId, DWORD pageCount) {
    DWORD first = ERROR_SUCCESS;
    auto remove = [&first](BOOL ok) {
        DWORD e = ok ? ERROR_SUCCESS : GetLastError();
        if (e && e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND && !first) first = e;
    };
    std::vector<uint8_t> list;
    std::u16string listPath = FontListPath(spoolFolder, spoolId);
    if (ReadWhole(listPath, &list)) {
        std::vector<FontEntry> fonts;
        std::string ignored;
        // A damaged list still gives up the whole records before the damage.
        list.resize(list.size() - list.size() % kFontRecordSize);
        ReadFontList(list.data(), list.size(), &fonts, &ignored);
        for (const auto& f : fonts)
            remove(DeleteFileW(FontFilePath(spoolFolder, spoolId, f.uniqueId).c_str()));
    }
    remove(DeleteFileW(listPath.c_str()));
    remove(DeleteFileW(IndexPath(spoolFolder, spoolId).c_str()));
    const std::u16string pageFolder = PageFolder(spoolFolder, spoolId);
    if (!IsOwnFolder(pageFolder)) return first;
    for (DWORD page = 1; page <= pageCount; ++page)
        remove(DeleteFileW(PagePath(spoolFolder, spoolId, page).c_str()));
    // Pages and fonts that neither the count nor the list names (a job cut
    // short, a damaged list) go too: only files under the package's own names.
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((pageFolder + u"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::u16string name = found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                (IsPackageFileName(name) || !OwnerTokenOfMark(name).empty()))
                remove(DeleteFileW((pageFolder + u"\\" + name).c_str()));
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    remove(RemoveDirectoryW(pageFolder.c_str()));
    return first;
}

bool IsPackageFileName(const std::u16string& name) {
    auto digits = [&](size_t from, size_t count) {
        for (size_t i = from; i < from + count; ++i)
            if (i >= name.size() || name[i] < u'0' || name[i] > u'9') return false;
        return true;
    };
    auto upper = [](std::u16string s) {
        for (char16_t& c : s)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        return s;
    };
    const std::u16string n = upper(name);
    if (n.size() == 12 && n.compare(0, 3, u"EMF") == 0 && digits(3, 5) &&
        n.compare(8, 4, u".DAT") == 0)
        return true;
    if (n.size() > 6 && n.compare(0, 2, u"F_") == 0 && n.compare(n.size() - 4, 4, u".TMP") == 0) {
        for (size_t i = 2; i + 4 < n.size(); ++i)
            if (!((n[i] >= u'0' && n[i] <= u'9') || (n[i] >= u'A' && n[i] <= u'F'))) return false;
        return true;
    }
    return false;
}

bool IsBareFileName(const std::u16string& name) {
    // Trailing dots and blanks fall away from a name: "..." and ".. " climb too.
    const size_t meaningful = name.find_first_not_of(u". ");
    return meaningful != std::u16string::npos &&
           name.find_first_of(u"\\/:") == std::u16string::npos;
}

bool IsBareFileName(const std::string& name) {
    return IsBareFileName(std::u16string(name.begin(), name.end()));
}

bool IsOwnFolder(const std::u16string& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(folder.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

namespace {

constexpr size_t kTokenChars = 32;
constexpr char16_t kOwnerObjectPrefix[] = u"Local\\InkforgeSpoolOwner_";
constexpr char16_t kMarkPrefix[] = u"OWNER_";
constexpr char16_t kMarkSuffix[] = u".TMP";

std::u16string NewToken() {
    static const char16_t digits[] = u"0123456789ABCDEF";
    std::random_device random;
    std::u16string token;
    while (token.size() < kTokenChars) {
        unsigned v = random();
        for (int i = 0; i < 8 && token.size() < kTokenChars; ++i, v >>= 4)
            token += digits[v & 15];
    }
    return token;
}

} // namespace

PackageOwner::~PackageOwner() {
    if (object_) CloseHandle(object_);
}

const std::u16string& PackageOwner::Token() {
    // A token some other owner holds already (never in practice) is drawn again.
    for (int tries = 0; !object_ && tries < 4; ++tries) {
        std::u16string token = NewToken();
        HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1,
                                      (kOwnerObjectPrefix + token).c_str());
        if (!h) break;
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(h);
            continue;
        }
        object_ = h;
        token_ = token;
    }
    return token_;
}

bool IsOwnerToken(const std::u16string& token) {
    if (token.size() != kTokenChars) return false;
    for (char16_t c : token)
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))) return false;
    return true;
}

bool OwnerAlive(const std::u16string& token) {
    if (!IsOwnerToken(token)) return true;
    HANDLE h = OpenFileMappingW(FILE_MAP_READ, FALSE, (kOwnerObjectPrefix + token).c_str());
    if (h) {
        CloseHandle(h);
        return true;
    }
    return GetLastError() != ERROR_FILE_NOT_FOUND;
}

std::u16string OwnerMarkPath(const std::u16string& spoolFolder, DWORD spoolId,
                             const std::u16string& token) {
    return PageFolder(spoolFolder, spoolId) + u"\\" + kMarkPrefix + token + kMarkSuffix;
}

std::u16string OwnerTokenOfMark(const std::u16string& name) {
    const std::u16string prefix = kMarkPrefix, suffix = kMarkSuffix;
    if (name.size() != prefix.size() + kTokenChars + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return {};
    std::u16string token = name.substr(prefix.size(), kTokenChars);
    return IsOwnerToken(token) ? token : std::u16string();
}

void ReleasePackage(const std::u16string& spoolFolder, DWORD spoolId, const std::u16string& token) {
    if (IsOwnerToken(token)) DeleteFileW(OwnerMarkPath(spoolFolder, spoolId, token).c_str());
}

DWORD SweepDeadPackages(const std::u16string& spoolFolder) {
    // The page folders "VLM" and the spool id's digits, links never entered.
    std::vector<DWORD> candidates;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((spoolFolder + u"VLM*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::u16string name = found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || name.size() < 8 ||
            name.size() > 13)
            continue;
        unsigned long long id = 0;
        bool digits = true;
        for (size_t i = 3; i < name.size() && digits; ++i) {
            digits = name[i] >= u'0' && name[i] <= u'9';
            id = id * 10 + static_cast<unsigned>(name[i] - u'0');
        }
        // Only the name the package gives its folder: the id in five digits or more.
        if (digits && id <= 0xFFFFFFFFull &&
            PageFolder(spoolFolder, static_cast<DWORD>(id)) == spoolFolder + name)
            candidates.push_back(static_cast<DWORD>(id));
    } while (FindNextFileW(find, &found));
    FindClose(find);

    DWORD removed = 0;
    for (DWORD id : candidates) {
        bool marked = false, alive = false;
        HANDLE marks = FindFirstFileW((PageFolder(spoolFolder, id) + u"\\*").c_str(), &found);
        if (marks == INVALID_HANDLE_VALUE) continue;
        do {
            const std::u16string token = OwnerTokenOfMark(found.cFileName);
            if (token.empty() || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
            marked = true;
            alive = alive || OwnerAlive(token);
        } while (!alive && FindNextFileW(marks, &found));
        FindClose(marks);
        if (marked && !alive) {
            DeleteSpoolPackage(spoolFolder, id, 0);
            ++removed;
        }
    }
    return removed;
}

} // namespace spoolpkg

namespace spoolpkg {
namespace {

std::vector<uint8_t> FontRecord(uint64_t id, const std::u16string& face) {
    std::vector<uint8_t> b(kFontRecordSize, 0);
    Put32(b, 0, static_cast<uint32_t>(id));
    Put32(b, 4, static_cast<uint32_t>(id >> 32));
    for (size_t i = 0; i < face.size() && i < kFaceNameChars - 1; ++i) {
        b[8 + 2 * i] = static_cast<uint8_t>(face[i]);
        b[9 + 2 * i] = static_cast<uint8_t>(face[i] >> 8);
    }
    return b;
}

bool NameTaken(const std::vector<FontEntry>& list, const std::u16string& face) {
    for (const auto& e : list)
        if (e.faceName == face) return true;
    return false;
}

// A name of the same length: the list's record count in two decimal digits,
// then random lower-case letters, until no record carries it.
// A free name of the face's length, or empty when the tries run out (a short
// face has few names: three characters give 26 per list size).
std::u16string UniqueName(const std::u16string& face, const std::vector<FontEntry>& list,
                          DWORD seed) {
    constexpr int kTries = 4096;
    std::u16string name = face;
    DWORD state = seed ? seed : 1;
    for (int tries = 0; tries < kTries; ++tries) {
        name[0] = static_cast<char16_t>(u'0' + list.size() / 10 % 10);
        name[1] = static_cast<char16_t>(u'0' + list.size() % 10);
        for (size_t i = 2; i < name.size(); ++i) {
            state = state * 1103515245u + 12345u;
            name[i] = static_cast<char16_t>(u'a' + (state >> 16) % 26);
        }
        if (!NameTaken(list, name)) return name;
    }
    return {};
}

DWORD WriteNewFile(const std::u16string& path, std::span<const uint8_t> bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD wrote = 0, e = ERROR_SUCCESS;
    if (!WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr))
        e = GetLastError();
    else if (wrote != bytes.size())
        e = ERROR_DISK_FULL;
    CloseHandle(h);
    // Half a font is no font: it goes again.
    if (e) DeleteFileW(path.c_str());
    return e;
}

// Appends one record to a file of fixed-size records. It goes after the
// last whole record, and a failed write is cut off again, so that a partial
// record never shifts the records after it.
DWORD AppendRecord(const std::u16string& path, const std::vector<uint8_t>& record) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD wrote = 0, e = ERROR_SUCCESS;
    LARGE_INTEGER size{};
    LONG end = 0;
    if (!GetFileSizeEx(h, &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF) {
        e = GetLastError() ? GetLastError() : ERROR_INVALID_DATA;
    } else {
        end = static_cast<LONG>(size.QuadPart - size.QuadPart % record.size());
        if (SetFilePointer(h, end, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
            !SetEndOfFile(h) ||
            !WriteFile(h, record.data(), static_cast<DWORD>(record.size()), &wrote, nullptr))
            e = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        else if (wrote != record.size())
            e = ERROR_DISK_FULL;
        if (e && SetFilePointer(h, end, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER)
            SetEndOfFile(h);
    }
    CloseHandle(h);
    return e;
}

} // namespace

std::vector<FontEntry> ReadJobFonts(const std::u16string& spoolFolder, DWORD spoolId) {
    std::vector<uint8_t> bytes;
    std::vector<FontEntry> fonts;
    if (!ReadWhole(FontListPath(spoolFolder, spoolId), &bytes)) return fonts;
    // A list cut by a failed append still gives its whole records.
    bytes.resize(bytes.size() - bytes.size() % kFontRecordSize);
    std::string ignored;
    ReadFontList(bytes.data(), bytes.size(), &fonts, &ignored);
    return fonts;
}

bool AddJobFont(const std::u16string& spoolFolder, DWORD spoolId, JobFont font,
                std::u16string* faceName, RenameFont rename) {
    if (!font.uniqueId || font.file.empty() || !faceName) return false;
    std::vector<FontEntry> list = ReadJobFonts(spoolFolder, spoolId);
    for (const auto& e : list) {
        if (e.uniqueId == font.uniqueId) {
            *faceName = e.faceName;
            return true;
        }
    }
    std::u16string face = faceName->substr(0, kFaceNameChars - 1);
    std::u16string recorded = face;
    std::vector<uint8_t> renamedFile;
    if (face.size() > 2 && (font.alwaysUnique || NameTaken(list, face))) {
        std::u16string renamed = UniqueName(face, list, font.seed);
        // A font whose name table cannot be rewritten (or that finds no free
        // name) keeps its name: the player would install it under the old
        // one anyway.
        if (!renamed.empty() && rename) {
            renamedFile.assign(font.file.begin(), font.file.end());
            if (rename(&renamedFile, face, renamed)) {
                recorded = renamed;
                font.file = renamedFile;
            }
        }
    }
    if (!CreateFolderWithParents(PageFolder(spoolFolder, spoolId))) return false;
    std::u16string path = FontFilePath(spoolFolder, spoolId, font.uniqueId);
    if (WriteNewFile(path, font.file)) return false;
    if (AppendRecord(FontListPath(spoolFolder, spoolId), FontRecord(font.uniqueId, recorded))) {
        DeleteFileW(path.c_str());
        return false;
    }
    *faceName = recorded;
    return true;
}

} // namespace spoolpkg

// The localisation cache: checking, building and answering from it.
#include "localize.h"

#include <cstring>
#include <string_view>

#include "platform/ini_document.h"
#include "settings_file.h"
#include "win/base.h"

namespace sheetwright {
namespace {

// Ids a library's dialogs and strings may have.
constexpr DWORD kFirstResourceId = 1;
constexpr DWORD kLastResourceId = 32767;
// A cache, text or geometry file larger than this is not one of ours.
constexpr DWORD kMaxLocalizeFile = 32u << 20;
constexpr size_t kMaxControlText = 260;

// The file's last-write time; *opened when it opens, *tooLarge (when asked)
// when it is larger than any file of ours.
FILETIME LastWriteTime(const std::u16string& path, bool* opened, bool* tooLarge = nullptr) {
    FILETIME t{};
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    *opened = h != INVALID_HANDLE_VALUE;
    if (tooLarge) *tooLarge = false;
    if (*opened) {
        GetFileTime(h, nullptr, nullptr, &t);
        LARGE_INTEGER size{};
        if (tooLarge)
            *tooLarge = !GetFileSizeEx(h, &size) || size.QuadPart < 0 ||
                        static_cast<ULONGLONG>(size.QuadPart) > kMaxLocalizeFile;
        CloseHandle(h);
    }
    return t;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// A file opened for reading by ranges. Look-ups read the cache's header, one
// index and one entry's data this way, never the whole file, and take no
// settings lock: a writer replaces the cache by a rename, so an open file
// stays the complete old one.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::u16string& path) {
        if (path.empty()) return;
        handle_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size{};
        if (handle_ != INVALID_HANDLE_VALUE && GetFileSizeEx(handle_, &size) && size.QuadPart >= 0)
            size_ = static_cast<ULONGLONG>(size.QuadPart);
    }
    ~ReadOnlyFile() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Open, and not larger than any file of ours.
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE && size_ <= kMaxLocalizeFile; }
    ULONGLONG size() const { return size_; }
    // Exactly `count` bytes at `offset`, all within the file.
    bool Read(ULONGLONG offset, ULONGLONG count, void* out) const {
        if (!ok() || offset > size_ || count > size_ - offset) return false;
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN)) return false;
        BYTE* p = static_cast<BYTE*>(out);
        while (count) {
            DWORD got = 0;
            if (!ReadFile(handle_, p, static_cast<DWORD>(count), &got, nullptr) || !got)
                return false;
            p += got;
            count -= got;
        }
        return true;
    }
    bool ReadAll(std::vector<BYTE>* out) const {
        if (!ok()) return false;
        out->resize(static_cast<size_t>(size_));
        return Read(0, size_, out->data());
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    ULONGLONG size_ = 0;
};

// The ANSI code page of a language (LanguageID, or with its sub-language);
// 0 when the platform does not know it.
UINT CodePageOfLanguage(DWORD languageId) {
    const DWORD primary = languageId & 0x3FF;
    const DWORD withDefault = static_cast<DWORD>(MAKELANGID(primary, SUBLANG_DEFAULT));
    for (DWORD lang : {languageId, withDefault}) {
        DWORD codePage = 0;
        if (lang &&
            GetLocaleInfoW(MAKELCID(lang, SORT_DEFAULT),
                           LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                           reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(WCHAR)) &&
            codePage)
            return codePage;
    }
    return 0;
}

// A text or geometry file as INI text. A file without a mark is read in the
// ANSI code page of its language: the profile functions would read it in the
// system's, which garbles another language's text (Shift-JIS under 1252).
platform::ini::IniDocument ReadLocalizeFile(const std::u16string& path, UINT codePage) {
    std::vector<BYTE> bytes;
    if (!ReadOnlyFile(path).ReadAll(&bytes)) bytes.clear();
    std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const bool marked = raw.starts_with("\xFF\xFE") || raw.starts_with("\xEF\xBB\xBF");
    if (marked || raw.empty()) return platform::ini::IniDocument::Parse(raw);
    const int n =
        MultiByteToWideChar(codePage, 0, raw.data(), static_cast<int>(raw.size()), nullptr, 0);
    std::u16string wide(n > 0 ? static_cast<size_t>(n) : 0, u'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, raw.data(), static_cast<int>(raw.size()), wide.data(), n);
    // Handed to the one INI reader as marked UTF-16.
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : wide) {
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
    }
    return platform::ini::IniDocument::Parse(utf16);
}

} // namespace

LocalizePaths LocalizePathsOf(const std::u16string& modulePath) {
    LocalizePaths p;
    size_t slash = modulePath.rfind(u'\\');
    std::u16string folder =
        slash == std::u16string::npos ? std::u16string() : modulePath.substr(0, slash + 1);
    std::u16string file = slash == std::u16string::npos ? modulePath : modulePath.substr(slash + 1);
    size_t dot = file.rfind(u'.');
    std::u16string base = dot == std::u16string::npos ? file : file.substr(0, dot);
    if (base.empty()) return p;
    p.rcb = folder + base + u".RCB";
    p.rct = folder + base.substr(0, std::min<size_t>(base.size(), 6)) + u".RCT";
    p.rcp = p.rct;
    p.rcp.back() = u'P';
    return p;
}

CLocalize::CLocalize(std::unique_ptr<ResourceSource> source) : source_(std::move(source)) {
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExW(&v);
    threadCodePage_ = v.dwMajorVersion > 4;
    if (source_) paths_ = LocalizePathsOf(source_->ModulePath());
}

CLocalize::~CLocalize() = default;

BOOL CLocalize::ReadCacheEntry(bool isString, DWORD id, std::vector<BYTE>* data) const {
    data->clear();
    ReadOnlyFile file(paths_.rcb);
    RcbHeader h;
    if (!file.Read(0, sizeof h, &h) || !CheckRcbHeader(h, file.size())) return FALSE;
    const DWORD count = isString ? h.stringCount : h.dialogCount;
    std::vector<RcbEntry> index(count);
    if (!count || !file.Read(isString ? h.stringIndexOffset : h.dialogIndexOffset,
                             ULONGLONG{kRcbEntrySize} * count, index.data()))
        return FALSE;
    const ULONGLONG areaStart = isString ? h.stringDataOffset : h.dialogDataOffset;
    const ULONGLONG areaEnd = isString ? file.size() : h.stringDataOffset;
    for (const RcbEntry& e : index) {
        if (e.id != id) continue;
        if (!e.size || !CheckRcbEntry(e, isString, areaStart, areaEnd)) return FALSE;
        data->resize(e.size);
        return file.Read(areaStart + e.offset, e.size, data->data());
    }
    return FALSE;
}

BOOL CLocalize::IsCacheCurrent() {
    if (!source_) return TRUE;
    bool rctOpen = false, rcpOpen = false, moduleOpen = false, rctHuge = false, rcpHuge = false;
    const FILETIME rctTime = LastWriteTime(paths_.rct, &rctOpen, &rctHuge);
    const FILETIME rcpTime = LastWriteTime(paths_.rcp, &rcpOpen, &rcpHuge);
    const FILETIME moduleTime = LastWriteTime(source_->ModulePath(), &moduleOpen);
    // Nothing to build from (a text or geometry file larger than any is
    // damaged): whatever is there stays.
    if (!rctOpen || !rcpOpen || !moduleOpen || rctHuge || rcpHuge) return TRUE;
    std::vector<BYTE> bytes;
    RcbImage image;
    // A cache that is missing, half written or inconsistent is rebuilt, and
    // so is one with a template that does not read as one.
    if (!ReadOnlyFile(paths_.rcb).ReadAll(&bytes) || !ParseRcb(bytes.data(), bytes.size(), &image))
        return FALSE;
    const RcbHeader& h = image.header;
    const DWORD version = GetPrivateProfileIntW(u"Main", u"Version", 0, paths_.rct.c_str());
    DWORD ms = 0, ls = 0;
    source_->ProductVersion(&ms, &ls);
    if (h.textVersion != version || h.productVersionMS != ms || h.productVersionLS != ls)
        return FALSE;
    return SameTime(h.moduleTime, moduleTime) && SameTime(h.textTime, rctTime) &&
           SameTime(h.geometryTime, rcpTime) && RcbTemplatesReadable(image);
}

namespace {

// A section as key -> value; for a dialog's geometry each value is completed
// with "," and the text of the same key in the text file's section.
SectionMap ReadSection(const platform::ini::IniDocument& file, const std::u16string& section,
                       const platform::ini::IniDocument* texts) {
    std::u16string block;
    for (const std::u16string& line : file.SectionLines(section)) {
        block += line;
        block += u'\0';
    }
    SectionMap map = ParseSectionLines(block);
    for (auto& [key, value] : map) {
        if (texts) {
            std::u16string text =
                platform::ini::StripQuotes(texts->Value(section, key).value_or(u""));
            if (text.size() > kMaxControlText) text.resize(kMaxControlText);
            value += u',';
            value += text;
        }
        value = UnquoteValue(value);
    }
    return map;
}

} // namespace

BOOL CLocalize::BuildCache() {
    if (!source_ || paths_.rcb.empty()) return FALSE;
    // A text or geometry file larger than any is damaged: it is not read,
    // and the cache is not rebuilt without its texts.
    bool opened = false, huge = false;
    for (const std::u16string* path : {&paths_.rct, &paths_.rcp}) {
        LastWriteTime(*path, &opened, &huge);
        if (huge) {
            SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        }
    }
    RcbHeader h{};
    h.textVersion = GetPrivateProfileIntW(u"Main", u"Version", 0, paths_.rct.c_str());
    languageId_ =
        ComposeLanguageId(GetPrivateProfileIntW(u"Main", u"LanguageID", 0, paths_.rct.c_str()),
                          GetPrivateProfileIntW(u"Main", u"SubLanguageID", 0, paths_.rct.c_str()));
    h.languageId = languageId_;
    source_->ProductVersion(&h.productVersionMS, &h.productVersionLS);
    h.moduleTime = LastWriteTime(source_->ModulePath(), &opened);
    h.textTime = LastWriteTime(paths_.rct, &opened);
    h.geometryTime = LastWriteTime(paths_.rcp, &opened);

    std::vector<RcbDialogData> dialogs;
    std::vector<RcbStringData> strings;
    try {
        UINT codePage = CodePageOfLanguage(languageId_);
        if (!codePage) codePage = threadCodePage_ ? CP_THREAD_ACP : CP_ACP;
        const platform::ini::IniDocument text = ReadLocalizeFile(paths_.rct, codePage);
        const platform::ini::IniDocument geometry = ReadLocalizeFile(paths_.rcp, codePage);
        for (DWORD id = kFirstResourceId; id <= kLastResourceId; ++id) {
            const BYTE* tmpl = nullptr;
            DWORD size = 0;
            if (!source_->Dialog(id, &tmpl, &size)) continue;
            RcbDialogData d{id, {}};
            const std::string name = "Dlg" + std::to_string(id);
            SectionMap values =
                ReadSection(geometry, std::u16string(name.begin(), name.end()), &text);
            bool fits = true;
            // A template that cannot be read or does not fit stays the module's own.
            if (!ConvertDialogTemplate(tmpl, size, values, kRcbStagingSize, &d.bytes, &fits) ||
                !fits)
                d.bytes.clear();
            dialogs.push_back(std::move(d));
        }
        SectionMap texts = ReadSection(text, u"String", nullptr);
        for (DWORD id = kFirstResourceId; id <= kLastResourceId; ++id) {
            if (source_->String(id).empty()) continue;
            std::string key = std::to_string(id);
            auto it = texts.find(std::u16string(key.begin(), key.end()));
            strings.push_back(
                {id, it != texts.end(), it != texts.end() ? it->second : std::u16string()});
        }
        std::vector<BYTE> image = BuildRcb(h, dialogs, strings);
        return WriteWholeFile(paths_.rcb.c_str(), image.data(), static_cast<DWORD>(image.size()));
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

const BYTE* CLocalize::LoadDialogTemplate(DWORD id, DWORD* size) {
    std::vector<BYTE> bytes;
    DialogInfo checked;
    // A cached template is used only when it reads as a template; a damaged
    // one leaves the module's own (and the next check rebuilds the cache).
    if (ReadCacheEntry(false, id, &bytes) &&
        ReadDialogTemplate(bytes.data(), bytes.size(), &checked)) {
        lastTemplate_ = std::move(bytes);
        if (size) *size = static_cast<DWORD>(lastTemplate_.size());
        return lastTemplate_.data();
    }
    const BYTE* data = nullptr;
    DWORD length = 0;
    if (source_ && source_->Dialog(id, &data, &length)) {
        if (size) *size = length;
        return data;
    }
    if (size) *size = 0;
    return nullptr;
}

int CLocalize::LoadString(DWORD id, std::u16string* out) {
    out->clear();
    std::vector<BYTE> bytes;
    if (ReadCacheEntry(true, id, &bytes))
        *out = RcbStringText(bytes.data(), static_cast<DWORD>(bytes.size()));
    if (out->empty() && source_) *out = source_->String(id);
    return static_cast<int>(out->size());
}

int CLocalize::CopyString(DWORD id, LPWSTR buffer, int size) {
    std::u16string s;
    if (LoadString(id, &s) && buffer && size > 0) lstrcpynW(buffer, s.c_str(), size);
    return 0;
}

} // namespace sheetwright

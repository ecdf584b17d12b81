// The localisation cache: checking, building and answering from it.
#include "localize.h"

#include <cstring>
#include <set>

#include "driver_env.h"
#include "settings_file.h"
#include "win/base.h"

namespace sheetwright {
namespace {

// Ids a library's dialogs and strings may have.
constexpr DWORD kFirstResourceId = 1;
constexpr DWORD kLastResourceId = 32767;
// A cache, text or geometry file larger than this is not one of ours.
constexpr DWORD kMaxLocalizeFile = 32u << 20;
constexpr DWORD kSectionGrowth = 4096;
constexpr size_t kMaxControlText = 260;

FILETIME LastWriteTime(const std::u16string& path, bool* opened) {
    FILETIME t{};
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    *opened = h != INVALID_HANDLE_VALUE;
    if (*opened) {
        GetFileTime(h, nullptr, nullptr, &t);
        CloseHandle(h);
    }
    return t;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

std::string AnsiOf(const std::u16string& s) {
    return WideToAnsiString(s);
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

BOOL CLocalize::ReadCache(std::vector<BYTE>* bytes, RcbImage* image) const {
    if (paths_.rcb.empty()) return FALSE;
    return ReadWholeFile(paths_.rcb.c_str(), kMaxLocalizeFile, bytes) &&
           ParseRcb(bytes->data(), bytes->size(), image);
}

BOOL CLocalize::IsCacheCurrent() {
    if (!source_) return TRUE;
    bool rctOpen = false, rcpOpen = false, moduleOpen = false;
    const FILETIME rctTime = LastWriteTime(paths_.rct, &rctOpen);
    const FILETIME rcpTime = LastWriteTime(paths_.rcp, &rcpOpen);
    const FILETIME moduleTime = LastWriteTime(source_->ModulePath(), &moduleOpen);
    // Nothing to build from: whatever is there stays.
    if (!rctOpen || !rcpOpen || !moduleOpen) return TRUE;
    std::vector<BYTE> bytes;
    RcbImage image;
    // A cache that is missing, half written or inconsistent is rebuilt.
    if (!ReadCache(&bytes, &image)) return FALSE;
    const RcbHeader& h = image.header;
    const DWORD version = GetPrivateProfileIntW(u"Main", u"Version", 0, paths_.rct.c_str());
    DWORD ms = 0, ls = 0;
    source_->ProductVersion(&ms, &ls);
    if (h.textVersion != version || h.productVersionMS != ms || h.productVersionLS != ls)
        return FALSE;
    return SameTime(h.moduleTime, moduleTime) && SameTime(h.textTime, rctTime) &&
           SameTime(h.geometryTime, rcpTime);
}

SectionMap CLocalize::ReadSection(const std::u16string& file, const std::string& section,
                                  const std::u16string* texts) {
    const std::string path = AnsiOf(file);
    std::vector<char> buf(kSectionGrowth);
    for (;;) {
        DWORD n = GetPrivateProfileSectionA(section.c_str(), buf.data(),
                                            static_cast<DWORD>(buf.size()), path.c_str());
        if (n + 5 <= buf.size() || buf.size() >= kMaxLocalizeFile) {
            buf.resize(std::min<size_t>(n, buf.size()));
            break;
        }
        buf.resize(buf.size() + kSectionGrowth);
    }
    const UINT codePage = threadCodePage_ ? CP_THREAD_ACP : CP_ACP;
    std::u16string block;
    if (!buf.empty()) {
        int w =
            MultiByteToWideChar(codePage, 0, buf.data(), static_cast<int>(buf.size()), nullptr, 0);
        block.resize(w > 0 ? w : 0);
        if (w > 0)
            MultiByteToWideChar(codePage, 0, buf.data(), static_cast<int>(buf.size()), block.data(),
                                w);
    }
    SectionMap map = ParseSectionLines(block);
    const std::string textPath = texts ? AnsiOf(*texts) : std::string();
    for (auto& [key, value] : map) {
        if (texts) {
            // The geometry is completed with the text of the same control.
            char text[kMaxControlText + 1] = {};
            std::string ansiKey = AnsiOf(key);
            GetPrivateProfileStringA(section.c_str(), ansiKey.c_str(), "", text, sizeof text,
                                     textPath.c_str());
            int w = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
            std::u16string wide(w > 1 ? w - 1 : 0, u'\0');
            if (w > 1) MultiByteToWideChar(codePage, 0, text, -1, wide.data(), w);
            value += u',';
            value += wide;
        }
        value = UnquoteValue(value);
    }
    return map;
}

BOOL CLocalize::BuildCache() {
    if (!source_ || paths_.rcb.empty()) return FALSE;
    RcbHeader h{};
    h.textVersion = GetPrivateProfileIntW(u"Main", u"Version", 0, paths_.rct.c_str());
    languageId_ =
        ComposeLanguageId(GetPrivateProfileIntW(u"Main", u"LanguageID", 0, paths_.rct.c_str()),
                          GetPrivateProfileIntW(u"Main", u"SubLanguageID", 0, paths_.rct.c_str()));
    h.languageId = languageId_;
    source_->ProductVersion(&h.productVersionMS, &h.productVersionLS);
    bool opened = false;
    h.moduleTime = LastWriteTime(source_->ModulePath(), &opened);
    h.textTime = LastWriteTime(paths_.rct, &opened);
    h.geometryTime = LastWriteTime(paths_.rcp, &opened);

    std::vector<RcbDialogData> dialogs;
    std::vector<RcbStringData> strings;
    try {
        for (DWORD id = kFirstResourceId; id <= kLastResourceId; ++id) {
            const BYTE* tmpl = nullptr;
            DWORD size = 0;
            if (!source_->Dialog(id, &tmpl, &size)) continue;
            RcbDialogData d{id, {}};
            std::string section = "Dlg" + std::to_string(id);
            SectionMap values = ReadSection(paths_.rcp, section, &paths_.rct);
            bool fits = true;
            // A template that cannot be read or does not fit stays the module's own.
            if (!ConvertDialogTemplate(tmpl, size, values, kRcbStagingSize, &d.bytes, &fits) ||
                !fits)
                d.bytes.clear();
            dialogs.push_back(std::move(d));
        }
        SectionMap texts = ReadSection(paths_.rct, "String", nullptr);
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
    RcbImage image;
    const BYTE* data = nullptr;
    DWORD length = 0;
    if (ReadCache(&bytes, &image) && RcbDialog(image, id, &data, &length)) {
        lastTemplate_.assign(data, data + length);
        if (size) *size = length;
        return lastTemplate_.data();
    }
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
    RcbImage image;
    if (ReadCache(&bytes, &image)) RcbString(image, id, out);
    if (out->empty() && source_) *out = source_->String(id);
    return static_cast<int>(out->size());
}

int CLocalize::CopyString(DWORD id, LPWSTR buffer, int size) {
    std::u16string s;
    if (LoadString(id, &s) && buffer && size > 0) lstrcpynW(buffer, s.c_str(), size);
    return 0;
}

} // namespace sheetwright

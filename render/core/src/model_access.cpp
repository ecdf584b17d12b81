// Model data file, component table, library bindings and model queries.
#include "model_access.h"

#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "model/model_file_header.h"
#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "ui/sheetwright.h"
#include "pdev.h"
#include "system_access.h"
#include "text_convert.h"
#include "win/base.h"
#include "win/spool.h"
#include "little_endian.h"

namespace inkforge {
namespace {

constexpr DWORD kComponentModelsmith = 20;
constexpr DWORD kComponentSheetwright = 22;
constexpr DWORD kComponentResbundle = 23;
constexpr size_t kComponentEntrySize = 24;
constexpr size_t kComponentNameSize = 16;

using little_endian::ReadU32;

std::u16string Wide(LPCWSTR s) {
    return s ? std::u16string(s) : std::u16string();
}

DWORD SelectorComponent(int selector) {
    switch (selector) {
    case kSelectModelsmith:
        return kComponentModelsmith;
    case kSelectSheetwright:
        return kComponentSheetwright;
    case 2:
    case 3:
        return kComponentResbundle;
    default:
        return 0;
    }
}

// Replaces the first "%s" of a name template with the platform code; the
// template is never used as a format.
std::string FillPlatformCode(std::string name, const char* code) {
    size_t at = name.find("%s");
    if (at != std::string::npos) name.replace(at, 2, code);
    return name;
}

HMODULE LoadFromFolder(const std::u16string& folder, const std::u16string& name) {
    if (folder.empty() || name.empty()) return nullptr;
    std::u16string path = folder + name;
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) NoteCallFailure();
    return module;
}

// A model query's own answer: an error that is no absence is noted as the
// platform call's would be.
DWORD NoteQueryResult(DWORD result) {
    if (IsPassingFailure(result)) {
        SetLastError(result);
        NoteCallFailure();
    }
    return result;
}

} // namespace

LPVOID LoadModelData(HANDLE printer) {
    std::vector<BYTE> info = DriverInfo2(printer);
    if (info.empty()) return nullptr;
    std::u16string path = Wide(reinterpret_cast<const DRIVER_INFO_2W*>(info.data())->pDataFile);
    if (path.empty()) return nullptr;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        NoteCallFailure();
        return nullptr;
    }
    LPVOID block = nullptr;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE) NoteCallFailure();
    // A file whose size alone refuses it is not mapped.
    if (size != INVALID_FILE_SIZE && high == 0 && size >= model::kModelDataHeaderBytes &&
        size <= model::kMaxModelDataBytes) {
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping) {
            const auto* view =
                static_cast<const BYTE*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
            if (view) {
                if (model::IsModelDataHeader(view, size)) {
                    block = GlobalAlloc(GMEM_FIXED, size);
                    if (block)
                        std::memcpy(block, view, size);
                    else
                        NoteCallFailure();
                }
                UnmapViewOfFile(view);
            } else {
                NoteCallFailure();
            }
            CloseHandle(mapping);
        } else {
            NoteCallFailure();
        }
    }
    CloseHandle(file);
    return block;
}

std::u16string ComponentFileName(LPCVOID modelData, DWORD componentId) {
    if (!modelData) return {};
    const auto* data = static_cast<const BYTE*>(modelData);
    // The block holds the whole file; its size is the header's checked total.
    DWORD total = ReadU32(data + 4);
    DWORD tableEnd = ReadU32(data + 8);
    DWORD tableStart = ReadU32(data + 12);
    ULONGLONG slot = static_cast<ULONGLONG>(tableStart) + 24;
    if (slot + 4 > tableEnd || slot + 4 > total) return {};
    DWORD record = ReadU32(data + slot);
    if (record == 0 || static_cast<ULONGLONG>(record) + 4 > total) return {};
    DWORD count = ReadU32(data + record);
    ULONGLONG room = (total - record - 4) / kComponentEntrySize;
    if (count > room) count = static_cast<DWORD>(room);
    for (DWORD i = 0; i < count; ++i) {
        const BYTE* e = data + record + 4 + static_cast<size_t>(i) * kComponentEntrySize;
        if (ReadU32(e) != componentId) continue;
        DWORD kind = ReadU32(e + 4);
        const char* tmpl = reinterpret_cast<const char*>(e + 8);
        std::string name(tmpl, strnlen(tmpl, kComponentNameSize));
        if (kind == 6)
            name = FillPlatformCode(name, kPlatformCode64);
        else if (kind == 7)
            name = FillPlatformCode(name, kPlatformCode32);
        return FromAnsi(name);
    }
    return {};
}

BOOL GetDriverDirectory(HANDLE printer, std::u16string* folder) {
    folder->clear();
    std::vector<BYTE> info = DriverInfo2(printer);
    if (info.empty()) return FALSE;
    std::u16string path = Wide(reinterpret_cast<const DRIVER_INFO_2W*>(info.data())->pDriverPath);
    size_t slash = path.rfind(u'\\');
    if (slash == std::u16string::npos) return FALSE;
    *folder = path.substr(0, slash + 1);
    return TRUE;
}

HMODULE LoadComponentDll(HANDLE printer, LPCVOID modelData, int selector) {
    DWORD id = SelectorComponent(selector);
    if (!id || !modelData) return nullptr;
    std::u16string folder;
    if (!GetDriverDirectory(printer, &folder)) return nullptr;
    return LoadFromFolder(folder, ComponentFileName(modelData, id));
}

namespace {

// One model query asked of the libraries of the driver folder: the answer in
// a zeroed GlobalAlloc block (or null), and whether it is as the library gave
// it (an answer or a plain absence, no passing failure) and from which
// library, so that a physical device can keep it.
struct Asked {
    HGLOBAL block = nullptr;
    DWORD size = 0, count = 0;
    bool clean = false;
    HMODULE answeredBy = nullptr;
};

Asked AskModel(LPCVOID modelData, HANDLE printer, const std::u16string& folder, int query,
               int entry, int layout) {
    Asked a;
    // The UI library answers for the model library; where the UI library is
    // not installed the model library is asked directly, which is all the UI
    // library would do.
    HMODULE sheetwright =
        LoadFromFolder(folder, ComponentFileName(modelData, kComponentSheetwright));
    HMODULE modelsmith = nullptr;
    auto ui =
        sheetwright ? Export<PFN_uiGetMyPrinterInfo>(sheetwright, "uiGetMyPrinterInfo") : nullptr;
    PFN_mdGetMyPrinterInfo md = nullptr;
    if (!ui) {
        modelsmith = LoadFromFolder(folder, ComponentFileName(modelData, kComponentModelsmith));
        md =
            modelsmith ? Export<PFN_mdGetMyPrinterInfo>(modelsmith, "mdGetMyPrinterInfo") : nullptr;
    }
    a.answeredBy = ui ? sheetwright : md ? modelsmith : nullptr;
    auto ask = [&](LPVOID out, DWORD* length, DWORD* n) -> DWORD {
        if (ui)
            return NoteQueryResult(ui(printer, modelData, static_cast<WORD>(query),
                                      static_cast<WORD>(entry), static_cast<DWORD>(layout), out,
                                      length, n));
        if (md) return NoteQueryResult(md(modelData, query, entry, layout, out, length, n));
        return ERROR_PROC_NOT_FOUND;
    };
    DWORD needed = 0, n = 0;
    DWORD first = ask(nullptr, &needed, &n);
    if (first == 0 && needed > 0) {
        a.block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, needed);
        if (!a.block) NoteCallFailure();
        if (a.block) {
            DWORD length = needed;
            n = 0;
            if (ask(a.block, &length, &n) == 0) {
                a.size = needed;
                a.count = n;
                a.clean = true;
            } else {
                GlobalFree(a.block);
                a.block = nullptr;
            }
        }
    } else {
        // A library that could not reach the model answers ERROR_PROC_NOT_FOUND,
        // which may pass: only the model's own absences are plain.
        a.clean = a.answeredBy && first != ERROR_PROC_NOT_FOUND && !IsPassingFailure(first);
    }
    if (modelsmith) FreeLibrary(modelsmith);
    if (sheetwright) FreeLibrary(sheetwright);
    return a;
}

} // namespace

HGLOBAL GetModelInfo(LPCVOID modelData, HANDLE printer, int query, int entry, int layout,
                     DWORD* size, DWORD* count) {
    *size = 0;
    if (count) *count = 0;
    if (!printer) return nullptr;
    LPVOID own = nullptr;
    if (!modelData) {
        own = LoadModelData(printer);
        if (!own) return nullptr;
        modelData = own;
    }
    HGLOBAL block = nullptr;
    std::u16string folder;
    if (GetDriverDirectory(printer, &folder)) {
        Asked a = AskModel(modelData, printer, folder, query, entry, layout);
        block = a.block;
        *size = a.size;
        if (count) *count = a.count;
    }
    if (own) GlobalFree(own);
    return block;
}

HGLOBAL EnumModelInfo(HANDLE printer, HMODULE sheetwright, LPCVOID modelData, int code, DWORD* size,
                      DWORD* count) {
    *size = 0;
    *count = 0;
    if (!sheetwright || !modelData) return nullptr;
    auto enumInfo = Export<PFN_uiEnumMyPrinterInfo>(sheetwright, "uiEnumMyPrinterInfo");
    if (!enumInfo) return nullptr;
    DWORD needed = 0, n = 0;
    if (NoteQueryResult(
            enumInfo(printer, modelData, static_cast<SHORT>(code), nullptr, &needed, &n)) != 0 ||
        needed == 0)
        return nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, needed);
    if (!block) {
        NoteCallFailure();
        return nullptr;
    }
    DWORD length = needed;
    n = 0;
    if (NoteQueryResult(
            enumInfo(printer, modelData, static_cast<SHORT>(code), block, &length, &n)) != 0) {
        GlobalFree(block);
        return nullptr;
    }
    *size = needed;
    *count = n;
    return block;
}

void BindLibraries(HANDLE printer, HMODULE* sheetwright, HMODULE* modelsmith, LPVOID* modelData) {
    *modelData = LoadModelData(printer);
    *sheetwright = LoadComponentDll(printer, *modelData, kSelectSheetwright);
    *modelsmith = LoadComponentDll(printer, *modelData, kSelectModelsmith);
}

// ---------------------------------------------------------------------------

// What a physical device keeps of its model answers. Its model data is its
// own copy for its life, and the libraries that answer stay loaded with it
// (a load by the same path is that module), so an answer those libraries gave
// holds while the driver record it was asked under stays the same: the record
// is read again at every answer (the spooler answers it from what it read
// while no printer or driver changed), and any change of it drops them all.
struct AnswerMemo {
    struct Kept {
        std::shared_ptr<const std::vector<BYTE>> bytes; // null: the model has no such entry
        DWORD count = 0;
    };
    std::vector<BYTE> record; // DRIVER_INFO_2W as read last (its room is reused)
    std::vector<BYTE> asked;  // the version and strings the answers were asked under
    std::u16string folder;
    std::map<std::tuple<int, int, int>, Kept> answers;

    // Reads the driver record; false when it cannot be read. A record other
    // than the one the answers were asked under drops them.
    bool Current(HANDLE printer) {
        DWORD needed = 0;
        if (record.empty()) record.resize(sizeof(DRIVER_INFO_2W) + 1024);
        if (!GetPrinterDriverW(printer, nullptr, 2, record.data(),
                               static_cast<DWORD>(record.size()), &needed)) {
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= record.size())
                return false;
            record.resize(needed);
            if (!GetPrinterDriverW(printer, nullptr, 2, record.data(),
                                   static_cast<DWORD>(record.size()), &needed))
                return false;
        }
        if (needed < sizeof(DRIVER_INFO_2W) || needed > record.size()) return false;
        // The strings follow the record in the block; the pointers differ
        // from block to block, what they point at is what counts.
        const auto* info = reinterpret_cast<const DRIVER_INFO_2W*>(record.data());
        size_t strings = needed - sizeof(DRIVER_INFO_2W);
        if (asked.size() == sizeof info->cVersion + strings &&
            std::memcmp(asked.data(), &info->cVersion, sizeof info->cVersion) == 0 &&
            std::memcmp(asked.data() + sizeof info->cVersion,
                        record.data() + sizeof(DRIVER_INFO_2W), strings) == 0)
            return true;
        answers.clear();
        folder.clear();
        asked.resize(sizeof info->cVersion + strings);
        std::memcpy(asked.data(), &info->cVersion, sizeof info->cVersion);
        std::memcpy(asked.data() + sizeof info->cVersion, record.data() + sizeof(DRIVER_INFO_2W),
                    strings);
        std::u16string path = Wide(info->pDriverPath);
        size_t slash = path.rfind(u'\\');
        if (slash != std::u16string::npos) folder = path.substr(0, slash + 1);
        return true;
    }
};

void FreeAnswerMemo(PDEV* pdev) {
    delete pdev->answers;
    pdev->answers = nullptr;
}

ModelAnswer::ModelAnswer(const PDEV* pdev, int query, int entry, int layout) {
    // Only a device's own model data, answered by the libraries it holds, is kept.
    if (!pdev->printer || !pdev->modelData || (!pdev->sheetwright && !pdev->modelsmith)) {
        block_ =
            GetModelInfo(pdev->modelData, pdev->printer, query, entry, layout, &size_, &count_);
        return;
    }
    AnswerMemo*& memo = const_cast<PDEV*>(pdev)->answers;
    if (!memo) memo = new AnswerMemo;
    if (!memo->Current(pdev->printer) || memo->folder.empty()) {
        block_ =
            GetModelInfo(pdev->modelData, pdev->printer, query, entry, layout, &size_, &count_);
        return;
    }
    auto key = std::make_tuple(query, entry, layout);
    auto it = memo->answers.find(key);
    if (it == memo->answers.end()) {
        Asked a = AskModel(pdev->modelData, pdev->printer, memo->folder, query, entry, layout);
        AnswerMemo::Kept kept;
        if (a.block) {
            kept.bytes = std::make_shared<const std::vector<BYTE>>(
                static_cast<const BYTE*>(a.block), static_cast<const BYTE*>(a.block) + a.size);
            kept.count = a.count;
            GlobalFree(a.block);
        }
        if (!a.clean || (a.answeredBy != pdev->sheetwright && a.answeredBy != pdev->modelsmith)) {
            kept_ = kept.bytes;
            size_ = kept_ ? static_cast<DWORD>(kept_->size()) : 0;
            count_ = kept.count;
            return;
        }
        it = memo->answers.emplace(key, std::move(kept)).first;
    }
    kept_ = it->second.bytes;
    size_ = kept_ ? static_cast<DWORD>(kept_->size()) : 0;
    count_ = kept_ ? it->second.count : 0;
}

ModelAnswer::ModelAnswer(LPCVOID modelData, HANDLE printer, int query, int entry, int layout) {
    block_ = GetModelInfo(modelData, printer, query, entry, layout, &size_, &count_);
}

ModelAnswer::~ModelAnswer() {
    if (block_) GlobalFree(block_);
}

ModelAnswer::ModelAnswer(ModelAnswer&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)), kept_(std::move(other.kept_)),
      size_(std::exchange(other.size_, 0)), count_(std::exchange(other.count_, 0)) {}

ModelAnswer& ModelAnswer::operator=(ModelAnswer&& other) noexcept {
    if (this != &other) {
        if (block_) GlobalFree(block_);
        block_ = std::exchange(other.block_, nullptr);
        kept_ = std::move(other.kept_);
        size_ = std::exchange(other.size_, 0);
        count_ = std::exchange(other.count_, 0);
    }
    return *this;
}

BYTE ModelAnswer::U8(size_t off) const {
    return off < size_ ? data()[off] : 0;
}

WORD ModelAnswer::U16(size_t off) const {
    if (off + 2 > size_) return 0;
    WORD v;
    std::memcpy(&v, data() + off, sizeof v);
    return v;
}

DWORD ModelAnswer::U32(size_t off) const {
    if (off + 4 > size_) return 0;
    DWORD v;
    std::memcpy(&v, data() + off, sizeof v);
    return v;
}

std::string ModelAnswer::Text(size_t off, size_t field) const {
    if (off >= size_) return {};
    size_t room = std::min<size_t>(field, size_ - off);
    const char* p = reinterpret_cast<const char*>(data() + off);
    return std::string(p, strnlen(p, room));
}

} // namespace inkforge

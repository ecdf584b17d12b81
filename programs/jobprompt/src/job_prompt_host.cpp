#include "job_prompt_host.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "driver_env.h"
#include "model/model_queries.h"
#include "ui/job_prompt_records.h"
#include "devmode_private.h"
#include "win/base.h"
#include "win/files.h"
#include "win/spool.h"

namespace jobprompt {
namespace {

constexpr size_t kPathChars = 260;

std::function<void()> gBlockCopied;

template <class F> F Export(HMODULE module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                  : nullptr;
}

// A path field of the block, terminated within its 260 characters.
std::u16string PathField(const WCHAR* field) {
    size_t n = 0;
    while (n < kPathChars && field[n])
        ++n;
    return std::u16string(field, n);
}

// A view of the block of exactly `size` bytes; null when the mapping is smaller.
struct View {
    BYTE* bytes = nullptr;
    View(HANDLE mapping, DWORD access, size_t size) {
        bytes = static_cast<BYTE*>(MapViewOfFile(mapping, access, 0, 0, size));
    }
    ~View() {
        if (bytes) UnmapViewOfFile(bytes);
    }
    View(const View&) = delete;
    View& operator=(const View&) = delete;
};

// The largest block this host copies: two paths, a few names and a device mode
// (its private part at most 64 KB) take far less; a block that claims more is
// none the graphics library made.
constexpr size_t kMaxBlockBytes = 1u << 20;

// The block as this process copied it. The other process can change the
// block at any moment, so each byte of it is read once, into this copy, and
// every check and every use goes by the copy; only the answers are written
// into the block.
class BlockCopy {
  public:
    // Copies what the view holds past what is copied already, up to `size`.
    void Take(const BYTE* view, size_t size) {
        const size_t had = bytes_.size();
        if (size <= had) return;
        bytes_.resize(size);
        std::memcpy(bytes_.data() + had, view + had, size - had);
    }
    // The whole block is copied: nothing of it is read again.
    void Done() const {
        if (gBlockCopied) gBlockCopied();
    }
    size_t size() const { return bytes_.size(); }
    const BYTE* data() const { return bytes_.data(); }
    // A value inside the copy; the caller checked `at`.
    template <class T> T At(size_t at) const {
        T v;
        std::memcpy(&v, bytes_.data() + at, sizeof v);
        return v;
    }

  private:
    std::vector<BYTE> bytes_;
};

struct Printer {
    HANDLE handle = nullptr;
    ~Printer() {
        if (handle) ClosePrinter(handle);
    }
};

struct ModelData {
    LPVOID data = nullptr;
    ~ModelData() {
        if (data) GlobalFree(data);
    }
};

struct Library {
    HMODULE module = nullptr;
    ~Library() {
        if (module) FreeLibrary(module);
    }
};

// Bytes the records of a prompt kind need after the header; 0 for other kinds.
size_t RecordsEnd(INT kind) {
    switch (kind) {
    case kPromptJobAuth:
        return kPromptRecordAt + sizeof(JobAuthRecord);
    case kPromptDeptCode:
        return kPromptRecordAt + sizeof(DeptCodeRecord);
    case kPromptJobType:
        return kPromptDeptCodeAt + sizeof(DeptCodeRecord);
    default:
        return 0;
    }
}

// Texts of a record from another process end within their fields.
void Terminate(JobAuthRecord* r) {
    r->userId[sizeof r->userId - 1] = 0;
    r->password[sizeof r->password - 1] = 0;
}
void Terminate(JobInfoRecord* r) {
    r->jobName[sizeof r->jobName - 1] = 0;
    r->userName[sizeof r->userName - 1] = 0;
}
void Terminate(DeptCodeRecord* r) {
    r->code[sizeof r->code - 1] = 0;
}

template <class R> R Copy(const BYTE* block, size_t at) {
    R r;
    std::memcpy(&r, block + at, sizeof r);
    Terminate(&r);
    return r;
}

void RunPrompt(HANDLE mapping, BlockCopy& copy) {
    const DWORD totalSize = copy.At<DWORD>(offsetof(JobPromptMapping, totalSize));
    if (totalSize < sizeof(JobPromptMapping) || totalSize > kMaxBlockBytes) return;
    View block(mapping, FILE_MAP_ALL_ACCESS, totalSize);
    if (!block.bytes) return; // the block claims more than the mapping holds
    copy.Take(block.bytes, totalSize);
    copy.Done();
    const auto header = copy.At<JobPromptMapping>(0);
    const size_t end = RecordsEnd(header.kind);
    // The records and the printer name lie inside the block, the name after the header.
    if (end == 0 || totalSize < end || header.printerNameAt < sizeof header ||
        header.printerNameAt >= totalSize)
        return;
    const char* name = reinterpret_cast<const char*>(copy.data() + header.printerNameAt);
    const size_t room = totalSize - header.printerNameAt;
    if (strnlen(name, room) == room) return; // no terminator inside the block
    std::string printerName(name);

    Printer printer;
    OpenPrinterA(printerName.data(), &printer.handle, nullptr);
    ModelData model;
    model.data = LoadModelSpecFile(PathField(header.modelDataPath).c_str());
    if (!model.data || !printer.handle) return;
    Library library;
    library.module = LoadDriverModule(printer.handle, model.data, sheetwright::kSelectSheetwright);
    if (!library.module) return;

    INT answered = 0;
    if (header.kind == kPromptJobAuth) {
        auto input =
            Export<PFN_uiInputJobSpoolUserPwdInfo>(library.module, "uiInputJobSpoolUserPwdInfo");
        auto auth = Copy<JobAuthRecord>(copy.data(), kPromptRecordAt);
        if (input && input(printer.handle, model.data, &auth) == 1) {
            std::memcpy(block.bytes + kPromptRecordAt, &auth, sizeof auth);
            answered = 1;
        }
    } else if (header.kind == kPromptDeptCode) {
        auto input = Export<PFN_uiInputDeptCodeInfo>(library.module, "uiInputDeptCodeInfo");
        auto dept = Copy<DeptCodeRecord>(copy.data(), kPromptRecordAt);
        if (input && input(printer.handle, model.data, &dept) == 1) {
            std::memcpy(block.bytes + kPromptRecordAt, &dept, sizeof dept);
            answered = 1;
        }
    } else {
        auto input = Export<PFN_uiInputJobSpoolExt>(library.module, "uiInputJobSpoolExt");
        auto auth = Copy<JobAuthRecord>(copy.data(), kPromptRecordAt);
        auto info = Copy<JobInfoRecord>(copy.data(), kPromptJobInfoAt);
        auto dept = Copy<DeptCodeRecord>(copy.data(), kPromptDeptCodeAt);
        if (input && input(printer.handle, model.data, &auth, &info, &dept) == 1) {
            std::memcpy(block.bytes + kPromptRecordAt, &auth, sizeof auth);
            std::memcpy(block.bytes + kPromptJobInfoAt, &info, sizeof info);
            std::memcpy(block.bytes + kPromptDeptCodeAt, &dept, sizeof dept);
            answered = 1;
        }
    }
    if (answered)
        std::memcpy(block.bytes + offsetof(JobPromptMapping, answered), &answered, sizeof answered);
}

// A wide name of `bytes` bytes with its terminator inside.
bool WideName(const BYTE* at, size_t bytes, std::u16string* out) {
    if (bytes < sizeof(WCHAR) || bytes % sizeof(WCHAR) != 0) return false;
    std::u16string text(bytes / sizeof(WCHAR), u'\0');
    std::memcpy(text.data(), at, bytes);
    const size_t end = text.find(u'\0');
    if (end == std::u16string::npos) return false;
    text.resize(end);
    *out = text;
    return true;
}

void RunPriorPrintCheck(HANDLE mapping, BlockCopy& copy) {
    {
        View head(mapping, FILE_MAP_READ, sizeof(PreCheckMapping));
        if (!head.bytes) return;
        copy.Take(head.bytes, sizeof(PreCheckMapping));
    }
    const auto header = copy.At<PreCheckMapping>(0);
    // Every length is checked in 64 bits before a view of that size is asked.
    const unsigned long long devmodeAt = static_cast<unsigned long long>(sizeof header) +
                                         header.printerNameBytes + header.portNameBytes;
    const unsigned long long fixedEnd = devmodeAt + sizeof(DEVMODEW);
    if (fixedEnd > kMaxBlockBytes) return;
    {
        View fixed(mapping, FILE_MAP_READ, static_cast<size_t>(fixedEnd));
        if (!fixed.bytes) return;
        copy.Take(fixed.bytes, static_cast<size_t>(fixedEnd));
    }
    const auto dm = copy.At<DEVMODEW>(static_cast<size_t>(devmodeAt));
    // Only the driver's own device mode goes to the check: its private part
    // must be whole where the standard part says it is.
    if (dm.dmSize != sizeof(DEVMODEW) || dm.dmDriverExtra < sizeof(PRIVATE_DEVMODE)) return;
    const unsigned long long end = devmodeAt + dm.dmSize + dm.dmDriverExtra;
    if (end > kMaxBlockBytes) return;
    View block(mapping, FILE_MAP_ALL_ACCESS, static_cast<size_t>(end));
    if (!block.bytes) return;
    copy.Take(block.bytes, static_cast<size_t>(end));
    copy.Done();
    std::u16string printerName, port;
    if (!WideName(copy.data() + sizeof header, header.printerNameBytes, &printerName) ||
        !WideName(copy.data() + sizeof header + header.printerNameBytes, header.portNameBytes,
                  &port))
        return;

    Printer printer;
    if (!OpenPrinterW(printerName.data(), &printer.handle, nullptr)) return;
    ModelData model;
    model.data = LoadModelSpecFile(PathField(header.modelDataPath).c_str());
    if (!model.data) return;
    Library library;
    library.module = LoadDriverModule(printer.handle, model.data, sheetwright::kSelectSheetwright);
    auto check = Export<PFN_uiCheckPriorPrint>(library.module, "uiCheckPriorPrint");
    if (!check) return;
    // The names before it leave the device mode at any byte: the check gets
    // an aligned copy, and what it changed goes back into the block (its
    // sizes as they were), as if it had worked in place.
    const size_t devmodeBytes = static_cast<size_t>(dm.dmSize) + dm.dmDriverExtra;
    std::vector<std::max_align_t> aligned((devmodeBytes + sizeof(std::max_align_t) - 1) /
                                          sizeof(std::max_align_t));
    auto* devmode = reinterpret_cast<DEVMODEW*>(aligned.data());
    std::memcpy(devmode, copy.data() + devmodeAt, devmodeBytes);
    const INT result = check(printer.handle, nullptr, port.c_str(), devmode,
                             reinterpret_cast<BYTE*>(devmode) + dm.dmSize, model.data, 1);
    devmode->dmSize = dm.dmSize;
    devmode->dmDriverExtra = dm.dmDriverExtra;
    std::memcpy(block.bytes + devmodeAt, devmode, devmodeBytes);
    std::memcpy(block.bytes + offsetof(PreCheckMapping, result), &result, sizeof result);
}

} // namespace

std::u16string_view MappingNameOf(std::u16string_view line) {
    size_t at = 0;
    if (!line.empty() && line[0] == u'"') {
        const size_t close = line.find(u'"', 1);
        at = close == std::u16string_view::npos ? line.size() : close + 1;
    } else {
        while (at < line.size() && line[at] != u' ' && line[at] != u'\t')
            ++at;
    }
    while (at < line.size() && (line[at] == u' ' || line[at] == u'\t'))
        ++at;
    return line.substr(at);
}

LPVOID LoadModelSpecFile(LPCWSTR path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    LPVOID data = nullptr;
    LARGE_INTEGER size{};
    // The size is asked first: a file past the format's limit is not read at all.
    if (GetFileSizeEx(file, &size) && size.QuadPart >= 16 &&
        size.QuadPart <= model::kMaxModelDataBytes) {
        const DWORD bytes = static_cast<DWORD>(size.QuadPart);
        data = GlobalAlloc(GPTR, bytes + 2);
        DWORD read = 0;
        if (data && (!ReadFile(file, data, bytes, &read, nullptr) || read != bytes ||
                     !sheetwright::IsModelDataHeaderValid(static_cast<const BYTE*>(data), bytes))) {
            GlobalFree(data);
            data = nullptr;
        }
    }
    CloseHandle(file);
    return data;
}

void SetBlockCopiedHook(std::function<void()> hook) {
    gBlockCopied = std::move(hook);
}

void RunJobPrompt(const std::u16string& name) {
    if (name.empty()) return;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    if (!mapping) return;
    BlockCopy copy;
    {
        View head(mapping, FILE_MAP_READ, 8);
        if (head.bytes) copy.Take(head.bytes, 8);
    }
    if (copy.size() == 8) {
        if (copy.At<DWORD>(0) == kJobPromptMagic)
            RunPrompt(mapping, copy);
        else if (std::memcmp(copy.data(), kPreCheckMagic, sizeof kPreCheckMagic) == 0)
            RunPriorPrintCheck(mapping, copy);
    }
    CloseHandle(mapping);
}

} // namespace jobprompt

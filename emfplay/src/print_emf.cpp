// The spool-side entry: one recorded job replayed into a new job on the same
// printer, every failure told once in a message box.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "driver_env.h"
#include "emf_job.h"
#include "localize.h"
#include "win/base.h"
#include "win/environment.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/gdi_dc.h"
#include "win/ini.h"
#include "win/strings.h"
#include "win/user.h"

namespace metaweave {
namespace {

HMODULE gModule = nullptr;
DWORD gVersionWord = 0;

constexpr char kOutputList[] = "OutFile.INI";
constexpr char kOutputSection[] = "OutputFileFlag";
constexpr DWORD kOutputEntries = 10000;
constexpr DWORD kTempNames = 10000;
constexpr size_t kPathChars = 260;
constexpr char kModelMagic[4] = {'N', 'K', 'S', 'P'};

struct MessageEntry {
    DWORD text, caption;
    UINT flags;
};
constexpr MessageEntry kMessages[] = {
    {6, 10, MB_ICONHAND | MB_SETFOREGROUND},
    {7, 10, MB_ICONHAND | MB_SETFOREGROUND},
    {4, 12, MB_ICONEXCLAMATION | MB_SETFOREGROUND},
    {5, 13, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2 | MB_SETFOREGROUND},
    {2, 11, MB_ICONHAND | MB_SETFOREGROUND},
    {3, 11, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2 | MB_SETFOREGROUND},
    {8, 10, MB_ICONHAND | MB_SETFOREGROUND},
};

std::string Hex8(const char* pattern, DWORD n) {
    char key[32];
    std::snprintf(key, sizeof key, pattern, static_cast<unsigned long>(n));
    return key;
}

std::string Profile(const std::string& file, const std::string& key) {
    char value[kPathChars] = {};
    GetPrivateProfileStringA(kOutputSection, key.c_str(), "", value, sizeof value, file.c_str());
    return value;
}

// One past the last "JobID_" entry of the output list that holds a value.
DWORD OutputEntriesInUse(const std::string& file) {
    std::vector<char> keys(1 << 16);
    for (;;) {
        DWORD n = GetPrivateProfileStringA(kOutputSection, nullptr, "", keys.data(),
                                           static_cast<DWORD>(keys.size()), file.c_str());
        if (n + 2 < keys.size() || keys.size() >= (1u << 24)) break;
        keys.resize(keys.size() * 4);
    }
    DWORD end = 0;
    for (const char* k = keys.data(); *k; k += std::strlen(k) + 1) {
        unsigned long n = 0;
        char tail = 0;
        if (std::sscanf(k, "JobID_%8lx%c", &n, &tail) == 1 && n < kOutputEntries &&
            !Profile(file, k).empty())
            end = std::max<DWORD>(end, static_cast<DWORD>(n) + 1);
    }
    return end;
}

// The print engine of one job.
class CZorPrint {
  public:
    virtual ~CZorPrint() { Cleanup(); }
    virtual void Cleanup() {
        if (jobId_ != -1 && dc_) AbortDoc(dc_);
        jobId_ = -1;
        if (dc_) DeleteDC(dc_);
        dc_ = nullptr;
        reader_.reset();
        if (modelCopy_) GlobalFree(modelCopy_);
        modelCopy_ = nullptr;
    }

    BOOL Initialize(const ModelBlock& model, const EmfJobRecord& record) {
        Cleanup();
        reader_ = CreateEmfFile(record);
        if (!reader_) return FALSE;
        ModelBlock use = model;
        if (reader_->kind() == kReader9x) {
            // This system's reader keeps its own copy of the model data.
            DWORD size = 0;
            if (std::memcmp(model.modelData, kModelMagic, sizeof kModelMagic) == 0)
                std::memcpy(&size, static_cast<const BYTE*>(model.modelData) + sizeof kModelMagic,
                            sizeof size);
            if (size >= sizeof kModelMagic + sizeof size)
                modelCopy_ = GlobalAlloc(GMEM_FIXED, size);
            if (!modelCopy_) {
                reader_.reset();
                return FALSE;
            }
            std::memcpy(modelCopy_, model.modelData, size);
            use.modelData = modelCopy_;
        }
        reader_->SetModel(use);
        reader_->LoadModelSettings();
        record_ = record;
        record_.workingFolder[sizeof record_.workingFolder - 1] = 0;
        model_ = use;
        return TRUE;
    }

    void SetWorkFolder() {
        std::string folder = record_.workingFolder;
        if (folder.empty()) {
            sheetwright::ModelBlock block{model_.modelsmith, model_.modelData};
            sheetwright::BoundModel bound{};
            sheetwright::BindModelInfo(&bound, &block);
            std::u16string computed;
            // Always answers TRUE: the folder it computes is used as it stands.
            (void)sheetwright::GetUserSettingsFolder(bound.query, model_.modelData, &computed);
            folder = sheetwright::WideToAnsiString(computed);
        }
        reader_->SetWorkFolder(folder);
    }

    DWORD Run() {
        SetWorkFolder();
        if (!reader_->Open(record_.spoolId, record_.flags)) return 0;
        SetWorkFolder();
        if (!reader_->SelectPage(1)) return 0;
        if (!reader_->BuildPageCollections()) {
            ShowPrintMessage(kMsgNoMemory);
            return 0;
        }
        return RunPrintJob();
    }

  private:
    DWORD RunPrintJob() {
        bool prints = false;
        for (const auto& c : reader_->collections())
            prints |= !c->makesOverlay();
        if (!prints) return reader_->PrintJob(nullptr);
        if (!StartJobDocument()) return 0;
        if (!reader_->PrintJob(dc_) || jobId_ == -1) return 0;
        if (EndDoc(dc_) <= 0) {
            ShowPrintMessage(kMsgPrintFailed);
            return 0;
        }
        const int job = jobId_;
        jobId_ = -1;
        // The output reaches the chosen file at the end of the document, which
        // empties the slot: a slot emptied while its temporary copy is still
        // there is a copy that could not be made.
        const bool completed =
            !output_.empty() && strcasecmp(Profile(list_, Hex8("JobID_%08lX", entry_)).c_str(),
                                           Hex8("%08lX", static_cast<DWORD>(job)).c_str()) != 0;
        if (completed && GetFileAttributesA(output_.c_str()) != INVALID_FILE_ATTRIBUTES) {
            DeleteFileA(output_.c_str());
            ShowPrintMessage(kMsgPrintFailed);
            SetLastError(ERROR_WRITE_FAULT);
            return 0;
        }
        return 1;
    }

    BOOL StartJobDocument() {
        dc_ = reader_->CreateJobDC();
        if (!dc_) {
            ShowPrintMessage(kMsgPrintFailed);
            return FALSE;
        }
        const std::string document = reader_->DocumentName();
        DOCINFOA info{sizeof(DOCINFOA), document.c_str(), nullptr, nullptr, 0};
        std::string output, list;
        DWORD entry = kOutputEntries;
        if (record_.flags & kJobPrintToFile) {
            const std::string spool = reader_->SpoolFolder();
            list = spool + kOutputList;
            const std::string key = Hex8("%08lX", record_.spoolId);
            // Entries of finished jobs are emptied, so an empty entry ends
            // the search only when no later entry is in use.
            const DWORD end = OutputEntriesInUse(list);
            for (DWORD n = 0; n < end; ++n) {
                const std::string job = Profile(list, Hex8("JobID_%08lX", n));
                if (strcasecmp(job.c_str(), key.c_str()) != 0) continue;
                if (Profile(list, Hex8("Dest_%08lX", n)).empty()) continue;
                if (!Profile(list, Hex8("Source_%08lX", n)).empty()) continue;
                for (DWORD i = 0; i < kTempNames && output.empty(); ++i) {
                    char name[32];
                    std::snprintf(name, sizeof name, "~tmp%04lX.tmp",
                                  static_cast<unsigned long>(i));
                    HANDLE f = CreateFileA((spool + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
                    if (f == INVALID_HANDLE_VALUE) continue;
                    CloseHandle(f);
                    output = spool + name;
                }
                if (output.empty()) break;
                WritePrivateProfileStringA(kOutputSection, Hex8("Source_%08lX", n).c_str(),
                                           output.c_str(), list.c_str());
                info.lpszOutput = output.c_str();
                entry = n;
                break;
            }
            // A job for a file that found no slot or no temporary name fails:
            // printing it to the printer instead would report a file never made.
            if (output.empty()) {
                ShowPrintMessage(kMsgPrintFailed);
                SetLastError(ERROR_CAN_NOT_COMPLETE);
                return FALSE;
            }
            output_ = output;
            list_ = list;
            entry_ = entry;
        }
        jobId_ = StartDocA(dc_, &info);
        if (jobId_ <= 0) {
            jobId_ = -1;
            ShowPrintMessage(kMsgPrintFailed);
            return FALSE;
        }
        if (entry < kOutputEntries)
            WritePrivateProfileStringA(kOutputSection, Hex8("JobID_%08lX", entry).c_str(),
                                       Hex8("%08lX", static_cast<DWORD>(jobId_)).c_str(),
                                       list.c_str());
        reader_->RestoreJobName(static_cast<DWORD>(jobId_));
        SetGraphicsMode(dc_, GM_ADVANCED);
        return TRUE;
    }

    std::unique_ptr<CZorEmfFile> reader_;
    EmfJobRecord record_{};
    ModelBlock model_{};
    HDC dc_ = nullptr;
    int jobId_ = -1;
    // A job for a file: its temporary output, the list and its slot there.
    std::string output_, list_;
    DWORD entry_ = 0;
    HGLOBAL modelCopy_ = nullptr;
};

} // namespace

HMODULE MetaweaveModule() {
    return gModule;
}
DWORD VersionWord() {
    return gVersionWord;
}
void SetAttachState(HMODULE module, DWORD versionWord) {
    gModule = module;
    gVersionWord = versionWord;
}

DWORD ComputeVersionWord() {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExA(&v)) return 0;
    const DWORD word = v.dwMajorVersion << 16 | (v.dwMinorVersion & 0xFFFF);
    if (v.dwPlatformId == VER_PLATFORM_WIN32_NT) return word | 0x80000000u;
    if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return word;
    return 0;
}

std::string MetaweaveString(DWORD id) {
    sheetwright::CLocalize localize(gModule);
    std::u16string text;
    localize.LoadString(id, &text);
    return sheetwright::WideToAnsiString(text);
}

int ShowPrintMessage(int index) {
    if (index < 0 || static_cast<size_t>(index) >= sizeof kMessages / sizeof kMessages[0]) return 0;
    const MessageEntry& m = kMessages[index];
    return MessageBoxA(nullptr, MetaweaveString(m.text).c_str(), MetaweaveString(m.caption).c_str(),
                       m.flags | MB_SYSTEMMODAL);
}

BOOL CreateFolderChain(const std::string& folder) {
    std::string path = folder.substr(0, kPathChars - 1);
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    if (path.empty()) return FALSE;
    if (CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return TRUE;
    if (GetLastError() != ERROR_PATH_NOT_FOUND) return FALSE;
    const size_t cut = path.rfind('\\');
    if (cut == std::string::npos || !CreateFolderChain(path.substr(0, cut))) return FALSE;
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

DWORD PrintEmf(EmfJobRecord* record, ModelBlock* model) {
    if (!record || !model || !model->modelsmith || !model->modelData) return 0;
    DWORD result = 0, error = ERROR_SUCCESS;
    {
        CZorPrint engine;
        if (engine.Initialize(*model, *record)) result = engine.Run();
        // The caller hears why a replay failed, not what the clean-up met.
        error = GetLastError();
        engine.Cleanup();
    }
    SetLastError(result ? ERROR_SUCCESS : error);
    return result;
}

} // namespace metaweave

#include "output_files.h"

#include <cstdio>
#include <unordered_map>

#include "emf_job.h"
#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "model_access.h"
#include "pdev.h"
#include "platform/ini_document.h"
#include "platform/settings_file.h"
#include "system_access.h"
#include "win/base.h"
#include "win/registry.h"
#include "working_folder.h"

namespace inkforge {
namespace {

std::u16string Hex8(DWORD n) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(n));
    return WidenAscii(text);
}

std::u16string Key(const char* name, DWORD slot) {
    return WidenAscii(name) + Hex8(slot);
}

bool SameText(const std::u16string& a, const std::u16string& b) {
    return !a.empty() && lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// One read-modify-write of the list under the lock every party takes.
template <class Edit> BOOL EditList(const std::u16string& spoolFolder, Edit edit) {
    platform::SettingsFile file(spoolFolder + kOutputFileList);
    if (!file.locked()) return FALSE;
    std::string bytes;
    if (!file.Read(&bytes, platform::ini::kMaxIniFileSize) &&
        GetLastError() != ERROR_FILE_NOT_FOUND)
        return FALSE;
    auto doc = platform::ini::IniDocument::Parse(bytes);
    bool changed = false;
    BOOL result = edit(doc, &changed);
    // A list that could not be written keeps its old slots and books nothing.
    if (changed && !file.Replace(doc.Serialize())) return FALSE;
    return result;
}

// The section's values by upper-case key, read once: a list of many slots is
// looked through without a search per key.
class Slots {
  public:
    explicit Slots(const platform::ini::IniDocument& doc) {
        for (const std::u16string& line : doc.SectionLines(kOutputFileSection)) {
            size_t eq = line.find(u'=');
            if (eq == std::u16string::npos) continue;
            std::u16string key = Upper(platform::ini::TrimBlanks(line.substr(0, eq)));
            // The first of a key written twice is the one that counts.
            values_.emplace(
                key, platform::ini::StripQuotes(platform::ini::TrimBlanks(line.substr(eq + 1))));
        }
    }
    std::u16string operator[](const std::u16string& key) const {
        auto it = values_.find(Upper(key));
        return it == values_.end() ? std::u16string() : it->second;
    }

  private:
    static std::u16string Upper(std::u16string text) {
        for (char16_t& c : text)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        return text;
    }
    std::unordered_map<std::u16string, std::u16string> values_;
};

std::u16string SpoolFolderOf(PDEV* pdev) {
    if (pdev->emfJob && !pdev->emfJob->spoolFolder.empty()) return pdev->emfJob->spoolFolder;
    std::u16string working;
    return GetWorkingFolder(pdev, &working) ? spoolpkg::SpoolFolder(working) : u"";
}

} // namespace

BOOL AddOutputFileEntry(const std::u16string& spoolFolder, DWORD spoolId,
                        const std::u16string& destination, const std::u16string& ownerToken) {
    return EditList(spoolFolder, [&](platform::ini::IniDocument& doc, bool* changed) -> BOOL {
        Slots slots(doc);
        for (DWORD n = 0; n < kOutputFileSlots; ++n) {
            if (!slots[Key("JobID_", n)].empty()) continue;
            doc.Set(kOutputFileSection, Key("JobID_", n), Hex8(spoolId));
            doc.DeleteKey(kOutputFileSection, Key("Source_", n));
            doc.Set(kOutputFileSection, Key("Dest_", n), destination);
            if (ownerToken.empty())
                doc.DeleteKey(kOutputFileSection, Key("Owner_", n));
            else
                doc.Set(kOutputFileSection, Key("Owner_", n), ownerToken);
            *changed = true;
            return TRUE;
        }
        return FALSE;
    });
}

BOOL AddOutputFileEntry(PDEV* pdev) {
    if (pdev->printToDisk != 1 || !pdev->outputFile) return FALSE;
    std::u16string folder = SpoolFolderOf(pdev);
    // The spool-side program plays the job in its own process: its slot has
    // no owner here.
    std::u16string owner;
    if (pdev->emfJob && !(pdev->modelCaps & caps::SpoolSideProgram))
        owner = pdev->emfJob->owner.Token();
    return !folder.empty() && AddOutputFileEntry(folder, pdev->spoolId, pdev->outputFile, owner);
}

BOOL CompleteOutputFiles(const std::u16string& spoolFolder, DWORD jobNumber,
                         const std::u16string& outputFile) {
    const std::u16string job = Hex8(jobNumber);
    return EditList(spoolFolder, [&](platform::ini::IniDocument& doc, bool* changed) -> BOOL {
        // Every slot is looked at: a slot freed before this one leaves an
        // empty JobID in front of slots still pending.
        Slots slots(doc);
        for (DWORD n = 0; n < kOutputFileSlots; ++n) {
            if (!SameText(slots[Key("JobID_", n)], job)) continue;
            if (!SameText(slots[Key("Source_", n)], outputFile)) continue;
            std::u16string dest = slots[Key("Dest_", n)];
            BOOL copied = FALSE;
            if (!dest.empty()) {
                // Copied beside the destination and moved over it whole: a
                // copy that fails (a full disk) leaves what the destination held.
                const std::u16string beside = dest + u".~" + job + u".tmp";
                copied = CopyFileW(outputFile.c_str(), beside.c_str(), FALSE) &&
                         MoveFileExW(beside.c_str(), dest.c_str(), MOVEFILE_REPLACE_EXISTING);
                if (copied) {
                    DeleteFileW(outputFile.c_str());
                } else {
                    DWORD error = GetLastError();
                    DeleteFileW(beside.c_str());
                    SetLastError(error);
                }
            }
            for (const char* name : {"Source_", "Dest_", "JobID_", "Owner_"})
                doc.DeleteKey(kOutputFileSection, Key(name, n));
            *changed = true;
            return copied;
        }
        return FALSE;
    });
}

DWORD SweepDeadOutputFiles(const std::u16string& spoolFolder) {
    // A list nobody made yet has nothing to sweep, and is not made here.
    if (GetFileAttributesW((spoolFolder + kOutputFileList).c_str()) == INVALID_FILE_ATTRIBUTES)
        return 0;
    DWORD freed = 0;
    EditList(spoolFolder, [&](platform::ini::IniDocument& doc, bool* changed) -> BOOL {
        Slots slots(doc);
        for (DWORD n = 0; n < kOutputFileSlots; ++n) {
            const std::u16string owner = slots[Key("Owner_", n)];
            if (owner.empty() || !spoolpkg::IsOwnerToken(owner) || spoolpkg::OwnerAlive(owner))
                continue;
            // Only a temporary copy of the spool folder itself goes; the
            // user's file (Dest) is never touched.
            const std::u16string source = slots[Key("Source_", n)];
            const size_t cut = source.rfind(u'\\');
            if (cut != std::u16string::npos && SameText(source.substr(0, cut + 1), spoolFolder) &&
                source.compare(cut + 1, 4, u"~tmp") == 0 &&
                spoolpkg::IsBareFileName(source.substr(cut + 1)))
                DeleteFileW(source.c_str());
            for (const char* name : {"Source_", "Dest_", "JobID_", "Owner_"})
                doc.DeleteKey(kOutputFileSection, Key(name, n));
            *changed = true;
            ++freed;
        }
        return TRUE;
    });
    return freed;
}

BOOL CompleteOutputFiles(PDEV* pdev) {
    if (pdev->printToDisk != 1 || !pdev->outputFile) return FALSE;
    std::u16string folder = SpoolFolderOf(pdev);
    return !folder.empty() && CompleteOutputFiles(folder, pdev->spoolId, pdev->outputFile);
}

std::u16string CleanupValueName(const std::vector<std::u16string>& modelNames) {
    std::u16string name = u"EMF";
    for (const std::u16string& part : modelNames)
        if (!part.empty()) name += u"_" + part;
    for (char16_t& c : name)
        if (c == u' ') c = u'_';
    return name;
}

std::u16string CleanupCommandLine(const std::u16string& program,
                                  const std::u16string& spoolFolder) {
    std::u16string folder = spoolFolder;
    if (!folder.empty() && folder.back() == u'\\') folder.pop_back();
    return u"\"" + program + u"\" \"" + folder + u"\"";
}

BOOL AddCleanupRunOnce(PDEV* pdev, const std::u16string& spoolFolder) {
    LPVOID ownData = pdev->modelData ? nullptr : LoadModelData(pdev->printer);
    LPCVOID modelData = pdev->modelData ? pdev->modelData : ownData;
    std::u16string valueName, program;
    if (modelData) {
        HMODULE modelsmith = LoadComponentDll(pdev->printer, modelData, kSelectModelsmith);
        auto query =
            modelsmith ? Export<PFN_mdGetMyPrinterInfo>(modelsmith, "mdGetMyPrinterInfo") : nullptr;
        std::u16string sweeper = ComponentFileName(modelData, model::kComponentGraphics39);
        std::u16string driverFolder;
        // The clean-up program is a file of the driver folder, never a path.
        if (query && spoolpkg::IsBareFileName(sweeper) &&
            GetDriverDirectory(pdev->printer, &driverFolder)) {
            valueName = CleanupValueName(ModelFolderNames(query, modelData));
            program = driverFolder + sweeper;
        }
        if (modelsmith) FreeLibrary(modelsmith);
    }
    if (ownData) GlobalFree(ownData);
    if (program.empty()) return FALSE;

    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunOnceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return FALSE;
    std::u16string line = CleanupCommandLine(program, spoolFolder);
    // The terminating zero is stored with the text, so that whoever reads the
    // value gets a terminated string.
    LSTATUS r = RegSetValueExW(key, valueName.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(line.c_str()),
                               static_cast<DWORD>((line.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? TRUE : FALSE;
}

} // namespace inkforge

#include "saved_job_info.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "devmode_helpers.h"
#include "driver_env.h"
#include "model/modelsmith.h"
#include "model_codes.h"
#include "model_info.h"
#include "option_detection.h"
#include "win/environment.h"
#include "win/registry.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

constexpr size_t kIdBytes = 32;           // ids, password, department code, user name
constexpr DWORD kStoredIdBytes = 31;      // REG_SZ byte count of those texts
constexpr DWORD kStoredJobNameBytes = 83; // and of the job name
constexpr WORD kDeptCounterKeep = 0x4;    // DeptCounterFlags: keep the department code
constexpr DWORD kJobInfoAsked = 0x30000;  // JobInfoFlags: ask user and job name
constexpr BYTE kPasswordKey[] = {0x5C, 0x13, 0xA7, 0x3E};

constexpr char kInstalledTimeValue[] = "InstalledTime";
constexpr char kJobTypeValue[] = "JobType";
constexpr char kMailboxValue[] = "MailboxID";
constexpr char kSecureBoxValue[] = "SecureBoxID";
constexpr char kPasswordValue[] = "SecurePassword";
constexpr char kJobInformationValue[] = "JobInformation";
constexpr char kJobNameValue[] = "JobName";
constexpr char kUserNameValue[] = "UserName";
constexpr char kDeptCounterValue[] = "DeptCounter";
constexpr char kDeptCodeValue[] = "DeptCode";

// The printer's name as the spooler gives it.
std::string PrinterNameAnsi(HANDLE printer) {
    std::vector<BYTE> block = PrinterInfo2(printer);
    if (block.empty()) return {};
    LPCWSTR name = reinterpret_cast<PRINTER_INFO_2W*>(block.data())->pPrinterName;
    return name ? WideToAnsiString(name) : std::string();
}

std::string ModelName(const ModelBlock* binding, WORD query) {
    return CModelInfo(binding, query, 0, kTextLayout).Text();
}

// The settings key of the block's owner: "<printer key>\Secure[\<owner>]".
bool SettingsKey(const ReviseContext* context, const PRIVATE_DEVMODE* priv, std::string* key) {
    if (!BuildUserRegKey(context, key)) return false;
    *key += "\\Secure";
    const std::string owner(priv->OwnerUserName, strnlen(priv->OwnerUserName, kIdBytes - 1));
    if (!owner.empty()) *key += "\\" + owner;
    return true;
}

void Scramble(BYTE* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
        bytes[i] ^= kPasswordKey[i % sizeof kPasswordKey];
}

void ReadText(HKEY key, const char* value, char* field, size_t capacity) {
    std::memset(field, 0, capacity);
    std::vector<char> text(capacity, '\0');
    DWORD size = static_cast<DWORD>(capacity);
    if (RegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()),
                         &size) != ERROR_SUCCESS)
        return;
    std::memcpy(field, text.data(), std::min<size_t>(size, capacity - 1));
}

bool ReadDword(HKEY key, const char* value, DWORD* out) {
    DWORD v = 0, size = sizeof v;
    if (RegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size) !=
            ERROR_SUCCESS ||
        size != sizeof v)
        return false;
    *out = v;
    return true;
}

// The password is stored scrambled with its NUL, or as 31 bytes without one.
void ReadPassword(HKEY key, char* field) {
    std::memset(field, 0, kIdBytes);
    BYTE stored[kIdBytes] = {};
    DWORD size = sizeof stored;
    if (RegQueryValueExA(key, kPasswordValue, nullptr, nullptr, stored, &size) != ERROR_SUCCESS)
        return;
    // The stored length tells where the text ends, even where a character
    // scrambled to zero.
    size_t length = size > 0 && stored[size - 1] == 0 ? size - 1 : size;
    if (length > kIdBytes - 1) length = kIdBytes - 1;
    Scramble(stored, length);
    std::memcpy(field, stored, length);
}

void WriteText(HKEY key, const char* value, const char* field, size_t fieldBytes, DWORD stored) {
    if (strnlen(field, fieldBytes) == 0) {
        RegDeleteValueA(key, value);
        return;
    }
    // The fixed byte count, the bytes after the text's NUL included.
    std::vector<BYTE> bytes(stored, 0);
    std::memcpy(bytes.data(), field, std::min<size_t>(stored, fieldBytes));
    RegSetValueExA(key, value, 0, REG_SZ, bytes.data(), stored);
}

void WriteDword(HKEY key, const char* value, DWORD v) {
    RegSetValueExA(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

void WritePassword(HKEY key, const char* field) {
    BYTE bytes[kIdBytes] = {};
    std::memcpy(bytes, field, kStoredIdBytes);
    const size_t length = strnlen(reinterpret_cast<const char*>(bytes), kStoredIdBytes);
    if (length == 0) {
        RegDeleteValueA(key, kPasswordValue);
        return;
    }
    Scramble(bytes, length);
    const DWORD stored = static_cast<DWORD>(length < kStoredIdBytes ? length + 1 : length);
    RegSetValueExA(key, kPasswordValue, 0, REG_BINARY, bytes, stored);
}

// The user's own default device mode of the printer (level 9) as an image;
// *present tells whether the user has one at all. TRUE when it is the driver's own.
BOOL ReadUserDefaultImage(HANDLE printer, DEVMODE_IMAGEW* image, bool* present) {
    *present = false;
    DWORD needed = 0;
    GetPrinterW(printer, 9, nullptr, 0, &needed);
    if (needed < sizeof(PRINTER_INFO_9W)) return FALSE;
    std::vector<BYTE> block(needed);
    if (!GetPrinterW(printer, 9, block.data(), needed, &needed)) return FALSE;
    const DEVMODEW* stored = reinterpret_cast<PRINTER_INFO_9W*>(block.data())->pDevMode;
    if (!stored) return FALSE;
    *present = true;
    if (BytesFrom(block, stored) < sizeof(DEVMODE_IMAGEW) || !IsOwnDevmode(stored)) return FALSE;
    std::memcpy(image, stored, sizeof *image);
    return TRUE;
}

} // namespace

BOOL FindModelKeyValue(const ModelBlock* binding, DWORD* value) {
    CModelInfo keys(binding, model::kQueryKeys, 0, model::layout::kEntryList);
    auto* data = static_cast<const BYTE*>(keys.GetData());
    BOOL found = FALSE;
    for (size_t off = 0; data && off + sizeof(model::KeyAnswer) <= keys.Length();
         off += sizeof(model::KeyAnswer)) {
        model::KeyAnswer entry;
        std::memcpy(&entry, data + off, sizeof entry);
        if (entry.key != 3 && entry.key != 16) continue;
        if (value) *value = entry.value;
        found = TRUE;
    }
    return found;
}

BOOL ClearJobInfoFields(PRIVATE_DEVMODE* priv, DWORD firstMask, DWORD jobMask) {
    if (!priv) return FALSE;
    if (firstMask & kClearOwnerUser)
        std::memset(priv->OwnerUserName, 0, sizeof priv->OwnerUserName);
    if (firstMask & kClearOwnerComputer)
        std::memset(priv->OwnerComputerName, 0, sizeof priv->OwnerComputerName);
    if (!(firstMask & kClearJobFields)) return TRUE;
    if (jobMask & kJobFieldType) priv->JobType = 0;
    if (jobMask & kJobFieldMailbox) std::memset(priv->MailboxId, 0, sizeof priv->MailboxId);
    if (jobMask & kJobFieldSecureBox) std::memset(priv->SecureBoxId, 0, sizeof priv->SecureBoxId);
    if (jobMask & kJobFieldPassword)
        std::memset(priv->SecurePassword, 0, sizeof priv->SecurePassword);
    if (jobMask & kJobFieldUserName) std::memset(priv->UserName, 0, sizeof priv->UserName);
    if (jobMask & kJobFieldJobName) std::memset(priv->JobName, 0, sizeof priv->JobName);
    if (jobMask & kJobFieldDeptCode) {
        std::memset(priv->DeptCode, 0, sizeof priv->DeptCode);
        priv->DeptCounterFlags =
            static_cast<WORD>((priv->DeptCounterFlags & ~kDeptCounterKeep) |
                              ((jobMask & kJobMaskCounterState) ? kDeptCounterKeep : 0));
    }
    if (jobMask & kJobFieldInformation) priv->JobInfoFlags &= ~kJobInfoAsked;
    return TRUE;
}

void CopyJobFields(const PRIVATE_DEVMODE& s, DWORD m, WORD v, PRIVATE_DEVMODE* priv) {
    if (m & kJobFieldType) {
        priv->JobType = s.JobType;
        priv->JobTypeOptions = static_cast<WORD>(s.JobTypeOptions | v);
    }
    if (m & kJobFieldMailbox) std::memcpy(priv->MailboxId, s.MailboxId, kIdBytes);
    if (m & kJobFieldSecureBox) std::memcpy(priv->SecureBoxId, s.SecureBoxId, kIdBytes);
    if (m & kJobFieldPassword) std::memcpy(priv->SecurePassword, s.SecurePassword, kIdBytes);
    if (m & kJobFieldInformation) priv->JobInfoFlags = s.JobInfoFlags;
    if (m & kJobFieldUserName) std::memcpy(priv->UserName, s.UserName, sizeof priv->UserName);
    if (m & kJobFieldJobName) std::memcpy(priv->JobName, s.JobName, sizeof priv->JobName);
    if (m & kJobFieldDeptCode) {
        std::memcpy(priv->DeptCode, s.DeptCode, kIdBytes);
        priv->DeptCounterFlags = static_cast<WORD>((priv->DeptCounterFlags & ~kDeptCounterKeep) |
                                                   (s.DeptCounterFlags & kDeptCounterKeep));
    }
}

BOOL BuildUserRegKey(const ReviseContext* context, std::string* key) {
    if (!context || !key || !context->printer) return FALSE;
    const std::string first = ModelName(&context->binding, model::kQueryFirstModelName);
    const std::string model = ModelName(&context->binding, model::kQueryModelName);
    const std::string family = ModelName(&context->binding, model::kQueryFamilyName);
    std::string printer = PrinterNameAnsi(context->printer);
    // "\\server\queue" becomes two key levels.
    if (printer.compare(0, 2, "\\\\") == 0) printer.erase(0, 2);
    if (first.empty() || model.empty() || family.empty() || printer.empty()) return FALSE;
    *key = "SOFTWARE\\" + first + "\\PrinterDriver\\" + model + "\\" + family + "\\" + printer;
    return TRUE;
}

BOOL ReadInstalledTime(const ReviseContext* context, SYSTEMTIME* stamp, BOOL create) {
    std::string path;
    if (!stamp || !BuildUserRegKey(context, &path)) return FALSE;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        SYSTEMTIME stored{};
        DWORD size = sizeof stored;
        const bool read =
            RegQueryValueExA(key, kInstalledTimeValue, nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&stored), &size) == ERROR_SUCCESS &&
            size == sizeof stored;
        RegCloseKey(key);
        if (read) {
            *stamp = stored;
            return TRUE;
        }
    }
    if (!create) return FALSE;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return FALSE;
    const bool stored =
        RegSetValueExA(key, kInstalledTimeValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&now),
                       sizeof now) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (stored) *stamp = now;
    return stored ? TRUE : FALSE;
}

BOOL ReadSavedJobSettings(const ReviseContext* context, PRIVATE_DEVMODE* priv, DWORD m) {
    if (!context || !priv) return FALSE;
    std::string path;
    HKEY key = nullptr;
    if (!SettingsKey(context, priv, &path) ||
        RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return FALSE;
    // A number that is not stored leaves its field as it was.
    if (DWORD v = 0; (m & kJobFieldType) && ReadDword(key, kJobTypeValue, &v)) {
        priv->JobType = LOWORD(v);
        priv->JobTypeOptions = HIWORD(v);
    }
    if (m & kJobFieldMailbox) ReadText(key, kMailboxValue, priv->MailboxId, kIdBytes);
    if (m & kJobFieldSecureBox) ReadText(key, kSecureBoxValue, priv->SecureBoxId, kIdBytes);
    if (m & kJobFieldPassword) ReadPassword(key, priv->SecurePassword);
    if (m & kJobFieldInformation) {
        priv->JobInfoFlags &= ~kJobInfoAsked;
        ReadDword(key, kJobInformationValue, &priv->JobInfoFlags);
    }
    if (m & kJobFieldJobName) ReadText(key, kJobNameValue, priv->JobName, sizeof priv->JobName);
    if (m & kJobFieldUserName) ReadText(key, kUserNameValue, priv->UserName, sizeof priv->UserName);
    DWORD counter = (m & kJobMaskCounterState) ? kDeptCounterKeep : 0;
    ReadDword(key, kDeptCounterValue, &counter);
    priv->DeptCounterFlags = static_cast<WORD>((priv->DeptCounterFlags & ~kDeptCounterKeep) |
                                               (counter & kDeptCounterKeep));
    if (m & kJobFieldDeptCode) ReadText(key, kDeptCodeValue, priv->DeptCode, kIdBytes);
    RegCloseKey(key);
    return TRUE;
}

BOOL WriteSavedJobSettings(const ReviseContext* context, const PRIVATE_DEVMODE* priv) {
    if (!context || !priv) return FALSE;
    std::string path;
    HKEY key = nullptr;
    if (!SettingsKey(context, priv, &path) ||
        RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return FALSE;
    WriteDword(key, kJobTypeValue, MAKELONG(priv->JobType, priv->JobTypeOptions));
    WriteText(key, kMailboxValue, priv->MailboxId, kIdBytes, kStoredIdBytes);
    WriteText(key, kSecureBoxValue, priv->SecureBoxId, kIdBytes, kStoredIdBytes);
    WritePassword(key, priv->SecurePassword);
    WriteDword(key, kJobInformationValue, priv->JobInfoFlags);
    WriteText(key, kJobNameValue, priv->JobName, sizeof priv->JobName, kStoredJobNameBytes);
    WriteText(key, kUserNameValue, priv->UserName, sizeof priv->UserName, kStoredIdBytes);
    WriteDword(key, kDeptCounterValue, priv->DeptCounterFlags);
    WriteText(key, kDeptCodeValue, priv->DeptCode, kIdBytes, kStoredIdBytes);
    RegCloseKey(key);
    return TRUE;
}

BOOL LoadSavedJobInfo(ReviseContext* context, PRIVATE_DEVMODE* priv, DWORD mask) {
    if (!context || !priv || !context->printer) return FALSE;
    if (mask & kJobMaskFromSaved) return ReadSavedJobSettings(context, priv, mask);
    DEVMODE_IMAGEW stored;
    bool present = false;
    if (!ReadUserDefaultImage(context->printer, &stored, &present)) return FALSE;
    CopyJobFields(stored.priv, mask, 0, priv);
    return TRUE;
}

BOOL SaveJobInfo(ReviseContext* context, const PRIVATE_DEVMODE* priv, DWORD mask) {
    if (!context || !priv || !context->printer) return FALSE;
    if (mask & kJobMaskFromSaved) return WriteSavedJobSettings(context, priv);
    auto image = std::make_unique<DEVMODE_IMAGEW>();
    bool present = false;
    if (!ReadUserDefaultImage(context->printer, image.get(), &present)) {
        // Another driver's device mode is not this driver's to rewrite.
        if (present) return FALSE;
        if (!StampAndReviseDevmode(context->printer, context->binding.modelData, image.get()))
            return FALSE;
        ClearJobInfoFields(&image->priv, kClearJobFields, mask);
        std::memcpy(image->priv.OwnerUserName, priv->OwnerUserName, kIdBytes);
        std::memcpy(image->priv.OwnerComputerName, priv->OwnerComputerName, kIdBytes);
        image->priv.OwnerInstalledTime = priv->OwnerInstalledTime;
        if (!IsOwnDevmode(&image->dm)) return FALSE;
    }
    CopyJobFields(*priv, mask, 0, &image->priv);
    PRINTER_INFO_9W info{&image->dm};
    return SetPrinterW(context->printer, 9, reinterpret_cast<LPBYTE>(&info), 0);
}

} // namespace sheetwright

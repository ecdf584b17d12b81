// The installed-option list: which optional units the printer has, built from
// the model's option directory (query 37) and the printer data value
// "InstallOption", with the availability tests that combine it with the
// model tables.
#pragma once

#include "driver_env.h"
#include "model_codes.h"
#include "win/types.h"

namespace sheetwright {

struct InstallOptionEntry {
    WORD optionId;  // model option class
    WORD value;     // the unit's id within its class
    WORD trayKind;  // option 26: first word of the query-26 record listing the tray
    WORD modelWord; // word at offset 4 of the query-37 entry
    DWORD state;    // 0 not installed; finishers may carry 0x10000 and 0x20000 besides 1
    DWORD flags;    // bit 0: the user's to set, taken from the stored value
};
static_assert(sizeof(InstallOptionEntry) == 16);
static_assert(offsetof(InstallOptionEntry, trayKind) == 4);
static_assert(offsetof(InstallOptionEntry, state) == 8);
static_assert(offsetof(InstallOptionEntry, flags) == 12);

inline constexpr DWORD kOptionUserSettable = 0x1;
// Units of an installed finisher, in its state beside 1 (installed).
//
// 0x20000 is the fold unit. It is set from the finisher record's fold default
// (query 27 layout 3, offset 50) and gates the fold items (layout 5), whose
// codes fill the device mode's StapleMode and whose rules are the fold rules;
// the staple positions (layout 6, OutputBin) need no unit bit. The device's
// finisher name matches that record, so the bit means what the tables give
// it. "Can staple" is therefore asked of the finisher's staple list, not of
// this bit: a stapler without a folder staples.
inline constexpr DWORD kFinisherPunchUnit = 0x10000;
inline constexpr DWORD kFinisherFoldUnit = 0x20000;
inline constexpr WORD kAnyTrayKind = 0xFFFF;

inline constexpr char16_t kInstallOptionValue[] = u"InstallOption";
inline constexpr char16_t kInstallOptionSizeValue[] = u"InstallOptionSize";
inline constexpr char16_t kChangePaperTrayValue[] = u"ChangePaperTray";

[[nodiscard]] DWORD ReadInstallOption(HANDLE printer, InstallOptionEntry* entries, DWORD* size,
                                      DWORD* count, const ModelBlock* binding);
[[nodiscard]] DWORD WriteInstallOption(HANDLE printer, const InstallOptionEntry* entries,
                                       DWORD count, const ModelBlock* binding);
BOOL EnforceMemoryLimit(InstallOptionEntry* entries, DWORD count, const InstallOptionEntry* changed,
                        const ModelBlock* binding);

class CInstallOption {
  public:
    CInstallOption(HANDLE printer, const ModelBlock* binding);
    ~CInstallOption() { FreeEntries(); }
    CInstallOption(const CInstallOption&) = delete;
    CInstallOption& operator=(const CInstallOption&) = delete;

    void FreeEntries();
    [[nodiscard]] BOOL Reload();
    DWORD Write() const { return WriteInstallOption(printer_, entries_, count_, binding_); }

    InstallOptionEntry* Entries() const { return entries_; }
    DWORD Count() const { return count_; }

    DWORD CountEntries(WORD option, WORD kind) const;
    InstallOptionEntry* FindNth(WORD option, DWORD n) const;
    InstallOptionEntry* Find(WORD option, WORD value) const;
    InstallOptionEntry* FindByValue(WORD option, WORD value) const;
    void ClearOption(WORD option);
    InstallOptionEntry* FindKind5Tray() const;
    InstallOptionEntry* FindInstalledFinisher(DWORD n) const;

    DWORD ChangePaperTray() const { return changePaperTray_; }
    void SetChangePaperTray(DWORD value) { changePaperTray_ = value; }
    DWORD ChangePaperTraySupported() const { return changePaperTraySupported_; }

  private:
    void Build(HANDLE printer);

    HANDLE printer_;
    const ModelBlock* binding_;
    InstallOptionEntry* entries_ = nullptr;
    DWORD count_ = 0;
    DWORD changePaperTray_ = 0;
    DWORD changePaperTrayDefault_ = 1;
    DWORD changePaperTraySupported_ = 0;
};

struct ModelOptionPair {
    const ModelBlock* binding;
    CInstallOption* options;
};
static_assert(sizeof(ModelOptionPair) == 16);

// {flags, minimum memory of class 36, minimum memory of class 35}.
struct FeatureLimits {
    DWORD flags;
    DWORD minimum36;
    DWORD minimum35;
};

BOOL IsFeatureAvailable(const ModelOptionPair* pair, DWORD mask, const FeatureLimits* limits);
// The memory of one class (option 35 or 36) in MB: on board plus every
// module that is standard, or optional and installed.
DWORD GetInstalledMemory(const ModelOptionPair* pair, WORD memoryClass);
// The printer's installed memory (option 36), in MB.
inline DWORD GetInstalledMemorySize(const ModelOptionPair* pair) {
    return GetInstalledMemory(pair, kOptionMemory36);
}
DWORD GetStandardMemorySize(const ModelOptionPair* pair);
BOOL HasModelFlag25Bits2To3(const ModelOptionPair* pair);
BOOL HasModelFlag25Bits0To1(const ModelOptionPair* pair);
BOOL IsOption25BInstalled(const ModelOptionPair* pair);
BOOL IsOption25AInstalled(const ModelOptionPair* pair);
BOOL IsTable29FeatureAvailable(const ModelOptionPair* pair);
BOOL IsTable38FeatureAvailable(const ModelOptionPair* pair);
BOOL IsJobType60Available(const ModelOptionPair* pair);
BOOL IsJobType61Available(const ModelOptionPair* pair);
BOOL IsJobType62Available(const ModelOptionPair* pair);
BOOL IsJobType73Available(const ModelOptionPair* pair);
BOOL IsJobType74Available(const ModelOptionPair* pair);
BOOL HasTable37Entry(const ModelOptionPair* pair, WORD option);
BOOL IsTrayAvailable(const ModelOptionPair* pair, WORD tray);
BOOL HasKind4PaperSource(const ModelOptionPair* pair);
BOOL HasModelFlag25Bit4(const ModelOptionPair* pair);
BOOL HasModelFlag25Bit8(const ModelOptionPair* pair);
BOOL LacksTable22Flag(const ModelOptionPair* pair);
BOOL HasTable79Flags(const ModelOptionPair* pair);
BOOL HasTable57FlagA(const ModelOptionPair* pair, DWORD mask);
BOOL HasTable57FlagB(const ModelOptionPair* pair, DWORD mask);
BOOL MarkFinisherInstalled(const ModelOptionPair* pair, WORD finisher, DWORD a, DWORD b);

} // namespace sheetwright

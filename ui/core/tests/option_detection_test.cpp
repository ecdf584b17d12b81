// Installed options learnt at installation without a device to ask: the
// installer's registry cache read and deleted, the printer event taking the
// cache for a printer whose port reaches no device, the owner names cleared
// from the printer's defaults, and the device-option module that the sample
// model names but the package does not ship.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "devmode_helpers.h"
#include "install_option.h"
#include "model_codes.h"
#include "option_detection.h"
#include "option_module.h"
#include "printer_events.h"
#include "saved_job_info.h"
#include "revise_devmode.h"
#include "ui_entry_points.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/registry.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;

// The sample model's names (queries 15 and 11): the 32-bit installer writes
// them under its own HKLM\SOFTWARE, which the driver finds below Wow6432Node.
constexpr char16_t kInstallerKey[] = u"SOFTWARE\\Velmora\\Velmora CX5540 MFP";
constexpr char16_t kCacheKey[] = u"SOFTWARE\\Wow6432Node\\Velmora\\Velmora CX5540 MFP";
constexpr WORD kOptionBins = model::kQueryOutputBins;

struct Cache {
    DWORD options = 0x1 | 0x2 | 0x8 | 0x10; // duplex, hard disk, large tray, every bin
    DWORD trays = 3;                        // two standard trays and one feeder
    DWORD ram = 1536 * 1024;                // 512 MB on board and the 1024 MB module
    std::u16string finisher = u"FS-5500";
    DWORD capabilities = 1; // department counter
};

void SetDword(HKEY key, const char16_t* name, DWORD value) {
    ASSERT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof value),
              ERROR_SUCCESS);
}

void WriteCache(const Cache& c) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallerKey, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    SetDword(key, u"Installed Option", c.options);
    SetDword(key, u"Number of Tray", c.trays);
    SetDword(key, u"Installed RAM", c.ram);
    SetDword(key, u"Capabilities", c.capabilities);
    ASSERT_EQ(RegSetValueExW(key, u"Finisher Option", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(c.finisher.c_str()),
                             static_cast<DWORD>((c.finisher.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// How many of the cache's values are left; -1 when the key is gone.
int CacheValuesLeft() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCacheKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    int left = 0;
    for (const char16_t* name : {u"Installed Option", u"Number of Tray", u"Installed RAM",
                                 u"Finisher Option", u"Capabilities"})
        left += RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return left;
}

DWORD State(const CInstallOption& list, WORD option, WORD value) {
    const InstallOptionEntry* e = list.Find(option, value);
    return e ? e->state : 0xDEAD;
}

// What the sample's cache above stands for in the installed-option list.
void ExpectCachedOptions(const CInstallOption& list) {
    EXPECT_EQ(State(list, kOption25, 1), 1u) << "duplex unit";
    EXPECT_EQ(State(list, kOptionMemory35, 1), 1u) << "hard disk";
    ASSERT_NE(list.FindKind5Tray(), nullptr);
    EXPECT_EQ(list.FindKind5Tray()->state, 1u) << "large-capacity tray";
    EXPECT_EQ(list.FindNth(kOptionTray, 1)->state, 1u) << "first feeder";
    EXPECT_EQ(list.FindNth(kOptionTray, 2)->state, 0u) << "second feeder";
    for (DWORD n = 1; const InstallOptionEntry* bin = list.FindNth(kOptionBins, n); ++n)
        EXPECT_EQ(bin->state, 1u) << "bin " << bin->value;
    EXPECT_EQ(State(list, kOptionMemory36, 2), 1u) << "1024 MB module";
    EXPECT_EQ(State(list, kOptionMemory36, 1), 0u) << "512 MB module";
    EXPECT_NE(State(list, kOptionFinisher, 1), 0u) << "FS-5500";
    EXPECT_EQ(State(list, kOptionFinisher, 2), 0u);
    EXPECT_EQ(State(list, kOption63, 1), 1u) << "department counter";
}

TEST(OptionCache, ReadThenDeleted) {
    ui_test::InstallPrinter(u"C1", ui_test::SampleModel("CX5540"));
    ui_test::BoundPrinter p(u"C1");
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    ASSERT_EQ(State(list, kOption25, 1), 0u);
    EXPECT_EQ(ReadOptionCache(p.binding(), &list), kDetectNoCacheKey);
    EXPECT_EQ(DeleteOptionCache(p.binding()), DWORD{ERROR_FILE_NOT_FOUND});

    WriteCache(Cache{});
    EXPECT_EQ(ReadOptionCache(p.binding(), &list), kDetectOk);
    ExpectCachedOptions(list);
    EXPECT_EQ(DeleteOptionCache(p.binding()), kDetectOk);
    EXPECT_EQ(CacheValuesLeft(), 0) << "the values go, the key stays";

    // Values that are missing leave the options as they were.
    list.Find(kOption25, 1)->state = 0;
    EXPECT_EQ(ReadOptionCache(p.binding(), &list), kDetectOk);
    EXPECT_EQ(State(list, kOption25, 1), 0u);
    EXPECT_NE(State(list, kOptionFinisher, 1), 0u);

    // Fewer trays than the model's standard sources fit no feeder; a
    // finisher the model does not know leaves none fitted.
    Cache fewer;
    fewer.trays = 1;
    fewer.finisher = u"fs-5500";
    WriteCache(fewer);
    EXPECT_EQ(ReadOptionCache(p.binding(), &list), kDetectOk);
    EXPECT_EQ(list.FindNth(kOptionTray, 1)->state, 0u);
    EXPECT_EQ(list.FindInstalledFinisher(0), nullptr);

    EXPECT_EQ(ReadOptionCache(nullptr, &list), kDetectBadArgument);
    EXPECT_EQ(ReadOptionCache(p.binding(), nullptr), kDetectBadArgument);
    EXPECT_EQ(DeleteOptionCache(nullptr), kDetectNoModelNames);
}

TEST(OptionDetection, PortWithoutDeviceIsNotAsked) {
    ui_test::InstallPrinter(u"C2", ui_test::SampleModel("CX5540"), {"Devprobe.DLL"});
    ui_test::BoundPrinter p(u"C2");
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    const std::vector<InstallOptionEntry> before(list.Entries(), list.Entries() + list.Count());
    EXPECT_EQ(DetectInstalledOptions(p.binding(), &list, u"LPT1:"), kDetectNotAsked);
    EXPECT_EQ(std::memcmp(before.data(), list.Entries(), before.size() * sizeof before[0]), 0);
    EXPECT_EQ(DetectInstalledOptions(nullptr, &list, u"LPT1:"), kDetectBadArgument);
    EXPECT_EQ(DetectInstalledOptions(p.binding(), nullptr, u"LPT1:"), kDetectBadArgument);
    EXPECT_EQ(DetectInstalledOptions(p.binding(), &list, nullptr), kDetectBadArgument);

    // The device-option module the model names is not part of the package.
    EXPECT_EQ(QuerySchemaOptions(p.binding(), u"C2", &list, 0), -1);
    EXPECT_EQ(RequerySchemaOptions(p.binding(), u"C2", &list,
                                   u"\\Printer.NKTDeviceOptions.General.DeviceName001:Name"),
              0);
    EXPECT_EQ(std::memcmp(before.data(), list.Entries(), before.size() * sizeof before[0]), 0);
}

TEST(OptionDetection, SmallModelNamesNoDeviceOptionModule) {
    ui_test::InstallPrinter(u"C3", ui_test::SampleModel("LP1220"));
    ui_test::BoundPrinter p(u"C3");
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    EXPECT_EQ(QuerySchemaOptions(p.binding(), u"C3", &list, 0), -1);
    EXPECT_EQ(ReadOptionCache(p.binding(), &list), kDetectNoCacheKey);
}

// Printer event 3 on a printer whose port reaches no device: the cache
// decides and is used up, the list is stored, and the printer's defaults
// lose their owner's names but keep the job fields.
TEST(OptionDetection, InitializationTakesTheCacheWhenTheDeviceCannotBeAsked) {
    ui_test::InstallPrinter(u"C4", ui_test::SampleModel("CX5540"), {"Devprobe.DLL"});
    {
        ui_test::BoundPrinter p(u"C4");
        ASSERT_TRUE(p.ok());
        auto image = std::make_unique<DEVMODE_IMAGEW>();
        StampDevmodeHeader(image.get());
        ASSERT_EQ(ReviseDevmodeEx(p.printer(), p.binding()->modelData, nullptr, &image->dm,
                                  kReviseDefaults),
                  0u);
        std::strcpy(image->priv.OwnerUserName, "maker");
        std::strcpy(image->priv.OwnerComputerName, "WORKSHOP");
        std::strcpy(image->priv.JobName, "kept");
        ASSERT_TRUE(RewritePrinterInfo2(p.printer(), &image->dm));
    }
    WriteCache(Cache{});
    WCHAR name[] = u"C4";
    EXPECT_TRUE(UiDrvPrinterEvent(name, PRINTER_EVENT_INITIALIZE, 0, 0));
    EXPECT_EQ(CacheValuesLeft(), 0);

    ui_test::BoundPrinter p(u"C4");
    CInstallOption stored(p.printer(), p.binding());
    ExpectCachedOptions(stored);
    auto image = std::make_unique<DEVMODE_IMAGEW>();
    ASSERT_TRUE(ReadPrinterInfo2(p.printer(), image.get()));
    EXPECT_EQ(image->priv.Signature, PRIVATE_DEVMODE_SIGNATURE);
    EXPECT_STREQ(image->priv.OwnerUserName, "");
    EXPECT_STREQ(image->priv.OwnerComputerName, "");
    EXPECT_STREQ(image->priv.JobName, "kept");
}

TEST(ClearJobInfoFields, ByMask) {
    auto filled = [] {
        PRIVATE_DEVMODE priv{};
        std::strcpy(priv.OwnerUserName, "user");
        std::strcpy(priv.OwnerComputerName, "pc");
        priv.JobType = 3;
        std::strcpy(priv.MailboxId, "box");
        std::strcpy(priv.SecureBoxId, "secure");
        std::strcpy(priv.SecurePassword, "pw");
        std::strcpy(priv.UserName, "name");
        std::strcpy(priv.JobName, "job");
        std::strcpy(priv.DeptCode, "42");
        priv.DeptCounterFlags = 0x3;
        priv.JobInfoFlags = 0x30003;
        return priv;
    };
    PRIVATE_DEVMODE priv = filled();
    EXPECT_TRUE(ClearJobInfoFields(&priv, kClearOwnerUser | kClearOwnerComputer, 0xFF));
    EXPECT_STREQ(priv.OwnerUserName, "");
    EXPECT_STREQ(priv.OwnerComputerName, "");
    EXPECT_EQ(priv.JobType, 3) << "job fields only with the third bit";
    EXPECT_STREQ(priv.JobName, "job");

    priv = filled();
    EXPECT_TRUE(ClearJobInfoFields(&priv, kClearJobFields, 0xFF | 0x10000));
    EXPECT_STREQ(priv.OwnerUserName, "user");
    EXPECT_EQ(priv.JobType, 0);
    for (const char* text : {priv.MailboxId, priv.SecureBoxId, priv.SecurePassword, priv.UserName,
                             priv.JobName, priv.DeptCode})
        EXPECT_STREQ(text, "");
    EXPECT_EQ(priv.DeptCounterFlags, 0x7) << "input at print from the mask";
    EXPECT_EQ(priv.JobInfoFlags, 0x3u);

    priv = filled();
    priv.DeptCounterFlags = 0x7;
    EXPECT_TRUE(ClearJobInfoFields(&priv, kClearJobFields, 0x80));
    EXPECT_EQ(priv.DeptCounterFlags, 0x3);
    EXPECT_STREQ(priv.JobName, "job");
    EXPECT_FALSE(ClearJobInfoFields(nullptr, kClearOwnerUser, 0));
}

} // namespace

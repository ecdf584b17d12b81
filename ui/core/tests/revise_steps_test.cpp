// Steps of the device-mode revision on their own: the walk over the job
// tables, the job fields of a device mode made by someone else, the fields
// that filling defaults sets, and the prior-print request checked against
// the device behind the printer's port.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "devmode_helpers.h"
#include "platform/facts.h"
#include "revise_devmode.h"
#include "saved_job_info.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/registry.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;

// The feature bits (private +12) that offer the job tables 60, 61, 62, 73, 74.
constexpr DWORD kOffers60 = 1u << 24, kOffers61 = 1u << 28, kOffers62 = 1u << 29,
                kOffers73 = 1u << 25, kOffers74 = 1u << 26;
constexpr DWORD kAllJobOffers = kOffers60 | kOffers61 | kOffers62 | kOffers73 | kOffers74;

// The first word of a job table, as its first and second layouts give it.
void SetJobTableWord(nlohmann::json& codes, const char* table, unsigned word) {
    codes[table]["1"] = {word};
    codes[table]["2"][0] = word;
}

struct Printer {
    template <class Edit>
    Printer(const std::u16string& name, Edit edit, const std::vector<std::string>& extra = {}) {
        auto source = ui_test::SampleSource("CX5540");
        edit(source["codes"]);
        ui_test::InstallPrinter(name, ui_test::Compile(source), extra);
        bound = std::make_unique<ui_test::BoundPrinter>(name);
        EXPECT_TRUE(bound->ok());
        context.printer = bound->printer();
        context.binding = *bound->binding();
    }
    std::unique_ptr<ui_test::BoundPrinter> bound;
    ReviseContext context;
};

// The walk over the job tables by the image's offers: b bit 5 names the
// table's job type, bit 4 lets the walk go on (and clears the table's flag),
// bit 1 keeps the mailbox (table 74: the secure box), bit 2 the password,
// bit 6 keeps nothing; the first word's bits 7 and 8 mark the record. Once a
// job type is found only tables of the incoming job type are visited.
TEST(JobFields, WalkOverTheJobTables) {
    Printer p(u"Jobs", [](auto& c) {
        SetJobTableWord(c, "60", 0x37);  // type 1, go on, keep mailbox and password
        SetJobTableWord(c, "61", 0x20);  // type 4, stop
        SetJobTableWord(c, "62", 0x190); // go on, bits 7 and 8
        SetJobTableWord(c, "73", 0x76);  // type 2, go on, keeps nothing
        SetJobTableWord(c, "74", 0x32);  // type 3, go on, keep the secure box
        c["35"]["entries"] = {{1, 3501, "0x02", 320}};
    });
    Printer missing(u"Missing", [](auto& c) {
        c.erase("60");
        SetJobTableWord(c, "73", 0x76);
        c.erase("35");
    });
    constexpr DWORD kFound = kJobMaskTypeFound;
    struct Case {
        const char* what;
        Printer* printer;
        DWORD offers;
        WORD incoming;
        BOOL result;
        WORD jobType, flags;
        DWORD mask;
        DWORD tableFlags[5];
    } cases[] = {
        {"nothing offered", &p, 0, 0, TRUE, 0, 0, 0xFF, {1, 1, 1, 1, 1}},
        {"nothing offered, a type coming in", &p, 0, 3, TRUE, 3, 0, 0xFF, {1, 1, 1, 1, 1}},
        {"table 60", &p, kOffers60, 0, TRUE, 1, 0, 0xFA | kFound, {0, 1, 1, 1, 1}},
        {"table 61 stops the walk", &p, kOffers61, 0, TRUE, 4, 0, 0xFF, {1, 1, 1, 1, 1}},
        {"table 62 without a type", &p, kOffers62, 0, TRUE, 0, 1, 0xF0, {1, 1, 0, 1, 1}},
        {"table 73 keeps nothing", &p, kOffers73, 0, TRUE, 2, 0, 0xF0 | kFound, {1, 1, 1, 0, 1}},
        {"table 74 keeps the secure box",
         &p,
         kOffers74,
         0,
         TRUE,
         3,
         0,
         0xF4 | kFound,
         {1, 1, 1, 1, 0}},
        {"62 then 74", &p, kOffers62 | kOffers74, 0, TRUE, 3, 1, 0xF4 | kFound, {1, 1, 0, 1, 0}},
        {"a type found passes the others",
         &p,
         kOffers60 | kOffers61,
         0,
         TRUE,
         1,
         0,
         0xFA | kFound,
         {0, 1, 1, 1, 1}},
        {"the incoming type visits on",
         &p,
         kOffers60 | kOffers61,
         1,
         TRUE,
         4,
         0,
         0xFF,
         {0, 1, 1, 1, 1}},
        {"61 before 62", &p, kOffers61 | kOffers62, 0, TRUE, 4, 0, 0xFF, {1, 1, 1, 1, 1}},
        {"every table offered", &p, kAllJobOffers, 0, TRUE, 1, 0, 0xFA | kFound, {0, 1, 1, 1, 1}},
        {"62, 73 and 74",
         &p,
         kOffers62 | kOffers73 | kOffers74,
         0,
         TRUE,
         2,
         1,
         0xF0 | kFound,
         {1, 1, 0, 0, 1}},
        {"a table that does not answer",
         &missing,
         kOffers60 | kOffers73,
         0,
         FALSE,
         2,
         0,
         0xF0 | kFound,
         {1, 1, 1, 0, 1}},
        {"only a table that does not answer",
         &missing,
         kOffers60,
         5,
         FALSE,
         5,
         0,
         0xFF,
         {1, 1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DEVMODE_IMAGEW image{};
        image.priv.PrivateFlags = c.offers;
        JobFieldCheck record{c.incoming, 0x8, 0x1234, {7, 7, 7, 7, 7}};
        EXPECT_EQ(ValidateJobInputFields(&c.printer->context, &image, &record), c.result);
        EXPECT_EQ(record.jobType, c.jobType);
        EXPECT_EQ(record.flags, c.flags);
        EXPECT_EQ(record.mask, c.mask);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(record.tableFlags[i], c.tableFlags[i]) << "table flag " << i;
    }
    DEVMODE_IMAGEW image{};
    JobFieldCheck record{2, 0x8, 0x1234, {7, 7, 7, 7, 7}};
    EXPECT_FALSE(ValidateJobInputFields(nullptr, &image, &record));
    EXPECT_FALSE(ValidateJobInputFields(&p.context, nullptr, &record));
    EXPECT_EQ(record.jobType, 2);
    EXPECT_EQ(record.mask, 0x1234u);
    EXPECT_EQ(record.tableFlags[0], 7u);
}

// Job fields of a recognisable kind, stamped with `tag`.
void FillJobFields(PRIVATE_DEVMODE* priv, const char* tag, WORD jobType) {
    auto put = [&](char* field, size_t bytes, const char* what) {
        std::memset(field, 0, bytes);
        std::snprintf(field, bytes, "%s %s", tag, what);
    };
    priv->JobType = jobType;
    priv->JobTypeOptions = 0x4;
    put(priv->MailboxId, sizeof priv->MailboxId, "box");
    put(priv->SecureBoxId, sizeof priv->SecureBoxId, "secure");
    put(priv->SecurePassword, sizeof priv->SecurePassword, "pw");
    put(priv->UserName, sizeof priv->UserName, "user");
    put(priv->JobName, sizeof priv->JobName, "job");
    put(priv->DeptCode, sizeof priv->DeptCode, "dept");
    priv->JobInfoFlags = 0x30001 | (jobType << 8);
    priv->DeptCounterFlags = static_cast<WORD>(0x4 | jobType << 8);
}

enum class Expect { Unchanged, FromStored, Cleared };

// The job fields after RefreshJobSettings, against the image before and the
// stored device mode they may come from.
void CheckJobFields(const PRIVATE_DEVMODE& after, const PRIVATE_DEVMODE& before,
                    const PRIVATE_DEVMODE& stored, Expect expect, bool wholeCounterWord) {
    if (expect == Expect::Unchanged) {
        EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0);
        return;
    }
    const bool from = expect == Expect::FromStored;
    const PRIVATE_DEVMODE zero{};
    const PRIVATE_DEVMODE& text = from ? stored : zero;
    EXPECT_EQ(after.JobType, from ? stored.JobType : 0);
    EXPECT_EQ(after.JobTypeOptions, from ? stored.JobTypeOptions : 0);
    EXPECT_STREQ(after.MailboxId, text.MailboxId);
    EXPECT_STREQ(after.SecureBoxId, text.SecureBoxId);
    EXPECT_STREQ(after.SecurePassword, text.SecurePassword);
    EXPECT_STREQ(after.UserName, text.UserName);
    EXPECT_STREQ(after.JobName, text.JobName);
    EXPECT_STREQ(after.DeptCode, text.DeptCode);
    EXPECT_EQ(after.JobInfoFlags, from ? stored.JobInfoFlags : (before.JobInfoFlags & ~0x30000u));
    // Cleared: the counter bit goes (the model's prompt lacks bits 0, 4
    // and 6 together), the other bits stay. Taken from the printer's device
    // mode the whole word comes; from the user's only the counter bit.
    const auto others = static_cast<WORD>(before.DeptCounterFlags & ~0x4);
    if (!from)
        EXPECT_EQ(after.DeptCounterFlags, others);
    else if (wholeCounterWord)
        EXPECT_EQ(after.DeptCounterFlags, stored.DeptCounterFlags);
    else
        EXPECT_EQ(after.DeptCounterFlags, others | (stored.DeptCounterFlags & 0x4));
    // The owner is now this user on this computer.
    char user[32] = {}, computer[32] = {};
    GetUserNameAnsi(user);
    GetComputerNameAnsi(computer);
    EXPECT_STREQ(after.OwnerUserName, user);
    EXPECT_STREQ(after.OwnerComputerName, computer);
}

// A device mode made by someone else takes its job fields from the printer's
// device mode, or has them cleared: with the model's key for saved settings
// (table 76, bit 5) from the printer's own device mode, without it from the
// user's default device mode, each only when it is the driver's own. One
// made here by this user for this installation is left as it is.
TEST(JobFields, ADeviceModeOfSomeoneElse) {
    Printer keyed(u"Keyed", [](auto&) {});
    Printer plain(u"Plain", [](auto& c) { c["76"]["entries"] = {{3, "0x02"}, {16, "0x02"}}; });
    platform::test::SetUserName(u"anna");
    platform::test::SetComputerName(u"DESK");

    enum class Owner { Here, OtherUser, OtherComputer };
    struct Case {
        const char* what;
        Printer* printer;
        Owner owner;
        bool globalOwn, userOwn; // the printer's and the user's device modes
        Expect expect;
        const char* from; // the stored device mode the fields come from
    } cases[] = {
        {"keyed: from the printer's device mode", &keyed, Owner::OtherUser, true, true,
         Expect::FromStored, "global"},
        {"keyed: also from another computer", &keyed, Owner::OtherComputer, true, false,
         Expect::FromStored, "global"},
        {"keyed: also made here", &keyed, Owner::Here, true, false, Expect::FromStored, "global"},
        {"keyed: another driver's device mode", &keyed, Owner::OtherUser, false, true,
         Expect::Cleared, nullptr},
        {"plain: from the user's device mode", &plain, Owner::OtherUser, true, true,
         Expect::FromStored, "user"},
        {"plain: another computer", &plain, Owner::OtherComputer, false, true, Expect::FromStored,
         "user"},
        {"plain: the user's is another driver's", &plain, Owner::OtherUser, true, false,
         Expect::Cleared, nullptr},
        {"plain: made here", &plain, Owner::Here, true, true, Expect::Unchanged, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReviseContext& context = c.printer->context;
        DEVMODE_IMAGEW defaults{};
        ASSERT_TRUE(StampAndReviseDevmode(context.printer, context.binding.modelData, &defaults));
        auto stored = [&](const char* tag, bool own) {
            DEVMODE_IMAGEW s = defaults;
            FillJobFields(&s.priv, tag, std::strcmp(tag, "global") == 0 ? 3 : 2);
            if (!own) s.priv.Signature = 0x12345678;
            // The user's without the counter bit, which alone would come over.
            if (std::strcmp(tag, "user") == 0) s.priv.DeptCounterFlags = 0x200;
            return s;
        };
        DEVMODE_IMAGEW global = stored("global", c.globalOwn);
        DEVMODE_IMAGEW user = stored("user", c.userOwn);
        ASSERT_TRUE(RewritePrinterInfo2(context.printer, &global.dm));
        PRINTER_INFO_9W info{&user.dm};
        ASSERT_TRUE(SetPrinterW(context.printer, 9, reinterpret_cast<LPBYTE>(&info), 0));

        DEVMODE_IMAGEW d = defaults;
        d.priv.PrivateFlags &= ~kAllJobOffers; // the whole mask, no job type
        FillJobFields(&d.priv, "mine", 1);
        GetUserNameAnsi(d.priv.OwnerUserName);
        GetComputerNameAnsi(d.priv.OwnerComputerName);
        ReadInstalledTime(&context, &d.priv.OwnerInstalledTime, FALSE);
        if (c.owner == Owner::OtherUser) std::strcpy(d.priv.OwnerUserName, "bert");
        if (c.owner == Owner::OtherComputer) std::strcpy(d.priv.OwnerComputerName, "LAPTOP");
        const DEVMODE_IMAGEW before = d;
        context.flags = 0;
        ASSERT_TRUE(RefreshJobSettings(&context, &d, kReviseCarryOver));
        const PRIVATE_DEVMODE& source =
            c.from && std::strcmp(c.from, "user") == 0 ? user.priv : global.priv;
        CheckJobFields(d.priv, before.priv, source, c.expect, source.JobType == 3);
    }
    DEVMODE_IMAGEW d{};
    EXPECT_FALSE(RefreshJobSettings(nullptr, &d, kReviseCarryOver));
    EXPECT_FALSE(RefreshJobSettings(&keyed.context, nullptr, kReviseCarryOver));
}

// Filling defaults: both covers from source 4, no overlay on top, the
// watermark option by bit 10 of table 58, the colour adjustment switches off
// (+328, +332, +336, +338) or on (+330, +334), and a binding margin of 0
// from the model (table 25: 0.5 in or 13 mm, in dots at 600 dpi). Carrying
// over only mends the switches and lowers the margin to the model's largest
// (2.00 in or 50.0 mm at the image's unit).
TEST(RevisionDefaults, PrivateFieldsOfAFilledDeviceMode) {
    auto margins = [](auto& c) { c["25"]["margins"] = {50, 200, 130, 500}; };
    Printer plain(u"Plain", margins);
    Printer watermark(u"Watermark", [&](auto& c) {
        margins(c);
        c["58"]["1"] = {"0x41C"};
    });
    auto u16 = [](const PRIVATE_DEVMODE& priv, size_t at) {
        WORD v;
        std::memcpy(&v, reinterpret_cast<const BYTE*>(&priv) + at, 2);
        return v;
    };
    auto setU16 = [](PRIVATE_DEVMODE& priv, size_t at, WORD v) {
        std::memcpy(reinterpret_cast<BYTE*>(&priv) + at, &v, 2);
    };
    struct Case {
        const char* what;
        Printer* printer;
        DWORD mode;
        WORD region, unit, margin;
        WORD wantMargin, wantWatermark, wantCovers, wantOverlay;
        WORD want328, want330, want332, want334;
    } cases[] = {
        {"defaults, letter region", &plain, kReviseDefaults, 0, 600, 0, 300, 0, 4, 0, 0, 1, 0, 1},
        {"defaults, A4 region", &plain, kReviseDefaults, kA4Region, 600, 0, 307, 0, 4, 0, 0, 1, 0,
         1},
        {"defaults keep a margin", &plain, kReviseDefaults, 0, 600, 40, 40, 0, 4, 0, 0, 1, 0, 1},
        {"defaults, watermark model", &watermark, kReviseDefaults, 0, 600, 0, 300, 1, 4, 0, 0, 1, 0,
         1},
        {"carried, letter region", &plain, kReviseCarryOver, 0, 600, 30000, 1200, 5, 9, 1, 1, 0, 0,
         1},
        {"carried, A4 region", &plain, kReviseCarryOver, kA4Region, 600, 30000, 1181, 5, 9, 1, 1, 0,
         0, 1},
        {"carried, no unit is 600", &plain, kReviseCarryOver, 0, 0, 30000, 1200, 5, 9, 1, 1, 0, 0,
         1},
        {"carried at 1200, A4 region", &plain, kReviseCarryOver, kA4Region, 1200, 30000, 2362, 5, 9,
         1, 1, 0, 0, 1},
        {"carried, within the largest", &plain, kReviseCarryOver, 0, 600, 1000, 1000, 5, 9, 1, 1, 0,
         0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DEVMODE_IMAGEW d{};
        StampDevmodeHeader(&d);
        d.dm.dmDuplex = DMDUP_VERTICAL;
        d.dm.dmMediaType = 258;
        d.priv.MeasureFlags = c.region;
        d.priv.LengthUnitDpi = c.unit;
        d.priv.DuplexMargin = c.margin;
        d.priv.FrontCoverSource = 9;
        d.priv.BackCoverSource = 9;
        d.priv.FrontCoverMedia = 0;
        d.priv.BackCoverMedia = 257;
        d.priv.OverlayOnTop = 1;
        setU16(d.priv, 742, 5);
        setU16(d.priv, 328, 1);
        setU16(d.priv, 330, 0);
        setU16(d.priv, 332, 5);
        setU16(d.priv, 334, 7);
        setU16(d.priv, 336, 1);
        setU16(d.priv, 338, 2);
        ASSERT_TRUE(FixupDevmodeFields(&c.printer->context, &d, c.mode));
        EXPECT_EQ(d.priv.DuplexMargin, c.wantMargin);
        EXPECT_EQ(u16(d.priv, 742), c.wantWatermark);
        EXPECT_EQ(d.priv.FrontCoverSource, c.wantCovers);
        EXPECT_EQ(d.priv.BackCoverSource, c.wantCovers);
        EXPECT_EQ(d.priv.OverlayOnTop, c.wantOverlay);
        EXPECT_EQ(d.priv.FrontCoverMedia, 258u); // an empty cover media takes the job's
        EXPECT_EQ(d.priv.BackCoverMedia, 257u);
        EXPECT_EQ(u16(d.priv, 328), c.want328);
        EXPECT_EQ(u16(d.priv, 330), c.want330);
        EXPECT_EQ(u16(d.priv, 332), c.want332);
        EXPECT_EQ(u16(d.priv, 334), c.want334);
        EXPECT_EQ(u16(d.priv, 336), c.mode == kReviseDefaults ? 0 : 1);
        EXPECT_EQ(u16(d.priv, 338), 0);
        EXPECT_EQ(d.priv.DuplexMarginFlags & 1u, 1u);
        EXPECT_EQ(d.priv.DeptCounterFlags & 0x2, 0x2);
    }
}

// Filling defaults also stamps the owner (this user, this computer, the
// user's installation stamp) and marks the job-type options: 2 when a job
// table's first word has bits 7 and 8, 1 more when a job type was found.
TEST(RevisionDefaults, OwnerAndJobTypeOptions) {
    Printer p(u"Owner", [](auto& c) {
        SetJobTableWord(c, "60", 0x1B7); // type 1, go on, bits 7 and 8
        SetJobTableWord(c, "73", 0x10);  // go on, no type
    });
    platform::test::SetUserName(u"anna");
    platform::test::SetComputerName(u"DESK");
    struct Case {
        DWORD offers;
        WORD want;
    } cases[] = {{0, 0}, {kOffers60, 3}, {kOffers73, 0}};
    for (const Case& c : cases) {
        DEVMODE_IMAGEW d{};
        d.priv.PrivateFlags = c.offers;
        d.priv.JobTypeOptions = 0x40;
        std::strcpy(d.priv.OwnerUserName, "bert");
        ASSERT_TRUE(RefreshJobSettings(&p.context, &d, kReviseDefaults));
        EXPECT_EQ(d.priv.JobTypeOptions, c.want) << std::hex << c.offers;
        EXPECT_STREQ(d.priv.OwnerUserName, "anna");
        EXPECT_STREQ(d.priv.OwnerComputerName, "DESK");
        SYSTEMTIME stamp{}, none{};
        ASSERT_TRUE(ReadInstalledTime(&p.context, &stamp, FALSE));
        EXPECT_NE(std::memcmp(&stamp, &none, sizeof stamp), 0);
        EXPECT_EQ(std::memcmp(&d.priv.OwnerInstalledTime, &stamp, sizeof stamp), 0);
    }
    // A stamp already there is kept.
    DEVMODE_IMAGEW d{};
    d.priv.OwnerInstalledTime.wYear = 1999;
    ASSERT_TRUE(RefreshJobSettings(&p.context, &d, kReviseDefaults));
    EXPECT_EQ(d.priv.OwnerInstalledTime.wYear, 1999);
}

// A requested prior-print check (+844 with bit 3 of +20, which the model's
// revision sets by bit 0 of table 71) stays only when the device behind the
// port has a capability of table 71's port mask: network ports 0x4000, USB
// ports 0x2000.
TEST(Revision, PriorPrintNeedsTheDevicesCapability) {
    const std::u16string monitors =
        u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\";
    auto port = [&](const char16_t* name, const char16_t* address) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (monitors + name).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        for (const char16_t* value : {u"HostName", u"IPAddress", u"Server Name"})
            RegSetValueExW(
                key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(address),
                static_cast<DWORD>((std::char_traits<char16_t>::length(address) + 1) * 2));
        RegCloseKey(key);
    };
    port(u"IP_20", u"192.168.1.20");
    Printer network(u"Network", [](auto& c) { c["71"]["mask"] = "0x1C001"; }, {"Devprobe.DLL"});
    Printer usbOnly(u"UsbOnly", [](auto& c) { c["71"]["mask"] = "0x2001"; }, {"Devprobe.DLL"});
    Printer unasked(u"Unasked", [](auto& c) { c["71"]["mask"] = "0x1C000"; }, {"Devprobe.DLL"});
    struct Case {
        const char* what;
        Printer* printer;
        const char16_t* port;
        WORD want;
    } cases[] = {
        {"network port", &network, u"IP_20", 1},
        {"USB port", &network, u"USB001", 0},
        {"a port without a device", &network, u"LPT1:", 0},
        {"USB on a model for USB", &usbOnly, u"USB001", 1},
        {"network on a model for USB", &usbOnly, u"IP_20", 0},
        {"not requested", &unasked, u"USB001", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReviseContext& context = c.printer->context;
        lstrcpynW(context.portName, c.port, kPortNameChars);
        DEVMODE_IMAGEW d{};
        ASSERT_TRUE(StampAndReviseDevmode(context.printer, context.binding.modelData, &d));
        EXPECT_EQ((d.priv.JobCheckFlags & 0x8) != 0, c.printer != &unasked);
        d.priv.PriorPrintOn = 1;
        DEVMODE_IMAGEW old = d;
        ASSERT_EQ(ReviseDevmode(&context, &old, &d, kReviseCarryOver), 0u);
        EXPECT_EQ(d.priv.PriorPrintOn, c.want);
    }
}

} // namespace

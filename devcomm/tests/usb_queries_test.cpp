// The device queries of a USB printer, answered from the status block in its
// device ID, through the device stand-in.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base64_text.h"
#include "platform/devices_ctl.h"
#include "query_libraries.h"

namespace {

struct Answers {
    int hdd, trays, duplex, memory, punch, spooler, bins;
    const char* finisher; // nullptr: none
    const char* trayRecord;
    const char* binRecord;
    const char* description;
};

std::vector<std::uint8_t> Block(std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes) {
    std::vector<std::uint8_t> block(96, 0);
    for (auto [at, value] : bytes)
        block[at] = value;
    return block;
}

class UsbQueries : public QueryLibraries {
  protected:
    void Plug(const std::string& deviceId) {
        platform::test::UsbPrinter p;
        p.portNumber = static_cast<DWORD>(++port); // each printer a port of its own
        p.deviceId = deviceId;
        ASSERT_FALSE(platform::test::AddUsbPrinter(p).empty());
    }
    int port = 0;
    static std::string Id(const std::vector<std::uint8_t>& block,
                          const std::string& names = "MFG:Velmora;MDL:CX5540 MFP;") {
        return names + "CMD:PJL,PCLXL;CLS:PRINTER;FL:1;VSTATUS:" + Base64(block) + ";";
    }
    void Expect(const Answers& a, const char* what) {
        char portName[16];
        std::snprintf(portName, sizeof portName, "USB%03d", port);
        SelPortInfo info = Usb(portName);
        EXPECT_EQ(Unit("MPGetHddUnit", &info), a.hdd) << what;
        EXPECT_EQ(Count("MPGetMaxTray", &info), a.trays) << what;
        EXPECT_EQ(Unit("MPGetDupUnit", &info), a.duplex) << what;
        EXPECT_EQ(Unit("MPGetMemSize", &info), a.memory) << what;
        EXPECT_EQ(Unit("MPGetPunchCap", &info), a.punch) << what;
        EXPECT_EQ(Unit("MPGetSpoolerType", &info), a.spooler) << what;
        EXPECT_EQ(Count("MPGetMaxOutputTray", &info), a.bins) << what;

        char text[64] = {};
        WORD needed = 0;
        if (a.finisher) {
            EXPECT_EQ(Text("MPGetFinisherUnit")(&info, 0, nullptr, &needed), 0) << what;
            EXPECT_EQ(needed, std::strlen(a.finisher) + 1) << what;
            EXPECT_EQ(Text("MPGetFinisherUnit")(&info, static_cast<int>(needed) - 1, text, &needed),
                      0)
                << what;
            EXPECT_EQ(Text("MPGetFinisherUnit")(&info, sizeof text, text, &needed), 1) << what;
            EXPECT_STREQ(text, a.finisher) << what;
        } else {
            EXPECT_EQ(Text("MPGetFinisherUnit")(&info, sizeof text, text, &needed), 0) << what;
        }
        std::memset(text, 0, sizeof text);
        if (a.description) {
            EXPECT_EQ(Text("MPGetSysDescr")(&info, 0, nullptr, &needed), 0) << what;
            EXPECT_EQ(needed, std::strlen(a.description)) << what;
            EXPECT_EQ(Text("MPGetSysDescr")(&info, sizeof text, text, &needed), 1) << what;
            EXPECT_STREQ(text, a.description) << what;
        } else {
            EXPECT_EQ(Text("MPGetSysDescr")(&info, sizeof text, text, &needed), 0) << what;
        }

        TrayInfo records[2] = {};
        const bool read = a.bins > 0; // a failed read answers nothing at all
        for (auto [name, expected] :
             {std::pair{"MPGetTrayInfo", a.trayRecord}, {"MPGetOutputTrayInfo", a.binRecord}}) {
            std::memset(records, 0x55, sizeof records);
            needed = 0xFFFF;
            EXPECT_EQ(Trays(name)(&info, sizeof records, records, &needed), read ? 1 : 0)
                << what << name;
            if (!read) continue;
            EXPECT_EQ(needed, expected ? sizeof(TrayInfo) : 0u) << what << name;
            if (!expected) continue;
            EXPECT_EQ(records[0].found, 1u) << what << name;
            EXPECT_EQ(records[1].found, 0x55555555u)
                << what << name; // one record, nothing behind it
            EXPECT_EQ(records[0].maxCapacity, 0u) << what << name;
            EXPECT_STREQ(records[0].name, expected) << what << name;
        }
    }
};

TEST_F(UsbQueries, AllUnitsInstalled) {
    Plug(Id(Block(
        {{0, 0x13}, {1, 0x05}, {2, 0x04}, {5, 0x02}, {6, 0x00}, {79, 1}, {82, 1}, {95, 0x03}})));
    Expect({1, 3, 1, 512, 1, 1, 4, "LT-QN510", "LCT", "Inner 2", "Velmora CX5540 MFP"},
           "all units");
}

TEST_F(UsbQueries, NothingInstalled) {
    Plug(Id(Block({})));
    Expect({0, 0, 0, 0, 0, 0, 1, nullptr, nullptr, nullptr, "Velmora CX5540 MFP"}, "bare");
}

TEST_F(UsbQueries, BitsAndBytes) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> block;
        Answers answers;
    } cases[] = {
        {"six trays",
         Block({{0, 0x3F}}),
         {0, 6, 0, 0, 0, 0, 1, nullptr, "LCT", nullptr, "Velmora CX5540 MFP"}},
        {"bits above the trays",
         Block({{0, 0xC1}}),
         {0, 1, 0, 0, 0, 0, 1, nullptr, nullptr, nullptr, "Velmora CX5540 MFP"}},
        {"outer tray only",
         Block({{95, 0x01}}),
         {0, 0, 0, 0, 0, 0, 2, "LT-VR310", nullptr, nullptr, "Velmora CX5540 MFP"}},
        {"finisher by bit 2",
         Block({{95, 0x04}}),
         {0, 0, 0, 0, 0, 0, 2, "LT-QN510", nullptr, nullptr, "Velmora CX5540 MFP"}},
        {"hard disk by its third byte",
         Block({{79, 1}}),
         {1, 0, 0, 0, 0, 0, 1, nullptr, nullptr, nullptr, "Velmora CX5540 MFP"}},
        {"memory big-endian",
         Block({{5, 0x12}, {6, 0x34}}),
         {0, 0, 0, 0x1234, 0, 0, 1, nullptr, nullptr, nullptr, "Velmora CX5540 MFP"}},
        {"a short block reads as nothing installed",
         {0x01},
         {0, 1, 0, 0, 0, 0, 1, nullptr, nullptr, nullptr, "Velmora CX5540 MFP"}},
    };
    for (const Case& c : cases) {
        Plug(Id(c.block));
        Expect(c.answers, c.what);
    }
}

TEST_F(UsbQueries, DescriptionFromTheStandardFields) {
    const std::string longName(32, 'M');
    struct Case {
        const char* what;
        std::string names;
        const char* description;
    } cases[] = {
        {"long keys first", "MANUFACTURER:Velmora Corp;MFG:Velmora;MODEL:CX5540;MDL:CX;",
         "Velmora Corp CX5540"},
        {"a value of 32 characters counts as missing",
         "MANUFACTURER:" + longName + ";MFG:Velmora;MDL:CX;", "Velmora CX"},
        {"no model", "MFG:Velmora;", nullptr},
        {"no maker", "MDL:CX;", nullptr},
    };
    for (const Case& c : cases) {
        Plug(Id(Block({}), c.names));
        Expect({0, 0, 0, 0, 0, 0, 1, nullptr, nullptr, nullptr, c.description}, c.what);
    }
}

TEST_F(UsbQueries, DeviceIdsThatAreRefusedAnswerNothing) {
    const std::string block = Base64(Block({{0, 0x3F}, {79, 1}}));
    const std::string ids[] = {
        "MFG:Velmora;MDL:CX;FL:0;VSTATUS:" + block + ";", "MFG:Velmora;MDL:CX;FL:1;",
        "MFG:Velmora;MDL:CX;FL:1;VSTATUS:QUJDREVGR0g;", // not a multiple of 4
    };
    for (const std::string& id : ids) {
        Plug(id);
        Expect({0, 0, 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr}, id.c_str());
    }
}

TEST_F(UsbQueries, RecordsOfNoKnownConnectionAskNothing) {
    Plug(Id(Block({{0, 0x3F}})));
    const int opens = platform::test::DeviceOpenCount();
    SelPortInfo none = Usb("USB001");
    none.connection = 0;
    SelPortInfo shortNetwork = Network("127.0.0.1");
    shortNetwork.kind = SELPORT_KIND_SHORT;
    for (SelPortInfo* info : {&none, &shortNetwork, static_cast<SelPortInfo*>(nullptr)}) {
        EXPECT_EQ(Count("MPGetMaxTray", info), 0);
        EXPECT_EQ(Unit("MPGetHddUnit", info), 0);
    }
    EXPECT_EQ(platform::test::DeviceOpenCount(), opens);
}

} // namespace

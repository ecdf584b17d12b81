// Devprobe, Gatekeep and Tallyport loaded by name from the build's driver
// directory, as the user interface loads them, with records for a network
// device and a USB one.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "devcomm/devprobe.h"
#include "devcomm/gatekeep.h"
#include "devcomm/tallyport.h"
#include "platform/loader_ctl.h"
#include "win/base.h"

class QueryLibraries : public ::testing::Test {
  public:
    void SetUp() override {
        platform::loader::AddSearchFolder(PKG_DRIVER_DIR);
        devprobe = LoadLibraryW(u"Devprobe.DLL");
        gatekeep = LoadLibraryW(u"Gatekeep.DLL");
        tallyport = LoadLibraryW(u"Tallyport.DLL");
        ASSERT_TRUE(devprobe && gatekeep && tallyport) << GetLastError();
        preCheck = Export<PFN_MPPreCheck>(gatekeep, "MPPreCheck");
        deptcode = Export<PFN_MPDeptcode>(tallyport, "MPDeptcode");
    }
    void TearDown() override {
        for (HMODULE m : {devprobe, gatekeep, tallyport})
            if (m) FreeLibrary(m);
    }

    template <class Fn> static Fn Export(HMODULE module, const char* name) {
        FARPROC p = GetProcAddress(module, name);
        EXPECT_NE(p, nullptr) << name;
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
    }
    int Unit(const char* name, SelPortInfo* info) {
        return Export<PFN_MPGetUnit>(devprobe, name)(info);
    }
    short Count(const char* name, SelPortInfo* info) {
        return Export<PFN_MPGetCount>(devprobe, name)(info);
    }
    PFN_MPGetText Text(const char* name) { return Export<PFN_MPGetText>(devprobe, name); }
    PFN_MPGetTrays Trays(const char* name) { return Export<PFN_MPGetTrays>(devprobe, name); }

    static SelPortInfo Network(const char* address) {
        SelPortInfo info{};
        info.kind = SELPORT_KIND_FULL;
        info.connection = SELPORT_CONNECTION_NETWORK;
        std::strcpy(info.portName, "IP_printer");
        std::strncpy(info.address, address, sizeof info.address - 1);
        return info;
    }
    static SelPortInfo Usb(const char* port) {
        SelPortInfo info{};
        info.kind = SELPORT_KIND_FULL;
        info.connection = SELPORT_CONNECTION_USB;
        std::strncpy(info.portName, port, sizeof info.portName - 1);
        return info;
    }

    HMODULE devprobe = nullptr, gatekeep = nullptr, tallyport = nullptr;
    PFN_MPPreCheck preCheck = nullptr;
    PFN_MPDeptcode deptcode = nullptr;
};

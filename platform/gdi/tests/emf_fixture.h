// A printer "P1" whose driver is the recording driver, with a page open for
// drawing, and the checks that everything a test made is given back.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/emf_builder.h"
#include "platform/engine_ctl.h"
#include "platform/gdi_ctl.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "win/emf.h"
#include "win/gdi.h"
#include "win/gdi_dc.h"
#include "win/loader.h"

namespace emftest {

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

class RecorderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::u16string driverPath = platform::FromUtf8(RECORDING_DRIVER_PATH);
        ASSERT_EQ(platform::spooler::AddPort({u"LPT1:", u"Local Port", u""}), 0u);
        platform::spooler::DriverRecord driver;
        driver.name = u"Recorder";
        driver.driverPath = driverPath;
        ASSERT_EQ(platform::spooler::AddDriver(driver), 0u);
        platform::spooler::PrinterRecord printer;
        printer.name = u"P1";
        printer.port = u"LPT1:";
        printer.driver = u"Recorder";
        ASSERT_EQ(platform::spooler::AddPrinter(printer, false), 0u);
        recorder = LoadLibraryW(reinterpret_cast<LPCWSTR>(driverPath.c_str()));
        ASSERT_NE(recorder, nullptr);
        log = Export<const char* (*)()>("RecorderLog");
        detail = Export<const char* (*)()>("RecorderDetail");
        clear = Export<void (*)()>("RecorderClear");
        set = Export<void (*)(const char*, long)>("RecorderSet");
        ASSERT_TRUE(log && detail && clear && set);
        set("defaults", 0);
        clear();
        platform::test::ClearSkippedEmfRecords();
        objectsAtStart = platform::test::LiveGdiObjects();
    }

    void TearDown() override {
        if (hdc) ClosePage();
        EXPECT_EQ(platform::test::LiveGdiObjects(), objectsAtStart);
        EXPECT_EQ(platform::test::LiveEnhMetaFiles(), 0);
        EXPECT_EQ(platform::test::LiveDeviceContexts(), 0);
        EXPECT_EQ(platform::test::LiveEngineObjects(), 0);
        EXPECT_EQ(platform::test::LiveEngAllocations(), 0);
        EXPECT_EQ(platform::test::LivePalettes(), 0);
        if (set) set("defaults", 0);
        if (recorder) FreeLibrary(recorder);
    }

    template <class F> F Export(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(recorder, name)));
    }

    // A device context of P1 with a document and a page open; the log starts
    // empty.
    HDC OpenPage() {
        hdc = CreateDCW(nullptr, u"P1", nullptr, nullptr);
        EXPECT_NE(hdc, nullptr);
        DOCINFOW di{sizeof(DOCINFOW), u"Test", nullptr, nullptr, 0};
        EXPECT_GT(StartDocW(hdc, &di), 0);
        EXPECT_EQ(StartPage(hdc), 1);
        clear();
        return hdc;
    }

    void ClosePage() {
        EndPage(hdc);
        EndDoc(hdc);
        DeleteDC(hdc);
        hdc = nullptr;
    }

    std::vector<std::string> TakeLog() {
        std::vector<std::string> l = Lines(log());
        clear();
        return l;
    }
    std::vector<std::string> TakeDetail() {
        std::vector<std::string> l = Lines(detail());
        clear();
        return l;
    }

    HDC hdc = nullptr;
    HMODULE recorder = nullptr;
    const char* (*log)() = nullptr;
    const char* (*detail)() = nullptr;
    void (*clear)() = nullptr;
    void (*set)(const char*, long) = nullptr;
    long objectsAtStart = 0;
};

// A metafile of the recording driver's page: 800 x 1000 pixels on 80 x 100
// millimetres, so that played into (0, 0, 800, 1000) its units are the
// page's pixels.
inline platform::gdi::EmfBuilder PageEmf() {
    return platform::gdi::EmfBuilder(SIZEL{800, 1000}, SIZEL{80, 100});
}

inline const RECT kPage{0, 0, 800, 1000};

} // namespace emftest

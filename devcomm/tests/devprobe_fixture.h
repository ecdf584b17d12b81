// Devprobe loaded by name from the build's driver directory, as its callers
// load it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "devcomm/devprobe.h"
#include "platform/loader_ctl.h"
#include "win/base.h"

class DevprobeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::loader::AddSearchFolder(PKG_DRIVER_DIR);
        module = LoadLibraryW(u"Devprobe.DLL");
        ASSERT_NE(module, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }

    template <class Fn> Fn Export(const char* name) {
        FARPROC p = GetProcAddress(module, name);
        EXPECT_NE(p, nullptr) << name;
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
    }

    HMODULE module = nullptr;
};

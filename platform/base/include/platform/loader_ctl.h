// The module loader inside the platform: search folders for tools, the
// system's own modules, and the controls tests use to make modules or
// exports absent and to count loads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

namespace platform::loader {

// A host folder searched for bare module names after the main program's own
// folder and before C:\Windows\System32 (printhost adds the printer's driver
// folder). Cleared by ResetForTests.
void AddSearchFolder(const std::string& hostFolder);

// The system's own modules ("kernel32.dll", "shell32.dll", "wsock32.dll",
// "winspool.drv", ...) are this library: GetProcAddress on them finds the
// platform's exports by name. An export whose name must not be a symbol of
// the platform (say, one that a C library function already has) is
// registered here instead. moduleName is the file name, as "wsock32.dll".
void RegisterSystemExport(std::u16string_view moduleName, const char* exportName, FARPROC function);

// The host file a module was loaded from ("" for the system's own modules
// and for an unknown handle), and its dlopen handle (the platform's own
// handle for the system's modules; nullptr for an unknown handle). For the
// components that read a module's embedded data.
std::string ModuleHostPath(HMODULE module);
void* ModuleNativeHandle(HMODULE module);

} // namespace platform::loader

namespace platform::test {

// Make the module with this file name ("Modelsmith.DLL", "wtsapi32.dll";
// compared without regard to case, ".DLL" added to a name without extension)
// absent: LoadLibrary and GetModuleHandle fail with ERROR_MOD_NOT_FOUND.
void MakeModuleAbsent(std::u16string_view fileName);
// Make one export of a module absent: GetProcAddress by name or by ordinal
// fails with ERROR_PROC_NOT_FOUND.
void MakeExportAbsent(std::u16string_view moduleFileName, const std::string& exportName);
// Both switches are cleared by ResetForTests, and by this.
void ClearAbsent();

struct LoadedModule {
    std::u16string fileName;    // as on disk (or the system module's name)
    std::u16string windowsPath; // what GetModuleFileNameW answers
    int loadCount;
    bool system; // one of the system's own modules
};
// Modules loaded now (not the main program): every module file with a load
// count above 0, and the system's own modules that LoadLibrary counted.
std::vector<LoadedModule> LoadedModules();
// The load count of the loaded module with this file name (0 when none).
int ModuleLoadCount(std::u16string_view fileName);

} // namespace platform::test

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/codepage_ctl.h"
#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/testctl.h"
#include "platform_testing/fresh_root.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/loader.h"
#include "win/strings.h"

namespace {

namespace fs = std::filesystem;
using ProbeFn = int(WINAPI*)();

// An export as the function it is (void (*)() converts to any function type
// without a warning).
template <class F> F As(FARPROC p) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(p));
}
constexpr DWORD kBadExeFormat = 193; // ERROR_BAD_EXE_FORMAT

// Copies a module built for these tests into the machine root under a name.
std::string Install(const char* builtFile, const char16_t* windowsFolder,
                    const std::string& asName) {
    std::string folder = platform::HostPath(windowsFolder);
    fs::create_directories(folder);
    std::string target = folder + "/" + asName;
    fs::copy_file(std::string(LOADER_TEST_MODULES_DIR) + "/" + builtFile, target,
                  fs::copy_options::overwrite_existing);
    return target;
}

// What the test modules' DllMain wrote, one line per call.
std::vector<std::string> EntryLog() {
    std::ifstream in(platform_testing::Root() + "/dllmain.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::u16string FileName(HMODULE h) {
    WCHAR buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(h, buf, MAX_PATH);
    return std::u16string(buf, n);
}

class Loader : public ::testing::Test {
  protected:
    void SetUp() override {
        Install("Loadprobe.DLL", u"C:\\Drivers", "Modelsmith.DLL");
        platform::loader::AddSearchFolder(platform::HostPath(u"C:\\Drivers"));
    }
    void TearDown() override {
        // Every test frees what it loads: nothing stays loaded.
        for (const auto& m : platform::test::LoadedModules())
            ADD_FAILURE() << platform::ToUtf8(m.fileName) << " still loaded, count " << m.loadCount;
    }
};

TEST_F(Loader, LookupByNameAndOrdinal) {
    HMODULE h = LoadLibraryW(u"Modelsmith.DLL");
    ASSERT_NE(h, nullptr);
    struct Case {
        const char* name; // nullptr: by ordinal
        WORD ordinal;
        int value; // 0: not found
    };
    const Case cases[] = {
        {"ProbeOne", 0, 1},
        {"ProbeFive", 0, 5},
        {nullptr, 1, 1},
        {nullptr, 2, 2},
        {nullptr, 3, 0}, // the gap
        {nullptr, 4, 0},
        {nullptr, 5, 5},
        {nullptr, 7, 0},
        {nullptr, 0, 0},
        {"probeone", 0, 0}, // export names keep their case
        {"Missing", 0, 0},
        {"GetLastError", 0, 0}, // the platform's export is not the module's
        {"PlatformExportOrdinalsX", 0, 0},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        FARPROC p = GetProcAddress(h, c.name ? c.name : MAKEINTRESOURCEA(c.ordinal));
        std::string what = c.name ? c.name : "#" + std::to_string(c.ordinal);
        if (c.value) {
            ASSERT_NE(p, nullptr) << what;
            EXPECT_EQ(As<ProbeFn>(p)(), c.value) << what;
        } else {
            EXPECT_EQ(p, nullptr) << what;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << what;
        }
    }
    EXPECT_EQ(GetProcAddress(h, MAKEINTRESOURCEA(6)), GetProcAddress(h, "ProbeSelf"));
    EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(Loader, NamesMatchWithoutRegardToCase) {
    const char16_t* spellings[] = {u"modelSMITH.dll", u"MODELSMITH", u"Modelsmith.DLL",
                                   u"c:\\DRIVERS\\modelsmith.dll", u"C:/drivers/MODELSMITH"};
    std::vector<HMODULE> handles;
    for (const char16_t* name : spellings) {
        HMODULE h = LoadLibraryW(name);
        EXPECT_NE(h, nullptr) << platform::ToUtf8(name);
        handles.push_back(h);
    }
    for (HMODULE h : handles)
        EXPECT_EQ(h, handles[0]); // one file, one module
    EXPECT_EQ(platform::test::ModuleLoadCount(u"modelsmith.dll"), 5);
    EXPECT_EQ(GetModuleHandleW(u"MODELSMITH"), handles[0]);
    EXPECT_EQ(GetModuleHandleW(u"c:\\drivers\\ModelSmith.dll"), handles[0]);
    EXPECT_EQ(FileName(handles[0]), u"C:\\Drivers\\Modelsmith.DLL"); // as the file is named

    // "name." has no extension: no ".DLL" is added, and there is no such file.
    EXPECT_EQ(LoadLibraryW(u"modelsmith."), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    for (HMODULE h : handles)
        EXPECT_TRUE(FreeLibrary(h));
    EXPECT_EQ(platform::test::ModuleLoadCount(u"Modelsmith.DLL"), 0);
    EXPECT_EQ(EntryLog(), (std::vector<std::string>{"attach C:\\Drivers\\Modelsmith.DLL",
                                                    "detach C:\\Drivers\\Modelsmith.DLL"}));
}

TEST_F(Loader, AbsentModulesAndExports) {
    std::string notElf = platform::HostPath(u"C:\\Drivers") + "/Broken.DLL";
    std::ofstream(notElf) << "MZ not an ELF object";
    fs::create_directories(platform::HostPath(u"C:\\Drivers\\Folder.DLL"));
    struct Case {
        const char16_t* name;
        DWORD error;
    };
    const Case cases[] = {
        {u"Nothere.DLL", ERROR_MOD_NOT_FOUND},
        {u"C:\\Drivers\\Nothere.DLL", ERROR_MOD_NOT_FOUND},
        {u"C:\\Nofolder\\Modelsmith.DLL", ERROR_MOD_NOT_FOUND},
        {u"Folder.DLL", ERROR_MOD_NOT_FOUND}, // a folder is not a module
        {u"", ERROR_MOD_NOT_FOUND},
        {u"Broken.DLL", kBadExeFormat},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryW(c.name), nullptr) << platform::ToUtf8(c.name);
        EXPECT_EQ(GetLastError(), c.error) << platform::ToUtf8(c.name);
    }
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // The switches: the file is there, but the module or one export is not.
    platform::test::MakeExportAbsent(u"MODELSMITH", "ProbeTwo");
    HMODULE h = LoadLibraryW(u"Modelsmith.DLL");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetProcAddress(h, "ProbeTwo"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(h, MAKEINTRESOURCEA(2)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_NE(GetProcAddress(h, "ProbeOne"), nullptr);

    platform::test::MakeModuleAbsent(u"modelsmith.dll");
    EXPECT_EQ(LoadLibraryW(u"Modelsmith.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(GetModuleHandleW(u"Modelsmith.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(h));

    platform::test::ClearAbsent();
    h = LoadLibraryW(u"Modelsmith.DLL");
    EXPECT_NE(GetProcAddress(h, "ProbeTwo"), nullptr);
    EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(Loader, LoadCountGoesBackToZero) {
    HMODULE a = LoadLibraryW(u"Modelsmith.DLL");
    HMODULE b = LoadLibraryA("MODELSMITH.DLL");
    HMODULE c = LoadLibraryExW(u"modelsmith", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(a && a == b && b == c);
    EXPECT_EQ(GetModuleHandleW(u"Modelsmith.DLL"), a); // does not count
    auto loaded = platform::test::LoadedModules();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].loadCount, 3);
    EXPECT_EQ(loaded[0].windowsPath, u"C:\\Drivers\\Modelsmith.DLL");
    EXPECT_FALSE(loaded[0].system);

    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_EQ(platform::test::ModuleLoadCount(u"Modelsmith.DLL"), 1);
    EXPECT_EQ(EntryLog().size(), 1u); // attached, not yet detached
    EXPECT_TRUE(FreeLibrary(c));
    EXPECT_EQ(platform::test::ModuleLoadCount(u"Modelsmith.DLL"), 0);
    EXPECT_TRUE(platform::test::LoadedModules().empty());
    EXPECT_EQ(GetModuleHandleW(u"Modelsmith.DLL"), nullptr);

    // The handle is gone with the module.
    EXPECT_FALSE(FreeLibrary(a));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Loader, EntryPointOrder) {
    Install("Loadprobe.DLL", u"C:\\Drivers", "Alpha.DLL");
    Install("Loadprobe.DLL", u"C:\\Drivers", "Beta.DLL");
    HMODULE a1 = LoadLibraryW(u"Alpha.DLL");
    HMODULE a2 = LoadLibraryW(u"Alpha.DLL");
    HMODULE b = LoadLibraryW(u"Beta.DLL");
    ASSERT_TRUE(a1 && a2 && b);
    EXPECT_NE(a1, b);
    // DllMain got the module's own handle.
    EXPECT_EQ(As<HMODULE(WINAPI*)()>(GetProcAddress(a1, "ProbeSelf"))(), a1);
    EXPECT_EQ(As<HMODULE(WINAPI*)()>(GetProcAddress(b, "ProbeSelf"))(), b);
    EXPECT_TRUE(FreeLibrary(a1));
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_TRUE(FreeLibrary(a2));
    EXPECT_EQ(EntryLog(), (std::vector<std::string>{
                              "attach C:\\Drivers\\Alpha.DLL", "attach C:\\Drivers\\Beta.DLL",
                              "detach C:\\Drivers\\Beta.DLL", "detach C:\\Drivers\\Alpha.DLL"}));
}

TEST_F(Loader, FailingEntryPoint) {
    Install("Failinit.DLL", u"C:\\Drivers", "Failinit.DLL");
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"Failinit.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(EntryLog(), (std::vector<std::string>{"attach Failinit", "detach Failinit"}));
    EXPECT_EQ(platform::test::ModuleLoadCount(u"Failinit.DLL"), 0);
    EXPECT_EQ(GetModuleHandleW(u"Failinit.DLL"), nullptr);
    // Each try starts it again.
    EXPECT_EQ(LoadLibraryW(u"Failinit.DLL"), nullptr);
    EXPECT_EQ(EntryLog().size(), 4u);
}

TEST_F(Loader, ModuleWithoutEntryPointOrOrdinals) {
    Install("Plain.DLL", u"C:\\Windows\\System32", "Plain.DLL");
    HMODULE h = LoadLibraryW(u"plain");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(As<ProbeFn>(GetProcAddress(h, "PlainValue"))(), 42);
    EXPECT_EQ(GetProcAddress(h, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(FileName(h), u"C:\\Windows\\System32\\Plain.DLL");
    EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(Loader, SearchOrder) {
    // Registered folder, then the system folder, then the current folder.
    std::string work = platform::HostPath(u"C:\\Work");
    fs::create_directories(work);
    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(work.c_str()), 0);

    struct Case {
        std::vector<const char16_t*> folders; // where copies of Order.DLL lie
        std::u16string found;
    };
    const Case cases[] = {
        {{u"C:\\Work"}, u"C:\\Work\\Order.DLL"},
        {{u"C:\\Work", u"C:\\Windows\\System32"}, u"C:\\Windows\\System32\\Order.DLL"},
        {{u"C:\\Work", u"C:\\Windows\\System32", u"C:\\Drivers"}, u"C:\\Drivers\\Order.DLL"},
    };
    for (const auto& c : cases) {
        for (const char16_t* folder : c.folders)
            Install("Plain.DLL", folder, "Order.DLL");
        HMODULE h = LoadLibraryW(u"ORDER");
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(FileName(h), c.found);
        EXPECT_TRUE(FreeLibrary(h));
    }
    ASSERT_EQ(chdir(saved), 0);
}

TEST_F(Loader, SystemModules) {
    HMODULE kernel = GetModuleHandleW(u"KERNEL32.DLL");
    ASSERT_NE(kernel, nullptr); // there without loading
    EXPECT_EQ(GetModuleHandleW(u"kernel32"), kernel);
    EXPECT_NE(GetModuleHandleW(u"shell32.dll"), kernel);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(kernel, "GetLastError")),
              reinterpret_cast<void*>(&GetLastError));
    EXPECT_EQ(GetProcAddress(kernel, "malloc"), nullptr); // not one of the platform's own
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(FileName(kernel), u"C:\\Windows\\System32\\kernel32.dll");

    HMODULE shell = LoadLibraryW(u"Shell32.dll");
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(LoadLibraryW(u"C:\\Windows\\System32\\SHELL32.DLL"), shell);
    EXPECT_EQ(platform::test::ModuleLoadCount(u"shell32.dll"), 2);
    platform::test::MakeExportAbsent(u"shell32.dll", "GetACP");
    EXPECT_EQ(GetProcAddress(shell, "GetACP"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_NE(GetProcAddress(kernel, "GetACP"), nullptr); // only in that module
    EXPECT_TRUE(FreeLibrary(shell));
    EXPECT_TRUE(FreeLibrary(shell));

    platform::test::MakeModuleAbsent(u"wtsapi32.dll");
    EXPECT_EQ(LoadLibraryW(u"wtsapi32.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(GetModuleHandleW(u"WTSAPI32"), nullptr);

    // An export registered for a system module, e.g. one named like a C
    // library function.
    static int registered = 0;
    auto fn = []() -> INT_PTR { return ++registered; };
    platform::loader::RegisterSystemExport(u"wsock32.dll", "loader_test_export",
                                           static_cast<FARPROC>(fn));
    HMODULE sock = LoadLibraryW(u"WSOCK32");
    ASSERT_NE(sock, nullptr);
    FARPROC p = GetProcAddress(sock, "loader_test_export");
    ASSERT_NE(p, nullptr);
    int before = registered;
    EXPECT_EQ(p(), before + 1);
    EXPECT_EQ(GetProcAddress(kernel, "loader_test_export"), nullptr);
    EXPECT_TRUE(FreeLibrary(sock));
}

TEST_F(Loader, ModuleFileNameTruncation) {
    HMODULE h = LoadLibraryW(u"Modelsmith.DLL");
    ASSERT_NE(h, nullptr);
    const std::u16string full = u"C:\\Drivers\\Modelsmith.DLL";
    const DWORD len = static_cast<DWORD>(full.size());
    struct Case {
        DWORD size;
        DWORD result;
        DWORD error; // 0: not set
        std::u16string text;
    };
    const Case cases[] = {
        {MAX_PATH, len, 0, full},
        {len + 1, len, 0, full},
        {len, len, ERROR_INSUFFICIENT_BUFFER, full.substr(0, len - 1)},
        {4, 4, ERROR_INSUFFICIENT_BUFFER, u"C:\\"},
        {1, 1, ERROR_INSUFFICIENT_BUFFER, u""},
        {0, 0, ERROR_INSUFFICIENT_BUFFER, u"?"},
    };
    for (const auto& c : cases) {
        WCHAR buf[MAX_PATH] = {u'?', 0};
        SetLastError(0);
        EXPECT_EQ(GetModuleFileNameW(h, buf, c.size), c.result) << c.size;
        EXPECT_EQ(GetLastError(), c.error) << c.size;
        EXPECT_EQ(std::u16string(buf), c.text) << c.size;

        char narrow[MAX_PATH] = {'?', 0};
        SetLastError(0);
        EXPECT_EQ(GetModuleFileNameA(h, narrow, c.size), c.result) << c.size;
        EXPECT_EQ(GetLastError(), c.error) << c.size;
        EXPECT_EQ(platform::FromUtf8(narrow), c.text) << c.size;
    }
    EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(Loader, ModuleFileNameInTheAnsiCodePage) {
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    Install("Plain.DLL", u"C:\\ドライバ", "Plain.DLL");
    HMODULE h = LoadLibraryW(u"C:\\ドライバ\\plain.dll");
    ASSERT_NE(h, nullptr);
    char narrow[MAX_PATH];
    const std::string full = "C:\\\x83\x68\x83\x89\x83\x43\x83\x6f\\Plain.DLL";
    EXPECT_EQ(GetModuleFileNameA(h, narrow, MAX_PATH), full.size());
    EXPECT_EQ(std::string(narrow), full);
    // Cut short inside a double-byte character: the whole character goes.
    EXPECT_EQ(GetModuleFileNameA(h, narrow, 5), 5u);
    EXPECT_EQ(std::string(narrow), "C:\\");
    EXPECT_EQ(GetModuleFileNameA(h, narrow, 6), 6u);
    EXPECT_EQ(std::string(narrow), "C:\\\x83\x68");
    EXPECT_EQ(LoadLibraryA(full.c_str()), h);
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(Loader, MainProgramAndBadHandles) {
    HMODULE self = GetModuleHandleW(nullptr);
    ASSERT_NE(self, nullptr);
    std::u16string path = FileName(nullptr);
    EXPECT_EQ(path, FileName(self));
    EXPECT_TRUE(path.ends_with(u"\\platform_base_tests")) << platform::ToUtf8(path);
    EXPECT_TRUE(FreeLibrary(self)); // never unloaded

    int local = 0;
    auto bad = reinterpret_cast<HMODULE>(&local);
    WCHAR buf[8];
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(bad, "ProbeOne"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(bad, buf, 8), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Loader, InjectedFailure) {
    platform::test::FailNext("LoadLibraryW", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(LoadLibraryW(u"Modelsmith.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    HMODULE h = LoadLibraryW(u"Modelsmith.DLL");
    EXPECT_NE(h, nullptr);
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_TRUE(EntryLog().size() == 2u);
}

} // namespace

namespace {

// A loaded module's file cannot be cut, overwritten or deleted, by this
// process or another; it can be renamed away, and the name can then take a
// new file while the old image runs on.
TEST_F(Loader, FileOfALoadedModuleIsKeptWhole) {
    const std::u16string dll = u"C:\\Drivers\\Modelsmith.DLL";
    Install("Plain.DLL", u"C:\\Drivers", "Other.DLL");
    const std::u16string other = u"C:\\Drivers\\Other.DLL";
    struct Case {
        const char* what;
        std::function<BOOL()> change;
        DWORD error;
    };
    auto open = [&](DWORD access, DWORD disposition) {
        HANDLE h =
            CreateFileW(dll.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return FALSE;
        CloseHandle(h);
        return TRUE;
    };
    const Case cases[] = {
        {"CopyFileW onto", [&] { return CopyFileW(other.c_str(), dll.c_str(), FALSE); },
         ERROR_SHARING_VIOLATION},
        {"CREATE_ALWAYS", [&] { return open(GENERIC_WRITE, CREATE_ALWAYS); },
         ERROR_SHARING_VIOLATION},
        {"TRUNCATE_EXISTING", [&] { return open(GENERIC_WRITE, TRUNCATE_EXISTING); },
         ERROR_SHARING_VIOLATION},
        {"open for writing", [&] { return open(GENERIC_WRITE, OPEN_EXISTING); },
         ERROR_SHARING_VIOLATION},
        {"DeleteFileW", [&] { return DeleteFileW(dll.c_str()); }, ERROR_ACCESS_DENIED},
        {"MoveFileExW onto",
         [&] { return MoveFileExW(other.c_str(), dll.c_str(), MOVEFILE_REPLACE_EXISTING); },
         ERROR_ACCESS_DENIED},
    };
    const std::string before = [&] {
        std::ifstream in(platform::HostPath(dll), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }();
    auto intact = [&] {
        std::ifstream in(platform::HostPath(dll), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str() == before;
    };

    HMODULE h = LoadLibraryW(u"Modelsmith.DLL");
    ASSERT_NE(h, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(c.change());
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_TRUE(intact());
    }
    // Reading it is fine.
    EXPECT_TRUE(open(GENERIC_READ, OPEN_EXISTING));
    EXPECT_TRUE(FreeLibrary(h));
    for (const auto& c : cases) {
        if (std::string(c.what) == "DeleteFileW") continue;
        SCOPED_TRACE(std::string(c.what) + " after FreeLibrary");
        Install("Loadprobe.DLL", u"C:\\Drivers", "Modelsmith.DLL");
        if (std::string(c.what) == "MoveFileExW onto")
            Install("Plain.DLL", u"C:\\Drivers", "Other.DLL");
        EXPECT_TRUE(c.change()) << GetLastError();
    }
    Install("Loadprobe.DLL", u"C:\\Drivers", "Modelsmith.DLL");
    EXPECT_TRUE(DeleteFileW(dll.c_str()));
}

// A full path names the module loaded from it, under the machine root it
// was loaded in: another root's file of the same name is another module.
TEST_F(Loader, AFullPathIsMatchedWithinItsMachineRoot) {
    const char16_t* dll = u"C:\\Drivers\\Modelsmith.DLL";
    HMODULE first = LoadLibraryW(dll);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(LoadLibraryW(u"c:\\drivers\\MODELSMITH.dll"), first);

    const std::string firstRoot = platform_testing::Root();
    const std::string other = firstRoot + "/other-root";
    setenv("PRINTHOST_ROOT", other.c_str(), 1);
    platform::test::ResetForTests();
    Install("Plain.DLL", u"C:\\Drivers", "Modelsmith.DLL");
    HMODULE elsewhere = LoadLibraryW(dll);
    EXPECT_NE(elsewhere, nullptr);
    EXPECT_NE(elsewhere, first);
    EXPECT_EQ(GetProcAddress(elsewhere, "ProbeOne"), nullptr); // the other root's file
    EXPECT_TRUE(FreeLibrary(elsewhere));
    setenv("PRINTHOST_ROOT", firstRoot.c_str(), 1);
    platform::test::ResetForTests();

    EXPECT_EQ(platform::test::ModuleLoadCount(u"Modelsmith.DLL"), 2);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_TRUE(FreeLibrary(first));
}

// Which names are a module loaded from a full path: with its file renamed
// away, a name that is the loaded module's is still that module, any other is
// what the disk holds now.
TEST_F(Loader, NamesOfALoadedModule) {
    Install("Plain.DLL", u"C:\\Drivers", "kernel32.dll");
    Install("Plain.DLL", u"C:\\Windows\\System32", "kernel32.dll");
    HMODULE loaded = LoadLibraryW(u"C:\\Drivers\\Modelsmith.DLL");
    HMODULE likeSystem = LoadLibraryW(u"C:\\Drivers\\kernel32.dll");
    HMODULE kernel = GetModuleHandleW(u"kernel32.dll");
    ASSERT_TRUE(loaded && likeSystem && kernel);
    ASSERT_NE(likeSystem, kernel);
    ASSERT_TRUE(MoveFileExW(u"C:\\Drivers\\Modelsmith.DLL", u"C:\\Drivers\\Old.DLL", 0));
    ASSERT_TRUE(MoveFileExW(u"C:\\Drivers\\kernel32.dll", u"C:\\Drivers\\Oldkernel.DLL", 0));

    enum Is { kLoaded, kLikeSystem, kSystem, kOther, kNone };
    struct Case {
        const char16_t* name;
        Is is;
        const char16_t* absent = nullptr; // a module made absent first
        bool otherRoot = false;           // asked for under another machine root
    };
    const Case cases[] = {
        {u"C:\\Drivers\\Modelsmith.DLL", kLoaded},
        {u"c:\\DRIVERS\\modelSMITH.dll", kLoaded},
        {u"C:\\Drivers\\Modelsmith", kLoaded},      // gets ".DLL"
        {u"C:\\Drivers\\MODELSMITH.DLL.", kLoaded}, // the trailing dot goes
        {u"C:\\Drivers\\Modelsmith.", kNone},       // no extension, and no such file
        {u"C:\\Drivers\\Modelsmith.DL", kNone},
        {u"C:\\Drivers\\Modelsmit.DLL", kNone},
        {u"D:\\Drivers\\Modelsmith.DLL", kNone},
        {u"C:/Drivers/Modelsmith.DLL", kNone}, // not the name it was loaded by
        {u"C:\\Drivers/Modelsmith.DLL", kNone},
        {u"Modelsmith.DLL", kNone}, // searched for
        {u"C:\\Drivers\\Modelsmith.DLL", kNone, u"MODELSMITH"},
        {u"C:\\Drivers\\Modelsmith.DLL", kOther, nullptr, true},
        // A system module's name outside the system folder is a file like any.
        {u"C:\\Drivers\\kernel32.dll", kLikeSystem},
        {u"C:\\DRIVERS\\KERNEL32", kLikeSystem},
        {u"C:/Drivers/kernel32.dll", kNone},
        {u"C:\\Drivers\\kernel32.dll", kNone, u"kernel32.dll"},
        // In the system folder, or without one, it is the system's own module.
        {u"kernel32", kSystem},
        {u"C:\\Windows\\System32\\KERNEL32.DLL", kSystem},
        {u"c:\\windows\\system32\\kernel32.dll.", kSystem},
        {u"C:/Windows/System32/kernel32", kSystem},
        {u"C:\\Windows\\System32\\kernel32.dll", kNone, u"Kernel32"},
    };
    const std::string firstRoot = platform_testing::Root();
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.name) + (c.otherRoot ? " in another root" : ""));
        if (c.absent) platform::test::MakeModuleAbsent(c.absent);
        if (c.otherRoot) {
            setenv("PRINTHOST_ROOT", (firstRoot + "/other-root").c_str(), 1);
            platform::test::ResetForTests();
            Install("Plain.DLL", u"C:\\Drivers", "Modelsmith.DLL");
        }
        SetLastError(0);
        HMODULE h = LoadLibraryW(c.name);
        DWORD error = GetLastError();
        switch (c.is) {
        case kLoaded:
            EXPECT_EQ(h, loaded);
            break;
        case kLikeSystem:
            EXPECT_EQ(h, likeSystem);
            break;
        case kSystem:
            EXPECT_EQ(h, kernel);
            break;
        case kOther:
            EXPECT_TRUE(h && h != loaded && h != likeSystem && h != kernel);
            EXPECT_NE(GetProcAddress(h, "PlainValue"), nullptr);
            break;
        case kNone:
            EXPECT_EQ(h, nullptr);
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
            break;
        }
        if (h) {
            EXPECT_TRUE(FreeLibrary(h));
        }
        if (c.otherRoot) {
            setenv("PRINTHOST_ROOT", firstRoot.c_str(), 1);
            platform::test::ResetForTests();
            platform::loader::AddSearchFolder(platform::HostPath(u"C:\\Drivers"));
        }
        platform::test::ClearAbsent();
    }
    // Each load counted once and freed once: the modules are as they were.
    std::vector<std::pair<std::u16string, int>> counts;
    for (const auto& m : platform::test::LoadedModules())
        counts.emplace_back(m.windowsPath, m.loadCount);
    EXPECT_EQ(counts, (std::vector<std::pair<std::u16string, int>>{
                          {u"C:\\Drivers\\Modelsmith.DLL", 1}, {u"C:\\Drivers\\kernel32.dll", 1}}));
    EXPECT_EQ(EntryLog(), std::vector<std::string>{"attach C:\\Drivers\\Modelsmith.DLL"});
    EXPECT_TRUE(FreeLibrary(loaded));
    EXPECT_TRUE(FreeLibrary(likeSystem));
    EXPECT_EQ(EntryLog(), (std::vector<std::string>{"attach C:\\Drivers\\Modelsmith.DLL",
                                                    "detach C:\\Drivers\\Modelsmith.DLL"}));
}

TEST_F(Loader, ModuleLoadedByAnotherProcessIsKeptWhole) {
    const std::u16string dll = u"C:\\Drivers\\Modelsmith.DLL";
    int ready[2], release[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(release, O_CLOEXEC), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        alarm(60);
        HMODULE h = LoadLibraryW(u"Modelsmith.DLL");
        char c = h ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        ::close(release[1]);
        while (read(release[0], &c, 1) > 0) {
        }
        _exit(h ? 0 : 1);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char loaded = 0;
    ASSERT_EQ(read(ready[0], &loaded, 1), 1);
    EXPECT_EQ(loaded, 'y');
    EXPECT_FALSE(DeleteFileW(dll.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE h = CreateFileW(dll.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ::close(release[1]); // the other process ends, and its module with it
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(ready[0]);
    EXPECT_TRUE(DeleteFileW(dll.c_str())) << GetLastError();
}

} // namespace

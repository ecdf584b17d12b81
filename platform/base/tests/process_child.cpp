// A small program that the process and shared-memory tests start:
//   ProcChild answer NAME TEXT CODE  open the named mapping, write TEXT at offset 8, exit CODE
//   ProcChild exit CODE              exit with CODE
//   ProcChild create NAME exit|hang  create a named mapping of 64 bytes, then exit
//                                    with it still open, or hang holding it
//   ProcChild hang                   wait (at most a minute; dies with its parent)
//   ProcChild segv | abort           end by that fault
//   ProcChild args FILE ...          write its root, folder and arguments to FILE
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/paths.h"
#include "win/errors.h"
#include "win/files.h"

int main(int argc, char** argv) {
    if (argc < 2) return 64;
    std::string mode = argv[1];
    if (mode == "exit" && argc == 3) return std::atoi(argv[2]);
    if (mode == "answer" && argc == 5) {
        std::u16string name;
        for (const char* p = argv[2]; *p; ++p)
            name += static_cast<char16_t>(*p);
        HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
        if (!mapping) {
            std::fprintf(stderr, "OpenFileMappingW: %u\n", GetLastError());
            return 90;
        }
        auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (!view) {
            std::fprintf(stderr, "MapViewOfFile: %u\n", GetLastError());
            return 91;
        }
        std::memcpy(view + 8, argv[3], std::strlen(argv[3]) + 1);
        UnmapViewOfFile(view);
        CloseHandle(mapping);
        return std::atoi(argv[4]);
    }
    if (mode == "create" && argc == 4) {
        std::u16string name;
        for (const char* p = argv[2]; *p; ++p)
            name += static_cast<char16_t>(*p);
        if (!CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, name.c_str()))
            return 90;
        if (GetLastError() == ERROR_ALREADY_EXISTS) return 92;
        if (std::string(argv[3]) == "exit") return 0;
        mode = "hang";
    }
    if (mode == "hang") {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (int i = 0; i < 600; ++i)
            usleep(100000);
        return 0;
    }
    if (mode == "segv" || mode == "abort") {
        int sig = mode == "segv" ? SIGSEGV : SIGABRT;
        signal(sig, SIG_DFL); // past any sanitizer's handler
        raise(sig);
        return 65;
    }
    if (mode == "args" && argc >= 3) {
        std::ofstream out(platform::HostPathUtf8(argv[2]), std::ios::binary);
        const char* root = std::getenv("PRINTHOST_ROOT");
        char cwd[4096] = {};
        out << "root=" << (root ? root : "") << "\n";
        out << "cwd=" << (getcwd(cwd, sizeof cwd) ? cwd : "") << "\n";
        for (int i = 0; i < argc; ++i)
            out << "arg=" << argv[i] << "\n";
        return 0;
    }
    return 64;
}

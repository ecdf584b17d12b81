// A job-prompt program for the graphics core's tests. It is started with the
// name of a shared memory block, keeps a copy of the block as it found it
// ("<name>.rec" beside itself), and answers as the script beside it says
// ("Jobprompt.script", one line):
//   ok ID PASSWORD DEPT      confirm with these answers ("-" leaves one empty)
//   long                     confirm with answers that fill their fields, no NUL
//   cancel                   leave without confirming
//   hang                     never answer
//   crash                    end by a fault
//   precheck RESULT [color|resize]
//                            prior-print answer; color changes the device mode's
//                            colour word, resize hands back a device mode of
//                            another size
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "win/base.h"

namespace {

std::string OwnFolder() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.rfind('/') + 1);
}

DWORD U32(const BYTE* p) {
    DWORD v;
    std::memcpy(&v, p, 4);
    return v;
}

void PutText(BYTE* at, const std::string& text) {
    std::memset(at, 0, 32);
    if (text != "-") std::memcpy(at, text.data(), std::min<size_t>(text.size(), 31));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 64;
    std::string folder = OwnFolder();
    std::string script = "cancel";
    {
        std::ifstream in(folder + "Jobprompt.script");
        if (in) std::getline(in, script);
    }
    std::u16string name;
    for (const char* p = argv[1]; *p; ++p)
        name += static_cast<char16_t>(*p);
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    if (!mapping) return 90;
    auto* view = static_cast<BYTE*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!view) return 91;
    size_t size = 0;
    bool precheck = std::memcmp(view, "prek", 4) == 0;
    if (precheck) {
        size_t at = 1056 + U32(view + 1048) + U32(view + 1052);
        WORD dmSize, dmExtra;
        std::memcpy(&dmSize, view + at + 68, 2);
        std::memcpy(&dmExtra, view + at + 70, 2);
        size = at + dmSize + dmExtra + 4;
    } else {
        size = U32(view + 4);
    }
    {
        std::ofstream out(folder + argv[1] + ".rec", std::ios::binary);
        out.write(reinterpret_cast<const char*>(view), static_cast<std::streamsize>(size));
    }
    std::istringstream words(script);
    std::string verb;
    words >> verb;
    if (verb == "hang") {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (int i = 0; i < 600; ++i)
            usleep(100000);
        return 0;
    }
    if (verb == "crash") std::abort();
    if (verb == "precheck" && precheck) {
        INT result = 0;
        std::string change;
        words >> result >> change;
        std::memcpy(view + 4, &result, 4);
        BYTE* dm = view + 1056 + U32(view + 1048) + U32(view + 1052);
        if (change == "color") {
            WORD two = 2;
            std::memcpy(dm + 220 + 296, &two, 2);
        } else if (change == "resize") {
            WORD small = 188;
            std::memcpy(dm + 68, &small, 2);
        }
    } else if ((verb == "ok" || verb == "long") && !precheck) {
        std::string id = "-", password = "-", dept = "-";
        words >> id >> password >> dept;
        INT kind;
        std::memcpy(&kind, view + 1048, 4);
        auto put = [&](size_t at, const std::string& text) {
            if (verb == "long")
                std::memset(view + at, 'Z', 32);
            else
                PutText(view + at, text);
        };
        if (kind == 1 || kind == 8) {
            put(1068, id);
            put(1100, password);
        }
        if (kind == 4) put(1068, dept);
        if (kind == 8) put(1264, dept);
        INT done = 1;
        std::memcpy(view + 1052, &done, 4);
    }
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return 0;
}

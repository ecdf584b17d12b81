// A second process on the test's machine root that saves into a profile
// store without end (or `rounds` times), for the test that kills it half way.
// It writes one line to its standard output when its first save begins, so
// the test can time its kill from then, however slow the start was.
//   profile_save_probe PRINTER STORE [ROUNDS]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver_env.h"
#include "profile_file.h"
#include "win/base.h"
#include "win/spool.h"

int main(int argc, char** argv) {
    using namespace sheetwright;
    if (argc < 3) return 2;
    const std::string printerName(argv[1]), storePath(argv[2]);
    const long rounds = argc > 3 ? std::strtol(argv[3], nullptr, 10) : -1;
    std::u16string name(printerName.begin(), printerName.end());
    HANDLE printer = nullptr;
    if (!OpenPrinterW(name.data(), &printer, nullptr)) return 3;
    LPVOID data = LoadDriverDataFile(printer);
    HMODULE modelsmith = data ? LoadDriverModule(printer, data, kSelectModelsmith) : nullptr;
    if (!modelsmith) return 4;
    const ModelBlock binding{modelsmith, data};
    ProfileFile store(&binding, std::u16string(storePath.begin(), storePath.end()));
    int failures = 0;
    std::puts("saving");
    std::fflush(stdout);
    for (long i = 0; rounds < 0 || i < rounds; ++i) {
        DEVMODE_IMAGEA d{};
        d.dm.dmSize = DEVMODEA_SIZE;
        d.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
        d.dm.dmFields = DM_COPIES;
        d.dm.dmCopies = static_cast<short>(i % 999 + 1);
        d.priv.Signature = PRIVATE_DEVMODE_SIGNATURE;
        ProfileEntry e{};
        std::snprintf(e.name, sizeof e.name, "Probe %ld", i % 5);
        if (!store.SaveProfile(&d.dm, &e, i % 2 ? TRUE : FALSE)) ++failures;
    }
    FreeLibrary(modelsmith);
    GlobalFree(data);
    ClosePrinter(printer);
    return failures ? 1 : 0;
}

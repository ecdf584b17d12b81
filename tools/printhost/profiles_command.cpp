// printhost profiles: the profiles of the user's profile store for a printer,
// as the Profile page lists them: the default settings first, then every
// saved profile in the store's order, each with its kind and comment. A
// profile is saved the way a person does it, on the Profile page through
// printhost properties ("Save as ..." and the name dialog).
#include <cstdio>
#include <string>

#include "command.h"
#include "driver_env.h"
#include "platform/text.h"
#include "profile_store.h"
#include "win/base.h"
#include "win/spool.h"

namespace printhost {
namespace {

using namespace sheetwright;

// Why the store could not be read, in the words of the store's error codes.
const char* StoreProblem(DWORD code) {
    switch (code) {
    case kProfileBadMagic:
    case kProfileBadHeadSize:
    case kProfileBadVersion:
        return "is not a profile file";
    case kProfileOtherModel:
        return "belongs to another printer model";
    case kProfileForeignDevmode:
        return "holds profiles of another driver, left out";
    case kProfileMalformed:
    case kProfileShortRecord:
        return "is damaged; what could be read is listed";
    case kProfileRefusedPath:
        return "is a link or not a plain file, and is not followed";
    default:
        return nullptr;
    }
}

int Run(const Args& args) {
    std::string printerName;
    for (size_t i = 0; i < args.size(); ++i) {
        if (printerName.empty() && !args[i].empty() && args[i][0] != '-') {
            printerName = args[i];
        } else {
            std::fprintf(stderr, "printhost profiles: unexpected argument '%s'\n", args[i].c_str());
            return 2;
        }
    }
    if (printerName.empty()) {
        std::fprintf(stderr, "printhost profiles: give a printer name\n");
        return 2;
    }
    std::u16string name = platform::FromUtf8(printerName);
    HANDLE printer = nullptr;
    if (!OpenPrinterW(name.data(), &printer, nullptr)) {
        std::fprintf(stderr, "printhost profiles: no printer '%s'\n", printerName.c_str());
        return 1;
    }
    int status = 1;
    ModelBlock block{nullptr, LoadDriverDataFile(printer)};
    if (block.modelData)
        block.modelsmith = LoadDriverModule(printer, block.modelData, kSelectModelsmith);
    std::u16string path;
    if (!block.modelsmith || !GetProfileStorePath(&block, &path)) {
        std::fprintf(stderr, "printhost profiles: the printer's model data cannot be read\n");
    } else {
        ProfileStore store(&block, path);
        store.SetPrinter(printer);
        const ProfileEntry* list = nullptr;
        DWORD count = 0;
        // Its failure is reported below from ErrorCode().
        (void)store.GetProfileList(&list, &count);
        std::printf("store: %s\n", platform::ToUtf8(path).c_str());
        if (const char* problem = StoreProblem(store.ErrorCode()))
            std::fprintf(stderr, "printhost profiles: the store %s (error %lu)\n", problem,
                         static_cast<unsigned long>(store.ErrorCode()));
        std::printf("%-24s %-8s %-8s %s\n", "name", "kind", "paper", "comment");
        std::printf("%-24s %-8s %-8s %s\n", "DEFAULT", "default", "-", "Default Settings");
        for (DWORD i = 0; i < count; ++i) {
            const ProfileEntry& e = list[i];
            const std::u16string profileName = AnsiToWide(e.name, strnlen(e.name, sizeof e.name));
            const std::u16string comment =
                AnsiToWide(e.comment, strnlen(e.comment, sizeof e.comment));
            std::printf("%-24s %-8s %-8s %s\n", platform::ToUtf8(profileName).c_str(), "profile",
                        (e.profileFlags & kProfileKeepsPaper) ? "kept" : "saved",
                        platform::ToUtf8(comment).c_str());
        }
        status = 0;
    }
    if (block.modelsmith) FreeLibrary(block.modelsmith);
    if (block.modelData) GlobalFree(block.modelData);
    ClosePrinter(printer);
    return status;
}

Command gCommand{"profiles", "PRINTER",
                 "list the user's profiles for a printer (name, kind, paper, comment)", Run};

} // namespace
} // namespace printhost

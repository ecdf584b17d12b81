// printhost package FOLDER: lists every EMF spool package in a spool folder
// (a host path): its index record by record, its page files and its fonts.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "command.h"
#include "package_reader.h"
#include "spool_package.h"
#include "platform/text.h"

namespace printhost {
namespace {

namespace fs = std::filesystem;

void ListFonts(const fs::path& folder, const std::string& stem) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile((folder / (stem + ".FON")).string(), &bytes)) {
        std::printf("  fonts: none\n");
        return;
    }
    std::vector<spoolpkg::FontEntry> fonts;
    std::string error;
    bool ok = spoolpkg::ReadFontList(bytes.data(), bytes.size(), &fonts, &error);
    for (const auto& f : fonts) {
        char name[40];
        std::snprintf(name, sizeof name, "F_%016llX.TMP",
                      static_cast<unsigned long long>(f.uniqueId));
        bool present = fs::exists(folder / stem / name);
        std::printf("  font %s \"%s\"%s\n", name, platform::ToUtf8(f.faceName).c_str(),
                    present ? "" : " (missing)");
    }
    if (!ok) std::printf("  font list damaged: %s\n", error.c_str());
}

// Returns false when the index is damaged.
bool ListPackage(const fs::path& folder, const std::string& stem) {
    std::printf("%s\n", stem.c_str());
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!ReadWholeFile((folder / (stem + ".SPL")).string(), &bytes, &why)) {
        std::fprintf(stderr, "printhost package: cannot read %s.SPL: %s\n", stem.c_str(),
                     why.c_str());
        return false;
    }
    spoolpkg::PackageIndex index;
    std::string error;
    if (!spoolpkg::ReadPackageIndex(bytes.data(), bytes.size(), &index, &error)) {
        std::fprintf(stderr, "printhost package: %s.SPL: %s\n", stem.c_str(), error.c_str());
        return false;
    }
    std::printf("  printer \"%s\", document \"%s\", %u page(s)%s\n", index.printerName.c_str(),
                index.documentName.c_str(), index.pageCount,
                index.finished ? "" : ", not finished");
    size_t page = 0;
    std::error_code ec;
    for (const auto& r : index.records) {
        std::printf("  %8zu  %-11s %zu bytes", r.offset, spoolpkg::RecordTypeName(r.type), r.size);
        if (r.type == spoolpkg::kRecordPage) {
            const std::string& path = index.pagePaths[page++];
            // Only the package's own page files are looked for: a name that
            // reaches out of the page folder is said to, never looked up.
            const std::string file = path.substr(path.rfind('\\') + 1);
            const bool own = spoolpkg::IsBareFileName(file);
            std::printf("  %s%s", path.c_str(),
                        !own                                   ? " (not in the package)"
                        : fs::exists(folder / stem / file, ec) ? ""
                                                               : " (missing)");
        }
        std::printf("\n");
    }
    ListFonts(folder, stem);
    return true;
}

int Run(const Args& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: printhost package FOLDER\n");
        return 2;
    }
    fs::path folder(args[0]);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        std::fprintf(stderr, "printhost package: %s is not a folder\n", args[0].c_str());
        return 1;
    }
    static const std::regex kIndexName("(VLM[0-9]{5})\\.SPL", std::regex::icase);
    std::vector<std::string> stems;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        std::smatch m;
        std::string name = e.path().filename().string();
        if (std::regex_match(name, m, kIndexName)) stems.push_back(m[1]);
    }
    std::sort(stems.begin(), stems.end());
    if (stems.empty()) std::printf("no spool packages\n");
    bool ok = true;
    for (const auto& stem : stems)
        ok = ListPackage(folder, stem) && ok;
    return ok ? 0 : 1;
}

Command cmd{"package", "FOLDER", "list the EMF spool packages of a spool folder", Run};

} // namespace
} // namespace printhost

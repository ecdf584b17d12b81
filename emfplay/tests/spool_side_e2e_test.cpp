// The spool-side road through the whole package: a job recorded as a spool
// package (the brochure and two sample documents) replayed 4-up by
// Metaweave into the installed printer's own driver, its stream written to a
// file through the output list, drawn by `printhost decode --png`: the first
// sheet shows a page in each of its four cells.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <strings.h>
#include <vector>

#include "emf_job.h"
#include "model/modelsmith.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform_testing/fresh_root.h"
#include "spool_package.h"
#include "win/devmode_private.h"
#include "win/files.h"
#include "win/ini.h"
#include "win/loader.h"

namespace metaweave {
namespace {

std::vector<BYTE> ReadHost(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
}

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    // Dark pixels in the rectangle.
    long Dark(int x0, int y0, int x1, int y1) const {
        long n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                size_t i = (static_cast<size_t>(y) * width + x) * 3;
                n += rgb[i] + rgb[i + 1] + rgb[i + 2] < 3 * 160;
            }
        return n;
    }
};

bool ReadPng(const std::string& png, Picture* pic) {
    std::string ppm = png + ".ppm";
    if (platform_testing::RunCommand("pngtopnm '" + png + "' > '" + ppm + "'") != 0) return false;
    std::FILE* f = std::fopen(ppm.c_str(), "rb");
    if (!f) return false;
    int maxval = 0;
    bool ok =
        std::fscanf(f, "P6 %d %d %d", &pic->width, &pic->height, &maxval) == 3 && maxval == 255;
    std::fgetc(f);
    if (ok) {
        pic->rgb.resize(static_cast<size_t>(pic->width) * pic->height * 3);
        ok = std::fread(pic->rgb.data(), 1, pic->rgb.size(), f) == pic->rgb.size();
    }
    std::fclose(f);
    return ok;
}

TEST(SpoolSide, BrochureFourUpThroughTheDriverDrawsFourCells) {
    const std::string tool = std::string("'") + PKG_TOOLS_DIR + "/printhost'";
    const std::string modelFile = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    std::string out;
    ASSERT_EQ(platform_testing::RunCommand(
                  tool + " install --name 'CX5540' --model '" + modelFile + "' 2>&1", &out),
              0)
        << out;

    // The model's default device mode, printed straight into the stream, 4-up.
    std::vector<BYTE> model = ReadHost(modelFile);
    ASSERT_FALSE(model.empty());
    DEVMODE_IMAGEA dm;
    std::memset(&dm, 0, sizeof dm);
    dm.dm.dmSize = sizeof(DEVMODEA);
    dm.dm.dmDriverExtra = sizeof(PRIVATE_DEVMODE);
    ASSERT_EQ(model::ReviseDevmode(model.data(), nullptr, 0, &dm, sizeof dm, 1), 0u);
    std::memcpy(dm.dm.dmDeviceName, "CX5540", 7);
    dm.priv.GraphicsMode = 0;
    dm.priv.LayoutKind = kLayoutNup;
    dm.priv.PagesPerSheet = 4;

    const std::u16string spool = u"C:\\Work\\spool\\";
    spoolpkg::PackageWriter w;
    uint8_t image[spoolpkg::kAnsiDevmodeSize];
    std::memcpy(image, &dm, sizeof image);
    ASSERT_EQ(w.Create(spool, 3, image, u"CX5540", u"Brochure"), 0u);
    const std::string docs = std::string(PKG_SOURCE_DIR) + "/samples/documents/";
    const char* pages[] = {"brochure/page-1.emf", "brochure/page-2.emf", "shapes.emf", "lines.emf"};
    for (DWORD p = 1; p <= 4; ++p) {
        std::vector<BYTE> bits = ReadHost(docs + pages[p - 1]);
        ASSERT_FALSE(bits.empty()) << pages[p - 1];
        std::u16string path = spoolpkg::PagePath(spool, w.spoolId(), p);
        HANDLE f = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        WriteFile(f, bits.data(), static_cast<DWORD>(bits.size()), &n, nullptr);
        CloseHandle(f);
        ASSERT_EQ(w.AppendPage(p), 0u);
    }
    ASSERT_EQ(w.Finish(4), 0u);
    // The job's output goes to a file through the output list.
    char key[16];
    std::snprintf(key, sizeof key, "%08lX", static_cast<unsigned long>(w.spoolId()));
    const char* list = "C:\\Work\\spool\\OutFile.INI";
    WritePrivateProfileStringA("OutputFileFlag", "JobID_00000000", key, list);
    WritePrivateProfileStringA("OutputFileFlag", "Dest_00000000", "C:\\Work\\brochure.prn", list);

    HMODULE player =
        LoadLibraryW(reinterpret_cast<LPCWSTR>(platform::FromUtf8(METAWEAVE_PATH).c_str()));
    HMODULE modelsmith =
        LoadLibraryW(reinterpret_cast<LPCWSTR>(platform::FromUtf8(MODELSMITH_PATH).c_str()));
    ASSERT_TRUE(player && modelsmith);
    auto print = reinterpret_cast<DWORD(WINAPI*)(EmfJobRecord*, ModelBlock*)>(
        reinterpret_cast<void (*)()>(GetProcAddress(player, "ZORPrintEMF")));
    EmfJobRecord record{};
    record.spoolId = w.spoolId();
    record.flags = kJobPackage | kJobPrintToFile | 1;
    std::strcpy(record.workingFolder, "C:\\Work\\");
    ModelBlock block{modelsmith, model.data()};
    EXPECT_EQ(print(&record, &block), 1u);
    FreeLibrary(player);
    FreeLibrary(modelsmith);

    char source[260] = {};
    GetPrivateProfileStringA("OutputFileFlag", "Source_00000000", "", source, sizeof source, list);
    ASSERT_NE(source[0], 0);
    const std::string stream = platform::HostPathUtf8(source);
    const std::string png = platform_testing::Root() + "/brochure-4up";
    ASSERT_EQ(platform_testing::RunCommand(
                  tool + " decode --png '" + png + "' '" + stream + "' 2>&1", &out),
              0)
        << out;
    EXPECT_NE(out.find("page 1: " + png + "-1.png"), std::string::npos) << out;
    Picture pic;
    ASSERT_TRUE(ReadPng(png + "-1.png", &pic));
    const int w2 = pic.width / 2, h2 = pic.height / 2;
    // Every cell holds a page: something drawn in each quarter of the sheet.
    EXPECT_GT(pic.Dark(0, 0, w2, h2), 1000);
    EXPECT_GT(pic.Dark(w2, 0, pic.width, h2), 1000);
    EXPECT_GT(pic.Dark(0, h2, w2, pic.height), 1000);
    EXPECT_GT(pic.Dark(w2, h2, pic.width, pic.height), 1000);
}

std::string Text(const std::string& path) {
    std::vector<BYTE> bytes = ReadHost(path);
    return std::string(bytes.begin(), bytes.end());
}

// The tool's answer alone (the runner appends to what it is given).
int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// An application that prints to a file while the job takes the spool-side
// road: the recorded job cannot write the file, the replayed one writes a
// temporary file, and its completion copies that into the named file. Two
// such jobs at once, in two processes, each end in their own file, and
// nothing is left behind in the spool folder.
TEST(SpoolSide, PrintToFileEndsInTheNamedFileForTwoJobsAtOnce) {
    const std::string modelFile = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    std::string out;
    ASSERT_EQ(Printhost("install --name 'CX5540' --model '" + modelFile + "'", &out), 0) << out;
    // Four pages to a sheet: a layout only the spool side lays out.
    ASSERT_EQ(Printhost("devmode 'CX5540' --set LayoutKind=1 --set PagesPerSheet=4 --store", &out),
              0)
        << out;
    const std::string root = platform_testing::Root();
    const std::string docs = std::string(PKG_SOURCE_DIR) + "/samples/documents/";
    const std::string tool = std::string("'") + PKG_TOOLS_DIR + "/printhost'";
    const std::string a = root + "/brochure to file.prn", b = root + "/shapes to file.prn";
    ASSERT_EQ(platform_testing::RunCommand("(" + tool + " print --printer CX5540 --to-file '" + a +
                                               "' '" + docs + "brochure' > '" + root +
                                               "/a.log' 2>&1 & first=$!; " + tool +
                                               " print --printer CX5540 --to-file '" + b + "' '" +
                                               docs + "shapes.emf' > '" + root +
                                               "/b.log' 2>&1 & second=$!; wait $first && wait "
                                               "$second)",
                                           &out),
              0)
        << out << Text(root + "/a.log") << Text(root + "/b.log");

    struct Expect {
        std::string file, document;
    };
    for (const Expect& e : {Expect{a, "brochure"}, Expect{b, "shapes.emf"}}) {
        SCOPED_TRACE(e.file);
        ASSERT_TRUE(std::filesystem::exists(e.file));
        EXPECT_GT(std::filesystem::file_size(e.file), 1000u);
        ASSERT_EQ(Printhost("decode '" + e.file + "'", &out), 0) << out;
        EXPECT_NE(out.find("@PJL EOJ NAME=\"" + e.document + "\""), std::string::npos) << out;
        // The brochure's two pages went 4-up onto one sheet, as did the one page of shapes.
        EXPECT_EQ(Count(out, "page start"), 1u) << out;
        EXPECT_NE(out.find(" 0 problems"), std::string::npos) << out;
    }

    // The output list has no slot left, and no temporary file stayed.
    std::string list;
    for (const auto& f : std::filesystem::recursive_directory_iterator(root + "/c")) {
        const std::string name = f.path().filename().string();
        EXPECT_EQ(name.find("~tmp"), std::string::npos) << f.path();
        if (strcasecmp(name.c_str(), "OutFile.INI") == 0) list = f.path().string();
    }
    ASSERT_FALSE(list.empty());
    const std::string text = Text(list);
    EXPECT_EQ(text.find("JobID_"), std::string::npos) << text;
    EXPECT_EQ(text.find("Dest_"), std::string::npos) << text;
}

} // namespace
} // namespace metaweave

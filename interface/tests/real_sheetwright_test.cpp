// Frontdoor over the built UI library: every device capability of both sample
// models, printed as a table beside what the model data says. Skipped while
// the UI library does not yet export its capability lists.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "frontdoor_fixture.h"
#include "platform/text.h"
#include "win/gdi_text.h"

namespace frontdoor_test {
namespace {

namespace fs = std::filesystem;

DWORD Number(const nlohmann::json& v) {
    return v.is_string() ? static_cast<DWORD>(std::stoul(v.get<std::string>(), nullptr, 0))
                         : v.get<DWORD>();
}

class RealSheetwright : public FrontdoorTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RealSheetwright, CapabilitiesAgainstTheModelData) {
    HMODULE built =
        LoadLibraryW(platform::FromUtf8(std::string(PKG_DRIVER_DIR) + "/Sheetwright.DLL").c_str());
    bool ready = built && GetProcAddress(built, "uiEnumMyPrinterInfo") &&
                 GetProcAddress(built, "uiReviseDevmodeEx");
    if (built) FreeLibrary(built);
    if (!ready) GTEST_SKIP() << "the UI library does not export its capability lists yet";

    std::string model = GetParam();
    nlohmann::json codes = SampleSource(model)["codes"];
    Open(SampleModel(model), Ui::None);
    fs::copy_file(fs::path(PKG_DRIVER_DIR) / "Sheetwright.DLL", HostFile(u"P", u"Sheetwright.DLL"),
                  fs::copy_options::overwrite_existing);
    auto caps = Entry<PFN_DrvDeviceCapabilities>("DrvDeviceCapabilities");
    auto ask = [&](WORD index, void* out = nullptr) {
        return caps(printer, const_cast<LPWSTR>(u"P"), index, out, nullptr);
    };

    // Expected values, from the model's own tables.
    std::vector<WORD> papers;
    std::vector<POINT> sizes;
    for (const auto& e : codes["20"]["entries"]) {
        papers.push_back(e["id"].get<WORD>());
        sizes.push_back({e["width"].get<LONG>(), e["length"].get<LONG>()});
    }
    if (codes["21"].value("supported", 0)) {
        papers.push_back(256); // the custom size
        sizes.push_back({0, 0});
    }
    std::vector<DWORD> media;
    for (const auto& e : codes["22"]["entries"])
        media.push_back(e["id"].get<DWORD>());
    std::vector<LONG> resolutions;
    for (const auto& e : codes["42"]["entries"])
        if (!(Number(e["slots"][3]) & 0x8)) {
            resolutions.push_back(Number(e["slots"][7]));
            resolutions.push_back(Number(e["slots"][8]));
        }
    const auto& limits = codes["21"];
    DWORD minExtent = (Number(limits["min_length"]) << 16) | Number(limits["min_width"]);
    DWORD maxExtent = (Number(limits["max_length"]) << 16) | Number(limits["max_width"]);
    DWORD rate = Number(codes["13"]["1"][0]);
    DWORD colour = codes["40"].is_object() && Number(codes["40"]["1"][0]) ? 1 : 0;

    struct Row {
        WORD index;
        const char* name;
        DWORD expected;
        const char* source;
    } rows[] = {
        {DC_PAPERS, "DC_PAPERS", static_cast<DWORD>(papers.size()),
         "table 20 papers (+ custom, table 21)"},
        {DC_PAPERSIZE, "DC_PAPERSIZE", static_cast<DWORD>(papers.size()), "table 20 sizes"},
        {DC_PAPERNAMES, "DC_PAPERNAMES", static_cast<DWORD>(papers.size()), "table 20 names"},
        {DC_MINEXTENT, "DC_MINEXTENT", minExtent, "table 21 smallest custom size"},
        {DC_MAXEXTENT, "DC_MAXEXTENT", maxExtent, "table 21 largest custom size"},
        {DC_SIZE, "DC_SIZE", 220, "the image's DEVMODEW"},
        {DC_EXTRA, "DC_EXTRA", 1100, "the private block"},
        {DC_VERSION, "DC_VERSION", 0x0401, "the image's spec version"},
        {DC_DRIVER, "DC_DRIVER", 0x0500, "the image's driver version"},
        {DC_ENUMRESOLUTIONS, "DC_ENUMRESOLUTIONS", static_cast<DWORD>(resolutions.size() / 2),
         "table 42 shown modes"},
        {DC_ORIENTATION, "DC_ORIENTATION", 90, "landscape turns by 90"},
        {DC_COPIES, "DC_COPIES", Number(codes["23"]["1"][0]), "table 23"},
        {DC_COLLATE, "DC_COLLATE", 1, "table 38 present"},
        {DC_PERSONALITY, "DC_PERSONALITY", 1, "always 1"},
        {DC_PRINTRATE, "DC_PRINTRATE", rate, "table 13"},
        {DC_PRINTRATEUNIT, "DC_PRINTRATEUNIT", PRINTRATEUNIT_PPM, "pages per minute"},
        {DC_PRINTRATEPPM, "DC_PRINTRATEPPM", rate, "table 13"},
        {DC_COLORDEVICE, "DC_COLORDEVICE", colour, "table 40"},
        {DC_NUP, "DC_NUP", 7, "1, 2, 4, 6, 8, 9, 16"},
        {DC_MEDIATYPES, "DC_MEDIATYPES", static_cast<DWORD>(media.size()), "table 22"},
        {DC_MEDIATYPENAMES, "DC_MEDIATYPENAMES", static_cast<DWORD>(media.size()),
         "table 22 names"},
        {DC_FILEDEPENDENCIES, "DC_FILEDEPENDENCIES", GDI_ERROR, "not answered"},
        {DC_BINADJUST, "DC_BINADJUST", GDI_ERROR, "not answered"},
        {DC_EMF_COMPLIANT, "DC_EMF_COMPLIANT", GDI_ERROR, "not answered"},
        {DC_DATATYPE_PRODUCED, "DC_DATATYPE_PRODUCED", GDI_ERROR, "not answered"},
        {DC_MANUFACTURER, "DC_MANUFACTURER", GDI_ERROR, "not answered"},
        {DC_MODEL, "DC_MODEL", GDI_ERROR, "not answered"},
    };
    std::printf("%s\n%-22s %10s %10s  %s\n", model.c_str(), "capability", "answer", "model",
                "from");
    for (const auto& r : rows) {
        DWORD answer = ask(r.index);
        std::printf("%-22s %10d %10d  %s\n", r.name, static_cast<int>(answer),
                    static_cast<int>(r.expected), r.source);
        EXPECT_EQ(answer, r.expected) << r.name;
    }
    // The answers that depend on the installed options, shown beside their bounds.
    for (auto [index, name] : {std::pair<WORD, const char*>{DC_BINS, "DC_BINS"},
                               {DC_BINNAMES, "DC_BINNAMES"},
                               {DC_DUPLEX, "DC_DUPLEX"},
                               {DC_STAPLE, "DC_STAPLE"},
                               {DC_MEDIAREADY, "DC_MEDIAREADY"},
                               {DC_TRUETYPE, "DC_TRUETYPE"},
                               {DC_FIELDS, "DC_FIELDS"}}) {
        DWORD answer = ask(index);
        std::printf("%-22s %10d %10s  installed options / merged device mode\n", name,
                    static_cast<int>(answer), "-");
        EXPECT_NE(answer, GDI_ERROR) << name;
    }

    // Installed memory: a model without memory options (no table 36) has none
    // to tell, and the question fails.
    DWORD memory = ask(DC_PRINTERMEM);
    std::printf("%-22s %10d %10s  installed memory\n", "DC_PRINTERMEM", static_cast<int>(memory),
                codes.contains("36") ? "> 0" : "-1");
    if (codes.contains("36"))
        EXPECT_TRUE(memory != GDI_ERROR && memory > 0);
    else
        EXPECT_EQ(memory, GDI_ERROR);

    std::vector<WORD> ids(papers.size());
    ASSERT_EQ(ask(DC_PAPERS, ids.data()), papers.size());
    EXPECT_EQ(ids, papers);
    std::vector<POINT> got(sizes.size());
    ASSERT_EQ(ask(DC_PAPERSIZE, got.data()), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(got[i].x, sizes[i].x) << i;
        EXPECT_EQ(got[i].y, sizes[i].y) << i;
    }
    std::vector<DWORD> mediaIds(media.size());
    ASSERT_EQ(ask(DC_MEDIATYPES, mediaIds.data()), media.size());
    EXPECT_EQ(mediaIds, media);
    std::vector<LONG> dpis(resolutions.size());
    ASSERT_EQ(ask(DC_ENUMRESOLUTIONS, dpis.data()), resolutions.size() / 2);
    EXPECT_EQ(dpis, resolutions);
}

INSTANTIATE_TEST_SUITE_P(SampleModels, RealSheetwright, ::testing::Values("CX5540", "LP1220"));

} // namespace
} // namespace frontdoor_test

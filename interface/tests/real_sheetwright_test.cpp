// Frontdoor over the built UI library: every device capability index of both
// sample models, printed as a table beside what the model data says. The
// expected answers come from the model library's own queries and the
// resource library's strings, the header values from the device mode the
// spooler stored at install. A new printer has no optional unit fitted.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "frontdoor_fixture.h"
#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "platform/facts.h"
#include "platform/text.h"
#include "devmode_private.h"
#include "win/gdi_text.h"
#include "win/resources.h"

namespace frontdoor_test {
namespace {

// The model library's answers to the printer's model data.
class ModelAnswers {
  public:
    explicit ModelAnswers(const Bytes& model) : data_(model) {
        lib_ = LoadLibraryW((DriverFolder(u"P") + u"Modelsmith.DLL").c_str());
        if (lib_)
            ask_ = As<PFN_mdGetMyPrinterInfo>(
                GetProcAddress(lib_, MAKEINTRESOURCEA(MODELSMITH_ORDINAL_GETMYPRINTERINFO)));
        if (lib_)
            revise_ = As<PFN_mdReviseDevmode>(
                GetProcAddress(lib_, MAKEINTRESOURCEA(MODELSMITH_ORDINAL_REVISEDEVMODE)));
        texts_ = LoadLibraryW((DriverFolder(u"P") + u"Resbundle.DLL").c_str());
    }
    ~ModelAnswers() {
        if (texts_) FreeLibrary(texts_);
        if (lib_) FreeLibrary(lib_);
    }
    bool Ready() const { return ask_ && revise_ && texts_; }

    // Every entry of a query, or empty when the model has none.
    Bytes Query(int code, int layout) {
        DWORD length = 0, count = 0;
        if (ask_(data_.data(), code, 0, layout, nullptr, &length, &count) != 0 || length == 0)
            return {};
        Bytes out(length);
        if (ask_(data_.data(), code, 0, layout, out.data(), &length, &count) != 0) return {};
        out.resize(length);
        return out;
    }
    template <class T> std::vector<T> Records(int code, int layout) {
        Bytes b = Query(code, layout);
        std::vector<T> v(b.size() / sizeof(T));
        if (!v.empty()) std::memcpy(v.data(), b.data(), v.size() * sizeof(T));
        return v;
    }
    bool Has(int code, int layout = model::layout::kFixedFirst) {
        return !Query(code, layout).empty();
    }
    template <class T> T At(int code, int layout, size_t offset) {
        Bytes b = Query(code, layout);
        T v{};
        if (offset + sizeof v <= b.size()) std::memcpy(&v, b.data() + offset, sizeof v);
        return v;
    }
    // The model's default device mode (ANSI, with the private block).
    Bytes Defaults() {
        Bytes dm(DEVMODEA_SIZE + PRIVATE_DEVMODE_SIZE);
        auto put = [&](size_t at, WORD v) { std::memcpy(dm.data() + at, &v, sizeof v); };
        put(offsetof(DEVMODEA, dmSpecVersion), DM_SPECVERSION);
        put(offsetof(DEVMODEA, dmSize), DEVMODEA_SIZE);
        put(offsetof(DEVMODEA, dmDriverExtra), PRIVATE_DEVMODE_SIZE);
        if (revise_(data_.data(), nullptr, dm.data(), 1) != 0) return {};
        return dm;
    }
    std::u16string Text(UINT id) {
        WCHAR text[256] = {};
        int n = LoadStringW(reinterpret_cast<HINSTANCE>(texts_), id, text, 256);
        return std::u16string(text, n > 0 ? static_cast<size_t>(n) : 0);
    }

  private:
    Bytes data_;
    HMODULE lib_ = nullptr;
    HMODULE texts_ = nullptr;
    PFN_mdGetMyPrinterInfo ask_ = nullptr;
    PFN_mdReviseDevmode revise_ = nullptr;
};

// An answer's output as the caller's buffer receives it.
class Output {
  public:
    template <class T> void Add(T v) {
        const auto* p = reinterpret_cast<const BYTE*>(&v);
        bytes.insert(bytes.end(), p, p + sizeof v);
    }
    // A name in a slot of `chars` characters: cut to leave room for the NUL.
    void Name(const std::u16string& name, size_t chars) {
        std::u16string slot = name.substr(0, chars - 1);
        slot.resize(chars, u'\0');
        const auto* p = reinterpret_cast<const BYTE*>(slot.data());
        bytes.insert(bytes.end(), p, p + chars * sizeof(WCHAR));
    }
    Bytes bytes;
};

constexpr WORD kCustomPaper = 256;        // the custom size's paper id
constexpr UINT kCustomPaperText = 7999;   // "Custom Size"
constexpr WORD kManualFeedBin = 4;        // DMBIN_MANUAL, listed last
constexpr size_t kQualityFlagsAt = 16;    // table 42 layout 1: the mode's flag word
constexpr DWORD kQualityNotOffered = 0x8; // a mode the printer does not list
constexpr size_t kMemoryModuleSize = 16;  // table 36 layout 2: id, text, size at 4, flags at 8
constexpr BYTE kModuleStandard = 0x2, kModuleOptional = 0x1;

class RealSheetwright : public FrontdoorTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RealSheetwright, CapabilitiesAgainstTheModelData) {
    ASSERT_TRUE(platform::test::SetLocale(0x0409)); // a letter-paper region
    std::string name = GetParam();
    Bytes data = SampleModel(name);
    Open(data, Ui::Built);
    ModelAnswers m(data);
    ASSERT_TRUE(m.Ready());
    auto caps = Entry<PFN_DrvDeviceCapabilities>("DrvDeviceCapabilities");

    // The device mode the spooler stored from the interface at install.
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    Bytes info(needed);
    ASSERT_TRUE(GetPrinterW(printer, 2, info.data(), needed, &needed));
    const DEVMODEW* stored = reinterpret_cast<PRINTER_INFO_2W*>(info.data())->pDevMode;
    ASSERT_NE(stored, nullptr);

    Bytes defaults = m.Defaults();
    ASSERT_FALSE(defaults.empty());
    DWORD fields = 0;
    std::memcpy(&fields, defaults.data() + offsetof(DEVMODEA, dmFields), sizeof fields);

    struct Row {
        WORD index;
        const char* name;
        DWORD expected;
        const char* source;
        Output output; // what a buffer receives; empty: the index writes nothing checked
    };
    std::vector<Row> rows;
    auto row = [&](WORD index, const char* n, DWORD expected, const char* source, Output out = {}) {
        rows.push_back({index, n, expected, source, out});
    };

    // Papers: table 20's records, then the custom size when table 21 offers it.
    Output paperIds, paperSizes, paperNames;
    DWORD papers = 0;
    for (const auto& p :
         m.Records<model::PaperRecordAnswer>(model::kQueryPapers, model::layout::kPaperRecord)) {
        paperIds.Add<WORD>(static_cast<WORD>(p.id));
        paperSizes.Add<POINT>({p.width, p.length});
        paperNames.Name(m.Text(static_cast<UINT>(p.nameId)), 64);
        ++papers;
    }
    const auto limits = m.Records<model::PaperLimitsAnswer>(model::kQueryCustomPaperLimits,
                                                            model::layout::kLimitsRecord);
    if (!limits.empty() && limits[0].offered) {
        paperIds.Add<WORD>(kCustomPaper);
        paperSizes.Add<POINT>({0, 0});
        paperNames.Name(m.Text(kCustomPaperText), 64);
        ++papers;
    }
    ASSERT_GT(papers, 0u);
    row(DC_PAPERS, "DC_PAPERS", papers, "table 20 records (+ custom, table 21)", paperIds);
    row(DC_PAPERSIZE, "DC_PAPERSIZE", papers, "table 20 width and length", paperSizes);
    row(DC_PAPERNAMES, "DC_PAPERNAMES", papers, "table 20 name strings", paperNames);
    auto extent = [](SHORT w, SHORT l) {
        return static_cast<DWORD>(static_cast<WORD>(l)) << 16 | static_cast<WORD>(w);
    };
    row(DC_MINEXTENT, "DC_MINEXTENT",
        limits.empty() ? GDI_ERROR : extent(limits[0].smallestWidth, limits[0].smallestLength),
        "table 21 smallest custom size");
    row(DC_MAXEXTENT, "DC_MAXEXTENT",
        limits.empty() ? GDI_ERROR : extent(limits[0].largestWidth, limits[0].largestLength),
        "table 21 largest custom size");

    // Bins: the standard trays of table 24 (no feeder of table 26 is fitted),
    // manual feed last.
    std::vector<std::pair<WORD, UINT>> trays;
    Bytes trayRecords = m.Query(model::kQueryPaperSources, model::layout::kTrayRecord);
    for (size_t at = 0; at + model::kTrayRecordSize <= trayRecords.size();
         at += model::kTrayRecordSize) {
        SHORT id, text;
        std::memcpy(&id, trayRecords.data() + at, sizeof id);
        std::memcpy(&text, trayRecords.data() + at + sizeof id, sizeof text);
        trays.emplace_back(static_cast<WORD>(id), static_cast<UINT>(text));
    }
    std::stable_partition(trays.begin(), trays.end(),
                          [](const auto& t) { return t.first != kManualFeedBin; });
    Output binIds, binNames;
    for (const auto& [id, text] : trays) {
        binIds.Add<WORD>(id);
        binNames.Name(m.Text(text), 24);
    }
    const DWORD bins = static_cast<DWORD>(trays.size());
    row(DC_BINS, "DC_BINS", bins, "table 24 trays, manual feed last", binIds);
    row(DC_BINNAMES, "DC_BINNAMES", bins, "table 24 tray strings", binNames);

    // Duplex: a unit kind of table 25 that asks for no further feature.
    DWORD duplex = 0;
    if (m.Has(model::kQueryInstallable)) {
        auto word = [&](size_t at) {
            return m.At<DWORD>(model::kQueryInstallable, model::layout::kInstallableRecord, at);
        };
        duplex = ((word(0) & 0x3) && word(4) == 0) || ((word(0) & 0xC) && word(8) == 0) ? 1 : 0;
    }
    row(DC_DUPLEX, "DC_DUPLEX", duplex, "table 25 unit kinds and their feature masks");

    // Header values: the stored default device mode and the model's fields.
    row(DC_FIELDS, "DC_FIELDS", fields, "the model's default device mode");
    row(DC_SIZE, "DC_SIZE", stored->dmSize, "the stored default device mode");
    row(DC_EXTRA, "DC_EXTRA", stored->dmDriverExtra, "the stored default device mode");
    row(DC_VERSION, "DC_VERSION", stored->dmSpecVersion, "the stored default device mode");
    row(DC_DRIVER, "DC_DRIVER", stored->dmDriverVersion, "the stored default device mode");

    // Resolutions: the offered print quality modes of table 42.
    Output resolutions;
    DWORD modes = 0;
    for (const auto& q : m.Records<model::QualityAnswer>(model::kQueryQualityModes,
                                                         model::layout::kQualityRecord)) {
        DWORD flags = 0;
        std::memcpy(&flags, reinterpret_cast<const BYTE*>(&q) + kQualityFlagsAt, sizeof flags);
        if (flags & kQualityNotOffered) continue;
        resolutions.Add<LONG>(static_cast<LONG>(q.x));
        resolutions.Add<LONG>(static_cast<LONG>(q.y));
        ++modes;
    }
    row(DC_ENUMRESOLUTIONS, "DC_ENUMRESOLUTIONS", modes, "table 42 offered modes", resolutions);

    // TrueType: the device's own fonts, and what table 39 lets be sent.
    DWORD trueType = 0;
    if (fields & DM_TTOPTION) {
        trueType = DCTT_SUBDEV;
        auto handling = m.Records<model::FontHandlingAnswer>(model::kQueryDeviceFonts,
                                                             model::layout::kFontHandling);
        if (!handling.empty() && (handling[0].bits & (model::kFontBit0 | model::kFontBit1)))
            trueType += DCTT_DOWNLOAD;
        if (!handling.empty() && (handling[0].bits & model::kFontBit2)) trueType += DCTT_BITMAP;
    }
    row(DC_TRUETYPE, "DC_TRUETYPE", trueType, "DM_TTOPTION, table 39 handling bits");
    row(DC_ORIENTATION, "DC_ORIENTATION", 90, "landscape turned by 90 (no turn back stored)");
    auto first = [&](int code, DWORD absent) {
        return m.Has(code) ? m.At<DWORD>(code, model::layout::kFixedFirst, 0) : absent;
    };
    row(DC_COPIES, "DC_COPIES", first(model::kQueryCopies, 0), "table 23");
    row(DC_COLLATE, "DC_COLLATE", m.Has(model::kQueryCopyControl) ? 1 : GDI_ERROR,
        "table 38 present");

    // Personality: table 14 layout 2, widened into 32 characters.
    Output personality;
    Bytes text = m.Query(model::kQueryFamilyName, model::layout::kPersonality);
    std::u16string wide;
    for (BYTE c : text) {
        if (!c) break;
        wide.push_back(static_cast<char16_t>(c));
    }
    personality.Name(wide, 32);
    row(DC_PERSONALITY, "DC_PERSONALITY", 1, "table 14 layout 2 (always 1)", personality);
    row(DC_PRINTRATE, "DC_PRINTRATE", first(model::kQueryPrintRate, GDI_ERROR), "table 13");
    row(DC_PRINTRATEUNIT, "DC_PRINTRATEUNIT", PRINTRATEUNIT_PPM, "pages per minute");

    // Memory: table 36's on-board size and its standard modules, in KB.
    DWORD memory = GDI_ERROR;
    if (m.Has(model::kQueryMemory)) {
        DWORD mb = m.At<DWORD>(model::kQueryMemory, model::layout::kOptionValue, 0);
        Bytes modules = m.Query(model::kQueryMemory, model::layout::kOptionList);
        for (size_t at = 0; at + kMemoryModuleSize <= modules.size(); at += kMemoryModuleSize) {
            DWORD size = 0;
            std::memcpy(&size, modules.data() + at + 4, sizeof size);
            if ((modules[at + 8] & (kModuleStandard | kModuleOptional)) == kModuleStandard)
                mb += size;
        }
        memory = mb * 1024;
    }
    row(DC_PRINTERMEM, "DC_PRINTERMEM", memory, "table 36 on-board and standard modules");

    // Media ready: no form-to-tray table, so the region's default paper.
    Output ready;
    auto paperDefaults =
        m.Records<model::PaperDefaultsAnswer>(model::kQueryPapers, model::layout::kPaperDefaults);
    WORD readyPaper = paperDefaults.empty() ? 1 : static_cast<WORD>(paperDefaults[0].letterRegion);
    for (const auto& p :
         m.Records<model::PaperRecordAnswer>(model::kQueryPapers, model::layout::kPaperRecord))
        if (static_cast<WORD>(p.id) == readyPaper)
            ready.Name(m.Text(static_cast<UINT>(p.nameId)), 64);
    row(DC_MEDIAREADY, "DC_MEDIAREADY", 1, "table 20 letter-region default", ready);
    row(DC_STAPLE, "DC_STAPLE", 0, "no finisher fitted");
    row(DC_PRINTRATEPPM, "DC_PRINTRATEPPM", first(model::kQueryPrintRate, GDI_ERROR), "table 13");
    row(DC_COLORDEVICE, "DC_COLORDEVICE",
        m.Has(model::kQueryColor) && m.At<DWORD>(model::kQueryColor, model::layout::kFixedFirst, 0)
            ? 1
            : 0,
        "table 40");
    Output nup;
    for (DWORD n : {1, 2, 4, 6, 8, 9, 16})
        nup.Add<DWORD>(n);
    row(DC_NUP, "DC_NUP", 7, "the pages-per-sheet choices", nup);

    // Media types: table 22.
    Output mediaIds, mediaNames;
    DWORD media = 0;
    for (const auto& e :
         m.Records<model::IdNameAnswer>(model::kQueryMediaTypes, model::layout::kMediaList)) {
        mediaIds.Add<DWORD>(static_cast<DWORD>(static_cast<LONG>(e.id)));
        mediaNames.Name(m.Text(static_cast<UINT>(e.nameId)), 64);
        ++media;
    }
    row(DC_MEDIATYPENAMES, "DC_MEDIATYPENAMES", media, "table 22 name strings", mediaNames);
    row(DC_MEDIATYPES, "DC_MEDIATYPES", media, "table 22 ids", mediaIds);

    // Indexes the interface never answers.
    for (auto [index, n] : {std::pair<WORD, const char*>{0, "index 0"},
                            {DC_FILEDEPENDENCIES, "DC_FILEDEPENDENCIES"},
                            {DC_BINADJUST, "DC_BINADJUST"},
                            {DC_EMF_COMPLIANT, "DC_EMF_COMPLIANT"},
                            {DC_DATATYPE_PRODUCED, "DC_DATATYPE_PRODUCED"},
                            {DC_MANUFACTURER, "DC_MANUFACTURER"},
                            {DC_MODEL, "DC_MODEL"},
                            {DC_MEDIATYPES + 1, "index 36"}})
        row(index, n, GDI_ERROR, "not answered");

    // Every index from 1 to 35 has its row.
    for (WORD index = DC_FIELDS; index <= DC_MEDIATYPES; ++index)
        EXPECT_TRUE(
            std::any_of(rows.begin(), rows.end(), [&](const Row& r) { return r.index == index; }))
            << "no row for index " << index;

    // The names as a person reads them, from the strings the model names.
    auto firstName = [&](int code, int layout) {
        auto e = m.Records<model::IdNameAnswer>(code, layout);
        return e.empty() ? std::string("-")
                         : "\"" + platform::ToUtf8(m.Text(static_cast<UINT>(e[0].nameId))) + "\"";
    };
    std::printf("first names: paper %s, media type %s, tray %s; personality \"%s\"\n",
                firstName(model::kQueryPapers, model::layout::kPaperList).c_str(),
                firstName(model::kQueryMediaTypes, model::layout::kMediaList).c_str(),
                firstName(model::kQueryPaperSources, model::layout::kTrayList).c_str(),
                platform::ToUtf8(wide).c_str());
    std::printf("%s\n%-22s %10s %10s  %s\n", name.c_str(), "capability", "answer", "model", "from");
    for (const Row& r : rows) {
        DWORD answer = caps(printer, const_cast<LPWSTR>(u"P"), r.index, nullptr, nullptr);
        std::printf("%-22s %10d %10d  %s\n", r.name, static_cast<int>(answer),
                    static_cast<int>(r.expected), r.source);
        EXPECT_EQ(answer, r.expected) << r.name;
        if (r.output.bytes.empty()) continue;
        // With a buffer: the same answer, and exactly the bytes the model gives.
        Bytes out(r.output.bytes.size() + 64, 0);
        EXPECT_EQ(caps(printer, const_cast<LPWSTR>(u"P"), r.index, out.data(), nullptr), r.expected)
            << r.name << " with a buffer";
        EXPECT_EQ(
            Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(r.output.bytes.size())),
            r.output.bytes)
            << r.name << " output";
        EXPECT_EQ(
            Bytes(out.begin() + static_cast<std::ptrdiff_t>(r.output.bytes.size()), out.end()),
            Bytes(64, 0))
            << r.name << " wrote past its entries";
    }
}

// The print query and DC_TRUETYPE judge the job's own device mode: the
// revision behind the merge would put a listed resolution and the default's
// TrueType option in place of what the job asked for.
TEST_P(RealSheetwright, PrintQueryAndTrueTypeJudgeTheJobsDevmode) {
    Bytes data = SampleModel(GetParam());
    Open(data, Ui::Built);
    auto caps = Entry<PFN_DrvDeviceCapabilities>("DrvDeviceCapabilities");
    auto query = Entry<PFN_DevQueryPrintEx>("DevQueryPrintEx");
    DWORD listed = caps(printer, const_cast<LPWSTR>(u"P"), DC_ENUMRESOLUTIONS, nullptr, nullptr);
    ASSERT_GT(listed, 0u);
    std::vector<LONG> resolutions(2 * listed);
    caps(printer, const_cast<LPWSTR>(u"P"), DC_ENUMRESOLUTIONS, resolutions.data(), nullptr);

    DEVMODE_IMAGEW job{};
    job.dm.dmSize = sizeof(DEVMODEW);
    job.dm.dmSpecVersion = 0x0401;
    job.dm.dmFields = DM_PRINTQUALITY;
    struct Case {
        SHORT dpi;
        BOOL printable;
    } cases[] = {{2400, FALSE}, {static_cast<SHORT>(resolutions[0]), TRUE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        job.dm.dmPrintQuality = c.dpi;
        WCHAR text[64] = {};
        DEVQUERYPRINT_INFO info{sizeof info, 1, printer, &job.dm, text, 64, 0};
        EXPECT_EQ(query(&info), c.printable);
        EXPECT_EQ(std::u16string(text), c.printable ? u"" : u"Invalid resolution");
    }

    job.dm.dmFields = DM_ORIENTATION;
    job.dm.dmOrientation = DMORIENT_PORTRAIT;
    EXPECT_EQ(caps(printer, const_cast<LPWSTR>(u"P"), DC_TRUETYPE, nullptr, &job.dm), 0u);
    job.dm.dmFields |= DM_TTOPTION;
    job.dm.dmTTOption = 2; // download TrueType fonts
    EXPECT_GE(caps(printer, const_cast<LPWSTR>(u"P"), DC_TRUETYPE, nullptr, &job.dm),
              DWORD{DCTT_SUBDEV});
}

INSTANTIATE_TEST_SUITE_P(SampleModels, RealSheetwright, ::testing::Values("CX5540", "LP1220"));

} // namespace
} // namespace frontdoor_test

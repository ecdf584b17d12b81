// The sample documents in samples/documents are the generator's output, and
// every record in them plays.
#include <filesystem>
#include <fstream>
#include <set>

#include "emf_fixture.h"
#include "win/winddi.h"
#include "sample_documents.h"

namespace {

std::vector<BYTE> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

const std::filesystem::path kFolder = std::filesystem::path(PKG_SOURCE_DIR) / "samples/documents";

TEST(SampleDocumentsTest, CommittedDocumentsAreWhatTheGeneratorMakes) {
    auto documents = emfgen::SampleDocuments();
    std::set<std::string> names;
    for (const auto& [name, bytes] : documents) {
        SCOPED_TRACE(name);
        names.insert(name);
        EXPECT_EQ(ReadFile(kFolder / name), bytes) << "run: emfgen samples/documents";
        EXPECT_LT(bytes.size(), 16384u); // small
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kFolder)) {
        if (entry.path().extension() != ".emf") continue;
        std::string name = std::filesystem::relative(entry.path(), kFolder).generic_string();
        EXPECT_TRUE(names.count(name)) << name << " is not made by the generator";
    }
}

class SampleDocumentsPlayTest : public emftest::RecorderTest {};

TEST_F(SampleDocumentsPlayTest, EveryRecordOfEveryDocumentPlays) {
    // The usual hooks and a way for the engine's renderings onto the page,
    // so that every bitmap record can be drawn (one that cannot is noted).
    set("hooks",
        HOOK_FILLPATH | HOOK_STROKEPATH | HOOK_LINETO | HOOK_BITBLT | HOOK_TEXTOUT | HOOK_COPYBITS);
    OpenPage();
    for (const auto& [name, bytes] : emfgen::SampleDocuments()) {
        SCOPED_TRACE(name);
        std::string path = (kFolder / name).string();
        HENHMETAFILE h = GetEnhMetaFileA(path.c_str());
        ASSERT_NE(h, nullptr);
        ENHMETAHEADER header{};
        GetEnhMetaFileHeader(h, sizeof header, &header);
        EXPECT_EQ(header.szlDevice.cx, 4960);
        EXPECT_TRUE(PlayEnhMetaFile(hdc, h, &emftest::kPage));
        DeleteEnhMetaFile(h);
        std::string calls = log();
        clear();
        bool text = name.rfind("text/", 0) == 0;
        if (name != "lines.emf" && !text) {
            EXPECT_NE(calls.find("DrvFillPath"), std::string::npos);
        }
        if (name != "brochure/page-1.emf" && name != "text/japanese.emf") {
            EXPECT_NE(calls.find("DrvStrokePath"), std::string::npos);
        }
        if (text) {
            EXPECT_NE(calls.find("DrvTextOut"), std::string::npos);
        }
        if (name == "clipping.emf") {
            EXPECT_NE(calls.find("clip=complex"), std::string::npos);
        }
        if (name == "fills.emf") {
            EXPECT_NE(calls.find("pattern=2x2"), std::string::npos);
            EXPECT_NE(calls.find("mix=0x707"), std::string::npos);
        }
        EXPECT_EQ(platform::test::SkippedEmfRecords(), "");
    }
}

} // namespace

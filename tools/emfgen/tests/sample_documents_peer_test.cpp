// Outside readers of metafiles take every sample document: libUEMF's checks
// of each record's size and contents, and emf2svg's drawing of the pages.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform_testing/fresh_root.h"
#include "sample_documents.h"

#if HAVE_UEMF
extern "C" {
#include <uemf_endian.h>
#include <uemf_safe.h>
}
#endif

namespace {

#if HAVE_UEMF
// libUEMF's verdict on every record: its size within the file, and its
// contents within its size. (Its size check reads the data as it lies in
// memory when its last argument is 1.)
std::string CheckRecords(const std::vector<BYTE>& bytes) {
    const char* data = reinterpret_cast<const char*>(bytes.data());
    const char* end = data + bytes.size();
    for (const char* rec = data; rec < end;) {
        uint32_t size = 0, type = 0;
        if (!U_emf_record_sizeok(rec, end, &size, &type, 1))
            return "size of the record at " + std::to_string(rec - data);
        if (!U_emf_record_safe(rec))
            return "record " + std::to_string(type) + " at " + std::to_string(rec - data);
        rec += size;
        if (type == 14) break; // end of file
    }
    return "";
}
#endif

TEST(SampleDocumentsPeerTest, LibUemfChecksEveryRecord) {
#if HAVE_UEMF
    for (const auto& [name, bytes] : emfgen::SampleDocuments()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CheckRecords(bytes), "");
    }
    // The check has teeth: a polyline that claims more points than it holds.
    std::vector<BYTE> bad = emfgen::SampleDocuments().at("lines.emf");
    uint32_t header = 0;
    std::memcpy(&header, bad.data() + 4, 4);
    size_t at = header;
    for (;;) {
        uint32_t type, size;
        std::memcpy(&type, bad.data() + at, 4);
        std::memcpy(&size, bad.data() + at + 4, 4);
        if (type == 4) break; // EMR_POLYLINE
        at += size;
    }
    uint32_t many = 1000;
    std::memcpy(bad.data() + at + 24, &many, 4);
    EXPECT_NE(CheckRecords(bad), "");
#else
    GTEST_SKIP() << "libUEMF is not installed (Debian package libuemf-dev)";
#endif
}

TEST(SampleDocumentsPeerTest, Emf2svgDrawsEveryDocument) {
    std::string version;
    if (platform_testing::RunCommand("emf2svg-conv --version 2>&1", &version) != 0)
        GTEST_SKIP() << "emf2svg-conv is not installed (Debian package emf2svg)";
    std::filesystem::path dir = std::filesystem::path(platform_testing::Root()) / "emf2svg";
    std::filesystem::create_directories(dir);
    for (const auto& [name, bytes] : emfgen::SampleDocuments()) {
        SCOPED_TRACE(name);
        std::string stem = std::filesystem::path(name).stem().string();
        std::filesystem::path in = dir / (stem + ".emf"), out = dir / (stem + ".svg");
        {
            std::ofstream f(in, std::ios::binary);
            f.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<std::streamsize>(bytes.size()));
        }
        std::string output;
        EXPECT_EQ(platform_testing::RunCommand("emf2svg-conv -i '" + in.string() + "' -o '" +
                                                   out.string() + "' 2>&1",
                                               &output),
                  0)
            << output;
        std::ifstream svg(out);
        std::string text((std::istreambuf_iterator<char>(svg)), {});
        EXPECT_NE(text.find("<svg"), std::string::npos);
        bool drawn = false;
        for (const char* shape : {"<path", "<rect", "<ellipse", "<polygon", "<polyline", "<text"})
            drawn = drawn || text.find(shape) != std::string::npos;
        EXPECT_TRUE(drawn) << text.substr(0, 400);
    }
}

} // namespace

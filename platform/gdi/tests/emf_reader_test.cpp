// The metafile reader: what it refuses, what it accepts, and the handles made
// from files and bytes.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/stat.h>

#include "emf_fixture.h"
#include "platform/paths.h"
#include "win/errors.h"

namespace {

using emftest::kPage;
using emftest::PageEmf;
using platform::gdi::EmfBuilder;

std::vector<BYTE> Sample() {
    return PageEmf().Box(EMR_RECTANGLE, {10, 10, 20, 20}).Finish();
}

template <class T> void Put(std::vector<BYTE>& b, size_t at, T v) {
    std::memcpy(b.data() + at, &v, sizeof v);
}

struct Malformed {
    const char* name;
    std::function<void(std::vector<BYTE>&)> spoil;
};

TEST(EmfReaderTest, MalformedMetafilesAreRefused) {
    // The sample: header record of 108 bytes, a RECTANGLE of 24 at 108, the
    // end of file of 20 at 132; 152 bytes in all.
    const std::vector<Malformed> cases = {
        {"shorter than a header", [](std::vector<BYTE>& b) { b.resize(80); }},
        {"not a header record", [](std::vector<BYTE>& b) { Put<DWORD>(b, 0, EMR_EOF); }},
        {"wrong signature", [](std::vector<BYTE>& b) { Put<DWORD>(b, 40, 0x464D4521); }},
        {"header record too small", [](std::vector<BYTE>& b) { Put<DWORD>(b, 4, 84); }},
        {"header size not a multiple of 4", [](std::vector<BYTE>& b) { Put<DWORD>(b, 4, 110); }},
        {"header larger than the data", [](std::vector<BYTE>& b) { Put<DWORD>(b, 4, 4000); }},
        {"total size past the data", [](std::vector<BYTE>& b) { Put<DWORD>(b, 48, 156); }},
        {"total size smaller than the header",
         [](std::vector<BYTE>& b) { Put<DWORD>(b, 48, 100); }},
        {"total size not a multiple of 4", [](std::vector<BYTE>& b) { Put<DWORD>(b, 48, 150); }},
        {"description outside the header record",
         [](std::vector<BYTE>& b) { Put<DWORD>(b, 60, 4), Put<DWORD>(b, 64, 104); }},
        {"description over the header's fields",
         [](std::vector<BYTE>& b) { Put<DWORD>(b, 60, 2), Put<DWORD>(b, 64, 40); }},
        {"pixel format outside the header record",
         [](std::vector<BYTE>& b) { Put<DWORD>(b, 88, 8), Put<DWORD>(b, 92, 104); }},
        {"record smaller than 8 bytes", [](std::vector<BYTE>& b) { Put<DWORD>(b, 112, 4); }},
        {"record size not a multiple of 4", [](std::vector<BYTE>& b) { Put<DWORD>(b, 112, 26); }},
        {"record past the end", [](std::vector<BYTE>& b) { Put<DWORD>(b, 112, 48); }},
        {"record of size zero", [](std::vector<BYTE>& b) { Put<DWORD>(b, 112, 0); }},
        {"record header cut off",
         [](std::vector<BYTE>& b) {
             b.resize(136), Put<DWORD>(b, 48, 136), Put<DWORD>(b, 132, 14);
         }},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> bytes = Sample();
        c.spoil(bytes);
        SetLastError(0);
        EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data()), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    }
    EXPECT_EQ(SetEnhMetaFileBits(0, nullptr), nullptr);
    EXPECT_EQ(platform::test::LiveEnhMetaFiles(), 0);
}

TEST(EmfReaderTest, BytesAfterTheEndAreNotPartOfTheMetafile) {
    std::vector<BYTE> bytes = Sample();
    // Junk after nBytes, and records after the end of file, are ignored.
    std::vector<BYTE> longer = bytes;
    longer.insert(longer.end(), {1, 2, 3, 4, 5, 6, 7});
    HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(longer.size()), longer.data());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetEnhMetaFileBits(h, 0, nullptr), bytes.size());
    std::vector<BYTE> copy(bytes.size());
    // A buffer too short for the whole metafile gets nothing.
    EXPECT_EQ(GetEnhMetaFileBits(h, static_cast<UINT>(copy.size() - 4), copy.data()), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(GetEnhMetaFileBits(h, static_cast<UINT>(copy.size()), copy.data()), bytes.size());
    EXPECT_EQ(copy, bytes);
    EXPECT_TRUE(DeleteEnhMetaFile(h));
    EXPECT_FALSE(DeleteEnhMetaFile(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    std::vector<BYTE> trailing = bytes;
    std::vector<BYTE> junk = {EMR_RECTANGLE, 0, 0, 0, 4, 0, 0, 0}; // bad size, but after the end
    trailing.insert(trailing.end(), junk.begin(), junk.end());
    Put<DWORD>(trailing, 48, static_cast<DWORD>(trailing.size()));
    h = SetEnhMetaFileBits(static_cast<UINT>(trailing.size()), trailing.data());
    ASSERT_NE(h, nullptr);
    int records = 0;
    EnumEnhMetaFile(
        nullptr, h,
        [](HDC, HANDLETABLE*, const ENHMETARECORD*, int, LPARAM p) {
            ++*reinterpret_cast<int*>(p);
            return 1;
        },
        &records, nullptr);
    EXPECT_EQ(records, 3); // header, rectangle, end of file
    DeleteEnhMetaFile(h);
}

TEST(EmfReaderTest, HeaderIsHandedOutWithTheFieldsItHas) {
    std::vector<BYTE> bytes =
        EmfBuilder(SIZEL{4960, 7016}, SIZEL{210, 297}, std::u16string(u"emfgen\0page\0", 12))
            .Finish();
    HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetEnhMetaFileHeader(h, 0, nullptr), sizeof(ENHMETAHEADER));
    ENHMETAHEADER hdr{};
    EXPECT_EQ(GetEnhMetaFileHeader(h, sizeof hdr, &hdr), sizeof hdr);
    EXPECT_EQ(hdr.nBytes, bytes.size());
    EXPECT_EQ(hdr.nRecords, 2u);
    EXPECT_EQ(hdr.nDescription, 12u);
    EXPECT_EQ(hdr.szlDevice.cx, 4960);
    EXPECT_EQ(hdr.rclFrame.bottom, 29700);
    // A short buffer gets the first bytes.
    EMR first{};
    EXPECT_EQ(GetEnhMetaFileHeader(h, sizeof first, reinterpret_cast<ENHMETAHEADER*>(&first)),
              sizeof first);
    EXPECT_EQ(first.iType, static_cast<DWORD>(EMR_HEADER));
    DeleteEnhMetaFile(h);

    // An old header of 88 bytes: the later fields read as zero.
    std::vector<BYTE> old = PageEmf().Finish();
    old.erase(old.begin() + 88, old.begin() + 108);
    Put<DWORD>(old, 4, 88);
    Put<DWORD>(old, 48, static_cast<DWORD>(old.size()));
    h = SetEnhMetaFileBits(static_cast<UINT>(old.size()), old.data());
    ASSERT_NE(h, nullptr);
    std::memset(&hdr, 0xFF, sizeof hdr);
    EXPECT_EQ(GetEnhMetaFileHeader(h, sizeof hdr, &hdr), 88u);
    EXPECT_EQ(hdr.szlMillimeters.cx, 80);
    DeleteEnhMetaFile(h);
}

TEST(EmfReaderTest, MetafilesAreReadFromWindowsPaths) {
    std::vector<BYTE> bytes = Sample();
    std::string host = platform::HostPath(u"C:\\Docs");
    std::filesystem::create_directories(host);
    {
        std::ofstream out(host + "/Page1.emf", std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    HENHMETAFILE w = GetEnhMetaFileW(u"c:\\docs\\PAGE1.EMF");
    ASSERT_NE(w, nullptr);
    HENHMETAFILE a = GetEnhMetaFileA("C:\\Docs\\Page1.emf");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(GetEnhMetaFileBits(a, 0, nullptr), bytes.size());
    DeleteEnhMetaFile(w);
    DeleteEnhMetaFile(a);

    EXPECT_EQ(GetEnhMetaFileW(u"C:\\Docs\\missing.emf"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    {
        std::ofstream out(host + "/bad.emf", std::ios::binary);
        out << "not a metafile at all, not at all, not at all, not at all, not at all, not at all!";
    }
    EXPECT_EQ(GetEnhMetaFileA("C:\\Docs\\bad.emf"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    // A named pipe or a folder under a document's name is no metafile: refused
    // at once, without waiting for a writer that never comes.
    ASSERT_EQ(::mkfifo((host + "/pipe.emf").c_str(), 0600), 0);
    std::filesystem::create_directory(host + "/folder.emf");
    for (const char* name : {"C:\\Docs\\pipe.emf", "C:\\Docs\\folder.emf"}) {
        EXPECT_EQ(GetEnhMetaFileA(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << name;
    }
    EXPECT_EQ(GetEnhMetaFileW(nullptr), nullptr);
}

TEST(EmfReaderTest, EnumerationHandsOutEveryRecordInOrder) {
    std::vector<BYTE> bytes =
        PageEmf().CreatePen(3, PS_SOLID, 1, 0).SelectObject(3).LineTo(5, 5).Finish();
    HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
    ASSERT_NE(h, nullptr);
    struct Seen {
        HENHMETAFILE h;
        std::vector<DWORD> types;
        int handles = 0;
        bool slotZero = false;
        int stopAfter = 100;
    } seen{h};
    auto proc = [](HDC hdc, HANDLETABLE* ht, const ENHMETARECORD* rec, int n, LPARAM p) {
        auto* s = reinterpret_cast<Seen*>(p);
        EXPECT_EQ(hdc, nullptr);
        s->types.push_back(rec->iType);
        s->handles = n;
        s->slotZero = ht->objectHandle[0] == reinterpret_cast<HGDIOBJ>(s->h);
        return static_cast<int>(s->types.size()) < s->stopAfter ? 1 : 0;
    };
    EXPECT_TRUE(EnumEnhMetaFile(nullptr, h, proc, &seen, nullptr));
    EXPECT_EQ(seen.types, (std::vector<DWORD>{EMR_HEADER, EMR_CREATEPEN, EMR_SELECTOBJECT,
                                              EMR_LINETO, EMR_EOF}));
    EXPECT_EQ(seen.handles, 4); // the pen's slot 3, and slot 0
    EXPECT_TRUE(seen.slotZero);
    // The procedure ends the enumeration by answering 0.
    seen.types.clear();
    seen.stopAfter = 2;
    EXPECT_FALSE(EnumEnhMetaFile(nullptr, h, proc, &seen, nullptr));
    EXPECT_EQ(seen.types.size(), 2u);
    // A device context needs a target rectangle; a procedure is required.
    EXPECT_FALSE(EnumEnhMetaFile(reinterpret_cast<HDC>(1), h, proc, &seen, nullptr));
    EXPECT_FALSE(EnumEnhMetaFile(nullptr, h, nullptr, nullptr, nullptr));
    DeleteEnhMetaFile(h);
    EXPECT_FALSE(EnumEnhMetaFile(nullptr, h, proc, &seen, nullptr));
}

class EmfRecordCheckTest : public emftest::RecorderTest {};

// Records whose counts and offsets do not fit their size are refused one by
// one; the rest of the metafile still plays.
TEST_F(EmfRecordCheckTest, CountsAndOffsetsInsideRecordsAreChecked) {
    OpenPage();
    DWORD huge = 0x40000000;
    RECTL bounds{0, 0, 10, 10};
    std::vector<BYTE> region = EmfBuilder::RegionData({{0, 0, 10, 10}});
    EmfBuilder b = PageEmf();
    b.Fields(EMR_POLYLINE, bounds, huge, POINTL{1, 1}, POINTL{2, 2})
        .Fields(EMR_POLYPOLYLINE16, bounds, DWORD{2}, DWORD{3}, DWORD{2}, DWORD{2}, POINTS{1, 1},
                POINTS{2, 2}, POINTS{3, 3})                                 // counts 4 != 3
        .Fields(EMR_POLYPOLYGON, bounds, huge, DWORD{0})                    // counts past the end
        .Fields(EMR_POLYDRAW, bounds, DWORD{2}, POINTL{1, 1}, POINTL{2, 2}) // types missing
        .Fields(EMR_EXTSELECTCLIPRGN, DWORD{4000}, DWORD{RGN_COPY}, region) // data past the end
        .Fields(EMR_EXTCREATEPEN, DWORD{1}, DWORD{0}, DWORD{0}, DWORD{0}, DWORD{0},
                DWORD{PS_USERSTYLE}, DWORD{1}, DWORD{BS_SOLID}, DWORD{0}, DWORD{0},
                huge) // entries past the end
        .Fields(EMR_CREATEDIBPATTERNBRUSHPT, DWORD{1}, DWORD{0}, DWORD{32}, DWORD{4000}, DWORD{0},
                DWORD{0})      // bitmap past the end
        .SelectObject(7)       // no such slot
        .Empty(EMR_SETMAPMODE) // value missing
        .Box(EMR_RECTANGLE, {100, 100, 200, 200});
    std::vector<BYTE> bytes = b.Finish();
    HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(PlayEnhMetaFile(hdc, h, &kPage));
    DeleteEnhMetaFile(h);
    std::vector<std::string> calls = TakeLog();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].substr(0, 41), "DrvFillPath pdev=1 bounds=100,100,200,200");
    EXPECT_EQ(platform::test::SkippedEmfRecords(), "EMR_POLYLINE (4): malformed\n"
                                                   "EMR_POLYPOLYLINE16 (90): malformed\n"
                                                   "EMR_POLYPOLYGON (8): malformed\n"
                                                   "EMR_POLYDRAW (56): malformed\n"
                                                   "EMR_EXTSELECTCLIPRGN (75): malformed\n"
                                                   "EMR_EXTCREATEPEN (95): malformed\n"
                                                   "EMR_CREATEDIBPATTERNBRUSHPT (94): malformed\n"
                                                   "EMR_SELECTOBJECT (37): malformed\n"
                                                   "EMR_SETMAPMODE (17): malformed\n");
}

// Every record type, cut down to its type and size, is refused or ignored
// without reading past it.
TEST_F(EmfRecordCheckTest, BareRecordsOfEveryTypeAreHandled) {
    OpenPage();
    std::vector<HGDIOBJ> table(4, nullptr);
    auto* ht = reinterpret_cast<HANDLETABLE*>(table.data());
    for (DWORD type = 0; type <= EMR_MAX + 2; ++type) {
        // Just the record, in a buffer of its own size so that a read past it
        // is caught by the address sanitizer.
        auto* rec = static_cast<EMR*>(std::malloc(sizeof(EMR)));
        rec->iType = type;
        rec->nSize = sizeof(EMR);
        PlayEnhMetaFileRecord(hdc, ht, reinterpret_cast<ENHMETARECORD*>(rec), 4);
        std::free(rec);
    }
    EMR bad{EMR_RECTANGLE, 6};
    EXPECT_FALSE(PlayEnhMetaFileRecord(hdc, ht, reinterpret_cast<ENHMETARECORD*>(&bad), 4));
    EXPECT_FALSE(PlayEnhMetaFileRecord(hdc, ht, nullptr, 4));
    for (HGDIOBJ o : table)
        if (o) DeleteObject(o);
}

} // namespace

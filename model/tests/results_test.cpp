// The file checks, result codes and the two-call habit of mdGetMyPrinterInfo.
#include <gtest/gtest.h>

#include <cstring>

#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "model_fixture.h"
#include "win/errors.h"

namespace model_test {
namespace {

using nlohmann::json;

const json kSmall = {
    {"11", "Model"},
    {"7",
     {{"entries",
       {{{"id", 20}, {"kind", 1}, {"name", "Modelsmith.DLL"}},
        {{"id", 22}, {"kind", 1}, {"name", "Sheetwright.DLL"}}}}}},
    {"23", {{"1", {99}}}},
};

TEST(ModelResults, LengthPointerIsCheckedFirst) {
    Bytes m = Build(SourceWith(303, kSmall));
    DWORD count = 7;
    EXPECT_EQ(model::GetMyPrinterInfo(nullptr, 0, 0, 0, nullptr, nullptr, &count),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(model::GetMyPrinterInfo(m.data(), 11, 0, 1, nullptr, nullptr, &count),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(count, 7u);
}

TEST(ModelResults, BadFilesAnswerInvalidData) {
    json source = SourceWith(303, kSmall);
    struct Case {
        const char* what;
        modelc::Options options;
    };
    modelc::Options badMagic, v256, v304, past;
    badMagic.badMagic = true;
    v256.headerFormat = 256;
    v304.headerFormat = 304;
    past.slotPastEnd = 11;
    for (const Case& c : {Case{"bad magic", badMagic}, Case{"version 256", v256},
                          Case{"version 304", v304}, Case{"record past the end", past}}) {
        SCOPED_TRACE(c.what);
        Bytes m = Build(source, c.options);
        DWORD length = 5, count = 5;
        EXPECT_EQ(Query(m, 11, 0, 1, nullptr, &length, &count), ERROR_INVALID_DATA);
        EXPECT_EQ(length, 5u);
        EXPECT_EQ(count, 5u);
    }
    DWORD length = 0;
    EXPECT_EQ(model::GetMyPrinterInfo(nullptr, 11, 0, 1, nullptr, &length, nullptr),
              ERROR_INVALID_DATA);
    // A stated size too small for the header.
    Bytes m = Build(source);
    std::uint32_t tiny = 12;
    std::memcpy(m.data() + 4, &tiny, 4);
    EXPECT_EQ(Query(m, 11, 0, 1, nullptr, &length, nullptr), ERROR_INVALID_DATA);
    // A stated size past the largest model data: no caller reads such a file.
    std::uint32_t huge = model::kMaxModelDataBytes + 4096;
    std::memcpy(m.data() + 4, &huge, 4);
    EXPECT_EQ(Query(m, 11, 0, 1, nullptr, &length, nullptr), ERROR_INVALID_DATA);
}

TEST(ModelResults, FormatVersionLimitsPass) {
    for (int v : {257, 303}) {
        Answer a = Ask(Build(SourceWith(v, kSmall)), 11, 0, 1);
        EXPECT_EQ(a.result, 0u) << v;
        EXPECT_EQ(a.Text(0, 64), "Model");
    }
}

TEST(ModelResults, CodesWithoutRecordsAnswerNotSupported) {
    Bytes m = Build(SourceWith(303, kSmall));
    modelc::Options shortTable;
    shortTable.slotPastTable = 11;
    Bytes cut = Build(SourceWith(303, kSmall), shortTable);
    struct Case {
        const char* what;
        const Bytes* model;
        int code;
    } cases[] = {
        {"code 0", &m, 0},
        {"negative code", &m, -3},
        {"slot holding 0", &m, 12},
        {"code beyond the table", &m, 200},
        {"slot past the table end", &cut, 11},
    };
    for (const Case& c : cases) {
        DWORD length = 9, count = 9;
        EXPECT_EQ(Query(*c.model, c.code, 0, 1, nullptr, &length, &count), ERROR_NOT_SUPPORTED)
            << c.what;
        EXPECT_EQ(length, 9u) << c.what;
    }
    // The codes before the cut still answer.
    EXPECT_EQ(Ask(cut, 7, 0, 1).result, 0u);
}

TEST(ModelResults, CodeAndIndexAreSixteenBitValues) {
    Bytes m = Build(SourceWith(303, kSmall));
    Answer a = Ask(m, 0x10000 + 7, 0x10000 + 22, 1);
    ASSERT_EQ(a.result, 0u);
    EXPECT_EQ(a.I16(0), 22);
    EXPECT_EQ(Ask(m, 0x10000, 0, 1).result, ERROR_NOT_SUPPORTED);
}

TEST(ModelResults, TwoCallSizesAndShortBuffers) {
    Bytes m = Build(SourceWith(303, kSmall));
    // List: size = entry size x count, count 0 on the size call.
    DWORD length = 0, count = 9;
    ASSERT_EQ(Query(m, 7, 0, 1, nullptr, &length, &count), 0u);
    EXPECT_EQ(length, 80u);
    EXPECT_EQ(count, 0u);
    Bytes out(length + 8, 0xCC);
    DWORD shortLength = length - 1;
    EXPECT_EQ(Query(m, 7, 0, 1, out.data(), &shortLength, &count), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(shortLength, 80u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(out[0], 0xCC) << "nothing is written into a short buffer";
    DWORD exact = length;
    ASSERT_EQ(Query(m, 7, 0, 1, out.data(), &exact, &count), 0u);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(exact, 80u) << "*length stays as the caller gave it";
    EXPECT_EQ(out[80], 0xCC) << "nothing is written past the answer";
    // A larger buffer keeps its length.
    DWORD larger = 88;
    ASSERT_EQ(Query(m, 7, 0, 1, out.data(), &larger, &count), 0u);
    EXPECT_EQ(larger, 88u);

    // Single answer: size of the layout, *count 1.
    length = 0;
    ASSERT_EQ(Query(m, 23, 0, 1, nullptr, &length, &count), 0u);
    EXPECT_EQ(length, 4u);
    DWORD three = 3;
    EXPECT_EQ(Query(m, 23, 0, 1, out.data(), &three, &count), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(three, 4u);
    ASSERT_EQ(Query(m, 23, 0, 1, out.data(), &length, &count), 0u);
    EXPECT_EQ(count, 1u);

    // Strings: *length = length + 1 in every case; *count 1 only when copied.
    length = 0;
    count = 9;
    ASSERT_EQ(Query(m, 11, 0, 1, nullptr, &length, &count), 0u);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(count, 0u);
    DWORD five = 5;
    EXPECT_EQ(Query(m, 11, 0, 1, out.data(), &five, &count), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(five, 6u);
    EXPECT_EQ(count, 0u);
    DWORD big = 100;
    ASSERT_EQ(Query(m, 11, 0, 1, out.data(), &big, &count), 0u);
    EXPECT_EQ(big, 6u);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(out.data()), "Model");
    // The count pointer may be NULL.
    EXPECT_EQ(Query(m, 7, 0, 1, out.data(), &exact, nullptr), 0u);
}

TEST(ModelResults, EntrySelectionByIdentifier) {
    Bytes m = Build(SourceWith(303, kSmall));
    Answer a = Ask(m, 7, 22, 1);
    ASSERT_EQ(a.result, 0u);
    EXPECT_EQ(a.length, 40u);
    EXPECT_EQ(a.count, 1u);
    EXPECT_EQ(a.Text(8, 16), "Sheetwright.DLL");

    // No match: 1168, *count 0 and the zeroed entry in the buffer.
    Bytes out(40, 0xCC);
    DWORD length = 40, count = 9;
    EXPECT_EQ(Query(m, 7, 5, 1, out.data(), &length, &count), ERROR_NOT_FOUND);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(out, Bytes(40, 0));
}

TEST(ModelResults, UnknownLayoutsAnswerNotSupportedWithCountZero) {
    Bytes m = Build(SourceWith(303, kSmall));
    for (int layout : {0, 2, -1, 99}) {
        DWORD length = 0, count = 9;
        EXPECT_EQ(Query(m, 7, 0, layout, nullptr, &length, &count), ERROR_NOT_SUPPORTED) << layout;
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(Query(m, 23, 0, layout == 2 ? 3 : layout, nullptr, &length, &count),
                  ERROR_NOT_SUPPORTED)
            << layout;
    }
}

} // namespace
} // namespace model_test

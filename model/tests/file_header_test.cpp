// The model data header's one check, which every reader of the file uses: the
// headers are laid out by hand from the documented offsets.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "model/model_file_header.h"
#include "model_file.h"
#include "win/errors.h"

namespace {

// "NKSP", the u32 size at 4, the u32 offset-table end at 8, the u32 table
// start at 12; the rest zero.
std::vector<std::uint8_t> Header(std::uint32_t bytes, std::uint32_t statedSize,
                                 std::uint32_t tableEnd) {
    std::vector<std::uint8_t> b(bytes, 0);
    const std::uint8_t head[12] = {'N',
                                   'K',
                                   'S',
                                   'P',
                                   std::uint8_t(statedSize),
                                   std::uint8_t(statedSize >> 8),
                                   std::uint8_t(statedSize >> 16),
                                   std::uint8_t(statedSize >> 24),
                                   std::uint8_t(tableEnd),
                                   std::uint8_t(tableEnd >> 8),
                                   std::uint8_t(tableEnd >> 16),
                                   std::uint8_t(tableEnd >> 24)};
    for (std::size_t i = 0; i < sizeof head && i < b.size(); ++i)
        b[i] = head[i];
    return b;
}

TEST(ModelFileHeader, AcceptsOnlyAStatedSizeEqualToTheFileAndATableInsideIt) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool accepted;
    } cases[] = {
        {"sound", Header(64, 64, 63), true},
        {"the smallest header", Header(16, 16, 15), true},
        {"shorter than the four words", Header(12, 12, 11), false},
        {"stated size above the file", Header(64, 65, 16), false},
        {"stated size below the file", Header(64, 63, 16), false},
        {"table ends at the file's end", Header(64, 64, 64), false},
        {"table end past every file", Header(64, 64, 0xFFFFFFFF), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(model::IsModelDataHeader(c.bytes.data(), c.bytes.size()), c.accepted) << c.what;

    auto wrongMagic = Header(64, 64, 16);
    wrongMagic[3] = 'Q';
    EXPECT_FALSE(model::IsModelDataHeader(wrongMagic.data(), wrongMagic.size()));
    EXPECT_FALSE(model::IsModelDataHeader(nullptr, 64));
    // Past the largest model data the size alone refuses it; no byte is read.
    const std::uint8_t one = 0;
    EXPECT_FALSE(model::IsModelDataHeader(&one, std::uint64_t{model::kMaxModelDataBytes} + 1));
}

// The model library reads a block's stated size only behind its magic: a
// short block that is no model data is refused from its first four bytes.
TEST(ModelFileHeader, ShortBlockWithoutTheMagicIsRefusedFromItsFirstWord) {
    const std::vector<std::uint8_t> notModelData = {'X', 'K', 'S', 'P'};
    model::ModelFile file(nullptr, 0);
    EXPECT_EQ(model::OpenModelFile(notModelData.data(), &file), DWORD{ERROR_INVALID_DATA});
}

} // namespace

// The model data file's header and its one check, for every reader of the
// file: the model library, the interface and graphics libraries and the user
// interface. Plain integer types only, like "model/model_queries.h".
#pragma once

#include <cstdint>
#include <cstring>

#include "model/model_queries.h"

namespace model {

// The header's four u32 words: the magic, the file's size, the end of the
// offset table (inside the file) and the start of the offset table.
inline constexpr char kModelDataMagic[4] = {'N', 'K', 'S', 'P'};
inline constexpr std::uint32_t kModelDataSizeOffset = 4;
inline constexpr std::uint32_t kModelDataTableEndOffset = 8;
inline constexpr std::uint32_t kModelDataTableOffset = 12;
inline constexpr std::uint32_t kModelDataHeaderBytes = 16;

// Whether the size bytes at data open as model data: the magic, a stated size
// equal to size and at most kMaxModelDataBytes, and the offset table's end
// inside the file. Null data or fewer bytes than the header: false.
[[nodiscard]] inline bool IsModelDataHeader(const void* data, std::uint64_t size) {
    if (!data || size < kModelDataHeaderBytes || size > kMaxModelDataBytes) return false;
    const auto* b = static_cast<const std::uint8_t*>(data);
    std::uint32_t stated, tableEnd;
    std::memcpy(&stated, b + kModelDataSizeOffset, 4);
    std::memcpy(&tableEnd, b + kModelDataTableEndOffset, 4);
    return std::memcmp(b, kModelDataMagic, sizeof kModelDataMagic) == 0 && stated == size &&
           tableEnd < size;
}

} // namespace model

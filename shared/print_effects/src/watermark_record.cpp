#include "watermark_record.h"

#include <algorithm>
#include <cstring>

#include "little_endian.h"
#include "win/strings.h"

namespace print_effects {
namespace {

constexpr size_t kVersionAt = 8, kCountAt = 20;

template <class T> T Within(T value, T low, T high) {
    return std::clamp(value, low, high);
}

} // namespace

void TerminateAnsiField(CHAR* field, size_t size) {
    if (!size) return;
    size_t length = strnlen(field, size);
    if (length == size) {
        // Walk whole characters so that a lead byte is never left without
        // its trail byte.
        size_t at = 0;
        while (at < size - 1) {
            const size_t step = IsDBCSLeadByte(static_cast<BYTE>(field[at])) ? 2 : 1;
            if (at + step > size - 1) break;
            at += step;
        }
        length = at;
    }
    std::memset(field + length, 0, size - length);
}

void ClampWatermarkRecord(WatermarkRecord* r) {
    TerminateAnsiField(r->name, sizeof r->name);
    TerminateAnsiField(r->text, sizeof r->text);
    TerminateAnsiField(r->font.lfFaceName, sizeof r->font.lfFaceName);
    r->points = Within<DWORD>(r->points, kWatermarkMinPoints, kWatermarkMaxPoints);
    r->font.lfEscapement = Within<LONG>(r->font.lfEscapement, 0, kWatermarkMaxAngle);
    r->font.lfOrientation = r->font.lfEscapement;
    r->horizontal = Within<INT>(r->horizontal, -kWatermarkMaxOffset, kWatermarkMaxOffset);
    r->vertical = Within<INT>(r->vertical, -kWatermarkMaxOffset, kWatermarkMaxOffset);
    if (r->border > kWatermarkMaxBorder) r->border = 0;
    if (r->pages > kWatermarkMaxPages) r->pages = 0;
    if (r->layer > kWatermarkMaxLayer) r->layer = 0;
}

bool ReadWatermarkFile(const BYTE* data, size_t size, std::vector<WatermarkRecord>* records,
                       std::string* error) {
    records->clear();
    auto fail = [&](const char* text) {
        if (error) *error = text;
        return false;
    };
    if (!data || size < kWatermarkHeadSize) return fail("watermark file shorter than its head");
    if (std::memcmp(data, kWatermarkMagic, sizeof kWatermarkMagic) != 0)
        return fail("not a watermark file");
    if (little_endian::ReadU32(data + kVersionAt) != kWatermarkFileVersion)
        return fail("watermark file of another version");
    // The count is believed only as far as the bytes go.
    const size_t count = little_endian::ReadU32(data + kCountAt);
    const size_t present = (size - kWatermarkHeadSize) / sizeof(WatermarkRecord);
    const size_t n = std::min(count, present);
    records->reserve(n);
    for (size_t i = 0; i < n; ++i) {
        WatermarkRecord r{};
        std::memcpy(&r, data + kWatermarkHeadSize + i * sizeof r, sizeof r);
        if (r.version != kWatermarkRecordVersion || r.size != kWatermarkRecordSize) continue;
        ClampWatermarkRecord(&r);
        records->push_back(r);
    }
    return true;
}

std::vector<BYTE> WatermarkFileBytes(const std::vector<WatermarkRecord>& records) {
    std::vector<BYTE> out(kWatermarkHeadSize + records.size() * sizeof(WatermarkRecord), 0);
    std::memcpy(out.data(), kWatermarkMagic, sizeof kWatermarkMagic);
    const DWORD head[] = {kWatermarkHeadSize, kWatermarkFileVersion};
    for (size_t i = 0; i < 2; ++i)
        for (size_t b = 0; b < 4; ++b)
            out[4 + i * 4 + b] = static_cast<BYTE>(head[i] >> (8 * b));
    const DWORD count = static_cast<DWORD>(records.size());
    for (size_t b = 0; b < 4; ++b)
        out[kCountAt + b] = static_cast<BYTE>(count >> (8 * b));
    for (size_t i = 0; i < records.size(); ++i) {
        WatermarkRecord r = records[i];
        r.version = kWatermarkRecordVersion;
        r.size = kWatermarkRecordSize;
        std::memcpy(&out[kWatermarkHeadSize + i * sizeof r], &r, sizeof r);
    }
    return out;
}

} // namespace print_effects

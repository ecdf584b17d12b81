// icGammaCorrection and icGammaInv: a 256-entry gamma table applied to an image,
// or folded into a threshold matrix. A missing table stands for the identity.
#include "image_rows.h"
#include "routines.h"

int tonemill::GammaCorrection(const BYTE* table, icImage* image) {
    if (!image || (image->type != IC_TYPE_GRAY && image->type != IC_TYPE_RGB24)) return 255;
    if (!table || !image->bits) return 0;
    const int bpp = tonemill::BitsPerPixel(image->type);
    const uint32_t pixels = tonemill::RegionPixels(*image, image->width, bpp);
    const uint32_t lines = tonemill::RegionLines(*image, image->height);
    const size_t first = size_t{image->x} * (bpp / 8), count = size_t{pixels} * (bpp / 8);
    for (uint32_t i = 0; i < lines; ++i) {
        BYTE* p = tonemill::LineAt(*image, uint64_t{image->y} + i) + first;
        for (size_t k = 0; k < count; ++k)
            p[k] = table[p[k]];
    }
    return 0;
}

int tonemill::GammaInv(const BYTE* table, icThresholdMatrix* matrix) {
    if (!matrix || matrix->width != 16 || matrix->height != 16) return 0;
    // inverse[t]: the smallest k whose table entry reaches t, or 256. The table
    // need not be monotonic, so each t is searched from 0.
    WORD inverse[256];
    for (int t = 1; t < 256; ++t) {
        int k = 0;
        while (k < 256 && (table ? table[k] : k) < t)
            ++k;
        inverse[t] = static_cast<WORD>(k);
    }
    inverse[0] = 0;
    for (auto& row : matrix->cells) {
        for (WORD& cell : row) {
            WORD v = cell >= 256 ? 256 : inverse[cell];
            cell = v == 0 ? 1 : v;
        }
    }
    return 1;
}

// Image blocks and JBIG pages of the printer stream. Every read is checked
// against the block's or chunk's bytes.
#include "streamdump/images.h"

#include <cstring>

extern "C" {
#include <jbig.h>
}

#include "opcodes.h"

namespace streamdump {
namespace {

using namespace stream;
using namespace token;

constexpr long kMaxJbigSide = 16384; // larger pages are not decoded here

std::size_t Padded(std::size_t n) {
    return (n + 3) & ~std::size_t{3};
}

bool RunLengthRow(const std::uint8_t* d, std::size_t n, std::size_t* at, std::uint8_t* row,
                  std::size_t rowBytes, std::string* problem) {
    std::size_t o = 0;
    while (o < rowBytes) {
        if (*at >= n) {
            *problem = "run-length row cut off after " + std::to_string(o) + " of " +
                       std::to_string(rowBytes) + " bytes";
            return false;
        }
        int c = static_cast<std::int8_t>(d[(*at)++]);
        if (c >= 0) {
            std::size_t k = static_cast<std::size_t>(c) + 1;
            if (*at + k > n || o + k > rowBytes) {
                *problem = "run-length literal runs past the row or the block";
                return false;
            }
            std::memcpy(row + o, d + *at, k);
            *at += k;
            o += k;
        } else if (c != -128) {
            std::size_t k = static_cast<std::size_t>(1 - c);
            if (*at >= n || o + k > rowBytes) {
                *problem = "run-length repeat runs past the row or the block";
                return false;
            }
            std::memset(row + o, d[(*at)++], k);
            o += k;
        } else {
            *problem = "run-length control byte -128";
            return false;
        }
    }
    return true;
}

bool DeltaRow(const std::uint8_t* d, std::size_t n, std::size_t* at, std::uint8_t* row,
              std::size_t rowBytes, std::string* problem) {
    if (*at + 2 > n) {
        *problem = "delta-row count cut off";
        return false;
    }
    std::size_t count = d[*at] | (static_cast<std::size_t>(d[*at + 1]) << 8);
    *at += 2;
    if (*at + count > n) {
        *problem = "delta-row commands run past the block";
        return false;
    }
    const std::size_t end = *at + count;
    std::size_t next = 0;
    while (*at < end) {
        std::uint8_t cmd = d[(*at)++];
        std::size_t k = static_cast<std::size_t>(cmd >> 5) + 1, offset = cmd & 31;
        if (offset == 31) {
            std::uint8_t b = 255;
            while (b == 255) {
                if (*at >= end) {
                    *problem = "delta-row offset cut off";
                    return false;
                }
                b = d[(*at)++];
                offset += b;
            }
        }
        std::size_t pos = next + offset;
        if (pos > rowBytes || k > rowBytes - pos || *at + k > end) {
            *problem =
                "delta-row replacement past the row's " + std::to_string(rowBytes) + " bytes";
            return false;
        }
        std::memcpy(row + pos, d + *at, k);
        *at += k;
        next = pos + k;
    }
    return true;
}

void Fail(Item* item, const std::string& problem, Decoding* d) {
    if (item->problem.empty()) ++d->problems;
    if (item->problem.empty()) item->problem = problem;
}

} // namespace

bool DecodeImageRows(const std::uint8_t* data, std::size_t size, int compression,
                     std::size_t rowBytes, std::size_t rows, std::vector<std::uint8_t>* seed,
                     std::vector<std::uint8_t>* out, std::string* problem) {
    if (rowBytes == 0) {
        *problem = "image rows of 0 bytes";
        return false;
    }
    seed->resize(rowBytes, 0);
    out->assign(rows * rowBytes, 0);
    std::size_t at = 0;
    for (std::size_t r = 0; r < rows; ++r) {
        std::uint8_t* row = out->data() + r * rowBytes;
        bool ok = true;
        switch (compression) {
        case kImageRaw:
            if (at + rowBytes > size) {
                *problem = "uncompressed row cut off";
                return false;
            }
            std::memcpy(row, data + at, rowBytes);
            at += rowBytes;
            break;
        case kImageRunLength:
            ok = RunLengthRow(data, size, &at, row, rowBytes, problem);
            break;
        case kImageDeltaRow:
            std::memcpy(row, seed->data(), rowBytes);
            ok = DeltaRow(data, size, &at, row, rowBytes, problem);
            break;
        default:
            *problem = "compression " + std::to_string(compression) + " unknown";
            return false;
        }
        if (!ok) return false;
        std::memcpy(seed->data(), row, rowBytes);
    }
    if (at != size) {
        *problem = std::to_string(size - at) + " bytes after the block's rows";
        return false;
    }
    return true;
}

bool ReadImageLayout(const Token& t, long cursorX, long cursorY, ImageLayout* l,
                     std::string* problem) {
    long w = 0, h = 0, depth = -1, space = 1;
    const TokenValue* wv = t.Find(kSourceWidth);
    const TokenValue* hv = t.Find(kSourceHeight);
    const TokenValue* dv = t.Find(kColourDepth);
    if (!wv || !wv->Whole(&w) || !hv || !hv->Whole(&h) || !dv || !dv->Whole(&depth) || w <= 0 ||
        h <= 0) {
        *problem = "image without a source size and a colour depth";
        return false;
    }
    if (const TokenValue* sv = t.Find(kColourSpace)) sv->Whole(&space);
    if (depth != 0 && depth != 2) {
        *problem = "image colour depth " + std::to_string(depth) + " unknown";
        return false;
    }
    l->x = cursorX;
    l->y = cursorY;
    l->width = w;
    l->height = h;
    l->bitsPerPixel = depth == 0 ? 1 : space == 2 ? 24 : 8;
    l->rowBytes = Padded((static_cast<std::size_t>(w) * l->bitsPerPixel + 7) / 8);
    l->destWidth = w;
    l->destHeight = h;
    if (const TokenValue* ds = t.Find(kDestinationSize); ds && ds->numbers.size() == 2) {
        l->destWidth = static_cast<long>(ds->numbers[0]);
        l->destHeight = static_cast<long>(ds->numbers[1]);
    }
    return true;
}

namespace {

// The image header states the sizes the library allocates for at once (a
// stated size past the decoder's limit only stops it later), so they are
// checked first: one plane, from the lowest layer, each side in range.
bool JbigHeaderTaken(const std::vector<std::uint8_t>& entity, std::string* problem) {
    constexpr std::size_t kHeaderBytes = 20;
    if (entity.size() < kHeaderBytes) {
        *problem = "JBIG image shorter than its 20-byte header";
        return false;
    }
    auto side = [&](std::size_t at) {
        return (static_cast<unsigned long>(entity[at]) << 24) |
               (static_cast<unsigned long>(entity[at + 1]) << 16) |
               (static_cast<unsigned long>(entity[at + 2]) << 8) | entity[at + 3];
    };
    const unsigned long w = side(4), h = side(8);
    if (entity[0] != 0 || entity[2] != 1) {
        *problem = "JBIG image of " + std::to_string(entity[2]) + " planes from layer " +
                   std::to_string(entity[0]) + " (one plane from layer 0 is decoded)";
        return false;
    }
    if (w == 0 || h == 0 || w > kMaxJbigSide || h > kMaxJbigSide) {
        *problem = "JBIG image of " + std::to_string(w) + " x " + std::to_string(h) +
                   " dots (each side 1 to " + std::to_string(kMaxJbigSide) + " is decoded)";
        return false;
    }
    return true;
}

} // namespace

bool DecodeJbig(const std::vector<std::uint8_t>& entity, long* width, long* height,
                std::vector<std::uint8_t>* bits, std::string* problem) {
    if (!JbigHeaderTaken(entity, problem)) return false;
    jbg_dec_state s;
    jbg_dec_init(&s);
    jbg_dec_maxsize(&s, kMaxJbigSide, kMaxJbigSide);
    std::size_t used = 0;
    int r = jbg_dec_in(&s, const_cast<unsigned char*>(entity.data()), entity.size(), &used);
    bool ok = r == JBG_EOK && jbg_dec_getplanes(&s) == 1;
    if (ok) {
        *width = static_cast<long>(jbg_dec_getwidth(&s));
        *height = static_cast<long>(jbg_dec_getheight(&s));
        const unsigned char* img = jbg_dec_getimage(&s, 0);
        bits->assign(img, img + jbg_dec_getsize(&s));
    } else {
        *problem = std::string("JBIG image does not decode: ") +
                   jbg_strerror(r == JBG_EOK ? JBG_EINVAL : r);
    }
    jbg_dec_free(&s);
    return ok;
}

void CheckImages(const std::uint8_t* data, std::size_t size, Decoding* d,
                 std::vector<JbigPage>* jbig) {
    ImageLayout layout;
    bool inImage = false;
    std::vector<std::uint8_t> seed, rows;
    long cursorX = 0, cursorY = 0;
    JbigPage page;
    bool inJbig = false;
    std::size_t chunks = 0;
    auto finishJbig = [&](Item* at) {
        if (!inJbig) return;
        inJbig = false;
        Item& frame = d->items[page.frameItem];
        if (!page.complete) {
            Fail(at ? at : &frame, "JBIG image without its last chunk", d);
            return;
        }
        long w = 0, h = 0;
        std::vector<std::uint8_t> bits;
        std::string problem;
        if (!DecodeJbig(page.entity, &w, &h, &bits, &problem)) {
            Fail(&frame, problem, d);
        } else if (w != page.width || h != page.height) {
            Fail(&frame,
                 "JBIG image of " + std::to_string(w) + " x " + std::to_string(h) +
                     " in a frame of " + std::to_string(page.width) + " x " +
                     std::to_string(page.height),
                 d);
        } else {
            frame.fields.push_back({"jbig", std::to_string(page.entity.size()) +
                                                " bytes, decodes to the frame's size"});
            if (jbig) jbig->push_back(page);
        }
    };
    for (std::size_t i = 0; i < d->items.size(); ++i) {
        Item& it = d->items[i];
        if (it.kind == ItemKind::Frame && it.opcode == kJbigImage && it.problem.empty()) {
            finishJbig(&it);
            page = JbigPage{};
            page.frameItem = i;
            page.width = it.fields.size() >= 2 ? it.fields[0].number : 0;
            page.height = it.fields.size() >= 2 ? it.fields[1].number : 0;
            inJbig = true;
            chunks = 0;
            continue;
        }
        if (it.kind == ItemKind::Frame && it.opcode == kRasterChunk && inJbig &&
            it.problem.empty()) {
            const int kind = it.fields.empty() ? -1 : static_cast<int>(it.fields[0].number);
            const bool first = kind & kJbigChunkFirst, last = kind & kJbigChunkLast;
            if (first != (chunks == 0)) {
                Fail(&it,
                     first ? "a first JBIG chunk after others" : "a JBIG chunk before the first",
                     d);
                inJbig = false;
                continue;
            }
            ++chunks;
            const std::size_t dataAt = it.offset + 5;
            if (it.payloadSize >= 1 && dataAt + it.payloadSize - 1 <= size)
                page.entity.insert(page.entity.end(), data + dataAt,
                                   data + dataAt + it.payloadSize - 1);
            // Inside a JBIG image the kind byte marks the first and the last chunk.
            it.fields[0].value = std::to_string(kind) + (first && last ? " (only)"
                                                         : first       ? " (first)"
                                                         : last        ? " (last)"
                                                                       : " (middle)");
            if (last) {
                page.complete = true;
                finishJbig(nullptr);
            }
            continue;
        }
        if (inJbig && it.kind == ItemKind::Frame) finishJbig(&it);
        if (it.kind != ItemKind::Token || !it.problem.empty()) continue;
        if (it.opcode == kSetCursor) {
            if (const TokenValue* p = it.token.Find(kPoint); p && p->numbers.size() == 2) {
                cursorX = static_cast<long>(p->numbers[0]);
                cursorY = static_cast<long>(p->numbers[1]);
            }
        } else if (it.opcode == kBeginImage) {
            std::string problem;
            inImage = ReadImageLayout(it.token, cursorX, cursorY, &layout, &problem);
            if (!inImage) Fail(&it, problem, d);
            seed.assign(layout.rowBytes, 0);
        } else if (it.opcode == kReadImage) {
            long start = -1, count = -1, compression = -1;
            const TokenValue* s = it.token.Find(kStartLine);
            const TokenValue* c = it.token.Find(kBlockHeight);
            const TokenValue* m = it.token.Find(kCompression);
            if (!inImage) {
                Fail(&it, "image block outside an image", d);
            } else if (!s || !s->Whole(&start) || !c || !c->Whole(&count) || !m ||
                       !m->Whole(&compression) || count <= 0 || start < 0 ||
                       start + count > layout.height || !it.token.hasData ||
                       it.token.dataOffset + it.token.dataSize > size) {
                Fail(&it,
                     "image block without its start row, rows, compression and data inside the "
                     "image",
                     d);
            } else {
                std::string problem;
                if (!DecodeImageRows(data + it.token.dataOffset, it.token.dataSize,
                                     static_cast<int>(compression), layout.rowBytes,
                                     static_cast<std::size_t>(count), &seed, &rows, &problem))
                    Fail(&it, problem, d);
                else
                    it.fields.push_back({"rows", std::to_string(count) + " of " +
                                                     std::to_string(layout.rowBytes) +
                                                     " bytes decoded"});
            }
        } else if (it.opcode == kEndImage) {
            inImage = false;
        }
    }
    if (inJbig) finishJbig(nullptr);
}

} // namespace streamdump

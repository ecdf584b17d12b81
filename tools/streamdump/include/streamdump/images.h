// Images in the printer stream: the blocks of rows between "begin image" and
// "end image" (run-length or delta-row rows padded to whole 32-bit words),
// and JBIG pages: a 'g' frame with the page size, then 'h' chunks whose kind
// byte marks the first (2) and last (1) chunk, both (3) or neither (0); the
// chunks joined are one JBIG image entity. One reader for the listing's
// checks and the page renderer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "streamdump/decoder.h"

namespace streamdump {

// Compression bytes of an image block.
enum ImageCompression : int { kImageRaw = 0, kImageRunLength = 1, kImageDeltaRow = 3 };

// The rows of one block into `out` (rows x rowBytes). `seed` is the
// delta-row seed, carried from block to block and set by every decoded row.
bool DecodeImageRows(const std::uint8_t* data, std::size_t size, int compression,
                     std::size_t rowBytes, std::size_t rows, std::vector<std::uint8_t>* seed,
                     std::vector<std::uint8_t>* out, std::string* problem);

// An image's layout from its "begin image" token.
struct ImageLayout {
    long x = 0, y = 0;          // the cursor at "begin image"
    long width = 0, height = 0; // source pixels
    long destWidth = 0, destHeight = 0;
    int bitsPerPixel = 0; // 1, 8 or 24
    std::size_t rowBytes = 0;
};
bool ReadImageLayout(const Token& begin, long cursorX, long cursorY, ImageLayout* layout,
                     std::string* problem);

// A JBIG page: the joined chunks of one 'g' frame.
struct JbigPage {
    std::size_t frameItem = 0; // the 'g' frame
    long width = 0, height = 0;
    std::vector<std::uint8_t> entity;
    bool complete = false; // the last chunk came
};

// Decodes a JBIG image entity into 1-bit rows ((width + 7) / 8 bytes, 1 =
// black); false with a problem when it does not decode or its size is
// larger than the decoder takes.
bool DecodeJbig(const std::vector<std::uint8_t>& entity, long* width, long* height,
                std::vector<std::uint8_t>* bits, std::string* problem);

// Checks every image block and JBIG page of the decoding: block rows decode
// to the image's row size, chunks come in order and join into one entity
// that decodes to the frame's size. Adds fields and problems to the items.
// `jbig`, when given, receives the pages.
void CheckImages(const std::uint8_t* data, std::size_t size, Decoding* decoding,
                 std::vector<JbigPage>* jbig = nullptr);

} // namespace streamdump

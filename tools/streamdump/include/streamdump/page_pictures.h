// The pictures of a printer stream's pages as PNG files, the entry of the
// renderer library (libstreamrender.so) that `printhost decode --png` loads.
#pragma once

#include <cstddef>
#include <cstdint>

// Draws each page of the stream into PREFIX-1.png, PREFIX-2.png, ... and
// prints a line for each; returns 0 when every picture was written, 1 when a
// file could not be written.
extern "C" int StreamdumpWritePagePictures(const char* prefix, const std::uint8_t* bytes,
                                           std::size_t size);
using PFN_StreamdumpWritePagePictures = decltype(&StreamdumpWritePagePictures);

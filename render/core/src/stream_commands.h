// The escape-framed commands that open and set up the graphics job, open and
// close each page (with the blank sides of duplex printing and the copy-set
// marks) and end the job, and the frame of compressed raster chunks.
#pragma once

#include "win/types.h"

namespace inkforge {

struct PDEV;

// Opcodes of the job and page commands.
namespace op {
constexpr BYTE Session = 'c';
constexpr BYTE JobKind = 'j';
constexpr BYTE DataKind = 'd';
constexpr BYTE Copies = 'O';
constexpr BYTE Collate = 's';
constexpr BYTE SkipBlank = 'F';
constexpr BYTE Duplex = 'u';
constexpr BYTE DuplexMargin = 'v';
constexpr BYTE DuplexNotice = 'R';
constexpr BYTE OutputTray = 'x';
constexpr BYTE Staple = 'L';
constexpr BYTE Punch = 'G';
constexpr BYTE Sort = 'K';
constexpr BYTE DeptCode = 'H';
constexpr BYTE UserId = 'I';
constexpr BYTE BoxId = 'N';
constexpr BYTE InputSource = 'l';
constexpr BYTE ResolutionX = 'a';
constexpr BYTE ResolutionY = 'b';
constexpr BYTE Feed = 'm';
constexpr BYTE Orientation = 'M';
constexpr BYTE PaperSize = 'k';
constexpr BYTE MediaType = 'E';
constexpr BYTE CopySetStart = 'C';
constexpr BYTE PageStart = 'p';
constexpr BYTE PageEnd = 'q';
constexpr BYTE CopySetEnd = 'D';
constexpr BYTE RasterChunk = 'h';
} // namespace op

// The universal exit language sequence that opens and closes a job.
inline constexpr char kUel[] = "\x1B%-12345X";
constexpr DWORD kUelLength = 9;

BOOL WriteUel(PDEV* pdev);

// True when the key is the first u32 of an item of model query 65 layout 3
// (the PJL header then carries it as a line).
bool IsPjlKeySupported(PDEV* pdev, int key);

BOOL WriteJobCommands(PDEV* pdev);
BOOL WritePageCommands(PDEV* pdev, bool firstPage);
BOOL WritePageEnd(PDEV* pdev);
// Blank side, copy-set end, the empty frame, the UEL and the PJL footer.
BOOL WriteJobFooter(PDEV* pdev);

// One chunk of compressed raster: kind 3 continuing / 2 last, or 1 / 0 for
// the final plane. FALSE for a chunk that cannot be framed.
BOOL WriteRasterChunk(PDEV* pdev, const BYTE* data, DWORD length, bool last, bool finalPlane);

} // namespace inkforge

// The one writer of the printer stream. Bytes are gathered in the device's
// 4096-byte buffer and handed to the spooler with WritePrinter; the engine is
// asked for a cancelled job at most every 5000 ms while writing; the stream
// can be collected in memory instead, or suppressed.
//
// Large writes: when a write does not fit the buffer, the buffer goes out
// first and then the write's bytes go straight to the spooler in whole
// 4096-byte chunks; what is left (less than 4096 bytes) waits in the buffer.
// So every WritePrinter but a job's last carries exactly 4096 bytes.
#pragma once

#include <initializer_list>

#include "win/types.h"

namespace inkforge {

struct PDEV;

constexpr DWORD kAbortPollInterval = 5000;
constexpr DWORD kDirectChunk = 4096;

// Appends bytes to the stream; FALSE when the job is cancelled or a write failed.
BOOL OutputBytes(PDEV* pdev, const void* data, DWORD length);
// Writes the buffered bytes now; TRUE unless WritePrinter failed.
BOOL FlushOutput(PDEV* pdev);
// Writes up to 256 byte values (the low byte of each).
BOOL OutputByteList(PDEV* pdev, std::initializer_list<int> bytes);
// Starts the poll interval again when a poll surface is set.
void RestartAbortTimer(PDEV* pdev);

// A frame: ESC, u16 length (1 + payload), opcode, payload. FALSE also when the
// payload cannot be framed (more than 65534 bytes).
BOOL WriteFrame(PDEV* pdev, BYTE opcode, const void* payload, DWORD length);

// Capture: while on, the stream is collected in memory instead of written.
void StartCapture(PDEV* pdev);
// Ends capture; the collected bytes stay in the capture block until the next start.
void StopCapture(PDEV* pdev);
void FreeCapture(PDEV* pdev);

} // namespace inkforge

// The printer stream writer.
#include "output_writer.h"

#include <cstring>

#include "pdev.h"
#include "stream_opcodes.h"
#include "win/base.h"
#include "win/spool.h"

namespace inkforge {
namespace {

constexpr DWORD kCaptureStep = 4096;
constexpr DWORD kCaptureLimit = 0x7FFFFFFF;
constexpr DWORD kMaxFramePayload = 0xFFFF - 1;

void Cancel(PDEV* pdev) {
    pdev->jobFlags |= job::Cancelled;
}

// Output is dropped in spool-side mode until the document is started.
bool SpoolSideBeforeStart(const PDEV* pdev) {
    return (pdev->modeFlags & mode::SpoolSide) && !pdev->docStarted;
}

// One chunk to where the stream goes: the temporary output file as
// {u32 0, u32 length, bytes}, or the spooler. A failed or short write
// cancels the job.
BOOL WriteChunk(PDEV* pdev, const BYTE* data, DWORD length) {
    if (pdev->tempFile) {
        DWORD head[2] = {0, length};
        DWORD written = 0;
        if (!WriteFile(pdev->tempFile, head, sizeof head, &written, nullptr) ||
            written != sizeof head || !WriteFile(pdev->tempFile, data, length, &written, nullptr) ||
            written != length) {
            Cancel(pdev);
            return FALSE;
        }
        return TRUE;
    }
    DWORD written = 0;
    if (!WritePrinter(pdev->printer, const_cast<BYTE*>(data), length, &written) ||
        written != length) {
        Cancel(pdev);
        return FALSE;
    }
    return TRUE;
}

// Through the buffer: what does not fit flushes it, whole chunks of the
// caller's bytes then go out directly and the rest waits in the buffer.
BOOL Buffered(PDEV* pdev, const BYTE* p, DWORD n) {
    if (static_cast<ULONGLONG>(pdev->outUsed) + n > pdev->outCapacity) {
        if (!FlushOutput(pdev)) return FALSE;
        while (n >= kDirectChunk) {
            if (!WriteChunk(pdev, p, kDirectChunk)) return FALSE;
            p += kDirectChunk;
            n -= kDirectChunk;
        }
    }
    std::memcpy(pdev->out + pdev->outUsed, p, n);
    pdev->outUsed += n;
    return TRUE;
}

// Appends to the capture block, growing it; false when it cannot grow.
bool CaptureAppend(PDEV* pdev, const BYTE* p, DWORD n) {
    if (static_cast<ULONGLONG>(pdev->captureLength) + n > pdev->captureCapacity) {
        DWORD grow = n <= kCaptureStep ? kCaptureStep : n;
        ULONGLONG wanted = static_cast<ULONGLONG>(pdev->captureCapacity) + grow;
        if (static_cast<ULONGLONG>(pdev->captureLength) + n > wanted)
            wanted = pdev->captureLength + ULONGLONG{n};
        if (wanted > kCaptureLimit) return false;
        HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, static_cast<SIZE_T>(wanted));
        if (!block) return false;
        if (pdev->captureBlock) {
            std::memcpy(block, pdev->captureBlock, pdev->captureLength);
            GlobalFree(pdev->captureBlock);
        }
        pdev->captureBlock = block;
        pdev->captureCapacity = static_cast<DWORD>(wanted);
    }
    std::memcpy(static_cast<BYTE*>(pdev->captureBlock) + pdev->captureLength, p, n);
    pdev->captureLength += n;
    return true;
}

} // namespace

BOOL OutputBytes(PDEV* pdev, const void* data, DWORD length) {
    if (pdev->pollSurface && !(pdev->jobFlags & job::Cancelled)) {
        DWORD now = GetTickCount();
        if (pdev->lastPoll == 0) {
            pdev->lastPoll = now;
        } else if (now - pdev->lastPoll >= kAbortPollInterval) {
            pdev->lastPoll = now;
            if (EngCheckAbort(pdev->pollSurface)) Cancel(pdev);
        }
    }
    if (pdev->jobFlags & job::Cancelled) return FALSE;
    if ((pdev->jobFlags & job::Suppressed) || SpoolSideBeforeStart(pdev)) return TRUE;
    if (length == 0) return TRUE;
    if (!data) return FALSE;
    const auto* p = static_cast<const BYTE*>(data);
    if (pdev->capture) {
        if (CaptureAppend(pdev, p, length)) return TRUE;
        // Out of memory: capture ends and what it held goes on in the stream.
        pdev->capture = 0;
        DWORD held = pdev->captureLength;
        pdev->captureLength = 0;
        if (held && !Buffered(pdev, static_cast<const BYTE*>(pdev->captureBlock), held))
            return FALSE;
    }
    return Buffered(pdev, p, length);
}

BOOL FlushOutput(PDEV* pdev) {
    if (SpoolSideBeforeStart(pdev) || pdev->outUsed == 0 ||
        (pdev->jobFlags & (job::Cancelled | job::Suppressed)))
        return TRUE;
    DWORD used = pdev->outUsed;
    pdev->outUsed = 0;
    return WriteChunk(pdev, pdev->out, used);
}

BOOL OutputByteList(PDEV* pdev, std::initializer_list<int> bytes) {
    BYTE buf[256];
    DWORD n = 0;
    for (int b : bytes) {
        if (n == sizeof buf) break;
        buf[n++] = static_cast<BYTE>(b & 0xFF);
    }
    return OutputBytes(pdev, buf, n);
}

void RestartAbortTimer(PDEV* pdev) {
    if (pdev->pollSurface && !(pdev->jobFlags & job::Cancelled)) pdev->lastPoll = GetTickCount();
}

BOOL WriteFrame(PDEV* pdev, BYTE opcode, const void* payload, DWORD length) {
    if (length > kMaxFramePayload || (length && !payload)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD framed = length + 1;
    if (!OutputByteList(pdev, {stream::kFrameEscape, static_cast<int>(framed & 0xFF),
                               static_cast<int>(framed >> 8), opcode}))
        return FALSE;
    return length ? OutputBytes(pdev, payload, length) : TRUE;
}

void StartCapture(PDEV* pdev) {
    pdev->capture = 1;
    pdev->captureLength = 0;
}

void StopCapture(PDEV* pdev) {
    pdev->capture = 0;
}

void FreeCapture(PDEV* pdev) {
    if (pdev->captureBlock) GlobalFree(pdev->captureBlock);
    pdev->captureBlock = nullptr;
    pdev->captureCapacity = 0;
    pdev->captureLength = 0;
    pdev->capture = 0;
}

} // namespace inkforge

// Device paths and device handles: CreateFile on a printer's interface path,
// DeviceIoControl with the USB printer class's requests, ReadFile and
// WriteFile on the handle.
#include <algorithm>
#include <cstring>

#include "platform/core.h"
#include "platform/device_files.h"
#include "usb_printers.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/usbprint.h"

namespace platform::devices {

namespace {

bool WantsRead(DWORD access) {
    return access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
}
bool WantsWrite(DWORD access) {
    return access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

std::shared_ptr<DeviceObject> DeviceOf(HANDLE h) {
    return LookupHandleAs<DeviceObject>(h);
}

} // namespace

bool OpenDevicePath(const WCHAR* path, DWORD access, DWORD shareMode, DWORD disposition,
                    DWORD flags, HANDLE* result) {
    (void)flags;
    if (!path) return false;
    std::u16string_view p(path);
    if (p.size() < 5 || p[0] != u'\\' || p[1] != u'\\' || (p[2] != u'.' && p[2] != u'?') ||
        p[3] != u'\\')
        return false;
    std::u16string_view name = p.substr(4);
    // "\\?\C:\x" and "\\.\pipe\x" are names of the file system.
    if (name.find_first_of(u"\\/") != std::u16string_view::npos) return false;
    if (name.size() == 2 && name[1] == u':') return false;

    *result = INVALID_HANDLE_VALUE;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (shareMode & ~DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return true;
    }
    const bool read = WantsRead(access), write = WantsWrite(access);
    const bool shareRead = shareMode & FILE_SHARE_READ, shareWrite = shareMode & FILE_SHARE_WRITE;
    std::lock_guard lock(PrintersMutex());
    CountOpenLocked();
    std::shared_ptr<PrinterState> printer = FindPrinterLocked(name);
    if (!printer || !printer->present) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return true;
    }
    if ((read && printer->denyRead) || (write && printer->denyWrite) ||
        (!shareRead && printer->readers) || (!shareWrite && printer->writers)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return true;
    }
    *result =
        InsertHandle(std::make_shared<DeviceObject>(printer, read, write, shareRead, shareWrite));
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool IsDeviceHandle(HANDLE h) {
    return DeviceOf(h) != nullptr;
}

BOOL ReadDevice(HANDLE h, void* buffer, DWORD size, DWORD* done, LPOVERLAPPED overlapped) {
    auto device = DeviceOf(h);
    if (!device) return Fail(ERROR_INVALID_HANDLE);
    if (overlapped) return Fail(ERROR_NOT_SUPPORTED);
    if (!done || (!buffer && size)) return Fail(ERROR_INVALID_PARAMETER);
    if (!device->canRead()) return Fail(ERROR_ACCESS_DENIED);
    std::lock_guard lock(PrintersMutex());
    PrinterState& printer = *device->printer();
    if (!printer.present) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    std::size_t n = std::min<std::size_t>(size, printer.readData.size() - printer.readPosition);
    if (n) std::memcpy(buffer, printer.readData.data() + printer.readPosition, n);
    printer.readPosition += n;
    *done = static_cast<DWORD>(n);
    return TRUE;
}

BOOL WriteDevice(HANDLE h, const void* buffer, DWORD size, DWORD* done, LPOVERLAPPED overlapped) {
    auto device = DeviceOf(h);
    if (!device) return Fail(ERROR_INVALID_HANDLE);
    if (overlapped) return Fail(ERROR_NOT_SUPPORTED);
    if (!done || (!buffer && size)) return Fail(ERROR_INVALID_PARAMETER);
    if (!device->canWrite()) return Fail(ERROR_ACCESS_DENIED);
    std::lock_guard lock(PrintersMutex());
    PrinterState& printer = *device->printer();
    if (!printer.present) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    const auto* bytes = static_cast<const BYTE*>(buffer);
    printer.written.insert(printer.written.end(), bytes, bytes + size);
    *done = size;
    return TRUE;
}

} // namespace platform::devices

extern "C" BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                       DWORD nInBufferSize, LPVOID lpOutBuffer,
                                       DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                                       LPOVERLAPPED lpOverlapped) {
    using namespace platform::devices;
    if (lpBytesReturned) *lpBytesReturned = 0;
    PLATFORM_FAULT_POINT("DeviceIoControl", FALSE);
    auto device = DeviceOf(hDevice);
    // Files and other objects know no device requests.
    if (!device)
        return Fail(platform::LookupHandle(hDevice) ? ERROR_INVALID_FUNCTION
                                                    : ERROR_INVALID_HANDLE);
    if (lpOverlapped) return Fail(ERROR_NOT_SUPPORTED);
    if (!lpBytesReturned || (!lpInBuffer && nInBufferSize) || (!lpOutBuffer && nOutBufferSize))
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(PrintersMutex());
    const PrinterState& printer = *device->printer();
    if (!printer.present) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    switch (dwIoControlCode) {
    case IOCTL_USBPRINT_GET_1284_ID: {
        if (printer.idError) return Fail(printer.idError);
        if (nOutBufferSize == 0) return Fail(ERROR_INSUFFICIENT_BUFFER);
        // The device sends no more than the buffer holds.
        std::size_t n = std::min<std::size_t>(nOutBufferSize, printer.idAnswer.size());
        if (n) std::memcpy(lpOutBuffer, printer.idAnswer.data(), n);
        *lpBytesReturned = static_cast<DWORD>(n);
        return TRUE;
    }
    default:
        return Fail(ERROR_INVALID_FUNCTION);
    }
}

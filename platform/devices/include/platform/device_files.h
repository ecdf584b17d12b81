// Inside the platform: how the file functions hand device paths and device
// handles to the device stand-in.
#pragma once

#include "win/files.h"
#include "win/types.h"

namespace platform::devices {

// true when path is in the device namespace ("\\.\name" or "\\?\name",
// the name without separators and not a drive): then *result is the
// device's new handle, or INVALID_HANDLE_VALUE with the last error set.
// false: the path is the file system's.
bool OpenDevicePath(const WCHAR* path, DWORD access, DWORD shareMode, DWORD disposition,
                    DWORD flags, HANDLE* result);

// Whether h is a device handle; ReadFile and WriteFile then call these.
bool IsDeviceHandle(HANDLE h);
BOOL ReadDevice(HANDLE h, void* buffer, DWORD size, DWORD* done, LPOVERLAPPED overlapped);
BOOL WriteDevice(HANDLE h, const void* buffer, DWORD size, DWORD* done, LPOVERLAPPED overlapped);

} // namespace platform::devices

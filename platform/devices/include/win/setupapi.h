// Device interfaces: sets of the interfaces of one interface class, their
// device paths (which CreateFile opens) and their registry keys. Only the
// USB printer interface class has members on this machine; see
// platform/devices_ctl.h for how tests plug printers in.
#pragma once

#include "win/types.h"

struct HWND__;
typedef struct HWND__* HWND;

typedef PVOID HDEVINFO;

// SetupDiGetClassDevs flags.
#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

// SP_DEVICE_INTERFACE_DATA.Flags.
#define SPINT_ACTIVE 0x00000001
#define SPINT_DEFAULT 0x00000002
#define SPINT_REMOVED 0x00000004

// A device of a set.
typedef struct _SP_DEVINFO_DATA {
    DWORD cbSize; // sizeof(SP_DEVINFO_DATA), set by the caller
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

// One interface of a set, as SetupDiEnumDeviceInterfaces reports it.
typedef struct _SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize; // sizeof(SP_DEVICE_INTERFACE_DATA), set by the caller
    GUID InterfaceClassGuid;
    DWORD Flags; // SPINT_*
    ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

// The device path of an interface. cbSize is the size of this fixed part
// (sizeof the structure), not of the caller's whole buffer; the path follows
// as far as the buffer reaches.
typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_W {
    DWORD cbSize;
    WCHAR DevicePath[1];
} SP_DEVICE_INTERFACE_DETAIL_DATA_W, *PSP_DEVICE_INTERFACE_DETAIL_DATA_W;

typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;
    CHAR DevicePath[1];
} SP_DEVICE_INTERFACE_DETAIL_DATA_A, *PSP_DEVICE_INTERFACE_DETAIL_DATA_A;

static_assert(sizeof(SP_DEVINFO_DATA) == 32 && offsetof(SP_DEVINFO_DATA, DevInst) == 20);
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 32 &&
              offsetof(SP_DEVICE_INTERFACE_DATA, Flags) == 20);
static_assert(offsetof(SP_DEVICE_INTERFACE_DATA, Reserved) == 24);
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 8 &&
              offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) == 4);
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8 &&
              offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == 4);

// The interface class of USB printers.
inline constexpr GUID GUID_DEVINTERFACE_USBPRINT = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

extern "C" {

// A set of the interfaces of ClassGuid (DIGCF_DEVICEINTERFACE; with
// DIGCF_ALLCLASSES every class), only those of plugged-in devices with
// DIGCF_PRESENT. Enumerator, when given, keeps the devices of that
// enumerator ("USB"). Without DIGCF_DEVICEINTERFACE the set is of setup
// classes, which list no interfaces here. INVALID_HANDLE_VALUE on failure.
HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND hwndParent,
                                     DWORD Flags);
HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                                     DWORD Flags);

// The MemberIndex-th interface of InterfaceClassGuid in the set (of the one
// device DeviceInfoData names, when given). Past the end: ERROR_NO_MORE_ITEMS.
BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData);

// Two calls: with no buffer (size 0) it fails with ERROR_INSUFFICIENT_BUFFER
// and *RequiredSize is the size that holds the fixed part and the path with
// its NUL; a buffer that is too small fails the same way. The buffer's cbSize
// must be sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_*) (ERROR_INVALID_USER_BUFFER).
BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData);
BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData);

// The interface's own registry key (its driver keeps values such as
// "Port Number" there). INVALID_HANDLE_VALUE (as an HKEY) on failure.
HKEY WINAPI SetupDiOpenDeviceInterfaceRegKey(HDEVINFO DeviceInfoSet,
                                             PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             DWORD Reserved, REGSAM samDesired);

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);

} // extern "C"

// Bound at run time from "setupapi.dll".
typedef HDEVINFO(WINAPI* PFN_SetupDiGetClassDevsA)(const GUID*, PCSTR, HWND, DWORD);
typedef BOOL(WINAPI* PFN_SetupDiEnumDeviceInterfaces)(HDEVINFO, PSP_DEVINFO_DATA, const GUID*,
                                                      DWORD, PSP_DEVICE_INTERFACE_DATA);
typedef BOOL(WINAPI* PFN_SetupDiGetDeviceInterfaceDetailA)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                                           PSP_DEVICE_INTERFACE_DETAIL_DATA_A,
                                                           DWORD, PDWORD, PSP_DEVINFO_DATA);
typedef HKEY(WINAPI* PFN_SetupDiOpenDeviceInterfaceRegKey)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                                           DWORD, REGSAM);
typedef BOOL(WINAPI* PFN_SetupDiDestroyDeviceInfoList)(HDEVINFO);

// Requests of the USB printer class driver, sent with DeviceIoControl to a
// handle opened on a USB printer interface's device path.
#pragma once

#include "win/types.h"

#define FILE_DEVICE_UNKNOWN 0x00000022
#define METHOD_BUFFERED 0
#define FILE_ANY_ACCESS 0
#define CTL_CODE(DeviceType, Function, Method, Access)                                             \
    (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))

// The printer's IEEE 1284 device ID: a 2-byte big-endian length that counts
// itself, then the ID text ("KEY:value;..."). A buffer shorter than the
// answer gets the answer's first bytes, and the request still succeeds.
#define IOCTL_USBPRINT_GET_1284_ID                                                                 \
    CTL_CODE(FILE_DEVICE_UNKNOWN, 13, METHOD_BUFFERED, FILE_ANY_ACCESS)
static_assert(IOCTL_USBPRINT_GET_1284_ID == 0x220034);

// Device modes between their ANSI and wide forms, and one device mode copied
// into another of the driver's sizes. The one conversion of the package (the UI library around
// every model revision, the graphics library for the model library's defaults, the spool-side
// player for the device modes of spool files). Every device mode handed in is read only within its
// own dmSize and dmDriverExtra and within the bytes the caller says it holds.
#pragma once

#include <cstddef>

#include "win/devmode.h"

namespace driver_devmode {

// Each converts a device mode of inBytes bytes into out (outBytes bytes): the
// names through the ANSI code page (an ANSI name is cut only between whole
// characters, so a double-byte character is never split), the other standard
// fields unchanged, the size moved by the width of the two names and the
// dmDriverExtra bytes behind the standard part copied unchanged. FALSE, with
// out untouched, when a pointer is missing, the device mode's sizes reach
// past inBytes, its standard part stops before the fields that follow the
// form name, or the converted one does not fit outBytes.
[[nodiscard]] BOOL DevModeAToW(const DEVMODEA* in, size_t inBytes, DEVMODEW* out, size_t outBytes);
[[nodiscard]] BOOL DevModeWToA(const DEVMODEW* in, size_t inBytes, DEVMODEA* out, size_t outBytes);

// Copies source into target: min(target dmSize, source dmSize) bytes of the
// standard part, keeping the target's dmSpecVersion, dmDriverVersion, dmSize
// and dmDriverExtra, then min(target dmDriverExtra, source dmDriverExtra)
// bytes of the private part from behind each standard part. Both must hold
// the bytes their sizes state. The bytes copied; 0 for a missing pointer.
[[nodiscard]] size_t CopyDevmodeImage(const DEVMODEW* source, DEVMODEW* target);

// How much longer the wide standard part is than the ANSI one: the two
// names, each a byte more a character.
constexpr size_t kNameWidthDifference = sizeof(DEVMODEW) - sizeof(DEVMODEA);

} // namespace driver_devmode

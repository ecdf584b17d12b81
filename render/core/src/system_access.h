// What the graphics core's files share of the system: exports bound by name
// at run time, the printer's and its driver's information, the console
// user's token, and bit tests of the model's and device mode's flag words.
#pragma once

#include <string>
#include <vector>

#include "win/base.h"

namespace inkforge {

// An export of a loaded module as the function type F, or null (also when
// the module is null).
template <class F> F Export(HMODULE module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                  : nullptr;
}

// Bit `bit` of a flag word.
inline bool Bit(DWORD word, int bit) {
    return (word >> bit) & 1;
}

// PRINTER_INFO_2W and DRIVER_INFO_2W of the printer as bytes, or empty.
std::vector<BYTE> PrinterInfo2(HANDLE printer);
std::vector<BYTE> DriverInfo2(HANDLE printer);

// The model data file of the printer's driver (its data file), or empty.
std::u16string DataFilePath(HANDLE printer);

// The console user's token, or null (session 0, no console, or the functions
// missing).
HANDLE ConsoleUserToken();

// A text of 7-bit characters (the package's own file names) as UTF-16.
std::u16string WidenAscii(const char* text);

} // namespace inkforge

// What the graphics core's files share of the system: exports bound by name
// at run time, the printer's and its driver's information, the console
// user's token, and bit tests of the model's and device mode's flag words.
#pragma once

#include <string>
#include <vector>

#include "win/base.h"

namespace inkforge {

// Failures that are not absences. The graphics core reads most of what it
// needs (driver record, model data, optional libraries and exports, names)
// as "there or not": what is not there gets the model's or the system's
// default. A call that failed for want of memory or another passing cause
// is no absence; printing on with a default would hand the printer a job
// other than the one asked for. Such a failure is noted here (per thread,
// where the driver's calls for a device run) and the job's next document or
// page step takes it and fails the job with its error.
bool IsPassingFailure(DWORD error);
// Notes GetLastError() when it is a passing failure.
void NoteCallFailure();
// The first passing failure noted since the last take (0: none); clears it.
DWORD TakeCallFailure();

// An export of a loaded module as the function type F, or null (also when
// the module is null).
template <class F> F Export(HMODULE module, const char* name) {
    if (!module) return nullptr;
    FARPROC proc = GetProcAddress(module, name);
    if (!proc) NoteCallFailure();
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
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

// The printer's installed options learnt at installation: asked of the
// device through the device-query library, or taken from the registry cache
// that the package's installer leaves; the device-option module of newer
// systems; and the job fields of a device mode cleared before the printer's
// defaults are stored.
#pragma once

#include "install_option.h"
#include "win/devmode_private.h"

namespace sheetwright {

// Result codes of the detection and the cache routines.
inline constexpr DWORD kDetectOk = 0;
inline constexpr DWORD kDetectNoLibrary = 3;     // a library is not named or does not load
inline constexpr DWORD kDetectOtherModel = 4;    // the device's description names another model
inline constexpr DWORD kDetectNoDescription = 5; // the description cannot be read
inline constexpr DWORD kDetectNoModelNames = 6;  // the cache key's model names are missing
inline constexpr DWORD kDetectNoCacheKey = 7;    // the cache key cannot be opened
inline constexpr DWORD kDetectNotAsked = 50;     // the port reaches no device that may be asked
inline constexpr DWORD kDetectBadArgument = 87;

// Asks the device behind `portName` for its trays, hard disk, duplex unit,
// memory, output bins, finisher and department counter, and sets the states
// of the list's entries of the options the model lets detect. kDetectOk when
// the device answered; any other code leaves the list for the cache.
DWORD DetectInstalledOptions(const ModelBlock* binding, CInstallOption* list, LPCWSTR portName);

// The installer's cache under HKEY_LOCAL_MACHINE: read into the list (a
// missing value leaves its options as they were), and its values deleted.
DWORD ReadOptionCache(const ModelBlock* binding, CInstallOption* list);
DWORD DeleteOptionCache(const ModelBlock* binding);

// The device-option module (model components 252, its option file 250) asked
// at installation and on a configuration change: 0 when options were read and
// applied, -1 otherwise.
int QuerySchemaOptions(const ModelBlock* binding, LPCWSTR printerName, CInstallOption* list,
                       DWORD flags);
// The configuration change names the key that changed: 1 when the module
// answered it, 0 otherwise.
int RequerySchemaOptions(const ModelBlock* binding, LPCWSTR printerName, CInstallOption* list,
                         LPCWSTR changedKey);

// The default profiles of the driver folder (model components 4 and 5)
// applied to the printer's global device mode. 0 when the driver folder
// cannot be found or the applied defaults could not be stored, else 1.
[[nodiscard]] BOOL ApplyDefaultProfileToPrinter(HANDLE printer, const ModelBlock* binding);

// Windows NT 6.0 or later.
BOOL IsNT6OrLater();

} // namespace sheetwright

// The device-mode revision: how any device mode the system meets becomes a
// valid one for the printer. The model library fills defaults or carries an
// old device mode over; then the job settings, the installed options, the
// option constraints and the paper fixes of the UI core are applied.
#pragma once

#include "driver_env.h"
#include "install_option.h"
#include "devmode_private.h"
#include "win/types.h"

namespace sheetwright {

class CKinsokuList;
class CUserPaper;

// Revision modes: fill the model's defaults, or carry an old device mode over.
inline constexpr DWORD kReviseDefaults = 1;
inline constexpr DWORD kReviseCarryOver = 2;

// ReviseContext flags: a page runs the revision (restoring defaults or
// applying a profile).
inline constexpr DWORD kRevisedByPage = 0x1;

inline constexpr size_t kPortNameChars = 260;

// What one revision works with; built and freed per call.
struct ReviseContext {
    HANDLE printer = nullptr;
    ModelBlock binding{};
    ModelOptionPair* options = nullptr;
    CKinsokuList* constraints = nullptr;
    CUserPaper* papers = nullptr;
    WCHAR portName[kPortNameChars] = {};
    DWORD flags = 0;
    // The device mode came without the driver's private part (another
    // driver's, or an older standard part alone): the revision fills one from
    // the model, but the option and constraint steps, which would judge the
    // caller's settings against that filled-in part, are skipped.
    bool foreign = false;
};

// The in/out record of ValidateJobInputFields. Table flags in the order of
// the job tables 60, 61, 62, 73, 74.
struct JobFieldCheck {
    WORD jobType;
    WORD flags;
    DWORD mask;
    DWORD tableFlags[5];
};
static_assert(sizeof(JobFieldCheck) == 28);
inline constexpr WORD kJobCheckBothBits = 0x1; // flags: a table has bits 7 and 8
inline constexpr DWORD kJobMaskAll = 0xFF;     // mask: every job field
inline constexpr DWORD kJobMaskTypeFound = 0x20000;
inline constexpr DWORD kJobMaskCounterState = 0x10000;
inline constexpr DWORD kJobMaskFromSaved = 0x80000000u;

// The whole revision behind uiReviseDevmodeEx, on the caller's device
// modes: each is read only within its own stated sizes (a foreign, short or
// older one through a 1320-byte copy), and `devmode` is written only when
// the result is 0, again within its own sizes.
DWORD ReviseDevmodeEx(HANDLE printer, LPCVOID modelData, const DEVMODEW* old, DEVMODEW* devmode,
                      DWORD mode);

// The pipeline on 1320-byte images (the property sheet's and the above's).
DWORD ReviseDevmode(ReviseContext* context, DEVMODE_IMAGEW* old, DEVMODE_IMAGEW* devmode,
                    DWORD mode);
// The model library's revision around the ANSI conversions.
// The old device mode's paper is matched against `papers`, or the user
// paper file when none is given.
DWORD CallModelReviseDevmode(HMODULE modelsmith, LPCVOID modelData, const DEVMODE_IMAGEW* old,
                             DEVMODE_IMAGEW* devmode, DWORD mode,
                             const CUserPaper* papers = nullptr);
// Stamps the image and fills it with the model's defaults.
BOOL StampAndReviseDevmode(HANDLE printer, LPCVOID modelData, DEVMODE_IMAGEW* devmode);

BOOL ValidateJobInputFields(ReviseContext* context, const DEVMODE_IMAGEW* devmode,
                            JobFieldCheck* record);
BOOL RefreshJobSettings(ReviseContext* context, DEVMODE_IMAGEW* devmode, DWORD mode);
BOOL FixupDevmodeFields(ReviseContext* context, DEVMODE_IMAGEW* devmode, DWORD mode);
// Corrects the paper fields of an old ANSI device mode against the model's
// papers and the user's.
void MatchOldDevmodePaper(const ModelBlock* binding, DEVMODE_IMAGEA* old,
                          const DEVMODE_IMAGEA* defaults, const CUserPaper* papers = nullptr);
// Whether the system's country measures in millimetres.
BOOL IsMetricCountry();

// Writes the image back within the device mode's own sizes: the standard
// part, and the private part when it has one of the driver's two layouts
// (another driver's private bytes stay as they are).
void StoreDevmodeImage(const DEVMODE_IMAGEW& image, DEVMODEW* devmode);

} // namespace sheetwright

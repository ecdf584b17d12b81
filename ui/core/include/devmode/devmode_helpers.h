// Free helpers every page, dialog and revision of the UI core shares: model
// look-ups of papers and trays, the device-mode rules several pages apply,
// the printer's port information and the printer and system queries. They
// keep no state; the device mode is the 1320-byte image.
#pragma once

#include <string>
#include <vector>

#include "devmode_image.h" // the printer's device mode, shared with printhost
#include "driver_env.h"
#include "install_option.h"
#include "model/model_queries.h"
#include "devmode_private.h"
#include "win/types.h"

struct SelPortInfo;

namespace sheetwright {

class CUserPaper;

// Papers with ids below this one are the model's; from it on the user's.
inline constexpr WORD kFirstUserPaper = 456;
inline constexpr WORD kCustomSizePaper = 256;
inline constexpr WORD kLastModelPaper = 455;

// PrivateFlags bit 6: the output paper words carry their own size.
inline constexpr DWORD kOutputPaperOwnSize = 0x40;
// MeasureFlags bit 1: the device mode was made in an A4 region.
inline constexpr WORD kA4Region = 0x2;

// ---- model look-ups
// Width and length (0.1 mm) of a model paper (1..455 but 256); FALSE and
// the outputs 0 when the model has no such paper, FALSE and the outputs
// untouched for other ids.
BOOL GetModelPaperSize(const ModelBlock* binding, WORD paper, WORD* width, WORD* length);
// The model's default paper of the region (alternative: the metric one); 1
// when the model does not say.
WORD GetDefaultPaperId(const ModelBlock* binding, BOOL alternative);
// The largest and smallest custom sizes in 0.1 mm (long papers included when
// asked); FALSE when neither table answers.
BOOL GetCustomPaperMaximum(const ModelBlock* binding, WORD* width, WORD* length, BOOL withLong);
BOOL GetCustomPaperMinimum(const ModelBlock* binding, WORD* width, WORD* length);
// Whether a user paper counts as long; sizes in millimetres or in inches.
BOOL IsLongPaper(const ModelBlock* binding, double width, double length, BOOL inMillimetres);
// The 160-byte paper record of a model paper, or the one made for a user
// paper from the custom (or long) paper limits.
BOOL GetPaperRecord(const ModelBlock* binding, const CUserPaper* papers, WORD paper,
                    model::PaperRecordAnswer* record);
// The output paper size of the image in 0.1 mm, as the constraint engine
// sees it.
BOOL GetOutputPaperDimensions(const ModelBlock* binding, const DEVMODE_IMAGEW* image, WORD* width,
                              WORD* length);
// The zoom limits for the image at dpi (600 when 0): the model's, the
// maximum cut to where the longer side stays within 32767 dots.
BOOL GetZoomRange(const ModelBlock* binding, const CUserPaper* papers, const DEVMODE_IMAGEW* image,
                  DWORD dpi, DWORD* minimum, DWORD* maximum);
// String ids of a tray's and a media type's names; 0 when the model lacks them.
WORD GetPaperSourceNameId(const ModelBlock* binding, WORD source);
WORD GetMediaTypeNameId(const ModelBlock* binding, WORD media);
// Sets the network capability when the model names no port default.
BOOL ApplyModelDefaultFlags(const ModelBlock* binding, DWORD* flags);
// The device-mode code of an output bin back to the model's code (0 unknown).
DWORD UnmapModelCodeNine(DWORD code);

// ---- device-mode rules shared by pages and the revision
void FixOversizeOutputPaper(HANDLE printer, const ModelBlock* binding, const CUserPaper* papers,
                            DEVMODE_IMAGEW* image);
void SyncFitToPaperLayout(DEVMODE_IMAGEW* image);
void NormalizePosterGrid(DEVMODE_IMAGEW* image);
BOOL IsValidPosterGrid(const DEVMODE_IMAGEW* image);
WORD GetEffectiveOrientation(const DEVMODE_IMAGEW* image);

// ---- port, printer and system
// The port-information holder of a sheet or a revision.
struct SelPortHolder {
    DWORD connection;
    char address[128];
    SelPortInfo* record;
    DWORD addressKind;
};
inline constexpr DWORD kPortAddressHost = 1;
inline constexpr DWORD kPortAddressWithPort = 2;
inline constexpr DWORD kPortAddressEmpty = 3;

SelPortInfo* CallMakeSelPortInfo(const ModelBlock* binding, LPCWSTR portName);
BOOL LoadSelPortInfo(const ModelBlock* binding, LPCWSTR portName, SelPortHolder* info);
BOOL FreeSelPortInfo(SelPortHolder* info);
BOOL HasPortCapability(const SelPortHolder* info, DWORD capabilities);
// "server\port" or the port alone, within 511 characters.
BOOL GetPrinterPortName(HANDLE printer, LPWSTR out);
inline constexpr DWORD kPortNameCapacity = 512;
BOOL GetComputerNameAnsi(char out[32]);
BOOL GetUserNameAnsi(char out[32]);
BOOL IsLocalPrinter(HANDLE printer);
DWORD GetWindowsVersionClass();
HMODULE LoadModuleBeside(HMODULE module, LPCWSTR fileName);
// The user's documents folder: the shell's, else one built in the profile
// folder of the system's version (that one ends in a backslash). Always TRUE
// given somewhere to write.
BOOL GetMyDocumentsFolder(std::u16string* out);

} // namespace sheetwright

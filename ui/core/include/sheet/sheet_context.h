// SheetContext: what every page of one document or device sheet shares (the
// caller's block, the working and default images, the model binding, the
// constraint list, user papers, installed options, localisation). It lives
// in one locked movable global block while any page of its sheet lives.
#pragma once

#include <string>

#include "devmode_helpers.h"
#include "driver_env.h"
#include "install_option.h"
#include "revise_devmode.h"
#include "ui/sheetwright.h"
#include "devmode_private.h"
#include "win/loader.h"
#include "win/printer_sheets.h"

namespace sheetwright {

class CKinsokuItem;
class CKinsokuList;
class CLocalize;
class CTrackDM;
class CUserPaper;

inline constexpr DWORD kSheetContextSize = 5120;
inline constexpr DWORD kSheetPortNameChars = 256;
// The private flag bits that give a document sheet its "Effects" page.
inline constexpr DWORD kEffectsFeatureBits = 0xC0000;

// The printer's form-to-tray table as the sheet read it: "FormTrayEx"'s
// 16-byte records in a GlobalAlloc'd buffer (NULL when there are none).
struct FormTrayTable {
    HANDLE printer;
    LPVOID buffer;
    DWORD count;
};

// The constraint items the pages' lists read, cached in the context in this
// order (RefreshControlStates): paper size, media type, paper source, duplex
// and sort.
enum ConstraintSlot : size_t {
    kSlotPaper,
    kSlotMedia,
    kSlotSource,
    kSlotDuplex,
    kSlotSort,
    kConstraintSlots
};

struct SheetContext {
    DWORD size;         // kSheetContextSize
    DWORD callerFlags;  // fMode (document) or the header's Flags (device)
    DWORD noCallback;   // 1: the block carried no sheet callback; pages never free the context
    DWORD applied;      // OK or Apply was pressed
    LPWSTR printerName; // GlobalAlloc(GPTR) copy
    WCHAR supportFilePath[MAX_PATH];
    WCHAR helpFile[MAX_PATH];
    WCHAR userFolder[MAX_PATH];
    WCHAR portName[kSheetPortNameChars];
    SelPortHolder portInfo;
    WORD reserved;
    WORD pageReferences; // live pages holding the context
    LPVOID callerImage;  // the caller's 1320-byte image; OK copies the working image there
    PDEVMODEW callerInput;
    DEVMODE_IMAGEW workingImage;
    DEVMODE_IMAGEW defaultImage;
    CInstallOption* installOptions;
    PFNCOMPROPSHEET sheetCallback;
    HANDLE sheetHandle;
    HANDLE printer;
    DWORD sheetKind;
    HMODULE resourceModule; // Resbundle; the framework's resource handle meanwhile
    ModelBlock model;
    CKinsokuItem* constraintItems[kConstraintSlots]; // none where the list lacks the item
    CKinsokuList* constraints;
    ModelOptionPair* optionPair;
    CUserPaper* userPapers;
    CTrackDM* tracker;
    FormTrayTable* formTray;
    DWORD resultWritten; // OK wrote the result back
    DWORD rulesFlag;
    DWORD longPaper; // model table 75 answers
    DWORD constantOne;
    DWORD table48Flag;
    CLocalize* localize;
};
static_assert(sizeof(SheetContext) <= kSheetContextSize);

// NULL when the block is unusable or memory runs out.
SheetContext* CreateSheetContext(const PropPageParams* params);
// Drops one page reference; the last one frees everything. Also frees a
// context that no page has taken yet.
void FreeSheetContext(SheetContext* context);

// The revision's context over the sheet's printer, model, options,
// constraints, papers and port.
ReviseContext SheetReviseContext(const SheetContext* context);

// Reads the printer's form-to-tray table into the record (its buffer is the
// caller's to GlobalFree); TRUE when it holds any record.
BOOL LoadFormTrayTable(FormTrayTable* table);

// TRUE when the sheet may not change anything: a document sheet without
// permission (DM_NOPERMISSION) or a device sheet without it (DPS_NOPERMISSION).
BOOL IsSheetReadOnly(const SheetContext* context);

// The support-information file of the model (model table 5) in the driver
// folder, else beside this library; its length, 0 when the table does not answer.
DWORD BuildModuleFilePath(HANDLE printer, const ModelBlock* binding, LPWSTR out);

// The driver's help file: its own help file, else the first dependent file
// ending in ".CHM" or ".HLP" with a name before the extension; empty when none.
std::u16string FindDriverHelpFile(HANDLE printer);

} // namespace sheetwright

// The job settings a user enters (job type, IDs, password, job information,
// department code), kept per user and per printer so that the next job and
// the next sheet start from them: in the printer's per-user default device
// mode, or in the per-user registry store when the model asks for it.
#pragma once

#include <string>

#include "revise_devmode.h"
#include "devmode_private.h"

namespace sheetwright {

// The model's key value bit that keeps the job settings in the registry store.
inline constexpr DWORD kKeyJobInfo = 0x20;

// Job field mask bits (with kJobMaskFromSaved for the registry store and
// kJobMaskCounterState for the department counter's default).
inline constexpr DWORD kJobFieldType = 0x01;
inline constexpr DWORD kJobFieldMailbox = 0x02;
inline constexpr DWORD kJobFieldSecureBox = 0x04;
inline constexpr DWORD kJobFieldPassword = 0x08;
inline constexpr DWORD kJobFieldInformation = 0x10;
inline constexpr DWORD kJobFieldUserName = 0x20;
inline constexpr DWORD kJobFieldJobName = 0x40;
inline constexpr DWORD kJobFieldDeptCode = 0x80;

// The model's key value (model query 76: the last entry of key 3 or 16);
// FALSE when it has neither. Its kKeyJobInfo bit chooses the registry store.
BOOL FindModelKeyValue(const ModelBlock* binding, DWORD* value);

// Clears fields of the private block: first mask bit 0 the owner's user
// name, bit 1 the owner's computer name; with bit 2 the job fields the job
// field mask selects. Always TRUE (FALSE only without a device mode).
BOOL ClearJobInfoFields(PRIVATE_DEVMODE* priv, DWORD firstMask, DWORD jobMask);
inline constexpr DWORD kClearOwnerUser = 0x1;
inline constexpr DWORD kClearOwnerComputer = 0x2;
inline constexpr DWORD kClearJobFields = 0x4;

// Copies the job fields the mask selects; the department counter bit goes
// with the department code. `options` is added to a copied job type's options.
void CopyJobFields(const PRIVATE_DEVMODE& source, DWORD mask, WORD options,
                   PRIVATE_DEVMODE* target);

// HKEY_CURRENT_USER's key of the printer's saved settings (ANSI); FALSE when
// the model lacks one of its names or the printer has none.
BOOL BuildUserRegKey(const ReviseContext* context, std::string* key);
// The user's installation stamp of the printer ("InstalledTime" in the
// printer key); when there is none and `create` is set, the local time now,
// stored there. FALSE when nothing was read or stored (the stamp is then
// left as the caller filled it).
BOOL ReadInstalledTime(const ReviseContext* context, SYSTEMTIME* stamp, BOOL create);
// The selected fields from the settings key of the block's owner; FALSE when
// the key does not open (it is never made here).
BOOL ReadSavedJobSettings(const ReviseContext* context, PRIVATE_DEVMODE* priv, DWORD mask);
// Every job field of the block into the settings key of its owner.
BOOL WriteSavedJobSettings(const ReviseContext* context, const PRIVATE_DEVMODE* priv);

// The job fields the mask selects: with kJobMaskFromSaved from the registry
// store, else from the user's own default device mode (when it is the
// driver's own); FALSE when nothing was taken.
BOOL LoadSavedJobInfo(ReviseContext* context, PRIVATE_DEVMODE* priv, DWORD mask);
// The opposite way: with kJobMaskFromSaved every field into the registry
// store, else the selected fields into the user's default device mode (made
// from the driver's defaults when the user has none). TRUE when stored.
BOOL SaveJobInfo(ReviseContext* context, const PRIVATE_DEVMODE* priv, DWORD mask);

} // namespace sheetwright
